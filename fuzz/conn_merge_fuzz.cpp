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

std::wstring ScanFreeName(const std::vector<CONN_INFO>& store, const std::wstring& wanted,
                          const conn::NameCase& names) {
    for (std::size_t n = 2;; ++n) {
        const std::wstring suffix = L" (" + std::to_wstring(n) + L")";
        std::u16string base = conn::ToUnits(wanted);
        if (base.size() + suffix.size() > CONN_INFO::kMaxName) {
            base.resize(CONN_INFO::kMaxName - suffix.size());
            if (!base.empty() && base.back() >= 0xD800 && base.back() <= 0xDBFF) base.pop_back();
        }
        const std::wstring candidate = conn::FromUnits(base) + suffix;
        bool taken = false;
        for (const CONN_INFO& e : store) taken = taken || names.Key(e.name) == names.Key(candidate);
        if (!taken) return candidate;
    }
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
    std::size_t renamed = 0;
    for (const CONN_INFO& p : incoming) {
        const CONN_INFO* clash = nullptr;
        for (const CONN_INFO& e : scanned)
            if (!clash && names.Key(e.name) == names.Key(p.name)) clash = &e;
        if (clash && clash->SameSettings(p)) continue;
        CONN_INFO added = p;
        if (clash) {
            added.name = ScanFreeName(scanned, p.name, names);
            Check(renamed < result.renamed.size() && result.renamed[renamed++].second == added.name);
        }
        scanned.push_back(added);
    }
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
