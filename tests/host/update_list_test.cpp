#include <gtest/gtest.h>

#include "platform/updates/UpdateList.h"

using namespace updates;

TEST(UpdateList, ValidatesHeaderAndEntries) {
    std::wstring error;
    EXPECT_TRUE(Validate(L"ZeltoUpdates 1\r\n# c\r\n\r\nRow Foundry=1.00.00\r\n", error));
    EXPECT_TRUE(Validate(L"ZeltoUpdates 1", error));  // empty list
    EXPECT_FALSE(Validate(L"", error));
    EXPECT_FALSE(Validate(L"<html><body>Not found</body></html>", error));
    EXPECT_FALSE(Validate(L"ZeltoUpdates 1\nRow Foundry 1.00.00\n", error));
    EXPECT_NE(error.find(L"Line 2"), std::wstring::npos);
}

TEST(UpdateList, ReadsEntriesInOrderWithSpareText) {
    // A line without a name is skipped; the entries after it still count.
    const std::wstring text =
        L"ZeltoUpdates 1\n  Row Foundry  = 5.05.01 ;beta\n=1\n  = 2;x\n#x\nLoad Hammer=3.00.00";
    size_t pos = 0;
    std::wstring name, version, spare;
    ASSERT_TRUE(ReadEntry(text, pos, name, version, spare));
    EXPECT_EQ(name, L"Row Foundry");
    EXPECT_EQ(version, L" 5.05.01 ");  // the caller trims
    EXPECT_EQ(spare, L"beta");
    ASSERT_TRUE(ReadEntry(text, pos, name, version, spare));
    EXPECT_EQ(name, L"Load Hammer");
    EXPECT_EQ(version, L"3.00.00");
    EXPECT_EQ(spare, L"");
    EXPECT_FALSE(ReadEntry(text, pos, name, version, spare));
}

TEST(UpdateList, DecodesUtf8AndReplacesInvalidBytes) {
    EXPECT_EQ(DecodeUtf8("\xEF\xBB\xBFR\xC3\xA9sum\xC3\xA9"), L"R\u00E9sum\u00E9");
    EXPECT_EQ(DecodeUtf8("a\xFF"
                         "b"),
              L"a\uFFFDb");
    EXPECT_EQ(DecodeUtf8("\xC3"), L"\uFFFD");                      // truncated sequence
    EXPECT_EQ(DecodeUtf8("\xE0\x80\x80"), L"\uFFFD\uFFFD\uFFFD");  // overlong
    const std::wstring astral = DecodeUtf8("\xF0\x9F\x98\x80");
    ASSERT_EQ(astral.size(), 2u);  // one UTF-16 surrogate pair
    EXPECT_EQ(static_cast<unsigned>(astral[0]), 0xD83Du);
}

TEST(UpdateList, OnlyAHigherVersionNumberIsNewer) {
    EXPECT_TRUE(IsNewerVersion(L"5.05.01", L"5.04.12"));
    EXPECT_TRUE(IsNewerVersion(L"5.04.13", L"5.04.12"));
    EXPECT_TRUE(IsNewerVersion(L"6", L"5.99.99"));
    EXPECT_TRUE(IsNewerVersion(L"5.10.00", L"5.9.0"));  // numbers, not texts
    EXPECT_TRUE(IsNewerVersion(L"5.04.12.1", L"5.04.12"));
    EXPECT_TRUE(IsNewerVersion(L"1.000000000000000000000000002", L"1.1"));  // no overflow
    EXPECT_FALSE(IsNewerVersion(L"5.03.00", L"5.04.12"));
    EXPECT_FALSE(IsNewerVersion(L"5.4.12", L"5.04.12"));  // the same version
    EXPECT_FALSE(IsNewerVersion(L"5.04.12", L"5.04.12"));
    EXPECT_FALSE(IsNewerVersion(L"5.04.12.0", L"5.04.12"));
    EXPECT_FALSE(IsNewerVersion(L"1.00.00", L"2.00.00"));
    // Not a version: never offered.
    for (const wchar_t* text :
         {L"", L"5.05.01b", L"5..1", L".5", L"5.", L" 5.05.01", L"v6", L"6-beta", L"\u0665"})
        EXPECT_FALSE(IsNewerVersion(text, L"1.00.00")) << text;
    EXPECT_FALSE(IsNewerVersion(L"9.00.00", L"unknown"));
}
