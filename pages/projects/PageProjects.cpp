#include "pages/projects/PageProjects.h"

#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cwchar>
#include <utility>
#include <vector>

#include "platform/framework/Process.h"
#include "platform/os/Os.h"
#include "platform/os/TextMatch.h"
#include "platform/services/CLog.h"
#include "platform/services/ColumnWidth.h"
#include "platform/services/_Settings.h"
#include "platform/ui/Dpi.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Reads.h"
#include "resources/resource.h"

namespace {

// Only while no settings store exists (never in the program itself).
constexpr int kWidthWithoutStore = 100;
// A project file or descriptor that has not answered by then is given up on.
constexpr std::chrono::milliseconds kReadDeadline{10000};
// The header's items are its accessible children, counted from 1.
constexpr LONG kTimeColumnChild = PC_TIME + 1;

}  // namespace

const PageProjects::ColumnSpec PageProjects::kColumns[6] = {
    {L"Project", LVCFMT_LEFT, L"ProjColW1"},      {L"Folder", LVCFMT_LEFT, L"ProjColW2"},
    {L"Last Update", LVCFMT_RIGHT, L"ProjColW3"}, {L" ", LVCFMT_LEFT, L"ProjColW4"},
    {L"Author", LVCFMT_LEFT, L"ProjColW5"},       {L"Note", LVCFMT_LEFT, L"ProjColW6"},
};

PageProjects::PageProjects(ui::Window* parent)
    : CSmPage(IDD_PAGE_PROJECTS, parent), m_discovery(m_found, m_cachedKeys, m_known, m_known, os::Clock()) {}

PageProjects::~PageProjects() {
    // Destroy the window while this class's handlers still run, so that the
    // column widths are stored also when the page object goes first.
    DestroyWindow();
}

const ui::MessageMap* PageProjects::ThisMessageMap() {
    static const ui::MessageEntry entries[] = {
        ui::OnNotify(IDC_PROJECT_LIST, NM_DBLCLK, &PageProjects::OnDblClk),
        ui::OnSignal(WM_DESTROY, &PageProjects::OnDestroyMsg),
        ui::OnSignal(ui::kReadsAnswered, &PageProjects::OnReadsAnswered),
        ui::OnCommand(IDC_PROJECT_SEARCH, EN_CHANGE, &PageProjects::OnSearchChange),
    };
    static const ui::MessageMap map(CSmDialog::ThisMessageMap(), entries);
    return &map;
}

void PageProjects::DoDataExchange(ui::DataExchange& dx) {
    CSmDialog::DoDataExchange(dx);
    dx.Attach(IDC_PROJECT_LIST, m_list);
    dx.Attach(IDC_PROJECT_SEARCH, m_search);
    dx.Attach(IDC_PROJECT_COUNT, m_count);
}

void PageProjects::CreateImageList() {
    ui::Bitmap strip(static_cast<HBITMAP>(
        ::LoadImageW(ui::ResourceModule(), MAKEINTRESOURCEW(IDB_PRODUCT_IMAGES), IMAGE_BITMAP, 0, 0, 0)));
    ui::ImageList images(::ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 0));
    if (!strip || !images) return;
    // Every 16-pixel slice of the strip becomes one image, white transparent.
    ::ImageList_AddMasked(images.Get(), strip.Get(), RGB(255, 255, 255));
    m_imageList = images.Release();
}

