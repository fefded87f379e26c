// The real program with other programs' files on a share that stopped
// answering (tests/HungShare.h): programs, project descriptors, a library
// folder and the profile store. The window shows promptly and keeps
// answering (WM_NULL from this process); what answers shows complete, what
// does not shows as far as it is known and says so; closing does not wait for
// reads that never answer, and when the share's server is killed the hub
// carries on.
#include <string>
#include <vector>

#include "pages/projects/RecentDiscovery.h"
#include "resources/resource.h"
#include "tests/HungShare.h"
#include "tests/Pinger.h"
#include "tests/ScopedEnvironment.h"
#include "tests/e2e/E2eSupport.h"

namespace {

using e2e::Hub;

const std::wstring kSuite = L"Software\\Zerudozuz\\";
// Long enough for nothing but a window that does not answer; the figures are the benchmark's.
constexpr double kStallLimitMs = 2000;

class HungShareE2e : public e2e::E2eTest {
protected:
    void SetUp() override {
        E2eTest::SetUp();
        if (!share.Available()) GTEST_SKIP() << share.Why();
    }
    std::wstring Demo(const wchar_t* program) const { return test::ProgramFolder() + L"\\demo\\" + program; }

    // The window answered all along; closing takes the window at once, and
    // the process ends once the share lets go of its reads.
    void ExpectAnsweredAndClosesAtOnce(Hub& hub, test::Pinger& pinger) {
        bool answering = false;
        const double longest = pinger.Stop(&answering);
        EXPECT_TRUE(answering);
        EXPECT_LT(longest, kStallLimitMs) << "the window did not answer for " << longest << " ms";
        HWND window = hub.Window();
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_TRUE(e2e::WaitFor([&] { return !::IsWindow(window); }, 3000))
            << "closing waited for the share";
        ASSERT_TRUE(share.KillServer());
        EXPECT_TRUE(hub.WaitForExit());
    }

