// The connections page in-process under Wine: the real store file (in the
// test's own APPDATA), DPAPI, CNG, a real list view and the page's buttons.
// File dialogs, the passphrase prompt and the launch are answered or seen
// through the overridable methods.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <optional>
#include <string>
#include <vector>

#include "pages/connections/PageConnections.h"
#include "platform/connection/ProfileStore.h"
#include "platform/connection/Win32ConnCrypto.h"
#include "platform/services/CSysReg.h"
#include "platform/ui/Reads.h"
#include "resources/resource.h"
#include "tests/ScopedEnvironment.h"
#include "tests/SampleProfiles.h"
#include "tests/PageHost.h"
#include "tests/win/WinTestSupport.h"

using test::StoreProfile;

namespace {

struct Message {
    std::wstring text;
    std::wstring title;
    UINT type;
    HWND owner;
};

class AnsweredList : public CAdvConnectList {
public:
    std::deque<std::wstring> savePaths, openPaths;
    std::deque<std::optional<conn::SecretText>> passphrases;
    std::deque<int> answers;  // for boxes with a choice
    std::vector<Message> messages;
    std::vector<std::wstring> dialogTitles;
    std::vector<bool> passphraseNew;
    std::function<void()> duringPrompt;  // what happens while the prompt is open

protected:
    std::wstring AskSaveFileName(HWND, const std::wstring& title, const std::wstring&) override {
        dialogTitles.push_back(title);
        return Take(savePaths);
    }
    std::wstring AskOpenFileName(HWND, const std::wstring& title) override {
        dialogTitles.push_back(title);
        return Take(openPaths);
    }
    std::optional<conn::SecretText> AskPassphrase(HWND, const std::wstring&, bool newOne) override {
        passphraseNew.push_back(newOne);
        if (duringPrompt) duringPrompt();
        if (passphrases.empty()) return std::nullopt;
        auto p = passphrases.front();
        passphrases.pop_front();
        return p;
    }
    int ShowMessage(HWND owner, const std::wstring& text, const std::wstring& title, UINT type) override {
        messages.push_back({text, title, type, owner});
        if ((type & 0xF) == MB_OK) return IDOK;
        if (answers.empty()) return IDCANCEL;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }

private:
    static std::wstring Take(std::deque<std::wstring>& q) {
        if (q.empty()) return L"";
        std::wstring s = q.front();
        q.pop_front();
        return s;
    }
};

class TestPage : public PageConnections {
public:
    explicit TestPage(ui::Window* parent, AnsweredList*& list) : PageConnections(parent, Make(list)) {}
    std::vector<std::pair<std::wstring, std::wstring>> shellOpens;
    std::vector<std::wstring> runs;

protected:
    void ShellOpen(const std::wstring& exe, const std::wstring& arguments) override {
        shellOpens.emplace_back(exe, arguments);
    }
    void RunProduct(const std::wstring& arguments) override { runs.push_back(arguments); }

private:
    static std::unique_ptr<CAdvConnectList> Make(AnsweredList*& out) {
        auto list = std::make_unique<AnsweredList>();
        out = list.get();
        return list;
    }
};

// Another thread of the test that waits for the progress window of the
// interface thread, watches the page answer meanwhile, and presses Cancel with
// posted keys, as the keyboard would.
class ProgressCanceller {
public:
    ProgressCanceller(DWORD uiThread, HWND page)
        : m_thread([this, uiThread, page] { Run(uiThread, page); }) {}
    ~ProgressCanceller() { m_thread.join(); }
    ProgressCanceller(const ProgressCanceller&) = delete;
    ProgressCanceller& operator=(const ProgressCanceller&) = delete;

