// The products page in-process under Wine: real registry values (redirected
// per test), real executables with chosen version resources, real buttons,
// statics, scroll bar and launched processes.
#include <windows.h>

#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "pages/products/CLabel.h"
#include "pages/products/PageProducts.h"
#include "platform/framework/Process.h"
#include "platform/os/Os.h"
#include "resources/resource.h"
#include "tests/PageHost.h"
#include "tests/win/WinTestSupport.h"

namespace {

std::wstring KeyOf(int position) {
    static const wchar_t* const kKeys[] = {
        L"RowFoundry",    L"LoadHammer",      L"LayoutScribe",   L"TransferWorks", L"TriggerWatch",
        L"ContentDiff",   L"StructureDiff",   L"DiagramStudio",  L"MarkupFoundry", L"TextFoundry",
        L"ResultPrinter", L"DocumentFoundry", L"StatementDesk2", L"SheetFoundry"};
    return std::wstring(L"Software\\Zerudozuz\\") + kKeys[position];
}

// The version and the links are as wide as their texts in the font in use;
// where a row places them is their left and top edges.
void ExpectStartsAt(const RECT& r, LONG left, LONG top) {
    EXPECT_EQ(r.left, left);
    EXPECT_EQ(r.top, top);
}

class ProductsPage : public WinTest {
protected:
    void SetUp() override {
        WinTest::SetUp();
        ::SetEnvironmentVariableW(L"QUAYLET_LAUNCH_LOG", nullptr);
        ::SetEnvironmentVariableW(L"QUAYLET_STANDIN_EXIT", nullptr);
    }
    void TearDown() override {
        page.reset();
        ::SetEnvironmentVariableW(L"QUAYLET_LAUNCH_LOG", nullptr);
        ::SetEnvironmentVariableW(L"QUAYLET_STANDIN_EXIT", nullptr);
        WinTest::TearDown();
    }

    // A copy of a test program from the build's demo folder, under a name of the test's own.
    std::wstring Program(const std::wstring& standin, const std::wstring& as) {
        const std::wstring from = test::ProgramFolder() + L"\\demo\\" + standin + L".exe";
        const std::wstring to = TempDir() + L"\\" + as;
        EXPECT_TRUE(::CopyFileW(from.c_str(), to.c_str(), FALSE)) << "missing test program " << standin;
        return to;
    }
    std::wstring Install(int position, const std::wstring& standin) {
        const std::wstring exe = Program(standin, L"p" + std::to_wstring(position) + L".exe");
        SetString(KeyOf(position), L"ExePath", exe);
        return exe;
    }

