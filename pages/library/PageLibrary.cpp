#include "pages/library/PageLibrary.h"

#include <algorithm>
#include <utility>

#include "platform/text/CColorizer.h"
#include "pages/library/LibrarySearch.h"
#include "platform/framework/Process.h"
#include "platform/os/RegKey.h"
#include "platform/services/_Settings.h"
#include "platform/ui/Reads.h"
#include "resources/resource.h"

namespace {

constexpr int kPreviewId = 1040;
constexpr int kPreviewTabWidth = 4;
constexpr int kPreviewPointSize = 90;  // tenths of a point

}  // namespace

PageLibrary::PageLibrary(ui::Window* parent) : CSmPage(IDD_PAGE_LIBRARY, parent) {}

// The preview goes first, before the tree and the combo box.
PageLibrary::~PageLibrary() {
    m_preview.reset();
    m_finder.reset();
    if (m_search) m_names.Clear(m_search.Hwnd());
}

const ui::MessageMap* PageLibrary::ThisMessageMap() {
    static const ui::MessageEntry entries[] = {
        ui::OnCommand(IDC_LIBRARY_LOCATION, CBN_EDITCHANGE, &PageLibrary::FillTree),
        ui::OnCommand(IDC_LIBRARY_LOCATION, CBN_SELCHANGE, &PageLibrary::FillTree),
        ui::OnCommand(IDC_LIBRARY_SEARCH, EN_CHANGE, &PageLibrary::OnSearchChange),
        ui::OnCommand(IDC_LIBRARY_SEARCH_TEXT, BN_CLICKED, &PageLibrary::OnSearchButton),
        ui::OnSignal(LibrarySearch::kAnswered, &PageLibrary::OnSearchAnswered),
        ui::OnTimer(&PageLibrary::OnTimer),
    };
    static const ui::MessageMap map(CSmDialog::ThisMessageMap(), entries);
    return &map;
}

void PageLibrary::DoDataExchange(ui::DataExchange& dx) {
    CSmDialog::DoDataExchange(dx);
    dx.Attach(IDC_LIBRARY_LOCATION, m_location);
    dx.Subclass(IDC_LIBRARY_TREE, m_tree);
    dx.Attach(IDC_LIBRARY_SEARCH, m_search);
    dx.Attach(IDC_LIBRARY_SEARCH_TEXT, m_searchButton);
    dx.Attach(IDC_LIBRARY_SEARCH_STATUS, m_status);
}

std::wstring PageLibrary::ReadLibraryLocation(const wchar_t* productKey) {
    os::RegKey key;
    if (!key.Open(std::wstring(L"Software\\Zerudozuz\\") + productKey + L"\\Settings")) return std::wstring();
    // 255 bytes on offer: 127 characters with their terminator no longer fit.
    const os::RegValue value = key.Query(L"Library", 255);
    if (value.status != os::RegStatus::Ok) return std::wstring();
    // The data need not end in a terminator (or may be of another type): take
    // only the bytes that were returned, up to the first NUL.
    return os::RegText(value.data);
}

