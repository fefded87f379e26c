// Framework pieces: resize anchors, the link control, the About box, Tools commands.
#include <string>
#include <vector>

#include "platform/framework/CAboutDlg.h"
#include "platform/framework/CSmApp.h"
#include "platform/framework/CSmDialog.h"
#include "platform/controls/CUrlStatic.h"
#include "platform/framework/_ControlContainer.h"
#include "QuayletVersion.h"
#include "resources/resource.h"
#include "tests/PageHost.h"
#include "tests/win/WinTestSupport.h"

namespace {

TEST(ControlContainer, EveryResizeTypeAnchorsAsDeclared) {
    const RECT r{10, 20, 110, 70};
    auto anchored = [&](RZ_TYPE type) { return _ControlContainer::Anchor(r, EdgesOf(type), 30, 40); };
    EXPECT_RECT_EQ(anchored(RZ_MOVE_RIGHT), (RECT{40, 20, 140, 70}));
    EXPECT_RECT_EQ(anchored(RZ_GROW_BOTH), (RECT{10, 20, 140, 110}));
    EXPECT_RECT_EQ(anchored(RZ_GROW_RIGHT), (RECT{10, 20, 140, 70}));
    EXPECT_RECT_EQ(anchored(RZ_MOVE_BOTTOM), (RECT{10, 60, 110, 110}));
    EXPECT_RECT_EQ(anchored(RZ_MOVE_CORNER), (RECT{40, 60, 140, 110}));
    EXPECT_RECT_EQ(anchored(RZ_BOTTOM_GROW_RIGHT), (RECT{10, 60, 140, 110}));
    EXPECT_RECT_EQ(anchored(static_cast<RZ_TYPE>(2)), r) << "an unknown kind stays put";
    // Shrinking far below the registered size never turns a control inside out.
    const RECT tiny = _ControlContainer::Anchor(r, EdgesOf(RZ_GROW_BOTH), -500, -500);
    EXPECT_EQ(tiny.right, tiny.left);
    EXPECT_EQ(tiny.bottom, tiny.top);
}

// A bare page with children of its own, anchored as a page anchors its controls.
class AnchorTest : public WinTest {
protected:
    void SetUp() override {
        WinTest::SetUp();
        ASSERT_TRUE(host.Hwnd());
        ASSERT_TRUE(page.Create(0, 0));
        Size(400, 300);
        child = Static(page.Hwnd(), RECT{10, 10, 60, 30});
    }
    void TearDown() override {
        page.DestroyWindow();
        host.DestroyWindow();
        WinTest::TearDown();
    }
    void Size(int cx, int cy) {
        ::SetWindowPos(page.Hwnd(), nullptr, 0, 0, cx, cy, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    }
    static HWND Static(HWND parent, const RECT& r) {
        return ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, r.left, r.top, r.right - r.left,
                                 r.bottom - r.top, parent, nullptr, nullptr, nullptr);
    }
    static RECT RectIn(HWND parent, HWND child) {
        RECT r{};
        ::GetWindowRect(child, &r);
        ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    test::PageHost host{1000, 800};
    CSmDialog page{IDD_PAGE_CONNECTIONS, &host};
    HWND child = nullptr;
};

TEST_F(AnchorTest, ChildrenFollowTheirAnchorsWhenTheDpiChangesAfterTheSize) {
    page.AddWnd(child, RZ_GROW_RIGHT);
    // As for a page: its parent sizes it for 144 dpi first, the DPI change follows.
    Size(600, 450);
    RECT shown = RectIn(page.Hwnd(), child);
    ASSERT_EQ(shown.right, 260) << "grown by the old anchors";
    RECT now{};
    ::GetWindowRect(page.Hwnd(), &now);
    ::MapWindowPoints(HWND_DESKTOP, host.Hwnd(), reinterpret_cast<POINT*>(&now), 2);
    page.Send(WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&now));
    EXPECT_RECT_EQ(RectIn(page.Hwnd(), child), (RECT{15, 15, 90, 45}));
}

TEST_F(AnchorTest, OnlyDirectChildrenAreAnchoredAndEachOnlyOnce) {
    HWND grandchild = Static(child, RECT{2, 2, 12, 12});
    HWND other = Static(page.Hwnd(), RECT{100, 100, 150, 120});
    page.AddWnd(grandchild, RZ_MOVE_CORNER);
    page.AddWnd(other, RZ_MOVE_RIGHT);
    page.AddWnd(other, RZ_MOVE_BOTTOM);
    Size(450, 340);
    EXPECT_RECT_EQ(RectIn(child, grandchild), (RECT{2, 2, 12, 12})) << "a grandchild is refused";
    EXPECT_RECT_EQ(RectIn(page.Hwnd(), other), (RECT{100, 140, 150, 160}));
}

class RecordingLink : public CUrlStatic {
public:
    std::vector<std::wstring> opened;

protected:
    bool OpenUrl(const std::wstring& url) override {
        opened.push_back(url);
        return true;
    }
};

// Stored rectangles count from the work area's corner: beside a taskbar on
// the top or left edge, a window saved at the work area's top left is still
// fully usable, and one pushed under the right edge is not.
TEST(StoredPlacement, ComparedWithTheWorkAreaInWorkspaceCoordinates) {
    const SIZE min{710, 540};
    const RECT monitor{0, 0, 1920, 1080};
    const RECT topBar{0, 48, 1920, 1080}, leftBar{64, 0, 1920, 1080};
    const RECT savedAtCorner{0, 0, 800, 600};
    EXPECT_TRUE(PlacementFits(savedAtCorner, min, monitor, topBar));
    EXPECT_TRUE(PlacementFits(savedAtCorner, min, monitor, leftBar));
    EXPECT_TRUE(PlacementFits(savedAtCorner, min, monitor, monitor));
    // Caption left with 90 pixels on the work area: too little to grab.
    EXPECT_FALSE(PlacementFits({1766, 100, 2566, 700}, min, monitor, leftBar));
    EXPECT_TRUE(PlacementFits({1756, 100, 2556, 700}, min, monitor, leftBar));
    // Near the bottom edge: 22 pixels of caption still show, 17 do not.
    EXPECT_TRUE(PlacementFits({0, 1010, 800, 1610}, min, monitor, topBar));
    EXPECT_FALSE(PlacementFits({0, 1015, 800, 1615}, min, monitor, topBar));
    EXPECT_FALSE(PlacementFits({0, 0, 700, 600}, min, monitor, topBar));  // below the minimum width
    // A second monitor to the left, its taskbar on top.
    const RECT left{-1280, 0, 0, 1024}, leftWork{-1280, 40, 0, 1024};
    EXPECT_TRUE(PlacementFits({-1280, 0, -480, 600}, min, left, leftWork));
}

class LinkTest : public WinTest {
protected:
    void SetUp() override {
        WinTest::SetUp();
        parent = host.Hwnd();
        ASSERT_TRUE(parent);
        ASSERT_TRUE(
            link.Create(L"Online Help", WS_CHILD | WS_VISIBLE, RECT{10, 10, 110, 30}, parent, 0xFFFF));
    }
    void TearDown() override {
        link.DestroyWindow();
        host.DestroyWindow();
        WinTest::TearDown();
    }
    test::PageHost host{300, 200};
    HWND parent = nullptr;
    RecordingLink link;
};

TEST_F(LinkTest, OpensOnlyWebAndMailAddresses) {
    for (const wchar_t* ok :
         {L"https://www.zerudozuz.example/help/", L"HTTP://x.example/", L"mailto:a@b.example"}) {
        EXPECT_TRUE(CUrlStatic::IsAllowedUrl(ok)) << ok;
    }
    for (const wchar_t* bad : {L"file:///C:/Windows/notepad.exe", L"C:\\Windows\\notepad.exe",
                               L"javascript:x", L"", L"http:", L"\\\\server\\share\\x.exe"}) {
        EXPECT_FALSE(CUrlStatic::IsAllowedUrl(bad)) << bad;
    }
    link.SetURL(L"C:\\Windows\\system32\\cmd.exe");
    EXPECT_FALSE(link.Open());
    EXPECT_TRUE(link.opened.empty());
}

TEST_F(LinkTest, ClickEnterAndSpaceOpenAndItIsATabStop) {
    link.SetURL(L"https://www.zerudozuz.example/login.html");
    const LONG_PTR style = ::GetWindowLongPtrW(link.Hwnd(), GWL_STYLE);
    EXPECT_TRUE(style & WS_TABSTOP);
    EXPECT_TRUE(style & SS_NOTIFY);
    // A click reaches the parent as STN_CLICKED and is reflected back to the link.
    link.Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    link.Send(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    Pump();
    link.Send(WM_KEYDOWN, VK_RETURN, 0);
    link.Send(WM_KEYDOWN, VK_SPACE, 0);
    link.Send(WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(link.opened.size(), 3u);
    MSG enter{link.Hwnd(), WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
    EXPECT_TRUE(link.Send(WM_GETDLGCODE, VK_RETURN, reinterpret_cast<LPARAM>(&enter)) & DLGC_WANTMESSAGE);
}

TEST_F(WinTest, AboutBoxShowsNameVersionYearsAndSite) {
    CAboutDlg about(nullptr);
    about.Initialize(L"2024-2026", ZP_QUAYLET, nullptr,
                     ::LoadIconW(ui::ResourceModule(), MAKEINTRESOURCEW(128)), nullptr, 0);
    ASSERT_TRUE(about.CreateModeless());
    wchar_t text[256];
    ::GetDlgItemTextW(about.Hwnd(), IDC_ABOUT_NAME, text, 256);
    EXPECT_STREQ(text, L"Zelto Quaylet");
    ::GetDlgItemTextW(about.Hwnd(), IDC_ABOUT_VERSION, text, 256);
    EXPECT_STREQ(text, L"Version " QUAYLET_VERSION_TEXT);
    ::GetDlgItemTextW(about.Hwnd(), IDC_ABOUT_YEARS, text, 256);
    EXPECT_NE(std::wstring(text).find(L"2024-2026"), std::wstring::npos);
    ::GetDlgItemTextW(about.Hwnd(), IDC_ABOUT_LINK, text, 256);
    EXPECT_STREQ(text, L"https://www.zerudozuz.example/");
    EXPECT_NE(::SendDlgItemMessageW(about.Hwnd(), IDC_ABOUT_ICON, STM_GETICON, 0, 0), 0);
    about.DestroyWindow();
}

class Hub : public CSmApp {
public:
    BOOL InitInstance() override { return FALSE; }
};

TEST_F(WinTest, ToolsCommandsStartProductsAndOtherCommandsPass) {
    Hub app;
    // Not installed: the application serves the command and offers the download page.
    AnswerBoxesWith(IDNO);
    EXPECT_EQ(app.DoCommand(25004), 1);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_NE(Boxes()[0].text.find(L"Zelto Table Bench is not installed"), std::wstring::npos);
    // Commands that are not Tools entries are left to the main window.
    for (WPARAM id : {WPARAM(1), WPARAM(2), WPARAM(5816), WPARAM(32771), WPARAM(32773), WPARAM(25013),
                      WPARAM(25014), WPARAM(25019), WPARAM(25021)})
        EXPECT_EQ(app.DoCommand(id), 0) << id;
    EXPECT_EQ(Boxes().size(), 1u);
}

TEST_F(WinTest, HelpGoesToTheLocalIndexWhenPresentElseTheSite) {
    const std::wstring local = test::ProgramFolder() + L"\\help\\index.html";
    if (::GetFileAttributesW(local.c_str()) == INVALID_FILE_ATTRIBUTES)
        EXPECT_EQ(CSmApp::HelpTarget(L"index.html"),
                  L"https://www.zerudozuz.example/quaylet/help/index.html");
    else
        EXPECT_EQ(CSmApp::HelpTarget(L"index.html"), local);
}

}  // namespace
