// Times the connection list with 1,000 stored profiles (passwords protected
// with DPAPI): reading the store and showing every row in a real list view,
// writing the store, and exporting all profiles to a file without and with
// passphrase-sealed passwords. Median of several runs; runs under Wine in a
// temporary folder.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/connection/ProfileStore.h"
#include "platform/connection/Win32ConnCrypto.h"
#include "platform/framework/CAdvConnectList.h"

namespace {

constexpr int kRuns = 9;
constexpr int kProfiles = 1000;

class BenchList : public CAdvConnectList {
public:
    std::wstring exportPath;
    int answer = IDNO;

protected:
    std::wstring AskSaveFileName(HWND, const std::wstring&, const std::wstring&) override {
        return exportPath;
    }
    std::optional<std::wstring> AskPassphrase(HWND, const std::wstring&, bool) override {
        return std::wstring(L"benchmark passphrase");
    }
    int ShowMessage(HWND, const std::wstring& text, const std::wstring&, UINT) override {
        if (text.find(L"Include the passwords") == std::wstring::npos)
            std::fwprintf(stderr, L"unexpected message: %ls\n", text.c_str());
        return answer;
    }
};

template <class F>
double MedianMs(F f) {
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        f();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring dir =
        std::wstring(temp) + L"quaylet-conn-bench-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring storePath = dir + L"\\profiles.zcp";

    std::vector<CONN_INFO> profiles;
    for (int i = 0; i < kProfiles; ++i) {
        CONN_INFO c;
        c.name = L"Profile " + std::to_wstring((i * 7919) % kProfiles) + L" \u00e9";
        c.kind = i % 2 ? L"Network SQL" : L"Enterprise SQL";
        c.server = L"server-" + std::to_wstring(i) + L".example.net";
        c.port = 5000 + i;
        c.database = L"database_" + std::to_wstring(i);
        c.user = L"user" + std::to_wstring(i);
        c.password = L"password-" + std::to_wstring(i);
        c.options = L"timeout=30";
        conn::ProtectPassword(c, conn::CurrentUserProtector());
        profiles.push_back(std::move(c));
    }
    std::wstring error;
    if (!conn::ProfileStore(storePath).Save(profiles, error)) {
        std::fwprintf(stderr, L"cannot write the store: %ls\n", error.c_str());
        return 1;
    }

    HWND frame = ::CreateWindowExW(0, L"STATIC", L"bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 900, 700,
                                   nullptr, nullptr, nullptr, nullptr);
    HWND listWnd = ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL,
                                     0, 0, 880, 660, frame, nullptr, nullptr, nullptr);
    BenchList list;
    list.Attach(listWnd);
    list.SetStorePath(storePath);
    list.Initialize(nullptr);

    const double load = MedianMs([&] {
        list.LoadProfiles();
        ::UpdateWindow(listWnd);
    });
    if (list.GetItemCount() != kProfiles) {
        std::fwprintf(stderr, L"expected %d rows, got %d\n", kProfiles, list.GetItemCount());
        return 1;
    }
    const double storeSave = MedianMs([&] { conn::ProfileStore(storePath).Save(list.Profiles(), error); });
    list.exportPath = dir + L"\\all.zcx";
    list.answer = IDNO;
    const double exportPlain = MedianMs([&] { list.SaveAll(frame, L"Connection profiles"); });
    list.answer = IDYES;
    const double exportSealed = MedianMs([&] { list.SaveAll(frame, L"Connection profiles"); });

    std::printf("connection list, %d profiles, median of %d runs:\n", kProfiles, kRuns);
    std::printf("  load the store and show every row:          %8.1f ms (target < 100)\n", load);
    std::printf("  save the store (atomic replace):            %8.1f ms (target < 100)\n", storeSave);
    std::printf("  save all to a file, passwords left out:     %8.1f ms (target < 100)\n", exportPlain);
    std::printf("  save all to a file, passwords sealed:       %8.1f ms (1,000 DPAPI reads + PBKDF2)\n",
                exportSealed);
    ::DestroyWindow(frame);
    for (const wchar_t* name : {L"\\profiles.zcp", L"\\all.zcx"}) ::DeleteFileW((dir + name).c_str());
    ::RemoveDirectoryW(dir.c_str());
    return 0;
}