    test::HungShare share;
};

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The texts of the static controls in row `row` of the products page.
std::vector<std::wstring> RowTexts(HWND page, int row) {
    std::vector<std::wstring> texts;
    const int top = 16 + 50 * row;
    for (HWND c = ::GetWindow(page, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        RECT r{};
        ::GetWindowRect(c, &r);
        ::MapWindowPoints(HWND_DESKTOP, page, reinterpret_cast<POINT*>(&r), 2);
        if (test::ClassName(c) == L"Static" && r.top >= top && r.top < top + 50)
            texts.push_back(test::WindowText(c));
    }
    return texts;
}

bool Has(const std::vector<std::wstring>& texts, const std::wstring& text) {
    for (const std::wstring& t : texts)
        if (t == text) return true;
    return false;
}

HTREEITEM Find(HWND tree, HTREEITEM parent, const std::wstring& text) {
    for (const auto& [item, itemText] : test::TreeItems(tree, parent))
        if (itemText == text) return item;
    return nullptr;
}

TEST_F(HungShareE2e, AHungShareNeitherHoldsTheWindowNorHidesWhatAnswers) {
    // Programs: Row Foundry's on the share (its version never answers), Load
    // Hammer's there too (even its directory entry never answers), Content
    // Diff's on the disk.
    const std::wstring hungExe = share.PutCopy(L"bin\\rowfoundry.exe", Demo(L"rowfoundry.exe"));
    const std::wstring deadExe = share.PutCopy(L"dead\\loadhammer.exe", Demo(L"loadhammer.exe"));
    const std::wstring diskExe = TempDir() + L"\\contentdiff.exe";
    ASSERT_TRUE(::CopyFileW(Demo(L"contentdiff.exe").c_str(), diskExe.c_str(), FALSE));
    e2e::SetString(kSuite + L"RowFoundry", L"ExePath", hungExe);
    e2e::SetString(kSuite + L"LoadHammer", L"ExePath", deadExe);
    e2e::SetString(kSuite + L"ContentDiff", L"ExePath", diskExe);
    // Projects: two descriptors on the share, one on the disk.
    const std::wstring projects = kSuite + L"RowFoundry\\Settings";
    e2e::SetString(projects, L"LastFile", share.Put(L"projects\\hung one.rfp", "[Tables]\r\nAuthor=Ann\r\n"));
    e2e::SetString(projects, L"Profile0", share.Put(L"projects\\hung two.rfp", "[Tables]\r\nAuthor=Ann\r\n"));
    e2e::SetString(projects, L"Profile1",
                   WriteFile(L"on disk.rfp", "[Tables]\r\nAuthor=Bea\r\nDescription=Q1\r\n"));
    // The library: its listing answers but for one folder, its scripts do not.
    share.Put(L"lib\\answers\\a.sql", "SELECT 1;");
    share.Put(L"lib\\stuck\\b.sql", "SELECT 2;");
    share.Put(L"lib\\top.sql", "SELECT 3;");
    e2e::SetString(kSuite + L"StatementDesk2\\Settings", L"Library", share.Path(L"lib"));
    // The profile store, in an application-data folder redirected to the share.
    share.Put(L"appdata\\Zerudozuz\\Connections\\profiles.zcp", "not read");
    const test::ScopedEnvironment appData(L"APPDATA", share.Path(L"appdata"));
    ASSERT_TRUE(
        share.Hang(L"read@4096 bin/*.exe\ngetattr dead/*\nread projects/*\nread lib/*.sql\nread appdata/*\n"
                   L"readdir lib/stuck"));

    Hub hub;
    const double started = test::Pinger::NowMs();
    ASSERT_TRUE(hub.Start()) << "the window did not come up";
    const double shownAfter = test::Pinger::NowMs() - started;
    EXPECT_LT(shownAfter, 5000.0) << "the window came up only after " << shownAfter << " ms";
    test::Pinger pinger(hub.Window());

    // Products: the program on the disk is complete; the one whose version
    // does not answer can be started and waits for its version; the one whose
    // entry does not answer has its name and icon, cannot be started, and is
    // not taken for one that is not installed.
    HWND products = hub.Page(e2e::kProductsTab);
    EXPECT_TRUE(e2e::WaitFor([&] { return Has(RowTexts(products, 5), L"4.01.07"); }))
        << "Content Diff's version";
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(products, 180)));
    EXPECT_TRUE(e2e::WaitFor([&] { return ::IsWindowEnabled(::GetDlgItem(products, 130)) != FALSE; }));
    EXPECT_TRUE(Has(RowTexts(products, 0), L"Row Foundry"));
    EXPECT_FALSE(Has(RowTexts(products, 0), L"5.04.12"));
    ASSERT_NE(::GetDlgItem(products, 140), nullptr);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(products, 140)));
    EXPECT_TRUE(Has(RowTexts(products, 1), L"Load Hammer"));
    EXPECT_FALSE(Has(RowTexts(products, 1), L"Download"))
        << "a product not yet known is not offered for download";
    ::PostMessageW(::GetDlgItem(products, IDC_SHOW_INSTALLED_ONLY), BM_CLICK, 0, 0);
    EXPECT_TRUE(e2e::WaitFor([&] { return ::GetDlgItem(products, 150) == nullptr; })) << "the filter works";
    EXPECT_NE(::GetDlgItem(products, 140), nullptr) << "a product not yet known is hidden as not installed";
    EXPECT_NE(::GetDlgItem(products, 130), nullptr);
    EXPECT_NE(::GetDlgItem(products, 180), nullptr);
    ::PostMessageW(::GetDlgItem(products, IDC_SHOW_INSTALLED_ONLY), BM_CLICK, 0, 0);
    EXPECT_TRUE(e2e::WaitFor([&] { return ::GetDlgItem(products, 150) != nullptr; }));

    // Projects: all three listed; the one on the disk with its author and note.
    ASSERT_TRUE(hub.SelectTab(e2e::kProjectsTab));
    HWND list = hub.PageItem(e2e::kProjectsTab, IDC_PROJECT_LIST);
    ASSERT_TRUE(e2e::WaitFor([&] { return ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 3; }));
    EXPECT_EQ(e2e::ItemText(list, 0, 0), L"hung one.rfp");
    EXPECT_EQ(e2e::ItemText(list, 1, 0), L"hung two.rfp");
    EXPECT_EQ(e2e::ItemText(list, 2, 0), L"on disk.rfp");
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::ItemText(list, 2, 4) == L"Bea"; }));
    EXPECT_EQ(e2e::ItemText(list, 2, 5), L"Q1");
    EXPECT_NE(e2e::ItemText(list, 0, 2), L"") << "the date is known from the directory entry";
    EXPECT_EQ(e2e::ItemText(list, 0, 4), L"") << "the author waits for the descriptor";

    // The library lists what answers; a folder that does not answer says so.
    ASSERT_TRUE(hub.SelectTab(e2e::kLibraryTab));
    HWND tree = hub.PageItem(e2e::kLibraryTab, IDC_LIBRARY_TREE);
    EXPECT_TRUE(e2e::WaitFor([&] { return Find(tree, nullptr, L"top.sql") != nullptr; }));
    HTREEITEM stuck = Find(tree, nullptr, L"stuck");
    HTREEITEM answers = Find(tree, nullptr, L"answers");
    ASSERT_NE(stuck, nullptr);
    ASSERT_NE(answers, nullptr);
    ::PostMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(answers));
    EXPECT_TRUE(e2e::WaitFor([&] { return Find(tree, answers, L"a.sql") != nullptr; })) << [&] {
        std::wstring seen;
        for (const auto& [item, text] : test::TreeItems(tree, answers)) seen += text + L"|";
        return seen;
    }();
    ::PostMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(stuck));
    EXPECT_TRUE(e2e::WaitFor([&] { return Find(tree, stuck, L"Reading the folder...") != nullptr; }, 5000));
    EXPECT_TRUE(
        e2e::WaitFor([&] { return Find(tree, stuck, L"The folder does not answer.") != nullptr; }, 20000));

    // Connections: the list says the profiles do not answer; Save refuses and says why.
    ASSERT_TRUE(hub.SelectTab(e2e::kConnectionsTab));
    HWND caption = hub.PageItem(e2e::kConnectionsTab, IDC_CONN_CAPTION);
    EXPECT_TRUE(e2e::WaitFor(
        [&] { return test::WindowText(caption).find(L"do not answer") != std::wstring::npos; }, 20000))
        << test::WindowText(caption);
    ::PostMessageW(hub.PageItem(e2e::kConnectionsTab, IDC_CONN_SAVE_ALL), BM_CLICK, 0, 0);
    HWND box = e2e::WaitForBox(hub, L"Connection profiles", 5000);
    ASSERT_NE(box, nullptr);
    EXPECT_NE(e2e::BoxText(box).find(L"nothing is saved, exported or loaded"), std::wstring::npos)
        << e2e::BoxText(box);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(e2e::WaitFor([&] { return !::IsWindow(box); }, 5000));

    // The share's server goes: every read waiting on it fails, and the hub
    // carries on. The store's second read (the refused Save started it) was
    // still in time: its failure is reported.
    ASSERT_TRUE(share.KillServer());
    box = e2e::WaitForBox(hub, L"Connection profiles", 5000);
    ASSERT_NE(box, nullptr);
    EXPECT_NE(e2e::BoxText(box).find(L"cannot be read"), std::wstring::npos) << e2e::BoxText(box);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(e2e::WaitFor([&] { return !::IsWindow(box); }, 5000));
    ASSERT_TRUE(hub.SelectTab(e2e::kProductsTab));
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(products, 180)));
    ExpectAnsweredAndClosesAtOnce(hub, pinger);
}

