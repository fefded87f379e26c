#include <cstdint>

#include "platform/connection/ConnText.h"
#include "platform/connection/ProfileFile.h"
#include "platform/connection/ProfileFormat.h"

namespace conn {

namespace {

// Whether a code point shows nothing of its own: format and joiner
// characters, bidirectional controls, invisible operators, variation
// selectors, tags and the Hangul fillers.
bool IsInvisible(std::uint32_t c) {
    return c == 0x00AD || c == 0x034F || c == 0x061C || c == 0x115F || c == 0x1160 || c == 0x17B4 ||
           c == 0x17B5 || (c >= 0x180B && c <= 0x180F) || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) || c == 0x3164 ||
           (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF || c == 0xFFA0 || (c >= 0xFFF0 && c <= 0xFFF8) ||
           (c >= 0x1BCA0 && c <= 0x1BCA3) || (c >= 0x1D173 && c <= 0x1D17A) || (c >= 0xE0000 && c <= 0xE0FFF);
}

// Calls f(code point, first unit, unit count) for each code point of the units
// (an unpaired surrogate is a code point of its own).
template <class F>
void ForEachCodePoint(const std::u16string& units, F f) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t c = units[i];
        std::size_t n = 1;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            n = 2;
        }
        f(c, i, n);
        i += n - 1;
    }
}

}  // namespace

bool IsValidName(const std::wstring& name) {
    const std::u16string units = ToUnits(name);
    if (units.empty() || units.size() > CONN_INFO::kMaxName) return false;
    for (char16_t u : units)
        if (IsControl(u)) return false;
    return true;
}

std::uint32_t FirstInvisible(const std::wstring& name) {
    std::uint32_t found = 0;
    ForEachCodePoint(ToUnits(name), [&](std::uint32_t c, std::size_t, std::size_t) {
        if (!found && IsInvisible(c)) found = c;
    });
    return found;
}

std::wstring VisibleName(const std::wstring& name) {
    const std::u16string units = ToUnits(name);
    std::u16string out;
    ForEachCodePoint(units, [&](std::uint32_t c, std::size_t at, std::size_t n) {
        if (IsInvisible(c)) {
            for (wchar_t w : L"<U+" + Hex(c) + L">") out.push_back(static_cast<char16_t>(w));
        } else {
            out.append(units, at, n);
        }
    });
    return FromUnits(out);
}

}  // namespace conn
