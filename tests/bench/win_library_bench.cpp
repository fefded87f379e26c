// Figures for the SQL library page under Wine: for scripts of 1, 10 and 100 MB
// the time from LoadFile to the first painted screen and the memory it holds,
// next to the time to read the same file into memory (the floor); then the
// time to show a location whose top folder holds 10,000 scripts.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "pages/library/PageLibrary.h"
#include "platform/text/CColorizer.h"
#include "platform/preview/ColorEditWnd.h"
#include "platform/framework/Process.h"
#include "platform/services/_Settings.h"
#include "resources/resource.h"
#include "tests/PageHost.h"
#include "tests/Win32Sandbox.h"
#include "tests/bench/BenchSupport.h"

namespace {

// Processor time of this thread, to tell own work from waiting for the processor.
double ThreadCpuMs() {
    FILETIME create, exit, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &create, &exit, &kernel, &user);
    auto ms = [](const FILETIME& f) {
        const unsigned long long ticks =
            (static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
        return static_cast<double>(ticks) / 1e4;
    };
    return ms(kernel) + ms(user);
}

void WriteScript(const std::wstring& path, std::size_t bytes) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::string block;
    for (int i = 0; block.size() < (1u << 20); ++i) {
        block += "SELECT c.name, o.total FROM customers c JOIN orders o ON o.id = c.id -- row " +
                 std::to_string(i) + "\r\n\tWHERE o.note = 'it''s' AND o.total > 12.5 /* check */\r\n";
    }
    block.resize(1u << 20);
    for (std::size_t written = 0; written < bytes; written += block.size()) {
        DWORD n = 0;
        ::WriteFile(h, block.data(), static_cast<DWORD>(std::min(block.size(), bytes - written)), &n,
                    nullptr);
    }
    ::CloseHandle(h);
}

// The floor: the whole file read into fresh memory.
double ReadWhole(const std::wstring& path) {
    const double t0 = bench::NowMs();
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    LARGE_INTEGER size{};
    ::GetFileSizeEx(h, &size);
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[static_cast<std::size_t>(size.QuadPart)]);
    std::size_t have = 0;
    while (have < static_cast<std::size_t>(size.QuadPart)) {
        DWORD got = 0;
        const DWORD ask = static_cast<DWORD>(
            std::min<std::size_t>(1u << 20, static_cast<std::size_t>(size.QuadPart) - have));
        if (!::ReadFile(h, buffer.get() + have, ask, &got, nullptr) || got == 0) break;
        have += got;
    }
    ::CloseHandle(h);
    volatile unsigned char sink = buffer[have / 2];
    (void)sink;
    return bench::NowMs() - t0;
}

// Paints the window's client area into an off-screen bitmap, as a WM_PAINT would.
void PaintOnce(HWND hwnd) {
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    HDC screen = ::GetDC(hwnd);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, rc.right, rc.bottom);
    HGDIOBJ old = ::SelectObject(dc, bmp);
    ::SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    ::GdiFlush();
    ::SelectObject(dc, old);
    ::DeleteObject(bmp);
    ::DeleteDC(dc);
    ::ReleaseDC(hwnd, screen);
}

}  // namespace

