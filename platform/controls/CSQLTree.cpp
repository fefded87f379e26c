#include "platform/controls/CSQLTree.h"

#include <algorithm>
#include <chrono>

#include "platform/os/BackgroundReads.h"
#include "platform/os/Handle.h"
#include "platform/ui/Reads.h"

namespace {

// A folder that has not answered by then says so in its stand-in item.
constexpr std::chrono::milliseconds kReadDeadline{10000};
// The item data of a stand-in item: no entry.
constexpr LPARAM kNoEntry = -1;
constexpr std::size_t kNoParent = static_cast<std::size_t>(-1);

bool EndsWithSql(const std::wstring& name) {
    return name.size() > 4 &&
           ::CompareStringOrdinal(name.c_str() + name.size() - 4, 4, L".sql", 4, TRUE) == CSTR_EQUAL;
}

// Hidden and system entries stay out of view, as they do in the shell.
bool Skipped(const WIN32_FIND_DATAW& fd) {
    if (fd.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) return true;
    return (fd.cFileName[0] == L'.' && fd.cFileName[1] == 0) ||
           (fd.cFileName[0] == L'.' && fd.cFileName[1] == L'.' && fd.cFileName[2] == 0);
}

bool Listable(const WIN32_FIND_DATAW& fd) {
    if (Skipped(fd)) return false;
    return (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || EndsWithSql(fd.cFileName);
}

// Starts a search of the folder's entries, asking for large fetches where the
// system knows them.
os::FindHandle FindFirst(const std::wstring& folder, WIN32_FIND_DATAW& fd) {
    const std::wstring pattern = CSQLTree::Join(folder, L"*");
    HANDLE h = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                                  FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_INVALID_PARAMETER)
        h = ::FindFirstFileW(pattern.c_str(), &fd);
    return os::FindHandle(h);
}

// Small icons drawn here rather than borrowed from the system, so that they
// look the same on every machine: folder, open folder, script.
void DrawIcons(HDC dc) {
    const COLORREF edge = RGB(150, 110, 20), body = RGB(240, 200, 90), front = RGB(255, 226, 140);
    // Made before anything is selected, so that each outlives its selection.
    const ui::Pen folderPen(::CreatePen(PS_SOLID, 1, edge));
    const ui::Pen pagePen(::CreatePen(PS_SOLID, 1, RGB(110, 110, 110)));
    const ui::Pen linePen(::CreatePen(PS_SOLID, 1, RGB(40, 90, 200)));
    const ui::Brush bodyBrush(::CreateSolidBrush(body));
    const ui::Brush frontBrush(::CreateSolidBrush(front));

    const ui::ScopedSelect outline(dc, folderPen.Get()), fill(dc, bodyBrush.Get());
    for (int i = 0; i < 2; ++i) {
        const int x = i * 16;
        const POINT tab[] = {{x + 1, 3}, {x + 6, 3}, {x + 8, 5}, {x + 14, 5}, {x + 14, 13}, {x + 1, 13}};
        ::Polygon(dc, tab, 6);
    }
    {
        const ui::ScopedSelect flap(dc, frontBrush.Get());
        const POINT open[] = {{16 + 4, 7}, {16 + 15, 7}, {16 + 12, 13}, {16 + 1, 13}};
        ::Polygon(dc, open, 4);
    }
    // The script: a page with a folded corner and lines of text.
    const ui::ScopedSelect pageOutline(dc, pagePen.Get()), paper(dc, ::GetStockObject(WHITE_BRUSH));
    const POINT page[] = {{32 + 3, 1}, {32 + 10, 1}, {32 + 13, 4}, {32 + 13, 14}, {32 + 3, 14}};
    ::Polygon(dc, page, 5);
    const POINT fold[] = {{32 + 10, 1}, {32 + 10, 4}, {32 + 13, 4}};
    ::Polyline(dc, fold, 3);
    const ui::ScopedSelect text(dc, linePen.Get());
    for (int y = 6; y <= 12; y += 2) {
        ::MoveToEx(dc, 32 + 5, y, nullptr);
        ::LineTo(dc, 32 + (y == 12 ? 9 : 12), y);
    }
}

ui::ImageList MakeIconList() {
    ui::ImageList list(::ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 3, 0));
    if (!list) return list;
    ui::MemoryDC dc;
    ui::Bitmap strip;
    {
        const ui::WindowDC screen(nullptr);
        dc.Reset(::CreateCompatibleDC(screen.Get()));
        strip.Reset(::CreateCompatibleBitmap(screen.Get(), 48, 16));
    }
    if (!dc || !strip) return list;
    const COLORREF transparent = RGB(255, 0, 255);
    {
        // The strip must be out of the device context before the list copies it.
        const ui::ScopedSelect target(dc.Get(), strip.Get());
        const RECT all{0, 0, 48, 16};
        const ui::Brush back(::CreateSolidBrush(transparent));
        ::FillRect(dc.Get(), &all, back.Get());
        DrawIcons(dc.Get());
    }
    ::ImageList_AddMasked(list.Get(), strip.Get(), transparent);
    return list;
}

}  // namespace

