#include "app/CQuayletDlg.h"

#include "pages/connections/PageConnections.h"
#include "pages/library/PageLibrary.h"
#include "pages/products/PageProducts.h"
#include "pages/projects/PageProjects.h"
#include "platform/framework/CSmApp.h"
#include "platform/framework/Process.h"
#include "platform/ui/Reads.h"
#include "resources/resource.h"

namespace {

// The first control of a page that Tab reaches and that is wholly in the
// page's view, or its first control when none is: giving it the focus
// scrolls nothing, so a page comes back showing what it showed.
HWND FirstControlInView(HWND page) {
    HWND first = ::GetNextDlgTabItem(page, nullptr, FALSE);
    RECT view{};
    ::GetClientRect(page, &view);
    HWND c = first;
    for (int guard = 0; c && guard < 1000; ++guard) {
        RECT r{};
        ::GetWindowRect(c, &r);
        ::MapWindowPoints(HWND_DESKTOP, page, reinterpret_cast<POINT*>(&r), 2);
        if (::IsWindowVisible(c) && ::IsWindowEnabled(c) && r.top >= view.top && r.bottom <= view.bottom)
            return c;
        c = ::GetNextDlgTabItem(page, c, FALSE);
        if (c == first) break;
    }
    return first;
}

}  // namespace

CQuayletDlg::CQuayletDlg() : CSmDialog(IDD_QUAYLET_DIALOG, nullptr) {
    m_appIcon = ::LoadIconW(ui::ResourceModule(), MAKEINTRESOURCEW(IDR_MAINFRAME));
    SetName(L"Quaylet");
}

CQuayletDlg::~CQuayletDlg() {
    // Pages in slot order, then the About dialog; the products-page reference
    // is the same object as page 0.
    for (auto& page : m_pages) page.reset();
    m_productsPage = nullptr;
    m_about.reset();
}

const ui::MessageMap* CQuayletDlg::ThisMessageMap() {
    static const ui::MessageEntry entries[] = {
        ui::OnMessage(WM_HELP, &CQuayletDlg::OnHelpMsg),
        ui::OnMessage(WM_PAINT, &CQuayletDlg::OnPaintMsg),
        ui::OnMessage(WM_QUERYDRAGICON, &CQuayletDlg::OnQueryDragIcon),
        ui::OnNotify(IDC_MAIN_TAB, TCN_SELCHANGE, &CQuayletDlg::OnTabSelChange),
        ui::OnSignal(WM_CLOSE, &CQuayletDlg::OnCloseMsg),
        ui::OnSignal(WM_DESTROY, &CQuayletDlg::OnDestroyMsg),
        ui::OnWheel(WM_MOUSEWHEEL, &CQuayletDlg::OnMouseWheel),
        // Before the window's own commands: the application sees every command first.
        ui::OnCommandRange(0, 0xFFFF, 0, &CQuayletDlg::OnApplicationCommand),
        ui::OnCommand(ID_TOOLS_CHECK_UPDATES, 0, &CQuayletDlg::RunUpdateCheck),
        ui::OnCommand(ID_HELP_ABOUT, 0, &CQuayletDlg::OnAbout),
        ui::OnCommand(ID_HELP_INDEX, 0, &CQuayletDlg::OnHelpIndex),
        ui::OnCommand(ID_FILE_QUIT, 0, &CQuayletDlg::OnQuit),
    };
    static const ui::MessageMap map(CSmDialog::ThisMessageMap(), entries);
    return &map;
}

void CQuayletDlg::DoDataExchange(ui::DataExchange& dx) {
    CSmDialog::DoDataExchange(dx);
    dx.Attach(IDC_MAIN_TAB, m_tab);
}

std::unique_ptr<PageProducts> CQuayletDlg::MakeProductsPage() { return std::make_unique<PageProducts>(this); }

std::unique_ptr<CSmDialog> CQuayletDlg::MakePage(int slot) {
    switch (slot) {
    case 1: return std::make_unique<PageConnections>(this);
    case 2: return std::make_unique<PageProjects>(this);
    case 3: return std::make_unique<PageLibrary>(this);
    default: return nullptr;
    }
}

