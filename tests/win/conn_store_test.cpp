// The profile store on disk, DPAPI and CNG as Wine provides them.
#include <windows.h>
#include <shellapi.h>
#include <wincrypt.h>
#include <bcrypt.h>

#include <functional>
#include <optional>
#include <tuple>
#include <vector>

#include "platform/connection/ConnText.h"
#include "platform/connection/ProfileFile.h"
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
    const auto key = cipher.DeriveKey(conn::SecretBytes("password", 8), "salt", 1);
    ASSERT_TRUE(key);
    EXPECT_EQ(conn::Base64Encode(std::string(key->View()), false),
              "Eg+2z/z4syxD5yJSVsT4N6hlSMkszDVICAWYfLcL4Xs=");
    const std::string nonce(12, '\x07');
    const auto sealed = cipher.Seal(*key, nonce, conn::SecretBytes("secret", 6), "aad");
    ASSERT_TRUE(sealed);
    EXPECT_EQ(sealed->size(), 6u + 16u);
    EXPECT_EQ(cipher.Open(*key, nonce, *sealed, "aad")->View(), "secret");
    EXPECT_FALSE(cipher.Open(*key, nonce, *sealed, "other"));
    std::string flipped = *sealed;
    flipped[0] ^= 1;
    EXPECT_FALSE(cipher.Open(*key, nonce, flipped, "aad"));
    // The program's own key derivation gives the system's keys.
    for (const auto& [pass, salt, iterations] :
         {std::tuple<std::string, std::string, ULONG>{"", "salt", 2},
          {"l\xC3\xB6sen", std::string(16, '\0'), 1000},
          {std::string(65, 'k'), "s", 3},
          {std::string(1000, '\xE9'), std::string(16, '\x7F'), 4097}}) {
        const auto algorithm = [] {
            BCRYPT_ALG_HANDLE h = nullptr;
            BCryptOpenAlgorithmProvider(&h, BCRYPT_SHA256_ALGORITHM, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG);
            return h;
        }();
        ASSERT_NE(algorithm, nullptr);
        std::string system(32, '\0'), p = pass, s = salt;
        ASSERT_EQ(
            BCryptDeriveKeyPBKDF2(algorithm, reinterpret_cast<PUCHAR>(p.data()), static_cast<ULONG>(p.size()),
                                  reinterpret_cast<PUCHAR>(s.data()), static_cast<ULONG>(s.size()),
                                  iterations, reinterpret_cast<PUCHAR>(system.data()), 32, 0),
            0);
        BCryptCloseAlgorithmProvider(algorithm, 0);
        const auto own = cipher.DeriveKey(conn::SecretBytes(pass.data(), pass.size()), salt, iterations);
        ASSERT_TRUE(own);
        EXPECT_EQ(own->View(), system) << pass.size() << " " << iterations;
    }
    const auto r1 = cipher.Random(16), r2 = cipher.Random(16);
    ASSERT_TRUE(r1 && r2);
    EXPECT_NE(*r1, *r2);

    const conn::SecretText pass(L"l\u00f6sen");
    const std::string file = conn::WriteExport({test::FullProfile()}, &cipher, &pass, 100000).bytes;
    const auto back = conn::ReadExport(file, &cipher, &pass);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back.profiles[0].password, test::FullProfile().password);
    const conn::SecretText wrong(L"losen");
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
    EXPECT_EQ(bytes.find(conn::LeBytes(test::FullProfile().password).View()), std::string::npos);
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

