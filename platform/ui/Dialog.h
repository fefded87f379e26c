// Dialogs from the program's own templates: modal runs and child pages.
#pragma once

#include <vector>

#include "platform/ui/Window.h"

namespace ui {

// A dialog template made in memory (DLGTEMPLATE and its items), in dialog
// units, so that it scales with the dialog font and the monitor's DPI: for a
// small dialog that needs no resource.
class DialogTemplate {
public:
    // Predefined control classes of a template item.
    static constexpr WORD kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082;

    DialogTemplate(DWORD style, const wchar_t* title, short cx, short cy) {
        Add(style | DS_SETFONT);
        Add(0);                // extended style
        m_words.push_back(0);  // the number of items, counted as they are added
        for (short v : {short(0), short(0), cx, cy}) m_words.push_back(static_cast<WORD>(v));
        m_words.push_back(0);  // no menu
        m_words.push_back(0);  // the standard dialog class
        Text(title);
        m_words.push_back(8);  // the point size and face of DS_SETFONT
        Text(L"MS Shell Dlg");
    }
    // A control of a predefined class (kButton, kEdit, kStatic) at r = x, y, width, height.
    void Item(DWORD style, RECT r, WORD id, WORD predefined, const wchar_t* text) {
        Start(style, r, id);
        m_words.push_back(0xFFFF);
        m_words.push_back(predefined);
        Finish(text);
    }
    // A control of a registered class.
    void Item(DWORD style, RECT r, WORD id, const wchar_t* className, const wchar_t* text) {
        Start(style, r, id);
        Text(className);
        Finish(text);
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(m_words.data()); }

private:
    static constexpr std::size_t kCountAt = 4;  // after the style and extended style
    void Start(DWORD style, RECT r, WORD id) {
        if (m_words.size() % 2) m_words.push_back(0);  // items start on a DWORD boundary
        Add(style | WS_CHILD | WS_VISIBLE);
        Add(0);
        for (LONG v : {r.left, r.top, r.right, r.bottom}) m_words.push_back(static_cast<WORD>(v));
        m_words.push_back(id);
        ++m_words[kCountAt];
    }
    void Finish(const wchar_t* text) {
        Text(text);
        m_words.push_back(0);  // no creation data
    }
    void Add(DWORD value) {
        m_words.push_back(LOWORD(value));
        m_words.push_back(HIWORD(value));
    }
    void Text(const wchar_t* text) {
        for (; *text; ++text) m_words.push_back(static_cast<WORD>(*text));
        m_words.push_back(0);
    }
    std::vector<WORD> m_words;  // the heap keeps it DWORD-aligned
};

class Control;

// Binds dialog controls to their objects when a dialog initialises.
class DataExchange {
public:
    explicit DataExchange(HWND dialog) : m_dialog(dialog) {}
    // A thin wrapper: remembers the control's handle.
    void Attach(int id, Control& control);
    // A control class with behaviour of its own: subclasses the control.
    void Subclass(int id, Window& window);

private:
    HWND m_dialog;
};

class Dialog : public Window {
public:
    Dialog(UINT templateId, Window* parent) : m_templateId(templateId), m_parent(parent) {}

    // Runs the dialog modally; returns what EndDialog was given, or -1.
    INT_PTR DoModal();
    // Creates the dialog as a modeless window (a hidden child when its
    // template says so); false when the template cannot be created.
    bool CreateModeless();
    // Runs the dialog modally from a template in memory, owned by `owner`.
    INT_PTR DoModalIndirect(const DLGTEMPLATE* dialogTemplate, HWND owner);
    // Creates the dialog as a modeless window from a template in memory,
    // owned by `owner` (which may be a window of no object); the template
    // id is not used then.
    bool CreateIndirect(const DLGTEMPLATE* dialogTemplate, HWND owner);

    UINT TemplateId() const { return m_templateId; }
    Window* Parent() const { return m_parent; }
    void EndDialog(INT_PTR result);

    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(DataExchange& dx);
    virtual void OnOK();
    virtual void OnCancel();

    // Keys for a dialog that holds child dialogs (pages), as nested dialogs
    // conventionally take them: the innermost page that holds the focus sees a
    // key first, with its own dialog manager, so Esc and Enter there are the
    // page's and never end this dialog; Enter on a focused push button presses
    // it. Tab and Shift+Tab stay with this dialog, whose manager walks its own
    // controls and those of the shown page (pages carry WS_EX_CONTROLPARENT).
    // Call it for every message of this dialog's modal loop before its own
    // dialog manager; true: the message was handled.
    bool TranslatePageKey(MSG& msg);

    const MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    static const MessageMap* ThisMessageMap();

protected:
    LRESULT DefaultProc(Message& m) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
    bool OnInitDialogMsg(Message& m);
    void OnOKCommand() { OnOK(); }
    void OnCancelCommand() { OnCancel(); }

    UINT m_templateId;
    Window* m_parent;
    bool m_modal = false;
    bool m_routingPageKey = false;  // a page's dialog manager has the key now
};

}  // namespace ui