BOOL CQuayletDlg::OnInitDialog() {
    CSmDialog::OnInitDialog();

    m_about = std::make_unique<CAboutDlg>(this);
    m_about->Initialize(kYears, ZP_QUAYLET, g_settings, m_appIcon, nullptr, 0);

    SetMinSizes(710, 540);
    Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_appIcon));

    // Inserting at 1..4 into the empty strip appends, giving items 0..3.
    static const wchar_t* const kTitles[kPageCount] = {L"Products", L"Connections", L"Recent Projects",
                                                       L"SQL Library"};
    for (int i = 0; i < kPageCount; ++i) m_tab.InsertItem(i + 1, kTitles[i]);

    const RECT frame = ChildRect(Item(IDC_PAGE_FRAME));
    const int x = frame.left + 2, y = frame.top + 2;
    // The pages start their reads of other programs' files as they are made.
    const ULONGLONG readsStarted = ::GetTickCount64();

    auto products = MakeProductsPage();
    m_productsPage = products.get();
    m_pages[0] = std::move(products);
    m_currentPage = 0;
    m_pages[0]->Create(x, y);
    m_pages[0]->Activate();
    for (int slot = 1; slot < kPageCount; ++slot) {
        m_pages[slot] = MakePage(slot);
        m_pages[slot]->Create(x, y);
    }

    AddControl(IDC_PAGE_FRAME, RZ_GROW_BOTH, 0);
    AddControl(IDC_MAIN_TAB, RZ_GROW_RIGHT, 0);
    for (auto& page : m_pages) AddControl(page->Hwnd(), RZ_GROW_BOTH, 0);

    WaitForStartupReads(readsStarted);
    Load();
    // The modal loop's keys reach this window first through a message filter
    // of this thread; a hook has no context of its own, so the thread keeps
    // the window it filters for.
    t_filtered = this;
    m_filter = ::SetWindowsHookExW(WH_MSGFILTER, MessageFilter, nullptr, ::GetCurrentThreadId());
    return TRUE;
}

void CQuayletDlg::WaitForStartupReads(ULONGLONG started) {
    // A start where everything answers shows complete rows at the first
    // paint. The wait is short and bounded: what has not answered by then
    // shows as far as it is known, and is completed when it answers.
    const ULONGLONG spent = ::GetTickCount64() - started;
    if (spent >= kStartupReadsBudgetMs) return;
    ui::WaitForReads(
        [this] {
            for (const auto& page : m_pages)
                if (page && page->ReadsPending()) return true;
            return false;
        },
        static_cast<DWORD>(kStartupReadsBudgetMs - spent));
}

thread_local CQuayletDlg* CQuayletDlg::t_filtered = nullptr;

LRESULT CALLBACK CQuayletDlg::MessageFilter(int code, WPARAM wParam, LPARAM lParam) {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    // Only the main window's own modal loop: a message box or another
    // dialog over it has a loop and keys of its own.
    CQuayletDlg* dlg = t_filtered;
    if (code == MSGF_DIALOGBOX && msg && dlg && dlg->m_hwnd &&
        ::GetAncestor(msg->hwnd, GA_ROOT) == dlg->m_hwnd &&
        (dlg->TranslateTabSwitch(*msg) || dlg->TranslateFind(*msg) || dlg->TranslateRefreshKey(*msg) ||
         dlg->TranslatePageKey(*msg)))
        return 1;
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

bool CQuayletDlg::TranslateTabSwitch(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || ::GetKeyState(VK_CONTROL) >= 0 || m_currentPage < 0) return false;
    int step = 0;
    if (msg.wParam == VK_TAB)
        step = ::GetKeyState(VK_SHIFT) < 0 ? -1 : 1;
    else if (msg.wParam == VK_NEXT)
        step = 1;
    else if (msg.wParam == VK_PRIOR)
        step = -1;
    if (!step) return false;
    SelectPage((m_currentPage + step + kPageCount) % kPageCount);
    return true;
}

bool CQuayletDlg::TranslateFind(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != 'F' || ::GetKeyState(VK_CONTROL) >= 0 ||
        ::GetKeyState(VK_MENU) < 0 || ::GetKeyState(VK_SHIFT) < 0)
        return false;
    if (m_currentPage < 0 || m_currentPage >= kPageCount || !m_pages[m_currentPage]) return false;
    return m_pages[m_currentPage]->FocusSearch();
}

bool CQuayletDlg::TranslateRefreshKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_F5) return false;
    if (::GetKeyState(VK_CONTROL) < 0 || ::GetKeyState(VK_SHIFT) < 0 || ::GetKeyState(VK_MENU) < 0)
        return false;
    if (m_currentPage < 0 || !m_pages[m_currentPage]) return false;
    // A key held down repeats: the page is read again once, not once per repeat.
    if (!(msg.lParam & (1 << 30))) m_pages[m_currentPage]->Refresh();
    return true;
}

void CQuayletDlg::SelectPage(int index) {
    m_tab.SetCurSel(index);
    NMHDR hdr{m_tab.Hwnd(), IDC_MAIN_TAB, TCN_SELCHANGE};
    OnTabSelChange(&hdr);
}

void CQuayletDlg::OnDestroyMsg() {
    if (m_filter) ::UnhookWindowsHookEx(m_filter);
    m_filter = nullptr;
    if (t_filtered == this) t_filtered = nullptr;
    Decline();
}

bool CQuayletDlg::OnApplicationCommand(UINT id) {
    CSmApp* app = CSmApp::Instance();
    return app && app->DoCommand(id);
}

void CQuayletDlg::OnAbout() {
    if (m_about) m_about->DoModal();
}

namespace {

// Greys the update command while a check runs, so that a second one cannot start.
class CheckRunning {
public:
    CheckRunning(HWND window, bool& running) : m_menu(::GetMenu(window)), m_running(running) {
        m_running = true;
        if (m_menu) ::EnableMenuItem(m_menu, ID_TOOLS_CHECK_UPDATES, MF_BYCOMMAND | MF_GRAYED);
    }
    ~CheckRunning() {
        if (m_menu) ::EnableMenuItem(m_menu, ID_TOOLS_CHECK_UPDATES, MF_BYCOMMAND | MF_ENABLED);
        m_running = false;
    }
    CheckRunning(const CheckRunning&) = delete;
    CheckRunning& operator=(const CheckRunning&) = delete;

private:
    HMENU m_menu;
    bool& m_running;
};

}  // namespace

