// A stand-in for another program of the suite that adds profiles to the
// shared store while the hub may be doing the same: each profile goes in by
// its own read-merge-write under the store's lock, as a Load does.
//
//   profilewriter.exe <name prefix> <count>
//
// Exit code 0 when every profile was added, 1 otherwise (the reason on stderr).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/connection/ProfileFile.h"
#include "platform/connection/ProfileStore.h"
#include "platform/connection/Win32ConnCrypto.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fwprintf(stderr, L"usage: profilewriter <name prefix> <count>\n");
        return 2;
    }
    const std::wstring prefix = argv[1];
    const int count = _wtoi(argv[2]);
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
