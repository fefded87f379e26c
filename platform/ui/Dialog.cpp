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
    const INT_PTR result = ::DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(m_templateId),
                                             m_parent ? m_parent->Hwnd() : nullptr, DialogProc,
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
    case WM_QUERYDRAGICON:
        return static_cast<INT_PTR>(m.result);
    default:
        ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, m.result);
        return TRUE;
    }
}

}  // namespace ui
