// The main window driven in-process: real dialog, real tab control, real registry.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CQuayletApp.h"
#include "app/CQuayletDlg.h"
#include "app/CSettings.h"
#include "pages/products/PageProducts.h"
#include "platform/framework/Process.h"
#include "platform/os/RegKey.h"
#include "resources/resource.h"
#include "tests/win/WinTestSupport.h"

namespace {

std::vector<std::wstring> g_log;

class RecordingPage : public CSmDialog {
public:
    RecordingPage(ui::Window* parent, int slot) : CSmDialog(IDD_PAGE_PROJECTS, parent), m_slot(slot) {}
    void Activate() override {
        g_log.push_back(L"activate " + std::to_wstring(m_slot));
        CSmDialog::Activate();
    }
    void Deactivate() override {
        g_log.push_back(L"deactivate " + std::to_wstring(m_slot));
        CSmDialog::Deactivate();
    }

private:
    int m_slot;
};

class RecordingProducts : public PageProducts {
public:
    using PageProducts::PageProducts;
    void Activate() override {
        g_log.push_back(L"activate 0");
        PageProducts::Activate();
    }
    void Deactivate() override {
        g_log.push_back(L"deactivate 0");
        PageProducts::Deactivate();
    }
    void SetUpdateVersion(const std::wstring& name, const std::wstring& version) override {
        g_log.push_back(L"update [" + name + L"] [" + version + L"]");
    }
    void RelayoutRows() override { g_log.push_back(L"relayout"); }
};

class CannedUpdates : public CViewUpdates {
public:
    int answer = 1;
    std::wstring list;
    int asked = 0;
    bool cancel = false;
    std::function<void()> during;  // runs while the list is "read"
    int AskForUpdates(HWND) override {
        ++asked;
        return answer;
    }
    int LoadUpdateFile(std::wstring& text) override {
        if (during) during();
        SetCancelled(cancel);
        text = cancel ? std::wstring() : list;
        return cancel ? 0 : 1;
    }
};

class TestDlg : public CQuayletDlg {
public:
    CannedUpdates updates;

protected:
    std::unique_ptr<PageProducts> MakeProductsPage() override {
        return std::make_unique<RecordingProducts>(this);
    }
    std::unique_ptr<CSmDialog> MakePage(int slot) override {
        return std::make_unique<RecordingPage>(this, slot);
    }
    CViewUpdates& Updates() override { return updates; }
};

// An application object whose DoCommand answers as the test says.
class TestApp : public CSmApp {
public:
    int handled = 0;
    std::vector<WPARAM> seen;
    BOOL InitInstance() override { return FALSE; }
    int DoCommand(WPARAM id) override {
        seen.push_back(id);
        return handled;
    }
};

class MainWindowTest : public WinTest {
protected:
    void SetUp() override {
        WinTest::SetUp();
        g_log.clear();
        settings = std::make_unique<CSettings>();
        g_settings = settings.get();
        app.SetMainWnd(&dlg);
        ASSERT_TRUE(dlg.CreateModeless());
        g_log.clear();
    }
    void TearDown() override {
        dlg.DestroyWindow();
        g_settings = nullptr;
        WinTest::TearDown();
    }
    void SelectTab(int index) {
        dlg.Tab().SetCurSel(index);
        NMHDR hdr{dlg.Tab().Hwnd(), IDC_MAIN_TAB, TCN_SELCHANGE};
        dlg.Send(WM_NOTIFY, IDC_MAIN_TAB, reinterpret_cast<LPARAM>(&hdr));
    }
    bool PlacementStored() {
        os::RegKey key;
        return key.Open(L"Software\\Zerudozuz\\Quaylet\\Settings") &&
               key.ReadBinary(L"Quaylet", sizeof(WINDOWPLACEMENT)).has_value();
    }

