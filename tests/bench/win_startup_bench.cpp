// Start-up time of quaylet.exe against the smallest dialog program, both
// started the same way in the same run: from CreateProcess until the
// program's top-level window is visible. Prints figures; asserts nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct FindData {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindVisible(HWND hwnd, LPARAM lp) {
    auto* d = reinterpret_cast<FindData*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == d->pid && IsWindowVisible(hwnd)) {
        d->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Milliseconds until the window shows, or -1.
double TimeToWindow(const std::wstring& exe) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring cmd = L"\"" + exe + L"\"";
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    FindData d{pi.dwProcessId, nullptr};
    for (int i = 0; i < 20000 && !d.found; ++i) {
        EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&d));
        if (!d.found) Sleep(1);
    }
    QueryPerformanceCounter(&t1);
    if (d.found) PostMessageW(d.found, WM_COMMAND, IDCANCEL, 0);
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return d.found ? 1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(f.QuadPart) : -1;
}

void Report(const wchar_t* name, const std::wstring& exe, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) times.push_back(TimeToWindow(exe));
    std::sort(times.begin(), times.end());
    std::wprintf(L"%-14ls median %7.1f ms   min %7.1f ms   max %7.1f ms   (%d runs)\n", name, times[times.size() / 2],
                 times.front(), times.back(), runs);
}

}  // namespace

int main(int argc, char** argv) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir = self;
    dir = dir.substr(0, dir.find_last_of(L'\\'));
    const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
    std::wprintf(L"Start-up until the main window is visible, under this run's conditions:\n");
    Report(L"empty dialog", dir + L"\\demo\\emptydlg.exe", runs);
    Report(L"quaylet.exe", dir + L"\\quaylet.exe", runs);
    return 0;
}
