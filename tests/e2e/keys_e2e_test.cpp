// Keys typed into the real program: each is posted to the control that has the
// keyboard focus and handled by the hub's own modal loop, as when typed.
#include "resources/resource.h"
#include "tests/e2e/E2eSupport.h"

#include <commctrl.h>

#include <string>
#include <vector>

namespace {

using e2e::E2eTest;
using e2e::Hub;

const wchar_t kSettingsKey[] = L"Software\\Zerudozuz\\Quaylet\\Settings";

DWORD HubThread(const Hub& hub) { return ::GetWindowThreadProcessId(hub.Window(), nullptr); }

HWND Focus(const Hub& hub) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return ::GetGUIThreadInfo(HubThread(hub), &info) ? info.hwndFocus : nullptr;
}

// Posts one key stroke to the focused control; the hub sees it as typed.
void Type(const Hub& hub, WPARAM vk) {
    HWND target = Focus(hub);
    ASSERT_NE(target, nullptr) << "no control has the focus";
    const UINT scan = ::MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC);
    ::PostMessageW(target, WM_KEYDOWN, vk, 1 | (scan << 16));
    ::PostMessageW(target, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000u);
}

// Holds a modifier down in the hub's key state, as while the user holds it:
// the test shares the hub's input state for as long as the object lives.
class HeldKey {
public:
    HeldKey(const Hub& hub, int vk, int alsoVk = 0) : m_hub(HubThread(hub)), m_vk(vk), m_alsoVk(alsoVk) {
        m_attached = ::AttachThreadInput(::GetCurrentThreadId(), m_hub, TRUE) != FALSE;
        Set(0x80);
    }
    ~HeldKey() {
        Set(0);
        if (m_attached) ::AttachThreadInput(::GetCurrentThreadId(), m_hub, FALSE);
    }
    bool Attached() const { return m_attached; }

private:
    void Set(BYTE state) {
        BYTE keys[256] = {};
        ::GetKeyboardState(keys);
        keys[m_vk] = state;
        if (m_alsoVk) keys[m_alsoVk] = state;
        ::SetKeyboardState(keys);
    }
    DWORD m_hub;
    int m_vk;
    int m_alsoVk;
    bool m_attached = false;
};

// Types Tab and waits until the focus has moved.
HWND TabOnce(const Hub& hub) {
    HWND before = Focus(hub);
    Type(hub, VK_TAB);
    HWND after = nullptr;
    e2e::WaitFor([&] { return (after = Focus(hub)) != before; }, 5000);
    return after;
}

bool PlacementStored() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    const bool found =
        ::RegQueryValueExW(key, L"Quaylet", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return found;
}

bool Within(HWND outer, HWND inner) { return inner == outer || ::IsChild(outer, inner); }

