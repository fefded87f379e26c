#include <gtest/gtest.h>

#include <cstring>

#include "platform/connection/ConnText.h"
#include "platform/connection/ProfileExport.h"
#include "platform/connection/ProfileFile.h"
#include "platform/connection/ProfileMerge.h"
#include "tests/SampleProfiles.h"
#include "tests/host/ConnFakes.h"

using conn::FileError;
using test::StoreProfile;

namespace {

std::string Store(std::vector<CONN_INFO> v) { return conn::SerializeStore(v); }

}  // namespace

TEST(ProfileStoreFile, RoundTripsFieldsAndProtectedPasswords) {
    CONN_INFO a = StoreProfile(L"Sales");
    a.protectedPassword = std::string("\x00\x01\xFF secret blob", 15);
    CONN_INFO b;
    b.name = L"\u6771\u4eac";  // everything else empty
    const std::string text = Store({a, b});
    EXPECT_EQ(text.find("secret"), std::string::npos);
    const auto r = conn::ParseStore(text);
    ASSERT_TRUE(r.ok()) << std::string(r.message.begin(), r.message.end());
    ASSERT_EQ(r.profiles.size(), 2u);
    EXPECT_TRUE(r.profiles[0].SameSettings(a));
    EXPECT_EQ(r.profiles[0].protectedPassword, a.protectedPassword);
    EXPECT_EQ(r.profiles[1].name, b.name);
    EXPECT_EQ(r.profiles[1].server, L"");
    EXPECT_EQ(r.profiles[1].protectedPassword, "");
    // A plain password is never written to the store.
    EXPECT_EQ(Store({StoreProfile(L"x", L"hunter2")}).find("hunter2"), std::string::npos);
    // Empty store, LF line ends and a byte-order mark are read.
    EXPECT_TRUE(conn::ParseStore("\xEF\xBB\xBFZQ-PROFILES 1\neof 0\n").ok());
}

TEST(ProfileStoreFile, EscapesKeepEveryCodeUnit) {
    const std::wstring hostile = std::wstring(L"a\\b\x01\x7F\u0085=\n\r\t") + wchar_t(0xD800) + L"z";
    const std::string escaped = conn::EscapeValue(hostile);
    EXPECT_EQ(escaped.find('\n'), std::string::npos);
    EXPECT_EQ(escaped.find('\x01'), std::string::npos);
    EXPECT_EQ(*conn::UnescapeValue(escaped), hostile);
    EXPECT_FALSE(conn::UnescapeValue("a\\"));
    EXPECT_FALSE(conn::UnescapeValue("\\u12"));
    EXPECT_FALSE(conn::UnescapeValue("\\q"));
    EXPECT_FALSE(conn::UnescapeValue("a\x01"));
    EXPECT_FALSE(conn::UnescapeValue("\xC3"));
}

