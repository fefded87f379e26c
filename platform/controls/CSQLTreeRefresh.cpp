// The script tree read again: every level that is listed is listed anew in
// the background and merged into the items that show it, so that what the
// user opened, selected and scrolled to stays where it is.
#include <chrono>

#include "platform/controls/CSQLTree.h"
#include "platform/os/BackgroundReads.h"
#include "platform/ui/Reads.h"

namespace {

// A level that has not answered by then keeps what it showed.
constexpr std::chrono::milliseconds kRefreshDeadline{10000};
constexpr std::size_t kTopLevel = static_cast<std::size_t>(-1);

std::wstring NameOf(const std::wstring& path) {
    const std::size_t at = path.find_last_of(L"\\/");
    return at == std::wstring::npos ? path : path.substr(at + 1);
}

}  // namespace

void CSQLTree::Refresh() {
    if (!m_hwnd || m_root.empty()) return;
    m_reads->SetRing(ui::PostReadsAnswered(m_hwnd));
    // A level still being read shows what it finds, and is then read again.
    for (const auto& level : m_reading) m_readAgain.insert(level.first);
    if (!m_reading.count(nullptr)) RefreshLevel(m_root, kTopLevel);
    for (std::size_t entry = 0; entry < m_listed.size(); ++entry)
        if (m_listed[entry] == Listed::Yes && m_items[entry]) RefreshLevel(m_paths[entry], entry);
}

void CSQLTree::RefreshLevel(const std::wstring& folder, std::size_t parent) {
    const std::uint64_t generation = m_generation;
    m_reads->Start<std::vector<Found>>([folder] { return ReadFolder(folder); },
                                       [this, generation, folder, parent](std::vector<Found>& found) {
                                           auto apply = [this, generation, folder, parent,
                                                         found = std::move(found)] {
                                               MergeLevel(generation, folder, parent, found);
                                           };
                                           if (m_gate)
                                               m_gate(std::move(apply));
                                           else
                                               apply();
                                       },
                                       [] {}, kRefreshDeadline);
}

void CSQLTree::MergeLevel(std::uint64_t generation, const std::wstring& folder, std::size_t parent,
                          const std::vector<Found>& found) {
    // Held while the pointer was down, the level may have gone or been listed anew.
    if (generation != m_generation) return;
    if (parent == kTopLevel ? folder != m_root
                            : parent >= m_items.size() || !m_items[parent] || m_paths[parent] != folder ||
                                  m_listed[parent] != Listed::Yes)
        return;
    HTREEITEM parentItem = parent == kTopLevel ? nullptr : m_items[parent];
    // The level as shown, in its order (the same order ReadFolder sorts in).
    std::vector<std::pair<HTREEITEM, Found>> shown;
    for (HTREEITEM item = GetNext(parentItem ? parentItem : TVI_ROOT, TVGN_CHILD); item;
         item = GetNext(item, TVGN_NEXT)) {
        const std::size_t entry = EntryOf(item);
        if (entry < m_paths.size())
            shown.push_back({item, {NameOf(m_paths[entry]), m_kinds[entry] == kDirectoryKind}});
    }
    SetRedraw(false);
    std::size_t at = 0;
    HTREEITEM previous = TVI_FIRST;
    for (const Found& f : found) {
        while (at < shown.size() && SortsBefore(shown[at].second, f)) RemoveItem(shown[at++].first);
        if (at < shown.size() && shown[at].second.name == f.name && shown[at].second.folder == f.folder) {
            previous = shown[at++].first;
            continue;
        }
        const std::size_t entry = m_paths.size();
        HTREEITEM item = InsertItem(parentItem, f.name, f.folder ? kIconFolder : kIconScript,
                                    f.folder ? I_CHILDRENCALLBACK : 0, static_cast<LPARAM>(entry), previous);
        if (!item) break;
        m_kinds.emplace_back(f.folder ? kDirectoryKind : kScriptKind);
        m_paths.push_back(folder + (folder.back() == L'\\' || folder.back() == L'/' ? L"" : L"\\") + f.name);
        m_items.push_back(item);
        m_listed.push_back(Listed::No);
        m_hasChildren.push_back(-1);
        previous = item;
    }
    while (at < shown.size()) RemoveItem(shown[at++].first);
    if (parentItem) ShowChildrenState(parentItem);
    SetRedraw(true);
    ::InvalidateRect(m_hwnd, nullptr, TRUE);
}

void CSQLTree::RemoveItem(HTREEITEM item) {
    const std::size_t entry = EntryOf(item);
    if (entry >= m_paths.size()) return;
    // The entry and everything listed below it keep their numbers, emptied.
    const std::wstring below = m_paths[entry] + L"\\";
    for (std::size_t e = 0; e < m_paths.size(); ++e) {
        if (e != entry && m_paths[e].compare(0, below.size(), below) != 0) continue;
        if (m_items[e]) m_reading.erase(m_items[e]);
        m_items[e] = nullptr;
        m_paths[e].clear();
        m_kinds[e].clear();
        m_listed[e] = Listed::No;
        m_hasChildren[e] = 0;
    }
    DeleteItem(item);
}

void CSQLTree::ShowChildrenState(HTREEITEM parent) {
    const std::size_t entry = EntryOf(parent);
    if (entry >= m_hasChildren.size()) return;
    m_hasChildren[entry] = GetNext(parent, TVGN_CHILD) ? 1 : 0;
    const bool open =
        (Send(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(parent), TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
    SetImageAndChildren(parent, open && m_hasChildren[entry] ? kIconFolderOpen : kIconFolder,
                        m_hasChildren[entry]);
}
