#include "platform/os/TextMatch.h"

#include <windows.h>

#include <algorithm>
#include <climits>

namespace os {

std::wstring Folded(std::wstring_view text) {
    std::wstring out(text);
    // Lower-case mapping is one unit for one unit, so in place works; the
    // invariant locale keeps a Turkish I from folding differently per user.
    for (std::size_t at = 0; at < out.size();) {
        const int n = static_cast<int>(std::min<std::size_t>(out.size() - at, INT_MAX / 2));
        ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, out.data() + at, n, out.data() + at, n,
                        nullptr, nullptr, 0);
        at += static_cast<std::size_t>(n);
    }
    return out;
}

std::size_t FindFolded(std::wstring_view text, std::wstring_view foldedNeedle, std::size_t from) {
    if (from > text.size()) return std::wstring_view::npos;
    const std::wstring folded = Folded(text.substr(from));
    const std::size_t at = std::wstring_view(folded).find(foldedNeedle);
    return at == std::wstring_view::npos ? at : at + from;
}

}  // namespace os