namespace {

// A link at `link` to `target` as the system makes one: under Wine a link of
// the file system beneath it, which Wine follows without saying so.
bool MakeLink(const std::wstring& target, const std::wstring& link) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (!unixName) return CreateSymbolicLinkW(link.c_str(), target.c_str(), 0) != FALSE;
    char* from = unixName(target.c_str());
    char* to = unixName(link.c_str());
    std::wstring cmd = L"/bin/ln -s \"";
    for (const char* c = from; c && *c; ++c) cmd += static_cast<wchar_t>(*c);
    cmd += L"\" \"";
    for (const char* c = to; c && *c; ++c) cmd += static_cast<wchar_t>(*c);
    cmd += L"\"";
    HeapFree(GetProcessHeap(), 0, from);
    HeapFree(GetProcessHeap(), 0, to);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(L"Z:\\bin\\ln", cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    // The program of the file system below runs on after Wine's process for it has ended.
    for (int tries = 0; tries < 100; ++tries, Sleep(50)) {
        WIN32_FIND_DATAW d;
        const HANDLE found = FindFirstFileW(link.c_str(), &d);
        if (found == INVALID_HANDLE_VALUE) continue;
        FindClose(found);
        return true;
    }
    return false;
}

// A store whose Load meets another program at the moment it has judged the
// store damaged and not yet taken the lock to set it aside.
class RacedStore : public conn::ProfileStore {
public:
    using conn::ProfileStore::ProfileStore;
    std::function<void()> meanwhile;

protected:
    void AfterJudgedDamaged() override {
        if (meanwhile) meanwhile();
    }
};

std::vector<std::wstring> SetAsideCopies(const std::wstring& folder) {
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW((folder + L"\\profiles.zcp.unreadable-*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return found;
    do found.push_back(folder + L"\\" + d.cFileName);
    while (FindNextFileW(h, &d));
    FindClose(h);
    return found;
}

}  // namespace

TEST_F(ConnStoreTest, ALockThatCannotBeUsedIsSaidAtOnceAndNothingOfItDeleted) {
    const std::wstring target = TempDir() + L"\\file of another program.txt";
    ASSERT_TRUE(test::WriteFileBytes(target, "keep me"));
    const std::pair<const wchar_t*, std::function<bool(const std::wstring&)>> kinds[] = {
        {L"a folder",
         [](const std::wstring& lock) { return CreateDirectoryW(lock.c_str(), nullptr) != FALSE; }},
        {L"a read-only file",
         [](const std::wstring& lock) {
             return test::WriteFileBytes(lock, "") &&
                    SetFileAttributesW(lock.c_str(), FILE_ATTRIBUTE_READONLY);
         }},
        {L"a link", [&](const std::wstring& lock) { return MakeLink(target, lock); }},
    };
    for (const auto& [kind, make] : kinds) {
        const std::wstring store = TempDir() + L"\\" + kind + L"\\profiles.zcp", lock = store + L".lock";
        ASSERT_TRUE(CreateDirectoryW((TempDir() + L"\\" + kind).c_str(), nullptr));
        ASSERT_TRUE(make(lock)) << kind;
        const ULONGLONG start = GetTickCount64();
        const conn::StoreLock held(store, 30000);
        // Not a wait of 30 s that ends in "another program is changing them".
        EXPECT_LT(GetTickCount64() - start, 10000u) << kind;
        EXPECT_EQ(held.GetState(), conn::StoreLock::State::Unusable) << kind;
        EXPECT_NE(held.Problem().find(lock), std::wstring::npos) << kind;
        EXPECT_NE(held.Problem().find(L"cannot be used"), std::wstring::npos) << kind;
        const auto update = conn::ProfileStore(store).Update([](std::vector<CONN_INFO>&) { return true; });
        EXPECT_EQ(update.problem, held.Problem());
        EXPECT_NE(GetFileAttributesW(lock.c_str()), INVALID_FILE_ATTRIBUTES) << kind;  // still there
        EXPECT_EQ(test::ReadFileBytes(target), "keep me") << kind;
    }
    // A plain lock file left behind is taken, and deleted when let go.
    ASSERT_TRUE(test::WriteFileBytes(StorePath() + L".lock", ""));
    {
        const conn::StoreLock held(StorePath(), 0);
        EXPECT_TRUE(held.Held()) << held.Problem();
    }
    EXPECT_FALSE(test::FileExists(StorePath() + L".lock"));
}

TEST_F(ConnStoreTest, AFileWhereTheFolderShouldBeIsNamed) {
    ASSERT_TRUE(test::WriteFileBytes(TempDir() + L"\\Zerudozuz\\Connections", "not a folder"));
    conn::ProfileStore store(StorePath());
    EXPECT_TRUE(store.Load().profiles.empty());
    std::wstring error;
    CONN_INFO a;
    a.name = L"a";
    EXPECT_FALSE(store.Save({a}, error));
    const auto update = conn::ProfileStore(StorePath()).Update([](std::vector<CONN_INFO>&) { return true; });
    for (const std::wstring& message : {error, update.problem}) {
        EXPECT_NE(message.find(L"A file named \"Connections\""), std::wstring::npos)
            << std::string(message.begin(), message.end());
        EXPECT_NE(message.find(TempDir() + L"\\Zerudozuz\\Connections"), std::wstring::npos);
    }
    EXPECT_EQ(test::ReadFileBytes(TempDir() + L"\\Zerudozuz\\Connections"), "not a folder");
}

TEST_F(ConnStoreTest, TwoProgramsFindingOneDamagedStoreSetItAsideOnceAndBothSayWhere) {
    const std::string damaged = "ZQ-PROFILES 1\r\nprofile\r\nname=x\r\nbroken\r\n";
    const std::wstring folder = TempDir() + L"\\Zerudozuz\\Connections";
    ASSERT_TRUE(test::WriteFileBytes(StorePath(), damaged));
    RacedStore first(StorePath());
    conn::ProfileStore::LoadResult other;
    first.meanwhile = [&] { other = conn::ProfileStore(StorePath()).Load(); };
    const auto mine = first.Load();
    const auto copies = SetAsideCopies(folder);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(test::ReadFileBytes(copies[0]), damaged);
    for (const conn::ProfileStore::LoadResult* r :
         std::initializer_list<const conn::ProfileStore::LoadResult*>{&mine, &other}) {
        EXPECT_EQ(r->movedTo, copies[0]);
        EXPECT_NE(r->problem.find(copies[0]), std::wstring::npos);
        EXPECT_NE(r->problem.find(L"Line 4"), std::wstring::npos);
    }
    EXPECT_TRUE(first.Writable());

    // Replaced by a sound store meanwhile: that one is read, and nothing is set aside.
    ASSERT_TRUE(DeleteFileW(copies[0].c_str()));
    ASSERT_TRUE(test::WriteFileBytes(StorePath(), damaged));
    first.meanwhile = [&] {
        CONN_INFO fresh;
        fresh.name = L"fresh";
        std::wstring error;
        ASSERT_TRUE(conn::WriteFileAtomic(StorePath(), conn::SerializeStore({fresh}), error));
    };
    const auto replaced = first.Load();
    EXPECT_EQ(replaced.problem, L"");
    ASSERT_EQ(replaced.profiles.size(), 1u);
    EXPECT_EQ(replaced.profiles[0].name, L"fresh");
    EXPECT_TRUE(SetAsideCopies(folder).empty());

    // Another program holds the lock all the while: the file stays where it is, unwritten.
    ASSERT_TRUE(test::WriteFileBytes(StorePath(), damaged));
    std::optional<conn::StoreLock> held;
    first.meanwhile = [&] { held.emplace(StorePath(), 0); };
    const auto locked = first.Load();
    EXPECT_NE(locked.problem.find(L"left as it is"), std::wstring::npos);
    EXPECT_FALSE(first.Writable());
    EXPECT_EQ(test::ReadFileBytes(StorePath()), damaged);
    EXPECT_TRUE(SetAsideCopies(folder).empty());
}