    void Open() {
        page = std::make_unique<PageProducts>(&host);
        ASSERT_TRUE(page->Create(0, 0));
        page->Activate();
        ASSERT_TRUE(SettleReads(*page));
    }
    // A relayout and what its reads find.
    void Relayout() {
        page->RelayoutRows();
        ASSERT_TRUE(SettleReads(*page));
    }
    const ProductEntry& Entry(int i) const { return page->Entries()[i]; }
    const RowControls* Row(int i) const { return Entry(i).controls.get(); }
    RECT RectOf(HWND child) const { return page->ChildRect(child); }
    void ClickFilter() {
        ::SendMessageW(page->Item(IDC_SHOW_INSTALLED_ONLY), BM_CLICK, 0, 0);
        Pump();
        ASSERT_TRUE(SettleReads(*page));
    }
    // The page's children in z order (creation order).
    std::vector<HWND> Children() const {
        std::vector<HWND> list;
        for (HWND c = ::GetWindow(page->Hwnd(), GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
            list.push_back(c);
        return list;
    }
    int RowsShown() const {
        int n = 0;
        for (int i = 0; i < kProductEntryCount; ++i) n += Row(i) != nullptr;
        return n;
    }

    test::PageHost host{1000, 900};
    std::unique_ptr<PageProducts> page;
};

TEST_F(ProductsPage, StartUpShowsAllFourteenRowsInPageOrder) {
    Install(5, L"test_v1234");
    Open();
    EXPECT_EQ(page->ScrollPos(), 0);
    EXPECT_EQ(page->ContentHeight(), 716);
    EXPECT_EQ(page->ShowInstalledOnly(), 0);
    const int commands[] = {130, 140, 150, 160, 170, 180, 190, 200, 205, 208, 210, 220, 230, 240};
    const wchar_t* const names[] = {
        L"Row Foundry",    L"Load Hammer",      L"Layout Scribe",  L"Transfer Works", L"Trigger Watch",
        L"Content Diff",   L"Structure Diff",   L"Diagram Studio", L"Markup Foundry", L"Text Foundry",
        L"Result Printer", L"Document Foundry", L"Statement Desk", L"Sheet Foundry"};
    for (int i = 0; i < kProductEntryCount; ++i) {
        SCOPED_TRACE(i);
        const int y = 16 + 50 * i;
        ASSERT_NE(Row(i), nullptr);
        const RowControls& r = *Row(i);
        EXPECT_EQ(Entry(i).commandId, commands[i]);
        EXPECT_EQ(Entry(i).name, names[i]);
        EXPECT_EQ(Entry(i).helpPath.substr(Entry(i).helpPath.size() - 5), L"help/");

        HWND icon = r.iconButton->Hwnd();
        EXPECT_EQ(page->Item(commands[i]), icon);
        EXPECT_EQ(test::ClassName(icon), L"Button");
        EXPECT_EQ(test::WindowText(icon), L"NULL");
        const LONG style = ::GetWindowLongW(icon, GWL_STYLE);
        EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_FLAT | BS_ICON),
                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_FLAT | BS_ICON);
        EXPECT_NE(::SendMessageW(icon, BM_GETIMAGE, IMAGE_ICON, 0), 0) << "icon resource " << commands[i];
        EXPECT_RECT_EQ(RectOf(icon), (RECT{8, y, 58, y + 48}));

        EXPECT_EQ(test::WindowText(r.nameLabel->Hwnd()), names[i]);
        EXPECT_TRUE(r.nameLabel->IsBold());
        EXPECT_FALSE(r.nameLabel->IsColour());
        EXPECT_RECT_EQ(RectOf(r.nameLabel->Hwnd()), (RECT{68, y + 2, 428, y + 48}));
        EXPECT_EQ(::GetDlgCtrlID(r.nameLabel->Hwnd()), 0xFFFF);

        EXPECT_EQ(test::WindowText(r.descriptionLabel->Hwnd()), Entry(i).description);
        EXPECT_FALSE(r.descriptionLabel->IsBold());
        EXPECT_RECT_EQ(RectOf(r.descriptionLabel->Hwnd()), (RECT{73, y + 23, 675, y + 50}));
        EXPECT_EQ(
            ::GetWindowLongW(r.descriptionLabel->Hwnd(), GWL_STYLE) & (SS_TYPEMASK | WS_CHILD | WS_VISIBLE),
            WS_CHILD | WS_VISIBLE | SS_LEFT);

        EXPECT_EQ(test::WindowText(r.helpLink->Hwnd()), L"Online Help");
        ExpectStartsAt(RectOf(r.helpLink->Hwnd()), 380, y + 5);
        EXPECT_EQ(r.helpLink->URL(), g_siteBase + Entry(i).helpPath);
        EXPECT_EQ(::GetDlgCtrlID(r.helpLink->Hwnd()), 0xFFFF);

        if (i == 5) continue;
        EXPECT_FALSE(::IsWindowEnabled(icon));
        EXPECT_EQ(r.versionLabel, nullptr);
        ASSERT_NE(r.updateLink, nullptr);
        EXPECT_EQ(test::WindowText(r.updateLink->Hwnd()), L"Download");
        EXPECT_EQ(r.updateLink->URL(), g_siteBase + L"login.html");
        // At the row's place, or just after a help link that needs the room.
        EXPECT_GE(RectOf(r.updateLink->Hwnd()).left, std::max(450L, RectOf(r.helpLink->Hwnd()).right));
        EXPECT_EQ(RectOf(r.updateLink->Hwnd()).top, y + 5);
    }
    EXPECT_EQ(Entry(12).description.substr(0, 3), L"An ");

    // Creation order: check box, then icon, name, description, download, help per not-installed row.
    const std::vector<HWND> children = Children();
    ASSERT_EQ(children.size(), 1u + 13 * 5 + 5);
    EXPECT_EQ(children[0], page->Item(IDC_SHOW_INSTALLED_ONLY));
    const RowControls& r0 = *Row(0);
    const std::vector<HWND> row0{r0.iconButton->Hwnd(), r0.nameLabel->Hwnd(), r0.descriptionLabel->Hwnd(),
                                 r0.updateLink->Hwnd(), r0.helpLink->Hwnd()};
    EXPECT_EQ(std::vector<HWND>(children.begin() + 1, children.begin() + 6), row0);
}

TEST_F(ProductsPage, InstalledRowsShowTheProductVersionOfTheRealExecutable) {
    Install(0, L"test_v1234");
    Install(1, L"test_v12300");
    Install(2, L"test_v10037");
    Open();
    ASSERT_EQ(Entry(0).installed, 1);
    EXPECT_EQ(test::WindowText(Row(0)->versionLabel->Hwnd()), L"1.02.03");
    EXPECT_EQ(test::WindowText(Row(1)->versionLabel->Hwnd()), L"1.02.300");
    EXPECT_EQ(test::WindowText(Row(2)->versionLabel->Hwnd()), L"10.00.03");
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const int y = 16 + 50 * i;
        EXPECT_TRUE(::IsWindowEnabled(Row(i)->iconButton->Hwnd()));
        EXPECT_EQ(Row(i)->updateLink, nullptr);
        EXPECT_FALSE(Row(i)->versionLabel->IsColour());
        EXPECT_FALSE(Row(i)->versionLabel->IsBold());
        ExpectStartsAt(RectOf(Row(i)->versionLabel->Hwnd()), 295, y + 5);
    }
}

