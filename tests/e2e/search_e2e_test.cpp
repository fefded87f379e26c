// Searching in the real program, with keys posted to the control that has the
// focus and handled by the hub's own modal loop: Ctrl+F, typing, Esc and Enter.
#include "tests/e2e/E2eSupport.h"

#include <commctrl.h>

#include <functional>
#include <string>

#include "resources/resource.h"
#include "tests/HungShare.h"
#include "tests/Pinger.h"

namespace {

using e2e::E2eTest;
using e2e::Hub;

constexpr int kPreview = 1040;  // made by the page, not by its template

DWORD HubThread(const Hub& hub) { return ::GetWindowThreadProcessId(hub.Window(), nullptr); }

HWND Focus(const Hub& hub) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return ::GetGUIThreadInfo(HubThread(hub), &info) ? info.hwndFocus : nullptr;
}

// A window's text as it answers WM_GETTEXT (another process's window).
std::wstring TextOf(HWND hwnd) {
    wchar_t text[4096] = {};
    ::SendMessageW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text));
    return text;
}

// One key stroke to the focused control.
void Key(const Hub& hub, UINT vk) { e2e::PressOnFocus(hub, vk); }

// Ctrl+key to the focused control, Ctrl held in the hub's key state (the
// test shares the hub's input state meanwhile) until done() or ms have
// passed: the key is handled before Ctrl is let go. Whether done() came true.
bool CtrlKey(const Hub& hub, UINT vk, const std::function<bool()>& done, DWORD ms) {
    const DWORD thread = HubThread(hub);
    if (!::AttachThreadInput(::GetCurrentThreadId(), thread, TRUE)) return false;
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    e2e::PressOnFocus(hub, vk);
    const bool happened = e2e::WaitFor(done, ms);
    keys[VK_CONTROL] = 0;
    ::SetKeyboardState(keys);
    ::AttachThreadInput(::GetCurrentThreadId(), thread, FALSE);
    return happened;
}

// Types text into the focused box in place of what it holds, a character at
// a time as typed, and waits until the box has taken it all.
bool Type(const Hub& hub, HWND box, const std::wstring& text) {
    ::SendMessageW(box, EM_SETSEL, 0, -1);
    for (wchar_t c : text) ::PostMessageW(Focus(hub), WM_CHAR, c, 1);
    return e2e::WaitFor([&] { return TextOf(box) == text; }, 5000);
}

int Rows(HWND list) { return static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

// Selects the row of a project by its name, in another process's list.
void SelectRow(HWND list, const std::wstring& name) {
    for (int row = 0; row < Rows(list); ++row) {
        if (e2e::ItemText(list, row, 0) != name) continue;
        e2e::RemoteBuffer remote(list, sizeof(LVITEMW));
        LVITEMW item{};
        item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
        remote.Write(0, &item, sizeof item);
        ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(remote.At(0)));
    }
}

