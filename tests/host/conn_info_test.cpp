#include <gtest/gtest.h>

#include "platform/connection/CONN_INFO.h"
#include "platform/connection/ConnText.h"
#include "platform/connection/Pbkdf2.h"
#include "tests/SampleProfiles.h"
#include "tests/host/ConnFakes.h"

namespace {

// What Windows' command-line parsing would split or strip.
bool SurvivesCommandLine(const std::wstring& s) {
    for (wchar_t c : s)
        if (c <= L' ' || c == L'"' || c == L'\\' || c == L'^' || c >= 0x7F) return false;
    return true;
}

std::wstring Unpacked(const std::wstring& text, const conn::PasswordProtector& p, CONN_INFO& out) {
    std::wstring error;
    return CONN_INFO::Unpack(text, p, out, error) ? L"" : error;
}

}  // namespace

TEST(ConnInfoPack, RoundTripsEveryFieldWithoutPlainPassword) {
    connfake::Protector protector;
    const CONN_INFO in = test::FullProfile();
    const std::wstring packed = in.Pack(L"??", protector).text;
    EXPECT_EQ(packed.rfind(L"ZQC1.", 0), 0u);
    EXPECT_TRUE(SurvivesCommandLine(packed));
    CONN_INFO out;
    ASSERT_EQ(Unpacked(packed, protector, out), L"");
    EXPECT_TRUE(out.SameSettings(in));
    EXPECT_EQ(out.password, in.password);
    EXPECT_EQ(out.port, 65535u);
    // The plain password appears nowhere in the decoded bytes.
    const auto bytes = conn::Base64Decode(std::string(packed.begin() + 5, packed.end()), true);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->find(conn::LeBytes(in.password).View()), std::string::npos);
    EXPECT_EQ(out.Pack(L"??", protector).text, packed);  // exact inverse
}

TEST(ConnInfoPack, EmptyNonAsciiAndAstralFields) {
    connfake::Protector protector;
    CONN_INFO in;
    in.name = L"Caf\u00e9 \u6771\u4eac \U0001F600";
    in.server = L"\u00fcber";
    in.password = conn::SecretText(L"\U0001F511");
    const std::wstring packed = in.Pack(L"??", protector).text;
    EXPECT_TRUE(SurvivesCommandLine(packed));
    CONN_INFO out;
    out.name = L"old";
    ASSERT_EQ(Unpacked(packed, protector, out), L"");
    EXPECT_EQ(out.name, in.name);
    EXPECT_EQ(out.server, in.server);
    EXPECT_EQ(out.kind, L"");
    EXPECT_EQ(out.database, L"");
    EXPECT_EQ(out.password, in.password);
    EXPECT_EQ(out.port, 0u);
    // Same units as Windows would see: a surrogate pair per astral character.
    EXPECT_EQ(conn::ToUnits(in.name).size(), 10u);
    EXPECT_EQ(conn::FromUnits(conn::ToUnits(in.name)), in.name);
}

TEST(ConnInfoPack, ArgumentDecidesAboutThePassword) {
    connfake::Protector protector;
    const CONN_INFO in = test::FullProfile();
    CONN_INFO out;
    for (const wchar_t* arg : {L"", L"?", L"x", L"???"}) {
        ASSERT_EQ(Unpacked(in.Pack(arg, protector).text, protector, out), L"");
        EXPECT_EQ(out.password, L"") << arg;
    }
    // A record holding only the protected form passes it on as it is.
    CONN_INFO stored = test::FullProfile();
    stored.password.clear();
    stored.protectedPassword = *protector.Protect(conn::LeBytes(conn::SecretText(L"secret")));
    ASSERT_EQ(Unpacked(stored.Pack(L"??", protector).text, protector, out), L"");
    EXPECT_EQ(out.password, L"secret");
    protector.failProtect = true;
    EXPECT_NE(in.Pack(L"??", protector).problem.find(L"could not be protected"), std::wstring::npos);
    EXPECT_TRUE(in.Pack(L"", protector).ok());
}

TEST(ConnInfoPack, AnotherUserCannotRecoverThePassword) {
    connfake::Protector mine('A'), theirs('B');
    CONN_INFO out;
    out.name = L"untouched";
    EXPECT_NE(Unpacked(test::FullProfile().Pack(L"??", mine).text, theirs, out).find(L"another user"),
              std::wstring::npos);
    EXPECT_EQ(out.name, L"untouched");
}

