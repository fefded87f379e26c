// Generated stores and merges. What the store writes it reads back, at every
// size it allows, and what it refuses to write the reader refuses too; every
// store it writes exports, with and without passwords, and loads back
// identical, unless a name holds a character that does not show, which the
// export refuses with the reason; a merge gives exactly the names a full scan
// for the first free name gives.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include <numeric>

#include "platform/connection/ConnText.h"
#include "platform/connection/ProfileExport.h"
#include "platform/connection/ProfileFile.h"
#include "tests/host/ConnFakes.h"
#include "tests/host/MergeByScan.h"

namespace {

// Text of exactly `units` UTF-16 code units from every part of the range:
// ASCII, escapes, controls (not in names), the rest of the first plane,
// surrogate pairs and unpaired surrogates.
std::wstring RandomText(std::mt19937& rng, std::size_t units, bool name) {
    std::u16string out;
    while (out.size() < units) {
        switch (rng() % 8) {
        case 0: out.push_back(static_cast<char16_t>(0x20 + rng() % 0x5F)); break;
        case 1:
            if (!name) out.push_back(static_cast<char16_t>(rng() % 0x20));
            break;
        case 2: out.push_back(u'\\'); break;
        case 3: out.push_back(static_cast<char16_t>(0xA0 + rng() % (0xD800 - 0xA0))); break;
        case 4: out.push_back(static_cast<char16_t>(0xE000 + rng() % 0x2000)); break;
        case 5:
            if (out.size() + 2 <= units) {
                const auto c = static_cast<std::uint32_t>(0x10000 + rng() % 0xFFFFF);
                out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
                out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
            }
            break;
        case 6: out.push_back(static_cast<char16_t>(0xD800 + rng() % 0x800)); break;
        default: out.push_back(u'='); break;
        }
    }
    return conn::FromUnits(out);
}

// Empty, one unit, the largest allowed, or anything between.
std::size_t RandomLength(std::mt19937& rng, std::size_t max, bool allowEmpty) {
    switch (rng() % 4) {
    case 0: return allowEmpty ? 0 : 1;
    case 1: return max;
    case 2: return 1;
    default: return 1 + rng() % max;
    }
}

const connfake::Protector& Protector() {
    static const connfake::Protector protector;
    return protector;
}

// The longest password the stand-in protection keeps within 16 KiB.
constexpr std::size_t kLongestProtected = (conn::kMaxSecretBytes - 3) / 2;

CONN_INFO RandomProfile(std::mt19937& rng, std::size_t maxField) {
    CONN_INFO c;
    c.name = RandomText(rng, RandomLength(rng, CONN_INFO::kMaxName, false), true);
    for (std::wstring* f : {&c.kind, &c.server, &c.database, &c.user, &c.options})
        *f = RandomText(rng, RandomLength(rng, maxField, true), false);
    c.port = rng() % 3 == 0 ? 65535 : rng() % 65536;
    c.password = conn::SecretText(RandomText(rng, RandomLength(rng, kLongestProtected, true), false));
    conn::ProtectPassword(c, Protector());
    return c;
}

// Every stored profile exported, with passwords left out and with them
// sealed, reads back with the same settings and passwords; the export is
// refused, with the reason, only for a name that does not show.
void ExpectExportsAndLoadsBack(const std::vector<CONN_INFO>& stored) {
    static const connfake::Cipher cipher;
    const conn::SecretText pass(L"property passphrase \u00e9");
    std::vector<std::size_t> all(stored.size());
    std::iota(all.begin(), all.end(), std::size_t{0});
    bool hidden = false;
    int unrecoverable = 0;  // protected for no one this stand-in knows
    for (const CONN_INFO& p : stored) {
        hidden = hidden || conn::FirstInvisible(p.name) != 0;
        unrecoverable += p.HasPassword() && conn::RevealPassword(p, Protector()).empty() ? 1 : 0;
    }
    for (const bool withPasswords : {false, true}) {
        int lost = 0;
        const auto made =
            conn::ExportStoredProfiles(stored, all, Protector(), withPasswords ? &cipher : nullptr,
                                       withPasswords ? &pass : nullptr, lost);
        ASSERT_EQ(made.ok(), !hidden) << std::string(made.problem.begin(), made.problem.end());
        if (hidden) {
            EXPECT_NE(made.problem.find(L"does not show"), std::wstring::npos);
            continue;
        }
        ASSERT_EQ(lost, withPasswords ? unrecoverable : 0);
        const auto back = conn::ReadExport(made.bytes, &cipher, &pass);
        ASSERT_TRUE(back.ok()) << std::string(back.message.begin(), back.message.end());
        ASSERT_EQ(back.profiles.size(), stored.size());
        for (std::size_t i = 0; i < stored.size(); ++i) {
            ASSERT_TRUE(back.profiles[i].SameSettings(stored[i])) << "profile " << i;
            const conn::SecretText expected =
                withPasswords ? conn::RevealPassword(stored[i], Protector()) : conn::SecretText();
            ASSERT_TRUE(back.profiles[i].password == expected) << "profile " << i;
        }
    }
}

void ExpectSame(const std::vector<CONN_INFO>& written, const std::vector<CONN_INFO>& read) {
    ASSERT_EQ(read.size(), written.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        ASSERT_TRUE(read[i].SameSettings(written[i])) << "profile " << i;
        ASSERT_EQ(read[i].protectedPassword, written[i].protectedPassword) << "profile " << i;
    }
}

// The rule is one: FitsStore and the reader agree, and what fits reads back whole.
void ExpectOneRule(const std::vector<CONN_INFO>& profiles) {
    std::string bytes;
    std::wstring problem;
    const bool fits = conn::FitsStore(profiles, bytes, problem);
    const auto read = conn::ParseStore(fits ? bytes : conn::SerializeStore(profiles));
    ASSERT_EQ(fits, read.ok()) << std::string(problem.begin(), problem.end());
    if (fits) {
        ExpectSame(profiles, read.profiles);
        ExpectExportsAndLoadsBack(profiles);
    } else {
        EXPECT_FALSE(problem.empty());
        EXPECT_TRUE(read.error == conn::FileError::TooMany || read.error == conn::FileError::TooLarge);
    }
}

}  // namespace