// The page reads version records from the file itself (loading a program as
// a module holds the process's loader lock, which a program on a share that
// stopped answering would never let go); it finds what the system's version
// reader finds, in the test programs and in the system's own.
TEST_F(ProductsPage, VersionReadsAgreeWithTheSystemsVersionReader) {
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    std::vector<std::wstring> files = {test::ProgramFolder() + L"\\win_tests.exe"};
    for (const wchar_t* program :
         {L"test_v1234", L"test_v12300", L"test_v10037", L"test_noversion", L"rowfoundry"})
        files.push_back(test::ProgramFolder() + L"\\demo\\" + program + L".exe");
    for (const wchar_t* file : {L"kernel32.dll", L"user32.dll", L"comctl32.dll", L"shell32.dll",
                                L"notepad.exe", L"regedit.exe", L"version.dll", L"msvcrt.dll"})
        files.push_back(std::wstring(system) + L"\\" + file);
    int withVersion = 0;
    for (const std::wstring& file : files) {
        std::optional<os::FixedVersion> expected;
        DWORD handle = 0;
        const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &handle);
        std::vector<unsigned char> block(size);
        VS_FIXEDFILEINFO* info = nullptr;
        UINT length = 0;
        if (size && ::GetFileVersionInfoW(file.c_str(), 0, size, block.data()) &&
            ::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) && info)
            expected = os::FixedVersion{info->dwProductVersionMS, info->dwProductVersionLS,
                                        info->dwFileVersionMS, info->dwFileVersionLS};
        const std::optional<os::FixedVersion> mine = os::FixedVersionOf(file);
        ASSERT_EQ(mine.has_value(), expected.has_value()) << file;
        if (!expected) continue;
        ++withVersion;
        EXPECT_EQ(mine->productVersionMS, expected->productVersionMS) << file;
        EXPECT_EQ(mine->productVersionLS, expected->productVersionLS) << file;
        EXPECT_EQ(mine->fileVersionMS, expected->fileVersionMS) << file;
        EXPECT_EQ(mine->fileVersionLS, expected->fileVersionLS) << file;
    }
    EXPECT_GE(withVersion, 8);
}

TEST_F(ProductsPage, UpdateVersionsShowInBracketsAndOnlyANewerVersionOffersAnUpdate) {
    Install(0, L"test_v1234");
    Install(1, L"test_v1234");
    Install(2, L"test_v1234");
    Open();
    page->SetUpdateVersion(L"Row Foundry", L"1.02.04");
    page->SetUpdateVersion(L"Load Hammer", L"1.02.03");
    page->SetUpdateVersion(L"Layout Scribe", L"1.2.3");
    page->SetUpdateVersion(L"row foundry", L"9.99.99");
    page->SetUpdateVersion(L"Transfer Works", L"2.00.00");  // not installed: no version shown
    Relayout();

    const RowControls& update = *Row(0);
    EXPECT_EQ(test::WindowText(update.versionLabel->Hwnd()), L"1.02.03 [1.02.04]");
    EXPECT_TRUE(update.versionLabel->IsColour());
    ASSERT_NE(update.updateLink, nullptr);
    EXPECT_EQ(test::WindowText(update.updateLink->Hwnd()), L"Update");
    EXPECT_EQ(update.updateLink->URL(), g_siteBase + L"login.html");
    // Right of the longer version text, at the row's place or beyond.
    EXPECT_GE(RectOf(update.updateLink->Hwnd()).left, 450);
    EXPECT_EQ(RectOf(update.updateLink->Hwnd()).top, 21);
    // Installed with an update: icon, name, description, update link, version, help.
    const std::vector<HWND> children = Children();
    const std::vector<HWND> expected{update.iconButton->Hwnd(),       update.nameLabel->Hwnd(),
                                     update.descriptionLabel->Hwnd(), update.updateLink->Hwnd(),
                                     update.versionLabel->Hwnd(),     update.helpLink->Hwnd()};
    EXPECT_EQ(std::vector<HWND>(children.begin() + 1, children.begin() + 7), expected);

    EXPECT_EQ(test::WindowText(Row(1)->versionLabel->Hwnd()), L"1.02.03 [1.02.03]");
    EXPECT_FALSE(Row(1)->versionLabel->IsColour());
    EXPECT_EQ(Row(1)->updateLink, nullptr);

    // The same version written otherwise is no update.
    EXPECT_EQ(test::WindowText(Row(2)->versionLabel->Hwnd()), L"1.02.03 [1.2.3]");
    EXPECT_FALSE(Row(2)->versionLabel->IsColour());
    EXPECT_EQ(Row(2)->updateLink, nullptr);

    EXPECT_EQ(Row(3)->versionLabel, nullptr);
    EXPECT_EQ(test::WindowText(Row(3)->updateLink->Hwnd()), L"Download");

    // A later result of the same product replaces the earlier one; an older
    // version is no update either.
    page->SetUpdateVersion(L"Load Hammer", L"1.03.00");
    page->SetUpdateVersion(L"Row Foundry", L"1.01.09");
    Relayout();
    EXPECT_EQ(test::WindowText(Row(1)->versionLabel->Hwnd()), L"1.02.03 [1.03.00]");
    EXPECT_EQ(test::WindowText(Row(1)->updateLink->Hwnd()), L"Update");
    EXPECT_EQ(test::WindowText(Row(0)->versionLabel->Hwnd()), L"1.02.03 [1.01.09]");
    EXPECT_FALSE(Row(0)->versionLabel->IsColour());
    EXPECT_EQ(Row(0)->updateLink, nullptr);

    // However long a version a list names, the links stay on the row, before
    // the description's right edge.
    page->SetUpdateVersion(L"Load Hammer", std::wstring(300, L'9'));
    Relayout();
    EXPECT_LE(RectOf(Row(1)->updateLink->Hwnd()).right, 675);
}