    TestApp app;
    std::unique_ptr<CSettings> settings;
    TestDlg dlg;
};

TEST_F(MainWindowTest, StartsWithFourTabsAndOnlyTheProductsPageShown) {
    ASSERT_EQ(dlg.Tab().GetItemCount(), 4);
    EXPECT_EQ(dlg.Tab().GetItemText(0), L"Products");
    EXPECT_EQ(dlg.Tab().GetItemText(1), L"Connections");
    EXPECT_EQ(dlg.Tab().GetItemText(2), L"Recent Projects");
    EXPECT_EQ(dlg.Tab().GetItemText(3), L"SQL Library");
    EXPECT_EQ(dlg.Tab().GetCurSel(), 0);
    EXPECT_EQ(dlg.CurrentPageIndex(), 0);
    EXPECT_EQ(dlg.ProductsPage(), dlg.Page(0));
    for (int i = 0; i < 4; ++i) {
        ASSERT_NE(dlg.Page(i), nullptr);
        EXPECT_TRUE(::IsWindow(dlg.Page(i)->Hwnd()));
        EXPECT_EQ(::GetParent(dlg.Page(i)->Hwnd()), dlg.Hwnd());
        EXPECT_EQ(dlg.Page(i)->IsVisible(), i == 0) << i;
    }
    // Every page's corner sits 2 pixels inside the host frame.
    const RECT frame = dlg.ChildRect(dlg.Item(IDC_PAGE_FRAME));
    const RECT page = dlg.ChildRect(dlg.Page(2)->Hwnd());
    EXPECT_EQ(page.left, frame.left + 2);
    EXPECT_EQ(page.top, frame.top + 2);
    EXPECT_EQ(::SendMessageW(dlg.Hwnd(), WM_GETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(dlg.AppIcon()));
    EXPECT_EQ(::SendMessageW(dlg.Hwnd(), WM_QUERYDRAGICON, 0, 0), reinterpret_cast<LRESULT>(dlg.AppIcon()));
}

TEST_F(MainWindowTest, SwitchingPagesDeactivatesThenActivatesAndIgnoresTheSameTab) {
    SelectTab(0);
    EXPECT_TRUE(g_log.empty());
    SelectTab(3);
    EXPECT_EQ(g_log, (std::vector<std::wstring>{L"deactivate 0", L"activate 3"}));
    EXPECT_EQ(dlg.CurrentPageIndex(), 3);
    EXPECT_FALSE(dlg.Page(0)->IsVisible());
    EXPECT_TRUE(dlg.Page(3)->IsVisible());
}

TEST_F(MainWindowTest, CtrlTabMovesBetweenPagesLikeATabbedDialog) {
    ::ShowWindow(dlg.Hwnd(), SW_SHOW);
    HWND checkBox = dlg.Page(0)->Item(IDC_SHOW_INSTALLED_ONLY);
    ::SetFocus(checkBox);
    ASSERT_EQ(::GetFocus(), checkBox);
    BYTE keys[256] = {};
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    const MSG tab{checkBox, WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    EXPECT_TRUE(dlg.TranslateTabSwitch(tab));
    EXPECT_EQ(dlg.CurrentPageIndex(), 1);
    EXPECT_EQ(dlg.Tab().GetCurSel(), 1);
    // The focus leaves the hidden page for the first control of the shown one ...
    EXPECT_EQ(::GetFocus(), dlg.Page(1)->Item(IDC_PROJECT_SEARCH));
    // ... and stays on the tab strip when it was there.
    ::SetFocus(dlg.Tab().Hwnd());
    EXPECT_TRUE(dlg.TranslateTabSwitch(tab));
    EXPECT_EQ(::GetFocus(), dlg.Tab().Hwnd());
    EXPECT_TRUE(dlg.TranslateTabSwitch(MSG{dlg.Tab().Hwnd(), WM_KEYDOWN, VK_PRIOR, 0, 0, {0, 0}}));
    g_log.erase(g_log.begin() + 2, g_log.begin() + 6);  // there and back again
    const MSG back{dlg.Page(1)->Hwnd(), WM_KEYDOWN, VK_PRIOR, 0, 0, {0, 0}};
    EXPECT_TRUE(dlg.TranslateTabSwitch(back));
    EXPECT_TRUE(dlg.TranslateTabSwitch(back));  // wraps around to the last tab
    EXPECT_EQ(dlg.CurrentPageIndex(), 3);
    EXPECT_EQ(g_log, (std::vector<std::wstring>{L"deactivate 0", L"activate 1", L"deactivate 1",
                                                L"activate 0", L"deactivate 0", L"activate 3"}));
    keys[VK_CONTROL] = 0;
    ::SetKeyboardState(keys);
    EXPECT_FALSE(dlg.TranslateTabSwitch(tab));  // a plain Tab is the dialog manager's
    EXPECT_EQ(dlg.CurrentPageIndex(), 3);
}

TEST_F(MainWindowTest, CloseDeactivatesTheCurrentPageBeforeSavingThePlacement) {
    SelectTab(1);
    g_log.clear();
    EXPECT_FALSE(PlacementStored());
    dlg.Send(WM_CLOSE);
    EXPECT_EQ(g_log, (std::vector<std::wstring>{L"deactivate 1"}));
    EXPECT_TRUE(PlacementStored());
    Pump();  // the default close handling ends the dialog through IDCANCEL
    EXPECT_FALSE(dlg.IsVisible());
}

TEST_F(MainWindowTest, QuitAndCancelRunNoCloseStep) {
    dlg.Send(WM_COMMAND, ID_FILE_QUIT, 0);
    EXPECT_TRUE(g_log.empty());
    EXPECT_FALSE(PlacementStored());
    EXPECT_FALSE(dlg.IsVisible());
    dlg.Send(WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(g_log.empty());
    EXPECT_FALSE(PlacementStored());
}

TEST_F(MainWindowTest, CommandsGoToTheApplicationFirst) {
    app.handled = 1;
    dlg.Send(WM_COMMAND, ID_TOOLS_CHECK_UPDATES, 0);
    EXPECT_EQ(app.seen, std::vector<WPARAM>{ID_TOOLS_CHECK_UPDATES});
    EXPECT_EQ(dlg.updates.asked, 0);  // served by the application: nothing else happens
    app.handled = 0;
    dlg.updates.answer = 0;
    dlg.Send(WM_COMMAND, ID_TOOLS_CHECK_UPDATES, 0);
    EXPECT_EQ(dlg.updates.asked, 1);
    EXPECT_TRUE(g_log.empty());  // declined: the products page is not even re-laid out
}

TEST_F(MainWindowTest, UpdateCheckHandsTrimmedVersionsAndRelaysOnce) {
    dlg.updates.list =
        L"ZeltoUpdates 1\nRow Foundry=  5.05.01 \nLoad Hammer=   \nrow foundry=9\nRow "
        L"Foundry=5.06.00;notes\n";
    dlg.Send(WM_COMMAND, ID_TOOLS_CHECK_UPDATES, 0);
    EXPECT_EQ(g_log, (std::vector<std::wstring>{L"update [Row Foundry] [5.05.01]", L"update [Load Hammer] []",
                                                L"update [row foundry] [9]",
                                                L"update [Row Foundry] [5.06.00]", L"relayout"}));
}

// A line without a name is skipped, and the entries after it still count.
TEST_F(MainWindowTest, AnEntryWithoutNameIsSkippedAndAFailedListStillRelays) {
    dlg.updates.list = L"ZeltoUpdates 1\n=1.00.00\n  = 2\nRow Foundry=5.05.01\n";
    dlg.Send(WM_COMMAND, ID_TOOLS_CHECK_UPDATES, 0);
    EXPECT_EQ(g_log, (std::vector<std::wstring>{L"update [Row Foundry] [5.05.01]", L"relayout"}));
    g_log.clear();
    dlg.updates.list.clear();  // a failed download yields no entries
    dlg.Send(WM_COMMAND, ID_TOOLS_CHECK_UPDATES, 0);
    EXPECT_EQ(g_log, std::vector<std::wstring>{L"relayout"});
}

// A check the user cancels changes nothing, not even the layout.
TEST_F(MainWindowTest, ACancelledUpdateCheckChangesNothing) {
    dlg.updates.list = L"ZeltoUpdates 1\nRow Foundry=5.05.01\n";
    dlg.updates.cancel = true;
    dlg.Send(WM_COMMAND, ID_TOOLS_CHECK_UPDATES, 0);
    EXPECT_EQ(dlg.updates.asked, 1);
    EXPECT_TRUE(g_log.empty());
}

// While a check waits (its question and its progress window handle
// messages), the command is greyed, and one that arrives anyway through the
// message loop starts no second check.
TEST_F(MainWindowTest, ASecondUpdateCheckCannotStartWhileOneRuns) {
    dlg.updates.list = L"ZeltoUpdates 1\nRow Foundry=5.05.01\n";
    HMENU menu = ::GetMenu(dlg.Hwnd());
    ASSERT_NE(menu, nullptr);
    UINT stateDuring = 0;
    dlg.updates.during = [&] {
        stateDuring = ::GetMenuState(menu, ID_TOOLS_CHECK_UPDATES, MF_BYCOMMAND);
        ::PostMessageW(dlg.Hwnd(), WM_COMMAND, ID_TOOLS_CHECK_UPDATES, 0);
        Pump();
    };
    dlg.Send(WM_COMMAND, ID_TOOLS_CHECK_UPDATES, 0);
    EXPECT_EQ(dlg.updates.asked, 1);
    EXPECT_TRUE(stateDuring & MF_GRAYED);
    EXPECT_EQ(g_log, (std::vector<std::wstring>{L"update [Row Foundry] [5.05.01]", L"relayout"}));
    EXPECT_FALSE(::GetMenuState(menu, ID_TOOLS_CHECK_UPDATES, MF_BYCOMMAND) & MF_GRAYED);
    // And the next check, after this one, runs.
    dlg.updates.during = nullptr;
    g_log.clear();
    dlg.Send(WM_COMMAND, ID_TOOLS_CHECK_UPDATES, 0);
    EXPECT_EQ(dlg.updates.asked, 2);
    EXPECT_EQ(g_log.size(), 2u);
}

TEST_F(MainWindowTest, MinimumSizeAndAnchorsFollowTheWindow) {
    MINMAXINFO info{};
    dlg.Send(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 710);
    EXPECT_EQ(info.ptMinTrackSize.y, 540);

    const RECT frame0 = dlg.ChildRect(dlg.Item(IDC_PAGE_FRAME));
    const RECT tab0 = dlg.ChildRect(dlg.Tab().Hwnd());
    const RECT page0 = dlg.ChildRect(dlg.Page(1)->Hwnd());
    RECT w{};
    ::GetWindowRect(dlg.Hwnd(), &w);
    ::SetWindowPos(dlg.Hwnd(), nullptr, 0, 0, w.right - w.left + 100, w.bottom - w.top + 80,
                   SWP_NOMOVE | SWP_NOZORDER);
    const RECT frame1 = dlg.ChildRect(dlg.Item(IDC_PAGE_FRAME));
    const RECT tab1 = dlg.ChildRect(dlg.Tab().Hwnd());
    const RECT page1 = dlg.ChildRect(dlg.Page(1)->Hwnd());
    EXPECT_RECT_EQ(frame1, (RECT{frame0.left, frame0.top, frame0.right + 100, frame0.bottom + 80}));
    EXPECT_RECT_EQ(tab1, (RECT{tab0.left, tab0.top, tab0.right + 100, tab0.bottom}));
    EXPECT_RECT_EQ(page1, (RECT{page0.left, page0.top, page0.right + 100, page0.bottom + 80}));
}

TEST_F(MainWindowTest, PlacementRoundTrip) {
    ::SetWindowPos(dlg.Hwnd(), nullptr, 40, 30, 760, 600, SWP_NOZORDER);
    dlg.Send(WM_CLOSE);
    Pump();
    TestDlg second;
    ASSERT_TRUE(second.CreateModeless());
    RECT r{};
    ::GetWindowRect(second.Hwnd(), &r);
    EXPECT_RECT_EQ(r, test::RectAt(40, 30, 760, 600));
}

class PlacementTest : public WinTest {
protected:
    // Opens a main window over whatever placement is stored and checks that it
    // has its default size and lies fully on the monitor.
    void ExpectDefaultPlacement() {
        TestDlg reference;
        ASSERT_TRUE(reference.CreateModeless());  // nothing stored yet
        RECT expected{};
        ::GetWindowRect(reference.Hwnd(), &expected);
        reference.DestroyWindow();
        store();
        TestDlg dlg;
        ASSERT_TRUE(dlg.CreateModeless());
        RECT r{};
        ::GetWindowRect(dlg.Hwnd(), &r);
        // The size it had before anything was stored, wherever it lies.
        EXPECT_RECT_EQ(
            r, test::RectAt(r.left, r.top, expected.right - expected.left, expected.bottom - expected.top));
        MONITORINFO mi{sizeof mi};
        ::GetMonitorInfoW(::MonitorFromWindow(dlg.Hwnd(), MONITOR_DEFAULTTOPRIMARY), &mi);
        RECT inside{};
        ::IntersectRect(&inside, &r, &mi.rcMonitor);
        EXPECT_RECT_EQ(inside, r);
    }
    std::function<void()> store;
    const std::wstring key = L"Software\\Zerudozuz\\Quaylet\\Settings";
};

TEST_F(PlacementTest, CorruptStoredPlacementsGiveTheDefault) {
    CSettings settings;
    g_settings = &settings;
    WINDOWPLACEMENT wp{sizeof wp};
    wp.showCmd = SW_SHOWNORMAL;
    wp.rcNormalPosition = {-5000, -5000, -4000, -4300};  // off every monitor
    store = [&] { SetRaw(key, L"Quaylet", REG_BINARY, &wp, sizeof wp); };
    ExpectDefaultPlacement();
    store = [&] { SetRaw(key, L"Quaylet", REG_BINARY, &wp, sizeof wp - 4); };  // truncated
    ExpectDefaultPlacement();
    store = [&] { SetString(key, L"Quaylet", L"garbage"); };  // wrong type
    ExpectDefaultPlacement();
    WINDOWPLACEMENT tiny = wp;
    tiny.rcNormalPosition = {10, 10, 50, 40};  // below the minimum size
    store = [&] { SetRaw(key, L"Quaylet", REG_BINARY, &tiny, sizeof tiny); };
    ExpectDefaultPlacement();
    WINDOWPLACEMENT badLength = wp;
    badLength.length = 7;
    badLength.rcNormalPosition = {10, 10, 800, 600};
    store = [&] { SetRaw(key, L"Quaylet", REG_BINARY, &badLength, sizeof badLength); };
    ExpectDefaultPlacement();
    g_settings = nullptr;
}

TEST_F(WinTest, SettingsDefaultsTypesRangesAndPersistence) {
    const std::wstring key = L"Software\\Zerudozuz\\Quaylet\\Settings";
    {
        CSettings s;
        const int defaults[] = {135, 165, 75, 55, 80, 135};
        for (int i = 0; i < 6; ++i) EXPECT_EQ(s.getInt(L"ProjColW" + std::to_wstring(i + 1)), defaults[i]);
        EXPECT_FALSE(s.m_keywords.empty());
    }
    SetString(key, L"ProjColW1", L"200");  // decimal text is accepted
    SetRaw(key, L"ProjColW2", REG_BINARY, "\x01\x02", 2);
    SetDword(key, L"ProjColW3", static_cast<DWORD>(-5));
    SetDword(key, L"ProjColW4", 100000);
    SetString(key, L"ProjColW5", L"12abc");
    {
        CSettings s;
        EXPECT_EQ(s.getInt(L"ProjColW1"), 200);
        EXPECT_EQ(s.getInt(L"ProjColW2"), 165);
        EXPECT_EQ(s.getInt(L"ProjColW3"), 75);
        EXPECT_EQ(s.getInt(L"ProjColW4"), 100000) << "a wide column is still a width";
        EXPECT_EQ(s.getInt(L"ProjColW5"), 80);
        s.setInt(L"ProjColW6", 321);
        EXPECT_EQ(s.getInt(L"ProjColW6"), 321);
    }
    EXPECT_EQ(CSettings().getInt(L"ProjColW6"), 135);  // not saved: not persistent
    {
        CSettings s;
        s.setInt(L"ProjColW6", 321);
        EXPECT_TRUE(s.SaveData());
    }
    os::RegKey k;
    ASSERT_TRUE(k.Open(key));
    EXPECT_EQ(k.ReadInteger(L"ProjColW6"), 321);
    EXPECT_EQ(CSettings().getInt(L"ProjColW6"), 321);
}

// Start-up and teardown order, observed from inside each step.
class OrderApp : public CQuayletApp {
public:
    std::vector<std::wstring> log;
    CSettings* created = nullptr;

    void Initialize(ZELTO_PRODUCT product, _Settings* settings, const wchar_t* extra) override {
        log.push_back(g_settings && g_settings == settings ? L"initialize after settings"
                                                           : L"initialize early");
        EXPECT_EQ(product, ZP_QUAYLET);
        CSmApp::Initialize(product, settings, extra);
    }
    void Terminate() override {
        log.push_back(g_settings == nullptr ? L"terminate after settings deleted" : L"terminate early");
        CSmApp::Terminate();
    }

protected:
    class OrderDlg : public CQuayletDlg {
    public:
        explicit OrderDlg(OrderApp* app) : m_app(app) {}
        ~OrderDlg() override {
            m_app->log.push_back(g_settings ? L"main window deleted, settings alive"
                                            : L"main window deleted late");
        }

    private:
        OrderApp* m_app;
    };
    std::unique_ptr<CQuayletDlg> CreateMainWindow() override {
        log.push_back(L"main window created");
        return std::make_unique<OrderDlg>(this);
    }
    void RunMainWindow(CQuayletDlg& window) override {
        log.push_back(MainWnd() == &window ? L"run" : L"run without main window");
        // Run it for real, and close it as a user would.
        ::PostMessageW(nullptr, WM_NULL, 0, 0);
        ASSERT_TRUE(window.CreateModeless());
        window.Send(WM_CLOSE);
        WinTest::Pump();
        window.DestroyWindow();
    }
};

TEST_F(WinTest, StartUpBuildsSettingsFirstAndTerminatesLast) {
    OrderApp app;
    EXPECT_EQ(app.InitInstance(), FALSE);
    EXPECT_EQ(app.log, (std::vector<std::wstring>{L"initialize after settings", L"main window created",
                                                  L"run", L"main window deleted, settings alive",
                                                  L"terminate after settings deleted"}));
    EXPECT_EQ(g_settings, nullptr);
    EXPECT_EQ(app.MainWnd(), nullptr);
}

}  // namespace