BOOL PageProjects::OnInitDialog() {
    CSmDialog::OnInitDialog();

    CreateImageList();
    m_list.SetExtendedStyle(0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    // Widths come back as they were left (stored in 96-dpi units, and exactly beside them).
    const UINT dpi = ui::DpiOf(m_hwnd);
    for (int i = 0; i < 6; ++i) {
        const int width = g_settings ? LoadColumnWidth(&g_settings->Store(), kColumns[i].widthKey,
                                                       g_settings->getInt(kColumns[i].widthKey), dpi)
                                     : ui::Scale(kWidthWithoutStore, dpi);
        m_list.InsertColumn(i, kColumns[i].title, kColumns[i].format, width);
    }
    // The time column's title is a blank; a screen reader gets a name for it.
    m_names.Set(m_list.GetHeader(), L"Last Update Time", kTimeColumnChild);
    if (m_imageList) m_list.SetImageList(m_imageList, LVSIL_SMALL);

    SetUpSearch();
    // The registry is read now; the files it names, in the background.
    m_reads.SetRing(ui::PostReadsAnswered(m_hwnd));
    Rediscover();

    AddControl(IDC_PROJECT_COUNT, RZ_GROW_RIGHT, 0);
    AddControl(IDC_PROJECT_LIST, RZ_GROW_BOTH, 0);
    return TRUE;
}

void PageProjects::Rediscover() {
    m_found.Clear();
    m_discovery.Restart();
    m_discovery.Run();
    ReadWanted();
    ApplyWhenPointerFree(m_list.Hwnd(), [this] { ShowFound(); });
    WatchSources();
}

void PageProjects::ShowFound() {
    // Without redrawing, a row costs the list no scroll-bar and layout work;
    // that is most of the time filling it takes otherwise.
    ApplyFilter();
}

void PageProjects::Refresh() {
    m_cachedKeys.Forget();
    m_known.AskAgain();
    Rediscover();
}

void PageProjects::WatchSources() {
    std::vector<std::wstring> keys;
    keys.reserve(kRecentProjectTypes.size());
    for (const RecentProjectType& type : kRecentProjectTypes)
        keys.push_back(ProductSettingsKey(type.product));
    // Only the folders' own entries: a project may lie in a folder with a
    // busy tree below it.
    std::vector<std::wstring> folders;
    for (const ProjectRow& row : m_found.Rows()) {
        const std::wstring& folder = row.texts[PC_FOLDER];
        if (folders.size() + keys.size() >= os::ChangeWatch::kMaxPlaces) break;
        if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    }
    m_watch.SetRing(ui::PostChangesSeen(m_hwnd));
    m_watch.Watch(std::move(keys), {}, std::move(folders));
}

void PageProjects::ReadWanted() {
    // A file or a descriptor that gives no answer in time stays unlisted or
    // empty: its row (or its author and note) never waits for it.
    for (const std::wstring& path : m_known.TakeWantedFiles())
        m_reads.Start<std::optional<os::FileFacts>>(
            [path] {
                const std::optional<os::PathFacts> facts = os::PathFactsOf(path);
                return facts && !facts->folder ? std::optional<os::FileFacts>(facts->file) : std::nullopt;
            },
            [this, path](std::optional<os::FileFacts>& facts) {
                m_known.SetFacts(path, facts);
                m_knownChanged = true;
            },
            [this, path] { m_known.SetFacts(path, std::nullopt); }, kReadDeadline);
    // A descriptor's author and note are read by one worker.
    const std::vector<KnownProjectFiles::Text> texts = m_known.TakeWantedTexts();
    for (std::size_t i = 0, j = 0; i < texts.size(); i = j) {
        for (j = i + 1;
             j < texts.size() && texts[j].path == texts[i].path && texts[j].section == texts[i].section;)
            ++j;
        const std::vector<KnownProjectFiles::Text> group(texts.begin() + static_cast<std::ptrdiff_t>(i),
                                                         texts.begin() + static_cast<std::ptrdiff_t>(j));
        m_reads.Start<std::vector<std::wstring>>(
            [group] {
                std::vector<std::wstring> keys;
                keys.reserve(group.size());
                for (const KnownProjectFiles::Text& t : group) keys.push_back(t.key);
                return os::ProfileStringsOf(group.front().path, group.front().section, keys,
                                            RecentDiscovery::kMaxDescriptorBytes);
            },
            [this, group](std::vector<std::wstring>& values) {
                for (std::size_t k = 0; k < group.size(); ++k)
                    m_known.SetText(group[k].section, group[k].key, group[k].path, values[k]);
                m_knownChanged = true;
            },
            [this, group] {
                for (const KnownProjectFiles::Text& t : group) m_known.SetText(t.section, t.key, t.path, L"");
            },
            kReadDeadline);
    }
}

void PageProjects::OnReadsAnswered() {
    m_reads.RunFinished();
    if (std::exchange(m_knownChanged, false)) Rediscover();
}

LRESULT PageProjects::OnDblClk(NMHDR*) {
    // The selection decides, not the item the notification names.
    OpenSelected();
    return 0;
}

void PageProjects::OpenSelected() {
    const int row = m_list.GetSelected();
    std::wstring path;
    if (row >= 0) path = m_list.GetItemText(row, PC_FOLDER) + m_list.GetItemText(row, PC_PROJECT);
    if (path.empty() || !os::FileSystem().Exists(path)) return;

    const auto result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(m_hwnd, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result >= 32) return;

    std::wstring text;
    CLog::FormatLastError(text, 0);
    if (text.empty()) {
        std::vector<wchar_t> buffer(path.size() + 64, L'\0');
        std::swprintf(buffer.data(), buffer.size(), L"ShellExecute returns %d for '%ls'",
                      static_cast<int>(result), path.c_str());
        text = buffer.data();
    }
    ui::ShowMessageBox(m_hwnd, text.c_str(), L"Execution Failed", MB_ICONERROR | MB_OK);
}

void PageProjects::OnDestroyMsg() {
    if (m_list) m_names.Clear(m_list.GetHeader(), kTimeColumnChild);
    if (m_search) m_names.Clear(m_search.Hwnd());
    if (g_settings && m_list) {
        const UINT dpi = ui::DpiOf(m_hwnd);
        for (int i = 0; i < 6; ++i)
            g_settings->setInt(
                kColumns[i].widthKey,
                KeepColumnWidth(g_settings->Store(), kColumns[i].widthKey, m_list.GetColumnWidth(i), dpi));
        g_settings->SaveData();
    }
    Decline();  // the base and the default procedure have it too
}

void PageProjects::SetUpSearch() {
    m_search.Send(EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(L"Search projects"));
    m_names.Set(m_search.Hwnd(), L"Search recent projects");
    if (m_tips.Create(m_hwnd))
        m_tips.Add(
            m_search.Hwnd(),
            L"Shows only the projects whose name, folder, author or note holds this text (Esc clears it)");
}

void PageProjects::OnSearchChange() {
    const int length = ::GetWindowTextLengthW(m_search.Hwnd());
    std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(m_search.Hwnd(), text.data(), length + 1)));
    m_filter = os::Folded(text);
    ApplyFilter();
}

