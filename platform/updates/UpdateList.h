// The update list the maker publishes: a small UTF-8 text.
//
//   ZeltoUpdates 1
//   # comment lines and blank lines are skipped
//   Row Foundry=5.05.01
//   Load Hammer = 3.10.00 ;anything after a semicolon is the spare text
//
// The first line must be the header. Each entry is "product name=version";
// blanks around the name are removed, the version is taken as written (the
// main window trims it). Portable: no Windows headers.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace updates {

constexpr const wchar_t* kHeader = L"ZeltoUpdates 1";
constexpr std::size_t kMaxListBytes = 256 * 1024;

// Checks that text is an update list; on failure says why in `error`.
bool Validate(const std::wstring& text, std::wstring& error);

// Reads the entry at or after `pos`; advances pos past it. False when no entry is left.
bool ReadEntry(const std::wstring& text, std::size_t& pos, std::wstring& name, std::wstring& version,
               std::wstring& spare);

// Whether `reported` is a newer version than `installed`. Both are read as
// numbers between dots ("5.04.12" is 5, 4, 12; a missing number counts as 0),
// so 5.03.00 is older than 5.04.12 and 5.4.12 is the same as 5.04.12. A text
// that is not such a version is never newer.
bool IsNewerVersion(const std::wstring& reported, const std::wstring& installed);

// UTF-8 (with or without byte-order mark) to UTF-16 code units, one wchar_t
// each; invalid sequences become U+FFFD.
std::wstring DecodeUtf8(const std::string& bytes);

}  // namespace updates