TEST_F(ProductsPage, InstalledWithoutUsableVersionShowsOnlyTheHelpLink) {
    Install(0, L"test_noversion");
    SetString(KeyOf(1), L"ExePath", WriteFile(L"notpe.exe", "this is not a program"));
    SetString(KeyOf(2), L"ExePath", MakeDir(L"a folder"));
    // A version resource whose root block is damaged: the signature of the fixed record is gone.
    {
        const std::wstring exe = Program(L"test_v1234", L"damaged.exe");
        std::string bytes = test::ReadFileBytes(exe);
        const std::string signature("\xBD\x04\xEF\xFE", 4);
        const size_t at = bytes.find(signature);
        ASSERT_NE(at, std::string::npos);
        bytes.replace(at, 4, std::string(4, '\0'));
        SetString(KeyOf(3), L"ExePath", WriteFile(L"damaged.exe", bytes));
    }
    Open();
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Entry(i).installed, 1);
        EXPECT_TRUE(::IsWindowEnabled(Row(i)->iconButton->Hwnd()));
        EXPECT_EQ(Row(i)->versionLabel, nullptr);
        EXPECT_EQ(Row(i)->updateLink, nullptr);
        EXPECT_NE(Row(i)->helpLink, nullptr);
    }
    page->SetUpdateVersion(L"Row Foundry", L"2.00.00");
    Relayout();
    EXPECT_EQ(Row(0)->updateLink, nullptr) << "no version text, no update link";
}

TEST_F(ProductsPage, BadExePathValuesCountAsNotInstalled) {
    const std::wstring exe = Program(L"test_v1234", L"ok.exe");
    // Wrong type, but the text names the file: the type is not examined.
    SetRaw(KeyOf(0), L"ExePath", REG_BINARY, exe.c_str(), static_cast<DWORD>((exe.size() + 1) * 2));
    SetDword(KeyOf(1), L"ExePath", 12345);  // "C:" would name the current folder of drive C
    // Without a terminating NUL.
    SetRaw(KeyOf(2), L"ExePath", REG_SZ, exe.c_str(), static_cast<DWORD>(exe.size() * 2));
    // 259 characters fit; 260 with a terminator do not. Neither file exists (too long for the
    // system), so only the second is told apart by the exe path it leaves alone.
    SetString(KeyOf(3), L"ExePath", L"C:\\" + std::wstring(256, L'a'));
    SetString(KeyOf(4), L"ExePath", L"C:\\" + std::wstring(257, L'a'));
    SetString(KeyOf(5), L"ExePath", L"");
    SetRaw(KeyOf(6), L"ExePath", REG_SZ, "\xff", 1);
    SetString(KeyOf(7), L"Other", exe);
    Open();
    EXPECT_EQ(Entry(0).installed, 1);
    EXPECT_EQ(Entry(0).exePath, exe);
    EXPECT_EQ(test::WindowText(Row(0)->versionLabel->Hwnd()), L"1.02.03");
    EXPECT_EQ(Entry(2).installed, 1);
    EXPECT_EQ(Entry(2).exePath, exe);
    for (int i : {1, 3, 4, 5, 6, 7}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Entry(i).installed, 0);
        EXPECT_TRUE(Entry(i).exePath.empty());
        EXPECT_FALSE(::IsWindowEnabled(Row(i)->iconButton->Hwnd()));
    }
}

TEST_F(ProductsPage, PathsAtTheBufferLimitWithRealFiles) {
    // A real file whose full path is exactly 259 characters: found.
    const std::wstring dir = TempDir();
    ASSERT_LT(dir.size(), 200u);
    const std::wstring name(259 - dir.size() - 1 - 4, L'n');
    const std::wstring exe259 = Program(L"test_v1234", name + L".exe");
    ASSERT_EQ(exe259.size(), 259u);
    SetString(KeyOf(0), L"ExePath", exe259);
    // An existing file named by 260 characters (through a redundant ".\\"): with its
    // terminator the value does not fit the buffer, so the product is not installed.
    Program(L"test_v1234", name.substr(1) + L".exe");
    const std::wstring exe260 = dir + L"\\.\\" + name.substr(1) + L".exe";
    ASSERT_EQ(exe260.size(), 260u);
    ASSERT_NE(::GetFileAttributesW(exe260.c_str()), INVALID_FILE_ATTRIBUTES);
    SetString(KeyOf(1), L"ExePath", exe260);
    Open();
    EXPECT_EQ(Entry(0).installed, 1);
    EXPECT_EQ(Entry(0).exePath, exe259);
    EXPECT_EQ(test::WindowText(Row(0)->versionLabel->Hwnd()), L"1.02.03");
    EXPECT_EQ(Entry(1).installed, 0);
    EXPECT_TRUE(Entry(1).exePath.empty());
}

