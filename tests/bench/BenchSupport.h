// What the benchmarks share: a clock, medians, the process's memory figures
// and a frame holding a report list view for the connection list.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/PageHost.h"

namespace bench {

// Milliseconds from the high-resolution counter.
inline double NowMs() {
    static const LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// How long one call of f takes.
template <class F>
double TimeMs(F f) {
    const double start = NowMs();
    f();
    return NowMs() - start;
}

// The median time of runs calls of f.
template <class F>
double MedianMs(int runs, F f) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) times.push_back(TimeMs(f));
    return Median(times);
}

inline PROCESS_MEMORY_COUNTERS MemoryCounters() {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof pmc);
    return pmc;
}

// The largest working set the process has had, in MiB.
inline double PeakWorkingSetMiB() {
    return static_cast<double>(MemoryCounters().PeakWorkingSetSize) / 1048576.0;
}

// Committed private memory of the process (what Wine reports as page-file usage), in MiB.
inline double CommittedMiB() { return static_cast<double>(MemoryCounters().PagefileUsage) / 1048576.0; }

// A visible frame with a report list view filling it, as the connections page
// shows its list: virtual (owner data), in a parent that hands the list's
// requests back to it.
struct ListFrame {
    ListFrame() : host(900, 700) {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
        ::InitCommonControlsEx(&icc);
        frame = host.Hwnd();
        ::ShowWindow(frame, SW_SHOW);
        list = ::CreateWindowExW(0, WC_LISTVIEWW, L"",
                                 WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDATA, 0, 0,
                                 880, 660, frame, nullptr, nullptr, nullptr);
    }
    ListFrame(const ListFrame&) = delete;
    ListFrame& operator=(const ListFrame&) = delete;

    test::PageHost host;
    HWND frame = nullptr;
    HWND list = nullptr;
};

// Puts a connection list on the frame's list view over the store at storePath, as the page does.
template <class List>
void ShowStore(List& list, const ListFrame& window, const std::wstring& storePath) {
    list.Subclass(window.list);
    list.SetStorePath(storePath);
    list.Initialize(nullptr);
}

}  // namespace bench
