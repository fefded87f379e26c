// The script tree showing a search's results: the scripts found, each below
// the folders that lead to it from the location, every folder open.
#include <algorithm>

#include "platform/controls/CSQLTree.h"

void CSQLTree::BeginFound() { Clear(); }

std::size_t CSQLTree::EntryOfPath(const std::wstring& path) const {
    const auto it = m_found.find(path);
    if (it != m_found.end()) return EntryOf(it->second);
    for (std::size_t i = 0; i < m_paths.size(); ++i)
        if (m_paths[i] == path) return i;
    return static_cast<std::size_t>(-1);
}

HTREEITEM CSQLTree::AddFoundEntry(HTREEITEM parent, const std::wstring& name, const std::wstring& path,
                                  bool folder) {
    const std::size_t entry = m_paths.size();
    HTREEITEM item = InsertItem(parent, name, folder ? kIconFolderOpen : kIconScript, folder ? 1 : 0,
                                static_cast<LPARAM>(entry));
    if (!item) return nullptr;
    m_kinds.emplace_back(folder ? kDirectoryKind : kScriptKind);
    m_paths.push_back(path);
    m_items.push_back(item);
    // A folder holds what was found in it, and nothing is read when it is opened.
    m_listed.push_back(Listed::Yes);
    m_hasChildren.push_back(folder ? 1 : 0);
    m_found[path] = item;
    m_unsorted.push_back(parent);
    return item;
}

HTREEITEM CSQLTree::AddFound(const std::wstring& root, const std::wstring& path) {
    if (!m_hwnd) return nullptr;
    if (const auto it = m_found.find(path); it != m_found.end()) return it->second;
    std::wstring base = root;
    while (!base.empty() && (base.back() == L'\\' || base.back() == L'/')) base.pop_back();
    if (path.size() <= base.size() + 1 || path.compare(0, base.size(), base) != 0) return nullptr;
    // Each folder on the way is made once, then the script below the last.
    HTREEITEM parent = nullptr;
    std::vector<HTREEITEM> made;
    std::size_t from = base.size() + 1;
    for (std::size_t cut = path.find(L'\\', from); cut != std::wstring::npos; cut = path.find(L'\\', from)) {
        const std::wstring folder = path.substr(0, cut);
        const auto it = m_found.find(folder);
        HTREEITEM item = it != m_found.end()
                             ? it->second
                             : AddFoundEntry(parent, path.substr(from, cut - from), folder, true);
        if (!item) return nullptr;
        if (it == m_found.end()) made.push_back(item);
        parent = item;
        from = cut + 1;
    }
    HTREEITEM script = AddFoundEntry(parent, path.substr(from), path, false);
    for (HTREEITEM folder : made) Expand(folder, TVE_EXPAND);
    return script;
}

namespace {

struct SortContext {
    const std::vector<std::wstring>* kinds;
    const std::vector<std::wstring>* paths;
};

int CALLBACK CompareFound(LPARAM a, LPARAM b, LPARAM context) {
    const auto* c = reinterpret_cast<const SortContext*>(context);
    const auto i = static_cast<std::size_t>(a), j = static_cast<std::size_t>(b);
    if (i >= c->paths->size() || j >= c->paths->size()) return 0;
    const bool fi = (*c->kinds)[i] == CSQLTree::kDirectoryKind,
               fj = (*c->kinds)[j] == CSQLTree::kDirectoryKind;
    if (fi != fj) return fi ? -1 : 1;
    const std::wstring& p = (*c->paths)[i];
    const std::wstring& q = (*c->paths)[j];
    // Siblings share the folder: comparing the paths compares the names.
    const int r = ::CompareStringOrdinal(p.c_str(), static_cast<int>(p.size()), q.c_str(),
                                         static_cast<int>(q.size()), TRUE);
    if (r != CSTR_EQUAL) return r == CSTR_LESS_THAN ? -1 : 1;
    return p.compare(q);
}

}  // namespace

void CSQLTree::SortFound() {
    if (!m_hwnd || m_unsorted.empty()) return;
    std::sort(m_unsorted.begin(), m_unsorted.end());
    m_unsorted.erase(std::unique(m_unsorted.begin(), m_unsorted.end()), m_unsorted.end());
    SortContext context{&m_kinds, &m_paths};
    for (HTREEITEM parent : m_unsorted) {
        TVSORTCB sort{};
        sort.hParent = parent ? parent : TVI_ROOT;
        sort.lpfnCompare = CompareFound;
        sort.lParam = reinterpret_cast<LPARAM>(&context);
        Send(TVM_SORTCHILDRENCB, 0, reinterpret_cast<LPARAM>(&sort));
    }
    m_unsorted.clear();
}
