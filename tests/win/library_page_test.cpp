// The SQL library page, its script tree and its preview, in-process under
// Wine: real registry (redirected per test), real folders and files, real
// tree, combo box and window painting.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "pages/library/PageLibrary.h"
#include "platform/text/CColorizer.h"
#include "platform/framework/Process.h"
#include "platform/services/_Settings.h"
#include "platform/ui/Dpi.h"
#include "resources/resource.h"
#include "tests/win/PageTest.h"

namespace {

const wchar_t kDeskKey[] = L"Software\\Zerudozuz\\StatementDesk2\\Settings";
const wchar_t kHammerKey[] = L"Software\\Zerudozuz\\LoadHammer\\Settings";

// The pixels of a window's client area as its own painting leaves them.
struct Snapshot {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB
    int Count(COLORREF c) const {
        const std::uint32_t want = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
        int n = 0;
        for (std::uint32_t p : pixels) n += (p & 0xFFFFFF) == want;
        return n;
    }
};

Snapshot Capture(HWND hwnd) {
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    Snapshot s;
    s.width = rc.right;
    s.height = rc.bottom;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = s.width;
    bi.bmiHeader.biHeight = -s.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = ::CreateCompatibleDC(nullptr);
    HBITMAP bmp = ::CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(dc, bmp);
    ::SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    ::GdiFlush();
    const auto* p = static_cast<const std::uint32_t*>(bits);
    s.pixels.assign(p, p + static_cast<std::size_t>(s.width) * s.height);
    ::SelectObject(dc, old);
    ::DeleteObject(bmp);
    ::DeleteDC(dc);
    return s;
}

// Presses a key with the given modifiers held, as the keyboard would.
void Press(HWND hwnd, UINT vk, bool ctrl = false, bool shift = false) {
    BYTE state[256] = {};
    ::GetKeyboardState(state);
    state[VK_CONTROL] = ctrl ? 0x80 : 0;
    state[VK_SHIFT] = shift ? 0x80 : 0;
    ::SetKeyboardState(state);
    ::SendMessageW(hwnd, WM_KEYDOWN, vk, 1);
    state[VK_CONTROL] = state[VK_SHIFT] = 0;
    ::SetKeyboardState(state);
}

class LibraryTest : public PageTest<PageLibrary, _Settings> {
protected:
    PageLibrary& OpenPage() {
        PageLibrary& page = CreatePage();
        // A busy machine must not make a script that answers look like one that does not.
        if (page.m_preview) page.m_preview->SetFirstWait(10000);
        return page;
    }
    std::vector<std::wstring> Locations() const {
        std::vector<std::wstring> items;
        for (int i = 0; i < m_page->m_location.GetCount(); ++i)
            items.push_back(m_page->m_location.GetItemText(i));
        return items;
    }
    // The names of the tree's items below `parent` (null: the top level), in order.
    std::vector<std::wstring> Names(HTREEITEM parent = nullptr) const {
        ui::TreeView tree(m_page->m_tree.Hwnd());
        std::vector<std::wstring> names;
        HTREEITEM item = parent ? tree.GetNext(parent, TVGN_CHILD) : tree.GetRoot();
        for (; item; item = tree.GetNext(item, TVGN_NEXT)) names.push_back(tree.GetItemText(item));
        return names;
    }
    HTREEITEM Find(const std::wstring& path) const {
        for (std::size_t i = 0; i < m_page->m_tree.m_paths.size(); ++i)
            if (m_page->m_tree.m_paths[i] == path) return m_page->m_tree.ItemOf(i);
        return nullptr;
    }
    // Expands or collapses a folder as the user does, with what its listing finds.
    void Expand(HTREEITEM item, UINT action) {
        ui::TreeView(m_page->m_tree.Hwnd()).Expand(item, action);
        ASSERT_TRUE(SettleReads(*m_page));
    }
    void Select(const std::wstring& path) {
        HTREEITEM item = Find(path);
        ASSERT_NE(item, nullptr);
        ui::TreeView(m_page->m_tree.Hwnd()).SelectItem(item);
    }
    ColorEditWnd& Preview() { return *m_page->m_preview; }
};

TEST_F(LibraryTest, LocationsInFixedOrderWithoutDuplicateCheck) {
    const std::wstring lib = MakeDir(L"lib");
    SetString(kDeskKey, L"Library", lib);
    SetString(kHammerKey, L"Library", lib);
    OpenPage();
    EXPECT_EQ(Locations(), (std::vector<std::wstring>{lib, lib}));
    EXPECT_EQ(m_page->m_location.GetCurSel(), 0);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(LibraryTest, OnlyTheSecondProductNamesALocation) {
    const std::wstring lib = MakeDir(L"hammer");
    SetString(kHammerKey, L"Library", lib);
    OpenPage();
    EXPECT_EQ(Locations(), std::vector<std::wstring>{lib});
    EXPECT_EQ(m_page->m_location.GetCurSel(), 0);
}

TEST_F(LibraryTest, ALocationMustFitIn255Bytes) {
    SetString(kDeskKey, L"Library", L"C:\\" + std::wstring(124, L'a'));    // 127 characters: too long
    SetString(kHammerKey, L"Library", L"C:\\" + std::wstring(123, L'b'));  // 126 characters: fits
    OpenPage();
    EXPECT_EQ(Locations(), std::vector<std::wstring>{L"C:\\" + std::wstring(123, L'b')});
    EXPECT_EQ(m_page->ReadLibraryLocation(L"StatementDesk2"), L"");
    // Missing key, missing value, and data that is not text up to its end.
    EXPECT_EQ(m_page->ReadLibraryLocation(L"NoSuchProduct"), L"");
    SetString(kDeskKey, L"Other", L"x");
    SetRaw(kDeskKey, L"Library", REG_SZ, L"C:\\lib\0junk", 22);
    EXPECT_EQ(m_page->ReadLibraryLocation(L"StatementDesk2"), L"C:\\lib");
    SetRaw(kDeskKey, L"Library", REG_BINARY, "C\0:\0", 4);  // no terminator at all
    EXPECT_EQ(m_page->ReadLibraryLocation(L"StatementDesk2"), L"C:");
}

TEST_F(LibraryTest, NoLocationGivesAnEmptyPageWithoutMessages) {
    OpenPage();
    EXPECT_EQ(m_page->m_location.GetCount(), 0);
    EXPECT_EQ(m_page->m_location.GetCurSel(), CB_ERR);
    EXPECT_EQ(ui::TreeView(m_page->m_tree.Hwnd()).GetCount(), 0);
    EXPECT_TRUE(m_page->m_tree.m_paths.empty());
    EXPECT_TRUE(Boxes().empty());
    // The "..." button exists, is never shown and has no command.
    HWND browse = m_page->Item(IDC_LIBRARY_BROWSE);
    ASSERT_NE(browse, nullptr);
    EXPECT_FALSE(::IsWindowVisible(browse));
}

TEST_F(LibraryTest, LocationThatIsAFileOrMissingShowsNothing) {
    const std::wstring file = WriteFile(L"not-a-folder.sql", "select 1");
    SetString(kDeskKey, L"Library", file);
    SetString(kHammerKey, L"Library", TempDir() + L"\\missing");
    OpenPage();
    EXPECT_EQ(Locations().size(), 2u);
    EXPECT_TRUE(m_page->m_tree.m_paths.empty());
    m_page->m_location.SetCurSel(1);
    ::SendMessageW(m_page->Hwnd(), WM_COMMAND, MAKEWPARAM(IDC_LIBRARY_LOCATION, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(m_page->m_location.Hwnd()));
    EXPECT_TRUE(SettleReads(*m_page));
    EXPECT_TRUE(m_page->m_tree.m_paths.empty());
}

TEST_F(LibraryTest, TreeListsFoldersFirstSortedAndOnlyScripts) {
    const std::wstring lib = MakeDir(L"lib");
    MakeDir(L"lib\\beta");
    MakeDir(L"lib\\Alpha");
    MakeDir(L"lib\\empty");
    WriteFile(L"lib\\zeta.sql", "select 1;");
    WriteFile(L"lib\\Apple.SQL", "select 2;");
    WriteFile(L"lib\\banana.sql", "select 3;");
    WriteFile(L"lib\\notes.txt", "not a script");
    WriteFile(L"lib\\archive.sql.bak", "not a script");
    WriteFile(L"lib\\Alpha\\inner.sql", "select 4;");
    WriteFile(L"lib\\Alpha\\deeper\\deepest.sql", "select 5;");
    SetString(kDeskKey, L"Library", lib);
    OpenPage();
    const auto& tree = m_page->m_tree;
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"Alpha", L"beta", L"empty", L"Apple.SQL", L"banana.sql",
                                                  L"zeta.sql"}));
    // Kinds and paths are in step with the entries; nothing below the top yet.
    ASSERT_EQ(tree.m_paths.size(), 6u);
    ASSERT_EQ(tree.m_kinds.size(), 6u);
    EXPECT_EQ(tree.m_kinds[0], L"<Directory>");
    EXPECT_EQ(tree.m_paths[0], lib + L"\\Alpha");
    EXPECT_NE(tree.m_kinds[3], L"<Directory>");
    EXPECT_EQ(tree.m_paths[5], lib + L"\\zeta.sql");

