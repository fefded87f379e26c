// The running hub follows what other programs change, without a restart:
// this test process acts as the other program and writes the registry value,
// the script or the profile; the hub's rows show it, with what the user had
// selected, opened and scrolled to kept. F5, posted to the focused control,
// reads the shown page again where nothing tells the hub of a change.
#include "tests/e2e/E2eSupport.h"

#include <commctrl.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/connection/ProfileStore.h"
#include "resources/resource.h"
#include "tests/ScopedEnvironment.h"

namespace {

using e2e::E2eTest;
using e2e::Hub;

constexpr int kAuthorColumn = 4;
constexpr int kSheetFoundryIcon = 240;  // the row's icon button

// The text of a tree item in the hub's process.
std::wstring TreeText(HWND tree, HTREEITEM item) {
    constexpr std::size_t kChars = 260;
    e2e::RemoteBuffer remote(tree, sizeof(TVITEMW) + kChars * sizeof(wchar_t));
    TVITEMW tv{};
    tv.mask = TVIF_HANDLE | TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = reinterpret_cast<wchar_t*>(remote.At(sizeof(TVITEMW)));
    tv.cchTextMax = kChars;
    remote.Write(0, &tv, sizeof tv);
    ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote.At(0)));
    wchar_t text[kChars] = {};
    remote.Read(sizeof(TVITEMW), text, sizeof text);
    text[kChars - 1] = 0;
    return text;
}

HTREEITEM Next(HWND tree, HTREEITEM item, UINT code) {
    return reinterpret_cast<HTREEITEM>(
        ::SendMessageW(tree, TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
}

// The texts of the items below parent (null: the top level), in order.
std::vector<std::wstring> Level(HWND tree, HTREEITEM parent) {
    std::vector<std::wstring> texts;
    for (HTREEITEM item = parent ? Next(tree, parent, TVGN_CHILD) : Next(tree, nullptr, TVGN_ROOT); item;
         item = Next(tree, item, TVGN_NEXT))
        texts.push_back(TreeText(tree, item));
    return texts;
}

HTREEITEM Find(HWND tree, HTREEITEM parent, const std::wstring& text) {
    for (HTREEITEM item = parent ? Next(tree, parent, TVGN_CHILD) : Next(tree, nullptr, TVGN_ROOT); item;
         item = Next(tree, item, TVGN_NEXT))
        if (TreeText(tree, item) == text) return item;
    return nullptr;
}

using Texts = std::vector<std::wstring>;

TEST_F(E2eTest, LibraryShowsScriptsAddedRemovedAndRenamedKeepingOpenFoldersAndTheSelection) {
    const std::wstring root = TempDir() + L"\\library";
    WriteFile(L"library\\Folder\\inner.sql", "SELECT 1;");
    WriteFile(L"library\\b.sql", "SELECT 'b';");
    WriteFile(L"library\\d.sql", "SELECT 'd';");
    e2e::SetString(L"Software\\Zerudozuz\\StatementDesk2\\Settings", L"Library", root);

    Hub hub;
    ASSERT_TRUE(hub.Start());
    ASSERT_TRUE(hub.SelectTab(e2e::kLibraryTab));
    HWND tree = hub.PageItem(e2e::kLibraryTab, IDC_LIBRARY_TREE);
    ASSERT_TRUE(e2e::WaitFor([&] { return Level(tree, nullptr) == Texts{L"Folder", L"b.sql", L"d.sql"}; }));
    HTREEITEM folder = Find(tree, nullptr, L"Folder");
    ::SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(folder));
    ASSERT_TRUE(e2e::WaitFor([&] { return Level(tree, folder) == Texts{L"inner.sql"}; }));
    HTREEITEM chosen = Find(tree, nullptr, L"d.sql");
    ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(chosen));

    // Another program adds, removes and renames scripts, at both levels.
    WriteFile(L"library\\a.sql", "SELECT 'a';");
    WriteFile(L"library\\Folder\\new.sql", "SELECT 2;");
    ASSERT_TRUE(::DeleteFileW((root + L"\\b.sql").c_str()));
    ASSERT_TRUE(
        ::MoveFileW((root + L"\\Folder\\inner.sql").c_str(), (root + L"\\Folder\\renamed.sql").c_str()));

    EXPECT_TRUE(e2e::WaitFor([&] {
        return Level(tree, nullptr) == Texts{L"Folder", L"a.sql", L"d.sql"} &&
               Level(tree, folder) == Texts{L"new.sql", L"renamed.sql"};
    })) << "the tree shows the folder as it is now, in its order";
    EXPECT_EQ(Find(tree, nullptr, L"Folder"), folder) << "the open folder is the same item";
    EXPECT_TRUE(::SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(folder), TVIS_EXPANDED) &
                TVIS_EXPANDED);
    EXPECT_EQ(Next(tree, nullptr, TVGN_CARET), chosen) << "the selected script stays selected";

    // While the tree shows the scripts whose name matches, a matching script
    // another program drops in joins them.
    HWND box = hub.PageItem(e2e::kLibraryTab, IDC_LIBRARY_SEARCH);
    ::SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"new"));
    ASSERT_TRUE(e2e::WaitFor([&] {
        HTREEITEM shown = Find(tree, nullptr, L"Folder");
        return Level(tree, nullptr) == Texts{L"Folder"} && shown && Level(tree, shown) == Texts{L"new.sql"};
    })) << "the search shows the one matching script";
    WriteFile(L"library\\Folder\\newer.sql", "SELECT 3;");
    EXPECT_TRUE(e2e::WaitFor([&] {
        HTREEITEM shown = Find(tree, nullptr, L"Folder");
        return shown && Level(tree, shown) == Texts{L"new.sql", L"newer.sql"};
    })) << "a matching script dropped in while searching shows";
}

