// The real program with a seeded profile store: selecting a profile and
// pressing the open button starts the Table Bench stand-in beside the hub,
// which decodes the profile it was given.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "platform/connection/ProfileExport.h"
#include "platform/connection/ProfileStore.h"
#include "platform/connection/Win32ConnCrypto.h"
#include "tests/ScopedEnvironment.h"
#include "resources/resource.h"
#include "tests/e2e/E2eSupport.h"

namespace {

using e2e::E2eTest;
using e2e::Hub;
using e2e::kConnectionsTab;

// A dialog of the hub's process that has a child with one of these ids.
HWND WaitForDialog(HWND hub, std::initializer_list<int> childIds, DWORD timeoutMs = 15000) {
    HWND found = nullptr;
    e2e::WaitFor(
        [&] {
            found = test::FindShownWindow(test::ProcessOf(hub), [&](HWND hwnd) {
                if (test::ClassName(hwnd) != L"#32770") return false;
                for (int id : childIds)
                    if (::GetDlgItem(hwnd, id)) return true;
                return false;
            });
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

// Types a path into a common file dialog and confirms it.
void AnswerFileDialog(HWND hub, const std::wstring& path) {
    HWND dlg = WaitForDialog(hub, {0x47c, 0x480});
    ASSERT_NE(dlg, nullptr);
    HWND edit = ::GetDlgItem(dlg, 0x47c) ? ::GetDlgItem(dlg, 0x47c) : ::GetDlgItem(dlg, 0x480);
    ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    ::PostMessageW(dlg, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(e2e::WaitFor([&] { return !::IsWindow(dlg); }));
}

void AnswerPassphrase(HWND hub, const std::wstring& passphrase) {
    HWND dlg = WaitForDialog(hub, {100});
    ASSERT_NE(dlg, nullptr);
    ::SendMessageW(::GetDlgItem(dlg, 100), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(passphrase.c_str()));
    if (HWND again = ::GetDlgItem(dlg, 101))
        ::SendMessageW(again, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(passphrase.c_str()));
    ::PostMessageW(dlg, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(e2e::WaitFor([&] { return !::IsWindow(dlg); }));
}

void AnswerBox(HWND hub, int button) {
    HWND box = WaitForDialog(hub, {button});
    ASSERT_NE(box, nullptr);
    ::PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
    ASSERT_TRUE(e2e::WaitFor([&] { return !::IsWindow(box); }));
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class ConnectionsE2eTest : public E2eTest {
protected:
    void SetUp() override {
        E2eTest::SetUp();
        m_appData.emplace(L"APPDATA", TempDir());  // the hub inherits it
        std::vector<CONN_INFO> profiles(3);
        profiles[0].name = L"zulu";
        profiles[0].server = L"z-server";
        profiles[1].name = L"Alpha \u00e9";
        profiles[1].kind = L"Network SQL";
        profiles[1].server = L"a-server";
        profiles[1].port = 7401;
        profiles[1].database = L"sales db";
        profiles[1].user = L"report";
        profiles[1].password = conn::SecretText(L"pa ss \"word\"");
        profiles[2].name = L"middle";
        for (auto& p : profiles) ASSERT_TRUE(conn::ProtectPassword(p, conn::CurrentUserProtector()));
        std::wstring error;
        ASSERT_TRUE(
            conn::ProfileStore(TempDir() + L"\\Zerudozuz\\Connections\\profiles.zcp").Save(profiles, error));
        // The hub and the stand-in side by side, as installed.
        m_hub = TempDir() + L"\\quaylet.exe";
        ASSERT_TRUE(::CopyFileW((test::ProgramFolder() + L"\\quaylet.exe").c_str(), m_hub.c_str(), FALSE));
        ASSERT_TRUE(::CopyFileW((test::ProgramFolder() + L"\\demo\\tb.exe").c_str(),
                                (TempDir() + L"\\tb.exe").c_str(), FALSE));
    }
    void TearDown() override {
        m_appData.reset();
        E2eTest::TearDown();
    }

    std::wstring StorePath() const { return TempDir() + L"\\Zerudozuz\\Connections\\profiles.zcp"; }
    // Selects the first row ("Alpha é") with a posted click.
    void SelectFirstRow(Hub& hub) {
        HWND list = hub.PageItem(kConnectionsTab, IDC_CONN_LIST);
        HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
        RECT hr{};
        ::GetWindowRect(header, &hr);
        Hub::Click(list, 40, (hr.bottom - hr.top) + 6);
        ASSERT_TRUE(e2e::WaitFor(
            [&] { return ::SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED) == 0; }));
    }
    // Starts the hub beside the stand-in with its connection list shown; the list, or null.
    HWND StartOnTheList(Hub& hub) {
        if (!hub.Start(m_hub) || !hub.SelectTab(kConnectionsTab)) return nullptr;
        return hub.PageItem(kConnectionsTab, IDC_CONN_LIST);
    }
    // The notification a button of the page sends when clicked.
    static void PostButton(const Hub& hub, int id) {
        ::PostMessageW(hub.Page(kConnectionsTab), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(hub.PageItem(kConnectionsTab, id)));
    }
    void ExportDeleteAndLoad(bool withPassphrase);

    std::wstring m_hub;
    std::optional<test::ScopedEnvironment> m_appData;
};

TEST_F(ConnectionsE2eTest, OpenButtonStartsTableBenchWithTheSelectedProfile) {
    Hub hub;
    HWND list = StartOnTheList(hub);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);

    // Nothing selected yet: the hub says so and starts nothing.
    PostButton(hub, IDC_CONN_OPEN);
    HWND box = nullptr;
    ASSERT_TRUE(e2e::WaitFor([&] {
        box = ::FindWindowW(L"#32770", L"Zelto Quaylet - Connections");
        return box != nullptr;
    }));
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(e2e::WaitFor([&] { return !::IsWindow(box); }));
    EXPECT_TRUE(hub.Launches().empty());

    // The first row (sorted by name) is "Alpha é", stored second.
    HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    RECT hr{};
    ::GetWindowRect(header, &hr);
    Hub::Click(list, 40, (hr.bottom - hr.top) + 6);
    ASSERT_TRUE(
        e2e::WaitFor([&] { return ::SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED) == 0; }));
    ::PostMessageW(hub.PageItem(kConnectionsTab, IDC_CONN_OPEN), BM_CLICK, 0, 0);
    ASSERT_TRUE(e2e::WaitFor([&] { return hub.Launches().size() >= 2; }));
    const auto lines = hub.Launches();
    EXPECT_EQ(lines[0].substr(0, lines[0].find(L'|')), TempDir() + L"\\tb.exe");
    EXPECT_NE(lines[0].find(L" -#ZQC1."), std::wstring::npos);
    EXPECT_EQ(lines[0].find(L"\"-#"), std::wstring::npos);  // passed without quotes
    EXPECT_EQ(lines[1],
              L"decoded|name=Alpha \u00e9|kind=Network SQL|server=a-server|port=7401|database=sales db"
              L"|user=report|password=yes");
}

void ConnectionsE2eTest::ExportDeleteAndLoad(bool withPassphrase) {
    const std::wstring file = TempDir() + L"\\exported.zcx";
    const std::wstring passphrase = L"a long passphrase";
    {
        Hub hub;
        ASSERT_NE(StartOnTheList(hub), nullptr);
        SelectFirstRow(hub);
        PostButton(hub, IDC_CONN_EXPORT_ONE);
        AnswerBox(hub.Window(), withPassphrase ? IDYES : IDNO);
        if (withPassphrase) AnswerPassphrase(hub.Window(), passphrase);
        AnswerFileDialog(hub.Window(), file);
        ASSERT_TRUE(e2e::WaitFor([&] { return Exists(file); }));
        ::PostMessageW(hub.Window(), WM_CLOSE, 0, 0);
        ASSERT_TRUE(hub.WaitForExit());
    }
    ASSERT_TRUE(::DeleteFileW(StorePath().c_str()));
    Hub hub;
    HWND list = StartOnTheList(hub);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
    PostButton(hub, IDC_CONN_LOAD_ALL);
    AnswerFileDialog(hub.Window(), file);
    if (withPassphrase) AnswerPassphrase(hub.Window(), passphrase);
    AnswerBox(hub.Window(), IDOK);  // the summary
    EXPECT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 1);
    const auto stored = conn::ProfileStore(StorePath()).Load();
    ASSERT_EQ(stored.profiles.size(), 1u);
    const CONN_INFO& p = stored.profiles[0];
    EXPECT_EQ(p.name, L"Alpha \u00e9");
    EXPECT_EQ(p.database, L"sales db");
    EXPECT_EQ(p.port, 7401u);
    EXPECT_EQ(conn::RevealPassword(p, conn::CurrentUserProtector()),
              withPassphrase ? L"pa ss \"word\"" : L"");
}

TEST_F(ConnectionsE2eTest, ExportDeleteTheStoreAndLoadWithoutPasswords) { ExportDeleteAndLoad(false); }

TEST_F(ConnectionsE2eTest, WaitingForAnotherProgramsLockTheHubAnswersAndCancelChangesNothing) {
    const std::wstring file = WriteFile(L"in.zcx", conn::WriteExport({[] {
                                                                         CONN_INFO p;
                                                                         p.name = L"loaded";
                                                                         return p;
                                                                     }()},
                                                                     nullptr, nullptr)
                                                       .bytes);
    const std::string before = test::ReadFileBytes(StorePath());
    // Another program of the suite in the middle of a change.
    const std::wstring writer = test::ProgramFolder() + L"\\demo\\profilewriter.exe";
    std::wstring cmd = L"\"" + writer + L"\" --hold-lock 30000";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION holder{};
    ASSERT_TRUE(::CreateProcessW(writer.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 TempDir().c_str(), &si, &holder));
    ::CloseHandle(holder.hThread);
    ASSERT_TRUE(e2e::WaitFor([&] {
        const HANDLE h = ::CreateFileW((StorePath() + L".lock").c_str(), GENERIC_READ, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
        return h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_SHARING_VIOLATION;
    }));

    Hub hub;
    HWND list = StartOnTheList(hub);
    ASSERT_NE(list, nullptr);
    PostButton(hub, IDC_CONN_LOAD_ALL);
    AnswerFileDialog(hub.Window(), file);
    HWND progress = nullptr;
    ASSERT_TRUE(e2e::WaitFor([&] {
        progress = test::FindShownWindow(test::ProcessOf(hub.Window()), [](HWND hwnd) {
            return ::FindWindowExW(hwnd, nullptr, PROGRESS_CLASSW, nullptr) != nullptr;
        });
        return progress != nullptr;
    }));
    // The hub answers all the while, measured from here: the longest time without an answer.
    ULONGLONG longest = 0;
    for (int i = 0; i < 20; ++i) {
        const ULONGLONG start = ::GetTickCount64();
        DWORD_PTR answer = 0;
        if (!::SendMessageTimeoutW(hub.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer)) longest = 5000;
        longest = std::max(longest, ::GetTickCount64() - start);
        ::Sleep(50);
    }
    EXPECT_LT(longest, 500u);
    std::printf("longest time the hub left unanswered while waiting for the lock: %llu ms\n", longest);
    // Esc on the focused Cancel button ends the Load with nothing changed and nothing to say.
    HWND cancel = ::GetDlgItem(progress, IDCANCEL);
    ::PostMessageW(cancel, WM_KEYDOWN, VK_ESCAPE, 1);
    ::PostMessageW(cancel, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    EXPECT_TRUE(e2e::WaitFor([&] { return !::IsWindow(progress); }));
    EXPECT_EQ(WaitForDialog(hub.Window(), {IDOK}, 1000), nullptr);
    EXPECT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
    ::TerminateProcess(holder.hProcess, 0);
    ::WaitForSingleObject(holder.hProcess, 10000);
    ::CloseHandle(holder.hProcess);
    EXPECT_EQ(test::ReadFileBytes(StorePath()), before);
}

TEST_F(ConnectionsE2eTest, ExportDeleteTheStoreAndLoadWithAPassphrase) { ExportDeleteAndLoad(true); }

}  // namespace