int main() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    const test::TempFolder folder(L"quaylet-library-bench-");
    const std::wstring& dir = folder.Path();
    const test::RedirectedUserKey userKey(L"Software\\QuayletBench");  // isolated registry for the page

    _Settings settings;
    g_settings = &settings;
    g_sharedColorizer.SetKeywords(settings.m_keywords);
    g_sharedColorizer.SetHighlighting(1);
    test::PageHost host;

    std::printf("Script preview (median of runs; the file is in the system's cache for all)\n");
    std::printf("  read: the whole file read into fresh memory (the floor)\n");
    std::printf("  first screen: LoadFile until the first screen is painted\n");
    std::printf("  whole: LoadFile, the rest read and indexed, first screen painted\n");
    std::printf("  memory: committed memory the preview holds afterwards\n");
    std::printf("%8s %9s %13s %9s %7s %10s %12s\n", "size", "read ms", "first scr ms", "whole ms", "whole/",
                "memory MB", "Ctrl+End ms");
    // 300 MB is more than the preview keeps: it shows the first 256 MB and says so.
    // QUAYLET_BENCH_STALLS=1: only the stalls below.
    const bool stallsOnly = ::GetEnvironmentVariableW(L"QUAYLET_BENCH_STALLS", nullptr, 0) > 0;
    for (std::size_t mb : {1u, 10u, 100u, 300u}) {
        if (stallsOnly) break;
        const std::wstring path = dir + L"\\script" + std::to_wstring(mb) + L".sql";
        WriteScript(path, mb << 20);
        ReadWhole(path);  // in the file cache for both
        const int runs = mb >= 300 ? 3 : (mb >= 100 ? 5 : 9);
        std::vector<double> floor, first, whole, jump;
        double memory = 0;
        for (int r = 0; r < runs; ++r) {
            floor.push_back(ReadWhole(path));
            auto wnd =
                std::make_unique<ColorEditWnd>(&host, RECT{0, 0, 800, 400}, 1040, 4, 90, L"Courier New");
            wnd->SetColorizer(&g_sharedColorizer);
            const double before = bench::CommittedMiB();
            const double t0 = bench::NowMs();
            wnd->LoadFile(path);
            PaintOnce(wnd->Hwnd());
            first.push_back(bench::NowMs() - t0);
            wnd->FinishLoading();
            whole.push_back(bench::NowMs() - t0);
            memory = bench::CommittedMiB() - before;
            const double t1 = bench::NowMs();
            BYTE state[256] = {};
            ::GetKeyboardState(state);
            state[VK_CONTROL] = 0x80;
            ::SetKeyboardState(state);
            ::SendMessageW(wnd->Hwnd(), WM_KEYDOWN, VK_END, 1);
            state[VK_CONTROL] = 0;
            ::SetKeyboardState(state);
            PaintOnce(wnd->Hwnd());
            jump.push_back(bench::NowMs() - t1);
        }
        const double f = bench::Median(floor), w = bench::Median(whole);
        std::printf("%5zu MB %9.1f %13.1f %9.1f %6.2fx %10.1f %12.1f\n", mb, f, bench::Median(first), w,
                    w / f, memory, bench::Median(jump));
        ::DeleteFileW(path.c_str());
    }

    // The longest time the interface thread is busy at once while the user
    // acts on a 256 MB script: each action posted as the keyboard or scroll
    // bar would, then messages handled (and the window painted) until the
    // background work is done.
    {
        ui::SetMessageBoxHook([](HWND, const wchar_t*, const wchar_t*, UINT) { return IDOK; });
        const std::wstring path = dir + L"\\script300.sql";
        WriteScript(path, 300u << 20);
        ReadWhole(path);
        auto wnd = std::make_unique<ColorEditWnd>(&host, RECT{0, 0, 800, 400}, 1040, 4, 90, L"Courier New");
        wnd->SetColorizer(&g_sharedColorizer);
        HWND w = wnd->Hwnd();
        ::SetFocus(w);
        auto run = [&](const char* what, auto action) {
            double longest = 0;
            UINT longestMessage = 0;
            double longestCpu = 0;
            int over = 0;
            const double t0 = bench::NowMs();
            const double a0 = bench::NowMs();
            action();
            PaintOnce(w);
            longest = bench::NowMs() - a0;
            MSG msg;
            for (;;) {
                if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                    if (!wnd->Working()) break;
                    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
                    continue;
                }
                const double m0 = bench::NowMs();
                const double c0 = ThreadCpuMs();
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
                RECT dirty{};
                if (::GetUpdateRect(w, &dirty, FALSE)) {
                    PaintOnce(w);
                    ::ValidateRect(w, nullptr);
                }
                const double took = bench::NowMs() - m0;
                over += took > 100;
                if (took > longest) {
                    longest = took;
                    longestMessage = msg.message;
                }
                longestCpu = std::max(longestCpu, ThreadCpuMs() - c0);
            }
            std::printf("  %-36s %7.1f ms (0x%04X) %6.1f ms cpu, %d over 100 ms, done after %7.1f ms\n", what,
                        longest, longestMessage, longestCpu, over, bench::NowMs() - t0);
        };
        auto key = [&](UINT vk, bool ctrl) {
            BYTE state[256] = {};
            ::GetKeyboardState(state);
            state[VK_CONTROL] = ctrl ? 0x80 : 0;
            ::SetKeyboardState(state);
            ::SendMessageW(w, WM_KEYDOWN, vk, 1);
            state[VK_CONTROL] = 0;
            ::SetKeyboardState(state);
        };
        std::printf("\nLongest interface-thread stall, 256 MB shown of a 300 MB script\n");
        std::printf("  (longest message or action: wall time, message, processor time)\n");
        run("open", [&] { wnd->LoadFile(path); });
        run("open, then Ctrl+End at once", [&] {
            wnd->LoadFile(path);
            key(VK_END, true);
        });
        run("Ctrl+Home", [&] { key(VK_HOME, true); });
        run("jump to the end (scroll bar)", [&] { ::SendMessageW(w, WM_VSCROLL, SB_BOTTOM, 0); });
        run("scroll a page up", [&] { ::SendMessageW(w, WM_VSCROLL, SB_PAGEUP, 0); });
        run("wheel", [&] { ::SendMessageW(w, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA * 3), 0); });
        run("open, then Ctrl+A at once", [&] {
            wnd->LoadFile(path);
            key('A', true);
        });
        run("Ctrl+C of all (refused: too large)", [&] { key('C', true); });
        // What reached the clipboard, in code units, and how long a program
        // pasting it waits for a text promised to the clipboard to be handed
        // over; emptied for the next.
        auto copied = [&] {
            std::size_t units = 0;
            const double t0 = bench::NowMs();
            if (::OpenClipboard(w)) {
                if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
                    units = std::wcslen(static_cast<const wchar_t*>(::GlobalLock(data)));
                    ::GlobalUnlock(data);
                }
                ::EmptyClipboard();
                ::CloseClipboard();
            }
            std::printf("  %-36s %zu units on the clipboard, pasted in %.1f ms\n", "", units,
                        bench::NowMs() - t0);
        };
        run("Ctrl+C of 10,000 lines", [&] {
            wnd->SetSelection({1000, 0}, {11000, 0});
            key('C', true);
        });
        copied();
        // The largest copy allowed: a quarter of 256 MB of one-byte characters is the limit.
        const std::size_t quarter = wnd->LineCount() / 4 - 2000;
        run("Ctrl+C of the largest allowed", [&] {
            wnd->SetSelection({0, 0}, {quarter, 0});
            key('C', true);
        });
        copied();
        wnd.reset();
        ::DeleteFileW(path.c_str());
    }

    // A location whose top folder holds 10,000 scripts, and one nested 200 deep.
    const std::wstring many = dir + L"\\many";
    ::CreateDirectoryW(many.c_str(), nullptr);
    for (int i = 0; i < 10000; ++i) {
        wchar_t name[64];
        std::swprintf(name, 64, L"\\Script %05d.sql", (i * 7919) % 10000);
        HANDLE h = ::CreateFileW((many + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ::CloseHandle(h);
    }
    std::wstring deep = many;
    for (int i = 0; i < 20; ++i) {
        deep += L"\\level" + std::to_wstring(i);
        ::CreateDirectoryW(deep.c_str(), nullptr);
    }
    HKEY key = nullptr;
    ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Zerudozuz\\StatementDesk2\\Settings", 0, nullptr, 0,
                      KEY_WRITE, nullptr, &key, nullptr);
    ::RegSetValueExW(key, L"Library", 0, REG_SZ, reinterpret_cast<const BYTE*>(many.c_str()),
                     static_cast<DWORD>((many.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    std::vector<double> fill;
    double create = 0;
    std::size_t entries = 0;
    for (int r = 0; r < 5; ++r) {
        const double t0 = bench::NowMs();
        auto page = std::make_unique<PageLibrary>(&host);
        page->Create(0, 0);
        const double t1 = bench::NowMs();
        create = t1 - t0;
        page->FillTree();
        fill.push_back(bench::NowMs() - t1);
        entries = page->m_tree.m_paths.size();
    }
    // The part of that which is listing the folder.
    std::vector<double> listing;
    for (int r = 0; r < 5; ++r) {
        const double t0 = bench::NowMs();
        WIN32_FIND_DATAW fd;
        HANDLE f = ::FindFirstFileExW((many + L"\\*").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch,
                                      nullptr, FIND_FIRST_EX_LARGE_FETCH);
        int n = 0;
        if (f != INVALID_HANDLE_VALUE) {
            while (::FindNextFileW(f, &fd)) ++n;
            ::FindClose(f);
        }
        listing.push_back(bench::NowMs() - t0);
    }
    std::printf("\nLocation with 10,000 scripts (and a folder nested 20 deep, listed lazily)\n");
    std::printf("  page created and first filled: %.1f ms; FillTree again: %.1f ms (median); %zu entries\n",
                create, bench::Median(fill), entries);
    std::printf("  of which listing the folder: %.1f ms\n", bench::Median(listing));
    return 0;
}
