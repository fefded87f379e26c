// The merge of loaded profiles into a store as a plain scan of the whole
// store does it: quadratic, but simple enough to be right by reading. The
// real merge must give the same names, counts and renames.
#pragma once

#include <string>
#include <vector>

#include "platform/connection/ConnText.h"
#include "platform/connection/ProfileFile.h"
#include "platform/connection/ProfileMerge.h"

namespace connfake {

// The first free name "wanted (n)", cut to the name limit without splitting a surrogate pair.
inline std::wstring ScanFreeName(const std::vector<CONN_INFO>& store, const std::wstring& wanted,
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

// A profile whose name is taken is already present when its settings are
// the same, and is added under the first free name when they differ.
inline conn::MergeResult ScanMerge(std::vector<CONN_INFO>& store, std::vector<CONN_INFO> incoming,
                                   const conn::NameCase& names) {
    conn::MergeResult r;
    for (CONN_INFO& p : incoming) {
        const CONN_INFO* clash = nullptr;
        for (const CONN_INFO& e : store)
            if (!clash && names.Key(e.name) == names.Key(p.name)) clash = &e;
        if (clash && clash->SameSettings(p)) {
            ++r.alreadyPresent;
            continue;
        }
        if (clash) {
            const std::wstring given = ScanFreeName(store, p.name, names);
            r.renamed.emplace_back(p.name, given);
            p.name = given;
        }
        store.push_back(p);
        ++r.added;
    }
    return r;
}

}  // namespace connfake
