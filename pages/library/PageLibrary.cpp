#include "pages/library/PageLibrary.h"

#include "platform/text/CColorizer.h"
#include "pages/library/LibrarySearch.h"
#include "platform/framework/Process.h"
#include "platform/os/RegKey.h"
#include "platform/services/_Settings.h"
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
        ui::OnMessage(LibrarySearch::kAnswered, &PageLibrary::OnSearchAnswered),
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

    const std::wstring first = ReadLibraryLocation(L"StatementDesk2");
    if (!first.empty()) {
        m_location.AddString(first);
        m_location.SetCurSel(0);
    }
    const std::wstring second = ReadLibraryLocation(L"LoadHammer");
    if (!second.empty()) {
        m_location.AddString(second);
        m_location.SetCurSel(0);
    }
    m_tree.SetImageList(m_tree.m_icons.Get(), TVSIL_NORMAL);

    AddControl(IDC_LIBRARY_BROWSE, RZ_MOVE_RIGHT, 0);
    AddControl(IDC_LIBRARY_LOCATION, RZ_GROW_RIGHT, 0);
    AddControl(IDC_LIBRARY_SEARCH_STATUS, RZ_GROW_RIGHT, 0);
    AddControl(IDC_LIBRARY_TREE, RZ_GROW_BOTH, 0);
    AddControl(IDC_LIBRARY_PREVIEW_FRAME, RZ_BOTTOM_GROW_RIGHT, 0);
    AddWnd(m_preview->Hwnd(), RZ_BOTTOM_GROW_RIGHT);

    SetUpSearch();
    FillTree();
    return TRUE;
}

void PageLibrary::FillTree() {
    wchar_t text[1024] = {};
    ::GetWindowTextW(m_location.Hwnd(), text, 1024);
    m_tree.Clear();
    m_tree.Level(text, nullptr);
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
