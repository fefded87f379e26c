// file: addresses of the update list: each form gives its path; a malformed
// address is refused rather than read somewhere else.
#include <gtest/gtest.h>

#include "platform/updates/FileUrl.h"

using updates::FileUrlToPath;

TEST(FileUrl, EachFormGivesItsPath) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"file:///C:/lists/updates.txt", L"C:\\lists\\updates.txt"},
        {L"file:///C:\\lists\\updates.txt", L"C:\\lists\\updates.txt"},
        {L"FILE:///c:/x.txt", L"c:\\x.txt"},
        {L"file://C:/x.txt", L"C:\\x.txt"},
        {L"file://localhost/C:/x.txt", L"C:\\x.txt"},
        {L"file://server/share/updates.txt", L"\\\\server\\share\\updates.txt"},
        {L"file:////server/share/updates.txt", L"\\\\server\\share\\updates.txt"},
        {L"file://./pipe/lists", L"\\\\.\\pipe\\lists"},
        {L"file:///C:/My%20Lists/caf%C3%A9%2Btea.txt", L"C:\\My Lists\\caf\u00E9+tea.txt"},
        {L"file:///C:/%e2%82%ac.txt", L"C:\\\u20AC.txt"},
        {L"file:///C:/100%25.txt", L"C:\\100%.txt"},
    };
    for (const auto& [url, expected] : cases) {
        std::wstring path;
        EXPECT_TRUE(FileUrlToPath(url, path)) << url;
        EXPECT_EQ(path, expected) << url;
    }
}

TEST(FileUrl, MalformedAddressesAreRefused) {
    for (const wchar_t* url :
         {L"file:///C:/a%zz.txt", L"file:///C:/a%4", L"file:///C:/a%", L"file:///C:/a%%41",
          L"file:///C:/a%00b", L"file:///C:/a%C3.txt", L"file:///C:/a%FF.txt", L"file:///C:/%C3%28",
          L"file:C:/x.txt", L"file:///", L"file://", L"http://server/x.txt", L"fil",
          // relative and drive-relative paths
          L"file:///dir/x.txt", L"file://localhost/dir/x.txt", L"file:///%2E/x", L"file:///C:x.txt"}) {
        std::wstring path = L"unchanged";
        EXPECT_FALSE(FileUrlToPath(url, path)) << url;
        EXPECT_EQ(path, L"unchanged") << url;
    }
    std::wstring path;
    EXPECT_FALSE(FileUrlToPath(std::wstring(L"file:///C:/a\0b.txt", 18), path));
}
