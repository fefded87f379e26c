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
#include "platform/connlist/CAdvConnectList.h"
#include "tests/Win32Sandbox.h"
#include "tests/bench/BenchSupport.h"

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
    std::optional<conn::SecretText> AskPassphrase(HWND, const std::wstring&, bool) override {
        return conn::SecretText(L"benchmark passphrase");
    }
    int ShowMessage(HWND, const std::wstring& text, const std::wstring&, UINT) override {
        if (text.find(L"Include the passwords") == std::wstring::npos)
            std::fwprintf(stderr, L"unexpected message: %ls\n", text.c_str());
        return answer;
    }
};

}  // namespace

int main() {
    const test::TempFolder folder(L"quaylet-conn-bench-");
    const std::wstring& dir = folder.Path();
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
        c.password = conn::SecretText(L"password-" + std::to_wstring(i));
        c.options = L"timeout=30";
        conn::ProtectPassword(c, conn::CurrentUserProtector());
        profiles.push_back(std::move(c));
    }
    std::wstring error;
    if (!conn::ProfileStore(storePath).Save(profiles, error)) {
        std::fwprintf(stderr, L"cannot write the store: %ls\n", error.c_str());
        return 1;
    }

    const bench::ListFrame window;
    HWND frame = window.frame, listWnd = window.list;
    BenchList list;
    bench::ShowStore(list, window, storePath);

    const double load = bench::MedianMs(kRuns, [&] {
        list.LoadProfiles();
        ::UpdateWindow(listWnd);
    });
    if (list.GetItemCount() != kProfiles) {
        std::fwprintf(stderr, L"expected %d rows, got %d\n", kProfiles, list.GetItemCount());
        return 1;
    }
    const double storeSave =
        bench::MedianMs(kRuns, [&] { conn::ProfileStore(storePath).Save(list.Profiles(), error); });
    list.exportPath = dir + L"\\all.zcx";
    list.answer = IDNO;
    const double exportPlain = bench::MedianMs(kRuns, [&] { list.SaveAll(frame, L"Connection profiles"); });
    list.answer = IDYES;
    const double exportSealed = bench::MedianMs(kRuns, [&] { list.SaveAll(frame, L"Connection profiles"); });

    std::printf("connection list, %d profiles, median of %d runs:\n", kProfiles, kRuns);
    std::printf("  load the store and show every row:          %8.1f ms (target < 100)\n", load);
    std::printf("  save the store (atomic replace):            %8.1f ms (target < 100)\n", storeSave);
    std::printf("  save all to a file, passwords left out:     %8.1f ms (target < 100)\n", exportPlain);
    std::printf("  save all to a file, passwords sealed:       %8.1f ms (1,000 DPAPI reads + PBKDF2)\n",
                exportSealed);
    return 0;
}
