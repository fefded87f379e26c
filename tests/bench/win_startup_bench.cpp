// Start-up and responsiveness of quaylet.exe, measured from outside as a user
// meets them. Prints figures; asserts nothing.
//
// 1. Start-up until the main window is visible (from CreateProcess), against
//    the smallest dialog program started the same way in the same run: the
//    hub over an empty suite, over the full demo suite (seeded as tools/demo
//    does), and over what other programs or a damaged machine may leave
//    (every "ExePath" a device or a pipe, every recent project a device, a
//    pipe or a descriptor of hundreds of megabytes).
// 2. The longest time the window does not answer: this process sends it
//    WM_NULL (SendMessageTimeout) every 2 ms and keeps the longest interval
//    between two answers, during start-up (from the moment the window exists
//    until a second after it shows) and during each action: the "installed
//    only" check box (on and off), the update check (its question answered
//    Yes), a Load of a profile file (through the file dialog), and a 256 MB
//    script chosen in the SQL library's tree. Each with the demo suite on the
//    disk ("clean") and on a share whose every read hangs ("hung": the hung
//    share of tests/HungShare.h; programs answer their first page, where the
//    wineserver reads their headers under Wine, and hang after it).
//
// Run it in a prefix of its own (seeding registers file associations):
//   /usr/bin/python3 tests/hungfs/hungfs.py start build/win/hungfs
//   export QUAYLET_HUNGFS='Z:\<full path>\build\win\hungfs'
//   WINEPREFIX=$PWD/build/win/wineprefix-bench tools/wine-run build/win/win_startup_bench.exe [runs]
//   /usr/bin/python3 tests/hungfs/hungfs.py stop build/win/hungfs
// Without the hung share, the hung column is left out. The run takes
// HKCU\Software\Zerudozuz for itself and puts back what was there.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "catalogue/Catalogue.h"
#include "pages/projects/RecentDiscovery.h"
#include "platform/connection/ProfileExport.h"
#include "platform/os/RegKey.h"
#include "resources/resource.h"
#include "tests/HungShare.h"
#include "tests/Pinger.h"
#include "tests/SampleProfiles.h"
#include "tests/Win32Sandbox.h"
#include "tests/bench/BenchSupport.h"

namespace {

const wchar_t kSuite[] = L"Software\\Zerudozuz";
const wchar_t kBackup[] = L"Software\\Zerudozuz-startup-bench-backup";
const wchar_t kTitle[] = L"Zelto Quaylet";
enum { kProductsTabIndex = 0, kConnectionsTabIndex = 1, kLibraryTabIndex = 3 };

// The top-level window of process pid with this title, shown or not yet.
HWND FindWindowOf(DWORD pid, const wchar_t* title) {
    struct Search {
        DWORD pid;
        const wchar_t* title;
        HWND found;
    } s{pid, title, nullptr};
    ::EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* search = reinterpret_cast<Search*>(lp);
            if (test::ProcessOf(hwnd) != search->pid || test::WindowText(hwnd) != search->title) return TRUE;
            search->found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

using test::Pinger;

// A started program, ended when the object goes.
class Process {
public:
    explicit Process(const std::wstring& exe, const std::wstring& args = L"") {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::wstring cmd = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
        m_started = ::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                     &si, &m_pi) != FALSE;
    }
    ~Process() {
        if (!m_started) return;
        if (::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(m_pi.hProcess, 1);
        ::CloseHandle(m_pi.hProcess);
        ::CloseHandle(m_pi.hThread);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return m_started; }
    DWORD Id() const { return m_pi.dwProcessId; }
    bool Wait(DWORD ms) const {
        return m_started && ::WaitForSingleObject(m_pi.hProcess, ms) == WAIT_OBJECT_0;
    }

private:
    PROCESS_INFORMATION m_pi{};
    bool m_started = false;
};

// Milliseconds until the program's window shows, or -1 when it does not within limitMs.
double TimeToWindow(const std::wstring& exe, DWORD limitMs = 20000) {
    const double start = bench::NowMs();
    Process p(exe);
    if (!p.Started()) return -1;
    HWND found = nullptr;
    while (!found && bench::NowMs() - start < limitMs) {
        found = test::FindShownWindow(p.Id(), [](HWND) { return true; });
        if (!found) ::Sleep(1);
    }
    const double took = bench::NowMs() - start;
    if (found) ::PostMessageW(found, WM_COMMAND, IDCANCEL, 0);
    p.Wait(10000);
    return found ? took : -1;
}

double ReportStartUp(const wchar_t* name, const std::wstring& exe, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) times.push_back(TimeToWindow(exe));
    std::sort(times.begin(), times.end());
    if (times.front() < 0) {
        std::wprintf(L"  %-22ls not shown within 20 s\n", name);
        return -1;
    }
    std::wprintf(L"  %-22ls median %7.1f ms   min %7.1f ms   max %7.1f ms   (%d runs)\n", name,
                 times[times.size() / 2], times.front(), times.back(), runs);
    return times[times.size() / 2];
}

void SetString(const std::wstring& subKey, const std::wstring& name, const std::wstring& value) {
    os::RegKey key;
    if (key.Create(subKey)) key.WriteString(name, value);
}

// Copies HKCU\from to HKCU\to, replacing what was there.
void CopyKey(const wchar_t* from, const wchar_t* to) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, to);
    HKEY source = nullptr, target = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, from, 0, KEY_READ, &source) != ERROR_SUCCESS) return;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, to, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target, nullptr) ==
        ERROR_SUCCESS) {
        ::RegCopyTreeW(source, nullptr, target);
        ::RegCloseKey(target);
    }
    ::RegCloseKey(source);
}