    // A folder's contents are listed on its first expansion only.
    ui::TreeView view(tree.Hwnd());
    HTREEITEM alpha = Find(lib + L"\\Alpha");
    Expand(alpha, TVE_EXPAND);
    EXPECT_EQ(Names(alpha), (std::vector<std::wstring>{L"deeper", L"inner.sql"}));
    EXPECT_EQ(tree.m_paths.size(), 8u);
    Expand(alpha, TVE_COLLAPSE);
    Expand(alpha, TVE_EXPAND);
    EXPECT_EQ(tree.m_paths.size(), 8u);
    EXPECT_EQ(tree.m_kinds.size(), 8u);
    EXPECT_EQ(Names(alpha).size(), 2u);
    // Each item carries its entry number.
    TVITEMW item{};
    item.mask = TVIF_PARAM | TVIF_IMAGE;
    item.hItem = Find(lib + L"\\Alpha\\inner.sql");
    ASSERT_TRUE(view.Send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(tree.m_paths[static_cast<std::size_t>(item.lParam)], lib + L"\\Alpha\\inner.sql");
    EXPECT_EQ(item.iImage, CSQLTree::kIconScript);
    // An empty folder loses its expand button once opened.
    HTREEITEM empty = Find(lib + L"\\empty");
    Expand(empty, TVE_EXPAND);
    item = {};
    item.mask = TVIF_CHILDREN;
    item.hItem = empty;
    view.Send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(item.cChildren, 0);
    EXPECT_EQ(ImageList_GetImageCount(tree.m_icons.Get()), 3);
}

// A change while a folder is being listed: its listing may predate the
// change, so a refresh that comes meanwhile reads the folder again once it shows.
TEST_F(LibraryTest, ARefreshWhileAFolderIsListedReadsItAgainOnceItShows) {
    const std::wstring lib = MakeDir(L"lib");
    WriteFile(L"lib\\Folder\\old.sql", "select 1;");
    SetString(kDeskKey, L"Library", lib);
    OpenPage();
    HTREEITEM folder = Find(lib + L"\\Folder");
    ASSERT_NE(folder, nullptr);
    ui::TreeView(m_page->m_tree.Hwnd()).Expand(folder, TVE_EXPAND);
    ::Sleep(300);  // the worker has listed the folder; its answer waits in the queue
    WriteFile(L"lib\\Folder\\new.sql", "select 2;");
    m_page->Refresh();
    ASSERT_TRUE(SettleReads(*m_page));
    EXPECT_EQ(Names(folder), (std::vector<std::wstring>{L"new.sql", L"old.sql"}));
}

// Deep nesting and a crowded folder cost only what is opened.
TEST_F(LibraryTest, DeepAndCrowdedFoldersAreListedOnlyWhenOpened) {
    const std::wstring lib = MakeDir(L"lib");
    std::wstring deep = L"lib";
    for (int i = 0; i < 30; ++i) deep += L"\\d" + std::to_wstring(i);
    MakeDir(deep);
    for (int i = 0; i < 1500; ++i) WriteFile(L"lib\\crowd\\s" + std::to_wstring(i) + L".sql", "");
    SetString(kDeskKey, L"Library", lib);
    OpenPage();
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"crowd", L"d0"}));
    EXPECT_EQ(m_page->m_tree.m_paths.size(), 2u);
    ui::TreeView view(m_page->m_tree.Hwnd());
    HTREEITEM item = Find(lib + L"\\d0");
    for (int i = 1; i < 30; ++i) {
        Expand(item, TVE_EXPAND);
        item = view.GetNext(item, TVGN_CHILD);
        ASSERT_NE(item, nullptr) << i;
    }
    EXPECT_EQ(m_page->m_tree.m_paths.size(), 31u);
    Expand(Find(lib + L"\\crowd"), TVE_EXPAND);
    EXPECT_EQ(m_page->m_tree.m_paths.size(), 1531u);
    // Sorted without regard to case or length: s0, s1, s10, s100, ...
    const auto names = Names(Find(lib + L"\\crowd"));
    ASSERT_EQ(names.size(), 1500u);
    EXPECT_EQ(names[0], L"s0.sql");
    EXPECT_EQ(names[1], L"s1.sql");
    EXPECT_EQ(names[2], L"s10.sql");
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
}