BOOL PageLibrary::OnInitDialog() {
    CSmDialog::OnInitDialog();
    if (g_settings) g_sharedColorizer.SetKeywords(g_settings->m_keywords);
    g_sharedColorizer.SetHighlighting(1);

    HWND frame = Item(IDC_LIBRARY_PREVIEW_FRAME);
    RECT rect = ChildRect(frame);
    ::InflateRect(&rect, -2, -2);
    m_preview = std::make_unique<ColorEditWnd>(this, rect, kPreviewId, kPreviewTabWidth, kPreviewPointSize,
                                               L"Courier New");
    ::SetWindowPos(m_preview->Hwnd(), frame, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
    m_preview->SetColorizer(&g_sharedColorizer);

    OfferLocations(ReadLibraryLocations());
    m_tree.SetImageList(m_tree.m_icons.Get(), TVSIL_NORMAL);

    AddControl(IDC_LIBRARY_BROWSE, RZ_MOVE_RIGHT, 0);
    AddControl(IDC_LIBRARY_LOCATION, RZ_GROW_RIGHT, 0);
    AddControl(IDC_LIBRARY_SEARCH_STATUS, RZ_GROW_RIGHT, 0);
    AddControl(IDC_LIBRARY_TREE, RZ_GROW_BOTH, 0);
    AddControl(IDC_LIBRARY_PREVIEW_FRAME, RZ_BOTTOM_GROW_RIGHT, 0);
    AddWnd(m_preview->Hwnd(), RZ_BOTTOM_GROW_RIGHT);

    SetUpSearch();
    m_tree.SetApplyGate(
        [this](std::function<void()> apply) { ApplyWhenPointerFree(m_tree.Hwnd(), std::move(apply)); });
    FillTree();
    return TRUE;
}

std::vector<std::wstring> PageLibrary::ReadLibraryLocations() {
    std::vector<std::wstring> locations;
    for (const wchar_t* product : {L"StatementDesk2", L"LoadHammer"})
        if (std::wstring location = ReadLibraryLocation(product); !location.empty())
            locations.push_back(std::move(location));
    return locations;
}

void PageLibrary::OfferLocations(const std::vector<std::wstring>& locations) {
    if (locations == m_offered) return;
    const std::wstring shown = m_location.Text();
    const int old = m_location.GetCurSel();
    m_location.Send(CB_RESETCONTENT);
    for (const std::wstring& location : locations) m_location.AddString(location);
    m_offered = locations;
    if (locations.empty()) return;
    // The location shown stays when it is still offered; one the user typed
    // stays as typed; one no longer offered gives way to the first.
    const auto at = std::find(locations.begin(), locations.end(), shown);
    if (at != locations.end())
        m_location.SetCurSel(static_cast<int>(at - locations.begin()));
    else if (old >= 0 || shown.empty())
        m_location.SetCurSel(0);
    else
        m_location.SetText(shown);
}

void PageLibrary::Refresh() {
    const std::wstring before = m_location.Text();
    OfferLocations(ReadLibraryLocations());
    if (m_location.Text() != before)
        FillTree();
    else if (m_showingFound)
        RefreshFound();
    else
        m_tree.Refresh();
}

void PageLibrary::RefreshFound() {
    // Scripts whose name matches are looked for again in the library as it
    // is now. What a search of the text found (or is finding) stays as the
    // user asked for it: Enter searches again.
    if (!m_finder || m_finder->Searching() || m_finder->Searched() > 0) return;
    ApplyWhenPointerFree(m_tree.Hwnd(), [this] {
        m_finder->Walk(m_location.Text());
        ApplyFilter();
    });
}

void PageLibrary::WatchSources() {
    std::vector<std::wstring> folders;
    if (std::wstring shown = m_location.Text(); !shown.empty()) folders.push_back(std::move(shown));
    m_watch.SetRing(ui::PostChangesSeen(m_hwnd));
    m_watch.Watch(
        {L"Software\\Zerudozuz\\StatementDesk2\\Settings", L"Software\\Zerudozuz\\LoadHammer\\Settings"},
        std::move(folders));
}

void PageLibrary::FillTree() {
    wchar_t text[1024] = {};
    ::GetWindowTextW(m_location.Hwnd(), text, 1024);
    m_tree.Clear();
    m_tree.Level(text, nullptr);
    WatchSources();
    // Another location while a search is shown: the search goes on there.
    m_showingFound = false;
    if (!m_filter.empty()) ApplyFilter();
}

BOOL PageLibrary::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (wParam == CSQLTree::kSelectionCommand) {
        ShowPreview(static_cast<int>(static_cast<INT32>(lParam)));
        return TRUE;
    }
    return CSmDialog::OnCommand(wParam, lParam);
}

void PageLibrary::ShowPreview(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_tree.m_paths.size()) return;
    const std::wstring path = m_tree.m_paths[static_cast<std::size_t>(index)];
    if (static_cast<std::size_t>(index) >= m_tree.m_kinds.size()) return;
    if (!m_preview) return;
    // The script shown, chosen again in a tree filled again: it stays as it is.
    if (m_reselecting && path == m_selected) return;
    if (m_tree.m_kinds[static_cast<std::size_t>(index)] == CSQLTree::kDirectoryKind) {
        m_preview->LoadText(L"", 0);
    } else {
        m_preview->LoadFile(path);
        m_selected = path;
        MarkMatch();
    }
}