TEST(ProfileStoreProperty, GeneratedStoresReadBackIdentical) {
    std::mt19937 rng(20260101);
    for (int round = 0; round < 60; ++round) {
        std::vector<CONN_INFO> profiles;
        const std::size_t count = round % 10 == 0 ? 0 : 1 + rng() % 40;
        // Some rounds with every field up to its largest size (and past 8 MiB in all).
        const std::size_t maxField = round % 3 == 0 ? CONN_INFO::kMaxField : 64;
        for (std::size_t i = 0; i < count; ++i) profiles.push_back(RandomProfile(rng, maxField));
        ExpectOneRule(profiles);
    }
}

TEST(ProfileStoreProperty, LargestAllowedStoresReadBack) {
    // 20,000 profiles filling exactly 8 MiB.
    std::vector<CONN_INFO> profiles(conn::kMaxProfiles);
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        profiles[i].name = L"Profile " + std::to_wstring(i);
        profiles[i].options = std::wstring(300, L'o');
    }
    std::size_t size = conn::SerializeStore(profiles).size();
    ASSERT_LT(size, conn::kMaxFileBytes);
    for (std::size_t i = 0; size < conn::kMaxFileBytes; ++i) {
        const std::size_t add = std::min<std::size_t>(conn::kMaxFileBytes - size, 3000);
        profiles[i].server = std::wstring(add, L's');
        size += add;
    }
    ASSERT_EQ(conn::SerializeStore(profiles).size(), conn::kMaxFileBytes);
    ExpectOneRule(profiles);  // and exports
    // The same with a password in every profile.
    std::vector<CONN_INFO> withPasswords(conn::kMaxProfiles);
    for (std::size_t i = 0; i < withPasswords.size(); ++i) {
        withPasswords[i].name = L"Profile " + std::to_wstring(i);
        withPasswords[i].password =
            conn::SecretText(std::wstring(100, static_cast<wchar_t>(L'\u00c0' + i % 64)));
        conn::ProtectPassword(withPasswords[i], Protector());
    }
    withPasswords[0].password = conn::SecretText(std::wstring(kLongestProtected, L'p'));
    conn::ProtectPassword(withPasswords[0], Protector());
    std::size_t full = conn::SerializeStore(withPasswords).size();
    for (std::size_t i = 1; full < conn::kMaxFileBytes; ++i) {
        const std::size_t add = std::min<std::size_t>(conn::kMaxFileBytes - full, 3000);
        withPasswords[i].server = std::wstring(add, L's');
        full += add;
    }
    ASSERT_EQ(conn::SerializeStore(withPasswords).size(), conn::kMaxFileBytes);
    ExpectOneRule(withPasswords);
    // One byte more, or one profile more, and both writer and reader refuse.
    profiles[0].user = L"u";
    ExpectOneRule(profiles);
    profiles[0].user.clear();
    profiles.back().options.clear();
    profiles.emplace_back().name = L"one too many";
    ExpectOneRule(profiles);

    // One profile at every largest size, every unit escaped in the file.
    CONN_INFO big;
    big.name = std::wstring(CONN_INFO::kMaxName, wchar_t(0xDC00));
    for (std::wstring* f : {&big.kind, &big.server, &big.database, &big.user, &big.options})
        *f = std::wstring(CONN_INFO::kMaxField, L'\x01');
    big.protectedPassword = std::string(conn::kMaxSecretBytes, '\xFF');
    ExpectOneRule({big});
    big.protectedPassword += 'x';
    std::string bytes;
    std::wstring problem;
    EXPECT_FALSE(conn::FitsStore({big}, bytes, problem));
    EXPECT_FALSE(conn::ParseStore(conn::SerializeStore({big})).ok());
}