std::wstring SelectedRow(HWND list) {
    const auto row =
        static_cast<int>(::SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    return row < 0 ? std::wstring() : e2e::ItemText(list, row, 0);
}

TEST_F(E2eTest, CtrlFThenTypingFiltersTheRecentProjectsAndEscBringsThemBack) {
    ASSERT_TRUE(e2e::SeedDemoSuite(TempDir() + L"\\suite"));

    Hub hub;
    ASSERT_TRUE(hub.Start());
    // On the products page Ctrl+F finds no box and leaves the focus where it is.
    HWND before = Focus(hub);
    EXPECT_FALSE(CtrlKey(
        hub, 'F', [&] { return Focus(hub) != before; }, 700));

    ASSERT_TRUE(hub.SelectTab(e2e::kProjectsTab));
    HWND list = hub.PageItem(e2e::kProjectsTab, IDC_PROJECT_LIST);
    HWND box = hub.PageItem(e2e::kProjectsTab, IDC_PROJECT_SEARCH);
    HWND count = hub.PageItem(e2e::kProjectsTab, IDC_PROJECT_COUNT);
    const int all = Rows(list);
    ASSERT_GT(all, 5);
    EXPECT_EQ(TextOf(count), std::to_wstring(all) + L" projects");

    // Ctrl+F from the tab strip.
    ::SendMessageW(hub.Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(hub.Window(), 1188)),
                   TRUE);
    ASSERT_TRUE(e2e::WaitFor([&] { return Focus(hub) == ::GetDlgItem(hub.Window(), 1188); }, 5000));
    ASSERT_TRUE(CtrlKey(
        hub, 'F', [&] { return Focus(hub) == box; }, 5000));
    // The author "Lena Kraus" of two projects, typed in another case; the
    // selected row matches, so it stays selected.
    SelectRow(list, L"Audit Triggers.trw");
    ASSERT_EQ(SelectedRow(list), L"Audit Triggers.trw");
    ASSERT_TRUE(Type(hub, box, L"lENA"));
    ASSERT_TRUE(e2e::WaitFor([&] { return Rows(list) == 2; }, 5000)) << Rows(list);
    EXPECT_EQ(SelectedRow(list), L"Audit Triggers.trw");
    EXPECT_EQ(TextOf(count), L"2 of " + std::to_wstring(all) + L" projects");
    // A note ("Old ERP to the new schema") and a folder ("Sheet Foundry\") count too.
    ASSERT_TRUE(Type(hub, box, L"erp to"));
    EXPECT_TRUE(e2e::WaitFor(
        [&] { return Rows(list) == 1 && e2e::ItemText(list, 0, 0) == L"Legacy Migration.twp"; }, 5000));
    ASSERT_TRUE(Type(hub, box, L"sheet foundry\\"));
    EXPECT_TRUE(e2e::WaitFor(
        [&] { return Rows(list) == 1 && e2e::ItemText(list, 0, 0) == L"Budget 2026.shfp"; }, 5000));
    ASSERT_TRUE(Type(hub, box, L"INVOICES.DOC"));
    EXPECT_TRUE(
        e2e::WaitFor([&] { return Rows(list) == 1 && e2e::ItemText(list, 0, 0) == L"Invoices.docpr"; }, 5000))
        << Rows(list) << " " << TextOf(box).size() << " "
        << (Rows(list) ? e2e::ItemText(list, 0, 0) : L"").size();

    // Esc empties the box and brings every row back; the hub stays open.
    Key(hub, VK_ESCAPE);
    ASSERT_TRUE(e2e::WaitFor([&] { return Rows(list) == all; }, 5000));
    EXPECT_EQ(TextOf(box), L"");
    EXPECT_TRUE(::IsWindowVisible(hub.Window()));
    Key(hub, VK_ESCAPE);
    DWORD_PTR result = 0;
    EXPECT_TRUE(::SendMessageTimeoutW(hub.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result));
    EXPECT_TRUE(::IsWindowVisible(hub.Window()));
}