TEST_F(LibraryTest, SelectionDrivesThePreview) {
    const std::wstring lib = MakeDir(L"lib");
    MakeDir(L"lib\\folder");
    const std::wstring script = WriteFile(L"lib\\query.sql", "SELECT name\r\nFROM t -- all\r\n");
    SetString(kDeskKey, L"Library", lib);
    OpenPage();
    Select(script);
    EXPECT_EQ(Preview().LineCount(), 3u);
    EXPECT_EQ(Preview().LineText(0), L"SELECT name");
    EXPECT_EQ(Preview().LineText(1), L"FROM t -- all");
    // A folder after a file empties the preview.
    Select(lib + L"\\folder");
    EXPECT_EQ(Preview().LineCount(), 1u);
    EXPECT_EQ(Preview().LineText(0), L"");
    EXPECT_TRUE(Preview().Message().empty());
    Select(script);
    EXPECT_EQ(Preview().LineText(0), L"SELECT name");
}

TEST_F(LibraryTest, SelectionCommandIsAlwaysAnsweredAndChecked) {
    const std::wstring lib = MakeDir(L"lib");
    const std::wstring script = WriteFile(L"lib\\a.sql", "select 1");
    SetString(kDeskKey, L"Library", lib);
    OpenPage();
    Select(script);
    ASSERT_EQ(Preview().LineText(0), L"select 1");
    // Indexes outside the lists change nothing, and the command never reaches the base.
    for (LPARAM bad : {LPARAM(-1), LPARAM(1), LPARAM(1000), LPARAM(0x7FFFFFFF), LPARAM(0x100000000LL)}) {
        EXPECT_TRUE(m_page->OnCommand(0x2400, bad));
        EXPECT_EQ(Preview().LineText(0), L"select 1");
    }
    // lParam is taken as a 32-bit index: its upper half is ignored.
    m_page->ShowPreview(-5);
    EXPECT_TRUE(m_page->OnCommand(0x2400, 0x100000000LL));
    EXPECT_EQ(Preview().LineText(0), L"select 1");
    EXPECT_FALSE(m_page->OnCommand(0x2401, 0));
}

TEST_F(LibraryTest, ChangingTheLocationRefillsTheTreeButKeepsThePreview) {
    const std::wstring one = MakeDir(L"one");
    const std::wstring two = MakeDir(L"two");
    const std::wstring script = WriteFile(L"one\\first.sql", "select 'one'");
    WriteFile(L"two\\second.sql", "select 'two'");
    WriteFile(L"two\\third.sql", "select 'three'");
    SetString(kDeskKey, L"Library", one);
    SetString(kHammerKey, L"Library", two);
    OpenPage();
    Select(script);
    m_page->m_location.SetCurSel(1);
    ::SendMessageW(m_page->Hwnd(), WM_COMMAND, MAKEWPARAM(IDC_LIBRARY_LOCATION, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(m_page->m_location.Hwnd()));
    ASSERT_TRUE(SettleReads(*m_page));
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"second.sql", L"third.sql"}));
    EXPECT_EQ(m_page->m_tree.m_paths.size(), 2u);
    EXPECT_EQ(Preview().LineText(0), L"select 'one'");
    m_page->m_location.SetCurSel(0);
    ::SendMessageW(m_page->Hwnd(), WM_COMMAND, MAKEWPARAM(IDC_LIBRARY_LOCATION, CBN_EDITCHANGE),
                   reinterpret_cast<LPARAM>(m_page->m_location.Hwnd()));
    ASSERT_TRUE(SettleReads(*m_page));
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"first.sql"});
}

TEST_F(LibraryTest, PreviewSitsInsideTheFrameAndFollowsResizing) {
    OpenPage();
    HWND frame = m_page->Item(IDC_LIBRARY_PREVIEW_FRAME);
    RECT f = m_page->ChildRect(frame);
    RECT p = m_page->ChildRect(Preview().Hwnd());
    EXPECT_RECT_EQ(p, (RECT{f.left + 2, f.top + 2, f.right - 2, f.bottom - 2}));
    EXPECT_EQ(::GetWindow(frame, GW_HWNDNEXT), Preview().Hwnd());
    EXPECT_EQ(::GetDlgCtrlID(Preview().Hwnd()), 1040);

    const RECT before = m_page->ClientRect();
    ::SetWindowPos(m_page->Hwnd(), nullptr, 0, 0, before.right + 100, before.bottom + 60,
                   SWP_NOMOVE | SWP_NOZORDER);
    const RECT p2 = m_page->ChildRect(Preview().Hwnd());
    EXPECT_RECT_EQ(p2, (RECT{p.left, p.top + 60, p.right + 100, p.bottom + 60}));
    const RECT tree = m_page->ChildRect(m_page->m_tree.Hwnd());
    const RECT combo = m_page->ChildRect(m_page->m_location.Hwnd());
    const RECT browse = m_page->ChildRect(m_page->Item(IDC_LIBRARY_BROWSE));
    EXPECT_EQ(tree.bottom + 4 < p2.top, true);
    EXPECT_GT(combo.right, browse.left - 10);
    EXPECT_LE(combo.right, browse.left + 1);
}

TEST_F(LibraryTest, EnterAndEscapeLeaveThePageInPlace) {
    OpenPage();
    m_page->Activate();
    ::SendMessageW(m_page->Hwnd(), WM_COMMAND, IDCANCEL, 0);
    ::SendMessageW(m_page->Hwnd(), WM_COMMAND, IDOK, 0);
    // The host is never shown, so the page's own style tells.
    EXPECT_TRUE(::GetWindowLongPtrW(m_page->Hwnd(), GWL_STYLE) & WS_VISIBLE);
}

