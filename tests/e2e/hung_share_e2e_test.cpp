// The hung share itself (tests/HungShare.h): a read on it holds the thread
// that reads, and nothing else, until the server is killed; what a test lets
// answer answers. Every test of the program on a hung share relies on both.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/HungShare.h"

namespace {

// Reads the file on a thread of its own; the exit code is the bytes read, or
// 0xFFFF when the read failed. The thread owns what it reads from, so that it
// may outlive the test.
HANDLE StartRead(const std::wstring& path) {
    auto* owned = new std::wstring(path);
    return ::CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            const std::wstring* file = static_cast<std::wstring*>(p);
            HANDLE h = ::CreateFileW(file->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                     nullptr);
            delete file;
            if (h == INVALID_HANDLE_VALUE) return 0xFFFF;
            char buffer[64];
            DWORD got = 0;
            const BOOL ok = ::ReadFile(h, buffer, sizeof buffer, &got, nullptr);
            ::CloseHandle(h);
            return ok ? got : 0xFFFF;
        },
        owned, 0, nullptr);
}

TEST(HungShareTest, AReadHoldsItsThreadAloneUntilTheServerIsKilled) {
    test::HungShare share;
    if (!share.Available()) GTEST_SKIP() << share.Why();
    const std::wstring hung = share.Put(L"hung.txt", "never read");
    const std::wstring fine = share.Put(L"answers\\fine.txt", "read");
    ASSERT_TRUE(share.Hang(L"read hung.txt"));

    HANDLE reader = StartRead(hung);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(::WaitForSingleObject(reader, 500), static_cast<DWORD>(WAIT_TIMEOUT)) << "the read answered";
    // Meanwhile the share answers everything else: the hung file's entry, and
    // other files.
    WIN32_FILE_ATTRIBUTE_DATA facts{};
    EXPECT_TRUE(::GetFileAttributesExW(hung.c_str(), GetFileExInfoStandard, &facts));
    EXPECT_EQ(facts.nFileSizeLow, 10u);
    EXPECT_EQ(test::ReadFileBytes(fine), "read");

    ASSERT_TRUE(share.KillServer());
    ASSERT_EQ(::WaitForSingleObject(reader, 10000), static_cast<DWORD>(WAIT_OBJECT_0))
        << "the kill did not release the read";
    DWORD code = 0;
    ::GetExitCodeThread(reader, &code);
    EXPECT_EQ(code, 0xFFFFu) << "a read released by the kill fails";
    ::CloseHandle(reader);
    // A new server answers on the same folder.
    EXPECT_EQ(test::ReadFileBytes(fine), "read");
}

}  // namespace