TEST(ProfileStoreFile, RefusesBadFilesWithSpecificErrors) {
    const std::string good = Store({StoreProfile(L"One"), StoreProfile(L"Two")});
    EXPECT_EQ(conn::ParseStore("").error, FileError::Empty);
    EXPECT_EQ(conn::ParseStore("\r\n").error, FileError::Empty);
    EXPECT_EQ(conn::ParseStore("<html>").error, FileError::OtherFormat);
    EXPECT_EQ(conn::ParseStore("ZQ-EXPORT 1\r\npasswords=none\r\neof 0\r\n").error, FileError::OtherFormat);
    const auto newer = conn::ParseStore("ZQ-PROFILES 2\r\nwhatever\r\n");
    EXPECT_EQ(newer.error, FileError::NewerVersion);
    EXPECT_NE(newer.message.find(L"newer"), std::wstring::npos);
    for (std::size_t cut : {good.size() - 3, good.size() / 2, std::size_t{20}})
        EXPECT_EQ(conn::ParseStore(good.substr(0, cut)).error, FileError::Truncated) << cut;
    EXPECT_EQ(conn::ParseStore(std::string(conn::kMaxFileBytes + 1, 'Z')).error, FileError::TooLarge);
    // A count that does not match means lost lines.
    std::string miscounted = good;
    miscounted.replace(miscounted.find("eof 2"), 5, "eof 3");
    EXPECT_EQ(conn::ParseStore(miscounted).error, FileError::Truncated);
    const auto unknown =
        conn::ParseStore("ZQ-PROFILES 1\r\nprofile\r\nname=a\r\ncolour=red\r\nend\r\neof 1\r\n");
    EXPECT_EQ(unknown.error, FileError::Malformed);
    EXPECT_NE(unknown.message.find(L"Line 4"), std::wstring::npos);
    const char* bad[] = {
        "ZQ-PROFILES 1\r\nprofile\r\nname=a\r\nname=b\r\nend\r\neof 1\r\n",             // repeated field
        "ZQ-PROFILES 1\r\nprofile\r\nkind=x\r\nend\r\neof 1\r\n",                       // no name
        "ZQ-PROFILES 1\r\nprofile\r\nname=\r\nend\r\neof 1\r\n",                        // empty name
        "ZQ-PROFILES 1\r\nprofile\r\nname=a\\u0007b\r\nend\r\neof 1\r\n",               // control in name
        "ZQ-PROFILES 1\r\nprofile\r\nname=a\r\nport=65536\r\nend\r\neof 1\r\n",         // port range
        "ZQ-PROFILES 1\r\nprofile\r\nname=a\r\npassword.dpapi=!!\r\nend\r\neof 1\r\n",  // damaged secret
        "ZQ-PROFILES 1\r\nprofile\r\nname=a\r\npassword.sealed=AAAA\r\nend\r\neof 1\r\n",
        "ZQ-PROFILES 1\r\nprofile\r\nname=a\r\nend\r\neof 1\r\nmore\r\n",
        "ZQ-PROFILES 01\r\neof 0\r\n",
    };
    for (const char* text : bad) EXPECT_FALSE(conn::ParseStore(text).ok()) << text;
    const std::string longName =
        "ZQ-PROFILES 1\r\nprofile\r\nname=" + std::string(257, 'n') + "\r\nend\r\neof 1\r\n";
    EXPECT_EQ(conn::ParseStore(longName).error, FileError::Malformed);
    const std::string longValue =
        "ZQ-PROFILES 1\r\nprofile\r\nname=a\r\noptions=" + std::string(5000, 'o') + "\r\nend\r\neof 1\r\n";
    EXPECT_EQ(conn::ParseStore(longValue).error, FileError::Malformed);
}

TEST(ProfileStoreFile, TooManyProfiles) {
    std::string text = "ZQ-PROFILES 1\r\n";
    for (std::size_t i = 0; i <= conn::kMaxProfiles; ++i) text += "profile\r\nname=p\r\nend\r\n";
    text += "eof " + std::to_string(conn::kMaxProfiles + 1) + "\r\n";
    EXPECT_EQ(conn::ParseStore(text).error, FileError::TooMany);
}

TEST(ProfileExportFile, LeavesPasswordsOutByDefault) {
    const std::string text = conn::WriteExport({StoreProfile(L"A", L"hunter2")}, nullptr, nullptr).bytes;
    EXPECT_EQ(text.find("hunter2"), std::string::npos);
    EXPECT_FALSE(conn::ExportNeedsPassphrase(text));
    const auto r = conn::ReadExport(text, nullptr, nullptr);
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.profiles.size(), 1u);
    EXPECT_TRUE(r.profiles[0].SameSettings(StoreProfile(L"A")));
    EXPECT_EQ(r.profiles[0].password, L"");
    // An export file is not a store and the other way round.
    EXPECT_EQ(conn::ParseStore(text).error, FileError::OtherFormat);
    EXPECT_EQ(conn::ReadExport(Store({StoreProfile(L"A")}), nullptr, nullptr).error, FileError::OtherFormat);
}

// Seals `seals` times and then fails.
class CipherFailingAfter : public connfake::Cipher {
public:
    explicit CipherFailingAfter(int seals) : m_left(seals) {}
    std::optional<std::string> Seal(const conn::SecretBytes& key, const std::string& nonce,
                                    const conn::SecretBytes& plain, const std::string& aad) const override {
        if (m_left-- <= 0) return std::nullopt;
        return connfake::Cipher::Seal(key, nonce, plain, aad);
    }

private:
    mutable int m_left;
};

TEST(ProfileExportFile, ACipherThatFailsGivesNoPartOfTheFile) {
    const conn::SecretText pass(L"passphrase");
    // The passphrase check fails, or the second password after the check and the first.
    for (const auto& [seals, named] : {std::pair{0, L"The passwords"}, std::pair{2, L"\"B\""}}) {
        const CipherFailingAfter cipher(seals);
        const auto r =
            conn::WriteExport({StoreProfile(L"A", L"a"), StoreProfile(L"B", L"b"), StoreProfile(L"C", L"c")},
                              &cipher, &pass, 100000);
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(r.bytes, "");
        EXPECT_NE(r.problem.find(named), std::wstring::npos) << r.problem;
    }
}

