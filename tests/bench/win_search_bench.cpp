// Times searching a library of 10,000 scripts of 10 KB each (100 folders of
// 100): the listing walked in the background, the name filter of the page's
// search box once the listing is known, and the search of the scripts' text,
// to the first match and to the end. Prints figures; fails only when the
// searches find other than what was planted.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "pages/library/LibrarySearch.h"
#include "pages/library/PageLibrary.h"
#include "platform/os/RegKey.h"
#include "resources/resource.h"
#include "tests/Win32Sandbox.h"
#include "tests/bench/BenchSupport.h"

namespace {

constexpr int kFolders = 100, kPerFolder = 100;
constexpr int kRuns = 7;
// One script in this many holds the word searched for, far down its text.
constexpr int kPlantedEvery = 1000;

void Seed(const std::wstring& root) {
    std::string text;
    while (text.size() < 10 * 1024)
        text += "SELECT id, name, total FROM orders WHERE total > 100; -- filler\r\n";
    for (int f = 0; f < kFolders; ++f) {
        const std::wstring folder = root + L"\\Folder " + std::to_wstring(f);
        ::CreateDirectoryW(folder.c_str(), nullptr);
        for (int s = 0; s < kPerFolder; ++s) {
            const int n = f * kPerFolder + s;
            std::string body = text;
            if (n % kPlantedEvery == kPlantedEvery / 2) body += "UPDATE ledger SET Zeltonium = 1;\r\n";
            test::WriteFileBytes(folder + L"\\Script " + std::to_wstring(n) + L".sql", body);
        }
    }
}

// Handles this thread's messages until done().
void PumpUntil(const std::function<bool()>& done) {
    while (!done()) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        if (done()) return;
        ::MsgWaitForMultipleObjectsEx(0, nullptr, 20, QS_ALLINPUT, 0);
    }
}

std::size_t MeasureTextSearch(const std::wstring& root) {
    test::PageHost host;
    LibrarySearch search(host.Hwnd());
    const auto pumpUntil = [&](const std::function<bool()>& done) {
        PumpUntil([&] {
            search.RunFinished();
            return done();
        });
    };
    const double walkStart = bench::NowMs();
    search.Walk(root);
    pumpUntil([&] { return !search.Walking(); });
    std::printf("listing walked: %zu scripts in %.0f ms\n", search.Scripts().size(),
                bench::NowMs() - walkStart);

    std::vector<double> first, all;
    for (int run = 0; run < 3; ++run) {
        double firstAt = 0;
        search.onMatch = [&](const std::wstring&) {
            if (firstAt == 0) firstAt = bench::NowMs();
        };
        const double start = bench::NowMs();
        search.SearchText(L"zELTONIUM");
        pumpUntil([&] { return !search.Searching(); });
        all.push_back(bench::NowMs() - start);
        first.push_back(firstAt - start);
        std::printf("  run %d: first match after %.0f ms, all %zu scripts in %.0f ms, %zu found\n", run + 1,
                    first.back(), search.Searched(), all.back(), search.FoundCount());
    }
    std::printf("text search over %zu scripts of 10 KB: first match %.0f ms, all %.0f ms (median)\n",
                search.Scripts().size(), bench::Median(first), bench::Median(all));
    return search.FoundCount();
}

void MeasureNameFilter(const std::wstring& root) {
    {
        os::RegKey key;
        if (key.Create(L"Software\\Zerudozuz\\StatementDesk2\\Settings")) key.WriteString(L"Library", root);
    }
    test::PageHost host;
    PageLibrary page(&host);
    page.Create(0, 0);
    HWND box = page.Item(IDC_LIBRARY_SEARCH);
    // The first letter lists the library; the figures below are over the known listing.
    ::SetWindowTextW(box, L"s");
    PumpUntil([&] { return !page.Finder()->Walking(); });
    std::printf("name filter of the search box over %zu scripts, median and worst of %d runs:\n",
                page.Finder()->Scripts().size(), kRuns);
    for (const wchar_t* text : {L"script 5", L"SCRIPT 123", L"script 9999", L"no such name"}) {
        std::vector<double> times;
        for (int run = 0; run < kRuns; ++run) {
            ::SetWindowTextW(box, L"\u00a7");  // matches nothing, so costs nothing
            times.push_back(bench::TimeMs([&] { ::SetWindowTextW(box, text); }));
        }
        std::printf(
            "  \"%ls\": %7.1f ms median, %7.1f ms worst, %zu items in the tree\n", text, bench::Median(times),
            *std::max_element(times.begin(), times.end()),
            static_cast<std::size_t>(::SendMessageW(page.Item(IDC_LIBRARY_TREE), TVM_GETCOUNT, 0, 0)));
    }
}

}  // namespace

int main() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);
    const test::RedirectedUserKey userKey(L"Software\\QuayletBench");
    if (!userKey) {
        std::fprintf(stderr, "cannot redirect HKEY_CURRENT_USER\n");
        return 1;
    }
    const test::TempFolder temp(L"quaylet-search-bench-");
    const double seedStart = bench::NowMs();
    Seed(temp.Path());
    std::printf("library of %d scripts of 10 KB written in %.0f ms\n", kFolders * kPerFolder,
                bench::NowMs() - seedStart);
    MeasureNameFilter(temp.Path());
    return MeasureTextSearch(temp.Path()) == kFolders * kPerFolder / kPlantedEvery ? 0 : 1;
}
