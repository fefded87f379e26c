// The window layer's core: one static window procedure, `this` bound when the
// window is created or subclassed, and message maps as plain data chained to
// the base class's map. Child notifications are reflected to the child's own
// object first, so a control class owns its behaviour.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace ui {

struct Message {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
};

// Reflected messages carry this offset. A child's colour request
// (WM_CTLCOLORSTATIC, EDIT, BTN, LISTBOX, SCROLLBAR) comes back to it as
// kReflectedCtlColor with (device context, CTLCOLOR_* kind).
constexpr UINT kReflectBase = 0xBC00;
constexpr UINT kReflectedCtlColor = kReflectBase + 0x0019;
constexpr UINT kReflectedCommand = kReflectBase + WM_COMMAND;
constexpr UINT kReflectedNotify = kReflectBase + WM_NOTIFY;

class Window;
using MessageHandler = bool (Window::*)(Message&);  // false: not handled, go on
using CommandHandler = void (Window::*)();
using NotifyHandler = LRESULT (Window::*)(NMHDR*);
// Handlers with the message's arguments unpacked. They handle the message and
// answer 0, unless they call Window::Decline(): then the map goes on and the
// message reaches the default processing, as if no entry had matched.
using SizeHandler = void (Window::*)(UINT type, int cx, int cy);
using MouseHandler = void (Window::*)(UINT keys, POINT pt);  // pt in client coordinates, signed
using KeyHandler = void (Window::*)(UINT vk, UINT repeat, UINT flags);
using TimerHandler = void (Window::*)(UINT_PTR id);
// pos is the 16-bit position the message carries; GetScrollInfo gives the full one.
using ScrollHandler = void (Window::*)(UINT code, int pos, HWND bar);
// The wheel passes to the parent when a window does not use it, so this handler
// says whether it did. delta is signed (WHEEL_DELTA a notch); pt is in screen
// coordinates, signed.
using WheelHandler = bool (Window::*)(UINT keys, int delta, POINT pt);
// A range of command ids with one handler; false lets the rest of the map have the command.
using CommandRangeHandler = bool (Window::*)(UINT id);
// A message whose arguments the handler does not need (WM_DESTROY, WM_SYSCOLORCHANGE, ...).
using SignalHandler = void (Window::*)();
// WM_SETFOCUS, WM_KILLFOCUS: the window that loses or gets the focus (may be null).
using FocusHandler = void (Window::*)(HWND other);
// WM_PAINT: the device context of BeginPaint; EndPaint follows the handler on every path.
using PaintHandler = void (Window::*)(HDC dc);

enum class EntryKind : unsigned char {
    Message,
    Command,
    Notify,
    Size,
    Mouse,
    Key,
    Timer,
    Scroll,
    ReflectedNotify,
    Wheel,
    CommandRange,
    Signal,
    Focus,
    Paint,
};

struct MessageEntry {
    UINT msg;
    UINT id;    // WM_COMMAND / WM_NOTIFY: control id
    UINT code;  // WM_COMMAND: notification code; WM_NOTIFY: NMHDR code
    EntryKind kind;
    MessageHandler onMessage;
    CommandHandler onCommand;
    NotifyHandler onNotify;
    SizeHandler onSize;
    MouseHandler onMouse;
    KeyHandler onKey;
    TimerHandler onTimer;
    ScrollHandler onScroll;
    WheelHandler onWheel;
    CommandRangeHandler onCommandRange;
    UINT lastId;  // CommandRange: the last id of the range (id is the first)
    SignalHandler onSignal;
    FocusHandler onFocus;
    PaintHandler onPaint;
};

template <class T>
MessageEntry OnMessage(UINT msg, bool (T::*fn)(Message&)) {
    return {msg, 0, 0, EntryKind::Message, static_cast<MessageHandler>(fn), nullptr, nullptr};
}
template <class T>
MessageEntry OnCommand(UINT id, UINT code, void (T::*fn)()) {
    return {WM_COMMAND, id, code, EntryKind::Command, nullptr, static_cast<CommandHandler>(fn), nullptr};
}
template <class T>
MessageEntry OnNotify(UINT id, UINT code, LRESULT (T::*fn)(NMHDR*)) {
    return {WM_NOTIFY, id, code, EntryKind::Notify, nullptr, nullptr, static_cast<NotifyHandler>(fn)};
}