TEST(ProfileExportFile, PassphraseSealsPasswords) {
    connfake::Cipher cipher;
    const conn::SecretText pass(L"correct horse \u00e9");
    const std::string text =
        conn::WriteExport({StoreProfile(L"A", L"hunter2"), StoreProfile(L"B")}, &cipher, &pass, 100000).bytes;
    EXPECT_EQ(text.find("hunter2"), std::string::npos);
    EXPECT_EQ(text.find(conn::UnitsToLe(conn::ToUnits(L"hunter2"))), std::string::npos);
    EXPECT_TRUE(conn::ExportNeedsPassphrase(text));
    EXPECT_EQ(conn::ReadExport(text, &cipher, nullptr).error, FileError::PassphraseNeeded);
    const conn::SecretText wrong(L"correct horse e");
    EXPECT_EQ(conn::ReadExport(text, &cipher, &wrong).error, FileError::WrongPassphrase);
    const auto r = conn::ReadExport(text, &cipher, &pass);
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.profiles.size(), 2u);
    EXPECT_EQ(r.profiles[0].password, L"hunter2");
    EXPECT_EQ(r.profiles[1].password, L"");

    // A damaged sealed password fails the whole file.
    std::string damaged = text;
    const std::size_t at = damaged.find("password.sealed=") + 20;
    damaged[at] = damaged[at] == 'A' ? 'B' : 'A';
    const auto d = conn::ReadExport(damaged, &cipher, &pass);
    EXPECT_EQ(d.error, FileError::DamagedSecret);
    EXPECT_TRUE(d.profiles.empty());
    // A sealed password moved to another profile does not open there.
    std::string swapped = text;
    swapped.replace(swapped.find("name=A"), 6, "name=C");
    EXPECT_EQ(conn::ReadExport(swapped, &cipher, &pass).error, FileError::DamagedSecret);
    // Header damage.
    std::string few = text;
    few.replace(few.find("iterations=100000"), 17, "iterations=10");
    EXPECT_EQ(conn::ReadExport(few, &cipher, &pass).error, FileError::Malformed);
    EXPECT_EQ(conn::ReadExport(text.substr(0, 40), &cipher, &pass).error, FileError::Truncated);
}

TEST(ProfileMerge, KeepsExistingProfilesAndReportsClashes) {
    std::vector<CONN_INFO> store = {StoreProfile(L"Sales"), StoreProfile(L"HR"), StoreProfile(L"HR (2)")};
    store[0].protectedPassword = "blob";
    CONN_INFO changed = StoreProfile(L"hr");
    changed.server = L"other";
    std::vector<CONN_INFO> incoming = {StoreProfile(L"Sales"), changed, StoreProfile(L"New"),
                                       StoreProfile(L"New")};
    incoming[3].port = 1;
    const auto r = conn::Merge(
        store, incoming, [](const CONN_INFO&, const CONN_INFO&) { return true; }, conn::AsciiNameCase());
    EXPECT_EQ(r.added, 3);
    EXPECT_EQ(r.alreadyPresent, 1);
    ASSERT_EQ(store.size(), 6u);
    EXPECT_EQ(store[0].protectedPassword, "blob");  // untouched
    EXPECT_EQ(store[1].server, L"srv-HR");
    EXPECT_EQ(store[3].name, L"hr (3)");
    EXPECT_EQ(store[4].name, L"New");
    EXPECT_EQ(store[5].name, L"New (2)");
    ASSERT_EQ(r.renamed.size(), 2u);
    const std::wstring summary = conn::MergeSummary(r);
    EXPECT_NE(summary.find(L"3 profiles added, 1 was already present"), std::wstring::npos);
    EXPECT_NE(summary.find(L"hr -> hr (3)"), std::wstring::npos);
    // A clashing profile whose password differs is added, not dropped.
    std::vector<CONN_INFO> again = {StoreProfile(L"Sales", L"pw")};
    const auto r2 = conn::Merge(
        store, again, [](const CONN_INFO&, const CONN_INFO&) { return false; }, conn::AsciiNameCase());
    EXPECT_EQ(r2.added, 1);
    EXPECT_EQ(store.back().name, L"Sales (2)");
    // Renamed long names stay within the limit.
    std::vector<CONN_INFO> longStore = {StoreProfile(std::wstring(256, L'x'))};
    conn::Merge(
        longStore, {StoreProfile(std::wstring(256, L'x'), L"pw")},
        [](const CONN_INFO&, const CONN_INFO&) { return false; }, conn::AsciiNameCase());
    EXPECT_EQ(longStore.back().name, std::wstring(252, L'x') + L" (2)");
}