// Pipe servers that never answer; a hub that connected to one has taken it.
class SilentPipes {
public:
    SilentPipes() = default;
    SilentPipes(const SilentPipes&) = delete;
    SilentPipes& operator=(const SilentPipes&) = delete;
    ~SilentPipes() {
        for (Pipe& p : m_pipes) {
            ::CancelIoEx(p.handle, &p.ov);
            ::CloseHandle(p.handle);
            ::CloseHandle(p.ov.hEvent);
        }
    }
    void Listen(const std::wstring& name) {
        Pipe p{::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE, 1,
                                  4096, 4096, 0, nullptr),
               {}};
        p.ov.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ::ConnectNamedPipe(p.handle, &p.ov);
        m_pipes.push_back(p);
    }
    bool AnyTaken() const {
        for (const Pipe& p : m_pipes)
            if (::WaitForSingleObject(p.ov.hEvent, 0) == WAIT_OBJECT_0) return true;
        return false;
    }

private:
    struct Pipe {
        HANDLE handle;
        OVERLAPPED ov;
    };
    std::vector<Pipe> m_pipes;
};

// A file of `size` bytes whose end is moved out, so that it costs no disk space.
void SparseFile(const std::wstring& path, LONGLONG size) {
    HANDLE h =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    const char head[] = "[Common]\r\nAuthor=Ann\r\n";
    DWORD written = 0;
    ::WriteFile(h, head, sizeof head - 1, &written, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = size;
    ::SetFilePointerEx(h, end, nullptr, FILE_BEGIN);
    ::SetEndOfFile(h);
    ::CloseHandle(h);
}

// Fills the suite with hostile values; returns the files made, to be removed.
std::vector<std::wstring> SeedHostileSuite(const std::wstring& folder, const std::wstring& pipe) {
    const wchar_t* devices[] = {L"COM1", L"lpt1.exe", L"NUL", L"CONIN$", L"\\\\.\\COM2", L"C:\\aux .exe"};
    for (int i = 0; i < catalogue::kPageEntryCount; ++i) {
        const auto* info = catalogue::FindProduct(catalogue::kPageEntries[i].product);
        SetString(std::wstring(kSuite) + L"\\" + info->key, L"ExePath",
                  i % 7 == 6 ? pipe : std::wstring(devices[i % 6]));
    }
    std::vector<std::wstring> files;
    int n = 0;
    for (const RecentProjectType& type : kRecentProjectTypes) {
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
            SetString(ProductSettingsKey(type.product), value, path);
        }
    }
    return files;
}

