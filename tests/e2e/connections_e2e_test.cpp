// The real program with a seeded profile store: selecting a profile and
// pressing the open button starts the Table Bench stand-in beside the hub,
// which decodes the profile it was given.
#include <windows.h>
#include <commctrl.h>

#include "platform/connection/ProfileStore.h"
#include "platform/connection/Win32ConnCrypto.h"
#include "tests/e2e/E2eSupport.h"

namespace {

using e2e::E2eTest;
using e2e::Hub;

constexpr int kConnectionsTab = 1;
constexpr int kList = 1113;
constexpr int kOpen = 1011;

class ConnectionsE2eTest : public E2eTest {
protected:
    void SetUp() override {
        E2eTest::SetUp();
        wchar_t old[MAX_PATH] = {};
        m_hadAppData = ::GetEnvironmentVariableW(L"APPDATA", old, MAX_PATH) > 0;
        m_oldAppData = old;
        ::SetEnvironmentVariableW(L"APPDATA", TempDir().c_str());  // the hub inherits it
        std::vector<CONN_INFO> profiles(3);
        profiles[0].name = L"zulu";
        profiles[0].server = L"z-server";
        profiles[1].name = L"Alpha \u00e9";
        profiles[1].kind = L"PostgreSQL";
        profiles[1].server = L"a-server";
        profiles[1].port = 5432;
        profiles[1].database = L"sales db";
        profiles[1].user = L"report";
        profiles[1].password = L"pa ss \"word\"";
        profiles[2].name = L"middle";
        for (auto& p : profiles) ASSERT_TRUE(conn::ProtectPassword(p, conn::CurrentUserProtector()));
        std::wstring error;
        ASSERT_TRUE(conn::ProfileStore(TempDir() + L"\\Zerudozuz\\Connections\\profiles.zcp").Save(profiles, error));
        // The hub and the stand-in side by side, as installed.
        m_hub = TempDir() + L"\\quaylet.exe";
        ASSERT_TRUE(::CopyFileW((e2e::BuildDir() + L"\\quaylet.exe").c_str(), m_hub.c_str(), FALSE));
        ASSERT_TRUE(::CopyFileW((e2e::BuildDir() + L"\\demo\\tb.exe").c_str(), (TempDir() + L"\\tb.exe").c_str(),
                                FALSE));
    }
    void TearDown() override {
        ::SetEnvironmentVariableW(L"APPDATA", m_hadAppData ? m_oldAppData.c_str() : nullptr);
        E2eTest::TearDown();
    }

    std::wstring m_hub;
    std::wstring m_oldAppData;
    bool m_hadAppData = false;
};

TEST_F(ConnectionsE2eTest, OpenButtonStartsTableBenchWithTheSelectedProfile) {
    Hub hub;
    ASSERT_TRUE(hub.Start(m_hub));
    ASSERT_TRUE(hub.SelectTab(kConnectionsTab));
    HWND list = hub.PageItem(kConnectionsTab, kList);
    ASSERT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);

    // Nothing selected yet: the hub says so and starts nothing.
    ::PostMessageW(hub.Page(kConnectionsTab), WM_COMMAND, MAKEWPARAM(kOpen, BN_CLICKED),
                   reinterpret_cast<LPARAM>(hub.PageItem(kConnectionsTab, kOpen)));
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
    ASSERT_TRUE(e2e::WaitFor([&] { return ::SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED) == 0; }));
    ::PostMessageW(hub.PageItem(kConnectionsTab, kOpen), BM_CLICK, 0, 0);
    ASSERT_TRUE(e2e::WaitFor([&] { return hub.Launches().size() >= 2; }));
    const auto lines = hub.Launches();
    EXPECT_EQ(lines[0].substr(0, lines[0].find(L'|')), TempDir() + L"\\tb.exe");
    EXPECT_NE(lines[0].find(L" -#ZQC1."), std::wstring::npos);
    EXPECT_EQ(lines[0].find(L"\"-#"), std::wstring::npos);  // passed without quotes
    EXPECT_EQ(lines[1], L"decoded|name=Alpha \u00e9|kind=PostgreSQL|server=a-server|port=5432|database=sales db"
                        L"|user=report|password=yes");
}

}  // namespace
