// How a descriptor value is found in an INI text, as the system's
// profile-string call finds it.
#include <gtest/gtest.h>

#include <string>

#include "platform/os/Os.h"

namespace {

TEST(ProfileValue, NamesIgnoreCaseBlanksAndQuotesGoAndOnlyTheFirstSectionCounts) {
    const std::wstring text =
        L"; comment=no\r\n[Other]\r\nAuthor=wrong\r\n  [ tables ]  \r\n  author  =  Ann Lee  \r\n"
        L"Author=second\r\nNote=\"quoted value\"\r\n=empty name\r\nHalf=\"open\r\n;Author=no\r\n"
        L"[Tables]\r\nLate=in a second section of the same name, never read\n";
    EXPECT_EQ(os::ProfileValue(text, L"Tables", L"Author"), L"Ann Lee");
    EXPECT_EQ(os::ProfileValue(text, L"TABLES", L"note"), L"quoted value");
    EXPECT_EQ(os::ProfileValue(text, L"Tables", L""), L"empty name");
    EXPECT_EQ(os::ProfileValue(text, L"Tables", L"Half"), L"\"open");
    EXPECT_EQ(os::ProfileValue(text, L"Tables", L"Late"), L"");
    EXPECT_EQ(os::ProfileValue(text, L"Tables", L"Missing"), L"");
    EXPECT_EQ(os::ProfileValue(text, L"Nowhere", L"Author"), L"");
    EXPECT_EQ(os::ProfileValue(L"[A]\nB=" + std::wstring(300, L'x'), L"A", L"B"), std::wstring(259, L'x'));
}

}  // namespace
