// Searching the SQL library in-process under Wine: characters posted to the
// page's real search box filter the real tree over a listing of real folders,
// and the text search reads real files, one of them on a share that stops
// answering (tests/HungShare.h).
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "pages/library/LibrarySearch.h"
#include "pages/library/PageLibrary.h"
#include "platform/services/_Settings.h"
#include "resources/resource.h"
#include "tests/HungShare.h"
#include "tests/win/PageTest.h"

namespace {

// This thread's messages handled as the program's loop handles them, until
// done() or ms have passed.
bool PumpUntil(const std::function<bool()>& done, DWORD ms = 15000) {
    const ULONGLONG until = ::GetTickCount64() + ms;
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (done()) return true;
        const ULONGLONG now = ::GetTickCount64();
        if (now >= until) return false;
        ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min<ULONGLONG>(until - now, 50)),
                                      QS_ALLINPUT, 0);
    }
}

const wchar_t kDeskKey[] = L"Software\\Zerudozuz\\StatementDesk2\\Settings";

class LibrarySearchTest : public PageTest<PageLibrary, _Settings> {
protected:
    // Types into the search box as the keyboard does: each character posted
    // to the box and handled by this thread's message loop.
    void Type(const std::wstring& text) {
        HWND box = m_page->Item(IDC_LIBRARY_SEARCH);
        for (wchar_t c : text) ::PostMessageW(box, WM_CHAR, c, 1);
        Pump(200);
    }
    static void Pump(DWORD ms) {
        PumpUntil([] { return false; }, ms);
    }
    // The tree as "name" lines, each indented by its depth.
    std::vector<std::wstring> Shown() const {
        std::vector<std::wstring> lines;
        ui::TreeView tree(m_page->m_tree.Hwnd());
        Walk(tree, tree.GetRoot(), 0, lines);
        return lines;
    }
    static void Walk(const ui::TreeView& tree, HTREEITEM item, int depth, std::vector<std::wstring>& lines) {
        for (; item; item = tree.GetNext(item, TVGN_NEXT)) {
            lines.push_back(std::wstring(static_cast<std::size_t>(depth) * 2, L' ') + tree.GetItemText(item));
            Walk(tree, tree.GetNext(item, TVGN_CHILD), depth + 1, lines);
        }
    }
    std::wstring Status() const {
        wchar_t text[256] = {};
        ::GetWindowTextW(m_page->Item(IDC_LIBRARY_SEARCH_STATUS), text, 256);
        return text;
    }
};

using Lines = std::vector<std::wstring>;

// The folders that lead to a matching script stay, however deep, and
// nothing else; case is ignored beyond ASCII; an emptied box brings the
// folders back as they were listed, with the chosen script still chosen.
TEST_F(LibrarySearchTest, TheNameFilterKeepsTheFoldersOfMatchingScripts) {
    WriteFile(L"lib\\Reports\\2019\\\u00c4rger totals.sql", "SELECT 1;");
    WriteFile(L"lib\\Reports\\monthly.sql", "SELECT 2;");
    WriteFile(L"lib\\Schema\\create.sql", "SELECT 3;");
    WriteFile(L"lib\\\u00e4rgerlich.sql", "SELECT 4;");
    WriteFile(L"lib\\top.sql", "SELECT 5;");
    SetString(kDeskKey, L"Library", TempDir() + L"\\lib");
    CreatePage().Activate();
    ASSERT_EQ(Shown(), (Lines{L"Reports", L"Schema", L"top.sql", L"\u00e4rgerlich.sql"}));

    Type(L"\u00e4RGER");
    ASSERT_TRUE(PumpUntil([&] { return !m_page->Finder()->Walking() && Shown().size() == 4; })) << Status();
    EXPECT_EQ(Shown(), (Lines{L"Reports", L"  2019", L"    \u00c4rger totals.sql", L"\u00e4rgerlich.sql"}));
    EXPECT_EQ(Status(), L"2 of 5 scripts match");

    // Choosing a result shows it; an emptied box gives the folders back, the
    // chosen script opened up to and still chosen.
    const std::wstring chosen = TempDir() + L"\\lib\\Reports\\2019\\\u00c4rger totals.sql";
    const std::size_t entry = m_page->m_tree.EntryOfPath(chosen);
    ASSERT_LT(entry, m_page->m_tree.m_paths.size());
    ui::TreeView(m_page->m_tree.Hwnd()).SelectItem(m_page->m_tree.ItemOf(entry));
    ::SetWindowTextW(m_page->Item(IDC_LIBRARY_SEARCH), L"");
    ASSERT_TRUE(PumpUntil([&] {
        const auto* selected = reinterpret_cast<HTREEITEM>(
            ::SendMessageW(m_page->m_tree.Hwnd(), TVM_GETNEXTITEM, TVGN_CARET, 0));
        const std::size_t now = m_page->m_tree.EntryOfPath(chosen);
        return now < m_page->m_tree.m_paths.size() && m_page->m_tree.ItemOf(now) == selected;
    }));
    EXPECT_EQ(Shown().front(), L"Reports");
    EXPECT_EQ(Status(), L"");
}

