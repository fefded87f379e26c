// The smallest Win32 dialog program: the baseline the hub's start-up time is
// measured against.
#include <windows.h>

namespace {
INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_CLOSE || (msg == WM_COMMAND && LOWORD(wp) == IDCANCEL)) {
        EndDialog(hwnd, 0);
        return TRUE;
    }
    return msg == WM_INITDIALOG;
}
}  // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int) {
    // An in-memory template: a captioned, visible popup with no controls.
    struct {
        DLGTEMPLATE t;
        WORD menu, cls, title[14];
    } tmpl{};
    tmpl.t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_CENTER;
    tmpl.t.cx = 200;
    tmpl.t.cy = 100;
    const wchar_t title[] = L"Empty dialog";
    for (int i = 0; i < 13; ++i) tmpl.title[i] = title[i];
    DialogBoxIndirectParamW(inst, &tmpl.t, nullptr, Proc, 0);
    return 0;
}
