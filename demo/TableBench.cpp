// The demo suite's Table Bench (tb.exe): decodes the connection profile that
// the hub passes as "-#" + packed text and shows it, the password masked.
// With QUAYLET_LAUNCH_LOG set it appends "exe path|command line" and then
// "decoded|<fields>" (or "refused|<reason>") to that file for the end-to-end
// tests; the password itself is never written, only whether it arrived.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "platform/connection/CONN_INFO.h"
#include "platform/connection/Win32ConnCrypto.h"

namespace {

std::wstring g_text;

void AppendLog(const std::wstring& line) {
    wchar_t logPath[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"QUAYLET_LAUNCH_LOG", logPath, MAX_PATH)) return;
    const std::wstring full = line + L"\r\n";
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, full.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes > 0 ? bytes - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, full.c_str(), -1, utf8.data(), bytes, nullptr, nullptr);
    HANDLE h = CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(h, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(h);
}

// Decodes the first "-#" argument; fills the text shown and the log line.
std::wstring Decode(std::wstring& shown) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring packed;
    bool found = false;
    for (int i = 1; argv && i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg.rfind(L"-#", 0) == 0) {
            packed = arg.substr(2);
            found = true;
            break;
        }
    }
    if (argv) LocalFree(argv);
    if (!found) {
        shown = L"No connection profile was passed (expected -#<profile>).";
        return L"refused|no -# argument";
    }
    CONN_INFO info;
    std::wstring error;
    if (!CONN_INFO::Unpack(packed, conn::CurrentUserProtector(), info, error)) {
        shown = L"The connection profile could not be read:\r\n" + error;
        return L"refused|" + error;
    }
    const std::wstring port = info.port ? std::to_wstring(info.port) : L"(default)";
    const std::wstring masked = info.password.empty() ? L"(none)" : std::wstring(8, L'*');
    shown = L"Opening connection profile\r\n\r\nName:\t\t" + info.name + L"\r\nDatabase kind:\t" + info.kind +
            L"\r\nServer:\t\t" + info.server + L"\r\nPort:\t\t" + port + L"\r\nDatabase:\t" + info.database +
            L"\r\nUser:\t\t" + info.user + L"\r\nPassword:\t" + masked + L"\r\nOptions:\t\t" + info.options;
    return L"decoded|name=" + info.name + L"|kind=" + info.kind + L"|server=" + info.server + L"|port=" +
           std::to_wstring(info.port) + L"|database=" + info.database + L"|user=" + info.user +
           L"|password=" + (masked == L"(none)" ? L"no" : L"yes");
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
        DrawTextW(dc, g_text.c_str(), -1, &rc, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int show) {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    AppendLog(std::wstring(exe) + L"|" + GetCommandLineW());
    std::wstring shown;
    AppendLog(Decode(shown));
    if (GetEnvironmentVariableW(L"QUAYLET_STANDIN_EXIT", nullptr, 0)) return 0;
    g_text = L"Zelto Table Bench (demo stand-in)\r\n\r\n" + shown;
    WNDCLASSW wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"ZeltoTableBenchStandIn";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowW(wc.lpszClassName, L"Zelto Table Bench", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 520, 300, nullptr, nullptr, inst, nullptr);
    ShowWindow(hwnd, show);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return 0;
}
