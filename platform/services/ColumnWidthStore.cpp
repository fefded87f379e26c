#include "platform/services/CSysReg.h"
#include "platform/services/ColumnWidth.h"

int LoadColumnWidth(const CSysReg* store, const std::wstring& key, int stored96, unsigned dpi) {
    std::optional<widths::LeftWidth> left;
    if (const auto text = store ? store->GetString(widths::LeftWidthName(key), 32) : std::nullopt)
        left = widths::ParseLeftWidth(*text);
    return widths::PixelsAt(stored96, left, dpi);
}

int KeepColumnWidth(const CSysReg& store, const std::wstring& key, int pixels, unsigned dpi) {
    // Written every time: a record left from an earlier width could still
    // match the units of this one and bring the earlier width back.
    store.SetString(widths::LeftWidthName(key), widths::FormatLeftWidth({pixels, dpi}));
    return widths::In96DpiUnits(pixels, dpi);
}