TEST_F(ProductsPage, FilterShowsOnlyInstalledRowsClosedUpAndBack) {
    Install(3, L"test_v1234");
    Install(9, L"test_noversion");
    Open();
    ASSERT_EQ(RowsShown(), 14);
    ClickFilter();
    EXPECT_EQ(page->ShowInstalledOnly(), 1);
    EXPECT_EQ(RowsShown(), 2);
    ASSERT_NE(Row(3), nullptr);
    ASSERT_NE(Row(9), nullptr);
    EXPECT_RECT_EQ(RectOf(Row(3)->iconButton->Hwnd()), (RECT{8, 16, 58, 64}));
    EXPECT_RECT_EQ(RectOf(Row(9)->iconButton->Hwnd()), (RECT{8, 66, 58, 114}));
    ExpectStartsAt(RectOf(Row(9)->helpLink->Hwnd()), 380, 71);
    EXPECT_EQ(Children().size(), 1u + 5 + 4) << "hidden rows keep no windows";

    ClickFilter();
    EXPECT_EQ(page->ShowInstalledOnly(), 0);
    EXPECT_EQ(RowsShown(), 14);
    for (int i = 0; i < kProductEntryCount; ++i)
        EXPECT_EQ(RectOf(Row(i)->iconButton->Hwnd()).top, 16 + 50 * i) << i;
}

TEST_F(ProductsPage, ToggleDetectsEveryProductAgain) {
    const std::wstring exe = Install(4, L"test_v1234");
    Open();
    ASSERT_NE(Row(4)->versionLabel, nullptr);
    ASSERT_TRUE(::IsWindowEnabled(Row(4)->iconButton->Hwnd()));
    const std::wstring later = Install(6, L"test_v10037");

    ASSERT_TRUE(::DeleteFileW(exe.c_str()));
    ClickFilter();
    EXPECT_EQ(Row(4), nullptr);
    ASSERT_NE(Row(6), nullptr);
    EXPECT_RECT_EQ(RectOf(Row(6)->iconButton->Hwnd()), (RECT{8, 16, 58, 64}));
    EXPECT_EQ(test::WindowText(Row(6)->versionLabel->Hwnd()), L"10.00.03");

    ClickFilter();
    EXPECT_EQ(Entry(4).installed, 0);
    EXPECT_EQ(Entry(4).exePath, exe) << "the last found path stays";
    EXPECT_FALSE(::IsWindowEnabled(Row(4)->iconButton->Hwnd()));
    EXPECT_EQ(Row(4)->versionLabel, nullptr);
    EXPECT_EQ(test::WindowText(Row(4)->updateLink->Hwnd()), L"Download");
}

class ProductsLaunch : public ProductsPage {
protected:
    void SetUp() override {
        ProductsPage::SetUp();
        log = TempDir() + L"\\launches.log";
        ::SetEnvironmentVariableW(L"QUAYLET_LAUNCH_LOG", log.c_str());
        ::SetEnvironmentVariableW(L"QUAYLET_STANDIN_EXIT", L"1");
    }
    std::vector<std::wstring> Launched() const {
        std::istringstream in(test::ReadFileBytes(log));
        std::string line;
        std::vector<std::wstring> paths;
        while (std::getline(in, line)) {
            const std::string exe = line.substr(0, line.find('|'));
            paths.emplace_back(exe.begin(), exe.end());  // ASCII paths in these tests
        }
        return paths;
    }
    bool WaitForLaunches(size_t n) const {
        for (int i = 0; i < 200; ++i) {
            if (Launched().size() >= n) return true;
            ::Sleep(50);
        }
        return false;
    }
    std::wstring log;
};

TEST_F(ProductsLaunch, CommandsMapToEntriesByTable) {
    const std::wstring markup = Install(8, L"test_v1234");
    const std::wstring text = Install(9, L"test_noversion");
    Open();
    ::SendMessageW(page->Hwnd(), WM_COMMAND, 205, reinterpret_cast<LPARAM>(Row(8)->iconButton->Hwnd()));
    ASSERT_TRUE(WaitForLaunches(1));
    EXPECT_EQ(Launched()[0], markup);
    Row(9)->iconButton->Send(BM_CLICK);
    ASSERT_TRUE(WaitForLaunches(2));
    EXPECT_EQ(Launched()[1], text);

    // Not product commands: another id, or a product id with a notification code.
    EXPECT_FALSE(page->OnCommand(131, 0));
    EXPECT_FALSE(page->OnCommand(MAKEWPARAM(205, 1), 0));
    ::Sleep(500);
    EXPECT_EQ(Launched().size(), 2u);
}

