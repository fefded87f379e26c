// A stand-in suite product: a window that names the product and shows the
// command line it was started with, so that a launch can be seen and checked.
// With QUAYLET_LAUNCH_LOG set it also appends "exe path|command line" to that
// file, which the end-to-end tests read.
#include <windows.h>

#include <string>

#ifndef STANDIN_NAME
#define STANDIN_NAME L"Stand-in"
#endif

namespace {

std::wstring g_text;

void LogLaunch() {
    wchar_t logPath[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"QUAYLET_LAUNCH_LOG", logPath, MAX_PATH)) return;
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring line = std::wstring(exe) + L"|" + GetCommandLineW() + L"\r\n";
    int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes > 0 ? bytes - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, utf8.data(), bytes, nullptr, nullptr);
    HANDLE h = CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(h, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(h);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        InflateRect(&rc, -12, -12);
        SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(dc, TRANSPARENT);
        DrawTextW(dc, g_text.c_str(), -1, &rc, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int show) {
    LogLaunch();
    if (GetEnvironmentVariableW(L"QUAYLET_STANDIN_EXIT", nullptr, 0)) return 0;
    g_text = std::wstring(L"Zelto ") + STANDIN_NAME + L" (demo stand-in)\r\n\r\nCommand line:\r\n" +
             GetCommandLineW();
    WNDCLASSW wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"ZeltoStandIn";
    RegisterClassW(&wc);
    HWND hwnd =
        CreateWindowW(wc.lpszClassName, (std::wstring(L"Zelto ") + STANDIN_NAME).c_str(), WS_OVERLAPPEDWINDOW,
                      CW_USEDEFAULT, CW_USEDEFAULT, 520, 220, nullptr, nullptr, inst, nullptr);
    ShowWindow(hwnd, show);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return 0;
}