template <class T>
MessageEntry OnSize(void (T::*fn)(UINT, int, int)) {
    return {.msg = WM_SIZE, .kind = EntryKind::Size, .onSize = static_cast<SizeHandler>(fn)};
}
// WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_RBUTTONUP, ...
template <class T>
MessageEntry OnMouse(UINT msg, void (T::*fn)(UINT, POINT)) {
    return {.msg = msg, .kind = EntryKind::Mouse, .onMouse = static_cast<MouseHandler>(fn)};
}
// WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP
template <class T>
MessageEntry OnKey(UINT msg, void (T::*fn)(UINT, UINT, UINT)) {
    return {.msg = msg, .kind = EntryKind::Key, .onKey = static_cast<KeyHandler>(fn)};
}
template <class T>
MessageEntry OnTimer(void (T::*fn)(UINT_PTR)) {
    return {.msg = WM_TIMER, .kind = EntryKind::Timer, .onTimer = static_cast<TimerHandler>(fn)};
}
// WM_VSCROLL, WM_HSCROLL
template <class T>
MessageEntry OnScroll(UINT msg, void (T::*fn)(UINT, int, HWND)) {
    return {.msg = msg, .kind = EntryKind::Scroll, .onScroll = static_cast<ScrollHandler>(fn)};
}

// The control's own notification, reflected back to it by its parent; for a
// control class that owns its behaviour. The handler's answer is the result.
template <class T>
MessageEntry OnReflectedNotify(UINT code, LRESULT (T::*fn)(NMHDR*)) {
    return {.msg = kReflectedNotify,
            .code = code,
            .kind = EntryKind::ReflectedNotify,
            .onNotify = static_cast<NotifyHandler>(fn)};
}
// WM_MOUSEWHEEL, WM_MOUSEHWHEEL; answers 0 when the handler used the wheel.
template <class T>
MessageEntry OnWheel(UINT msg, bool (T::*fn)(UINT, int, POINT)) {
    return {.msg = msg, .kind = EntryKind::Wheel, .onWheel = static_cast<WheelHandler>(fn)};
}
// Commands first..last with notification code `code` (0: menu items).
template <class T>
MessageEntry OnCommandRange(UINT first, UINT last, UINT code, bool (T::*fn)(UINT)) {
    return {.msg = WM_COMMAND,
            .id = first,
            .code = code,
            .kind = EntryKind::CommandRange,
            .onCommandRange = static_cast<CommandRangeHandler>(fn),
            .lastId = last};
}

template <class T>
MessageEntry OnSignal(UINT msg, void (T::*fn)()) {
    return {.msg = msg, .kind = EntryKind::Signal, .onSignal = static_cast<SignalHandler>(fn)};
}
// WM_SETFOCUS, WM_KILLFOCUS
template <class T>
MessageEntry OnFocus(UINT msg, void (T::*fn)(HWND)) {
    return {.msg = msg, .kind = EntryKind::Focus, .onFocus = static_cast<FocusHandler>(fn)};
}
template <class T>
MessageEntry OnPaint(void (T::*fn)(HDC)) {
    return {.msg = WM_PAINT, .kind = EntryKind::Paint, .onPaint = static_cast<PaintHandler>(fn)};
}

struct MessageMap {
    const MessageMap* base;
    const MessageEntry* begin;
    const MessageEntry* end;

    MessageMap(const MessageMap* b) : base(b), begin(nullptr), end(nullptr) {}
    template <std::size_t N>
    MessageMap(const MessageMap* b, const MessageEntry (&entries)[N])
        : base(b), begin(entries), end(entries + N) {}
};

// Shows a message box, or hands it to the hook that tests install so that no
// box blocks an unattended run. Every component shows its boxes through this.
using MessageBoxHook = int (*)(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);
// The caption of the hub's own message boxes, and its name towards servers.
inline constexpr const wchar_t* kAppCaption = L"Zelto Quaylet";
int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// The module whose resources (templates, icons, bitmaps) the hub uses.
HINSTANCE ResourceModule();