TEST(ConnInfoUnpack, RefusesEverythingElse) {
    connfake::Protector p;
    const std::wstring good = test::FullProfile().Pack(L"??", p).text;
    CONN_INFO out;
    EXPECT_NE(Unpacked(L"", p, out).find(L"empty"), std::wstring::npos);
    EXPECT_NE(Unpacked(L"ZQC2." + good.substr(5), p, out).find(L"newer"), std::wstring::npos);
    EXPECT_NE(Unpacked(L"-#" + good, p, out).find(L"not a packed"), std::wstring::npos);
    EXPECT_NE(Unpacked(L"\"" + good + L"\"", p, out), L"");
    EXPECT_NE(Unpacked(good + L" ", p, out), L"");
    EXPECT_NE(Unpacked(good.substr(0, good.size() - 4), p, out), L"");  // truncated
    EXPECT_NE(Unpacked(good + L"AAAA", p, out), L"");                   // trailing data
    EXPECT_NE(Unpacked(L"ZQC1.", p, out), L"");                         // nothing at all
    EXPECT_NE(Unpacked(std::wstring(40000, L'A'), p, out).find(L"too long"), std::wstring::npos);
    std::wstring padded = good + L"=";
    EXPECT_NE(Unpacked(padded, p, out), L"");
    EXPECT_EQ(out.name, L"");  // never filled by a refused text
}

// The same text on every platform: the store tests check it under Wine too.
TEST(ConnInfoPack, SameTextWhateverTheWidthOfWchar) {
    connfake::Protector p;
    EXPECT_EQ(test::PackedSample().Pack(L"", p).text, test::kPackedSampleText);
    // An unpaired surrogate survives; a value that is no code point becomes U+FFFD.
    CONN_INFO odd;
    odd.name = std::wstring(1, static_cast<wchar_t>(0xD800)) + L"x";
    CONN_INFO out;
    std::wstring error;
    ASSERT_TRUE(CONN_INFO::Unpack(odd.Pack(L"", p).text, p, out, error));
    EXPECT_EQ(out.name, odd.name);
    if constexpr (sizeof(wchar_t) == 4) {
        EXPECT_EQ(conn::ToUnits(std::wstring(1, static_cast<wchar_t>(0x110000))), u"\uFFFD");
    }
}

TEST(ConnInfoPack, TooLargeForACommandLineIsAnError) {
    connfake::Protector p;
    CONN_INFO big;
    big.name = L"n";
    big.options = std::wstring(30000, L'x');
    const conn::PackResult packed = big.Pack(L"", p);
    EXPECT_NE(packed.problem.find(L"too large"), std::wstring::npos);
    EXPECT_EQ(packed.text, L"");
}