// The preview on its own.
class PreviewTest : public WinTest {
protected:
    void SetUp() override {
        WinTest::SetUp();
        m_colorizer.SetKeywords({L"SELECT", L"FROM", L"WHERE"});
        m_colorizer.SetHighlighting(1);
        m_preview =
            std::make_unique<ColorEditWnd>(&m_host, RECT{0, 0, 600, 300}, 1040, 4, 90, L"Courier New");
        m_preview->SetColorizer(&m_colorizer);
        m_preview->SetFirstWait(10000);
    }
    void TearDown() override {
        m_preview.reset();
        WinTest::TearDown();
    }
    std::wstring Load(const std::string& bytes) {
        const std::wstring path = WriteFile(L"script" + std::to_wstring(++m_files) + L".sql", bytes);
        EXPECT_EQ(m_preview->LoadFile(path), 1);
        return path;
    }
    std::wstring Text() const {
        std::wstring all;
        for (std::size_t i = 0; i < m_preview->LineCount(); ++i)
            all += (i ? L"|" : L"") + m_preview->LineText(i);
        return all;
    }

    test::PageHost m_host;
    CColorizer m_colorizer;
    std::unique_ptr<ColorEditWnd> m_preview;
    int m_files = 0;
};

TEST_F(PreviewTest, DecodesEveryEncoding) {
    Load(
        "\xEF\xBB\xBF"
        "caf\xC3\xA9\r\nx");
    EXPECT_EQ(Text(), L"caf\u00e9|x");
    Load("caf\xC3\xA9");
    EXPECT_EQ(m_preview->Encoding(), text::Encoding::Utf8);
    EXPECT_EQ(Text(), L"caf\u00e9");
    Load(
        std::string("\xFF\xFE"
                    "a\0\n\0\xAC\x20",
                    8));
    EXPECT_EQ(Text(), L"a|\u20ac");
    Load(std::string("\xFE\xFF\0a\0\r\x20\xAC", 8));
    EXPECT_EQ(Text(), L"a|\u20ac");
    // Not UTF-8: the ANSI code page (1252 here) decodes it.
    Load("caf\xE9 \x80");
    EXPECT_EQ(m_preview->Encoding(), text::Encoding::Ansi);
    EXPECT_EQ(Text(), L"caf\u00e9 \u20ac");
    // NUL bytes and other controls are shown, not lost.
    Load(std::string("a\0b\x01", 4));
    EXPECT_EQ(Text(), L"a\u00b7b\u00b7");
    Load("");
    EXPECT_EQ(m_preview->LineCount(), 1u);
    EXPECT_TRUE(m_preview->Message().empty());
}