TEST_F(ProductsLaunch, EntryNeverDetectedStartsNothingAndDanglingPathStartsTheLastFound) {
    Open();
    EXPECT_TRUE(page->OnCommand(130, 0)) << "a product command is served even when nothing starts";
    const std::wstring exe = Install(0, L"test_v1234");
    Relayout();
    SetString(KeyOf(0), L"ExePath", TempDir() + L"\\gone.exe");
    Relayout();
    EXPECT_EQ(Entry(0).installed, 0);
    page->LaunchEntry(0);
    ASSERT_TRUE(WaitForLaunches(1));
    EXPECT_EQ(Launched()[0], exe);
    EXPECT_EQ(Launched().size(), 1u);
}

class ProductsScroll : public ProductsPage {
protected:
    void Resize(int height) {
        RECT r{};
        ::GetWindowRect(page->Hwnd(), &r);
        ::SetWindowPos(page->Hwnd(), nullptr, 0, 0, r.right - r.left, height, SWP_NOZORDER | SWP_NOMOVE);
    }
    SCROLLINFO Info() const {
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_ALL;
        ::GetScrollInfo(page->Hwnd(), SB_VERT, &si);
        return si;
    }
    void Scroll(int code, int pos = 0) { ::SendMessageW(page->Hwnd(), WM_VSCROLL, MAKEWPARAM(code, pos), 0); }
    int CheckBoxTop() const { return RectOf(page->Item(IDC_SHOW_INSTALLED_ONLY)).top; }
    int IconTop(int i) const { return RectOf(Row(i)->iconButton->Hwnd()).top; }
};

TEST_F(ProductsScroll, ScrollsWheneverTheRowsReachBelowThePage) {
    Open();
    const int cy = page->ClientRect().bottom;
    ASSERT_LT(cy, 716) << "the created page is shorter than its rows";
    SCROLLINFO si = Info();
    EXPECT_EQ(page->ScrollRange(), 716 - cy);
    EXPECT_EQ(si.nMax - static_cast<int>(si.nPage) + 1, 716 - cy) << "the thumb's last position is the range";
    Resize(716);
    EXPECT_EQ(Info().nMax, 0);
    Scroll(SB_LINEDOWN);
    EXPECT_EQ(page->ScrollPos(), 0);
    // A range too small for a tenth still has a thumb that reaches its end.
    Resize(711);
    si = Info();
    EXPECT_EQ(page->ScrollRange(), 716 - page->ClientHeight());
    EXPECT_EQ(si.nMax - static_cast<int>(si.nPage) + 1, page->ScrollRange());
}

TEST_F(ProductsScroll, StepsThumbAndWheelAgreeAndReachTheLastRow) {
    Open();
    const int top = CheckBoxTop();
    Resize(300);
    const int cy = page->ClientHeight();
    const int range = 716 - cy;
    SCROLLINFO si = Info();
    EXPECT_EQ(si.nMin, 0);
    EXPECT_EQ(static_cast<int>(si.nPage), range / 10);
    EXPECT_EQ(si.nMax, range + range / 10 - 1);
    EXPECT_EQ(si.nPos, 0);

    Scroll(SB_LINEUP);
    EXPECT_EQ(page->ScrollPos(), 0);
    EXPECT_EQ(CheckBoxTop(), top);
    Scroll(SB_LINEDOWN);
    EXPECT_EQ(page->ScrollPos(), 7);
    EXPECT_EQ(CheckBoxTop(), top - 7);
    EXPECT_EQ(IconTop(0), 16 - 7);
    EXPECT_EQ(Info().nPos, 7);
    Scroll(SB_THUMBPOSITION, 30);
    EXPECT_EQ(page->ScrollPos(), 30);
    EXPECT_EQ(IconTop(13), 666 - 30);
    Scroll(SB_PAGEUP);
    EXPECT_EQ(page->ScrollPos(), 0);
    Scroll(SB_PAGEDOWN);
    EXPECT_EQ(page->ScrollPos(), 71);
    Scroll(SB_THUMBTRACK, 200);
    Scroll(SB_BOTTOM);
    Scroll(SB_ENDSCROLL);
    EXPECT_EQ(page->ScrollPos(), 71);
    EXPECT_EQ(IconTop(0), 16 - 71);

    // Steps, the thumb dragged to its end and the wheel all stop with the last row whole at the bottom.
    for (int i = 0; i < 100; ++i) Scroll(SB_PAGEDOWN);
    EXPECT_EQ(page->ScrollPos(), range);
    EXPECT_EQ(Info().nPos, range);
    EXPECT_EQ(IconTop(13) + 50, cy);
    Scroll(SB_LINEDOWN);
    EXPECT_EQ(page->ScrollPos(), range);
    Scroll(SB_THUMBPOSITION, 0);
    si = Info();
    Scroll(SB_THUMBPOSITION, si.nMax - static_cast<int>(si.nPage) + 1);
    EXPECT_EQ(page->ScrollPos(), range);
    EXPECT_EQ(IconTop(13) + 50, cy);
    Scroll(SB_THUMBPOSITION, 0);

    UINT lines = 3;
    ::SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    ASSERT_NE(lines, WHEEL_PAGESCROLL);
    const int notch = static_cast<int>(lines) * 7;
    auto wheel = [&](int delta) {
        ::SendMessageW(Row(0)->helpLink->Hwnd(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)), 0);
    };
    wheel(-WHEEL_DELTA);  // reaches the page from the control under the pointer
    EXPECT_EQ(page->ScrollPos(), notch);
    wheel(-WHEEL_DELTA / 2);
    EXPECT_EQ(page->ScrollPos(), notch) << "half a notch waits for the other half";
    wheel(-WHEEL_DELTA / 2);
    EXPECT_EQ(page->ScrollPos(), 2 * notch);
    EXPECT_EQ(Info().nPos, 2 * notch);
    EXPECT_EQ(IconTop(0), 16 - 2 * notch);
    wheel(-WHEEL_DELTA * 100);
    EXPECT_EQ(page->ScrollPos(), range);
    EXPECT_EQ(IconTop(13) + 50, cy);
    wheel(WHEEL_DELTA * 100);
    EXPECT_EQ(page->ScrollPos(), 0);
    EXPECT_EQ(CheckBoxTop(), top);
}

