// Adding loaded profiles to a store without changing what it holds.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/connection/CONN_INFO.h"

namespace conn {

// How names are compared for clashes: two names clash when their keys are
// equal. The key must map code units one to one, as simple upper-casing does.
class NameCase {
public:
    virtual ~NameCase() = default;
    virtual std::wstring Key(const std::wstring& name) const = 0;
};
// Upper-cases ASCII letters only: for code that has no system's case tables.
const NameCase& AsciiNameCase();

struct MergeResult {
    int added = 0;
    int alreadyPresent = 0;
    std::vector<std::pair<std::wstring, std::wstring>> renamed;  // (name in the file, name given)
    std::vector<std::size_t> addedIndexes;                       // in the store, in order
};

// Whether a stored profile and an incoming one with the same settings hold the same password.
using SamePasswordFn = std::function<bool(const CONN_INFO& stored, const CONN_INFO& incoming)>;

// Adds `incoming` to `store` without touching any profile already there. A
// profile whose name is free is added; one that matches an existing profile
// of the same name (same settings and, where the incoming one has a password,
// samePassword says so) counts as already present; any other clash is added
// under the first free name "name (2)", "name (3)", ... (cut so that it keeps
// within 256 code units). Names compare by `names`. Takes O(n log n) for n
// profiles in all, however many names clash.
MergeResult Merge(std::vector<CONN_INFO>& store, std::vector<CONN_INFO> incoming,
                  const SamePasswordFn& samePassword, const NameCase& names);

// "3 profiles added, 1 already present; renamed because the name was taken:
// Sales -> Sales (2)" and so on.
std::wstring MergeSummary(const MergeResult& result);

}  // namespace conn