TEST_F(PreviewTest, SaysPlainlyWhenAFileCannotBeRead) {
    EXPECT_EQ(m_preview->LoadFile(TempDir() + L"\\missing.sql"), 0);
    EXPECT_NE(m_preview->Message().find(L"cannot be opened"), std::wstring::npos);
    EXPECT_NE(m_preview->Message().find(L"missing.sql"), std::wstring::npos);
    EXPECT_EQ(m_preview->LineCount(), 1u);
    // A script another program holds without sharing.
    const std::wstring locked = WriteFile(L"locked.sql", "select 1");
    HANDLE h =
        ::CreateFileW(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(m_preview->LoadFile(locked), 0);
    EXPECT_FALSE(m_preview->Message().empty());
    ::CloseHandle(h);
    // A folder is no script either; a later good file clears the message.
    EXPECT_EQ(m_preview->LoadFile(TempDir()), 0);
    Load("select 2");
    EXPECT_TRUE(m_preview->Message().empty());
    EXPECT_EQ(Text(), L"select 2");
    EXPECT_TRUE(Boxes().empty());
}

// In any folder Windows takes COM1.sql, NUL.sql, AUX.sql and CON.sql for
// devices, and a pipe's name for the pipe: such a script is refused with a
// message and never opened (a port or a console may wait without end).
TEST_F(PreviewTest, ScriptsNamedLikeDevicesAreRefusedAndNeverOpened) {
    const std::wstring pipeName = L"\\\\.\\pipe\\quaylet-preview-" + test::UniqueName();
    HANDLE pipe = ::CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    OVERLAPPED connect{};
    connect.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::ConnectNamedPipe(pipe, &connect);
    Load("select 1");
    for (const wchar_t* name : {L"NUL.sql", L"AUX.sql", L"CON.sql", L"COM1.sql", L"lpt1.SQL"}) {
        const std::wstring path = TempDir() + L"\\lib\\" + name;
        EXPECT_EQ(m_preview->LoadFile(path), 0) << path;
        EXPECT_NE(m_preview->Message().find(L"Windows reserves its name for a device"), std::wstring::npos)
            << path;
        EXPECT_NE(m_preview->Message().find(path), std::wstring::npos);
        EXPECT_FALSE(m_preview->Loading());
    }
    EXPECT_EQ(m_preview->LoadFile(pipeName), 0);
    EXPECT_NE(m_preview->Message().find(pipeName), std::wstring::npos);
    EXPECT_NE(::WaitForSingleObject(connect.hEvent, 200), WAIT_OBJECT_0) << "the pipe was opened";
    EXPECT_TRUE(Boxes().empty());
    ::CancelIoEx(pipe, &connect);
    ::CloseHandle(pipe);
    ::CloseHandle(connect.hEvent);
}

TEST_F(PreviewTest, AnOversizedFileIsCutAtALineBreakWithANote) {
    m_preview->SetFileLimit(100);
    std::string big;
    for (int i = 0; i < 20; ++i) big += "select " + std::to_string(i) + ";\n";  // 10 or 11 bytes a line
    big += "caf\xC3\xA9";
    Load(big);
    EXPECT_FALSE(m_preview->Note().empty());
    // Cut after the last whole line within 100 bytes; still UTF-8.
    EXPECT_EQ(m_preview->LineText(0), L"select 0;");
    EXPECT_EQ(m_preview->LineText(m_preview->LineCount() - 2), L"select 9;");
    EXPECT_EQ(m_preview->LineText(m_preview->LineCount() - 1), L"");
    EXPECT_EQ(m_preview->Encoding(), text::Encoding::Utf8);
    m_preview->SetFileLimit(ColorEditWnd::kMaxFileBytes);
    Load(big);
    EXPECT_TRUE(m_preview->Note().empty());
    EXPECT_EQ(m_preview->LineText(m_preview->LineCount() - 1), L"caf\u00e9");
}

TEST_F(PreviewTest, PaintsOnlyVisibleLinesInColour) {
    std::string big;
    for (int i = 0; i < 200000; ++i)
        big += "SELECT a FROM t WHERE x = 'it''s' -- row " + std::to_string(i) + "\n";
    Load(big);
    m_preview->FinishLoading();
    EXPECT_EQ(m_preview->LineCount(), 200001u);
    Snapshot s = Capture(m_preview->Hwnd());
    const std::size_t rows = static_cast<std::size_t>(300 / 10);
    EXPECT_GT(m_preview->LinesPaintedLast(), 5u);
    EXPECT_LE(m_preview->LinesPaintedLast(), rows);
    EXPECT_GT(s.Count(RGB(0, 0, 255)), 20);    // keywords
    EXPECT_GT(s.Count(RGB(163, 21, 21)), 20);  // the string
    EXPECT_GT(s.Count(RGB(0, 128, 0)), 20);    // the comment
    // Without a colorizer the same text is drawn without colour.
    m_preview->SetColorizer(nullptr);
    s = Capture(m_preview->Hwnd());
    EXPECT_EQ(s.Count(RGB(0, 0, 255)), 0);
    // A message is drawn instead of text.
    m_preview->LoadFile(TempDir() + L"\\missing.sql");
    Capture(m_preview->Hwnd());
    EXPECT_EQ(m_preview->LinesPaintedLast(), 0u);
}

// A large file shows its first screen at once and is read to the end in
// steps while messages flow; loading something else stops that.
TEST_F(PreviewTest, LargeFilesAreReadInTheBackgroundOfTheMessageLoop) {
    std::string big;
    for (int i = 0; big.size() < 3 * ColorEditWnd::kFirstBytes; ++i)
        big += "select " + std::to_string(i) + "\n";
    const std::size_t lines = static_cast<std::size_t>(std::count(big.begin(), big.end(), '\n')) + 1;
    const std::wstring path = Load(big);
    EXPECT_TRUE(m_preview->Loading());
    EXPECT_LT(m_preview->LineCount(), lines);
    EXPECT_EQ(m_preview->LineText(0), L"select 0");
    EXPECT_FALSE(m_preview->Note().empty());
    for (int i = 0; i < 500 && m_preview->Loading(); ++i) {
        Pump();
        ::Sleep(5);
    }
    EXPECT_FALSE(m_preview->Loading());
    EXPECT_EQ(m_preview->LineCount(), lines);
    EXPECT_TRUE(m_preview->Note().empty());
    // A script that another program saves while it is being read: the save
    // succeeds (the preview shares its file), and what was read is shown.
    EXPECT_EQ(m_preview->LoadFile(path), 1);
    EXPECT_TRUE(m_preview->Loading());
    HANDLE h =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(h, "select 'short'", 14, &written, nullptr);
    ::CloseHandle(h);
    m_preview->FinishLoading();
    EXPECT_FALSE(m_preview->Loading());
    EXPECT_GE(m_preview->LineCount(), 1u);
    EXPECT_EQ(m_preview->LineText(0), L"select 0");
    // A new load ends the one before.
    EXPECT_EQ(m_preview->LoadFile(path), 1);
    EXPECT_FALSE(m_preview->Loading());
    EXPECT_EQ(m_preview->LineCount(), 1u);
    EXPECT_EQ(m_preview->LineText(0), L"select 'short'");
}

TEST_F(PreviewTest, ColoursAResumedBlockCommentFarDown) {
    std::string text = "/* a comment that opens here\n";
    for (int i = 0; i < 5000; ++i) text += "SELECT inside the comment\n";
    text += "*/ SELECT 1\n";
    Load(text);
    HWND w = m_preview->Hwnd();
    Press(w, VK_END, true);
    EXPECT_GT(m_preview->FirstVisibleLine(), 4900u);
    const Snapshot s = Capture(w);
    // Comment lines are green; only the last line's keyword is blue.
    EXPECT_GT(s.Count(RGB(0, 128, 0)), 100);
    const int blue = s.Count(RGB(0, 0, 255));
    EXPECT_GT(blue, 0);
    EXPECT_LT(blue, s.Count(RGB(0, 128, 0)) / 10);
}

TEST_F(PreviewTest, KeyboardWheelAndScrollBarMoveTheView) {
    std::string text;
    for (int i = 0; i < 1000; ++i) text += "line " + std::to_string(i) + "\r\n";
    Load(text);
    HWND w = m_preview->Hwnd();
    Press(w, VK_NEXT);
    const std::size_t page = m_preview->FirstVisibleLine();
    EXPECT_GT(page, 5u);
    Press(w, VK_PRIOR);
    EXPECT_EQ(m_preview->FirstVisibleLine(), 0u);
    Press(w, VK_END, true);
    EXPECT_EQ(m_preview->Caret().line, 1000u);
    EXPECT_GT(m_preview->FirstVisibleLine(), 900u);
    Press(w, VK_HOME, true);
    EXPECT_EQ(m_preview->FirstVisibleLine(), 0u);
    Press(w, VK_DOWN);
    Press(w, VK_END);
    EXPECT_EQ(m_preview->Caret().line, 1u);
    EXPECT_EQ(m_preview->Caret().unit, 6u);
    Press(w, VK_RIGHT);
    EXPECT_EQ(m_preview->Caret().line, 2u);
    EXPECT_EQ(m_preview->Caret().unit, 0u);
    Press(w, VK_LEFT);
    EXPECT_EQ(m_preview->Caret().line, 1u);
    ::SendMessageW(w, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
    EXPECT_EQ(m_preview->FirstVisibleLine(), 3u);
    ::SendMessageW(w, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA * 2), 0);
    EXPECT_EQ(m_preview->FirstVisibleLine(), 0u);
    ::SendMessageW(w, WM_VSCROLL, SB_PAGEDOWN, 0);
    EXPECT_EQ(m_preview->FirstVisibleLine(), page);
    ::SendMessageW(w, WM_VSCROLL, SB_BOTTOM, 0);
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    ::GetScrollInfo(w, SB_VERT, &si);
    EXPECT_EQ(static_cast<std::size_t>(si.nPos), m_preview->FirstVisibleLine());
    EXPECT_EQ(si.nMax, 1000);
}

TEST_F(PreviewTest, SelectAndCopy) {
    Load("SELECT a,\r\n\tb\r\nFROM t");
    HWND w = m_preview->Hwnd();
    Press(w, 'A', true);
    EXPECT_EQ(m_preview->SelectedText(), L"SELECT a,\r\n\tb\r\nFROM t");
    Press(w, 'C', true);
    ASSERT_TRUE(::OpenClipboard(w));
    HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(::GlobalLock(data))), L"SELECT a,\r\n\tb\r\nFROM t");
    ::GlobalUnlock(data);
    ::CloseClipboard();
    // Shift with the arrows extends from the caret.
    Press(w, VK_HOME, true);
    Press(w, VK_RIGHT, false, true);
    Press(w, VK_RIGHT, false, true);
    EXPECT_EQ(m_preview->SelectedText(), L"SE");
    // A drag with the mouse from the start of the text to the right of the third line.
    RECT rc{};
    ::GetClientRect(w, &rc);
    ::SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1));
    const ColorEditWnd::Pos start = m_preview->Caret();
    EXPECT_EQ(start.line, 0u);
    EXPECT_EQ(start.unit, 0u);
    ::SendMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(rc.right - 2, 40));
    ::SendMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(rc.right - 2, 40));
    EXPECT_GE(m_preview->Caret().line, 1u);
    EXPECT_EQ(m_preview->SelectedText().substr(0, 11), L"SELECT a,\r\n");
    // Nothing selected: nothing to copy.
    Press(w, VK_HOME, true);
    EXPECT_FALSE(m_preview->Copy());
}

