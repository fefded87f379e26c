// The change watch on its own, with the real registry and real folders: what
// the pages' end-to-end tests cannot tell apart. A burst rings once; a key
// that does not exist yet rings when it appears, not when its parent's other
// subkeys change; a folder on a share that does not answer holds up neither
// the other places nor the watch's end.
// Here with the end-to-end tests, which the hung share is mounted for.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/os/ChangeWatch.h"
#include "tests/HungShare.h"
#include "tests/e2e/E2eSupport.h"

namespace {

using e2e::E2eTest;
using namespace std::chrono_literals;

TEST_F(E2eTest, ChangeWatchRingsOnceForABurstOfFiles) {
    const std::wstring folder = TempDir() + L"\\burst";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    // A quiet time long enough that a loaded machine cannot split the burst.
    os::ChangeWatch watch(300ms, 10s);
    watch.Watch({}, {folder});
    ASSERT_TRUE(e2e::WaitFor([&] { return watch.Armed(); }));

    for (int i = 0; i < 300; ++i) WriteFile(L"burst\\s" + std::to_wstring(i) + L".sql", "SELECT 1;");
    ASSERT_TRUE(e2e::WaitFor([&] { return watch.Rings() > 0; }));
    ::Sleep(1000);
    EXPECT_EQ(watch.Rings(), 1u);

    // A burst that does not end rings while it lasts, not only after it.
    os::ChangeWatch endless(300ms, 1s);
    endless.Watch({}, {folder});
    ASSERT_TRUE(e2e::WaitFor([&] { return endless.Armed(); }));
    const ULONGLONG end = ::GetTickCount64() + 3500;
    for (int i = 0; ::GetTickCount64() < end; ++i) {
        WriteFile(L"burst\\e" + std::to_wstring(i % 50) + L".sql", "SELECT 2;");
        ::Sleep(20);
    }
    EXPECT_GE(endless.Rings(), 2u);
}

TEST_F(E2eTest, ChangeWatchSeesAKeyAppearButNotItsParentsOtherChanges) {
    const std::wstring parent = L"Software\\Zerudozuz\\WatchTest";
    e2e::SetString(parent, L"Here", L"1");
    os::ChangeWatch watch(100ms, 1s);
    watch.Watch({parent + L"\\Later\\Settings"}, {});
    ASSERT_TRUE(e2e::WaitFor([&] { return watch.Armed(); }));

    e2e::SetString(parent + L"\\Other", L"Value", L"x");
    e2e::SetString(parent, L"Here", L"2");
    ::Sleep(700);
    EXPECT_EQ(watch.Rings(), 0u) << "the parent's other changes are not the key's";

    e2e::SetString(parent + L"\\Later\\Settings", L"Library", L"C:\\a");
    ASSERT_TRUE(e2e::WaitFor([&] { return watch.Rings() == 1; }, 5000)) << "the key appeared";
    ::Sleep(300);  // armed on the key itself now
    e2e::SetString(parent + L"\\Later\\Settings", L"Library", L"C:\\b");
    EXPECT_TRUE(e2e::WaitFor([&] { return watch.Rings() == 2; }, 5000)) << "a value of the key changed";
    e2e::DeleteTree(parent + L"\\Later");
    EXPECT_TRUE(e2e::WaitFor([&] { return watch.Rings() == 3; }, 5000)) << "the key went";
}

TEST_F(E2eTest, ChangeWatchOverAShareThatDoesNotAnswerWatchesTheRestAndGoesAtOnce) {
    test::HungShare share;
    if (!share.Available()) GTEST_SKIP() << share.Why();
    share.PutFolder(L"dead\\library");
    ASSERT_TRUE(share.Hang(L"getattr dead/*"));
    const std::wstring key = L"Software\\Zerudozuz\\WatchTest";
    e2e::SetString(key, L"Value", L"1");
    ULONGLONG took = 0;
    {
        auto watch = std::make_unique<os::ChangeWatch>(100ms, 1s);
        watch->Watch({key}, {share.Path(L"dead\\library")});
        ::Sleep(500);
        EXPECT_FALSE(watch->Armed()) << "arming the folder hangs on the share";
        e2e::SetString(key, L"Value", L"2");
        EXPECT_TRUE(e2e::WaitFor([&] { return watch->Rings() == 1; }, 5000))
            << "the key is watched meanwhile";
        const ULONGLONG start = ::GetTickCount64();
        watch.reset();
        took = ::GetTickCount64() - start;
    }
    EXPECT_LT(took, 200u) << "the watch went without waiting for its thread";
}

}  // namespace