namespace {

// What an earlier version's seal bound, written out here as those versions
// wrote it: format 1 the bare name, format 2 a label and every setting.
std::string EarlierAad(unsigned format, const CONN_INFO& p) {
    if (format == 1) return conn::UnitsToLe(conn::ToUnits(p.name));
    std::string out = "ZQ-EXPORT 2 profile";
    for (const std::wstring* f : {&p.name, &p.kind, &p.server, &p.database, &p.user, &p.options}) {
        const std::u16string units = conn::ToUnits(*f);
        conn::PutVarint(out, units.size());
        out += conn::UnitsToLe(units);
    }
    conn::PutVarint(out, p.port);
    return out;
}

// A sealed export file of one profile as earlier versions wrote it (format 1
// or 2; both sealed the passphrase check with "check").
std::string EarlierSealed(unsigned format, const connfake::Cipher& cipher, const conn::SecretText& pass,
                          const CONN_INFO& p) {
    const std::string salt(16, 's'), nonce(12, 'n'), checkText = "Zerudozuz connection profiles";
    const conn::SecretBytes key = *cipher.DeriveKey(conn::Utf8Bytes(pass), salt, 100000);
    const std::string check =
        nonce + *cipher.Seal(key, nonce, conn::SecretBytes(checkText.data(), checkText.size()), "check");
    const std::string sealed =
        nonce + *cipher.Seal(key, nonce, conn::LeBytes(p.password), EarlierAad(format, p));
    CONN_INFO body = p;
    body.password.clear();
    std::string text = conn::WriteExport({body}, nullptr, nullptr).bytes;
    text.replace(0, 11, "ZQ-EXPORT " + std::to_string(format));
    text.replace(text.find("passwords=none\r\n"), 16,
                 "passwords=passphrase\r\nkdf=pbkdf2-sha256\r\niterations=100000\r\nsalt=" +
                     conn::Base64Encode(salt, false) + "\r\ncheck=" + conn::Base64Encode(check, false) +
                     "\r\n");
    text.replace(text.find("end\r\n"), 5,
                 "password.sealed=" + conn::Base64Encode(sealed, false) + "\r\nend\r\n");
    return text;
}

// The data a seal binds, read as a name: its bytes as UTF-16LE code units.
std::wstring AsName(const std::string& bound) { return conn::FromUnits(*conn::LeToUnits(bound)); }

// The forgery of a sealed export file of one profile: its first line relabelled
// as format 1, its name set to the data its seal binds read as a name (lone
// surrogates escaped, as the files write them), and its server changed.
std::string RelabelledAsFormatOne(std::string text, const std::string& bound) {
    text.replace(0, 11, "ZQ-EXPORT 1");
    for (const auto& [key, value] :
         {std::pair<std::string, std::string>{"name=", conn::EscapeValue(AsName(bound))},
          {"server=", "attacker.example.org"}}) {
        const std::size_t at = text.find("\r\n" + key) + 2 + key.size();
        text.replace(at, text.find("\r\n", at) - at, value);
    }
    return text;
}

CONN_INFO AttackedProfile(unsigned port) {
    CONN_INFO p = test::MakeProfile(L"Sales", L"Network SQL", L"db-sales.example.net", port, L"sales",
                                    L"report", L"real password", L"sslmode=require");
    return p;
}

}  // namespace

TEST(ForgedExports, AnEarlierFormatTwoSealRelabelledAsFormatOneDoesNotOpen) {
    connfake::Cipher cipher;
    const conn::SecretText pass(L"passphrase");
    for (unsigned port : {32u, 80u, 126u, 16384u, 50000u, 65535u}) {
        const CONN_INFO p = AttackedProfile(port);
        const std::string file = EarlierSealed(2, cipher, pass, p);
        const auto earlier = conn::ReadExport(file, &cipher, &pass);
        ASSERT_TRUE(earlier.ok()) << port;  // files of format 2 still load
        EXPECT_EQ(earlier.profiles[0].password, L"real password");
        EXPECT_EQ(conn::ProfileAad(p, 2), EarlierAad(2, p));
        // The forged name is one a file may hold: only the seal can refuse it.
        const std::wstring forgedName = AsName(EarlierAad(2, p));
        ASSERT_TRUE(conn::IsValidName(forgedName)) << port;
        ASSERT_EQ(conn::FirstInvisible(forgedName), 0u) << port;
        const auto forged = conn::ReadExport(RelabelledAsFormatOne(file, EarlierAad(2, p)), &cipher, &pass);
        EXPECT_EQ(forged.error, FileError::DamagedSecret) << port;
        EXPECT_TRUE(forged.profiles.empty()) << port;
    }
}

