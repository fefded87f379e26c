#include "pages/projects/PageProjects.h"

#include <shellapi.h>

#include <cwchar>
#include <vector>

#include "platform/framework/Process.h"
#include "platform/os/Os.h"
#include "platform/services/CLog.h"
#include "platform/services/ColumnWidth.h"
#include "platform/services/_Settings.h"
#include "platform/ui/Dpi.h"
#include "platform/ui/Gdi.h"
#include "resources/resource.h"

namespace {

// Only while no settings store exists (never in the program itself).
constexpr int kWidthWithoutStore = 100;
// The header's items are its accessible children, counted from 1.
constexpr LONG kTimeColumnChild = PC_TIME + 1;

}  // namespace

const PageProjects::ColumnSpec PageProjects::kColumns[6] = {
    {L"Project", LVCFMT_LEFT, L"ProjColW1"},      {L"Folder", LVCFMT_LEFT, L"ProjColW2"},
    {L"Last Update", LVCFMT_RIGHT, L"ProjColW3"}, {L" ", LVCFMT_LEFT, L"ProjColW4"},
    {L"Author", LVCFMT_LEFT, L"ProjColW5"},       {L"Note", LVCFMT_LEFT, L"ProjColW6"},
};

PageProjects::PageProjects(ui::Window* parent)
    : CSmPage(IDD_PAGE_PROJECTS, parent),
      m_discovery(m_rows, m_keys, os::FileSystem(), os::ProfileReader(), os::Clock()) {}

PageProjects::~PageProjects() {
    // Destroy the window while this class's handlers still run, so that the
    // column widths are stored also when the page object goes first.
    DestroyWindow();
}

const ui::MessageMap* PageProjects::ThisMessageMap() {
    static const ui::MessageEntry entries[] = {
        ui::OnNotify(IDC_PROJECT_LIST, NM_DBLCLK, &PageProjects::OnDblClk),
        ui::OnMessage(WM_DESTROY, &PageProjects::OnDestroyMsg),
    };
    static const ui::MessageMap map(CSmDialog::ThisMessageMap(), entries);
    return &map;
}

void PageProjects::DoDataExchange(ui::DataExchange& dx) {
    CSmDialog::DoDataExchange(dx);
    dx.Attach(IDC_PROJECT_LIST, m_list);
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

    // Without redrawing, a row costs the list no scroll-bar and layout work;
    // that is most of the time discovery takes otherwise.
    m_list.SetRedraw(false);
    m_discovery.Run();
    m_list.SetRedraw(true);
    ::InvalidateRect(m_list.Hwnd(), nullptr, TRUE);

    AddControl(IDC_PROJECT_LIST, RZ_GROW_BOTH, 0);
    return TRUE;
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

bool PageProjects::OnDestroyMsg(ui::Message&) {
    if (m_list) m_names.Clear(m_list.GetHeader(), kTimeColumnChild);
    if (g_settings && m_list) {
        const UINT dpi = ui::DpiOf(m_hwnd);
        for (int i = 0; i < 6; ++i)
            g_settings->setInt(
                kColumns[i].widthKey,
                KeepColumnWidth(g_settings->Store(), kColumns[i].widthKey, m_list.GetColumnWidth(i), dpi));
        g_settings->SaveData();
    }
    return false;
}