TEST_F(HungShareE2e, ProjectsOnADeadShareHoldUpNeitherTheOthersNorClosing) {
    // 128 recent projects whose descriptors never answer, then four on the disk.
    int n = 0;
    std::vector<std::wstring> onDisk;
    for (const RecentProjectType& type : kRecentProjectTypes) {
        for (int i = -1; i < RecentDiscovery::kNumberedValues; ++i, ++n) {
            std::wstring value = type.numberedPattern;
            value = i < 0 ? std::wstring(type.singleValue)
                          : value.replace(value.find(L"%d"), 2, std::to_wstring(i));
            const std::string descriptor = "[" + Narrow(type.section) + "]\r\n" + Narrow(type.authorKey) +
                                           "=Author " + std::to_string(n) + "\r\n" + Narrow(type.noteKey) +
                                           "=Note\r\n";
            const std::wstring name = L"p" + std::to_wstring(n) + type.extension;
            const std::wstring path =
                n < 128 ? share.Put(L"dead\\" + name, descriptor) : WriteFile(name, descriptor);
            if (n >= 128) onDisk.push_back(name);
            e2e::SetString(ProductSettingsKey(type.product), value, path);
        }
    }
    ASSERT_TRUE(share.Hang(L"read dead/*"));

    Hub hub;
    ASSERT_TRUE(hub.Start());
    test::Pinger pinger(hub.Window());
    ASSERT_TRUE(hub.SelectTab(e2e::kProjectsTab));
    HWND list = hub.PageItem(e2e::kProjectsTab, IDC_PROJECT_LIST);
    ASSERT_TRUE(e2e::WaitFor([&] { return ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 132; }))
        << ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) << " rows";
    for (int row = 128; row < 132; ++row) {
        EXPECT_EQ(e2e::ItemText(list, row, 0), onDisk[static_cast<std::size_t>(row - 128)]);
        EXPECT_TRUE(e2e::WaitFor([&] {
            return e2e::ItemText(list, row, 4) == L"Author " + std::to_wstring(row);
        })) << "row "
            << row << " has no author";
    }
    EXPECT_EQ(e2e::ItemText(list, 0, 4), L"");
    // Closing waits for none of the 128 reads still out.
    ExpectAnsweredAndClosesAtOnce(hub, pinger);
}

}  // namespace
