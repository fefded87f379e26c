// Merges fuzzed names into a fuzzed store. Lines before a line "--" are the
// store (a name kept once), the rest are loaded; a line's length picks its
// port so that some clashes are the same profile. The merge must give the
// names a full scan gives, never two profiles of one name, never a name the
// store refuses, and a store that fits must read back as it was written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "platform/connection/ConnText.h"
#include "platform/connection/ProfileFile.h"
#include "platform/connection/ProfileMerge.h"
#include "tests/host/MergeByScan.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

std::wstring Name(const std::string& line) {
    if (auto units = conn::FromUtf8(line)) return conn::FromUnits(*units);
    std::wstring out;
    for (unsigned char c : line) out.push_back(static_cast<wchar_t>(c < 0x20 ? c + 0x100 : c));
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const conn::NameCase& names = conn::AsciiNameCase();
    std::vector<CONN_INFO> store, incoming;
    std::set<std::wstring> storeKeys;
    bool loading = false;
    std::string all(reinterpret_cast<const char*>(data), size);
    std::size_t pos = 0;
    while (pos <= all.size() && store.size() + incoming.size() < 400) {
        std::size_t end = all.find('\n', pos);
        if (end == std::string::npos) end = all.size();
        const std::string line = all.substr(pos, end - pos);
        pos = end + 1;
        if (line == "--") {
            loading = true;
            continue;
        }
        CONN_INFO p;
        p.name = Name(line);
        p.port = line.size() % 2;
        if (!conn::IsValidName(p.name)) continue;
        if (!loading) {
            if (storeKeys.insert(names.Key(p.name)).second) store.push_back(p);
        } else {
            incoming.push_back(p);
        }
    }
    const std::vector<CONN_INFO> before = store;
    const auto result = conn::Merge(
        store, incoming, [](const CONN_INFO&, const CONN_INFO&) { return true; }, names);
    Check(result.added + result.alreadyPresent == static_cast<int>(incoming.size()));
    Check(store.size() == before.size() + static_cast<std::size_t>(result.added));
    std::set<std::wstring> keys;
    for (std::size_t i = 0; i < store.size(); ++i) {
        if (i < before.size()) Check(store[i].SameSettings(before[i]));
        Check(conn::IsValidName(store[i].name));
        Check(keys.insert(names.Key(store[i].name)).second);
    }
    // The same names as a scan of the whole store for the first free one.
    std::vector<CONN_INFO> scanned = before;
    const auto want = connfake::ScanMerge(scanned, incoming, names);
    Check(want.added == result.added && want.alreadyPresent == result.alreadyPresent);
    Check(want.renamed == result.renamed);
    Check(scanned.size() == store.size());
    for (std::size_t i = 0; i < store.size(); ++i) Check(scanned[i].name == store[i].name);
    std::string bytes;
    std::wstring problem;
    if (conn::FitsStore(store, bytes, problem)) {
        const auto back = conn::ParseStore(bytes);
        Check(back.ok() && back.profiles.size() == store.size());
        for (std::size_t i = 0; i < store.size(); ++i) Check(back.profiles[i].SameSettings(store[i]));
    }
    return 0;
}
