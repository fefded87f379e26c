// Lengths that the program places in pixels at run time are given at 96 dpi
// and scaled to the DPI of the window they belong to, so that the hub is as
// sharp and as roomy on a 150 % monitor as on a 100 % one. Stored lengths
// (column widths) are kept in 96-dpi units so that they mean the same on
// every monitor.
#pragma once

#include <windows.h>

#include <algorithm>
#include <climits>

#include "platform/ui/Gdi.h"

namespace ui {

constexpr UINT kBaseDpi = 96;

// The DPI a window is drawn at: its monitor's under per-monitor awareness,
// otherwise the system's.
UINT DpiOf(HWND hwnd);
// The DPI the system's stock objects (DEFAULT_GUI_FONT) were made for.
UINT SystemDpi();

// value * multiplier / divisor rounded half away from zero, as MulDiv does,
// but held at the ends of int where MulDiv would report -1: a stored length
// near the largest int stays the largest length, never a negative one.
inline int MulDivSaturated(int value, UINT multiplier, UINT divisor) {
    if (!divisor) return value;
    const long long product = static_cast<long long>(value) * multiplier, half = divisor / 2;
    const long long quotient =
        (product >= 0 ? product + half : product - half) / static_cast<long long>(divisor);
    return static_cast<int>(std::clamp<long long>(quotient, INT_MIN, INT_MAX));
}

// A 96-dpi length in pixels at dpi, and back (rounded to the nearest pixel).
inline int Scale(int length96, UINT dpi) { return MulDivSaturated(length96, dpi, kBaseDpi); }
inline int Unscale(int pixels, UINT dpi) { return dpi ? MulDivSaturated(pixels, kBaseDpi, dpi) : pixels; }
// Every edge scaled on its own, so that rectangles which meet at 96 dpi still
// meet and never overlap at any DPI.
inline RECT Scale(const RECT& r96, UINT dpi) {
    return RECT{Scale(r96.left, dpi), Scale(r96.top, dpi), Scale(r96.right, dpi), Scale(r96.bottom, dpi)};
}

// An icon resource at the standard icon size for dpi (32 pixels at 96 dpi),
// picked from the sizes the resource holds and scaled down only if none fits.
Icon LoadIconForDpi(HINSTANCE module, int id, UINT dpi);

// A control placed at run time is laid out again by its owner when the DPI
// changes; this keeps the dialog manager from moving it or changing its font
// first (a no-op before Windows 10 1703).
void LeaveToOwnerOnDpiChange(HWND control);

}  // namespace ui