void HostileStartUp(const std::wstring& hub, int runs) {
    // Pipe servers that never answer, for the values that name them: the
    // programs' pipe, and one per project extension, since a project value
    // always ends in its product's extension.
    const std::wstring pipeName = L"\\\\.\\pipe\\quaylet-bench-" + std::to_wstring(::GetCurrentProcessId());
    std::vector<std::wstring> pipeNames{pipeName};
    for (const RecentProjectType& type : kRecentProjectTypes)
        if (std::find(pipeNames.begin(), pipeNames.end(), pipeName + type.extension) == pipeNames.end())
            pipeNames.push_back(pipeName + type.extension);
    SilentPipes pipes;
    for (const std::wstring& name : pipeNames) pipes.Listen(name);
    const test::TempFolder folder(L"quaylet-startup-bench-");
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kSuite);
    SeedHostileSuite(folder.Path(), pipeName);
    ReportStartUp(L"hub, hostile", hub, runs);
    std::wprintf(
        L"    (hostile: 14 programs named as devices or a silent pipe; 132 recent projects, a third\n"
        L"     devices, a third the pipe, a third descriptors of 300 MB; pipe taken by the hub: %ls)\n",
        pipes.AnyTaken() ? L"yes" : L"no");
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kSuite);
}

// A real script of about `bytes` bytes: many statements, written block by block.
void WriteScript(const std::wstring& path, std::size_t bytes) {
    std::string block;
    for (int i = 0; i < 4000; ++i)
        block += "INSERT INTO orders (id, total, status) VALUES (" + std::to_string(i) + ", " +
                 std::to_string(i * 3) + ".50, 'paid'); -- generated\r\n";
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    for (std::size_t total = 0; total < bytes; total += block.size())
        ::WriteFile(h, block.data(), static_cast<DWORD>(block.size()), &written, nullptr);
    ::CloseHandle(h);
}

// Where a seeded demo suite lives. `write` is where this process writes its
// files, `seen` where the hub sees them (the same folder, or the share's
// mount for the backing folder).
struct SuitePlace {
    std::wstring write;
    std::wstring seen;
};

// The demo suite as tools/demo seeds it, with its stand-in programs, the
// profile store under `appData`, a 256 MB script in the library and an export
// file to load. False when the seeding program did not run.
bool SeedDemoSuite(const std::wstring& benchDir, const SuitePlace& root, const SuitePlace& bin,
                   const std::wstring& appData) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kSuite);
    if (bin.write != benchDir + L"\\demo") {
        WIN32_FIND_DATAW fd{};
        HANDLE find = ::FindFirstFileW((benchDir + L"\\demo\\*.exe").c_str(), &fd);
        for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(find, &fd))
            test::WriteFileBytes(bin.write + L"\\" + fd.cFileName,
                                 test::ReadFileBytes(benchDir + L"\\demo\\" + fd.cFileName));
        if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
    }
    // The demo's large script is made here, where writing costs nothing; the
    // seeding keeps a script of that size.
    const std::wstring large = root.write + L"\\SQL Library\\Large";
    test::WriteFileBytes(large + L"\\.made", "");
    WriteScript(large + L"\\Very large script.sql", 64u << 20);
    WriteScript(large + L"\\Huge 256 MB.sql", 256u << 20);
    ::SetEnvironmentVariableW(L"APPDATA", appData.c_str());
    Process seed(benchDir + L"\\demo\\seed.exe", L"\"" + root.seen + L"\" \"" + bin.seen + L"\"");
    if (!seed.Started() || !seed.Wait(120000)) return false;
    const conn::ExportResult file =
        conn::WriteExport({test::StoreProfile(L"Loaded one"), test::StoreProfile(L"Loaded two"),
                           test::StoreProfile(L"Sales reporting")},
                          nullptr, nullptr);
    return test::WriteFileBytes(root.write + L"\\Load me.zcx", file.bytes);
}

