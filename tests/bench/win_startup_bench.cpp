// Start-up time of quaylet.exe against the smallest dialog program, both
// started the same way in the same run: from CreateProcess until the
// program's top-level window is visible. The hub starts once over an empty
// suite and once over what other programs or a damaged machine may leave:
// every product's "ExePath" a device or a pipe, every recent-project value a
// device, a pipe or a descriptor of hundreds of megabytes. Prints figures;
// asserts nothing.
//
// The run takes HKCU\Software\Zerudozuz for itself and puts back what was
// there.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "catalogue/Catalogue.h"
#include "pages/projects/RecentDiscovery.h"
#include "platform/os/RegKey.h"
#include "tests/Win32Sandbox.h"

namespace {

// Milliseconds until the window shows, or -1.
double TimeToWindow(const std::wstring& exe) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring cmd = L"\"" + exe + L"\"";
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    HWND found = nullptr;
    for (int i = 0; i < 20000 && !found; ++i) {
        found = test::FindShownWindow(pi.dwProcessId, [](HWND) { return true; });
        if (!found) Sleep(1);
    }
    QueryPerformanceCounter(&t1);
    if (found) PostMessageW(found, WM_COMMAND, IDCANCEL, 0);
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return found ? 1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(f.QuadPart)
                 : -1;
}

void Report(const wchar_t* name, const std::wstring& exe, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) times.push_back(TimeToWindow(exe));
    std::sort(times.begin(), times.end());
    std::wprintf(L"%-14ls median %7.1f ms   min %7.1f ms   max %7.1f ms   (%d runs)\n", name,
                 times[times.size() / 2], times.front(), times.back(), runs);
}

const wchar_t kSuite[] = L"Software\\Zerudozuz";
const wchar_t kBackup[] = L"Software\\Zerudozuz-startup-bench-backup";

void SetString(const std::wstring& subKey, const std::wstring& name, const std::wstring& value) {
    os::RegKey key;
    if (key.Create(subKey)) key.WriteString(name, value);
}

// Pipe servers that never answer; a hub that connected to one has taken it.
class SilentPipes {
public:
    SilentPipes() = default;
    SilentPipes(const SilentPipes&) = delete;
    SilentPipes& operator=(const SilentPipes&) = delete;
    ~SilentPipes() {
        for (Pipe& p : m_pipes) {
            CancelIoEx(p.handle, &p.ov);
            CloseHandle(p.handle);
            CloseHandle(p.ov.hEvent);
        }
    }
    void Listen(const std::wstring& name) {
        Pipe p{CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE, 1,
                                4096, 4096, 0, nullptr),
               {}};
        p.ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ConnectNamedPipe(p.handle, &p.ov);
        m_pipes.push_back(p);
    }
    bool AnyTaken() const {
        for (const Pipe& p : m_pipes)
            if (WaitForSingleObject(p.ov.hEvent, 0) == WAIT_OBJECT_0) return true;
        return false;
    }

private:
    struct Pipe {
        HANDLE handle;
        OVERLAPPED ov;
    };
    std::vector<Pipe> m_pipes;
};

// Copies HKCU\from to HKCU\to, replacing what was there.
void CopyKey(const wchar_t* from, const wchar_t* to) {
    RegDeleteTreeW(HKEY_CURRENT_USER, to);
    HKEY source = nullptr, target = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, from, 0, KEY_READ, &source) != ERROR_SUCCESS) return;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, to, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target, nullptr) ==
        ERROR_SUCCESS) {
        RegCopyTreeW(source, nullptr, target);
        RegCloseKey(target);
    }
    RegCloseKey(source);
}

// A descriptor of `size` bytes whose end is moved out, so that it costs no disk space.
void SparseFile(const std::wstring& path, LONGLONG size) {
    HANDLE h =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    const char head[] = "[Common]\r\nAuthor=Ann\r\n";
    DWORD written = 0;
    WriteFile(h, head, sizeof head - 1, &written, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = size;
    SetFilePointerEx(h, end, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
}

// Fills the suite with hostile values; returns the files made, to be removed.
std::vector<std::wstring> SeedHostileSuite(const std::wstring& folder, const std::wstring& pipe) {
    const wchar_t* devices[] = {L"COM1", L"lpt1.exe", L"NUL", L"CONIN$", L"\\\\.\\COM2", L"C:\\aux .exe"};
    for (int i = 0; i < catalogue::kPageEntryCount; ++i) {
        const auto* info = catalogue::FindProduct(catalogue::kPageEntries[i].product);
        const std::wstring key = std::wstring(kSuite) + L"\\" + info->key;
        SetString(key, L"ExePath", i % 7 == 6 ? pipe : std::wstring(devices[i % 6]));
    }
    std::vector<std::wstring> files;
    int n = 0;
    for (const RecentProjectType& type : kRecentProjectTypes) {
        const std::wstring key = ProductSettingsKey(type.product);
        std::vector<std::wstring> values{type.singleValue};
        for (int i = 0; i < RecentDiscovery::kNumberedValues; ++i) {
            std::wstring name = type.numberedPattern;
            name.replace(name.find(L"%d"), 2, std::to_wstring(i));
            values.push_back(name);
        }
        for (const std::wstring& value : values) {
            std::wstring path;
            switch (n++ % 3) {
            case 0: path = std::wstring(devices[n % 6]) + type.extension; break;
            case 1: path = pipe + type.extension; break;
            default:
                path = folder + L"\\huge" + std::to_wstring(n) + type.extension;
                SparseFile(path, 300LL * 1024 * 1024);
                files.push_back(path);
            }
            SetString(key, value, path);
        }
    }
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir = self;
    dir = dir.substr(0, dir.find_last_of(L'\\'));
    const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
    const bool hadSuite = os::RegKey().Open(kSuite);
    if (hadSuite) CopyKey(kSuite, kBackup);
    RegDeleteTreeW(HKEY_CURRENT_USER, kSuite);

    std::wprintf(L"Start-up until the main window is visible, under this run's conditions:\n");
    Report(L"empty dialog", dir + L"\\demo\\emptydlg.exe", runs);
    Report(L"hub, clean", dir + L"\\quaylet.exe", runs);

    // Pipe servers that never answer, for the values that name them: the
    // programs' pipe, and one per project extension, since a project value
    // always ends in its product's extension.
    const std::wstring pipeName = L"\\\\.\\pipe\\quaylet-bench-" + std::to_wstring(GetCurrentProcessId());
    std::vector<std::wstring> pipeNames{pipeName};
    for (const RecentProjectType& type : kRecentProjectTypes)
        if (std::find(pipeNames.begin(), pipeNames.end(), pipeName + type.extension) == pipeNames.end())
            pipeNames.push_back(pipeName + type.extension);
    SilentPipes pipes;
    for (const std::wstring& name : pipeNames) pipes.Listen(name);
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"quaylet-startup-bench";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::vector<std::wstring> files = SeedHostileSuite(folder, pipeName);
    Report(L"hub, hostile", dir + L"\\quaylet.exe", runs);
    std::wprintf(
        L"  (hostile: 14 programs named as devices or a silent pipe; 132 recent projects, a third\n"
        L"   devices, a third the pipe, a third descriptors of 300 MB; pipe taken by the hub: %ls)\n",
        pipes.AnyTaken() ? L"yes" : L"no");
    for (const std::wstring& f : files) DeleteFileW(f.c_str());
    RemoveDirectoryW(folder.c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, kSuite);
    if (hadSuite) {
        CopyKey(kBackup, kSuite);
        RegDeleteTreeW(HKEY_CURRENT_USER, kBackup);
    }
    return 0;
}