void CQuayletDlg::RunUpdateCheck() {
    // The question and the progress window handle messages while they wait:
    // a command that still arrives (posted, say) must not start a second check.
    if (m_checkingUpdates) return;
    const CheckRunning running(m_hwnd, m_checkingUpdates);
    CViewUpdates& updates = Updates();
    if (!updates.AskForUpdates(m_hwnd)) return;
    std::wstring version, spare, productName, text;
    size_t pos = 0;
    updates.LoadUpdateFile(text);
    if (updates.Cancelled()) return;  // the user ended it: nothing changes
    while (updates.ReadString(version, spare, productName, text, pos)) {
        if (productName.empty()) break;
        const size_t first = version.find_first_not_of(L' ');
        version = first == std::wstring::npos
                      ? std::wstring()
                      : version.substr(first, version.find_last_not_of(L' ') - first + 1);
        m_productsPage->SetUpdateVersion(std::wstring(productName), std::wstring(version));
    }
    m_productsPage->RelayoutRows();
}

BOOL CQuayletDlg::OnHelpInfo(HELPINFO*) {
    CSmApp::ShowHtmlHelp(m_hwnd, L"index.html");
    return TRUE;
}

void CQuayletDlg::OnHelpIndex() { CSmApp::ShowHtmlHelp(m_hwnd, L"index.html"); }

bool CQuayletDlg::OnHelpMsg(ui::Message& m) {
    m.result = OnHelpInfo(reinterpret_cast<HELPINFO*>(m.lParam));
    return true;
}

LRESULT CQuayletDlg::OnTabSelChange(NMHDR*) {
    const int selected = m_tab.GetCurSel();
    if (selected == m_currentPage || selected < 0 || selected >= kPageCount) return 0;
    HWND oldPage = m_pages[m_currentPage]->Hwnd();
    HWND focus = ::GetFocus();
    const bool focusOnOldPage = focus && (focus == oldPage || ::IsChild(oldPage, focus));
    m_pages[m_currentPage]->Deactivate();
    m_currentPage = selected;
    m_pages[m_currentPage]->Activate();
    // Never leave the keyboard on a hidden page: the focus goes where the
    // user can see it, the new page's first control in view (or the tab strip
    // when the page has none); on the tab strip it stays.
    if (focusOnOldPage || ::GetFocus() == m_hwnd) {
        HWND page = m_pages[m_currentPage]->Hwnd();
        HWND first = page ? FirstControlInView(page) : nullptr;
        if (!first || !::IsWindowVisible(first) || !::IsWindowEnabled(first)) first = m_tab.Hwnd();
        Send(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
    }
    return 0;
}

bool CQuayletDlg::OnMouseWheel(UINT keys, int delta, POINT pt) {
    // The wheel goes to the focused control and climbs to its parents; with
    // the focus on the tab strip it still scrolls the page under the pointer.
    // A page that does not scroll passes it back up: that ends here.
    static bool forwarding = false;
    if (forwarding || m_currentPage < 0 || !m_pages[m_currentPage]) return false;
    HWND page = m_pages[m_currentPage]->Hwnd();
    RECT r{};
    if (!page || !::GetWindowRect(page, &r) || !::PtInRect(&r, pt)) return false;
    forwarding = true;
    m_pages[m_currentPage]->Send(WM_MOUSEWHEEL, MAKEWPARAM(keys, static_cast<WORD>(delta)),
                                 MAKELPARAM(pt.x, pt.y));
    forwarding = false;
    return true;
}

void CQuayletDlg::OnQuit() {
    // Ends the modal run as the dialog's OK does, without the close steps
    // (the page is not deactivated, the placement not stored): those belong
    // to a close request. Named here rather than left to the command's
    // number, which happens to be IDOK's.
    EndDialog(IDOK);
}

void CQuayletDlg::OnCloseMsg() {
    if (m_currentPage >= 0 && m_pages[m_currentPage]) m_pages[m_currentPage]->Deactivate();
    Save();
    Decline();  // the dialog's default close handling ends the modal run
}

bool CQuayletDlg::OnPaintMsg(ui::Message& m) {
    if (!::IsIconic(m_hwnd)) return false;
    const ui::PaintDC paint(m_hwnd);
    HDC dc = paint.Get();
    Send(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int cx = ::GetSystemMetrics(SM_CXICON), cy = ::GetSystemMetrics(SM_CYICON);
    const RECT rc = ClientRect();
    ::DrawIcon(dc, (rc.right - cx + 1) / 2, (rc.bottom - cy + 1) / 2, m_appIcon);
    m.result = 0;
    return true;
}

bool CQuayletDlg::OnQueryDragIcon(ui::Message& m) {
    m.result = reinterpret_cast<LRESULT>(m_appIcon);
    return true;
}
