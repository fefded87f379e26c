// Column widths as the user leaves them, the same at the next start.
//
// A width is stored under its key in 96-dpi units, which older versions and
// other programs read. Whole 96-dpi units are coarser than pixels above 96
// dpi: at 144 dpi a width of 103 pixels is 68.67 units, stored as 69, which
// comes back as 104. So the width is also kept as it was left, in pixels with
// the DPI it was left at, under "<key>AtDpi" as text such as "103@144". That
// record is used only while the key still holds the 96-dpi value made from it:
// a width that another program or an older version stored since wins. At the
// same DPI the pixels come back unchanged; at another they are scaled from
// the pixels, not from the rounded units.
#pragma once

#include <optional>
#include <string>

class CSysReg;

namespace widths {

struct LeftWidth {
    int pixels = 0;
    unsigned dpi = 0;
};

// The value stored under the key for a width of `pixels` left at `dpi`.
int In96DpiUnits(int pixels, unsigned dpi);
// The width in pixels at `dpi` of a column whose key holds `stored96`, with
// the record of how it was left if there is one.
int PixelsAt(int stored96, const std::optional<LeftWidth>& left, unsigned dpi);

// The name of the record beside `key`, and its text.
std::wstring LeftWidthName(const std::wstring& key);
std::wstring FormatLeftWidth(const LeftWidth& left);
// Nothing unless the text is exactly what FormatLeftWidth writes for a width
// of 0 to INT_MAX pixels and a DPI of 1 to 65535.
std::optional<LeftWidth> ParseLeftWidth(const std::wstring& text);

}  // namespace widths

// Over a settings key in the registry (Windows builds only). The caller reads
// and checks the 96-dpi value under `key` itself (its default when missing);
// without a store, the 96-dpi value is only scaled.
int LoadColumnWidth(const CSysReg* store, const std::wstring& key, int stored96, unsigned dpi);
// Records the width as left beside its key and returns the 96-dpi value that
// the caller stores under the key.
int KeepColumnWidth(const CSysReg& store, const std::wstring& key, int pixels, unsigned dpi);
