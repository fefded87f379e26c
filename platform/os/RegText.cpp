#include "platform/os/Os.h"

namespace os {

std::wstring RegText(const std::vector<unsigned char>& data) {
    // As if read into a zero-filled buffer: an odd last byte is the low byte
    // of a last character whose high byte is zero, so a text whose writer
    // counted its bytes one short keeps its last letter.
    std::wstring text;
    for (std::size_t i = 0; i < data.size(); i += 2) {
        const unsigned high = i + 1 < data.size() ? data[i + 1] : 0u;
        const wchar_t unit = static_cast<wchar_t>(data[i] | (high << 8));
        if (unit == 0) break;
        text.push_back(unit);
    }
    return text;
}

std::vector<unsigned char> RegBytes(const std::wstring& text) {
    std::vector<unsigned char> bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (wchar_t c : text) {
        const auto unit = static_cast<std::uint32_t>(c) & 0xFFFFu;
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

}  // namespace os
