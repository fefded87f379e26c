#include "platform/ui/Window.h"

#include "platform/ui/Gdi.h"

#include <commctrl.h>

#include <cassert>
#include <exception>
#include <string>
#include <unordered_map>
#include <utility>

namespace ui {
namespace {

// Window objects by handle. All windows live on the one user-interface
// thread; a map lookup is much cheaper than a window property, which matters
// when every child notification is looked up for reflection.
std::unordered_map<HWND, Window*>& Bindings() {
    static std::unordered_map<HWND, Window*> bindings;
    return bindings;
}
constexpr UINT_PTR kSubclassId = 0x5155;  // 'QU'
MessageBoxHook g_messageBoxHook = nullptr;

void ReportException(HWND hwnd, const char* what) {
    std::wstring text = L"An internal error occurred and the action was cancelled:\n\n";
    for (const char* p = what; p && *p; ++p) text.push_back(static_cast<unsigned char>(*p));
    OutputDebugStringW(text.c_str());
    static bool reporting = false;  // a failing box must not recurse into another
    if (reporting) return;
    reporting = true;
    ShowMessageBox(hwnd, text.c_str(), kAppCaption, MB_OK | MB_ICONERROR);
    reporting = false;
}

}  // namespace

int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) {
    if (g_messageBoxHook) return g_messageBoxHook(owner, text, caption, type);
    return ::MessageBoxW(owner, text, caption, type);
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    MessageBoxHook old = g_messageBoxHook;
    g_messageBoxHook = hook;
    return old;
}

HINSTANCE ResourceModule() { return ::GetModuleHandleW(nullptr); }

Window::~Window() {
    if (m_bound) {
        HWND hwnd = m_hwnd;
        Unbind();
        ::DestroyWindow(hwnd);
    }
}

Window* Window::FromHandle(HWND hwnd) {
    if (!hwnd) return nullptr;
    const auto& bindings = Bindings();
    const auto it = bindings.find(hwnd);
    return it == bindings.end() ? nullptr : it->second;
}

void Window::Bind(HWND hwnd) {
    m_hwnd = hwnd;
    m_bound = true;
    Bindings()[hwnd] = this;
}

void Window::Unbind() {
    if (!m_bound) return;
    m_bound = false;
    Bindings().erase(m_hwnd);
    if (m_subclassed) {
        ::RemoveWindowSubclass(m_hwnd, SubclassProc, kSubclassId);
        m_subclassed = false;
    }
    m_hwnd = nullptr;
}

bool Window::RegisterClass(const wchar_t* className, UINT style, HCURSOR cursor, HBRUSH background) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (::GetClassInfoExW(ResourceModule(), className, &wc)) return true;
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ResourceModule();
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    return ::RegisterClassExW(&wc) != 0;
}

bool Window::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style,
                      const RECT& r, HWND parent, UINT id) {
    HMENU menu = (style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)) : nullptr;
    HWND hwnd = ::CreateWindowExW(exStyle, className, text, style, r.left, r.top, r.right - r.left,
                                  r.bottom - r.top, parent, menu, ResourceModule(), this);
    return hwnd != nullptr;
}

bool Window::CreateControl(const wchar_t* className, const wchar_t* text, DWORD style, const RECT& r,
                           HWND parent, UINT id, DWORD exStyle) {
    HWND hwnd = ::CreateWindowExW(
        exStyle, className, text, style, r.left, r.top, r.right - r.left, r.bottom - r.top, parent,
        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), ResourceModule(), nullptr);
    if (!hwnd) return false;
    if (!Subclass(hwnd)) {
        ::DestroyWindow(hwnd);
        return false;
    }
    return true;
}

