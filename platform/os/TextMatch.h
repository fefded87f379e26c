// Matching what the user types in a search box against texts, ignoring case
// in every script the system folds (not ASCII only): both sides are mapped to
// lower case one code unit for one, so a place found in the mapped text is the
// same place in the original.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace os {

// `text` in lower case, of the same length (the system's mapping, locale
// independent).
std::wstring Folded(std::wstring_view text);

// Where `foldedNeedle` (made by Folded) first occurs in `text` at or after
// `from`, ignoring case, or npos. An empty needle is found at `from`.
std::size_t FindFolded(std::wstring_view text, std::wstring_view foldedNeedle, std::size_t from = 0);

}  // namespace os