TEST_F(ProductsScroll, KeyboardFocusBringsItsRowIntoViewAMouseClickDoesNot) {
    Install(5, L"test_v1234");
    Open();
    ::ShowWindow(host.Hwnd(), SW_SHOWNOACTIVATE);
    Resize(300);
    const int cy = page->ClientHeight();
    ::SetFocus(Row(13)->helpLink->Hwnd());
    EXPECT_EQ(IconTop(13) + 50, cy) << "the whole last row";
    EXPECT_EQ(Info().nPos, page->ScrollPos());
    ::SetFocus(Row(6)->helpLink->Hwnd());
    EXPECT_EQ(IconTop(6), 0) << "a row above the view comes in at the top";
    ::SetFocus(page->Item(IDC_SHOW_INSTALLED_ONLY));
    EXPECT_EQ(page->ScrollPos(), 0);

    // Pressed where it shows, a partly visible icon stays under the pointer
    // (released elsewhere, so that nothing starts).
    HWND icon = Row(5)->iconButton->Hwnd();
    ASSERT_TRUE(::IsWindowEnabled(icon));
    ASSERT_LT(RectOf(icon).top, cy);
    ASSERT_GT(RectOf(icon).bottom, cy);
    ::SendMessageW(icon, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    EXPECT_EQ(::GetFocus(), icon);
    EXPECT_EQ(page->ScrollPos(), 0);
    ::SendMessageW(icon, WM_LBUTTONUP, 0, MAKELPARAM(-500, -500));
    ::ReleaseCapture();
}

TEST_F(ProductsScroll, RelayoutAndResizeKeepRowsInLineWithTheScrolledContent) {
    Open();
    Resize(300);
    Scroll(SB_THUMBPOSITION, 100);
    const int top = CheckBoxTop();
    ClickFilter();
    ClickFilter();
    EXPECT_EQ(IconTop(0), 16 - 100);
    EXPECT_EQ(CheckBoxTop(), top);

    // Growing to the rows' height ends the scrolling: content returns to the top.
    Resize(800);
    EXPECT_EQ(page->ScrollPos(), 0);
    EXPECT_EQ(IconTop(0), 16);
    EXPECT_EQ(CheckBoxTop(), top + 100);
}

TEST_F(ProductsScroll, SizeChangeBeforeInitialisationLeavesNoRange) {
    PageProducts early(&host);
    early.OnSize(SIZE_RESTORED, 600, 200);
    EXPECT_EQ(early.ScrollRange(), 0) << "the created height is not known yet";
    EXPECT_EQ(early.ClientHeight(), 200);
}

TEST_F(ProductsPage, RepaintingAndRelayoutingLeaksNoLabelObjects) {
    Install(0, L"test_v1234");
    const long before = CLabel::LiveGdiObjects();
    Open();
    ::ShowWindow(host.Hwnd(), SW_SHOWNOACTIVATE);
    page->SetUpdateVersion(L"Row Foundry", L"2.00.00");
    auto repaint = [&] {
        ::RedrawWindow(page->Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    };
    Relayout();
    repaint();
    const long shown = CLabel::LiveGdiObjects() - before;
    // Each painted label owns a font and a brush: at most the names and descriptions
    // of 14 rows and one version label; rows below the bottom are not painted.
    EXPECT_GT(shown, 0);
    EXPECT_LE(shown, (14 * 2 + 1) * 2);
    EXPECT_EQ(shown % 2, 0);
    for (int i = 0; i < 60; ++i) {
        if (i % 3 == 0) Relayout();
        if (i % 5 == 0) ClickFilter();
        repaint();
    }
    if (page->ShowInstalledOnly()) ClickFilter();
    repaint();
    EXPECT_EQ(CLabel::LiveGdiObjects() - before, shown);
    page.reset();
    EXPECT_EQ(CLabel::LiveGdiObjects(), before);
    ::ShowWindow(host.Hwnd(), SW_HIDE);
}

class LabelTest : public WinTest {
protected:
    void SetUp() override {
        WinTest::SetUp();
        dc = ::CreateCompatibleDC(nullptr);
    }
    void TearDown() override {
        ::DeleteDC(dc);
        WinTest::TearDown();
    }
    LRESULT Request(CLabel& label, int kind) {
        return ::SendMessageW(label.Hwnd(), ui::kReflectedCtlColor, reinterpret_cast<WPARAM>(dc), kind);
    }
    test::PageHost host{1000, 900};
    HDC dc = nullptr;
};

TEST_F(LabelTest, FontAndBrushAreMadeOnceAtTheFirstStaticRequest) {
    CLabel bold(1, 1);
    ASSERT_TRUE(bold.Create(L"Row Foundry", WS_CHILD | WS_VISIBLE, RECT{0, 0, 100, 20}, host.Hwnd(), 0xFFFF));
    EXPECT_FALSE(bold.FontReady());
    const long before = CLabel::LiveGdiObjects();
    const LRESULT brush = Request(bold, CTLCOLOR_STATIC);
    ASSERT_NE(brush, 0);
    EXPECT_TRUE(bold.FontReady());
    EXPECT_EQ(CLabel::LiveGdiObjects(), before + 2);
    LOGFONTW stock{};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof stock, &stock);
    EXPECT_EQ(bold.FontDescription().lfWeight, FW_BOLD);
    EXPECT_EQ(bold.FontDescription().lfHeight, stock.lfHeight - 3);
    EXPECT_EQ(::GetCurrentObject(dc, OBJ_FONT), bold.Font());
    EXPECT_EQ(::GetTextColor(dc), RGB(255, 0, 0));
    EXPECT_EQ(::GetBkMode(dc), TRANSPARENT);
    LOGBRUSH lb{};
    ::GetObjectW(reinterpret_cast<HBRUSH>(brush), sizeof lb, &lb);
    EXPECT_EQ(lb.lbColor, ::GetSysColor(COLOR_BTNFACE));

    EXPECT_EQ(Request(bold, CTLCOLOR_STATIC), brush);
    EXPECT_EQ(CLabel::LiveGdiObjects(), before + 2);
}

TEST_F(LabelTest, PlainLabelUsesTheUserInterfaceFontAndTheSchemeTextColour) {
    CLabel plain(0, 0);
    ASSERT_TRUE(plain.Create(L"text", WS_CHILD | WS_VISIBLE, RECT{0, 0, 100, 20}, host.Hwnd(), 0xFFFF));
    ::SetTextColor(dc, RGB(1, 2, 3));
    Request(plain, CTLCOLOR_STATIC);
    LOGFONTW stock{};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof stock, &stock);
    EXPECT_EQ(plain.FontDescription().lfHeight, stock.lfHeight);
    EXPECT_EQ(plain.FontDescription().lfWeight, stock.lfWeight);
    EXPECT_EQ(std::wstring(plain.FontDescription().lfFaceName), std::wstring(stock.lfFaceName));
    EXPECT_EQ(::GetTextColor(dc), ::GetSysColor(COLOR_BTNTEXT));
    EXPECT_EQ(::GetCurrentObject(dc, OBJ_FONT), plain.Font());
}

