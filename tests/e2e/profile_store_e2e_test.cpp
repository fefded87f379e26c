// The shared store with several real processes at once: programs adding
// profiles each by its own read-merge-write lose none, with the store's lock;
// a program that holds the store open for a moment does not make a save
// fail; two hubs starting on one damaged store set it aside once and both say
// where it went.
#include <windows.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/connection/ProfileStore.h"
#include "tests/ScopedEnvironment.h"
#include "tests/e2e/E2eSupport.h"

namespace {

// Starts a demo program of the build with these arguments; its process, or null.
HANDLE StartDemo(const std::wstring& program, const std::wstring& arguments, const std::wstring& dir) {
    const std::wstring exe = test::ProgramFolder() + L"\\demo\\" + program;
    std::wstring cmd = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si,
                          &pi))
        return nullptr;
    ::CloseHandle(pi.hThread);
    return pi.hProcess;
}

// Whether another process has `path` open without delete sharing, as a replace finds it.
bool HeldOpen(const std::wstring& path) {
    const HANDLE h =
        ::CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    return h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW d;
    HANDLE h = ::FindFirstFileW((folder + L"\\*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(d.cFileName);
    } while (::FindNextFileW(h, &d));
    ::FindClose(h);
    return names;
}

class ProfileStoreE2eTest : public e2e::E2eTest {
protected:
    std::wstring Folder() const { return TempDir() + L"\\Zerudozuz\\Connections"; }
    std::wstring StorePath() const { return Folder() + L"\\profiles.zcp"; }
    void SetUp() override {
        E2eTest::SetUp();
        m_appData.emplace(L"APPDATA", TempDir());  // the writers inherit it
    }
    void TearDown() override {
        m_appData.reset();
        E2eTest::TearDown();
    }
    std::optional<test::ScopedEnvironment> m_appData;
};

}  // namespace

