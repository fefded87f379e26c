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
#include "platform/framework/CColorizer.h"
#include "platform/framework/Process.h"
#include "platform/os/Os.h"
#include "platform/services/_Settings.h"
#include "resources/resource.h"

const std::wstring g_connectionProfilesDescription = L"Connection profiles";
CColorizer g_sharedColorizer;
const std::wstring g_siteBase = L"https://www.zerudozuz.example/";
_Settings* g_settings = nullptr;

namespace {

double Now() {
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

class Host : public ui::Window {
public:
    Host() {
        ui::Window::RegisterClass(L"QuayletProductsBenchHost", 0, nullptr, ::GetSysColorBrush(COLOR_BTNFACE));
        CreateEx(0, L"QuayletProductsBenchHost", L"bench", WS_OVERLAPPEDWINDOW, RECT{0, 0, 1000, 900},
                 nullptr, 0);
    }
};

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(0, p.find_last_of(L'\\'));
}

void Pump() {
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&m);
        ::DispatchMessageW(&m);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Optional: number of relayouts and of toggles (defaults 50 and 1,000).
    const int kRuns = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    const int kToggles = argc > 2 ? std::max(0, std::atoi(argv[2])) : 1000;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    // A registry and folder of the benchmark's own.
    const std::wstring unique = std::to_wstring(::GetCurrentProcessId());
    const std::wstring regKey = L"Software\\QuayletBench\\" + unique;
    HKEY root = nullptr;
    ::RegCreateKeyExW(HKEY_CURRENT_USER, regKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root,
                      nullptr);
    ::RegOverridePredefKey(HKEY_CURRENT_USER, root);
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring dir = std::wstring(temp) + L"quaylet-products-bench-" + unique;
    ::CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring source = ProgramFolder() + L"\\demo\\test_v1234.exe";
    std::vector<std::wstring> copies;
    for (int i = 0; i < kProductEntryCount; ++i) {
        const std::wstring exe = dir + L"\\product" + std::to_wstring(i) + L".exe";
        if (!::CopyFileW(source.c_str(), exe.c_str(), FALSE)) {
            std::fwprintf(stderr, L"cannot copy %ls (build the demo programs first)\n", source.c_str());
            return 1;
        }
        copies.push_back(exe);
        HKEY key = nullptr;
        ::RegCreateKeyExW(HKEY_CURRENT_USER, ProductRegPath(catalogue::kPageEntries[i].product).c_str(), 0,
                          nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
        ::RegSetValueExW(key, L"ExePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(exe.c_str()),
                         static_cast<DWORD>((exe.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(key);
    }

    const long objectsAtStart = CLabel::LiveGdiObjects();
    {
        Host host;
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
        Pump();
        int installed = 0;
        for (const ProductEntry& e : page->Entries()) installed += e.installed;
        const long objectsBefore = CLabel::LiveGdiObjects() - objectsAtStart;

        std::vector<double> relayout, withPaint;
        for (int i = 0; i < kRuns; ++i) {
            const double t0 = Now();
            page->RelayoutRows();
            const double t1 = Now();
            repaint();
            const double t2 = Now();
            relayout.push_back(t1 - t0);
            withPaint.push_back(t2 - t0);
        }
        // The parts of one relayout: detection and version reads alone.
        std::vector<double> detect, versions;
        for (int i = 0; i < 20; ++i) {
            ProductEntries probe;
            for (int k = 0; k < kProductEntryCount; ++k)
                InitEntry(probe[k], catalogue::kPageEntries[k].product, catalogue::kPageEntries[k].command);
            const double a = Now();
            for (ProductEntry& e : probe) DetectInstallation(e, os::Registry(), os::FileSystem());
            const double b = Now();
            for (ProductEntry& e : probe) InstalledVersionText(e, os::VersionReader());
            const double c = Now();
            detect.push_back(b - a);
            versions.push_back(c - b);
        }
        std::printf("detection of 14 products: median %.2f ms; uncached version reads: median %.2f ms\n",
                    Median(detect), Median(versions));
        // Row windows alone: destroying all rows, then creating them again.
        std::vector<double> destroy, create;
        for (int i = 0; i < 10; ++i) {
            const double a = Now();
            for (ProductEntry& e : page->Entries()) page->DestroyRowControls(e);
            const double b = Now();
            page->RelayoutRows();
            const double c = Now();
            destroy.push_back(b - a);
            create.push_back(c - b);
        }
        std::printf("destroying all row windows: median %.2f ms; relayout from no windows: median %.2f ms\n",
                    Median(destroy), Median(create));
        // The floor: as many plain static windows made and destroyed, no objects, no subclassing.
        std::vector<double> floor;
        int windows = 0;
        for (HWND c = ::GetWindow(page->Hwnd(), GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) ++windows;
        for (int i = 0; i < 10; ++i) {
            std::vector<HWND> made;
            const double a = Now();
            for (int k = 0; k < windows; ++k)
                made.push_back(::CreateWindowExW(0, L"STATIC", L"x", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                                                 page->Hwnd(), nullptr, nullptr, nullptr));
            for (HWND w : made) ::DestroyWindow(w);
            floor.push_back(Now() - a);
        }
        std::printf("floor: %d plain static windows made and destroyed: median %.2f ms\n", windows,
                    Median(floor));
        std::fflush(stdout);

        HWND check = page->Item(IDC_SHOW_INSTALLED_ONLY);
        const double t0 = Now();
        for (int i = 0; i < kToggles; ++i) ::SendMessageW(check, BM_CLICK, 0, 0);
        const double toggles = Now() - t0;
        repaint();
        Pump();
        const long objectsAfter = CLabel::LiveGdiObjects() - objectsAtStart;

        std::printf("products installed: %d of %d (version resources read from real files)\n", installed,
                    kProductEntryCount);
        std::printf("RelayoutRows: median %.2f ms, min %.2f ms, max %.2f ms (%d runs)\n", Median(relayout),
                    *std::min_element(relayout.begin(), relayout.end()),
                    *std::max_element(relayout.begin(), relayout.end()), kRuns);
        std::printf("RelayoutRows + repaint: median %.2f ms\n", Median(withPaint));
        std::printf("%d filter toggles: %.0f ms total, %.2f ms each\n", kToggles, toggles,
                    kToggles ? toggles / kToggles : 0.0);
        std::printf("GDI objects owned by labels: %ld before, %ld after\n", objectsBefore, objectsAfter);
        std::printf("GetGuiResources(GR_GDIOBJECTS): %lu (Wine answers 0)\n",
                    ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS));
    }
    std::printf("GDI objects owned by labels after the page is gone: %ld\n",
                CLabel::LiveGdiObjects() - objectsAtStart);

    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    ::RegCloseKey(root);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, regKey.c_str());
    for (const std::wstring& exe : copies) ::DeleteFileW(exe.c_str());
    ::RemoveDirectoryW(dir.c_str());
    return 0;
}
