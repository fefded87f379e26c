// The profile store on disk, DPAPI and CNG as Wine provides them.
#include <windows.h>
#include <shellapi.h>
#include <wincrypt.h>

#include "platform/connection/ConnText.h"
#include "platform/connection/ProfileStore.h"
#include "platform/connection/Win32ConnCrypto.h"
#include "tests/SampleProfiles.h"
#include "tests/win/WinTestSupport.h"

namespace {

int CountFiles(const std::wstring& folder) {
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &d);
    int n = 0;
    if (h == INVALID_HANDLE_VALUE) return 0;
    do {
        if (!(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++n;
    } while (FindNextFileW(h, &d));
    FindClose(h);
    return n;
}

// A store whose write stops after the temporary file is complete.
class InterruptedStore : public conn::ProfileStore {
public:
    using conn::ProfileStore::ProfileStore;
    std::string tempBytes;

protected:
    bool BeforeReplace(const std::wstring& tempPath) override {
        tempBytes = test::ReadFileBytes(tempPath);
        return false;
    }
};

class ConnStoreTest : public WinTest {
protected:
    std::wstring StorePath() const { return TempDir() + L"\\Zerudozuz\\Connections\\profiles.zcp"; }
};

}  // namespace

TEST_F(ConnStoreTest, PackRoundTripsEveryFieldThroughDpapi) {
    const CONN_INFO in = test::FullProfile();
    const std::wstring packed = in.Pack(L"??").text;
    for (wchar_t c : packed) ASSERT_TRUE(c > L' ' && c < 0x7F && c != L'"' && c != L'\\');
    // The command line a started program sees: one argument, unchanged.
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW((L"tb.exe -#" + packed).c_str(), &argc);
    ASSERT_EQ(argc, 2);
    EXPECT_EQ(std::wstring(argv[1]), L"-#" + packed);
    LocalFree(argv);
    CONN_INFO out;
    std::wstring error;
    ASSERT_TRUE(CONN_INFO::Unpack(packed, conn::CurrentUserProtector(), out, error)) << error;
    EXPECT_TRUE(out.SameSettings(in));
    EXPECT_EQ(out.password, in.password);
    CONN_INFO empty;
    ASSERT_TRUE(CONN_INFO::Unpack(empty.Pack(L"??").text, conn::CurrentUserProtector(), out, error)) << error;
    EXPECT_TRUE(out.SameSettings(empty));
    EXPECT_EQ(out.password, L"");
    // A password protected by DPAPI with other entropy is not taken.
    DATA_BLOB plain{4, reinterpret_cast<BYTE*>(const_cast<char*>("x\0y\0"))}, sealed{};
    ASSERT_TRUE(CryptProtectData(&plain, nullptr, nullptr, nullptr, nullptr, 0, &sealed));
    CONN_INFO foreign;
    foreign.protectedPassword.assign(reinterpret_cast<char*>(sealed.pbData), sealed.cbData);
    LocalFree(sealed.pbData);
    EXPECT_FALSE(CONN_INFO::Unpack(foreign.Pack(L"??").text, conn::CurrentUserProtector(), out, error));
}

TEST_F(ConnStoreTest, PackedTextMatchesTheNativeBuild) {
    EXPECT_EQ(test::PackedSample().Pack(L"").text, test::kPackedSampleText);
}

TEST_F(ConnStoreTest, CngDerivesAndSealsAsSpecified) {
    conn::CngCipher cipher;
    // PBKDF2-HMAC-SHA256("password", "salt", 1 iteration), 32 bytes.
    const auto key = cipher.DeriveKey("password", "salt", 1);
    ASSERT_TRUE(key);
    EXPECT_EQ(conn::Base64Encode(*key, false), "Eg+2z/z4syxD5yJSVsT4N6hlSMkszDVICAWYfLcL4Xs=");
    const std::string nonce(12, '\x07');
    const auto sealed = cipher.Seal(*key, nonce, "secret", "aad");
    ASSERT_TRUE(sealed);
    EXPECT_EQ(sealed->size(), 6u + 16u);
    EXPECT_EQ(*cipher.Open(*key, nonce, *sealed, "aad"), "secret");
    EXPECT_FALSE(cipher.Open(*key, nonce, *sealed, "other"));
    std::string flipped = *sealed;
    flipped[0] ^= 1;
    EXPECT_FALSE(cipher.Open(*key, nonce, flipped, "aad"));
    const auto r1 = cipher.Random(16), r2 = cipher.Random(16);
    ASSERT_TRUE(r1 && r2);
    EXPECT_NE(*r1, *r2);

    const std::wstring pass = L"l\u00f6sen";
    const std::string file = conn::WriteExport({test::FullProfile()}, &cipher, &pass, 100000).bytes;
    const auto back = conn::ReadExport(file, &cipher, &pass);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back.profiles[0].password, test::FullProfile().password);
    const std::wstring wrong = L"losen";
    EXPECT_EQ(conn::ReadExport(file, &cipher, &wrong).error, conn::FileError::WrongPassphrase);
}