// The hub's visible dialogs other than its main window (boxes, file dialogs).
std::vector<HWND> Dialogs(DWORD pid, HWND main) {
    std::vector<HWND> found;
    test::FindShownWindow(pid, [&](HWND hwnd) {
        if (hwnd != main && test::ClassName(hwnd) == L"#32770") found.push_back(hwnd);
        return false;
    });
    return found;
}

HWND WaitForDialog(DWORD pid, HWND main, const wchar_t* title, DWORD ms) {
    const double end = bench::NowMs() + ms;
    while (bench::NowMs() < end) {
        for (HWND d : Dialogs(pid, main))
            if (test::WindowText(d) == title) return d;
        ::Sleep(5);
    }
    return nullptr;
}

// A running hub, driven from outside as the end-to-end tests drive it.
class Hub {
public:
    Hub(const std::wstring& exe, double& startUpStall) : m_process(exe) {
        HWND window = nullptr;
        const double start = bench::NowMs();
        while (m_process.Started() && !window && bench::NowMs() - start < 10000) {
            window = FindWindowOf(m_process.Id(), kTitle);
            if (!window) ::Sleep(1);
        }
        if (!window) return;
        Pinger pinger(window);
        while (!::IsWindowVisible(window) && bench::NowMs() - start < 20000) ::Sleep(1);
        if (!::IsWindowVisible(window)) {
            startUpStall = -pinger.Stop();
            m_window = window;
            return;
        }
        ::Sleep(1000);
        startUpStall = pinger.Stop();
        m_window = window;
        m_shown = true;
    }
    ~Hub() {
        if (m_window) ::PostMessageW(m_window, WM_CLOSE, 0, 0);
        m_process.Wait(5000);
    }
    Hub(const Hub&) = delete;
    Hub& operator=(const Hub&) = delete;

