#include "platform/services/ColumnWidth.h"

#include <climits>

#include "platform/ui/Scaling.h"

namespace widths {

namespace {

constexpr unsigned kMaxDpi = 65535;

// Decimal digits only, no sign, no leading zero (but "0"), at most `max`.
std::optional<long long> ParseNumber(const std::wstring& text, long long max) {
    if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == L'0')) return std::nullopt;
    long long value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
    }
    if (value > max) return std::nullopt;
    return value;
}

}  // namespace

int In96DpiUnits(int pixels, unsigned dpi) { return ui::Unscale(pixels, dpi); }

int PixelsAt(int stored96, const std::optional<LeftWidth>& left, unsigned dpi) {
    if (left && left->dpi && In96DpiUnits(left->pixels, left->dpi) == stored96)
        return ui::MulDivSaturated(left->pixels, dpi, left->dpi);
    return ui::Scale(stored96, dpi);
}

std::wstring LeftWidthName(const std::wstring& key) { return key + L"AtDpi"; }

std::wstring FormatLeftWidth(const LeftWidth& left) {
    return std::to_wstring(left.pixels) + L"@" + std::to_wstring(left.dpi);
}

std::optional<LeftWidth> ParseLeftWidth(const std::wstring& text) {
    const auto at = text.find(L'@');
    if (at == std::wstring::npos) return std::nullopt;
    const auto pixels = ParseNumber(text.substr(0, at), INT_MAX);
    const auto dpi = ParseNumber(text.substr(at + 1), kMaxDpi);
    if (!pixels || !dpi || *dpi == 0) return std::nullopt;
    return LeftWidth{static_cast<int>(*pixels), static_cast<unsigned>(*dpi)};
}

}  // namespace widths
