// The SQL library page of the real program, driven from outside: the
// locations from the registry, the tree refilled from the other location with
// the preview left as it was, and a folder after a script emptying the preview.
#include "tests/e2e/E2eSupport.h"

#include <commctrl.h>

#include <string>

#include "resources/resource.h"

namespace {

using e2e::E2eTest;
using e2e::Hub;

constexpr int kPreview = 1040;  // made by the page, not by its template

// The preview's text as it answers WM_GETTEXT (GetWindowText would give only
// the caption of another process's window).
std::wstring WindowText(HWND hwnd) {
    wchar_t text[4096] = {};
    ::SendMessageW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text));
    return text;
}

HTREEITEM Item(HWND tree, int index) {
    auto item = reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    for (int i = 0; i < index && item; ++i)
        item = reinterpret_cast<HTREEITEM>(
            ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
    return item;
}

void ChooseLocation(HWND page, HWND combo, int index) {
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_LIBRARY_LOCATION, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(combo));
}

TEST_F(E2eTest, LibraryTreeFollowsTheLocationAndThePreviewTheSelection) {
    const std::wstring one = TempDir() + L"\\one";
    const std::wstring two = TempDir() + L"\\two";
    WriteFile(L"one\\Folder\\inner.sql", "SELECT 'inner';");
    WriteFile(L"one\\first.sql", "SELECT 'one' FROM t;\r\n-- a comment");
    WriteFile(L"two\\second.sql", "SELECT 2;");
    WriteFile(L"two\\third.sql", "SELECT 3;");
    e2e::SetString(L"Software\\Zerudozuz\\StatementDesk2\\Settings", L"Library", one);
    e2e::SetString(L"Software\\Zerudozuz\\LoadHammer\\Settings", L"Library", two);

    Hub hub;
    ASSERT_TRUE(hub.Start());
    ASSERT_TRUE(hub.SelectTab(e2e::kLibraryTab));
    HWND page = hub.Page(e2e::kLibraryTab);
    HWND combo = hub.PageItem(e2e::kLibraryTab, IDC_LIBRARY_LOCATION);
    HWND tree = hub.PageItem(e2e::kLibraryTab, IDC_LIBRARY_TREE);
    HWND preview = hub.PageItem(e2e::kLibraryTab, kPreview);
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(::SendMessageW(combo, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(::SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(::SendMessageW(tree, TVM_GETCOUNT, 0, 0), 2);  // Folder, first.sql

    // A script: its text appears in the preview.
    ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(Item(tree, 1)));
    ASSERT_TRUE(e2e::WaitFor([&] { return WindowText(preview) == L"SELECT 'one' FROM t;\r\n-- a comment"; }));

    // The other location: the tree is refilled, the preview stays.
    ChooseLocation(page, combo, 1);
    ASSERT_TRUE(e2e::WaitFor([&] { return ::SendMessageW(tree, TVM_GETCOUNT, 0, 0) == 2 && Item(tree, 0); }));
    EXPECT_EQ(WindowText(preview), L"SELECT 'one' FROM t;\r\n-- a comment");
    ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(Item(tree, 1)));
    ASSERT_TRUE(e2e::WaitFor([&] { return WindowText(preview) == L"SELECT 3;"; }));

    // Back to the first location: a folder after a script empties the preview.
    ChooseLocation(page, combo, 0);
    // The level is listed in the background: its items are there once it answers.
    ASSERT_TRUE(e2e::WaitFor([&] { return ::SendMessageW(tree, TVM_GETCOUNT, 0, 0) == 2 && Item(tree, 1); }));
    ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(Item(tree, 1)));
    ASSERT_TRUE(e2e::WaitFor([&] { return WindowText(preview) == L"SELECT 'one' FROM t;\r\n-- a comment"; }));
    ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(Item(tree, 0)));
    ASSERT_TRUE(e2e::WaitFor([&] { return WindowText(preview).empty(); }));

    // A script gone since the tree was filled: the preview says so.
    ::DeleteFileW((one + L"\\first.sql").c_str());
    ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(Item(tree, 1)));
    ASSERT_TRUE(
        e2e::WaitFor([&] { return WindowText(preview).find(L"cannot be opened") != std::wstring::npos; }));

    ::PostMessageW(hub.Window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(hub.WaitForExit());
}

// Windows takes COM1.sql, NUL.sql, AUX.sql and CON.sql for devices in any
// folder. Files of these names (made here through the \\?\ prefix, which
// passes names as they are) are listed, and the preview refuses each with a
// message instead of opening a device.
TEST_F(E2eTest, ScriptsNamedLikeDevicesAreListedButNeverOpened) {
    const std::wstring lib = TempDir() + L"\\lib";
    WriteFile(L"lib\\query.sql", "SELECT 1;");
    const wchar_t* const devices[] = {L"AUX.sql", L"COM1.sql", L"CON.sql", L"NUL.sql"};
    for (const wchar_t* name : devices) {
        const std::wstring raw = L"\\\\?\\" + lib + L"\\" + name;
        HANDLE h = ::CreateFileW(raw.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << name;
        DWORD written = 0;
        ::WriteFile(h, "SELECT 2;", 9, &written, nullptr);
        ::CloseHandle(h);
    }
    e2e::SetString(L"Software\\Zerudozuz\\StatementDesk2\\Settings", L"Library", lib);

    Hub hub;
    ASSERT_TRUE(hub.Start());
    ASSERT_TRUE(hub.SelectTab(e2e::kLibraryTab));
    HWND tree = hub.PageItem(e2e::kLibraryTab, IDC_LIBRARY_TREE);
    HWND preview = hub.PageItem(e2e::kLibraryTab, kPreview);
    ASSERT_EQ(::SendMessageW(tree, TVM_GETCOUNT, 0, 0), 5);
    auto item = reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    for (int i = 0; i < 5; ++i) {
        ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
        if (i < 4) {
            EXPECT_TRUE(e2e::WaitFor(
                [&] {
                    return WindowText(preview).find(L"Windows reserves its name for a device") !=
                               std::wstring::npos &&
                           WindowText(preview).find(devices[i]) != std::wstring::npos;
                },
                5000))
                << WindowText(preview);
        } else {
            EXPECT_TRUE(e2e::WaitFor([&] { return WindowText(preview) == L"SELECT 1;"; }, 5000))
                << WindowText(preview);
        }
        item = reinterpret_cast<HTREEITEM>(
            ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
    }
    DWORD_PTR result = 0;
    EXPECT_TRUE(::SendMessageTimeoutW(hub.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result));
    for (const wchar_t* name : devices) ::DeleteFileW((L"\\\\?\\" + lib + L"\\" + name).c_str());
}

}  // namespace
