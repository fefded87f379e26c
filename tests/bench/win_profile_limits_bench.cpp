// Figures for the profile store at its limits, under Wine in a temporary
// folder: a file of 8 MiB of blank lines (time and memory), a Load of
// 20,000 profiles whose names all clash (the merge alone and the whole Load
// as the user runs it), reading the largest store allowed (20,000 profiles,
// 8 MiB) into the list and the time the list takes to fill, and a wrong
// passphrase at the iteration count earlier versions wrote and at today's.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/connection/ProfileExport.h"
#include "platform/connection/ProfileMerge.h"
#include "platform/connection/ProfileStore.h"
#include "platform/connection/Win32ConnCrypto.h"
#include "platform/connlist/CAdvConnectList.h"
#include "tests/Win32Sandbox.h"
#include "tests/bench/BenchSupport.h"

namespace {

class BenchList : public CAdvConnectList {
public:
    std::wstring openPath;
    std::wstring lastMessage;
    std::optional<conn::SecretText> passphrase;

protected:
    std::wstring AskOpenFileName(HWND, const std::wstring&) override { return openPath; }
    std::optional<conn::SecretText> AskPassphrase(HWND, const std::wstring&, bool) override {
        return passphrase;
    }
    int ShowMessage(HWND, const std::wstring& text, const std::wstring&, UINT) override {
        lastMessage = text;
        return IDOK;
    }
};

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::wstring error;
    if (!conn::WriteFileAtomic(path, bytes, error))
        std::fwprintf(stderr, L"cannot write: %ls\n", error.c_str());
}

}  // namespace