TEST_F(ProfileStoreE2eTest, ConcurrentWritersLoseNoProfile) {
    constexpr int kWriters = 3;
    constexpr int kEach = 40;
    const std::wstring exe = test::ProgramFolder() + L"\\demo\\profilewriter.exe";
    std::vector<PROCESS_INFORMATION> running;
    for (int w = 0; w < kWriters; ++w) {
        std::wstring cmd = L"\"" + exe + L"\" Writer" + std::to_wstring(w) + L" " + std::to_wstring(kEach);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     TempDir().c_str(), &si, &pi));
        running.push_back(pi);
    }
    for (PROCESS_INFORMATION& pi : running) {
        EXPECT_EQ(::WaitForSingleObject(pi.hProcess, 120000), WAIT_OBJECT_0);
        DWORD code = 99;
        ::GetExitCodeProcess(pi.hProcess, &code);
        EXPECT_EQ(code, 0u);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
    const std::wstring folder = TempDir() + L"\\Zerudozuz\\Connections";
    const auto stored = conn::ProfileStore(folder + L"\\profiles.zcp").Load();
    ASSERT_EQ(stored.problem, L"");
    std::set<std::wstring> names;
    for (const CONN_INFO& p : stored.profiles) names.insert(p.name);
    EXPECT_EQ(stored.profiles.size(), static_cast<std::size_t>(kWriters * kEach));
    for (int w = 0; w < kWriters; ++w)
        for (int i = 1; i <= kEach; ++i)
            EXPECT_EQ(names.count(L"Writer" + std::to_wstring(w) + L" " + std::to_wstring(i)), 1u)
                << w << " " << i;
    // Neither the lock nor a temporary file is left behind.
    WIN32_FIND_DATAW d;
    HANDLE h = ::FindFirstFileW((folder + L"\\*").c_str(), &d);
    int files = 0;
    do {
        if (!(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
    } while (::FindNextFileW(h, &d));
    ::FindClose(h);
    EXPECT_EQ(files, 1);
}

TEST_F(ProfileStoreE2eTest, ASaveWaitsForAProgramThatHoldsTheStoreOpenForAMoment) {
    std::vector<CONN_INFO> profiles(1);
    profiles[0].name = L"first";
    std::wstring error;
    ASSERT_TRUE(conn::ProfileStore(StorePath()).Save(profiles, error))
        << std::string(error.begin(), error.end());
    // As a virus scanner or a sync client reads a new file: held open with read sharing only.
    HANDLE holder = StartDemo(L"profilewriter.exe", L"--hold-open \"" + StorePath() + L"\" 1500", TempDir());
    ASSERT_NE(holder, nullptr);
    ASSERT_TRUE(e2e::WaitFor([&] { return HeldOpen(StorePath()); }));
    profiles.emplace_back().name = L"second";
    EXPECT_TRUE(conn::ProfileStore(StorePath()).Save(profiles, error))
        << std::string(error.begin(), error.end());
    EXPECT_EQ(::WaitForSingleObject(holder, 30000), WAIT_OBJECT_0);
    ::CloseHandle(holder);
    EXPECT_EQ(conn::ProfileStore(StorePath()).Load().profiles.size(), 2u);

    // Held for longer than the save waits: it says so, and the store is as it was.
    const std::string before = test::ReadFileBytes(StorePath());
    holder = StartDemo(L"profilewriter.exe", L"--hold-open \"" + StorePath() + L"\" 8000", TempDir());
    ASSERT_NE(holder, nullptr);
    ASSERT_TRUE(e2e::WaitFor([&] { return HeldOpen(StorePath()); }));
    profiles.emplace_back().name = L"third";
    EXPECT_FALSE(conn::ProfileStore(StorePath()).Save(profiles, error));
    EXPECT_NE(error.find(L"another program kept it open"), std::wstring::npos)
        << std::string(error.begin(), error.end());
    EXPECT_EQ(::WaitForSingleObject(holder, 30000), WAIT_OBJECT_0);
    ::CloseHandle(holder);
    EXPECT_EQ(test::ReadFileBytes(StorePath()), before);
    EXPECT_EQ(FilesIn(Folder()), std::vector<std::wstring>{L"profiles.zcp"});  // no temporary file left
}

TEST_F(ProfileStoreE2eTest, TwoHubsStartingOnOneDamagedStoreSetItAsideOnceAndBothSayWhere) {
    const std::string damaged = "ZQ-PROFILES 1\r\nprofile\r\nname=x\r\nbroken\r\n";
    WriteFile(L"Zerudozuz\\Connections\\profiles.zcp", damaged);
    // Another program of the suite is changing the profiles as both start: both
    // find the store damaged before either may set it aside. Held for nearly
    // as long as a program waits for the lock (5 s), so that a hub that is slow
    // to start (a busy machine) still reads the store before the other moves
    // it; one that reads it only after that finds no store and rightly says
    // nothing.
    const HANDLE busy = StartDemo(L"profilewriter.exe", L"--hold-lock 4500", TempDir());
    ASSERT_NE(busy, nullptr);
    ASSERT_TRUE(e2e::WaitFor([&] { return HeldOpen(StorePath() + L".lock"); }));
    e2e::Hub first, second;
    ASSERT_TRUE(first.Launch());
    ASSERT_TRUE(second.Launch());
    std::wstring said[2];
    for (int i = 0; i < 2; ++i) {
        const e2e::Hub& hub = i == 0 ? first : second;
        HWND box = e2e::WaitForMessageBox(hub.ProcessId(), L"Connection profiles");
        ASSERT_NE(box, nullptr) << "hub " << i << " said nothing";
        said[i] = e2e::MessageBoxText(box);
        e2e::PressButton(box, IDOK);
    }
    std::vector<std::wstring> copies;
    for (const std::wstring& name : FilesIn(Folder()))
        if (name.rfind(L"profiles.zcp.unreadable-", 0) == 0) copies.push_back(Folder() + L"\\" + name);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(test::ReadFileBytes(copies[0]), damaged);
    for (const std::wstring& message : said) {
        EXPECT_NE(message.find(L"could not be read"), std::wstring::npos)
            << std::string(message.begin(), message.end());
        EXPECT_NE(message.find(copies[0]), std::wstring::npos) << std::string(message.begin(), message.end());
    }
    EXPECT_TRUE(first.WaitForWindow());
    EXPECT_TRUE(second.WaitForWindow());
    EXPECT_EQ(::WaitForSingleObject(busy, 30000), WAIT_OBJECT_0);
    ::CloseHandle(busy);
}