TEST_F(ConnStoreTest, StoreRoundTripsWithProtectedPasswords) {
    conn::ProfileStore store(StorePath());
    auto first = store.Load();
    EXPECT_TRUE(first.profiles.empty());
    EXPECT_EQ(first.problem, L"");
    CONN_INFO a = test::FullProfile();
    ASSERT_TRUE(conn::ProtectPassword(a, conn::CurrentUserProtector()));
    EXPECT_TRUE(a.password.empty());
    CONN_INFO b;
    b.name = L"b";
    std::wstring error;
    ASSERT_TRUE(store.Save({a, b}, error)) << error;
    const std::string bytes = test::ReadFileBytes(StorePath());
    EXPECT_EQ(bytes.find("ss \"w"), std::string::npos);
    EXPECT_EQ(bytes.find(conn::UnitsToLe(conn::ToUnits(test::FullProfile().password))), std::string::npos);
    conn::ProfileStore again(StorePath());
    const auto loaded = again.Load();
    ASSERT_EQ(loaded.problem, L"");
    ASSERT_EQ(loaded.profiles.size(), 2u);
    EXPECT_TRUE(loaded.profiles[0].SameSettings(test::FullProfile()));
    EXPECT_EQ(conn::RevealPassword(loaded.profiles[0], conn::CurrentUserProtector()),
              test::FullProfile().password);
    EXPECT_EQ(conn::RevealPassword(loaded.profiles[1], conn::CurrentUserProtector()), L"");
    EXPECT_EQ(CountFiles(TempDir() + L"\\Zerudozuz\\Connections"), 1);  // no temporary file left
}

TEST_F(ConnStoreTest, InterruptedWriteLeavesTheOldStoreWhole) {
    conn::ProfileStore store(StorePath());
    std::wstring error;
    CONN_INFO old;
    old.name = L"old";
    ASSERT_TRUE(store.Save({old}, error));
    const std::string before = test::ReadFileBytes(StorePath());
    InterruptedStore interrupted(StorePath());
    CONN_INFO added;
    added.name = L"new";
    EXPECT_FALSE(interrupted.Save({old, added}, error));
    EXPECT_NE(error.find(L"unchanged"), std::wstring::npos);
    EXPECT_NE(interrupted.tempBytes.find("name=new"),
              std::string::npos);  // the new store was written in full
    EXPECT_EQ(test::ReadFileBytes(StorePath()), before);
    EXPECT_EQ(CountFiles(TempDir() + L"\\Zerudozuz\\Connections"), 1);
    // A temporary file left by a killed write is not taken for the store.
    ASSERT_TRUE(test::WriteFileBytes(StorePath() + L".tmp-1-2", "ZQ-PROFILES 1\r\nprofile\r\nna"));
    const auto loaded = conn::ProfileStore(StorePath()).Load();
    ASSERT_EQ(loaded.profiles.size(), 1u);
    EXPECT_EQ(loaded.profiles[0].name, L"old");
}

