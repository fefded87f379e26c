// A stand-in for other programs that use the shared profile store while the
// hub does:
//
//   profilewriter.exe <name prefix> <count>
//       another program of the suite adding profiles, each by its own
//       read-merge-write under the store's lock, as a Load does;
//   profilewriter.exe --hold-lock <ms>
//       another program of the suite in the middle of a change: it holds the
//       store's lock for that long;
//   profilewriter.exe --hold-open <file> <ms>
//       a sync or virus-scanning client: it holds the file open for reading,
//       with read sharing only, for that long.
//
// The store is the default one (%APPDATA%\Zerudozuz\Connections\profiles.zcp).
// Exit code 0 when it did what it was asked, 1 otherwise (the reason on stderr).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/connection/ProfileMerge.h"
#include "platform/connection/ProfileStore.h"
#include "platform/connection/Win32ConnCrypto.h"

namespace {

int AddProfiles(const std::wstring& prefix, int count) {
    conn::ProfileStore store;
    for (int i = 1; i <= count; ++i) {
        CONN_INFO p;
        p.name = prefix + L" " + std::to_wstring(i);
        p.server = L"server-" + std::to_wstring(i);
        const auto r = store.Update([&](std::vector<CONN_INFO>& profiles) {
            return conn::Merge(
                       profiles, {p}, [](const CONN_INFO&, const CONN_INFO&) { return true; },
                       conn::SystemNameCase())
                       .added > 0;
        });
        if (!r.problem.empty()) {
            std::fwprintf(stderr, L"%ls: %ls\n", p.name.c_str(), r.problem.c_str());
            return 1;
        }
    }
    return 0;
}

int HoldLock(DWORD ms) {
    const conn::StoreLock lock(conn::ProfileStore::DefaultPath(), conn::ProfileStore::kLockWaitMs);
    if (!lock.Held()) {
        std::fwprintf(stderr, L"%ls\n", lock.Problem().c_str());
        return 1;
    }
    Sleep(ms);
    return 0;
}

int HoldOpen(const std::wstring& path, DWORD ms) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fwprintf(stderr, L"cannot open %ls: error %lu\n", path.c_str(), GetLastError());
        return 1;
    }
    Sleep(ms);
    CloseHandle(file);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (argc == 3 && mode == L"--hold-lock") return HoldLock(static_cast<DWORD>(_wtoi(argv[2])));
    if (argc == 4 && mode == L"--hold-open") return HoldOpen(argv[2], static_cast<DWORD>(_wtoi(argv[3])));
    if (argc == 3 && mode.rfind(L"--", 0) != 0) return AddProfiles(mode, _wtoi(argv[2]));
    std::fwprintf(
        stderr, L"usage: profilewriter <name prefix> <count> | --hold-lock <ms> | --hold-open <file> <ms>\n");
    return 2;
}