TEST_F(PreviewTest, WordSelectionShiftClickAndHorizontalScrolling) {
    Load("SELECT customer_name FROM t -- " + std::string(400, 'x'));
    HWND w = m_preview->Hwnd();
    // A double click on the second word selects it.
    ::SendMessageW(w, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(60, 2));
    EXPECT_EQ(m_preview->SelectedText(), L"customer_name");
    // Shift and a click extend from the anchor.
    ::SendMessageW(w, WM_LBUTTONUP, 0, 0);
    ::SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(1, 2));
    ::SendMessageW(w, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(m_preview->SelectedText(), L"SELECT ");
    // End goes to the end of the long line and scrolls to show it.
    Press(w, VK_END);
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    ::GetScrollInfo(w, SB_HORZ, &si);
    EXPECT_GT(si.nPos, 1000);
    EXPECT_GE(si.nMax, si.nPos + static_cast<int>(si.nPage) - 1);
    ::SendMessageW(w, WM_HSCROLL, SB_LEFT, 0);
    ::GetScrollInfo(w, SB_HORZ, &si);
    EXPECT_EQ(si.nPos, 0);
}

TEST_F(PreviewTest, LoadTextShowsTextAndEmptyTextShowsNothing) {
    m_preview->LoadText(L"one\ntwo\nthree\nfour", 2);
    EXPECT_EQ(m_preview->LineCount(), 4u);
    EXPECT_EQ(m_preview->LineText(2), L"three");
    // Its window text is what is on screen.
    wchar_t text[64] = {};
    EXPECT_EQ(::GetWindowTextW(m_preview->Hwnd(), text, 64), 21);
    EXPECT_STREQ(text, L"one\r\ntwo\r\nthree\r\nfour");
    EXPECT_EQ(::GetWindowTextW(m_preview->Hwnd(), text, 4), 3);
    EXPECT_STREQ(text, L"one");
    m_preview->LoadText(L"", 0);
    EXPECT_EQ(m_preview->LineCount(), 1u);
    EXPECT_EQ(m_preview->LineText(0), L"");
    EXPECT_EQ(::GetWindowTextLengthW(m_preview->Hwnd()), 0);
    Capture(m_preview->Hwnd());
    EXPECT_EQ(m_preview->LinesPaintedLast(), 1u);
}

// Copy gives the text as it is in the file; a selection of nothing but the
// seam of a line cut for length copies nothing and says nothing.
TEST_F(PreviewTest, CopyGivesTheFileTextAndTheSeamNothing) {
    Load(std::string("a\x01\tb\rc\nd\r\n", 10) + std::string(5000, 'x'));
    HWND w = m_preview->Hwnd();
    EXPECT_EQ(m_preview->LineText(0), L"a\u00b7\tb");
    Press(w, 'A', true);
    Press(w, 'C', true);
    ASSERT_TRUE(::OpenClipboard(w));
    HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(::GlobalLock(data))),
              L"a\x01\tb\rc\nd\r\n" + std::wstring(5000, L'x'));
    ::GlobalUnlock(data);
    ::CloseClipboard();
    ASSERT_GT(m_preview->LineCount(), 4u);
    const std::size_t cut = m_preview->LineText(3).size();
    m_preview->SetSelection({3, cut}, {4, 0});
    EXPECT_FALSE(m_preview->Copy());
    EXPECT_TRUE(Boxes().empty());
}

// Types a key into the focused window through this thread's message loop,
// with the modifiers held while it is handled.
void Type(UINT vk, bool ctrl = false, bool shift = false) {
    BYTE state[256] = {};
    ::GetKeyboardState(state);
    state[VK_CONTROL] = ctrl ? 0x80 : 0;
    state[VK_SHIFT] = shift ? 0x80 : 0;
    ::SetKeyboardState(state);
    HWND focus = ::GetFocus();
    const LPARAM scan = static_cast<LPARAM>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
    ::PostMessageW(focus, WM_KEYDOWN, vk, 1 | scan);
    ::PostMessageW(focus, WM_KEYUP, vk, 1 | scan | 0xC0000000);
    MSG m;
    while (::PeekMessageW(&m, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
        ::TranslateMessage(&m);
        ::DispatchMessageW(&m);
    }
    state[VK_CONTROL] = state[VK_SHIFT] = 0;
    ::SetKeyboardState(state);
}

std::wstring ClipboardText(HWND owner) {
    std::wstring text;
    if (!::OpenClipboard(owner)) return L"(clipboard busy)";
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const wchar_t*>(::GlobalLock(data));
        ::GlobalUnlock(data);
    }
    ::CloseClipboard();
    return text;
}