int main() {
    const test::TempFolder folder(L"quaylet-limits-bench-");
    const std::wstring& dir = folder.Path();
    const std::wstring storePath = dir + L"\\profiles.zcp";

    // 8 MiB of blank lines, first, so that the peak memory is its own.
    const double peakBefore = bench::PeakWorkingSetMiB();
    double blankMs = 0;
    {
        const std::string blank =
            "ZQ-EXPORT 1\r\npasswords=none\r\n" + std::string(conn::kMaxFileBytes - 29, '\n');
        blankMs = bench::TimeMs([&] { conn::ReadExport(blank, nullptr, nullptr); });
    }
    const double blankPeak = bench::PeakWorkingSetMiB() - peakBefore;

    // 20,000 profiles that all have one name.
    std::vector<CONN_INFO> clashing(conn::kMaxProfiles);
    for (std::size_t i = 0; i < clashing.size(); ++i) {
        clashing[i].name = L"Sales";
        clashing[i].server = L"server-" + std::to_wstring(i);
    }
    std::vector<CONN_INFO> merged;
    conn::MergeResult merge;
    const double mergeMs = bench::TimeMs([&] {
        merge = conn::Merge(
            merged, clashing, [](const CONN_INFO&, const CONN_INFO&) { return true; },
            conn::SystemNameCase());
    });
    const std::wstring clashFile = dir + L"\\clashing.zcx";
    WriteBytes(clashFile, conn::WriteExport(clashing, nullptr, nullptr).bytes);

    const bench::ListFrame window;
    HWND frame = window.frame, listWnd = window.list;
    BenchList list;
    bench::ShowStore(list, window, storePath);
    list.openPath = clashFile;
    int added = 0;
    const double loadAllMs = bench::TimeMs([&] { added = list.LoadAll(frame, L"Connection profiles"); });
    if (added != static_cast<int>(conn::kMaxProfiles)) {
        std::fwprintf(stderr, L"expected %zu profiles added, got %d: %ls\n", conn::kMaxProfiles, added,
                      list.lastMessage.c_str());
        return 1;
    }

    // 20,000 copies of a stored profile, with its password: all already present.
    conn::CngCipher cipher;
    const conn::SecretText right(L"the right passphrase"), wrong(L"a wrong passphrase");
    CONN_INFO stored = clashing[0];
    stored.password = conn::SecretText(L"secret");
    const std::wstring copiesFile = dir + L"\\copies.zcx";
    WriteBytes(copiesFile, conn::WriteExport(std::vector<CONN_INFO>(conn::kMaxProfiles, stored), &cipher,
                                             &right, conn::kMinIterations)
                               .bytes);
    conn::ProtectPassword(stored, conn::CurrentUserProtector());
    std::wstring error;
    conn::ProfileStore(storePath).Save({stored}, error);
    list.openPath = copiesFile;
    list.passphrase = right;
    const double copiesMs = bench::TimeMs([&] { added = list.LoadAll(frame, L"Connection profiles"); });
    if (added != 0 || list.lastMessage.find(L"20000 were already present") == std::wstring::npos) {
        std::fwprintf(stderr, L"copies: %ls\n", list.lastMessage.c_str());
        return 1;
    }

    // The largest store allowed: 20,000 profiles, 8 MiB.
    std::vector<CONN_INFO> largest(conn::kMaxProfiles);
    std::size_t size = 0;
    for (std::size_t i = 0; i < largest.size(); ++i) {
        largest[i].name = L"Profile " + std::to_wstring(i) + L" \u00e9";
        largest[i].kind = L"Network SQL";
        largest[i].server = L"server-" + std::to_wstring(i) + L".example.net";
        largest[i].options = std::wstring(200, L'o');
    }
    size = conn::SerializeStore(largest).size();
    for (std::size_t i = 0; size < conn::kMaxFileBytes; ++i) {
        const std::size_t add = std::min<std::size_t>(conn::kMaxFileBytes - size, 3000);
        largest[i].database = std::wstring(add, L'd');
        size += add;
    }
    std::string bytes;
    std::wstring problem;
    if (!conn::FitsStore(largest, bytes, problem)) {
        std::fwprintf(stderr, L"largest store refused: %ls\n", problem.c_str());
        return 1;
    }
    WriteBytes(storePath, bytes);
    const double parseMs = bench::TimeMs([&] { conn::ParseStore(bytes); });
    const double storeMs = bench::TimeMs([&] { conn::ProfileStore(storePath).Load(); });
    const double largestMs = bench::TimeMs([&] {
        list.LoadProfiles();
        ::UpdateWindow(listWnd);
    });
    if (list.GetItemCount() != static_cast<int>(conn::kMaxProfiles)) {
        std::fwprintf(stderr, L"expected %zu rows, got %d\n", conn::kMaxProfiles, list.GetItemCount());
        return 1;
    }

    // A wrong passphrase costs one key derivation.
    CONN_INFO one;
    one.name = L"one";
    one.password = conn::SecretText(L"secret");
    double wrongMs[2] = {};
    const std::uint32_t counts[2] = {210000, conn::kDefaultIterations};
    for (int k = 0; k < 2; ++k) {
        const std::string sealed = conn::WriteExport({one}, &cipher, &right, counts[k]).bytes;
        wrongMs[k] = bench::TimeMs([&] {
            if (conn::ReadExport(sealed, &cipher, &wrong).error != conn::FileError::WrongPassphrase)
                std::fwprintf(stderr, L"wrong passphrase not refused\n");
        });
    }

    std::printf("profile store at its limits (one run each, under Wine):\n");
    std::printf("  8 MiB of blank lines refused:               %8.1f ms, peak memory +%.1f MiB\n", blankMs,
                blankPeak);
    std::printf("  merge of 20,000 clashing names:             %8.1f ms\n", mergeMs);
    std::printf("  Load of a file of them (read, merge, save, show): %8.1f ms\n", loadAllMs);
    std::printf("  Load of 20,000 copies of a stored profile with its sealed password: %8.1f ms\n", copiesMs);
    std::printf("  largest store (20,000 profiles, 8 MiB) read and shown: %8.1f ms\n", largestMs);
    std::printf("    of which reading the 8 MiB store:         %8.1f ms (parsing alone %.1f ms)\n", storeMs,
                parseMs);
    std::printf("    of which filling the list:                %8.1f ms\n", largestMs - storeMs);
    std::printf("  wrong passphrase, %u iterations (earlier):  %8.1f ms\n", counts[0], wrongMs[0]);
    std::printf("  wrong passphrase, %u iterations (default):  %8.1f ms\n", counts[1], wrongMs[1]);
    return 0;
}
