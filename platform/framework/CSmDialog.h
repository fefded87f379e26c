// The suite's dialog base: the main window and every page derive from it.
#pragma once

#include <functional>
#include <memory>
#include <vector>
#include <string>

#include "platform/framework/_ControlContainer.h"
#include "platform/ui/Dialog.h"

class CSysReg;

// Whether a stored normal rectangle, in workspace coordinates (counted from
// the corner of the work area), is large enough and leaves enough of its
// caption inside the work area of the monitor to be grabbed.
bool PlacementFits(const RECT& normal, SIZE minSize, const RECT& monitor, const RECT& work);

class CSmDialog : public ui::Dialog, public _ControlContainer {
public:
    CSmDialog(UINT templateId, ui::Window* parent);
    ~CSmDialog() override;

    // Makes the page a hidden child of its parent at (x, y), client pixels of the parent.
    bool Create(int x, int y);

    virtual void Deactivate();  // hides
    virtual void Activate();    // shows
    virtual BOOL OnIdle(LONG count);
    virtual BOOL OnToolTipText(UINT id, NMHDR* hdr, LRESULT* result);
    // Whether reads of other programs' data that the page started are still
    // out; the main window waits a short while for them before it shows.
    virtual bool ReadsPending() const { return false; }
    // Ctrl+F: puts the focus in the page's search box; false for a page without one.
    virtual bool FocusSearch() { return false; }
    // Reads what the page shows again, in the background, keeping the
    // selection, the scroll position and the column widths. F5 and the page's
    // change watch (its ring posts ui::kChangesSeen to the page) call it.
    virtual void Refresh() {}
    // Runs apply now, or, while a mouse button is held on `control` (a click
    // or a drag in progress), once it is let go: rows never move under the
    // pointer. Held applies run in the order they came.
    void ApplyWhenPointerFree(HWND control, std::function<void()> apply);

    // The window cannot be made smaller than w by h pixels at 96 dpi (more at a higher DPI).
    void SetMinSizes(int w, int h);
    // Restores the size and position stored under the dialog's name; 0 when
    // nothing usable was stored (the window keeps its default placement).
    int Load();
    // Stores the size and position under the dialog's name; 0 on failure.
    int Save();

    void SetName(std::wstring name) { m_name = std::move(name); }
    const std::wstring& Name() const { return m_name; }

    // A registry object slot that a page may fill; owned by the dialog base.
    CSysReg* RegistryObject() const { return m_sysReg.get(); }
    void SetRegistryObject(std::unique_ptr<CSysReg> reg);

    BOOL OnInitDialog() override;
    void DoDataExchange(ui::DataExchange& dx) override;
    virtual void OnSize(UINT type, int cx, int cy);

    const ui::MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    static const ui::MessageMap* ThisMessageMap();

protected:
    HWND ContainerWindow() const override { return m_hwnd; }

private:
    void OnSizeMsg(UINT type, int cx, int cy);
    bool OnGetMinMaxInfo(ui::Message& m);
    void OnSysCommandMsg();
    bool OnDpiChangedMsg(ui::Message& m);
    bool OnSchemeChangedMsg(ui::Message& m);
    SIZE MinSize() const;
    void OnChangesSeen();
    static void CALLBACK PointerTimerProc(HWND hwnd, UINT msg, UINT_PTR id, DWORD time);
    void OnPointerTimer();

    std::wstring m_name;
    SIZE m_minSize{0, 0};          // at 96 dpi
    UINT m_dpi = 0;                // the DPI the registered layout is measured in
    bool m_keepMaximized = false;  // restored maximised and not yet changed by the user
    std::unique_ptr<CSysReg> m_sysReg;
    HWND m_heldControl = nullptr;
    std::vector<std::function<void()>> m_heldApplies;  // waiting for the pointer to let go
};

// A page of the hub: a child dialog shown in a tab. Enter and Esc inside it
// would end the child dialog and leave its tab blank, so both do nothing.
class CSmPage : public CSmDialog {
public:
    using CSmDialog::CSmDialog;
    void OnOK() override {}
    void OnCancel() override {}
};