// A copy of tens of megabytes is built while the window goes on answering,
// shows its progress and ends on the clipboard exactly; a newer copy or
// another file gives it up.
TEST_F(PreviewTest, ALargeCopyGoesOnInTheBackgroundAndANewerOneReplacesIt) {
    std::string big;
    for (int i = 0; big.size() < (24u << 20); ++i)
        big += "select " + std::to_string(i) + (i % 3 ? "\r\n" : i % 5 ? "\n" : "\x01\t\r");
    std::wstring expected(big.begin(), big.end());
    Load(big);
    HWND w = m_preview->Hwnd();
    ::SetFocus(w);
    ASSERT_EQ(::GetFocus(), w);
    auto copyDone = [&] {
        // One message at a time, to see the progress between slices.
        std::vector<std::wstring> seen;
        MSG msg;
        for (int i = 0; i < 100000 && m_preview->Copying(); ++i) {
            if (seen.empty() || seen.back() != m_preview->Progress()) seen.push_back(m_preview->Progress());
            if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ::Sleep(1);
                continue;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        EXPECT_FALSE(m_preview->Copying());
        EXPECT_TRUE(m_preview->Progress().empty());
        return seen.size();
    };
    // Everything selected and copied while the file is still being read:
    // what is copied is the whole file, even after the caret has moved on.
    ASSERT_TRUE(m_preview->Loading());
    Type('A', true);
    Type('C', true);
    Type(VK_HOME, true);
    EXPECT_TRUE(m_preview->Copying());
    copyDone();
    ASSERT_FALSE(m_preview->Loading());
    EXPECT_TRUE(ClipboardText(w) == expected) << ClipboardText(w).size() << " of " << expected.size();
    // A newer copy replaces one under way, and a small one is done at once.
    Type('A', true);
    Type('C', true);
    ASSERT_TRUE(m_preview->Copying());
    Type(VK_HOME, true);
    Type(VK_END, false, true);
    Type('C', true);
    EXPECT_FALSE(m_preview->Copying());
    EXPECT_EQ(ClipboardText(w), L"select 0\x01\t");
    for (int i = 0; i < 20; ++i) Pump();
    EXPECT_EQ(ClipboardText(w), L"select 0\x01\t");
    // In steps with the progress shown; the text stays on the clipboard
    // after the window has gone.
    Type('A', true);
    Type('C', true);
    EXPECT_TRUE(m_preview->Copying());
    EXPECT_NE(m_preview->Progress().find(L" %"), std::wstring::npos);
    const COLORREF note = m_preview->RoleColor(ColorEditWnd::ColorRole::Note);
    const int drawn = Capture(w).Count(note);
    EXPECT_GE(copyDone(), 2u);
    EXPECT_GT(drawn, Capture(w).Count(note) + 20);
    m_preview.reset();
    EXPECT_TRUE(ClipboardText(m_host.Hwnd()) == expected);
    // Another text gives up a copy under way.
    m_preview = std::make_unique<ColorEditWnd>(&m_host, RECT{0, 0, 600, 300}, 1040, 4, 90, L"Courier New");
    m_preview->SetFirstWait(10000);
    m_preview->LoadText(expected, 0);
    ::SetFocus(m_preview->Hwnd());
    Type('A', true);
    Type('C', true);
    ASSERT_TRUE(m_preview->Copying());
    Load("select 1");
    EXPECT_FALSE(m_preview->Copying());
    for (int i = 0; i < 20; ++i) Pump();
    EXPECT_TRUE(ClipboardText(m_host.Hwnd()) == expected);
}

// When another window takes the mouse, the drag is over.
TEST_F(PreviewTest, LosingTheCaptureEndsTheDrag) {
    Load("select 1\nselect 2\nselect 3\n");
    HWND w = m_preview->Hwnd();
    ::SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1));
    EXPECT_EQ(::GetCapture(), w);
    ::SetCapture(m_host.Hwnd());
    ::SendMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(60, 25));
    EXPECT_EQ(m_preview->Caret(), (ColorEditWnd::Pos{0, 0}));
    EXPECT_TRUE(m_preview->SelectedText().empty());
    ::ReleaseCapture();
}

// In a dark scheme the token colours are made readable on the window colour,
// and a change of colours while running is followed.
TEST_F(PreviewTest, TokenColoursStayReadableInADarkScheme) {
    const int elements[] = {COLOR_WINDOW, COLOR_WINDOWTEXT};
    const COLORREF saved[] = {::GetSysColor(COLOR_WINDOW), ::GetSysColor(COLOR_WINDOWTEXT)};
    const COLORREF dark[] = {RGB(0, 0, 0), RGB(255, 255, 255)};
    Load("SELECT 'text' -- comment\n");
    ASSERT_TRUE(::SetSysColors(2, elements, dark));
    ::SendMessageW(m_preview->Hwnd(), WM_SYSCOLORCHANGE, 0, 0);
    const Snapshot s = Capture(m_preview->Hwnd());
    ::SetSysColors(2, elements, saved);
    using Role = ColorEditWnd::ColorRole;
    for (Role role : {Role::Keyword, Role::String, Role::Comment}) {
        const COLORREF c = m_preview->RoleColor(role);
        const auto lum = [](COLORREF x) {
            return 0.2126 * GetRValue(x) + 0.7152 * GetGValue(x) + 0.0722 * GetBValue(x);
        };
        EXPECT_GT(lum(c), 100.0) << static_cast<int>(role);
        EXPECT_GT(s.Count(c), 5) << static_cast<int>(role);
    }
    EXPECT_EQ(s.Count(RGB(0, 0, 255)), 0);
    ::SendMessageW(m_preview->Hwnd(), WM_SYSCOLORCHANGE, 0, 0);
    EXPECT_EQ(m_preview->RoleColor(Role::Keyword), RGB(0, 0, 255));
}

// Going to the end of a file still being read, or selecting all of it, does
// not read the rest at once: it happens when the reading in steps gets there.
// The encoding is right from the first screen.
TEST_F(PreviewTest, EndAndSelectAllWaitForTheReadingInSteps) {
    std::string big = "caf\xE9\n";
    for (int i = 0; big.size() < 3 * ColorEditWnd::kFirstBytes; ++i)
        big += "select " + std::to_string(i) + "\n";
    Load(big);
    ASSERT_TRUE(m_preview->Loading());
    EXPECT_EQ(m_preview->Encoding(), text::Encoding::Ansi);
    EXPECT_EQ(m_preview->LineText(0), L"caf\u00e9");
    HWND w = m_preview->Hwnd();
    Press(w, VK_END, true);
    EXPECT_TRUE(m_preview->Loading());
    Press(w, 'A', true);
    EXPECT_TRUE(m_preview->Loading());
    for (int i = 0; i < 500 && m_preview->Loading(); ++i) {
        Pump();
        ::Sleep(5);
    }
    ASSERT_FALSE(m_preview->Loading());
    EXPECT_EQ(m_preview->Caret().line, m_preview->LineCount() - 1);
    EXPECT_EQ(m_preview->SelectedText().size(), big.size());
    EXPECT_GT(m_preview->FirstVisibleLine(), 1000u);
}

