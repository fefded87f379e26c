// file: addresses of the update list, turned into Windows paths. Portable: no
// Windows headers.
//
//   file:///C:/lists/updates.txt      C:\lists\updates.txt
//   file://server/share/updates.txt   \\server\share\updates.txt
//   file:////server/share/updates.txt \\server\share\updates.txt
//   file://localhost/C:/updates.txt   C:\updates.txt
//
// %-escapes stand for UTF-8 bytes ("%C3%A9" is "é").
#pragma once

#include <string>

namespace updates {

// The path a file: address names; false (and path untouched) when the address
// is not a file: address, has a malformed %-escape, holds or escapes a NUL,
// escapes bytes that are no UTF-8, or names no path.
bool FileUrlToPath(const std::wstring& url, std::wstring& path);

}  // namespace updates
