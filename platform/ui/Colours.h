// Text colours chosen against the face they are drawn on, so that a colour
// scheme with a dark face or a high-contrast scheme keeps every text readable.
#pragma once

#include <windows.h>

namespace ui {

// Perceived brightness, 0 (black) to 255 (white).
inline int Luminance(COLORREF c) { return (GetRValue(c) * 30 + GetGValue(c) * 59 + GetBValue(c) * 11) / 100; }

// Whether text in `text` stands out enough from `face` to be read easily.
inline bool ReadableOn(COLORREF text, COLORREF face) {
    const int contrast = Luminance(text) - Luminance(face);
    return contrast > 80 || contrast < -80;
}

// A high-contrast scheme is on: only the system's colours may be used.
inline bool HighContrast() {
    HIGHCONTRASTW hc{};
    hc.cbSize = sizeof hc;
    return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) &&
           (hc.dwFlags & HCF_HIGHCONTRASTON);
}

}  // namespace ui