    bool Shown() const { return m_shown; }
    HWND Window() const { return m_window; }
    DWORD Id() const { return m_process.Id(); }
    HWND Page(int index) const {
        int seen = 0;
        for (HWND c = ::GetWindow(m_window, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
            if (test::ClassName(c) == L"#32770" && seen++ == index) return c;
        return nullptr;
    }
    void SelectTab(int index) const {
        HWND tab = ::GetDlgItem(m_window, IDC_MAIN_TAB);
        for (int guard = 0; guard < 8; ++guard) {
            const int current = static_cast<int>(::SendMessageW(tab, TCM_GETCURSEL, 0, 0));
            if (current == index) return;
            const WPARAM key = current < index ? VK_RIGHT : VK_LEFT;
            DWORD_PTR r = 0;
            ::SendMessageTimeoutW(tab, WM_KEYDOWN, key, 0, SMTO_NORMAL, 5000, &r);
            ::SendMessageTimeoutW(tab, WM_KEYUP, key, 0xC0000000, SMTO_NORMAL, 5000, &r);
        }
    }
    // Answers every box and dialog the hub shows until none is left.
    void DismissDialogs() const {
        for (int round = 0; round < 50; ++round) {
            const std::vector<HWND> open = Dialogs(Id(), m_window);
            if (open.empty()) return;
            for (HWND d : open) ::PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
            ::Sleep(100);
            for (HWND d : Dialogs(Id(), m_window)) ::PostMessageW(d, WM_COMMAND, IDOK, 0);
            ::Sleep(100);
        }
    }

private:
    Process m_process;
    HWND m_window = nullptr;
    bool m_shown = false;
};

// The longest stall while `wait` runs (it returns when the action is over),
// as text: "12 ms", or "8000+ ms, no answer" when the window had not answered
// again by the end.
template <class Wait>
std::wstring Stall(HWND window, Wait wait) {
    Pinger pinger(window);
    wait();
    bool answering = true;
    const double longest = pinger.Stop(&answering);
    wchar_t text[64];
    std::swprintf(text, 64, answering ? L"%.0f ms" : L"%.0f+ ms, no answer", longest);
    return text;
}

void Pause(DWORD ms) { ::Sleep(ms); }

void WaitUntilGone(HWND window, DWORD ms) {
    const double end = bench::NowMs() + ms;
    while (::IsWindow(window) && bench::NowMs() < end) Pause(5);
}

// The file name box of a file dialog: the first edit control in it, however
// deep the dialog's combo boxes put it.
HWND FileNameBox(HWND dialog) {
    HWND found = nullptr;
    ::EnumChildWindows(
        dialog,
        [](HWND child, LPARAM lp) -> BOOL {
            if (test::ClassName(child) != L"Edit" || !::IsWindowVisible(child)) return TRUE;
            *reinterpret_cast<HWND*>(lp) = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

struct Figures {
    std::wstring startUp, filter, update, load, preview;
};

// Runs the actions on a hub over the seeded suite; `hung` kills the share's
// server after an action that left the hub without an answer, as the end of
// the test of such an action.
Figures MeasureActions(const std::wstring& exe, const SuitePlace& root, test::HungShare* hung) {
    Figures f;
    double startUp = 0;
    Hub hub(exe, startUp);
    wchar_t text[64];
    std::swprintf(text, 64, startUp < 0 ? L"%.0f+ ms, window never shown" : L"%.0f ms",
                  startUp < 0 ? -startUp : startUp);
    f.startUp = text;
    if (!hub.Shown()) {
        if (hung) hung->KillServer();
        return f;
    }
    const auto recover = [&] {
        DWORD_PTR r = 0;
        if (hung && !::SendMessageTimeoutW(hub.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 100, &r))
            hung->KillServer();
        ::SendMessageTimeoutW(hub.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
        hub.DismissDialogs();
    };
    const DWORD patience = hung ? 10000 : 3000;

    HWND box = ::GetDlgItem(hub.Page(kProductsTabIndex), IDC_SHOW_INSTALLED_ONLY);
    f.filter = Stall(hub.Window(), [&] {
        ::PostMessageW(box, BM_CLICK, 0, 0);
        Pause(1500);
        ::PostMessageW(box, BM_CLICK, 0, 0);
        Pause(1500);
    });
    recover();

    f.update = Stall(hub.Window(), [&] {
        ::PostMessageW(hub.Window(), WM_COMMAND, ID_TOOLS_CHECK_UPDATES, 0);
        HWND ask = WaitForDialog(hub.Id(), hub.Window(), L"Check for Updates", 5000);
        if (!ask) return;
        ::PostMessageW(ask, WM_COMMAND, IDYES, 0);
        WaitUntilGone(ask, patience);
        // A failure is reported in a box; a success shows in the rows.
        WaitForDialog(hub.Id(), hub.Window(), L"Check for Updates", hung ? 15000 : patience);
    });
    recover();

    hub.SelectTab(kConnectionsTabIndex);
    ::PostMessageW(::GetDlgItem(hub.Page(kConnectionsTabIndex), IDC_CONN_LOAD_ALL), BM_CLICK, 0, 0);
    HWND dialog = WaitForDialog(hub.Id(), hub.Window(), L"Connection profiles", 5000);
    if (dialog) {
        HWND edit = FileNameBox(dialog);
        const std::wstring path = root.seen + L"\\Load me.zcx";
        DWORD_PTR r = 0;
        ::SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), SMTO_NORMAL, 5000,
                              &r);
        f.load = Stall(hub.Window(), [&] {
            ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
            WaitUntilGone(dialog, patience);
            WaitForDialog(hub.Id(), hub.Window(), L"Connection profiles", patience);
        });
    } else {
        f.load = L"(no file dialog)";
    }
    recover();

    hub.SelectTab(kLibraryTabIndex);
    HWND tree = ::GetDlgItem(hub.Page(kLibraryTabIndex), IDC_LIBRARY_TREE);
    const auto find = [&](LPARAM parent, const std::wstring& name) -> LPARAM {
        for (int tries = 0; tries < 500; ++tries) {
            for (const auto& [item, itemText] : test::TreeItems(tree, reinterpret_cast<HTREEITEM>(parent)))
                if (itemText == name) return reinterpret_cast<LPARAM>(item);
            Pause(10);
        }
        return 0;
    };
    const LPARAM folder = find(0, L"Large");
    DWORD_PTR r = 0;
    if (folder) ::SendMessageTimeoutW(tree, TVM_EXPAND, TVE_EXPAND, folder, SMTO_NORMAL, 10000, &r);
    const LPARAM script = folder ? find(folder, L"Huge 256 MB.sql") : 0;
    if (script) {
        f.preview = Stall(hub.Window(), [&] {
            ::PostMessageW(tree, TVM_SELECTITEM, TVGN_CARET, script);
            Pause(hung ? 8000 : 5000);
        });
    } else {
        f.preview = L"(script not listed)";
    }
    recover();
    return f;
}

void PrintRow(const wchar_t* what, const std::wstring& clean, const std::wstring& hung) {
    std::wprintf(L"  %-30ls %-24ls %ls\n", what, clean.c_str(), hung.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const std::wstring dir = test::ProgramFolder();
    const std::wstring hub = dir + L"\\quaylet.exe";
    const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
    const bool hadSuite = os::RegKey().Open(kSuite);
    if (hadSuite) CopyKey(kSuite, kBackup);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kSuite);
    wchar_t oldAppData[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"APPDATA", oldAppData, MAX_PATH);

    std::wprintf(L"Start-up until the main window is visible, under this run's conditions:\n");
    const double empty = ReportStartUp(L"empty dialog", dir + L"\\demo\\emptydlg.exe", runs);
    ReportStartUp(L"hub, empty suite", hub, runs);

    const test::TempFolder clean(L"quaylet-bench-suite-");
    const SuitePlace cleanRoot{clean.Path() + L"\\suite", clean.Path() + L"\\suite"};
    const bool seeded =
        SeedDemoSuite(dir, cleanRoot, {dir + L"\\demo", dir + L"\\demo"}, clean.Path() + L"\\appdata");
    const double demo = seeded ? ReportStartUp(L"hub, demo suite", hub, runs) : -1;
    if (empty > 0 && demo > 0)
        std::wprintf(L"    (the demo suite's start-up is %.1fx the empty dialog's)\n", demo / empty);
    const Figures cleanFigures = seeded ? MeasureActions(hub, cleanRoot, nullptr) : Figures{};

    Figures hungFigures;
    test::HungShare share;
    if (share.Available() && share.Hang(L"")) {
        const SuitePlace root{share.Backing(L"suite"), share.Path(L"suite")};
        const SuitePlace bin{share.Backing(L"bin"), share.Path(L"bin")};
        if (SeedDemoSuite(dir, root, bin, share.Path(L"appdata"))) {
            // Every read hangs; programs after their first page, which the
            // wineserver reads itself when a version reader maps them.
            share.Hang(L"read@4096 bin/*.exe\nread suite/*\nread appdata/*");
            hungFigures = MeasureActions(hub, root, &share);
        }
    } else {
        hungFigures = Figures{L"(no hung share)", L"", L"", L"", L""};
    }

    std::wprintf(L"\nLongest time the main window did not answer (WM_NULL from another process):\n");
    PrintRow(L"", L"clean", L"every read hung");
    PrintRow(L"start-up", cleanFigures.startUp, hungFigures.startUp);
    PrintRow(L"\"installed only\" on and off", cleanFigures.filter, hungFigures.filter);
    PrintRow(L"update check", cleanFigures.update, hungFigures.update);
    PrintRow(L"Load of a profile file", cleanFigures.load, hungFigures.load);
    PrintRow(L"256 MB script in the preview", cleanFigures.preview, hungFigures.preview);

    ::SetEnvironmentVariableW(L"APPDATA", oldAppData);
    HostileStartUp(hub, runs);

    ::RegDeleteTreeW(HKEY_CURRENT_USER, kSuite);
    if (hadSuite) {
        CopyKey(kBackup, kSuite);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kBackup);
    }
    return 0;
}