TEST(ForgedExports, ASealOfTheCurrentFormatOpensUnderNoOther) {
    connfake::Cipher cipher;
    const conn::SecretText pass(L"passphrase");
    for (unsigned port : {80u, 50000u}) {
        const CONN_INFO p = AttackedProfile(port);
        const std::string file = conn::WriteExport({p}, &cipher, &pass, 100000).bytes;
        ASSERT_EQ(file.rfind("ZQ-EXPORT 3\r\n", 0), 0u);
        ASSERT_TRUE(conn::ReadExport(file, &cipher, &pass).ok());
        const std::string bound = conn::ProfileAad(p, 3);
        EXPECT_EQ(bound.rfind("ZQ-EXPORT 3 profile", 0), 0u);
        ASSERT_TRUE(conn::IsValidName(AsName(bound)));
        // As format 1 with its bound data as the name, as format 2, and both with the check replaced by an
        // earlier format's: no profile comes back.
        std::string asTwo = file;
        asTwo.replace(0, 11, "ZQ-EXPORT 2");
        for (const std::string& forged : {RelabelledAsFormatOne(file, bound), asTwo}) {
            const auto r = conn::ReadExport(forged, &cipher, &pass);
            EXPECT_FALSE(r.ok());
            EXPECT_TRUE(r.profiles.empty());
        }
    }
}

TEST(ProfileExportFile, EverySettingOfASealedProfileIsAuthenticated) {
    connfake::Cipher cipher;
    const conn::SecretText pass(L"passphrase");
    const std::string text = conn::WriteExport({StoreProfile(L"Plain"), StoreProfile(L"Sealed", L"hunter2")},
                                               &cipher, &pass, 100000)
                                 .bytes;
    ASSERT_TRUE(conn::ReadExport(text, &cipher, &pass).ok());
    // The sealed profile starts on line 16; each of its settings edited in turn.
    const std::size_t sealedAt = text.find("profile\r\nname=Sealed");
    for (const char* field : {"name=", "kind=", "server=", "port=", "database=", "user=", "options="}) {
        std::string edited = text;
        const std::size_t at = edited.find(std::string("\n") + field, sealedAt) + 1 + std::strlen(field);
        edited.insert(at, field == std::string("port=") ? "1" : "x");
        const auto r = conn::ReadExport(edited, &cipher, &pass);
        EXPECT_EQ(r.error, FileError::DamagedSecret) << field;
        EXPECT_NE(r.message.find(L"Line 16: the profile"), std::wstring::npos) << field;
        EXPECT_TRUE(r.profiles.empty());
    }
    // Files of the earlier formats still load.
    for (unsigned format : {1u, 2u}) {
        const auto old = conn::ReadExport(EarlierSealed(format, cipher, pass, StoreProfile(L"Old", L"pw")),
                                          &cipher, &pass);
        ASSERT_TRUE(old.ok()) << std::string(old.message.begin(), old.message.end());
        EXPECT_EQ(old.profiles[0].password, L"pw");
    }
}

TEST(ProfileExportFile, NewFilesTakeSixHundredThousandIterationsAndReadersAGenerousRange) {
    connfake::Cipher cipher;
    const conn::SecretText pass(L"passphrase");
    const std::string text = conn::WriteExport({StoreProfile(L"A", L"pw")}, &cipher, &pass).bytes;
    EXPECT_NE(text.find("\r\niterations=600000\r\n"), std::string::npos);
    // What a later version may write is read; a count past the range is refused before any key is derived.
    for (const auto& [count, readable] : {std::pair{"99999", false}, std::pair{"100000", true},
                                          std::pair{"10000000", true}, std::pair{"10000001", false}}) {
        const std::string made = conn::WriteExport({StoreProfile(L"A", L"pw")}, &cipher, &pass,
                                                   static_cast<std::uint32_t>(std::stoul(count)))
                                     .bytes;
        const auto r = conn::ReadExport(made, &cipher, &pass);
        EXPECT_EQ(r.ok(), readable) << count;
        if (!readable) {
            EXPECT_NE(r.message.find(L"Line 4"), std::wstring::npos) << count;
        }
    }
}