TEST(ConnText, Base64AndUtf8AreStrict) {
    EXPECT_EQ(conn::Base64Encode("ab", false), "YWI=");
    EXPECT_EQ(conn::Base64Encode("ab", true), "YWI");
    EXPECT_EQ(*conn::Base64Decode("YWI=", false), "ab");
    EXPECT_FALSE(conn::Base64Decode("YWJ=", false));  // unused bits set
    EXPECT_FALSE(conn::Base64Decode("YWI", false));   // missing padding
    EXPECT_FALSE(conn::Base64Decode("YW I", false));
    EXPECT_FALSE(conn::Base64Decode("A", true));
    EXPECT_FALSE(conn::FromUtf8("\xC0\xAF"));          // overlong
    EXPECT_FALSE(conn::FromUtf8("\xED\xA0\x80"));      // encoded surrogate
    EXPECT_FALSE(conn::FromUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(conn::FromUtf8("\xE2\x82"));          // truncated
    EXPECT_EQ(conn::FromUtf8("\xF0\x9F\x98\x80")->size(), 2u);
    std::string v;
    conn::PutVarint(v, 300);
    std::size_t pos = 0;
    EXPECT_EQ(*conn::GetVarint(v, pos), 300u);
    pos = 0;
    EXPECT_FALSE(conn::GetVarint(std::string("\x80\x00", 2), pos));  // non-minimal
}

// Passphrases written by earlier versions went through ToUnits and ToUtf8:
// the secret's own conversions must give the same bytes, or their files would
// no longer open.
TEST(SecretText, ConvertsAsTheTextFunctionsDo) {
    const std::wstring texts[] = {L"", L"passphrase",
                                  L"Gr\u00fc\u00dfe aus Z\u00fcrich \u6771\u4eac \U0001F511",
                                  std::wstring(1, static_cast<wchar_t>(0xDC00)) + L"lone" +
                                      std::wstring(1, static_cast<wchar_t>(0xD800)),
                                  std::wstring(5000, L'\u00e9')};
    for (const std::wstring& text : texts) {
        const conn::SecretText secret(text);
        EXPECT_TRUE(secret == text);
        EXPECT_EQ(secret.View(), conn::ToUnits(text));
        EXPECT_EQ(conn::Utf8Bytes(secret).View(), conn::ToUtf8(conn::ToUnits(text)));
        EXPECT_EQ(conn::LeBytes(secret).View(), conn::UnitsToLe(conn::ToUnits(text)));
        EXPECT_TRUE(*conn::FromLeBytes(conn::LeBytes(secret)) == secret);
    }
    EXPECT_FALSE(conn::FromLeBytes(conn::SecretBytes("abc", 3)));
    // Grown a unit at a time, it keeps every unit through each new buffer.
    conn::SecretText grown;
    for (int i = 0; i < 100; ++i) grown.push_back(static_cast<char16_t>(u'a' + i % 26));
    EXPECT_EQ(grown.size(), 100u);
    EXPECT_EQ(grown[99], u'a' + 99 % 26);
    EXPECT_FALSE(conn::SecretText(L"ab") == L"abc");
    EXPECT_FALSE(conn::SecretText(L"abc") == L"ab");
    // A moved-from secret is empty: it does not keep the text, however short.
    conn::SecretText shortOne(L"pw");
    const conn::SecretText taken = std::move(shortOne);
    EXPECT_TRUE(shortOne.empty());  // NOLINT(bugprone-use-after-move): what is left is the point
    EXPECT_EQ(shortOne.data(), nullptr);
    EXPECT_TRUE(taken == L"pw");
}

namespace {

std::string Hex(const conn::SecretBytes& bytes) {
    std::string out;
    for (char c : bytes) {
        out += "0123456789abcdef"[static_cast<unsigned char>(c) >> 4];
        out += "0123456789abcdef"[static_cast<unsigned char>(c) & 0xF];
    }
    return out;
}

}  // namespace

// The published vectors of PBKDF2-HMAC-SHA256, and keys from passphrases
// longer than a hash block and from non-ASCII ones at today's count.
TEST(Pbkdf2Sha256, GivesTheStandardKeys) {
    const auto key = [](const std::string& pass, const std::string& salt, std::uint32_t iterations) {
        return Hex(*conn::Pbkdf2Sha256(conn::SecretBytes(pass.data(), pass.size()), salt, iterations));
    };
    EXPECT_EQ(key("passwd", "salt", 1), "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc");
    EXPECT_EQ(key("Password", "NaCl", 80000),
              "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56");
    EXPECT_EQ(key(std::string(200, 'x'), "saltsaltsaltsalt", 1000),
              "ba5fe4deacd6ff21974d164cfdacdd34a41160c8e6c6b33bc3625d0a17f8e529");
    EXPECT_EQ(
        key("Gr\xC3\xBC\xC3\x9F"
            "e",
            std::string("\x00\x01\x00\x01\x00\x01\x00\x01\x00\x01\x00\x01\x00\x01\x00\x01", 16), 600000),
        "f43ce89e78c6ffaabcebead8a6ab3a2913ad4ef487ecd883ffe01e2535ede71f");
    // Asked to stop, it gives no key.
    int asked = 0;
    EXPECT_FALSE(conn::Pbkdf2Sha256(conn::SecretBytes("p", 1), "s", 100000, [&] { return ++asked < 3; }));
    EXPECT_EQ(asked, 3);
    EXPECT_FALSE(conn::Pbkdf2Sha256(conn::SecretBytes("p", 1), "s", 0));
}

// A standard string keeps a short text inside the string object and leaves
// it there when the text is moved out; a profile's password must not.
TEST(SecretText, AMovedFromProfileHoldsNoneOfItsPassword) {
    CONN_INFO from;
    from.password = conn::SecretText(L"p7\u00df");
    const conn::SecretText copy = from.password;
    const CONN_INFO to = std::move(from);
    EXPECT_TRUE(to.password == copy);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&from);
    const auto* units = reinterpret_cast<const unsigned char*>(copy.data());
    // The first unit may be written over by the string's end; the rest would be there.
    const std::string object(bytes, bytes + sizeof from),
        rest(units + sizeof(char16_t), units + copy.size() * sizeof(char16_t));
    EXPECT_EQ(object.find(rest), std::string::npos);
}