// A wait for the end is given up when the user goes elsewhere before the
// reading gets there.
TEST_F(PreviewTest, MovingOnCancelsAWaitForTheEnd) {
    std::string big;
    for (int i = 0; big.size() < 3 * ColorEditWnd::kFirstBytes; ++i)
        big += "select " + std::to_string(i) + "\n";
    Load(big);
    ASSERT_TRUE(m_preview->Loading());
    HWND w = m_preview->Hwnd();
    Press(w, VK_END, true);
    Press(w, VK_HOME, true);
    for (int i = 0; i < 500 && m_preview->Loading(); ++i) {
        Pump();
        ::Sleep(5);
    }
    ASSERT_FALSE(m_preview->Loading());
    EXPECT_EQ(m_preview->Caret(), (ColorEditWnd::Pos{0, 0}));
    EXPECT_EQ(m_preview->FirstVisibleLine(), 0u);
}

// Wide characters and combining marks take the room the font gives them; the
// caret, the keys and the mouse use the same places.
TEST_F(PreviewTest, WideCharactersAndMarksAreMeasuredAsDrawn) {
    m_preview->LoadText(L"\u6f22\u5b57ab\ne\u0301x", 0);
    const auto x = [&](std::size_t line, std::size_t unit) { return m_preview->XOf({line, unit}); };
    // The mark takes no room of its own: it sits on its letter.
    EXPECT_EQ(x(1, 1), x(1, 2));
    EXPECT_GT(x(1, 1), 0);
    // A wide character is at least as wide as a narrow one (as wide as the
    // fonts at hand make it).
    EXPECT_GE(x(0, 1), x(0, 3) - x(0, 2));
    HWND w = m_preview->Hwnd();
    for (std::size_t unit : {0u, 1u, 2u, 3u, 4u}) {
        ::SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x(0, unit) + 4, 2));
        ::SendMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(x(0, unit) + 4, 2));
        EXPECT_EQ(m_preview->Caret(), (ColorEditWnd::Pos{0, unit}));
    }
    Press(w, VK_DOWN);
    Press(w, VK_HOME);
    Press(w, VK_RIGHT);
    EXPECT_EQ(m_preview->Caret().unit, 2u);
    Press(w, VK_LEFT);
    EXPECT_EQ(m_preview->Caret().unit, 0u);
}

// The preview's text on a screen of any scale, and after a move to a monitor
// of another: the font keeps its point size in the window's own DPI, and the
// lines are laid out again. (Named Readable so that it runs again in the
// prefixes at 144 and 192 dpi.)
class ReadablePreview : public WinTest {};

TEST_F(ReadablePreview, TheScriptFontFollowsTheWindowsDpi) {
    test::PageHost host;
    ColorEditWnd preview(&host, RECT{0, 0, 600, 300}, 1040, 4, 90, L"Courier New");
    std::wstring text;
    for (int i = 0; i < 100; ++i) text += L"SELECT name FROM t WHERE x = " + std::to_wstring(i) + L"\n";
    preview.LoadText(text, 0);
    auto fontHeight = [&] {
        LOGFONTW lf{};
        const auto font = reinterpret_cast<HFONT>(::SendMessageW(preview.Hwnd(), WM_GETFONT, 0, 0));
        return font && ::GetObjectW(font, sizeof lf, &lf) ? lf.lfHeight : 0;
    };
    const UINT dpi = ui::DpiOf(preview.Hwnd());
    if (const char* expected = std::getenv("QUAYLET_TEST_DPI")) {
        EXPECT_EQ(dpi, static_cast<UINT>(std::atoi(expected)));
    }
    EXPECT_EQ(fontHeight(), -::MulDiv(90, static_cast<int>(dpi), 720));
    const int line = preview.LineHeight();
    const int x = preview.XOf({0, 6});
    EXPECT_GT(line, 0);

    // Moved to a monitor at twice the scale, and back.
    ::SendMessageW(preview.Hwnd(), WM_DPICHANGED, MAKEWPARAM(2 * dpi, 2 * dpi), 0);
    EXPECT_EQ(fontHeight(), -::MulDiv(90, static_cast<int>(2 * dpi), 720));
    EXPECT_NEAR(preview.LineHeight(), 2 * line, 2);
    EXPECT_GT(preview.XOf({0, 6}), x * 17 / 10);
    EXPECT_LT(preview.XOf({0, 6}), x * 23 / 10 + 2);
    // The scroll bar counts the rows that fit now.
    SCROLLINFO si{sizeof si, SIF_PAGE};
    ::GetScrollInfo(preview.Hwnd(), SB_VERT, &si);
    EXPECT_EQ(static_cast<int>(si.nPage), preview.ClientRect().bottom / preview.LineHeight());
    ::SendMessageW(preview.Hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), 0);
    EXPECT_EQ(fontHeight(), -::MulDiv(90, static_cast<int>(dpi), 720));
    EXPECT_EQ(preview.LineHeight(), line);
    EXPECT_EQ(preview.XOf({0, 6}), x);
}

}  // namespace

// Another program holding the clipboard open for a moment does not lose the
// copy; one that keeps it open is reported instead of the copy vanishing.
TEST_F(PreviewTest, ABusyClipboardIsWaitedForAndOtherwiseReported) {
    Load("select 1;\r\nselect 2;\n");
    ::SetFocus(m_preview->Hwnd());
    auto holdClipboard = [](HANDLE opened, HANDLE release) {
        return std::thread([=] {
            const BOOL open = ::OpenClipboard(nullptr);
            ::SetEvent(opened);
            ::WaitForSingleObject(release, INFINITE);
            if (open) ::CloseClipboard();
        });
    };
    auto waitForCopy = [&] {
        for (int i = 0; i < 2000 && m_preview->Copying(); ++i) {
            Pump();
            ::Sleep(2);
        }
    };
    const HANDLE opened = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder = holdClipboard(opened, release);
    ::WaitForSingleObject(opened, INFINITE);
    Type('A', true);
    Type('C', true);
    EXPECT_TRUE(m_preview->Copying());  // waiting for the clipboard
    ::SetEvent(release);
    holder.join();
    waitForCopy();
    EXPECT_EQ(ClipboardText(m_host.Hwnd()), L"select 1;\r\nselect 2;\n");
    EXPECT_TRUE(Boxes().empty());

    ::ResetEvent(opened);
    ::ResetEvent(release);
    holder = holdClipboard(opened, release);
    ::WaitForSingleObject(opened, INFINITE);
    Type(VK_HOME, true);
    Type(VK_END, false, true);
    Type('C', true);
    waitForCopy();
    ::SetEvent(release);
    holder.join();
    EXPECT_FALSE(m_preview->Copying());
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, L"The clipboard is in use by another program. Try copying again.");
    EXPECT_EQ(ClipboardText(m_host.Hwnd()), L"select 1;\r\nselect 2;\n");  // the older copy stays
    ::CloseHandle(opened);
    ::CloseHandle(release);
}