TEST(ProfileExportFile, WhatALoadWouldRefuseIsRefusedWhenWritten) {
    connfake::Cipher cipher;
    const conn::SecretText pass(L"passphrase");
    // A name with a character that does not show, as another program may have stored it.
    const auto hidden =
        conn::WriteExport({StoreProfile(L"ok"), StoreProfile(L"Sales\u200B")}, &cipher, &pass);
    EXPECT_FALSE(hidden.ok());
    EXPECT_EQ(hidden.bytes, "");
    EXPECT_NE(hidden.problem.find(L"\"Sales<U+200B>\""), std::wstring::npos);
    EXPECT_NE(hidden.problem.find(L"does not show (U+200B)"), std::wstring::npos);
    EXPECT_FALSE(conn::WriteExport({StoreProfile(L"Sales\u200B")}, nullptr, nullptr).ok());
    // Passwords as long as a stored one can be are written and read back; a longer one is refused.
    for (std::size_t units : {std::size_t{4097}, CONN_INFO::kMaxPassword, CONN_INFO::kMaxPassword + 1}) {
        CONN_INFO p = StoreProfile(L"long");
        p.password = conn::SecretText(std::wstring(units, L'\u00e9'));
        const auto made = conn::WriteExport({p}, &cipher, &pass);
        const bool fits = units <= CONN_INFO::kMaxPassword;
        ASSERT_EQ(made.ok(), fits) << units;
        if (!fits) {
            EXPECT_NE(made.problem.find(L"password is longer than 8192"), std::wstring::npos);
            continue;
        }
        const auto back = conn::ReadExport(made.bytes, &cipher, &pass);
        ASSERT_TRUE(back.ok()) << units << " " << std::string(back.message.begin(), back.message.end());
        EXPECT_TRUE(back.profiles[0].password == p.password);
    }
    // Left out of a file without passwords, a long one is no reason to refuse it.
    CONN_INFO longOne = StoreProfile(L"long");
    longOne.password = conn::SecretText(std::wstring(CONN_INFO::kMaxPassword + 1, L'x'));
    EXPECT_TRUE(conn::WriteExport({longOne}, nullptr, nullptr).ok());
}

TEST(ProfileExportFile, NamesThatDoNotShowAreRefusedAndShownVisibly) {
    const std::wstring hidden[] = {L"Sales\u200B", L"\u202ESales", L"Sa\u2066les", L"Sales\uFEFF",
                                   L"Sales\U000E0041"};
    for (const std::wstring& name : hidden) {
        // Written as another program might, past the writer's own refusal.
        std::string file =
            conn::WriteExport({StoreProfile(L"ok"), StoreProfile(L"x")}, nullptr, nullptr).bytes;
        file.replace(file.find("name=x"), 6, "name=" + conn::EscapeValue(name));
        const auto r = conn::ReadExport(file, nullptr, nullptr);
        EXPECT_EQ(r.error, FileError::Malformed);
        EXPECT_NE(r.message.find(L"Line 13:"), std::wstring::npos);
        EXPECT_NE(conn::VisibleName(name), L"Sales");
        EXPECT_NE(conn::VisibleName(name).find(L"<U+"), std::wstring::npos);
    }
    EXPECT_EQ(conn::VisibleName(L"Sales\u200B (2)"), L"Sales<U+200B> (2)");
    EXPECT_EQ(conn::VisibleName(L"Caf\u00e9 \U0001F600"), L"Caf\u00e9 \U0001F600");
    // A store written by another program keeps such a name as it is.
    const auto stored = conn::ParseStore(Store({StoreProfile(hidden[0])}));
    ASSERT_TRUE(stored.ok());
    EXPECT_EQ(stored.profiles[0].name, hidden[0]);
}

TEST(ProfileStoreFile, BlankLinesAreRefusedAtTheFirstOne) {
    // Lines are read one at a time: a file of blank lines fails on line 2
    // without a copy of each line (see the benchmark for the memory figure).
    const std::string blank = "ZQ-PROFILES 1\r\n" + std::string(conn::kMaxFileBytes - 15, '\n');
    const auto r = conn::ParseStore(blank);
    EXPECT_EQ(r.error, FileError::Malformed);
    EXPECT_NE(r.message.find(L"Line 2:"), std::wstring::npos);
}
