// Times a full recent-project discovery into a real list-view control, with
// all 132 registry values present: once naming existing project files (132
// rows, each with its descriptor read twice), once naming missing files.
// Runs under Wine against a private HKEY_CURRENT_USER and temporary folder.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "pages/projects/PageProjects.h"
#include "pages/projects/ProjectListRows.h"
#include "pages/projects/RecentDiscovery.h"
#include "pages/projects/Win32RegistryKeys.h"
#include "platform/os/Os.h"
#include "platform/os/RegKey.h"
#include "platform/ui/Reads.h"
#include "resources/resource.h"
#include "tests/Win32Sandbox.h"
#include "tests/bench/BenchSupport.h"

namespace {

constexpr int kRuns = 15;

void SetString(const std::wstring& subKey, const std::wstring& name, const std::wstring& value) {
    os::RegKey key;
    if (key.Create(subKey)) key.WriteString(name, value);
}

void WriteFileText(const std::wstring& path, const std::string& text) {
    HANDLE h =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(h);
}

std::string Narrow(const wchar_t* s) {
    std::string out;
    for (; *s; ++s) out.push_back(static_cast<char>(*s));
    return out;
}

// Fills the registry with all 132 values; with `create` the files exist.
void Seed(const std::wstring& folder, const std::wstring& tag, bool create) {
    for (const auto& type : kRecentProjectTypes) {
        for (int i = -1; i < RecentDiscovery::kNumberedValues; ++i) {
            std::wstring name;
            if (i < 0) {
                name = type.singleValue;
            } else {
                name = type.numberedPattern;
                name.replace(name.find(L"%d"), 2, std::to_wstring(i));
            }
            const std::wstring path = folder + L"\\" + tag + L"_" + std::to_wstring(type.product) + L"_" +
                                      std::to_wstring(i + 1) + type.extension;
            SetString(ProductSettingsKey(type.product), name, path);
            if (create) {
                std::string text = "; project of a suite product\r\n[Options]\r\nLevel=3\r\n[" +
                                   Narrow(type.section) + "]\r\n" + Narrow(type.authorKey) + "=Author " +
                                   std::to_string(i) + "\r\n" + Narrow(type.noteKey) +
                                   "=Note for the project number " + std::to_string(i) + "\r\nRows=1000\r\n";
                WriteFileText(path, text);
            }
        }
    }
}

struct Figures {
    double medianMs, maxMs;
    int rows;
};

Figures Measure(HWND parent) {
    std::vector<double> times;
    int rows = 0;
    for (int run = 0; run < kRuns; ++run) {
        HWND hwnd = ::CreateWindowExW(0, WC_LISTVIEWW, L"",
                                      WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                                      0, 0, 600, 400, parent, nullptr, nullptr, nullptr);
        CDBListCtrl list(hwnd);
        for (int c = 0; c < 6; ++c) list.InsertColumn(c, L"c", LVCFMT_LEFT, 80);
        ProjectListRows listRows(list);
        Win32RegistryKeys keys;
        RecentDiscovery discovery(listRows, keys, os::FileSystem(), os::ProfileReader(), os::Clock());
        // As the page runs it: the list does not redraw while it is filled.
        times.push_back(bench::TimeMs([&] {
            list.Send(WM_SETREDRAW, FALSE);
            discovery.Run();
            list.Send(WM_SETREDRAW, TRUE);
        }));
        rows = list.GetItemCount();
        ::DestroyWindow(hwnd);
    }
    return {bench::Median(times), *std::max_element(times.begin(), times.end()), rows};
}

// The search box of the real page over the 132 rows: each text typed, then
// emptied again; median and worst of the filter's time.
void MeasureFilter() {
    test::PageHost host;
    PageProjects page(&host);
    page.Create(0, 0);
    ui::WaitForReads([&] { return page.ReadsPending(); }, 30000);
    HWND box = page.Item(IDC_PROJECT_SEARCH);
    std::printf("search box over %d recent projects, median and worst of %d runs:\n",
                page.List().GetItemCount(), kRuns);
    for (const wchar_t* text : {L"n", L"author 1", L"NOTE FOR THE PROJECT NUMBER 9", L"no such text", L""}) {
        std::vector<double> times;
        for (int run = 0; run < kRuns; ++run) {
            ::SetWindowTextW(box, L"");
            times.push_back(bench::TimeMs([&] { ::SetWindowTextW(box, text); }));
        }
        std::printf("  \"%ls\": %7.3f ms median, %7.3f ms worst, %d rows shown\n", text, bench::Median(times),
                    *std::max_element(times.begin(), times.end()), page.List().GetItemCount());
    }
}

}  // namespace

int main() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);

    const test::RedirectedUserKey userKey(L"Software\\QuayletBench");
    if (!userKey) {
        std::fprintf(stderr, "cannot redirect HKEY_CURRENT_USER\n");
        return 1;
    }
    const test::TempFolder temp(L"quaylet-bench-");
    const std::wstring& folder = temp.Path();
    HWND parent =
        ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 700, 500, nullptr, nullptr, nullptr, nullptr);

    Seed(folder, L"present", true);
    const Figures present = Measure(parent);
    Seed(folder, L"missing", false);
    const Figures missing = Measure(parent);

    std::printf(
        "recent-project discovery, 132 registry values, median and worst of %d runs (target < 20 ms):\n",
        kRuns);
    std::printf("  existing files: %7.2f ms median, %7.2f ms worst, %d rows\n", present.medianMs,
                present.maxMs, present.rows);
    std::printf("  missing files:  %7.2f ms median, %7.2f ms worst, %d rows\n", missing.medianMs,
                missing.maxMs, missing.rows);

    Seed(folder, L"present", true);
    MeasureFilter();

    ::DestroyWindow(parent);
    return present.rows == 132 && missing.rows == 0 ? 0 : 1;
}