TEST_F(E2eTest, RecentProjectsShowAProjectAnotherProgramRecordsKeepingTheSelection) {
    const std::wstring first = WriteFile(L"first.rfp", "[Tables]\r\nAuthor=Ann\r\nDescription=one\r\n");
    const std::wstring second = WriteFile(L"second.rfp", "[Tables]\r\nAuthor=Bo\r\nDescription=two\r\n");
    const std::wstring key = L"Software\\Zerudozuz\\RowFoundry\\Settings";
    e2e::SetString(key, L"Profile0", first);

    Hub hub;
    ASSERT_TRUE(hub.Start());
    ASSERT_TRUE(hub.SelectTab(e2e::kProjectsTab));
    HWND list = hub.PageItem(e2e::kProjectsTab, IDC_PROJECT_LIST);
    ASSERT_TRUE(e2e::WaitFor([&] {
        return ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 1 &&
               e2e::ItemText(list, 0, kAuthorColumn) == L"Ann";
    }));
    LVITEMW state{};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    e2e::RemoteBuffer remote(list, sizeof state);
    remote.Write(0, &state, sizeof state);
    ::SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(remote.At(0)));

    // The product records a newer project first, as products do.
    e2e::SetString(key, L"Profile0", second);
    e2e::SetString(key, L"Profile1", first);
    EXPECT_TRUE(e2e::WaitFor([&] {
        return ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 2 &&
               e2e::ItemText(list, 0, 0) == L"second.rfp" && e2e::ItemText(list, 0, kAuthorColumn) == L"Bo";
    }));
    const auto selected = ::SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    ASSERT_GE(selected, 0);
    EXPECT_EQ(e2e::ItemText(list, static_cast<int>(selected), 0), L"first.rfp")
        << "the same project stays selected";

    // A descriptor changed where it lies shows its new author.
    WriteFile(L"first.rfp", "[Tables]\r\nAuthor=Cy\r\nDescription=one\r\n");
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::ItemText(list, 1, kAuthorColumn) == L"Cy"; }));
}

TEST_F(E2eTest, ConnectionsShowAProfileAnotherProgramSavesKeepingTheSelection) {
    const test::ScopedEnvironment appData(L"APPDATA", TempDir());  // the hub inherits it
    const std::wstring store = TempDir() + L"\\Zerudozuz\\Connections\\profiles.zcp";
    std::vector<CONN_INFO> profiles(2);
    profiles[0].name = L"bravo";
    profiles[1].name = L"delta";
    std::wstring error;
    ASSERT_TRUE(conn::ProfileStore(store).Save(profiles, error)) << std::string(error.begin(), error.end());

    Hub hub;
    ASSERT_TRUE(hub.Start());
    ASSERT_TRUE(hub.SelectTab(e2e::kConnectionsTab));
    HWND list = hub.PageItem(e2e::kConnectionsTab, IDC_CONN_LIST);
    ASSERT_TRUE(e2e::WaitFor([&] { return ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 2; }));
    LVITEMW state{};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    e2e::RemoteBuffer remote(list, sizeof state);
    remote.Write(0, &state, sizeof state);
    ::SendMessageW(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(remote.At(0)));  // delta

    // Another suite program saves a profile that sorts first.
    profiles.resize(3);
    profiles[2].name = L"alpha";
    ASSERT_TRUE(conn::ProfileStore(store).Save(profiles, error));
    EXPECT_TRUE(e2e::WaitFor([&] {
        return ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 3 && e2e::ItemText(list, 0, 0) == L"alpha";
    }));
    EXPECT_EQ(::SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 2)
        << "delta, now the third row, stays selected";
}

TEST_F(E2eTest, ProductsShowAnInstallAndF5ShowsAProgramDeletedBehindTheHub) {
    Hub hub;
    ASSERT_TRUE(hub.Start());
    HWND page = hub.Page(e2e::kProductsTab);
    HWND sheet = ::GetDlgItem(page, kSheetFoundryIcon);
    ASSERT_NE(sheet, nullptr);
    ASSERT_FALSE(::IsWindowEnabled(sheet));

    // An installer records the product's program.
    const std::wstring exe = InstallSheetFoundry();
    ASSERT_FALSE(exe.empty());
    EXPECT_TRUE(e2e::WaitFor([&] {
        sheet = ::GetDlgItem(page, kSheetFoundryIcon);
        return sheet && ::IsWindowEnabled(sheet);
    })) << "the installed product's icon starts it";

    // The program deleted by hand: no key changes, F5 shows it gone.
    ASSERT_TRUE(::DeleteFileW(exe.c_str()));
    ::Sleep(1500);
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(page, kSheetFoundryIcon))) << "nothing told the hub";
    ASSERT_TRUE(e2e::PressOnFocus(hub, VK_F5));
    EXPECT_TRUE(e2e::WaitFor([&] { return !::IsWindowEnabled(::GetDlgItem(page, kSheetFoundryIcon)); }));
}

}  // namespace
