// What a screen reader hears, and what a pointer resting on a control shows,
// where a control's own text says too little: an icon button's text is never
// shown, a link reads only "Online Help". The window texts stay as they are.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

struct IAccPropServices;

namespace ui {

// Names given to windows (or to items of a window, such as the columns of a
// header) through the platform's accessibility annotation.
class AccessibleNames {
public:
    AccessibleNames() = default;
    AccessibleNames(const AccessibleNames&) = delete;
    AccessibleNames& operator=(const AccessibleNames&) = delete;
    ~AccessibleNames();

    // The name assistive technology announces for hwnd, or for its item
    // `child` (1-based; CHILDID_SELF for the window itself). False when the
    // platform refuses the annotation: the window keeps its default name.
    bool Set(HWND hwnd, const std::wstring& name, LONG child = CHILDID_SELF);
    // The role announced for hwnd (ROLE_SYSTEM_LINK for a static that acts as a link).
    bool SetRole(HWND hwnd, LONG role);
    // Takes the name and role back; called before a named window is destroyed.
    void Clear(HWND hwnd, LONG child = CHILDID_SELF);

private:
    IAccPropServices* Services();

    IAccPropServices* m_services = nullptr;
    bool m_tried = false;
};

// One tooltip control for the controls of one window. The tooltip watches the
// mouse itself (TTF_SUBCLASS), so the controls need no code of their own. A
// control that takes the mouse is a tool by its own window (TTF_IDISHWND); one
// that lets the mouse through to its owner (a disabled control, a static text
// without SS_NOTIFY) is a tool by its rectangle in the owner, since the
// tooltip asks which window lies under the pointer and would find the owner.
class ToolTips {
public:
    ToolTips() = default;
    ToolTips(const ToolTips&) = delete;
    ToolTips& operator=(const ToolTips&) = delete;
    ~ToolTips();

    // Creates the tooltip control, owned by `owner`; false if it cannot be made.
    bool Create(HWND owner);
    HWND Hwnd() const { return m_hwnd; }
    // Shows `text` (line breaks allowed) over `control`, a child of the owner;
    // replaces an earlier text. Which kind of tool it is, is decided now.
    bool Add(HWND control, const std::wstring& text);
    // Removes the tool of a control that is about to go.
    void Remove(HWND control);
    bool Has(HWND control) const;
    // Moves the rectangles of the tools by rectangle to where their controls
    // are now; the owner calls it when it has moved or sized its children.
    void FollowControls();
    // The longest line in pixels before a tip wraps, for the owner's DPI.
    void SetMaxWidth(int pixels);

private:
    struct Tool {
        HWND control;
        bool byRectangle;
    };
    TTTOOLINFOW Info(const Tool& tool) const;
    std::vector<Tool>::iterator Find(HWND control);

    HWND m_hwnd = nullptr;
    HWND m_owner = nullptr;
    std::vector<Tool> m_tools;
};

}  // namespace ui
