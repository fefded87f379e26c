// How fast the pages follow what other programs change, under Wine. Prints
// figures; asserts nothing.
//
// 1. The time from a change until the row shows it: a recent-project value
//    written by another process (reg.exe; the time that process takes to
//    start and write is given beside it), a script dropped into the shown
//    library folder of 1,000 scripts, a profile saved into the store.
// 2. What a burst costs: 1,000 scripts dropped into the library at once, and
//    a product writing its ten recent-file values one by one: how many times
//    the watch rang (each ring is one refresh of the page) and how long until
//    the last row showed; and how many refreshes run while nothing changes
//    (a page's own reads must never ring its watch).
//
//   tools/wine-run build/win/win_live_bench.exe
// It takes HKCU\Software\Zerudozuz and APPDATA of its prefix for itself and
// clears the key at the start and at the end (as the end-to-end tests do).
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "pages/connections/PageConnections.h"
#include "pages/library/PageLibrary.h"
#include "pages/projects/PageProjects.h"
#include "platform/connection/ProfileStore.h"
#include "platform/framework/Process.h"
#include "platform/services/_Settings.h"
#include "platform/ui/Reads.h"
#include "tests/PageHost.h"
#include "tests/Win32Sandbox.h"
#include "tests/bench/BenchSupport.h"

namespace {

const wchar_t kSuite[] = L"Software\\Zerudozuz";
const wchar_t kRecentKey[] = L"Software\\Zerudozuz\\RowFoundry\\Settings";
int g_rings = 0;  // change rings the pages were given

// Handles this thread's messages until done() holds; false after timeoutMs.
bool PumpUntil(const std::function<bool()>& done, double timeoutMs = 20000) {
    const double end = bench::NowMs() + timeoutMs;
    MSG msg;
    while (!done()) {
        if (bench::NowMs() > end) return false;
        if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT);
            continue;
        }
        if (msg.message == ui::kChangesSeen) ++g_rings;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return true;
}

// Lets the messages of the next ms through.
void Settle(double ms) {
    const double end = bench::NowMs() + ms;
    PumpUntil([end] { return bench::NowMs() > end; }, ms + 1000);
}

void WriteScript(const std::wstring& path) { test::WriteFileBytes(path, "SELECT 1;\r\n"); }

// Runs reg.exe to write the value, as another program; how long it took to exit.
double WriteByAnotherProcess(const std::wstring& name, const std::wstring& value) {
    std::wstring cmd =
        L"reg.exe add \"HKCU\\" + std::wstring(kRecentKey) + L"\" /v " + name + L" /d \"" + value + L"\" /f";
    STARTUPINFOW si{sizeof si};
    si.dwFlags = STARTF_USESHOWWINDOW;
    PROCESS_INFORMATION pi{};
    const double start = bench::NowMs();
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &si, &pi))
        return -1;
    ::CloseHandle(pi.hThread);
    PumpUntil([&] { return ::WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; });
    ::CloseHandle(pi.hProcess);
    return bench::NowMs() - start;
}

// Refreshes while nobody changes anything: a page's own reads must not ring its watch.
void PrintIdle(const char* page) {
    g_rings = 0;
    Settle(2000);
    std::printf("  %s, 2 s with no change: %d refresh%s\n", page, g_rings, g_rings == 1 ? "" : "es");
}

void PrintRow(const char* what, const std::vector<double>& times, const char* extra = "") {
    double worst = 0;
    for (double t : times) worst = std::max(worst, t);
    std::printf("  %-46s median %7.1f ms   worst %7.1f ms%s\n", what, bench::Median(times), worst, extra);
}

void LibraryFigures(test::PageHost& host, const std::wstring& dir) {
    const std::wstring library = dir + L"\\library";
    ::CreateDirectoryW(library.c_str(), nullptr);
    for (int i = 0; i < 1000; ++i) WriteScript(library + L"\\base" + std::to_wstring(10000 + i) + L".sql");
    test::SetUserString(L"Software\\Zerudozuz\\StatementDesk2\\Settings", L"Library", library);
    PageLibrary page(&host);
    page.Create(0, 0);
    const CSQLTree& tree = page.m_tree;
    if (!PumpUntil([&] { return tree.GetCount() == 1000; })) std::printf("  the library did not show\n");
    Settle(500);

    std::vector<double> times;
    for (int run = 0; run < 9; ++run) {
        const int before = tree.GetCount();
        const double start = bench::NowMs();
        WriteScript(library + L"\\dropped" + std::to_wstring(run) + L".sql");
        PumpUntil([&] { return tree.GetCount() == before + 1; });
        times.push_back(bench::NowMs() - start);
        Settle(400);
    }
    PrintRow("a script dropped into a library of 1,000", times);

    g_rings = 0;
    const int before = tree.GetCount();
    const double start = bench::NowMs();
    for (int i = 0; i < 1000; ++i) WriteScript(library + L"\\burst" + std::to_wstring(10000 + i) + L".sql");
    const double written = bench::NowMs() - start;
    PumpUntil([&] { return tree.GetCount() == before + 1000; }, 60000);
    const double shown = bench::NowMs() - start;
    Settle(1500);
    std::printf(
        "  1,000 scripts dropped at once (written in %.0f ms): all shown after %.0f ms, %d refresh%s\n",
        written, shown, g_rings, g_rings == 1 ? "" : "es");
    PrintIdle("SQL Library");
}