TEST_F(ConnStoreTest, UnreadableStoreIsMovedAsideNotOverwritten) {
    const std::string garbage = "ZQ-PROFILES 1\r\nprofile\r\nname=x\r\nbroken\r\n";
    ASSERT_TRUE(test::WriteFileBytes(StorePath(), garbage));
    conn::ProfileStore store(StorePath());
    const auto r = store.Load();
    EXPECT_TRUE(r.profiles.empty());
    EXPECT_NE(r.problem.find(L"Line 4"), std::wstring::npos);
    ASSERT_NE(r.movedTo, L"");
    EXPECT_NE(r.movedTo.find(L"profiles.zcp.unreadable-"), std::wstring::npos);
    EXPECT_EQ(test::ReadFileBytes(r.movedTo), garbage);
    EXPECT_FALSE(test::FileExists(StorePath()));
    std::wstring error;
    CONN_INFO fresh;
    fresh.name = L"fresh";
    EXPECT_TRUE(store.Save({fresh}, error));
    EXPECT_EQ(test::ReadFileBytes(r.movedTo), garbage);
}

TEST_F(ConnStoreTest, StoreBeyondThisVersionStaysInPlaceReadOnly) {
    // Another program of the suite may have written a newer format or more
    // profiles than this version keeps: the file is neither moved nor written.
    std::string tooMany = "ZQ-PROFILES 1\r\n";
    for (std::size_t i = 0; i <= conn::kMaxProfiles; ++i) tooMany += "profile\r\nname=p\r\nend\r\n";
    tooMany += "eof " + std::to_string(conn::kMaxProfiles + 1) + "\r\n";
    const std::string files[] = {"ZQ-PROFILES 7\r\nfuture\r\n", tooMany,
                                 std::string(conn::kMaxFileBytes + 1, 'x')};
    for (const std::string& bytes : files) {
        ASSERT_TRUE(test::WriteFileBytes(StorePath(), bytes));
        conn::ProfileStore store(StorePath());
        const auto r = store.Load();
        EXPECT_TRUE(r.profiles.empty());
        EXPECT_NE(r.problem.find(L"left as it is"), std::wstring::npos);
        EXPECT_EQ(r.movedTo, L"");
        EXPECT_FALSE(store.Writable());
        std::wstring error;
        CONN_INFO a;
        a.name = L"a";
        EXPECT_FALSE(store.Save({a}, error));
        const auto update = conn::ProfileStore(StorePath()).Update([](std::vector<CONN_INFO>& p) {
            p.emplace_back().name = L"b";
            return true;
        });
        EXPECT_NE(update.problem, L"");
        EXPECT_EQ(test::ReadFileBytes(StorePath()), bytes);
        EXPECT_EQ(CountFiles(TempDir() + L"\\Zerudozuz\\Connections"), 1);
    }
}

TEST_F(ConnStoreTest, StoreThatCannotBeOpenedIsNeverWritten) {
    conn::ProfileStore store(StorePath());
    std::wstring error;
    CONN_INFO a;
    a.name = L"a";
    ASSERT_TRUE(store.Save({a}, error));
    // Held open without sharing by another program.
    HANDLE lock = CreateFileW(StorePath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    const auto r = store.Load();
    EXPECT_NE(r.problem, L"");
    EXPECT_FALSE(store.Writable());
    CloseHandle(lock);
    EXPECT_FALSE(store.Save({}, error));
    EXPECT_EQ(conn::ProfileStore(StorePath()).Load().profiles.size(), 1u);
}

TEST_F(ConnStoreTest, PathsGoToTheSystemInLongForm) {
    // The temporary file, the lock and the set-aside copy are a little longer
    // than the store's path; in long form the path length limit does not apply.
    EXPECT_EQ(conn::LongPathForm(L"C:\\Users\\a\\profiles.zcp"), L"\\\\?\\C:\\Users\\a\\profiles.zcp");
    EXPECT_EQ(conn::LongPathForm(L"\\\\server\\share\\p.zcp"), L"\\\\?\\UNC\\server\\share\\p.zcp");
    EXPECT_EQ(conn::LongPathForm(L"\\\\?\\C:\\x"), L"\\\\?\\C:\\x");
    EXPECT_EQ(conn::LongPathForm(L"C:/a/./b/../p.zcp"),
              L"\\\\?\\C:\\a\\p.zcp");  // the form takes no '/' or '..'
    wchar_t cwd[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    std::wstring folder = cwd;
    if (folder.back() != L'\\') folder += L'\\';
    EXPECT_EQ(conn::LongPathForm(L"rel.zcp"), L"\\\\?\\" + folder + L"rel.zcp");
}