// The root of every window object: top-level windows, dialogs and controls.
// A window bound to its object (created through the layer, a dialog, or a
// subclassed control) gets the message map, the typed handlers and reflected
// notifications; an object that only names a window (ui::Control::Attach)
// sends it messages and never destroys it.
class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    // Destroys the window bound to this object, if it still exists.
    virtual ~Window();

    HWND Hwnd() const { return m_hwnd; }
    explicit operator bool() const { return m_hwnd != nullptr; }

    // The object bound to a window of the layer, or nullptr.
    static Window* FromHandle(HWND hwnd);

    // Registers a window class whose procedure is the layer's (once per name).
    static bool RegisterClass(const wchar_t* className, UINT style, HCURSOR cursor, HBRUSH background);
    // Creates a window of a class registered with RegisterClass, bound to this object.
    bool CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style, const RECT& rect,
                  HWND parent, UINT id);
    // Creates a window of a system class (STATIC, BUTTON, ...) and subclasses it.
    bool CreateControl(const wchar_t* className, const wchar_t* text, DWORD style, const RECT& rect,
                       HWND parent, UINT id, DWORD exStyle = 0);
    // Binds an existing window (e.g. a dialog control) to this object by subclassing it.
    bool Subclass(HWND hwnd);
    void DestroyWindow();

    // The message map of the most derived class.
    virtual const MessageMap* GetMessageMap() const;
    static const MessageMap* ThisMessageMap();

    // WM_COMMAND after reflection: looks up the map's command entries. Nonzero: handled.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // WM_NOTIFY after reflection: looks up the map's notify entries.
    virtual bool OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);

    // Convenience wrappers.
    LRESULT Send(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const;
    HWND Item(int id) const { return ::GetDlgItem(m_hwnd, id); }
    RECT ClientRect() const;
    // A child's window rectangle in this window's client coordinates.
    RECT ChildRect(HWND child) const;
    bool IsVisible() const { return m_hwnd && ::IsWindowVisible(m_hwnd); }
    std::wstring Text() const;
    void SetText(const std::wstring& text) const { ::SetWindowTextW(m_hwnd, text.c_str()); }
    void Enable(bool on) const { ::EnableWindow(m_hwnd, on); }
    bool IsEnabled() const { return ::IsWindowEnabled(m_hwnd) != FALSE; }
    void Show(bool on) const { ::ShowWindow(m_hwnd, on ? SW_SHOW : SW_HIDE); }
    // Off: changes are not drawn until it is turned on again (and the window invalidated).
    void SetRedraw(bool on) const { Send(WM_SETREDRAW, on ? TRUE : FALSE); }

protected:
    // Called from a typed handler: the message was not handled after all.
    void Decline() { m_declined = true; }
    // Default processing for a message no map entry handled.
    virtual LRESULT DefaultProc(Message& m);
    // Handles one message: reflection, then the virtual command and notify
    // routes, then the map chain. False: fall to the default processing.
    bool Dispatch(Message& m);
    // Runs Dispatch, catching anything thrown so that no exception crosses
    // the window procedure.
    bool SafeDispatch(Message& m);
    void Bind(HWND hwnd);
    void Unbind();
    // The end of every window procedure: after WM_NCDESTROY the object lets go
    // of the window and gets its final call.
    void AfterMessage(UINT msg);
    virtual void OnFinalMessage() {}
    // Send hands this object's messages straight to its window's class
    // procedure, past every subclass (ours too): for a control whose map has
    // nothing to do with the messages sent to it and that takes very many of
    // them, since under Wine each pass through the subclass chain costs about
    // a tenth of a millisecond.
    void SendPastSubclasses(bool on) { m_pastSubclasses = on; }

    HWND m_hwnd = nullptr;
    bool m_bound = false;  // m_hwnd is this object's own binding, not only a name

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    bool Reflect(Message& m);
    // Runs one map entry of the message kinds. False: the entry did not handle it.
    bool Call(const MessageEntry& e, Message& m);
    // Runs one typed handler; false when it declined.
    bool CallTyped(const MessageEntry& e, const Message& m);
    const MessageEntry* Find(UINT msg, UINT id, UINT code, EntryKind kind) const;

    bool m_subclassed = false;
    bool m_pastSubclasses = false;
    bool m_declined = false;
};

}  // namespace ui