namespace {

std::wstring PoolName(std::mt19937& rng) {
    static const std::wstring long248(248, L'x');
    switch (rng() % 9) {
    case 0: return L"Sales";
    case 1: return L"sALES";
    case 2: return L"Sales (" + std::to_wstring(2 + rng() % 12) + L")";
    case 3: return L"sales (2) (2)";
    case 4: return long248 + std::wstring(rng() % 9, L'X');  // cut when renamed
    case 5: return long248.substr(0, 245) + L" (" + std::to_wstring(2 + rng() % 15) + L")";
    case 6: return std::wstring(253, L'x') + L"\U0001F600";  // a pair the cut must not split
    case 7: return L"HR";
    default:
        return std::wstring(250, L'x').substr(0, 245 + rng() % 5) + L" (1" + std::to_wstring(rng() % 10) +
               L")";
    }
}

}  // namespace

TEST(ProfileMergeProperty, GivesTheFirstFreeNameAsAFullScanDoes) {
    std::mt19937 rng(7);
    const conn::NameCase& names = conn::AsciiNameCase();
    for (int round = 0; round < 300; ++round) {
        std::vector<CONN_INFO> store, incoming;
        for (int i = 0, n = static_cast<int>(rng() % 30); i < n; ++i) {
            CONN_INFO c;
            c.name = PoolName(rng);
            c.port = rng() % 2;
            bool clash = false;
            for (const CONN_INFO& e : store) clash = clash || names.Key(e.name) == names.Key(c.name);
            if (!clash) store.push_back(c);  // a store holds each name once
        }
        for (int i = 0, n = static_cast<int>(rng() % 60); i < n; ++i) {
            CONN_INFO c;
            c.name = PoolName(rng);
            c.port = rng() % 2;
            incoming.push_back(c);
        }
        std::vector<CONN_INFO> expected = store;
        const auto want = connfake::ScanMerge(expected, incoming, names);
        const auto got = conn::Merge(
            store, incoming, [](const CONN_INFO&, const CONN_INFO&) { return true; }, names);
        ASSERT_EQ(got.added, want.added);
        ASSERT_EQ(got.alreadyPresent, want.alreadyPresent);
        ASSERT_EQ(got.renamed, want.renamed) << "round " << round;
        ASSERT_EQ(store.size(), expected.size());
        std::set<std::wstring> keys;
        for (std::size_t i = 0; i < store.size(); ++i) {
            ASSERT_EQ(store[i].name, expected[i].name);
            ASSERT_TRUE(conn::IsValidName(store[i].name));
            ASSERT_TRUE(keys.insert(names.Key(store[i].name)).second) << "two profiles of one name";
        }
        ASSERT_EQ(got.addedIndexes.size(), static_cast<std::size_t>(got.added));
    }
}