// A script that never answers is skipped at its deadline and the others are
// still searched; the match found is where the preview will show it.
TEST_F(LibrarySearchTest, TheTextSearchSkipsAScriptThatDoesNotAnswer) {
    test::HungShare share;
    if (!share.Available()) GTEST_SKIP() << share.Why();
    share.Put(L"lib\\a hung.sql", "SELECT needle FROM nowhere;");
    share.Put(L"lib\\b.sql",
              "SELECT 1;\r\n-- line two\r\nSELECT x FROM t WHERE y = 'N\xC3\xA9\x45\x44LE';\r\n");
    share.Put(L"lib\\deeper\\c.sql", "\xFF\xFEn\0o\0");  // UTF-16 without the word
    ASSERT_TRUE(share.Hang(L"read lib/a hung.sql"));

    LibrarySearch search(m_host.Hwnd());
    search.SetDeadline(std::chrono::milliseconds(1500));
    // The host's kAnswered goes nowhere: the test runs the answers itself.
    const auto pump = [&](const std::function<bool()>& done) {
        return PumpUntil(
            [&] {
                search.RunFinished();
                return done();
            },
            20000);
    };
    search.Walk(share.Path(L"lib"));
    ASSERT_TRUE(pump([&] { return !search.Walking(); }));
    ASSERT_EQ(search.Scripts().size(), 3u);
    search.SearchText(L"N\u00c9EDLE");
    ASSERT_TRUE(pump([&] { return !search.Searching(); }));

    EXPECT_EQ(search.Searched(), 3u);
    EXPECT_EQ(search.Skipped(), 1u);
    ASSERT_EQ(search.FoundCount(), 1u);
    const auto match = search.MatchIn(share.Path(L"lib\\b.sql"));
    ASSERT_TRUE(match.has_value());
    EXPECT_EQ(match->at.line, 2u);
    EXPECT_EQ(match->at.unit, 27u);
    EXPECT_EQ(match->length, 6u);
    EXPECT_TRUE(share.KillServer());
}

// Cancel ends the search at once, with a script still hanging, and nothing
// that answers afterwards is counted or shown.
TEST_F(LibrarySearchTest, CancelEndsTheTextSearch) {
    test::HungShare share;
    if (!share.Available()) GTEST_SKIP() << share.Why();
    share.Put(L"lib\\hung.sql", "needle");
    share.Put(L"lib\\plain.sql", "needle");
    ASSERT_TRUE(share.Hang(L"read lib/hung.sql"));
    SetString(kDeskKey, L"Library", share.Path(L"lib"));
    CreatePage().Activate();

    Type(L"needle");
    ASSERT_TRUE(PumpUntil([&] { return !m_page->Finder()->Walking(); }));
    m_page->SearchText();
    ASSERT_TRUE(PumpUntil([&] { return m_page->Finder()->Searched() == 1; }));
    EXPECT_TRUE(m_page->Finder()->Searching());
    wchar_t button[32] = {};
    ::GetWindowTextW(m_page->Item(IDC_LIBRARY_SEARCH_TEXT), button, 32);
    EXPECT_STREQ(button, L"Cancel");

    // The button that reads Cancel cancels.
    ::SendMessageW(m_page->Item(IDC_LIBRARY_SEARCH_TEXT), BM_CLICK, 0, 0);
    EXPECT_FALSE(m_page->Finder()->Searching());
    ::GetWindowTextW(m_page->Item(IDC_LIBRARY_SEARCH_TEXT), button, 32);
    EXPECT_STREQ(button, L"Search Text");
    EXPECT_EQ(Status(), L"Stopped: 1 of 2 scripts searched, 1 found");
    ASSERT_TRUE(share.KillServer());
    Pump(500);
    EXPECT_EQ(Status(), L"Stopped: 1 of 2 scripts searched, 1 found");
    EXPECT_EQ(m_page->Finder()->FoundCount(), 1u);
}

// A library nested deeper than the walk goes is listed down to its limit,
// and the page says the listing stopped there.
TEST_F(LibrarySearchTest, AWalkThatReachesItsDepthLimitSaysSo) {
    std::wstring deep = L"lib";
    for (std::size_t level = 0; level <= LibrarySearch::kMaxDepth; ++level) {
        deep += L"\\d";
        WriteFile(deep + L"\\level" + std::to_wstring(level) + L".sql", "SELECT 1;");
    }
    SetString(kDeskKey, L"Library", TempDir() + L"\\lib");
    CreatePage().Activate();
    Type(L"level");
    ASSERT_TRUE(PumpUntil([&] { return !m_page->Finder()->Walking(); }));
    EXPECT_TRUE(m_page->Finder()->Capped());
    EXPECT_EQ(m_page->Finder()->Scripts().size(), LibrarySearch::kMaxDepth - 1);
    EXPECT_NE(Status().find(L"listing stopped at 32 levels"), std::wstring::npos) << Status();
}

}  // namespace
