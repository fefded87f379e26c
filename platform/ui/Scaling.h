// Lengths between 96 dpi and another DPI, in whole pixels. Portable, so that
// code which needs no window (stored widths, say) scales as the windows do.
#pragma once

#include <algorithm>
#include <climits>

namespace ui {

constexpr unsigned kBaseDpi = 96;

// value * multiplier / divisor rounded half away from zero, as MulDiv does,
// but held at the ends of int where MulDiv would report -1: a stored length
// near the largest int stays the largest length, never a negative one.
inline int MulDivSaturated(int value, unsigned multiplier, unsigned divisor) {
    if (!divisor) return value;
    const long long product = static_cast<long long>(value) * multiplier, half = divisor / 2;
    const long long quotient =
        (product >= 0 ? product + half : product - half) / static_cast<long long>(divisor);
    return static_cast<int>(std::clamp<long long>(quotient, INT_MIN, INT_MAX));
}

// A 96-dpi length in pixels at dpi, and back (rounded to the nearest pixel).
inline int Scale(int length96, unsigned dpi) { return MulDivSaturated(length96, dpi, kBaseDpi); }
inline int Unscale(int pixels, unsigned dpi) { return dpi ? MulDivSaturated(pixels, kBaseDpi, dpi) : pixels; }

}  // namespace ui