    std::wstring text;           // what the window said it waited for
    ULONGLONG longestStall = 0;  // the page's longest time without an answer, in ms
    bool pressed = false;

private:
    static HWND FindProgress(DWORD uiThread) {
        HWND found = nullptr;
        ::EnumThreadWindows(
            uiThread,
            [](HWND hwnd, LPARAM lp) {
                if (::IsWindowVisible(hwnd) && ::FindWindowExW(hwnd, nullptr, PROGRESS_CLASSW, nullptr)) {
                    *reinterpret_cast<HWND*>(lp) = hwnd;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found;
    }
    void Run(DWORD uiThread, HWND page) {
        HWND progress = nullptr;
        const ULONGLONG end = ::GetTickCount64() + 20000;
        while (!(progress = FindProgress(uiThread)) && ::GetTickCount64() < end) ::Sleep(10);
        if (!progress) return;
        wchar_t shown[256] = {};
        ::GetDlgItemTextW(progress, 100, shown, 256);
        text = shown;
        // The page answers while the work goes on.
        for (int i = 0; i < 10; ++i) {
            const ULONGLONG start = ::GetTickCount64();
            DWORD_PTR answer = 0;
            if (!::SendMessageTimeoutW(page, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer)) longestStall = 5000;
            longestStall = std::max(longestStall, ::GetTickCount64() - start);
            ::Sleep(50);
        }
        HWND cancel = ::GetDlgItem(progress, IDCANCEL);
        ::PostMessageW(cancel, WM_KEYDOWN, VK_ESCAPE, 1);
        ::PostMessageW(cancel, WM_KEYUP, VK_ESCAPE, 0xC0000001);
        pressed = true;
    }

    std::thread m_thread;
};

class ConnectionsPageTest : public WinTest {
protected:
    void SetUp() override {
        WinTest::SetUp();
        m_appData.emplace(L"APPDATA", TempDir());
    }
    void TearDown() override {
        m_page.reset();
        m_appData.reset();
        WinTest::TearDown();
    }
    std::wstring StorePath() const { return TempDir() + L"\\Zerudozuz\\Connections\\profiles.zcp"; }
    void Seed(std::vector<CONN_INFO> profiles) {
        for (auto& p : profiles) ASSERT_TRUE(conn::ProtectPassword(p, conn::CurrentUserProtector()));
        std::wstring error;
        ASSERT_TRUE(conn::ProfileStore(StorePath()).Save(profiles, error))
            << std::string(error.begin(), error.end());
    }
    TestPage& Open() {
        m_page = std::make_unique<TestPage>(&m_host, m_list);
        EXPECT_TRUE(m_page->Create(0, 0));
        m_page->Activate();
        EXPECT_TRUE(SettleReads(*m_page));
        return *m_page;
    }
    int RowOf(const std::wstring& name) {
        for (int r = 0; r < m_list->GetItemCount(); ++r)
            if (m_list->GetItemText(r, 0) == name) return r;
        return -1;
    }
    void Click(int id) {
        ::SendMessageW(m_page->Hwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(m_page->Hwnd(), id)));
    }
    CONN_INFO Launched(const std::wstring& arguments) {
        EXPECT_EQ(arguments.rfind(L"-#", 0), 0u);
        EXPECT_EQ(arguments.find_first_of(L" \"\t"), std::wstring::npos);
        CONN_INFO out;
        std::wstring error;
        EXPECT_TRUE(CONN_INFO::Unpack(arguments.substr(2), conn::CurrentUserProtector(), out, error));
        return out;
    }

    test::PageHost m_host;
    AnsweredList* m_list = nullptr;
    std::unique_ptr<TestPage> m_page;
    std::optional<test::ScopedEnvironment> m_appData;
};

}  // namespace

TEST_F(ConnectionsPageTest, ShowsProfilesSortedWithIconAndColumns) {
    Seed({StoreProfile(L"beta"), StoreProfile(L"Alpha", L"pw"), StoreProfile(L"\u6771\u4eac")});
    TestPage& page = Open();
    EXPECT_NE(ui::Button(::GetDlgItem(page.Hwnd(), IDC_CONN_OPEN)).GetIcon(), nullptr);
    EXPECT_EQ(m_list->GetColumnCount(), 5);
    ASSERT_EQ(m_list->GetItemCount(), 3);
    EXPECT_EQ(m_list->GetItemText(0, 0), L"Alpha");
    EXPECT_EQ(m_list->GetItemData(0), 1);  // the row's profile, not its position
    EXPECT_EQ(m_list->GetItemText(0, 1), L"Network SQL");
    EXPECT_EQ(m_list->GetItemText(0, 2), L"srv-Alpha");
    EXPECT_EQ(m_list->GetItemText(0, 3), L"db \u00e9\U0001F600");
    EXPECT_EQ(m_list->GetItemText(0, 4), L"u\tv");
    EXPECT_EQ(m_list->GetItemText(1, 0), L"beta");
    // Enter and Esc do not end the page.
    ::SendMessageW(page.Hwnd(), WM_COMMAND, IDOK, 0);
    ::SendMessageW(page.Hwnd(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(::IsWindow(page.Hwnd()));
    EXPECT_TRUE(m_list->messages.empty());
}

TEST_F(ConnectionsPageTest, TheLargestStoreShowsInAVirtualListThatKeepsEverythingARowDoes) {
    // Stored in another order than shown, so that rows and profiles differ.
    std::vector<CONN_INFO> many(conn::kMaxProfiles);
    for (std::size_t i = 0; i < many.size(); ++i) {
        many[i].name = L"Profile " + std::to_wstring((i * 7919) % many.size());
        many[i].server = L"server-" + std::to_wstring(i);
    }
    many[123].name = L"Zulu\u200B";
    Seed(many);
    TestPage& page = Open();
    // The control asks for what it shows instead of holding 20,000 rows of its own.
    EXPECT_NE(::GetWindowLongW(m_list->Hwnd(), GWL_STYLE) & LVS_OWNERDATA, 0);
    ASSERT_EQ(m_list->GetItemCount(), static_cast<int>(conn::kMaxProfiles));
    EXPECT_EQ(m_list->GetItemText(0, 0), L"Profile 0");
    EXPECT_EQ(m_list->GetItemText(1, 0), L"Profile 1");
    EXPECT_EQ(m_list->GetItemText(2, 0), L"Profile 10");
    EXPECT_EQ(m_list->GetItemText(conn::kMaxProfiles - 1, 0), L"Zulu<U+200B>");
    EXPECT_EQ(m_list->GetItemData(conn::kMaxProfiles - 1), 123);
    const std::size_t first = static_cast<std::size_t>(m_list->GetItemData(0));
    EXPECT_EQ(m_list->Profiles()[first].name, L"Profile 0");
    EXPECT_EQ(m_list->GetItemText(0, 2), m_list->Profiles()[first].server);
    // Found by the start of its name, as the control searches when the user
    // types (Wine's does not search on typing, so the search is asked for).
    LVFINDINFOW find{};
    find.flags = LVFI_STRING | LVFI_PARTIAL | LVFI_WRAP;
    find.psz = L"profile 1999";
    const int typed = static_cast<int>(
        m_list->Send(LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
    ASSERT_GE(typed, 0);
    EXPECT_EQ(m_list->GetItemText(typed, 0), L"Profile 1999");
    find.psz = L"no such name";
    EXPECT_EQ(m_list->Send(LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)), -1);
    m_list->Select(typed);
    // The selected row's profile is the one opened.
    Click(IDC_CONN_OPEN);
    ASSERT_EQ(page.runs.size(), 1u);
    EXPECT_EQ(Launched(page.runs[0]).name, L"Profile 1999");
    EXPECT_TRUE(m_list->messages.empty());
}

TEST_F(ConnectionsPageTest, OpenWithoutSelectionSaysSo) {
    Seed({StoreProfile(L"a")});
    TestPage& page = Open();
    Click(IDC_CONN_OPEN);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, L"No profile was selected");
    EXPECT_EQ(Boxes()[0].caption, L"Zelto Quaylet - Connections");
    EXPECT_EQ(Boxes()[0].type, static_cast<UINT>(MB_OK | MB_ICONHAND));
    EXPECT_TRUE(page.runs.empty());
    EXPECT_TRUE(page.shellOpens.empty());
}

TEST_F(ConnectionsPageTest, OpensTheRowsProfileWithItsPassword) {
    Seed({StoreProfile(L"zeta", L"z-pass"), StoreProfile(L"Alpha", L"a \"pass\"")});
    const std::wstring tb = test::ProgramFolder() + L"\\tb.exe";
    ::DeleteFileW(tb.c_str());  // left over from an interrupted run
    TestPage& page = Open();
    const int row = RowOf(L"Alpha");
    ASSERT_EQ(row, 0);
    m_list->Select(row);
    Click(IDC_CONN_OPEN);
    ASSERT_EQ(page.runs.size(), 1u);  // no tb.exe beside the test program
    const CONN_INFO got = Launched(page.runs[0]);
    EXPECT_EQ(got.name, L"Alpha");
    EXPECT_EQ(got.password, L"a \"pass\"");
    EXPECT_EQ(got.server, L"srv-Alpha");
    EXPECT_TRUE(m_list->Profiles()[1].password.empty());  // nothing plain left in memory

    // With tb.exe beside the program it is started through the shell instead.
    ASSERT_TRUE(::CopyFileW((test::ProgramFolder() + L"\\win_tests.exe").c_str(), tb.c_str(), FALSE));
    m_list->Select(RowOf(L"zeta"));
    Click(IDC_CONN_OPEN);
    ::DeleteFileW(tb.c_str());
    ASSERT_EQ(page.shellOpens.size(), 1u);
    EXPECT_EQ(page.runs.size(), 1u);
    EXPECT_EQ(page.shellOpens[0].first, tb);
    EXPECT_EQ(Launched(page.shellOpens[0].second).password, L"z-pass");
}

TEST_F(ConnectionsPageTest, LeavingThePageStoresColumnWidths) {
    Seed({});
    TestPage& page = Open();
    LVCOLUMNW wide{};
    wide.mask = LVCF_WIDTH;
    wide.cx = 100000;  // any width a column can have comes back
    m_list->Send(LVM_SETCOLUMNW, 2, reinterpret_cast<LPARAM>(&wide));
    page.Deactivate();
    EXPECT_FALSE(::IsWindowVisible(page.Hwnd()));
    CSysReg reg;
    EXPECT_EQ(reg.GetInt(L"ConnColW3").value_or(-1), 100000);
    EXPECT_EQ(reg.GetInt(L"ConnColW1").value_or(-1), m_list->GetColumnWidth(0));
    // A later page takes the stored widths; a hostile stored width is ignored.
    SetDword(L"Software\\Zerudozuz\\Quaylet\\Settings", L"ConnColW4", 0xFFFFFFFF);
    m_page.reset();
    Open();
    EXPECT_EQ(m_list->GetColumnWidth(2), 100000);
    EXPECT_EQ(m_list->GetColumnWidth(3), CAdvConnectList::kDefaultWidths[3]);
}

TEST_F(ConnectionsPageTest, ExportDeleteAndLoadGivesTheSameProfiles) {
    Seed({StoreProfile(L"one", L"secret 1"), StoreProfile(L"two")});
    Open();
    const std::wstring plainFile = TempDir() + L"\\plain.zcx";
    const std::wstring sealedFile = TempDir() + L"\\sealed.zcx";
    m_list->answers = {IDNO};
    m_list->savePaths = {plainFile};
    Click(IDC_CONN_SAVE_ALL);
    // Enter on the question leaves the passwords out.
    EXPECT_EQ(m_list->messages.back().type & MB_DEFMASK, static_cast<UINT>(MB_DEFBUTTON2));
    EXPECT_EQ(test::ReadFileBytes(plainFile).find("secret"), std::string::npos);
    EXPECT_EQ(m_list->dialogTitles.back(), L"Connection profiles");
    m_list->answers = {IDYES};
    m_list->passphrases = {conn::SecretText(L"long passphrase")};
    m_list->savePaths = {sealedFile};
    m_list->Select(RowOf(L"one"));
    Click(IDC_CONN_EXPORT_ONE);
    EXPECT_EQ(m_list->passphraseNew.back(), true);
    const std::string sealed = test::ReadFileBytes(sealedFile);
    EXPECT_NE(sealed.find("passwords=passphrase"), std::string::npos);
    EXPECT_EQ(sealed.find("name=two"), std::string::npos);

    ASSERT_TRUE(::DeleteFileW(StorePath().c_str()));
    m_page.reset();
    Open();
    ASSERT_EQ(m_list->GetItemCount(), 0);
    // Wrong passphrase first, then the right one.
    m_list->openPaths = {sealedFile};
    m_list->passphrases = {conn::SecretText(L"wrong one"), conn::SecretText(L"long passphrase")};
    Click(IDC_CONN_LOAD_ALL);
    ASSERT_EQ(m_list->Profiles().size(), 1u);
    EXPECT_EQ(m_list->passphraseNew, (std::vector<bool>{false, false}));
    EXPECT_EQ(conn::RevealPassword(m_list->Profiles()[0], conn::CurrentUserProtector()), L"secret 1");
    EXPECT_TRUE(m_list->Profiles()[0].SameSettings(StoreProfile(L"one")));
    // The plain file adds "two"; "one" is already there.
    m_list->openPaths = {plainFile};
    Click(IDC_CONN_LOAD_ALL);
    ASSERT_EQ(m_list->Profiles().size(), 2u);
    EXPECT_NE(m_list->messages.back().text.find(L"1 profile added, 1 was already present"),
              std::wstring::npos);
    const auto stored = conn::ProfileStore(StorePath()).Load();
    ASSERT_EQ(stored.profiles.size(), 2u);
    EXPECT_EQ(stored.profiles[1].name, L"two");
    EXPECT_EQ(conn::RevealPassword(stored.profiles[0], conn::CurrentUserProtector()), L"secret 1");
}

TEST_F(ConnectionsPageTest, ExportOneWithoutSelectionIsTheListsToReport) {
    Seed({StoreProfile(L"a", L"pw")});
    TestPage& page = Open();
    Click(IDC_CONN_EXPORT_ONE);
    ASSERT_EQ(m_list->messages.size(), 1u);
    EXPECT_EQ(m_list->messages[0].text, L"Select the profile to export first.");
    EXPECT_EQ(m_list->messages[0].title, L"Connection profiles");
    EXPECT_EQ(m_list->messages[0].owner, page.Hwnd());
    EXPECT_TRUE(Boxes().empty());  // the page adds nothing of its own
    // Cancelling the password question or the file dialog writes nothing.
    m_list->Select(0);
    m_list->answers = {IDCANCEL};
    Click(IDC_CONN_EXPORT_ONE);
    m_list->answers = {IDNO};
    Click(IDC_CONN_EXPORT_ONE);
    EXPECT_EQ(m_list->dialogTitles.size(), 1u);
    EXPECT_EQ(m_list->messages.size(), 3u);
}

TEST_F(ConnectionsPageTest, ClashingNamesAreAddedUnderNewNames) {
    Seed({StoreProfile(L"Sales")});
    Open();
    CONN_INFO other = StoreProfile(L"sales");
    other.server = L"elsewhere";
    const std::wstring file = TempDir() + L"\\in.zcx";
    WriteFile(L"in.zcx", conn::WriteExport({other, StoreProfile(L"Sales")}, nullptr, nullptr).bytes);
    m_list->openPaths = {file};
    EXPECT_EQ(m_list->LoadAll(m_page->Hwnd(), L"Connection profiles"), 1);
    ASSERT_EQ(m_list->Profiles().size(), 2u);
    EXPECT_EQ(m_list->Profiles()[0].server, L"srv-Sales");
    EXPECT_EQ(m_list->Profiles()[1].name, L"sales (2)");
    EXPECT_NE(m_list->messages.back().text.find(L"sales -> sales (2)"), std::wstring::npos);
    EXPECT_EQ(m_list->messages.back().owner, m_page->Hwnd());
    // Case is ignored in every script, not only in ASCII.
    Seed({StoreProfile(L"\u00c9cole"), StoreProfile(L"\u03a3\u03a9\u039c\u0391")});
    CONN_INFO ecole = StoreProfile(L"\u00e9cole"), soma = StoreProfile(L"\u03c3\u03c9\u03bc\u03b1");
    ecole.server = soma.server = L"elsewhere";
    WriteFile(L"in.zcx", conn::WriteExport({ecole, soma}, nullptr, nullptr).bytes);
    m_list->openPaths = {file};
    EXPECT_EQ(m_list->LoadAll(m_page->Hwnd(), L"Connection profiles"), 2);
    ASSERT_EQ(m_list->Profiles().size(), 4u);
    EXPECT_EQ(m_list->Profiles()[2].name, L"\u00e9cole (2)");
    EXPECT_EQ(m_list->Profiles()[3].name, L"\u03c3\u03c9\u03bc\u03b1 (2)");
}

TEST_F(ConnectionsPageTest, SamePasswordIsAlreadyPresentAnotherIsAdded) {
    Seed({StoreProfile(L"one", L"pw 1")});
    Open();
    conn::CngCipher cipher;
    const conn::SecretText pass(L"passphrase");
    m_list->openPaths = {
        WriteFile(L"in.zcx", conn::WriteExport({StoreProfile(L"one", L"pw 1"), StoreProfile(L"one", L"pw 2"),
                                                StoreProfile(L"one", L"pw 1")},
                                               &cipher, &pass, conn::kMinIterations)
                                 .bytes)};
    m_list->passphrases = {pass};
    EXPECT_EQ(m_list->LoadAll(m_page->Hwnd(), L"Connection profiles"), 1);
    EXPECT_NE(m_list->messages.back().text.find(L"1 profile added, 2 were already present"),
              std::wstring::npos);
    const auto stored = conn::ProfileStore(StorePath()).Load();
    ASSERT_EQ(stored.profiles.size(), 2u);
    EXPECT_EQ(stored.profiles[1].name, L"one (2)");
    EXPECT_EQ(conn::RevealPassword(stored.profiles[0], conn::CurrentUserProtector()), L"pw 1");
    EXPECT_EQ(conn::RevealPassword(stored.profiles[1], conn::CurrentUserProtector()), L"pw 2");
    for (const CONN_INFO& p : m_list->Profiles()) EXPECT_TRUE(p.password.empty());  // nothing plain kept
}

TEST_F(ConnectionsPageTest, NamesThatDoNotShowAreWrittenOut) {
    // As another program may have stored them: the two rows must not look alike.
    Seed({StoreProfile(L"Sales"), StoreProfile(L"Sales\u200B")});
    TestPage& page = Open();
    ASSERT_EQ(m_list->GetItemCount(), 2);
    EXPECT_NE(RowOf(L"Sales"), -1);
    const int row = RowOf(L"Sales<U+200B>");
    ASSERT_NE(row, -1);

    // Opening it keeps its row selected: the shown name is not taken for a change behind the list.
    m_list->Select(row);
    Click(IDC_CONN_OPEN);
    ASSERT_EQ(page.runs.size(), 1u);
    EXPECT_EQ(Launched(page.runs[0]).name, L"Sales\u200B");
    EXPECT_EQ(m_list->Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0)), row);
}

TEST_F(ConnectionsPageTest, LoadWaitsForAnotherWriterBehindAProgressWindowAndThenChangesNothing) {
    Seed({StoreProfile(L"keep")});
    Open();
    const std::string before = test::ReadFileBytes(StorePath());
    m_list->openPaths = {
        WriteFile(L"in.zcx", conn::WriteExport({StoreProfile(L"new")}, nullptr, nullptr).bytes)};
    {
        conn::StoreLock other(StorePath(), 0);  // as another program holds it
        ASSERT_TRUE(other.Held());
        {
            // The wait shows, the page answers meanwhile, and Cancel ends it with nothing to say.
            ProgressCanceller canceller(::GetCurrentThreadId(), m_page->Hwnd());
            EXPECT_EQ(m_list->LoadAll(m_page->Hwnd(), L"Connection profiles"), 0);
            ASSERT_TRUE(canceller.pressed);
            EXPECT_NE(canceller.text.find(L"Another program is changing the connection profiles"),
                      std::wstring::npos);
            EXPECT_LT(canceller.longestStall, 1000u);
            EXPECT_TRUE(m_list->messages.empty());
        }
        // Not cancelled, it ends after the usual wait and says why.
        m_list->openPaths = {TempDir() + L"\\in.zcx"};
        EXPECT_EQ(m_list->LoadAll(m_page->Hwnd(), L"Connection profiles"), 0);
        ASSERT_EQ(m_list->messages.size(), 1u);
        EXPECT_NE(m_list->messages.back().text.find(L"being changed by another program"), std::wstring::npos);
        EXPECT_NE(m_list->messages.back().text.find(L"Nothing was loaded"), std::wstring::npos);
    }
    EXPECT_EQ(test::ReadFileBytes(StorePath()), before);
    EXPECT_EQ(m_list->GetItemCount(), 1);
    // Once it lets go, the same file loads.
    m_list->openPaths = {TempDir() + L"\\in.zcx"};
    EXPECT_EQ(m_list->LoadAll(m_page->Hwnd(), L"Connection profiles"), 1);
}

TEST_F(ConnectionsPageTest, AHostileIterationCountCostsACancel) {
    Seed({StoreProfile(L"keep")});
    Open();
    const std::string before = test::ReadFileBytes(StorePath());
    // Written at the least count, then given the largest a reader takes.
    const conn::CngCipher cipher;
    const conn::SecretText pass(L"passphrase");
    std::string file =
        conn::WriteExport({StoreProfile(L"new", L"pw")}, &cipher, &pass, conn::kMinIterations).bytes;
    file.replace(file.find("iterations=100000"), 17, "iterations=" + std::to_string(conn::kMaxIterations));
    m_list->openPaths = {WriteFile(L"slow.zcx", file)};
    m_list->passphrases = {pass};
    {
        ProgressCanceller canceller(::GetCurrentThreadId(), m_page->Hwnd());
        EXPECT_EQ(m_list->LoadAll(m_page->Hwnd(), L"Connection profiles"), 0);
        ASSERT_TRUE(canceller.pressed);
        EXPECT_EQ(canceller.text, L"Checking the passphrase...");
        EXPECT_LT(canceller.longestStall, 1000u);
    }
    EXPECT_TRUE(m_list->messages.empty());
    EXPECT_TRUE(m_list->passphrases.empty());  // asked once, and not again after the cancel
    EXPECT_EQ(test::ReadFileBytes(StorePath()), before);
}

TEST_F(ConnectionsPageTest, LoadPastTheStoreLimitsChangesNothing) {
    std::vector<CONN_INFO> many(conn::kMaxProfiles - 1);
    for (std::size_t i = 0; i < many.size(); ++i) many[i].name = L"p" + std::to_wstring(i);
    Seed(many);
    Open();
    const std::string before = test::ReadFileBytes(StorePath());
    m_list->openPaths = {WriteFile(
        L"two.zcx",
        conn::WriteExport({StoreProfile(L"new 1"), StoreProfile(L"new 2")}, nullptr, nullptr).bytes)};
    EXPECT_EQ(m_list->LoadAll(m_page->Hwnd(), L"Connection profiles"), 0);
    EXPECT_NE(m_list->messages.back().text.find(L"at most 20000"), std::wstring::npos);
    EXPECT_EQ(m_list->messages.back().type & 0xF0, static_cast<UINT>(MB_ICONHAND));
    EXPECT_EQ(test::ReadFileBytes(StorePath()), before);
    EXPECT_EQ(m_list->Profiles().size(), conn::kMaxProfiles - 1);
    // The store that is there still opens, in full.
    EXPECT_EQ(conn::ProfileStore(StorePath()).Load().profiles.size(), conn::kMaxProfiles - 1);
}

TEST_F(ConnectionsPageTest, BadFilesLoadNothingAndLeaveTheStoreAlone) {
    Seed({StoreProfile(L"keep", L"pw")});
    Open();
    const std::string before = test::ReadFileBytes(StorePath());
    const std::string good = conn::WriteExport({StoreProfile(L"new")}, nullptr, nullptr).bytes;
    const std::pair<const wchar_t*, std::string> files[] = {
        {L"empty.zcx", ""},
        {L"other.zcx", "<html>not found</html>"},
        {L"truncated.zcx", good.substr(0, good.size() / 2)},
        {L"newer.zcx", "ZQ-EXPORT 9\r\nwhatever\r\n"},
        {L"hostile.zcx", "ZQ-EXPORT 1\r\npasswords=none\r\nprofile\r\nname=a\\u0007\r\nend\r\neof 1\r\n"},
        {L"huge.zcx", std::string(9u << 20, 'x')},
    };
    for (const auto& [name, bytes] : files) {
        m_list->openPaths = {WriteFile(name, bytes)};
        EXPECT_EQ(m_list->LoadAll(m_page->Hwnd(), L"Connection profiles"), 0) << name;
        ASSERT_FALSE(m_list->messages.empty());
        EXPECT_NE(m_list->messages.back().text.find(name), std::wstring::npos);
        EXPECT_EQ(m_list->messages.back().type & 0xF0, static_cast<UINT>(MB_ICONHAND));
    }
    // A damaged encrypted field fails the whole file too.
    conn::CngCipher cipher;
    const conn::SecretText pass(L"passphrase");
    std::string sealed =
        conn::WriteExport({StoreProfile(L"n1"), StoreProfile(L"n2", L"pw")}, &cipher, &pass, 100000).bytes;
    const std::size_t at = sealed.find("password.sealed=") + 18;
    sealed[at] = sealed[at] == 'A' ? 'B' : 'A';
    m_list->openPaths = {WriteFile(L"damaged.zcx", sealed)};
    m_list->passphrases = {pass};
    EXPECT_EQ(m_list->LoadAll(m_page->Hwnd(), L"Connection profiles"), 0);
    EXPECT_NE(m_list->messages.back().text.find(L"damaged"), std::wstring::npos);
    // Cancelling the passphrase loads nothing and says nothing more.
    const std::size_t shown = m_list->messages.size();
    m_list->openPaths = {
        WriteFile(L"sealed.zcx", conn::WriteExport({StoreProfile(L"x")}, &cipher, &pass, 100000).bytes)};
    EXPECT_EQ(m_list->LoadAll(m_page->Hwnd(), L"Connection profiles"), 0);
    EXPECT_EQ(m_list->messages.size(), shown);
    EXPECT_EQ(test::ReadFileBytes(StorePath()), before);
    EXPECT_EQ(m_list->GetItemCount(), 1);
}

TEST_F(ConnectionsPageTest, UnreadableStoreIsReportedAndKept) {
    WriteFile(L"Zerudozuz\\Connections\\profiles.zcp", "ZQ-PROFILES 1\r\nprofile\r\n");
    Open();
    ASSERT_EQ(m_list->messages.size(), 1u);
    EXPECT_NE(m_list->messages[0].text.find(L"unreadable-"), std::wstring::npos);
    EXPECT_EQ(m_list->messages[0].owner, m_page->Hwnd());
    EXPECT_EQ(m_list->GetItemCount(), 0);
    EXPECT_FALSE(test::FileExists(StorePath()));
}

TEST_F(ConnectionsPageTest, NewerStoreMakesAReadOnlySession) {
    const std::string newer = "ZQ-PROFILES 2\r\nwhat a later version writes\r\n";
    WriteFile(L"Zerudozuz\\Connections\\profiles.zcp", newer);
    Open();
    ASSERT_EQ(m_list->messages.size(), 1u);  // one message, at start
    EXPECT_NE(m_list->messages[0].text.find(L"newer version"), std::wstring::npos);
    EXPECT_NE(m_list->messages[0].text.find(L"left as it is"), std::wstring::npos);
    m_list->openPaths = {
        WriteFile(L"in.zcx", conn::WriteExport({StoreProfile(L"new")}, nullptr, nullptr).bytes)};
    EXPECT_EQ(m_list->LoadAll(m_page->Hwnd(), L"Connection profiles"), 0);
    EXPECT_NE(m_list->messages.back().text.find(L"Nothing was loaded"), std::wstring::npos);
    EXPECT_EQ(test::ReadFileBytes(StorePath()), newer);
}

TEST_F(ConnectionsPageTest, AReloadWaitsWhileThePassphrasePromptIsOpenAndFollowsItsEnd) {
    Seed({StoreProfile(L"one", L"secret 1"), StoreProfile(L"two")});
    TestPage& page = Open();
    m_list->Select(RowOf(L"one"));
    const std::wstring file = TempDir() + L"\\one.zcx";
    m_list->answers = {IDYES};
    m_list->passphrases = {conn::SecretText(L"long passphrase")};
    m_list->savePaths = {file};
    std::size_t shownDuringPrompt = 0;
    m_list->duringPrompt = [&] {
        // Another suite program saves a profile that sorts first; the page
        // hears of it while its prompt's own loop runs.
        Seed({StoreProfile(L"one", L"secret 1"), StoreProfile(L"two"), StoreProfile(L"a first")});
        ::SendMessageW(page.Hwnd(), ui::kChangesSeen, 0, 0);
        SettleReads(page);
        shownDuringPrompt = m_list->Profiles().size();
    };
    Click(IDC_CONN_EXPORT_ONE);
    EXPECT_EQ(shownDuringPrompt, 2u) << "the profiles the export works on stay as they were";
    const std::string exported = test::ReadFileBytes(file);
    EXPECT_NE(exported.find("name=one"), std::string::npos);
    EXPECT_EQ(exported.find("name=a first"), std::string::npos);

    // Once the prompt and the export are done, the list shows the store.
    EXPECT_TRUE(SettleReads(page));
    ASSERT_EQ(m_list->Profiles().size(), 3u);
    EXPECT_EQ(m_list->GetItemText(0, 0), L"a first");
    EXPECT_EQ(m_list->GetSelected(), RowOf(L"one")) << "the selected profile stays selected";
}
