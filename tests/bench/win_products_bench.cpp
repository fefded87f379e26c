// Figures for the products page under Wine with all fourteen products
// installed (real executables with version resources): the time of one
// RelayoutRows, of one relayout with its repaint, and of 1,000 toggles of the
// "Show installed products only" filter; and the GDI objects the labels own
// before and after.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "pages/products/CLabel.h"
#include "pages/products/PageProducts.h"
#include "platform/text/CColorizer.h"
#include "platform/framework/Process.h"
#include "platform/os/Os.h"
#include "platform/services/_Settings.h"
#include "resources/resource.h"
#include "tests/PageHost.h"
#include "tests/Win32Sandbox.h"
#include "tests/bench/BenchSupport.h"

int main(int argc, char** argv) {
    // Optional: number of relayouts and of toggles (defaults 50 and 1,000).
    const int kRuns = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    const int kToggles = argc > 2 ? std::max(0, std::atoi(argv[2])) : 1000;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    // A registry and folder of the benchmark's own.
    const test::RedirectedUserKey userKey(L"Software\\QuayletBench");
    const test::TempFolder folder(L"quaylet-products-bench-");
    const std::wstring& dir = folder.Path();
    const std::wstring source = test::ProgramFolder() + L"\\demo\\test_v1234.exe";
    for (int i = 0; i < kProductEntryCount; ++i) {
        const std::wstring exe = dir + L"\\product" + std::to_wstring(i) + L".exe";
        if (!::CopyFileW(source.c_str(), exe.c_str(), FALSE)) {
            std::fwprintf(stderr, L"cannot copy %ls (build the demo programs first)\n", source.c_str());
            return 1;
        }
        test::SetUserString(ProductRegPath(catalogue::kPageEntries[i].product), L"ExePath", exe);
    }

    const long objectsAtStart = CLabel::LiveGdiObjects();
    {
        test::PageHost host(1000, 900);
        ::ShowWindow(host.Hwnd(), SW_SHOWNOACTIVATE);
        auto page = std::make_unique<PageProducts>(&host);
        page->Create(0, 0);
        page->Activate();
        for (int i = 0; i < kProductEntryCount; ++i)
            page->SetUpdateVersion(page->Entries()[i].name, L"1.02.04");
        page->RelayoutRows();
        auto repaint = [&] {
            ::RedrawWindow(page->Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        };
        repaint();
        test::PumpMessages();
        int installed = 0;
        for (const ProductEntry& e : page->Entries()) installed += e.installed;
        const long objectsBefore = CLabel::LiveGdiObjects() - objectsAtStart;

        std::vector<double> relayout, withPaint;
        for (int i = 0; i < kRuns; ++i) {
            const double t0 = bench::NowMs();
            page->RelayoutRows();
            const double t1 = bench::NowMs();
            repaint();
            const double t2 = bench::NowMs();
            relayout.push_back(t1 - t0);
            withPaint.push_back(t2 - t0);
        }
        // The parts of one relayout: detection and version reads alone.
        std::vector<double> detect, versions;
        for (int i = 0; i < 20; ++i) {
            ProductEntries probe;
            for (int k = 0; k < kProductEntryCount; ++k)
                InitEntry(probe[k], catalogue::kPageEntries[k].product, catalogue::kPageEntries[k].command);
            const double a = bench::NowMs();
            for (ProductEntry& e : probe) DetectInstallation(e, os::Registry(), os::FileSystem());
            const double b = bench::NowMs();
            for (ProductEntry& e : probe) InstalledVersionText(e, os::VersionReader());
            const double c = bench::NowMs();
            detect.push_back(b - a);
            versions.push_back(c - b);
        }
        std::printf("detection of 14 products: median %.2f ms; uncached version reads: median %.2f ms\n",
                    bench::Median(detect), bench::Median(versions));
        // Row windows alone: destroying all rows, then creating them again.
        std::vector<double> destroy, create;
        for (int i = 0; i < 10; ++i) {
            const double a = bench::NowMs();
            for (ProductEntry& e : page->Entries()) page->DestroyRowControls(e);
            const double b = bench::NowMs();
            page->RelayoutRows();
            const double c = bench::NowMs();
            destroy.push_back(b - a);
            create.push_back(c - b);
        }
        std::printf("destroying all row windows: median %.2f ms; relayout from no windows: median %.2f ms\n",
                    bench::Median(destroy), bench::Median(create));
        // The floor: as many plain static windows made and destroyed, no objects, no subclassing.
        std::vector<double> floor;
        int windows = 0;
        for (HWND c = ::GetWindow(page->Hwnd(), GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) ++windows;
        for (int i = 0; i < 10; ++i) {
            std::vector<HWND> made;
            const double a = bench::NowMs();
            for (int k = 0; k < windows; ++k)
                made.push_back(::CreateWindowExW(0, L"STATIC", L"x", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                                                 page->Hwnd(), nullptr, nullptr, nullptr));
            for (HWND w : made) ::DestroyWindow(w);
            floor.push_back(bench::NowMs() - a);
        }
        std::printf("floor: %d plain static windows made and destroyed: median %.2f ms\n", windows,
                    bench::Median(floor));
        std::fflush(stdout);

        HWND check = page->Item(IDC_SHOW_INSTALLED_ONLY);
        const double t0 = bench::NowMs();
        for (int i = 0; i < kToggles; ++i) ::SendMessageW(check, BM_CLICK, 0, 0);
        const double toggles = bench::NowMs() - t0;
        repaint();
        test::PumpMessages();
        const long objectsAfter = CLabel::LiveGdiObjects() - objectsAtStart;

        std::printf("products installed: %d of %d (version resources read from real files)\n", installed,
                    kProductEntryCount);
        std::printf("RelayoutRows: median %.2f ms, min %.2f ms, max %.2f ms (%d runs)\n",
                    bench::Median(relayout), *std::min_element(relayout.begin(), relayout.end()),
                    *std::max_element(relayout.begin(), relayout.end()), kRuns);
        std::printf("RelayoutRows + repaint: median %.2f ms\n", bench::Median(withPaint));
        std::printf("%d filter toggles: %.0f ms total, %.2f ms each\n", kToggles, toggles,
                    kToggles ? toggles / kToggles : 0.0);
        std::printf("GDI objects owned by labels: %ld before, %ld after\n", objectsBefore, objectsAfter);
        std::printf("GetGuiResources(GR_GDIOBJECTS): %lu (Wine answers 0)\n",
                    ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS));
    }
    std::printf("GDI objects owned by labels after the page is gone: %ld\n",
                CLabel::LiveGdiObjects() - objectsAtStart);

    return 0;
}
