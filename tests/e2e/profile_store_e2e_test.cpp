// Several real processes add profiles to one store at the same time, each
// profile by its own read-merge-write: with the store's lock none is lost.
#include <windows.h>

#include <set>
#include <optional>
#include <string>
#include <vector>

#include "platform/connection/ProfileStore.h"
#include "tests/ScopedEnvironment.h"
#include "tests/e2e/E2eSupport.h"

namespace {

class ProfileStoreE2eTest : public e2e::E2eTest {
protected:
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