std::wstring CSQLTree::Join(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) return folder + name;
    return folder + L"\\" + name;
}

CSQLTree::CSQLTree() : m_icons(MakeIconList()), m_reads(std::make_unique<os::BackgroundReads>()) {
    // The tree's own handlers are all for its notifications; the messages
    // sent to it skip the subclass chain, which a folder of 10,000 scripts
    // would otherwise pass through once per item.
    SendPastSubclasses(true);
}

CSQLTree::~CSQLTree() = default;

const ui::MessageMap* CSQLTree::ThisMessageMap() {
    static const ui::MessageEntry entries[] = {
        ui::OnReflectedNotify(TVN_ITEMEXPANDINGW, &CSQLTree::OnExpanding),
        ui::OnReflectedNotify(TVN_ITEMEXPANDINGA, &CSQLTree::OnExpanding),
        ui::OnReflectedNotify(TVN_SELCHANGEDW, &CSQLTree::OnSelChanged),
        ui::OnReflectedNotify(TVN_SELCHANGEDA, &CSQLTree::OnSelChanged),
        ui::OnReflectedNotify(TVN_GETDISPINFOW, &CSQLTree::OnGetDispInfo),
        ui::OnSignal(ui::kReadsAnswered, &CSQLTree::OnReadsAnswered),
    };
    static const ui::MessageMap map(ui::TreeView::ThisMessageMap(), entries);
    return &map;
}

void CSQLTree::Clear() {
    // Nothing listed before applies to the new contents.
    m_reads->CancelAll();
    m_reading.clear();
    m_readAgain.clear();
    // Deleting the selected item may announce a new selection; none of that
    // is the user's.
    m_clearing = true;
    if (m_hwnd) DeleteAllItems();
    m_clearing = false;
    m_root.clear();
    ++m_generation;
    m_kinds.clear();
    m_paths.clear();
    m_items.clear();
    m_listed.clear();
    m_hasChildren.clear();
    m_found.clear();
    m_unsorted.clear();
}

