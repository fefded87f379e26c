// Text colours chosen against the face they are drawn on, so that a colour
// scheme with a dark face or a high-contrast scheme keeps every text readable.
#pragma once

#include <windows.h>

#include "platform/text/ColorScheme.h"

namespace ui {

// Whether a label or link in `text` stands out enough from `face` to be read
// easily: the same contrast rule as the script preview's colours, at the
// ratio short texts need.
inline bool ReadableOn(COLORREF text, COLORREF face) {
    return colors::Contrast(text, face) >= colors::kReadableLabel;
}

// A high-contrast scheme is on: only the system's colours may be used.
inline bool HighContrast() {
    HIGHCONTRASTW hc{};
    hc.cbSize = sizeof hc;
    return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) &&
           (hc.dwFlags & HCF_HIGHCONTRASTON);
}

}  // namespace ui