TEST_F(E2eTest, EscAndEnterInsideEveryPageLeaveTheHubOpenWhileEscOnTheTabStripEndsIt) {
    {
        Hub hub;
        ASSERT_TRUE(hub.Start());
        HWND tab = ::GetDlgItem(hub.Window(), 1188);
        ASSERT_TRUE(e2e::WaitFor([&] { return Focus(hub) == tab; }, 5000))
            << "the tab strip takes the first focus";
        for (int page = 0; page < 4; ++page) {
            ASSERT_TRUE(hub.SelectTab(page));
            ASSERT_EQ(Focus(hub), tab);
            HWND inPage = TabOnce(hub);
            ASSERT_TRUE(Within(hub.Page(page), inPage)) << "Tab goes from the tab strip into page " << page;
            Type(hub, VK_ESCAPE);
            Type(hub, VK_RETURN);
            Type(hub, VK_ESCAPE);
            // Shift+Tab from the page's first control goes back to the tab strip.
            HeldKey shift(hub, VK_SHIFT);
            ASSERT_TRUE(shift.Attached());
            EXPECT_EQ(TabOnce(hub), tab) << page;
        }
        // Ctrl+Tab from inside the last page: the first page, with the focus on its first control.
        ASSERT_TRUE(Within(hub.Page(3), TabOnce(hub)));
        {
            HeldKey ctrl(hub, VK_CONTROL);
            EXPECT_EQ(TabOnce(hub), ::GetDlgItem(hub.Page(0), IDC_SHOW_INSTALLED_ONLY));
        }
        EXPECT_TRUE(::IsWindowVisible(hub.Page(0)));
        EXPECT_FALSE(::IsWindowVisible(hub.Page(3)));
        // Still open: the close request runs the close steps, which store the placement.
        EXPECT_FALSE(PlacementStored());
        ::PostMessageW(hub.Window(), WM_CLOSE, 0, 0);
        ASSERT_TRUE(hub.WaitForExit());
        EXPECT_TRUE(PlacementStored()) << "a key ended the hub before its close request";
    }
    e2e::DeleteTree(L"Software\\Zerudozuz");
    Hub hub;
    ASSERT_TRUE(hub.Start());
    ASSERT_TRUE(e2e::WaitFor([&] { return Focus(hub) == ::GetDlgItem(hub.Window(), 1188); }, 5000));
    Type(hub, VK_ESCAPE);
    ASSERT_TRUE(hub.WaitForExit()) << "Esc on the main window's own control cancels it";
    EXPECT_FALSE(PlacementStored()) << "cancelling runs no close step";
}

TEST_F(E2eTest, WheelAndTabBringTheRowsIntoViewAndEnterOnAFocusedIconStartsTheProduct) {
    const std::wstring exe = InstallSheetFoundry();
    ASSERT_FALSE(exe.empty());

    Hub hub;
    ASSERT_TRUE(hub.Start());
    HWND page = hub.Page(0);
    // The last row's icon, the only enabled one once the look at its program
    // answered (which can be after the window shows: the row is made again then).
    HWND last = nullptr;
    ASSERT_TRUE(
        e2e::WaitFor([&] { return (last = ::GetDlgItem(page, 240)) && ::IsWindowEnabled(last); }, 5000));
    RECT client{}, icon{};
    ::GetClientRect(page, &client);
    ::GetWindowRect(last, &icon);
    ::MapWindowPoints(HWND_DESKTOP, page, reinterpret_cast<POINT*>(&icon), 2);
    ASSERT_GT(icon.bottom, client.bottom) << "the created page must be shorter than its rows";

    HWND tab = ::GetDlgItem(hub.Window(), 1188);
    ASSERT_TRUE(e2e::WaitFor([&] { return Focus(hub) == tab; }, 5000));
    // The wheel over the page scrolls it, although the tab strip has the focus.
    HWND box = ::GetDlgItem(page, IDC_SHOW_INSTALLED_ONLY);
    auto boxTop = [&] {
        RECT r{};
        ::GetWindowRect(box, &r);
        ::MapWindowPoints(HWND_DESKTOP, page, reinterpret_cast<POINT*>(&r), 2);
        return r.top;
    };
    const int top = boxTop();
    RECT pageRect{};
    ::GetWindowRect(page, &pageRect);
    const LPARAM over = MAKELPARAM(pageRect.left + 300, pageRect.top + 200);
    ::PostMessageW(tab, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), over);
    EXPECT_TRUE(e2e::WaitFor([&] { return boxTop() < top; }, 5000)) << "the wheel did not scroll the page";
    ::PostMessageW(tab, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(WHEEL_DELTA * 5)), over);
    EXPECT_TRUE(e2e::WaitFor([&] { return boxTop() == top; }, 5000));
    EXPECT_EQ(TabOnce(hub), box) << "the check box is the page's first tab stop";
    HWND focus = nullptr;
    for (int guard = 0; guard < 40 && focus != last; ++guard) {
        focus = TabOnce(hub);
        ASSERT_TRUE(Within(page, focus)) << "Tab left the page before its last row";
        RECT r{};
        // The hub scrolls while it handles the focus change, just after the focus moved.
        EXPECT_TRUE(e2e::WaitFor(
            [&] {
                ::GetWindowRect(focus, &r);
                ::MapWindowPoints(HWND_DESKTOP, page, reinterpret_cast<POINT*>(&r), 2);
                return r.top >= 0 && r.bottom <= client.bottom;
            },
            3000))
            << "focused control out of view: " << r.top << ".." << r.bottom;
    }
    ASSERT_EQ(focus, last);

    Type(hub, VK_RETURN);
    ASSERT_TRUE(e2e::WaitFor([&] { return !hub.Launches().empty(); }));
    const std::wstring line = hub.Launches().front();
    EXPECT_EQ(line.substr(0, line.find(L'|')), exe);
    EXPECT_FALSE(hub.WaitForExit(300)) << "Enter pressed the button, it did not end the hub";

    // The row's help link, then past the page's last control back to the tab strip.
    EXPECT_TRUE(::IsChild(page, TabOnce(hub)));
    EXPECT_EQ(TabOnce(hub), tab);
}

