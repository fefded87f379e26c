// The text comparison of Os.h where there is no Windows: the portable core's
// native tests and fuzzing.
#include <locale.h>
#include <wctype.h>

#include "platform/os/Os.h"

namespace os {

namespace {

wchar_t Upper(wchar_t unit) {
    static const locale_t unicode = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    // Halves of surrogate pairs have no case, and the system maps each 16-bit
    // unit to another one.
    if (!unicode || (unit >= 0xD800 && unit <= 0xDFFF)) return unit;
    const wint_t upper = ::towupper_l(static_cast<wint_t>(unit), unicode);
    // Only pairs of cases fold: a variant whose capital has another small
    // letter (the final sigma, the micro sign, the dotless i, the long s)
    // stays itself, as in the system's table. So every 16-bit unit compares
    // as CompareStringOrdinal under Wine 8 compares it.
    if (upper > 0xFFFF || ::towlower_l(upper, unicode) != static_cast<wint_t>(unit)) return unit;
    return static_cast<wchar_t>(upper);
}

}  // namespace

bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

}  // namespace os
