#include "platform/ui/Dialog.h"

#include "platform/ui/Controls.h"

namespace ui {

void DataExchange::Attach(int id, Control& control) { control.Attach(::GetDlgItem(m_dialog, id)); }

void DataExchange::Subclass(int id, Window& window) {
    if (!window.Hwnd()) window.Subclass(::GetDlgItem(m_dialog, id));
}

const MessageMap* Dialog::ThisMessageMap() {
    static const MessageEntry entries[] = {
        ui::OnMessage(WM_INITDIALOG, &Dialog::OnInitDialogMsg),
        ui::OnCommand(IDOK, BN_CLICKED, &Dialog::OnOKCommand),
        ui::OnCommand(IDCANCEL, BN_CLICKED, &Dialog::OnCancelCommand),
    };
    static const MessageMap map(Window::ThisMessageMap(), entries);
    return &map;
}

INT_PTR Dialog::DoModal() {
    m_modal = true;
    const INT_PTR result =
        ::DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(m_templateId),
                          m_parent ? m_parent->Hwnd() : nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
    m_modal = false;
    return result;
}

INT_PTR Dialog::DoModalIndirect(const DLGTEMPLATE* dialogTemplate, HWND owner) {
    m_modal = true;
    const INT_PTR result = ::DialogBoxIndirectParamW(ResourceModule(), dialogTemplate, owner, DialogProc,
                                                     reinterpret_cast<LPARAM>(this));
    m_modal = false;
    return result;
}

bool Dialog::CreateModeless() {
    if (m_hwnd) return true;
    m_modal = false;
    HWND hwnd = ::CreateDialogParamW(ResourceModule(), MAKEINTRESOURCEW(m_templateId),
                                     m_parent ? m_parent->Hwnd() : nullptr, DialogProc,
                                     reinterpret_cast<LPARAM>(this));
    return hwnd != nullptr;
}

bool Dialog::CreateIndirect(const DLGTEMPLATE* dialogTemplate, HWND owner) {
    if (m_hwnd) return true;
    m_modal = false;
    HWND hwnd = ::CreateDialogIndirectParamW(ResourceModule(), dialogTemplate, owner, DialogProc,
                                             reinterpret_cast<LPARAM>(this));
    return hwnd != nullptr;
}

void Dialog::EndDialog(INT_PTR result) {
    if (m_hwnd) ::EndDialog(m_hwnd, result);
}

bool Dialog::OnInitDialogMsg(Message& m) {
    DataExchange dx(m_hwnd);
    DoDataExchange(dx);
    m.result = OnInitDialog();
    return true;
}

BOOL Dialog::OnInitDialog() { return TRUE; }
void Dialog::DoDataExchange(DataExchange&) {}
void Dialog::OnOK() { EndDialog(IDOK); }
void Dialog::OnCancel() { EndDialog(IDCANCEL); }

LRESULT Dialog::DefaultProc(Message&) { return 0; }

namespace {

bool IsDialogWindow(HWND hwnd) {
    wchar_t cls[16] = {};
    return ::GetClassNameW(hwnd, cls, 16) && lstrcmpW(cls, L"#32770") == 0;
}

// The innermost child dialog of `outer` that holds `hwnd`, or nullptr.
HWND InnermostPage(HWND outer, HWND hwnd) {
    for (HWND h = hwnd; h && h != outer; h = ::GetParent(h))
        if ((::GetWindowLongW(h, GWL_STYLE) & WS_CHILD) && IsDialogWindow(h)) return h;
    return nullptr;
}

}  // namespace

bool Dialog::TranslatePageKey(MSG& msg) {
    // The page's dialog manager calls the message filter again; that nested
    // call leaves the message to it.
    if (m_routingPageKey || !m_hwnd) return false;
    switch (msg.message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_DEADCHAR: break;
    default: return false;  // Alt keys, the menu and mnemonics stay with this dialog
    }
    if (!::IsChild(m_hwnd, msg.hwnd)) return false;
    HWND page = InnermostPage(m_hwnd, msg.hwnd);
    if (!page) return false;
    if (msg.wParam == VK_TAB && (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP)) return false;

    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
        // A focused push button is the one Enter presses, whichever button is the page's default.
        HWND focus = ::GetFocus();
        if (focus && ::IsChild(page, focus) && ::IsWindowEnabled(focus)) {
            const LRESULT code =
                ::SendMessageW(focus, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
            if (!(code & (DLGC_WANTMESSAGE | DLGC_WANTALLKEYS)) &&
                (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) {
                ::SendMessageW(::GetParent(focus), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(focus), BN_CLICKED),
                               reinterpret_cast<LPARAM>(focus));
                return true;
            }
        }
    }
    m_routingPageKey = true;
    const bool handled = ::IsDialogMessageW(page, &msg) != FALSE;
    m_routingPageKey = false;
    return handled;
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Dialog* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lp);
        self->Bind(hwnd);
    } else {
        self = static_cast<Dialog*>(FromHandle(hwnd));
    }
    if (!self) return FALSE;
    Message m{msg, wp, lp, 0};
    const bool handled = self->SafeDispatch(m);
    self->AfterMessage(msg);
    if (!handled) return FALSE;
    switch (msg) {
    case WM_INITDIALOG:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON: return static_cast<INT_PTR>(m.result);
    default: ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, m.result); return TRUE;
    }
}

}  // namespace ui