void ProjectFigures(test::PageHost& host, const std::wstring& dir) {
    std::vector<std::wstring> files;
    for (int i = 0; i < 10; ++i)
        files.push_back(test::WriteFileBytes(dir + L"\\p" + std::to_wstring(i) + L".rfp",
                                             "[Tables]\r\nAuthor=A\r\nDescription=d\r\n")
                            ? dir + L"\\p" + std::to_wstring(i) + L".rfp"
                            : L"");
    PageProjects page(&host);
    page.Create(0, 0);
    const CDBListCtrl& list = page.List();
    Settle(500);

    std::vector<double> times, process;
    for (int i = 0; i < 5; ++i) {
        const int before = list.GetItemCount();
        const double start = bench::NowMs();
        process.push_back(
            WriteByAnotherProcess(L"Profile" + std::to_wstring(i), files[static_cast<std::size_t>(i)]));
        PumpUntil([&] { return list.GetItemCount() == before + 1; });
        times.push_back(bench::NowMs() - start);
        Settle(400);
    }
    const std::string extra =
        "   (reg.exe itself: median " + std::to_string(static_cast<int>(bench::Median(process))) + " ms)";
    PrintRow("a recent project recorded by reg.exe", times, extra.c_str());

    g_rings = 0;
    const double start = bench::NowMs();
    for (int i = 9; i >= 0; --i)
        test::SetUserString(kRecentKey, L"Profile" + std::to_wstring(i), files[static_cast<std::size_t>(i)]);
    PumpUntil([&] { return list.GetItemCount() == 10; });
    const double shown = bench::NowMs() - start;
    Settle(1500);
    std::printf(
        "  a product writing its 10 recent values one by one: all shown after %.0f ms, %d refresh%s\n", shown,
        g_rings, g_rings == 1 ? "" : "es");
    PrintIdle("Recent Projects");
}

void ConnectionFigures(test::PageHost& host, const std::wstring& dir) {
    ::SetEnvironmentVariableW(L"APPDATA", dir.c_str());
    const std::wstring store = dir + L"\\Zerudozuz\\Connections\\profiles.zcp";
    std::vector<CONN_INFO> profiles(100);
    for (std::size_t i = 0; i < profiles.size(); ++i)
        profiles[i].name = L"profile " + std::to_wstring(1000 + i);
    std::wstring error;
    conn::ProfileStore(store).Save(profiles, error);
    PageConnections page(&host);
    page.Create(0, 0);
    CAdvConnectList& list = page.List();
    PumpUntil([&] { return list.GetItemCount() == 100; });
    Settle(500);

    std::vector<double> times;
    for (int run = 0; run < 9; ++run) {
        CONN_INFO added;
        added.name = L"saved " + std::to_wstring(run);
        profiles.push_back(added);
        const int before = list.GetItemCount();
        const double start = bench::NowMs();
        conn::ProfileStore(store).Save(profiles, error);
        PumpUntil([&] { return list.GetItemCount() == before + 1; });
        times.push_back(bench::NowMs() - start);
        Settle(400);
    }
    PrintRow("a profile saved into a store of 100", times);
    PrintIdle("Connections");
}

}  // namespace

int main() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kSuite);
    const test::TempFolder folder(L"quaylet-live-bench-");
    _Settings settings;
    g_settings = &settings;
    {
        test::PageHost host;
        std::printf("From a change another program makes until the page shows it\n");
        LibraryFigures(host, folder.Path());
        ProjectFigures(host, folder.Path());
        ConnectionFigures(host, folder.Path());
    }
    g_settings = nullptr;
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kSuite);
    return 0;
}
