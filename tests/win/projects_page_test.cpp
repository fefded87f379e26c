// The recent projects page in-process under Wine: discovery against the real
// registry (redirected per test) and real files read with the system's
// profile-string rules, a real list view with its columns and images, the
// settings store, and opening rows through the shell.
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/CSettings.h"
#include "pages/projects/PageProjects.h"
#include "platform/framework/Process.h"
#include "platform/os/Os.h"
#include "resources/resource.h"
#include "tests/win/PageTest.h"

namespace {

const wchar_t kQuayletSettings[] = L"Software\\Zerudozuz\\Quaylet\\Settings";

// UTF-16LE with a byte-order mark.
std::string Utf16Bom(const std::wstring& w) {
    std::string s = "\xFF\xFE";
    for (wchar_t c : w) {
        s.push_back(static_cast<char>(c & 0xFF));
        s.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    return s;
}

class ProjectsPageTest : public PageTest<PageProjects, CSettings> {
protected:
    PageProjects& OpenPage() {
        CreatePage().Activate();
        return *m_page;
    }
    void ClosePage() {
        m_page.reset();
        ReopenSettings();
    }
    static std::wstring Key(int product) { return ProductSettingsKey(product); }

    std::vector<std::wstring> Paths() const {
        std::vector<std::wstring> paths;
        const CDBListCtrl& list = m_page->List();
        for (int i = 0; i < list.GetItemCount(); ++i)
            paths.push_back(list.GetItemText(i, PC_FOLDER) + list.GetItemText(i, PC_PROJECT));
        return paths;
    }
    std::wstring Cell(int row, int column) const { return m_page->List().GetItemText(row, column); }

    void SendDblClk() {
        NMITEMACTIVATE n{};
        n.hdr.hwndFrom = m_page->List().Hwnd();
        n.hdr.idFrom = IDC_PROJECT_LIST;
        n.hdr.code = NM_DBLCLK;
        n.iItem = -1;
        ::SendMessageW(m_page->Hwnd(), WM_NOTIFY, IDC_PROJECT_LIST, reinterpret_cast<LPARAM>(&n));
    }
};

using PathList = std::vector<std::wstring>;

TEST_F(ProjectsPageTest, TemplateColumnsStylesAndImages) {
    PageProjects& page = OpenPage();
    wchar_t caption[128] = {};
    HWND label = ::FindWindowExW(page.Hwnd(), nullptr, L"Static", nullptr);
    ::GetWindowTextW(label, caption, 128);
    EXPECT_STREQ(caption, L"Recent Project Files, doubleclick to open  with associated tool");

    const CDBListCtrl& list = page.List();
    ASSERT_EQ(list.Hwnd(), page.Item(IDC_PROJECT_LIST));
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(list.Hwnd(), GWL_STYLE));
    EXPECT_EQ(style & LVS_TYPEMASK, static_cast<DWORD>(LVS_REPORT));
    for (DWORD bit : {DWORD{LVS_SINGLESEL}, DWORD{LVS_SHOWSELALWAYS}, DWORD{LVS_NOSORTHEADER},
                      DWORD{WS_TABSTOP}, DWORD{WS_VISIBLE}})
        EXPECT_TRUE(style & bit) << std::hex << bit;
    // The control turns its border into a client edge.
    EXPECT_TRUE((style & WS_BORDER) || (::GetWindowLongPtrW(list.Hwnd(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
    EXPECT_EQ(list.GetExtendedStyle() & 0x21u, 0x21u);

    const wchar_t* titles[] = {L"Project", L"Folder", L"Last Update", L" ", L"Author", L"Note"};
    const int formats[] = {LVCFMT_LEFT, LVCFMT_LEFT, LVCFMT_RIGHT, LVCFMT_LEFT, LVCFMT_LEFT, LVCFMT_LEFT};
    const int widths[] = {135, 165, 75, 55, 80, 135};
    ASSERT_EQ(list.GetColumnCount(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(list.GetColumnTitle(i), titles[i]);
        EXPECT_EQ(list.GetColumnFormat(i), formats[i]) << i;
        EXPECT_EQ(list.GetColumnWidth(i), widths[i]) << i;
    }

    HIMAGELIST images = list.GetImageList(LVSIL_SMALL);
    ASSERT_NE(images, nullptr);
    EXPECT_EQ(::ImageList_GetImageCount(images), 21);
    int cx = 0, cy = 0;
    ::ImageList_GetIconSize(images, &cx, &cy);
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 16);
    EXPECT_EQ(list.GetItemCount(), 0);
    EXPECT_EQ(page.Discovery().RowCount(), 0);

    // Enter and Esc in the page do not end it.
    ::SendMessageW(page.Hwnd(), WM_COMMAND, IDOK, 0);
    ::SendMessageW(page.Hwnd(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(::IsWindow(page.Hwnd()));
}

TEST_F(ProjectsPageTest, ImagesAreDistinctAndWhiteIsTransparent) {
    PageProjects& page = OpenPage();
    HIMAGELIST images = page.List().GetImageList(LVSIL_SMALL);
    ASSERT_NE(images, nullptr);
    // Draw every image onto magenta: white pixels must let it through, and no
    // two products may share a picture (identifiers without a product may).
    std::vector<std::vector<std::uint32_t>> drawn;
    int transparentTotal = 0;
    for (int i = 0; i < 21; ++i) {
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 16, -16, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HDC dc = ::CreateCompatibleDC(nullptr);
        HBITMAP bmp = ::CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = ::SelectObject(dc, bmp);
        HBRUSH magenta = ::CreateSolidBrush(RGB(255, 0, 255));
        RECT all{0, 0, 16, 16};
        ::FillRect(dc, &all, magenta);
        ::DeleteObject(magenta);
        ::ImageList_Draw(images, i, dc, 0, 0, ILD_TRANSPARENT);
        ::GdiFlush();
        const auto* p = static_cast<const std::uint32_t*>(bits);
        drawn.emplace_back(p, p + 256);
        for (std::uint32_t px : drawn.back()) transparentTotal += (px & 0xFFFFFF) == 0xFF00FF;
        for (std::uint32_t px : drawn.back()) EXPECT_NE(px & 0xFFFFFF, 0xFFFFFFu) << "image " << i;
        ::SelectObject(dc, old);
        ::DeleteObject(bmp);
        ::DeleteDC(dc);
    }
    EXPECT_GT(transparentTotal, 0);
    for (int a = 0; a < 21; ++a)
        for (int b = a + 1; b < 21; ++b)
            if (catalogue::FindProduct(a) && catalogue::FindProduct(b)) {
                EXPECT_NE(drawn[a], drawn[b]) << a << " and " << b;
            }
}

TEST_F(ProjectsPageTest, RowsFromRegistryAndFilesInDiscoveryOrder) {
    const std::wstring a =
        WriteFile(L"rf\\Sales.RFP", "[TABLES]\r\n  author =  Jane Roe  \r\ndescription=Q4 fill\r\n");
    const std::wstring doc = WriteFile(L"doc\\letter.docpr", "[Common]\r\nAuthor=Dee\r\nName=Letter\r\n");
    const std::wstring txt = WriteFile(L"sd\\schema.txt.sdif", "[Project]\r\nAuthor=Sam\r\n");
    SetString(Key(2), L"Profile3", a);
    SetString(Key(20), L"LastFile", doc);
    SetString(Key(7), L"LastFile", txt.substr(0, txt.size() - 5));         // the stored path ends in .txt
    SetString(Key(7), L"Profile0", TempDir() + L"\\SD\\SCHEMA.TXT.SDIF");  // listed already, in other case
    SetString(Key(5), L"PackageFile0", TempDir() + L"\\missing.lhp");

    // Set a known last-write time: 5 March 2024, 12:00 UTC.
    HANDLE h =
        ::CreateFileW(a.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ULARGE_INTEGER t;
    t.QuadPart = (1709640000ULL + 11644473600ULL) * 10000000ULL;
    FILETIME ft{t.LowPart, t.HighPart};
    ASSERT_TRUE(::SetFileTime(h, nullptr, nullptr, &ft));
    ::CloseHandle(h);

    PageProjects& page = OpenPage();
    EXPECT_EQ(Paths(), (PathList{a, txt, doc}));
    EXPECT_EQ(page.Discovery().RowCount(), 3);
    EXPECT_EQ(Cell(0, PC_PROJECT), L"Sales.RFP");
    EXPECT_EQ(Cell(0, PC_FOLDER), TempDir() + L"\\rf\\");
    EXPECT_EQ(Cell(0, PC_DATE), L"05-Mar-2024");
    EXPECT_NE(Cell(0, PC_TIME).find(L':'), std::wstring::npos);
    EXPECT_EQ(Cell(0, PC_AUTHOR), L"Jane Roe");
    EXPECT_EQ(Cell(0, PC_NOTE), L"Q4 fill");
    EXPECT_EQ(Cell(1, PC_AUTHOR), L"Sam");
    EXPECT_EQ(page.List().GetItemImage(0), 2);
    EXPECT_EQ(page.List().GetItemImage(1), 7);
    EXPECT_EQ(page.List().GetItemImage(2), 20);
    EXPECT_EQ(page.List().GetItemData(2), 0);
}

TEST_F(ProjectsPageTest, DescriptorsReadWithTheSystemsProfileRules) {
    const std::wstring withEmpty =
        WriteFile(L"ls\\with.lsx", "[target]\r\nAuthor=Not this\r\n = Ann Author \r\nTITLE=Monthly\r\n");
    const std::wstring withoutEmpty =
        WriteFile(L"ls\\without.lsx", "[Target]\r\nAuthor=Not this\r\nTitle=Weekly\r\n");
    const std::wstring unicode =
        WriteFile(L"ls\\unicode.lsx", Utf16Bom(L"[Target]\r\n=Zoë Ünal\r\nTitle=Ωmega\r\n"));
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary.push_back(static_cast<char>((i * 7919) & 0xFF));
    const std::wstring bin = WriteFile(L"ls\\binary.lsx", binary);
    // The largest descriptor that is read, its value at the very end; one
    // byte more and the file is listed unread.
    const std::string tail = "\r\n[Target]\r\n=Big\r\nTitle=" + std::string(400, 'T') + "\r\n";
    std::string large(RecentDiscovery::kMaxDescriptorBytes - tail.size(), 'x');
    for (std::size_t i = 80; i < large.size(); i += 81) large[i] = '\n';
    large += tail;
    const std::wstring big = WriteFile(L"ls\\large.lsx", large);
    const std::wstring over = WriteFile(L"ls\\over.lsx", large + " ");
    const std::wstring empty = WriteFile(L"ls\\empty.lsx", "");
    const std::wstring* files[] = {&withEmpty, &withoutEmpty, &unicode, &bin, &big, &empty, &over};
    for (int i = 0; i < 7; ++i) SetString(Key(1), L"ReportFile" + std::to_wstring(i), *files[i]);

    OpenPage();
    ASSERT_EQ(Paths(), (PathList{withEmpty, withoutEmpty, unicode, bin, big, empty, over}));
    EXPECT_EQ(Cell(0, PC_AUTHOR), L"Ann Author");
    EXPECT_EQ(Cell(0, PC_NOTE), L"Monthly");
    EXPECT_EQ(Cell(1, PC_AUTHOR), L"");
    EXPECT_EQ(Cell(1, PC_NOTE), L"Weekly");
    EXPECT_EQ(Cell(2, PC_AUTHOR), L"Zoë Ünal");
    EXPECT_EQ(Cell(2, PC_NOTE), L"Ωmega");
    EXPECT_EQ(Cell(3, PC_AUTHOR), L"");
    EXPECT_EQ(Cell(4, PC_AUTHOR), L"Big");
    EXPECT_EQ(Cell(4, PC_NOTE).size(), 259u);  // a longer value is cut
    EXPECT_EQ(Cell(5, PC_NOTE), L"");
    EXPECT_EQ(Cell(6, PC_AUTHOR), L"");
    EXPECT_EQ(Cell(6, PC_NOTE), L"");
    EXPECT_FALSE(Cell(6, PC_DATE).empty());
}

// Workers read descriptors themselves (the system's profile call reads every
// file of the process under one lock); what they find is what that call finds,
// over texts of every shape in each encoding it reads.
TEST_F(ProjectsPageTest, DescriptorReadsAgreeWithTheSystemsProfileCall) {
    std::mt19937 random(7);
    const char* const pieces[] = {"[Tables]",           "[ tables ]",    "[Other]",     "Author=Ann",
                                  " author = Bea Lee ", "AUTHOR=\"q\"",  "=empty",      ";Author=comment",
                                  "Note=caf\xE9",       "Note = \"half", "noise",       "",
                                  "Description=x=y",    "  [Tables]  ",  "Note=\"a\" b"};
    const std::vector<std::wstring> keys = {L"Author", L"Note", L"", L"Description", L"Missing"};
    for (int round = 0; round < 120; ++round) {
        std::string ansi;
        for (int l = static_cast<int>(random() % 12); l >= 0; --l)
            ansi += std::string(pieces[random() % std::size(pieces)]) + (random() % 2 ? "\r\n" : "\n");
        std::wstring wide(ansi.size(), L'\0');
        wide.resize(static_cast<std::size_t>(::MultiByteToWideChar(CP_ACP, 0, ansi.data(),
                                                                   static_cast<int>(ansi.size()), wide.data(),
                                                                   static_cast<int>(wide.size()))));
        std::string bytes = ansi;
        if (round % 3 == 1) bytes = Utf16Bom(wide);
        if (round % 3 == 2) {
            bytes = "\xEF\xBB\xBF";
            for (wchar_t c : wide) {
                char out[4];
                const int n = ::WideCharToMultiByte(CP_UTF8, 0, &c, 1, out, 4, nullptr, nullptr);
                bytes.append(out, static_cast<std::size_t>(n));
            }
        }
        const std::wstring path = WriteFile(L"d" + std::to_wstring(round) + L".ini", bytes);
        for (const wchar_t* section : {L"Tables", L"Other"}) {
            const std::vector<std::wstring> mine = os::ProfileStringsOf(path, section, keys, 65536);
            for (std::size_t k = 0; k < keys.size(); ++k) {
                wchar_t system[260] = {};
                ::GetPrivateProfileStringW(section, keys[k].c_str(), L"", system, 260, path.c_str());
                EXPECT_EQ(mine[k], system)
                    << "round " << round << " [" << section << "] " << keys[k] << " in:\n"
                    << ansi;
            }
        }
    }
}

TEST_F(ProjectsPageTest, RegistryValuesOfEveryShapeNeverStopDiscovery) {
    const std::wstring key = Key(2);
    const std::wstring typed = WriteFile(L"v\\binary.rfp", "");
    const std::wstring open = WriteFile(L"v\\open.rfp", "");
    SetRaw(key, L"Profile0", REG_BINARY, typed.c_str(), static_cast<DWORD>((typed.size() + 1) * 2));
    SetRaw(key, L"Profile1", REG_SZ, open.c_str(), static_cast<DWORD>(open.size() * 2));  // no NUL
    SetDword(key, L"Profile2", 0x00410041);
    SetString(key, L"Profile3", L"");
    MakeDir(L"v\\folder.rfp");
    SetString(key, L"Profile4", TempDir() + L"\\v\\folder.rfp");
    SetString(key, L"Profile5", TempDir() + L"\\v\\folder");  // no dot: a folder as it is

    // Paths of exactly 259 and 260 characters: the first fits into the 260
    // characters offered, the second does not and is skipped.
    const std::size_t base = TempDir().size() + 1;
    const std::wstring name259 = std::wstring(259 - base - 4, L'a') + L".rfp";
    const std::wstring at259 = WriteFile(name259, "");
    ASSERT_EQ(at259.size(), 259u);
    ASSERT_NE(::GetFileAttributesW(at259.c_str()), INVALID_FILE_ATTRIBUTES);
    SetString(key, L"Profile6", at259);
    SetString(key, L"Profile7", at259.substr(0, at259.size() - 4) + L"b.rfp");
    // The single value of the next product: its key exists, its value is too long.
    SetString(Key(5), L"LastFile", TempDir() + L"\\" + std::wstring(300, L'c') + L".lhp");
    const std::wstring last = WriteFile(L"v\\last.lhp", "");
    SetString(Key(5), L"PackageFile9", last);

    OpenPage();
    EXPECT_EQ(Paths(), (PathList{typed, open, at259, last}));
}

TEST_F(ProjectsPageTest, AProjectNamedAgainInAnotherCaseOfAnyScriptIsListedOnce) {
    // Latin Extended-B, Armenian, Georgian and Cyrillic beyond Russian: as
    // the system compares names, each lower-case path names the same file as
    // its upper-case form.
    const std::wstring lower[] = {L"\u01CE\u0219\u0180", L"\u0570\u0561\u0575", L"\u2D00\u2D25",
                                  L"\u0491\u04C2\u0501\u0463"};
    const std::wstring upper[] = {L"\u01CD\u0218\u0243", L"\u0540\u0531\u0545", L"\u10A0\u10C5",
                                  L"\u0490\u04C1\u0500\u0462"};
    PathList expected;
    for (int i = 0; i < 4; ++i) {
        expected.push_back(WriteFile(lower[i] + L"\\p.rfp", ""));
        SetString(Key(2), L"Profile" + std::to_wstring(i), expected.back());
        const std::wstring other = TempDir() + L"\\" + upper[i] + L"\\P.RFP";
        ASSERT_TRUE(os::FileSystem().Exists(other)) << i << ": the system finds the file in either case";
        SetString(Key(2), L"Profile" + std::to_wstring(i + 4), other);
    }
    OpenPage();
    EXPECT_EQ(Paths(), expected);
}

TEST_F(ProjectsPageTest, AValueOfOddLengthKeepsItsLastCharacter) {
    // A writer that counted the text's bytes one short: the last letter's
    // high byte (zero for ASCII) is missing, and the NUL with it.
    const std::wstring path = WriteFile(L"odd\\sales.rfp", "");
    SetRaw(Key(2), L"Profile0", REG_SZ, path.c_str(), static_cast<DWORD>(path.size() * 2 - 1));
    OpenPage();
    EXPECT_EQ(Paths(), PathList{path});
}

TEST_F(ProjectsPageTest, ColumnWidthsSurviveARestart) {
    OpenPage();
    // Whatever width a column can be given comes back, far beyond any screen too.
    const int widths[] = {0, 4097, 300, 32768, 100000, 1 << 24};
    for (int i = 0; i < 6; ++i) {
        LVCOLUMNW col{};
        col.mask = LVCF_WIDTH;
        col.cx = widths[i];
        ASSERT_TRUE(m_page->List().Send(LVM_SETCOLUMNW, i, reinterpret_cast<LPARAM>(&col)));
        ASSERT_EQ(m_page->List().GetColumnWidth(i), widths[i]);
    }
    ClosePage();

    HKEY k = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kQuayletSettings, 0, KEY_READ, &k), ERROR_SUCCESS);
    DWORD value = 0, size = sizeof value, type = 0;
    EXPECT_EQ(::RegQueryValueExW(k, L"ProjColW3", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 300u);
    ::RegCloseKey(k);

    OpenPage();
    for (int i = 0; i < 6; ++i) EXPECT_EQ(m_page->List().GetColumnWidth(i), widths[i]) << i;
}

TEST_F(ProjectsPageTest, WidthsAreStoredWhenTheParentDestroysThePage) {
    OpenPage();
    m_page->List().SetColumnWidth(1, 222);
    // The main window's end destroys its children before it deletes the page objects.
    m_host.DestroyWindow();
    EXPECT_FALSE(::IsWindow(m_page->Hwnd()));
    ClosePage();
    EXPECT_EQ(g_settings->getInt(L"ProjColW2"), 222);
    EXPECT_EQ(g_settings->getInt(L"ProjColW1"), 135);
}

TEST_F(ProjectsPageTest, DoubleClickOnNothingOrOnADeletedFileDoesNothing) {
    OpenPage();
    SendDblClk();  // empty list
    EXPECT_TRUE(Boxes().empty());

    const std::wstring gone = WriteFile(L"d\\gone.shfp", "[Common]\r\nAuthor=X\r\n");
    SetString(Key(19), L"TXLastFile", gone);
    OpenPage();
    ASSERT_EQ(Paths(), (PathList{gone}));
    SendDblClk();  // no selection
    EXPECT_TRUE(Boxes().empty());

    // A real double-click on the row: the list view itself notifies the page.
    // While the file exists its open fails (Sheet Foundry's extension has no
    // association), which shows that the double-click arrives.
    m_page->List().Select(0);
    const RECT r = m_page->List().GetItemRect(0);
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    const auto doubleClick = [&] {
        ::SendMessageW(m_page->List().Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::SendMessageW(m_page->List().Hwnd(), WM_LBUTTONUP, 0, at);
        ::SendMessageW(m_page->List().Hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        ::SendMessageW(m_page->List().Hwnd(), WM_LBUTTONUP, 0, at);
        Pump();
    };
    doubleClick();
    ASSERT_EQ(Boxes().size(), 1u);
    Boxes().clear();

    ASSERT_TRUE(::DeleteFileW(gone.c_str()));
    doubleClick();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(m_page->List().GetItemCount(), 1);
}

TEST_F(ProjectsPageTest, UnassociatedExtensionReportsExecutionFailed) {
    // Sheet Foundry's extension is left without an association everywhere.
    const std::wstring file = WriteFile(L"s\\sheet.shfp", "[Common]\r\nName=Sheet\r\n");
    SetString(Key(19), L"TxProfile0", file);
    OpenPage();
    ASSERT_EQ(Paths(), (PathList{file}));
    m_page->List().Select(0);
    SendDblClk();
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].caption, L"Execution Failed");
    EXPECT_EQ(Boxes()[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
    EXPECT_FALSE(Boxes()[0].text.empty());
    const std::wstring fallback = L"ShellExecute returns 31 for '" + file + L"'";
    if (Boxes()[0].text.rfind(L"ShellExecute returns", 0) == 0) {
        EXPECT_EQ(Boxes()[0].text, fallback);
    }
    EXPECT_TRUE(::IsWindow(m_page->Hwnd()));
}

TEST_F(ProjectsPageTest, HeaderClicksDoNotReorderRows) {
    const std::wstring b = WriteFile(L"h\\b.rfp", "");
    const std::wstring a = WriteFile(L"h\\a.rfp", "");
    SetString(Key(2), L"Profile0", b);
    SetString(Key(2), L"Profile1", a);
    OpenPage();
    HWND header = reinterpret_cast<HWND>(::SendMessageW(m_page->List().Hwnd(), LVM_GETHEADER, 0, 0));
    ASSERT_NE(header, nullptr);
    RECT item{};
    ::SendMessageW(header, HDM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
    const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    for (int i = 0; i < 2; ++i) {
        ::SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::SendMessageW(header, WM_LBUTTONUP, 0, at);
        Pump();
    }
    EXPECT_EQ(Paths(), (PathList{b, a}));
}

}  // namespace

namespace {

// Lets the page's messages (its reads' answers and its timers) through until pred holds or ms pass.
template <class Pred>
bool PumpUntil(Pred pred, DWORD ms) {
    const ULONGLONG end = ::GetTickCount64() + ms;
    MSG msg;
    while (!pred() && ::GetTickCount64() < end) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        ::Sleep(10);
    }
    return pred();
}

void HoldLeftButton(bool down) {
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_LBUTTON] = down ? 0x80 : 0;
    ::SetKeyboardState(keys);
}

TEST_F(ProjectsPageTest, ARefreshMovesNoRowWhileAButtonIsHeldOnTheListAndShowsOnRelease) {
    const std::wstring a = WriteFile(L"a.rfp", "[Tables]\r\nAuthor=A\r\n");
    const std::wstring b = WriteFile(L"b.rfp", "[Tables]\r\nAuthor=B\r\n");
    SetString(Key(2), L"Profile0", a);
    PageProjects& page = OpenPage();
    ASSERT_EQ(Paths(), (PathList{a}));

    // A click in progress: the list tracks it with the button down and the capture.
    HoldLeftButton(true);
    ::SetCapture(page.List().Hwnd());
    SetString(Key(2), L"Profile0", b);
    SetString(Key(2), L"Profile1", a);
    page.Refresh();
    EXPECT_TRUE(SettleReads(page));
    PumpUntil([] { return false; }, 500);
    EXPECT_EQ(Paths(), (PathList{a})) << "no row moves under the pointer";

    HoldLeftButton(false);
    ::ReleaseCapture();
    EXPECT_TRUE(PumpUntil([&] { return Paths() == PathList{b, a}; }, 3000));
    EXPECT_EQ(Cell(0, PC_AUTHOR), L"B");
}

}  // namespace
