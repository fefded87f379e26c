// Lengths that the program places in pixels at run time are given at 96 dpi
// and scaled to the DPI of the window they belong to, so that the hub is as
// sharp and as roomy on a 150 % monitor as on a 100 % one. Stored lengths
// (column widths) are kept in 96-dpi units so that they mean the same on
// every monitor (platform/services/ColumnWidth.h keeps them exact as well).
#pragma once

#include <windows.h>

#include "platform/ui/Gdi.h"
#include "platform/ui/Scaling.h"

namespace ui {

// The DPI a window is drawn at: its monitor's under per-monitor awareness,
// otherwise the system's.
UINT DpiOf(HWND hwnd);
// The DPI the system's stock objects (DEFAULT_GUI_FONT) were made for.
UINT SystemDpi();

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