std::vector<CSQLTree::Found> CSQLTree::ReadFolder(const std::wstring& folder) {
    std::vector<Found> found;
    WIN32_FIND_DATAW fd{};
    const os::FindHandle find = FindFirst(folder, fd);
    if (!find) return found;
    do {
        if (Listable(fd))
            found.push_back({fd.cFileName, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                             (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
    } while (::FindNextFileW(find.Get(), &fd));
    std::sort(found.begin(), found.end(), SortsBefore);
    return found;
}

bool CSQLTree::SortsBefore(const Found& a, const Found& b) {
    if (a.folder != b.folder) return a.folder;
    const int c = ::CompareStringOrdinal(a.name.c_str(), static_cast<int>(a.name.size()), b.name.c_str(),
                                         static_cast<int>(b.name.size()), TRUE);
    if (c != CSTR_EQUAL) return c == CSTR_LESS_THAN;
    return a.name < b.name;  // names differing only in case, from a case-sensitive folder
}

void CSQLTree::Level(const wchar_t* folder, HTREEITEM parent) {
    if (!m_hwnd || !folder || !*folder) return;
    m_reads->SetRing(ui::PostReadsAnswered(m_hwnd));
    const std::wstring base = folder;
    if (!parent) m_root = base;
    // A stand-in item holds the level's place while its folder is read.
    if (const auto old = m_reading.find(parent); old != m_reading.end()) {
        m_clearing = true;
        DeleteItem(old->second);
        m_clearing = false;
        m_reading.erase(old);
    }
    HTREEITEM reading = InsertItem(parent, kReadingText, I_IMAGENONE, 0, kNoEntry);
    m_reading[parent] = reading;
    m_reads->Start<std::vector<Found>>(
        [base] { return ReadFolder(base); },
        [this, base, parent, reading](std::vector<Found>& found) { ShowLevel(base, parent, reading, found); },
        [this, parent, reading] { LevelGaveNoAnswer(parent, reading); }, kReadDeadline);
}

bool CSQLTree::ReadsPending() const { return m_reads->Pending() > 0; }

void CSQLTree::OnReadsAnswered() { m_reads->RunFinished(); }

std::size_t CSQLTree::EntryOf(HTREEITEM item) const {
    if (!item) return kNoParent;
    TVITEMW tv{};
    tv.mask = TVIF_HANDLE | TVIF_PARAM;
    tv.hItem = item;
    if (!Send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv))) return kNoParent;
    return static_cast<std::size_t>(tv.lParam);
}

void CSQLTree::ShowLevel(const std::wstring& base, HTREEITEM parent, HTREEITEM reading,
                         std::vector<Found>& found) {
    // A folder that a refresh found gone has lost its stand-in: nothing to show.
    if (const auto it = m_reading.find(parent); it == m_reading.end() || it->second != reading) return;
    m_reading.erase(parent);
    // One repaint for the whole level, however many entries it has.
    SetRedraw(false);
    m_clearing = true;  // the stand-in may be the selected item
    DeleteItem(reading);
    m_clearing = false;
    const std::size_t first = m_paths.size();
    for (const Found& f : found) {
        const std::size_t entry = m_paths.size();
        HTREEITEM item = InsertItem(parent, f.name, f.folder ? kIconFolder : kIconScript,
                                    f.folder ? I_CHILDRENCALLBACK : 0, static_cast<LPARAM>(entry));
        if (!item) break;  // the lists keep only entries that made it into the tree
        m_kinds.emplace_back(f.folder ? kDirectoryKind : kScriptKind);
        m_paths.push_back(Join(base, f.name));
        m_items.push_back(item);
        m_listed.push_back(Listed::No);
        m_hasChildren.push_back(-1);
    }
    if (const std::size_t entry = EntryOf(parent); entry < first) {
        m_listed[entry] = Listed::Yes;
        ShowChildrenState(parent);
    }
    SetRedraw(true);
    ::InvalidateRect(m_hwnd, nullptr, TRUE);
    if (m_readAgain.erase(parent)) RefreshLevel(base, EntryOf(parent));
}

void CSQLTree::LevelGaveNoAnswer(HTREEITEM parent, HTREEITEM reading) {
    // The stand-in stays, saying so; expanding the folder again tries again.
    if (const auto it = m_reading.find(parent); it == m_reading.end() || it->second != reading) return;
    SetItemText(reading, kNoAnswerText);
    if (const std::size_t entry = EntryOf(parent); entry < m_listed.size())
        m_listed[entry] = Listed::NoAnswer;
}

LRESULT CSQLTree::OnExpanding(NMHDR* hdr) {
    const auto* tv = reinterpret_cast<const NMTREEVIEWW*>(hdr);
    const auto entry = static_cast<std::size_t>(tv->itemNew.lParam);
    HTREEITEM item = tv->itemNew.hItem;
    if (!item || entry >= m_paths.size() || m_kinds[entry] != kDirectoryKind) return FALSE;  // let it expand
    const bool expanding = (tv->action & TVE_EXPAND) != 0;
    if (expanding && (m_listed[entry] == Listed::No || m_listed[entry] == Listed::NoAnswer)) {
        m_listed[entry] = Listed::Reading;
        m_hasChildren[entry] = 1;  // the stand-in, until the folder answers
        // Copied: Level may grow the list the reference would point into.
        const std::wstring path = m_paths[entry];
        Level(path.c_str(), item);
    }
    const bool open = expanding && m_hasChildren[entry] != 0;
    SetImageAndChildren(item, open ? kIconFolderOpen : kIconFolder, m_hasChildren[entry] == 0 ? 0 : 1);
    return FALSE;
}

LRESULT CSQLTree::OnSelChanged(NMHDR* hdr) {
    const auto* tv = reinterpret_cast<const NMTREEVIEWW*>(hdr);
    if (m_clearing || !tv->itemNew.hItem) return 0;
    const auto entry = static_cast<std::size_t>(tv->itemNew.lParam);
    if (entry >= m_paths.size()) return 0;
    ::SendMessageW(::GetParent(m_hwnd), WM_COMMAND, kSelectionCommand, static_cast<LPARAM>(entry));
    return 0;
}

LRESULT CSQLTree::OnGetDispInfo(NMHDR* hdr) {
    auto* info = reinterpret_cast<NMTVDISPINFOW*>(hdr);
    if (!(info->item.mask & TVIF_CHILDREN)) return 0;
    const auto entry = static_cast<std::size_t>(info->item.lParam);
    if (entry >= m_paths.size()) {
        info->item.cChildren = 0;
        return 0;
    }
    // A folder not yet opened shows an expand button: looking into every
    // folder of a level to know better would read each of them, on a share
    // that may not answer.
    info->item.cChildren = m_hasChildren[entry] == 0 ? 0 : 1;
    return 0;
}