TEST_F(LabelTest, OtherKindsOnlyGetTheBrushAndObjectsGoWithTheLabel) {
    const long before = CLabel::LiveGdiObjects();
    {
        CLabel label(1, 1);
        ASSERT_TRUE(label.Create(L"x", WS_CHILD | WS_VISIBLE, RECT{0, 0, 100, 20}, host.Hwnd(), 0xFFFF));
        ::SetTextColor(dc, RGB(1, 2, 3));
        ::SetBkMode(dc, OPAQUE);
        HGDIOBJ font = ::GetCurrentObject(dc, OBJ_FONT);
        EXPECT_NE(Request(label, CTLCOLOR_EDIT), 0);
        EXPECT_FALSE(label.FontReady());
        EXPECT_EQ(::GetTextColor(dc), RGB(1, 2, 3));
        EXPECT_EQ(::GetBkMode(dc), OPAQUE);
        EXPECT_EQ(::GetCurrentObject(dc, OBJ_FONT), font);
        EXPECT_EQ(CLabel::LiveGdiObjects(), before + 1);
        // Through the parent as a real static asks: WM_CTLCOLORSTATIC is reflected to the label.
        ::SendMessageW(host.Hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                       reinterpret_cast<LPARAM>(label.Hwnd()));
        EXPECT_TRUE(label.FontReady());
        EXPECT_EQ(CLabel::LiveGdiObjects(), before + 2);
        ::SelectObject(dc, font);
    }
    EXPECT_EQ(CLabel::LiveGdiObjects(), before);
}

}  // namespace