bool Window::Subclass(HWND hwnd) {
    if (!hwnd || m_hwnd) return false;
    if (!::SetWindowSubclass(hwnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        return false;
    m_subclassed = true;
    Bind(hwnd);
    return true;
}

void Window::DestroyWindow() {
    if (m_hwnd) ::DestroyWindow(m_hwnd);  // WM_NCDESTROY unbinds
}

const MessageMap* Window::ThisMessageMap() {
    static const MessageMap map(nullptr);
    return &map;
}

const MessageMap* Window::GetMessageMap() const { return ThisMessageMap(); }

LRESULT Window::Send(UINT msg, WPARAM wp, LPARAM lp) const {
    assert(::IsWindow(m_hwnd));
    if (m_pastSubclasses) {
        const auto proc = reinterpret_cast<WNDPROC>(::GetClassLongPtrW(m_hwnd, GCLP_WNDPROC));
        if (proc) return ::CallWindowProcW(proc, m_hwnd, msg, wp, lp);
    }
    return ::SendMessageW(m_hwnd, msg, wp, lp);
}

std::wstring Window::Text() const {
    const int length = ::GetWindowTextLengthW(m_hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = ::GetWindowTextW(m_hwnd, text.data(), length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

RECT Window::ClientRect() const {
    RECT r{};
    ::GetClientRect(m_hwnd, &r);
    return r;
}

RECT Window::ChildRect(HWND child) const {
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(HWND_DESKTOP, m_hwnd, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

const MessageEntry* Window::Find(UINT msg, UINT id, UINT code, EntryKind kind) const {
    for (const MessageMap* map = GetMessageMap(); map; map = map->base)
        for (const MessageEntry* e = map->begin; e != map->end; ++e)
            if (e->msg == msg && e->kind == kind &&
                (kind == EntryKind::Message || (e->id == id && e->code == code)))
                return e;
    return nullptr;
}

BOOL Window::OnCommand(WPARAM wParam, LPARAM) {
    const UINT id = LOWORD(wParam), code = HIWORD(wParam);
    for (const MessageMap* map = GetMessageMap(); map; map = map->base)
        for (const MessageEntry* e = map->begin; e != map->end; ++e) {
            if (e->msg != WM_COMMAND || e->code != code) continue;
            if (e->kind == EntryKind::Command && e->id == id) {
                (this->*(e->onCommand))();
                return TRUE;
            }
            if (e->kind == EntryKind::CommandRange && e->id <= id && id <= e->lastId &&
                (this->*(e->onCommandRange))(id))
                return TRUE;
        }
    return FALSE;
}

bool Window::OnNotify(WPARAM, LPARAM lParam, LRESULT* result) {
    const auto* hdr = reinterpret_cast<NMHDR*>(lParam);
    if (!hdr) return false;
    if (const MessageEntry* e =
            Find(WM_NOTIFY, static_cast<UINT>(hdr->idFrom), hdr->code, EntryKind::Notify)) {
        *result = (this->*(e->onNotify))(const_cast<NMHDR*>(hdr));
        return true;
    }
    return false;
}

bool Window::Reflect(Message& m) {
    HWND child = nullptr;
    Message r{0, m.wParam, m.lParam, 0};
    switch (m.msg) {
    case WM_COMMAND:
        child = reinterpret_cast<HWND>(m.lParam);
        r.msg = kReflectedCommand;
        break;
    case WM_NOTIFY:
        child = m.lParam ? reinterpret_cast<NMHDR*>(m.lParam)->hwndFrom : nullptr;
        r.msg = kReflectedNotify;
        break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
        child = reinterpret_cast<HWND>(m.lParam);
        r.msg = kReflectedCtlColor;
        r.lParam = static_cast<LPARAM>(m.msg - WM_CTLCOLORMSGBOX);
        break;
    default: return false;
    }
    // Only a real child's notification goes back to it: a command posted with
    // a number in lParam must not reach a window that happens to have that handle.
    Window* target = FromHandle(child);
    if (!target || target == this || ::GetParent(child) != m_hwnd) return false;
    if (!target->SafeDispatch(r)) return false;
    m.result = r.result;
    return true;
}

bool Window::Dispatch(Message& m) {
    if (Reflect(m)) return true;
    if (m.msg == WM_COMMAND) {
        if (OnCommand(m.wParam, m.lParam)) {
            m.result = 0;
            return true;
        }
        return false;
    }
    if (m.msg == WM_NOTIFY) return OnNotify(m.wParam, m.lParam, &m.result);
    for (const MessageMap* map = GetMessageMap(); map; map = map->base)
        for (const MessageEntry* e = map->begin; e != map->end; ++e)
            if (e->msg == m.msg && Call(*e, m)) return true;
    return false;
}

bool Window::Call(const MessageEntry& e, Message& m) {
    switch (e.kind) {
    case EntryKind::Message: return (this->*(e.onMessage))(m);
    case EntryKind::ReflectedNotify: {
        auto* hdr = reinterpret_cast<NMHDR*>(m.lParam);
        if (!hdr || hdr->code != e.code) return false;
        m.result = (this->*(e.onNotify))(hdr);
        return true;
    }
    case EntryKind::Command:
    case EntryKind::CommandRange:
    case EntryKind::Notify: return false;  // found by their own routes
    default: break;
    }
    // A handler that sends a message to its own window runs a nested
    // dispatch: each keeps its own answer.
    const bool outer = std::exchange(m_declined, false);
    const bool handled = CallTyped(e, m);
    const bool declined = std::exchange(m_declined, outer);
    if (!handled || declined) return false;
    m.result = 0;
    return true;
}

bool Window::CallTyped(const MessageEntry& e, const Message& m) {
    const UINT lo = LOWORD(m.lParam), hi = HIWORD(m.lParam);
    switch (e.kind) {
    case EntryKind::Size: (this->*(e.onSize))(static_cast<UINT>(m.wParam), lo, hi); break;
    case EntryKind::Mouse:
        (this->*(e.onMouse))(static_cast<UINT>(m.wParam),
                             POINT{static_cast<short>(lo), static_cast<short>(hi)});
        break;
    case EntryKind::Key: (this->*(e.onKey))(static_cast<UINT>(m.wParam), lo, hi); break;
    case EntryKind::Timer: (this->*(e.onTimer))(static_cast<UINT_PTR>(m.wParam)); break;
    case EntryKind::Scroll:
        (this->*(e.onScroll))(LOWORD(m.wParam), HIWORD(m.wParam), reinterpret_cast<HWND>(m.lParam));
        break;
    case EntryKind::Wheel:
        return (this->*(e.onWheel))(GET_KEYSTATE_WPARAM(m.wParam), GET_WHEEL_DELTA_WPARAM(m.wParam),
                                    POINT{static_cast<short>(lo), static_cast<short>(hi)});
    case EntryKind::Signal: (this->*(e.onSignal))(); break;
    case EntryKind::Focus: (this->*(e.onFocus))(reinterpret_cast<HWND>(m.wParam)); break;
    case EntryKind::Paint: {
        const PaintDC paint(m_hwnd);
        (this->*(e.onPaint))(paint.Get());
        break;
    }
    default: return false;
    }
    return true;
}

bool Window::SafeDispatch(Message& m) {
    try {
        return Dispatch(m);
    } catch (const std::exception& e) {
        ReportException(m_hwnd, e.what());
    } catch (...) {
        ReportException(m_hwnd, "unknown exception");
    }
    m.result = 0;
    return true;
}

void Window::AfterMessage(UINT msg) {
    if (msg != WM_NCDESTROY) return;
    Unbind();
    OnFinalMessage();
}

LRESULT Window::DefaultProc(Message& m) {
    if (m_subclassed) return ::DefSubclassProc(m_hwnd, m.msg, m.wParam, m.lParam);
    return ::DefWindowProcW(m_hwnd, m.msg, m.wParam, m.lParam);
}

LRESULT CALLBACK Window::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* self = FromHandle(hwnd);
    if (!self && msg == WM_NCCREATE) {
        self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        if (self) self->Bind(hwnd);
    }
    if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
    Message m{msg, wp, lp, 0};
    LRESULT result = self->SafeDispatch(m) ? m.result : self->DefaultProc(m);
    self->AfterMessage(msg);
    return result;
}

LRESULT CALLBACK Window::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<Window*>(data);
    Message m{msg, wp, lp, 0};
    LRESULT result = self->SafeDispatch(m) ? m.result : ::DefSubclassProc(hwnd, msg, wp, lp);
    self->AfterMessage(msg);
    return result;
}

}  // namespace ui
