// The real program: starts with its window, menu and four tabs, switches pages
// and closes cleanly, keeping its placement for the next start.
#include "tests/e2e/E2eSupport.h"

#include <commctrl.h>

namespace {

using e2e::E2eTest;
using e2e::Hub;

TEST_F(E2eTest, StartsShowsFourTabsSwitchesAndClosesKeepingItsPlacement) {
    {
        Hub hub;
        ASSERT_TRUE(hub.Start());
        HWND tab = ::GetDlgItem(hub.Window(), 1188);
        EXPECT_EQ(::SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0), 4);
        EXPECT_NE(::GetMenu(hub.Window()), nullptr);
        EXPECT_TRUE(::IsWindowVisible(hub.Page(0)));
        for (int i = 1; i < 4; ++i) EXPECT_FALSE(::IsWindowVisible(hub.Page(i))) << i;
        ASSERT_TRUE(hub.SelectTab(3));
        EXPECT_FALSE(::IsWindowVisible(hub.Page(0)));
        ::SetWindowPos(hub.Window(), nullptr, 33, 44, 800, 620, SWP_NOZORDER);
        ::PostMessageW(hub.Window(), WM_CLOSE, 0, 0);
        ASSERT_TRUE(hub.WaitForExit());
    }
    Hub again;
    ASSERT_TRUE(again.Start());
    RECT r{};
    ::GetWindowRect(again.Window(), &r);
    EXPECT_RECT_EQ(r, test::RectAt(33, 44, 800, 620));
    // "Quit" ends the program at once, without storing the placement again.
    ::SetWindowPos(again.Window(), nullptr, 50, 60, 760, 600, SWP_NOZORDER);
    ::PostMessageW(again.Window(), WM_COMMAND, 1, 0);
    ASSERT_TRUE(again.WaitForExit());
    Hub third;
    ASSERT_TRUE(third.Start());
    ::GetWindowRect(third.Window(), &r);
    EXPECT_EQ(r.left, 33);
}

TEST_F(E2eTest, AToolsCommandStartsTheInstalledProduct) {
    const std::wstring exe = test::ProgramFolder() + L"\\demo\\standin.exe";
    e2e::SetString(L"Software\\Zerudozuz\\ValueMasker", L"ExePath", exe);
    Hub hub;
    ASSERT_TRUE(hub.Start());
    ::PostMessageW(hub.Window(), WM_COMMAND, 25008, 0);
    ASSERT_TRUE(e2e::WaitFor([&] { return !hub.Launches().empty(); }));
    const std::wstring line = hub.Launches().front();
    EXPECT_EQ(line.substr(0, line.find(L'|')), exe);
}

}  // namespace