void PageProjects::ApplyFilter() {
    static constexpr int kSearched[] = {PC_PROJECT, PC_FOLDER, PC_AUTHOR, PC_NOTE};
    std::vector<ProjectRow> shown;
    for (const ProjectRow& row : m_found.Rows()) {
        bool match = m_filter.empty();
        for (int column : kSearched)
            match = match || os::FindFolded(row.texts[static_cast<std::size_t>(column)], m_filter) !=
                                 std::wstring::npos;
        if (match) shown.push_back(row);
    }
    // Without redrawing, a row costs the list no scroll-bar and layout work;
    // that is most of the time filling it takes otherwise.
    m_list.SetRedraw(false);
    const int changes = SyncProjectRows(m_rows, shown);
    m_list.SetRedraw(true);
    if (changes) ::InvalidateRect(m_list.Hwnd(), nullptr, TRUE);
    if (m_count) ::SetWindowTextW(m_count.Hwnd(), CountText().c_str());
}

std::wstring PageProjects::CountText() const {
    const std::size_t all = m_found.Rows().size();
    const auto shown = static_cast<std::size_t>(std::max(m_list.GetItemCount(), 0));
    const std::wstring noun = all == 1 ? L" project" : L" projects";
    if (m_filter.empty()) return std::to_wstring(all) + noun;
    return std::to_wstring(shown) + L" of " + std::to_wstring(all) + noun;
}

void PageProjects::OnCancel() {
    if (::GetFocus() == m_search.Hwnd() && ::GetWindowTextLengthW(m_search.Hwnd()) > 0)
        ::SetWindowTextW(m_search.Hwnd(), L"");
}

bool PageProjects::FocusSearch() {
    if (!m_search || !::IsWindowVisible(m_hwnd)) return false;
    // Through the dialog manager, so that a button that had the focus stops being the default.
    Send(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_search.Hwnd()), TRUE);
    m_search.Send(EM_SETSEL, 0, -1);
    return true;
}