// Types a key with Ctrl held and waits until the focus has moved.
HWND CtrlKey(const Hub& hub, WPARAM vk, bool shift = false) {
    HeldKey held(hub, VK_CONTROL, shift ? VK_SHIFT : 0);
    HWND before = Focus(hub);
    Type(hub, vk);
    HWND after = nullptr;
    e2e::WaitFor([&] { return (after = Focus(hub)) != before; }, 5000);
    return after;
}

TEST_F(E2eTest, ThePageSwitchKeysBringTheProductsPageBackWhereItWas) {
    Hub hub;
    ASSERT_TRUE(hub.Start());
    HWND page = hub.Page(0);
    HWND box = ::GetDlgItem(page, IDC_SHOW_INSTALLED_ONLY);
    auto rectOf = [&](HWND control) {
        RECT r{};
        ::GetWindowRect(control, &r);
        ::MapWindowPoints(HWND_DESKTOP, page, reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    RECT client{};
    ::GetClientRect(page, &client);
    HWND tab = ::GetDlgItem(hub.Window(), 1188);
    ASSERT_TRUE(e2e::WaitFor([&] { return Focus(hub) == tab; }, 5000));
    // Into the page and down its rows until it has scrolled well down.
    HWND focus = TabOnce(hub);
    ASSERT_EQ(focus, box);
    for (int guard = 0; guard < 40 && rectOf(box).top > -60; ++guard) {
        focus = TabOnce(hub);
        ASSERT_TRUE(Within(page, focus));
    }
    const int scrolled = rectOf(box).top;
    ASSERT_LT(scrolled, 0) << "the page did not scroll";

    struct Key {
        WPARAM vk;
        bool shift;
    };
    struct Way {
        const char* name;
        std::vector<Key> keys;
    };
    const Way ways[] = {
        {"Ctrl+PgDn, Ctrl+PgUp", {{VK_NEXT, false}, {VK_PRIOR, false}}},
        {"Ctrl+Tab four times", {{VK_TAB, false}, {VK_TAB, false}, {VK_TAB, false}, {VK_TAB, false}}},
        {"Ctrl+Shift+Tab, Ctrl+Tab", {{VK_TAB, true}, {VK_TAB, false}}},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        for (const Key& key : way.keys) focus = CtrlKey(hub, key.vk, key.shift);
        ASSERT_TRUE(::IsWindowVisible(page));
        ASSERT_TRUE(Within(page, focus)) << "the focus goes into the page";
        EXPECT_EQ(rectOf(box).top, scrolled) << "the page scrolled";
        const RECT shown = rectOf(focus);
        EXPECT_GE(shown.top, 0);
        EXPECT_LE(shown.bottom, client.bottom) << "the focus is where the user can see it";
    }
}

// A top-level window of the hub's process other than its main window.
HWND OtherTopLevel(const Hub& hub) {
    HWND main = hub.Window();
    return test::FindShownWindow(test::ProcessOf(main), [main](HWND hwnd) { return hwnd != main; });
}

TEST_F(E2eTest, EnterOnAFocusedPageButtonPressesItAndItsDialogTakesItsOwnKeys) {
    Hub hub;
    ASSERT_TRUE(hub.Start());
    ASSERT_TRUE(hub.SelectTab(1));
    HWND page = hub.Page(1);
    HWND load = ::GetDlgItem(page, IDC_CONN_LOAD_ALL);
    HWND focus = nullptr;
    for (int guard = 0; guard < 8 && focus != load; ++guard) focus = TabOnce(hub);
    ASSERT_EQ(focus, load) << "Tab reaches \"Load...\"";

    Type(hub, VK_RETURN);
    HWND fileDialog = nullptr;
    ASSERT_TRUE(e2e::WaitFor([&] { return (fileDialog = OtherTopLevel(hub)) != nullptr; }))
        << "Enter did not press the focused button";
    // Esc in the file dialog cancels that dialog alone.
    ASSERT_TRUE(e2e::WaitFor([&] { return Within(fileDialog, Focus(hub)); }, 5000));
    Type(hub, VK_ESCAPE);
    ASSERT_TRUE(e2e::WaitFor([&] { return !::IsWindow(fileDialog); }, 5000));
    EXPECT_FALSE(hub.WaitForExit(300));

    ::PostMessageW(hub.Window(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(hub.WaitForExit());
    EXPECT_TRUE(PlacementStored());
}

TEST_F(E2eTest, ArrowKeysStillMoveInsideTheLibraryTree) {
    WriteFile(L"lib\\Folder\\inner.sql", "SELECT 'inner';");
    WriteFile(L"lib\\first.sql", "SELECT 'one' FROM t;");
    e2e::SetString(L"Software\\Zerudozuz\\StatementDesk2\\Settings", L"Library", TempDir() + L"\\lib");
    Hub hub;
    ASSERT_TRUE(hub.Start());
    ASSERT_TRUE(hub.SelectTab(3));
    HWND tree = hub.PageItem(3, 1015);
    HWND preview = hub.PageItem(3, 1040);
    HWND focus = nullptr;
    for (int guard = 0; guard < 4 && focus != tree; ++guard) focus = TabOnce(hub);
    ASSERT_EQ(focus, tree);
    auto caret = [&] { return ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0); };
    const LRESULT first = ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
    const LRESULT second = ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, first);
    ASSERT_NE(second, 0);
    Type(hub, VK_HOME);
    ASSERT_TRUE(e2e::WaitFor([&] { return caret() == first; }, 5000));
    Type(hub, VK_DOWN);
    ASSERT_TRUE(e2e::WaitFor([&] { return caret() == second; }, 5000)) << "Down did not reach the tree";
    wchar_t text[256] = {};
    EXPECT_TRUE(e2e::WaitFor(
        [&] {
            ::SendMessageW(preview, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
            return std::wstring(text).find(L"SELECT 'one'") != std::wstring::npos;
        },
        5000));
    Type(hub, VK_UP);
    EXPECT_TRUE(e2e::WaitFor([&] { return caret() == first; }, 5000));
}

TEST_F(E2eTest, EnterClosesTheAboutBoxThroughItsDefaultButton) {
    Hub hub;
    ASSERT_TRUE(hub.Start());
    ::PostMessageW(hub.Window(), WM_COMMAND, 32771, 0);
    HWND about = nullptr;
    ASSERT_TRUE(e2e::WaitFor([&] {
        about = ::FindWindowW(L"#32770", L"About Zelto Quaylet");
        return about != nullptr && ::IsWindowVisible(about);
    }));
    HWND ok = ::GetDlgItem(about, IDOK);
    ASSERT_TRUE(e2e::WaitFor([&] { return Focus(hub) == ok; }, 5000)) << "OK takes the first focus";
    Type(hub, VK_RETURN);
    ASSERT_TRUE(e2e::WaitFor([&] { return !::IsWindow(about); }, 5000));
    EXPECT_FALSE(hub.WaitForExit(300));
    EXPECT_TRUE(hub.Launches().empty());
}

}  // namespace
