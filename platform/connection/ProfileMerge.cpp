#include "platform/connection/ProfileMerge.h"

#include <map>

#include "platform/connection/ConnText.h"
#include "platform/connection/ProfileFormat.h"

namespace conn {

namespace {

class AsciiCase : public NameCase {
public:
    std::wstring Key(const std::wstring& name) const override {
        std::wstring key = name;
        for (wchar_t& c : key)
            if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
        return key;
    }
};

// Gives clashing names "name (2)", "name (3)", ... without looking at any
// name twice: for each (key of the cut base, digit count) it remembers the
// first number not yet known to be taken. All candidates of one base and digit
// count are the same text but for the number, so a number it passed stays taken.
class Renamer {
public:
    Renamer(const NameCase& names, const std::map<std::wstring, std::size_t>& taken)
        : m_names(names), m_taken(taken) {}

    // The free name and its key.
    std::pair<std::wstring, std::wstring> FreeName(const std::wstring& wanted) {
        const std::u16string units = ToUnits(wanted);
        std::size_t n = 2;
        while (true) {
            const std::wstring digits = Num(n);
            const std::wstring suffix = L" (" + digits + L")";
            std::u16string baseUnits = units;
            if (baseUnits.size() + suffix.size() > CONN_INFO::kMaxName) {
                baseUnits.resize(CONN_INFO::kMaxName - suffix.size());
                if (!baseUnits.empty() && baseUnits.back() >= 0xD800 && baseUnits.back() <= 0xDBFF)
                    baseUnits.pop_back();  // do not split a pair
            }
            const std::wstring base = FromUnits(baseUnits);
            // Keys map units one to one and the suffix has no letters, so a
            // candidate's key is the base's key and the suffix.
            const std::wstring baseKey = m_names.Key(base);
            std::size_t& next = m_next[baseKey + L'\x1' + Num(digits.size())];
            std::size_t k = next > n ? next : n;
            for (; Num(k).size() == digits.size(); ++k) {
                const std::wstring tail = L" (" + Num(k) + L")";
                std::wstring key = baseKey + tail;
                if (m_taken.find(key) == m_taken.end()) {
                    next = k + 1;
                    return {base + tail, std::move(key)};
                }
            }
            next = k;
            n = k;  // the first number with one more digit
        }
    }

private:
    const NameCase& m_names;
    const std::map<std::wstring, std::size_t>& m_taken;
    std::map<std::wstring, std::size_t> m_next;
};

}  // namespace

const NameCase& AsciiNameCase() {
    static const AsciiCase names;
    return names;
}

MergeResult Merge(std::vector<CONN_INFO>& store, std::vector<CONN_INFO> incoming,
                  const SamePasswordFn& samePassword, const NameCase& names) {
    MergeResult result;
    std::map<std::wstring, std::size_t> byKey;  // key -> first profile of that name
    for (std::size_t i = 0; i < store.size(); ++i) byKey.emplace(names.Key(store[i].name), i);
    Renamer renamer(names, byKey);
    store.reserve(store.size() + incoming.size());
    for (CONN_INFO& p : incoming) {
        std::wstring key = names.Key(p.name);
        const auto clash = byKey.find(key);
        if (clash != byKey.end()) {
            const CONN_INFO& existing = store[clash->second];
            if (existing.SameSettings(p) && (!p.HasPassword() || samePassword(existing, p))) {
                ++result.alreadyPresent;
                continue;
            }
            auto [given, givenKey] = renamer.FreeName(p.name);
            result.renamed.emplace_back(p.name, given);
            p.name = std::move(given);
            key = std::move(givenKey);
        }
        store.push_back(std::move(p));
        byKey.emplace(std::move(key), store.size() - 1);
        result.addedIndexes.push_back(store.size() - 1);
        ++result.added;
    }
    return result;
}

std::wstring MergeSummary(const MergeResult& r) {
    std::wstring text = Num(r.added) + (r.added == 1 ? L" profile added" : L" profiles added");
    if (r.alreadyPresent > 0)
        text += L", " + Num(r.alreadyPresent) + (r.alreadyPresent == 1 ? L" was" : L" were") +
                L" already present";
    text += L".";
    if (!r.renamed.empty()) {
        text += L"\n\nThese names were taken, so the loaded profiles were added under new names:";
        std::size_t shown = 0;
        for (const auto& [from, to] : r.renamed) {
            if (++shown > 10) {
                text += L"\n... and " + Num(r.renamed.size() - 10) + L" more";
                break;
            }
            text += L"\n" + VisibleName(from) + L" -> " + VisibleName(to);
        }
    }
    return text;
}

}  // namespace conn