// Enter searches the scripts' text; choosing a script found shows it
// scrolled to its match, far down the file.
TEST_F(E2eTest, EnterSearchesTheScriptsTextAndThePreviewShowsTheMatch) {
    std::string body;
    for (int i = 0; i < 400; ++i) body += "SELECT " + std::to_string(i) + " FROM filler;\r\n";
    body += "UPDATE orders SET state = 'Sp\xC3\xA4t' WHERE id = 7;\r\n";
    WriteFile(L"lib\\Deep\\Deeper\\far.sql", body);
    WriteFile(L"lib\\other.sql", "SELECT 1;");
    e2e::SetString(L"Software\\Zerudozuz\\StatementDesk2\\Settings", L"Library", TempDir() + L"\\lib");

    Hub hub;
    ASSERT_TRUE(hub.Start());
    ASSERT_TRUE(hub.SelectTab(e2e::kLibraryTab));
    HWND box = hub.PageItem(e2e::kLibraryTab, IDC_LIBRARY_SEARCH);
    HWND status = hub.PageItem(e2e::kLibraryTab, IDC_LIBRARY_SEARCH_STATUS);
    HWND tree = hub.PageItem(e2e::kLibraryTab, IDC_LIBRARY_TREE);
    HWND preview = hub.PageItem(e2e::kLibraryTab, kPreview);
    ASSERT_TRUE(CtrlKey(
        hub, 'F', [&] { return Focus(hub) == box; }, 5000));
    ASSERT_TRUE(Type(hub, box, L"SP\u00c4T"));
    ASSERT_TRUE(e2e::WaitFor([&] { return TextOf(status) == L"0 of 2 scripts match"; }, 5000))
        << TextOf(status);
    Key(hub, VK_RETURN);
    ASSERT_TRUE(e2e::WaitFor([&] { return TextOf(status) == L"2 scripts searched, 1 found"; }, 10000))
        << TextOf(status);
    // Deep, Deeper, far.sql: the script below the folders that lead to it.
    ASSERT_EQ(::SendMessageW(tree, TVM_GETCOUNT, 0, 0), 3);
    auto item = reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    for (int level = 0; level < 2 && item; ++level)
        item = reinterpret_cast<HTREEITEM>(
            ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
    ASSERT_NE(item, nullptr);
    ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    ASSERT_TRUE(e2e::WaitFor(
        [&] { return TextOf(preview).find(L"state = 'Sp\u00e4t'") != std::wstring::npos; }, 10000))
        << TextOf(preview).substr(0, 200);
    EXPECT_EQ(TextOf(preview).find(L"SELECT 0 FROM"), std::wstring::npos);

    // Esc in the box empties it: the folders come back as listed, the script still chosen.
    ASSERT_EQ(Focus(hub), box);
    Key(hub, VK_ESCAPE);
    ASSERT_TRUE(e2e::WaitFor([&] { return TextOf(box).empty() && TextOf(status).empty(); }, 5000));
    ASSERT_TRUE(e2e::WaitFor(
        [&] {
            const auto caret = ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
            const auto root = ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
            return caret != 0 && root != 0 && caret != root && ::SendMessageW(tree, TVM_GETCOUNT, 0, 0) == 4;
        },
        5000));
    EXPECT_TRUE(::IsWindowVisible(hub.Window()));
}

// A script on a share that does not answer holds the text search up; Esc
// ends the search at once (leaving the box as typed) while the window goes on
// answering, and nothing of the hung script arrives afterwards.
TEST_F(E2eTest, EscEndsATextSearchThatAScriptHoldsUp) {
    test::HungShare share;
    if (!share.Available()) GTEST_SKIP() << share.Why();
    share.Put(L"lib\\hung.sql", "SELECT needle;");
    share.Put(L"lib\\plain.sql", "SELECT needle;");
    ASSERT_TRUE(share.Hang(L"read lib/hung.sql"));
    e2e::SetString(L"Software\\Zerudozuz\\StatementDesk2\\Settings", L"Library", share.Path(L"lib"));

    Hub hub;
    ASSERT_TRUE(hub.Start());
    ASSERT_TRUE(hub.SelectTab(e2e::kLibraryTab));
    HWND box = hub.PageItem(e2e::kLibraryTab, IDC_LIBRARY_SEARCH);
    HWND button = hub.PageItem(e2e::kLibraryTab, IDC_LIBRARY_SEARCH_TEXT);
    HWND status = hub.PageItem(e2e::kLibraryTab, IDC_LIBRARY_SEARCH_STATUS);
    ASSERT_TRUE(CtrlKey(
        hub, 'F', [&] { return Focus(hub) == box; }, 5000));
    ASSERT_TRUE(Type(hub, box, L"NEEDLE"));
    test::Pinger watch(hub.Window());
    Key(hub, VK_RETURN);
    ASSERT_TRUE(e2e::WaitFor([&] { return TextOf(status) == L"1 of 2 scripts searched, 1 found"; }, 5000))
        << TextOf(status);
    EXPECT_EQ(TextOf(button), L"Cancel");
    Key(hub, VK_ESCAPE);
    ASSERT_TRUE(e2e::WaitFor([&] { return TextOf(button) == L"Search Text"; }, 5000));
    EXPECT_EQ(TextOf(status), L"Stopped: 1 of 2 scripts searched, 1 found");
    EXPECT_EQ(TextOf(box), L"NEEDLE");
    ASSERT_TRUE(share.KillServer());
    ::Sleep(500);
    EXPECT_EQ(TextOf(status), L"Stopped: 1 of 2 scripts searched, 1 found");
    // The interval still open at the end counts too.
    EXPECT_LT(watch.Stop(), 2000.0) << "the window stopped answering while it searched";
}

}  // namespace
