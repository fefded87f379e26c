#include "platform/connection/Secret.h"

#include <cstdint>

namespace conn {

void WipeMemory(void* data, std::size_t bytes) {
    volatile unsigned char* p = static_cast<unsigned char*>(data);
    for (std::size_t i = 0; i < bytes; ++i) p[i] = 0;
}

namespace {

bool IsHigh(std::uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(std::uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Calls put(unit) for each UTF-16 code unit of `text`; code points above
// U+10FFFF (possible only with a 32-bit wchar_t) become U+FFFD.
template <class Put>
void ForEachUnit(std::wstring_view text, Put put) {
    for (wchar_t wc : text) {
        const auto c = static_cast<std::uint32_t>(wc);
        if (c <= 0xFFFF) {
            put(static_cast<char16_t>(c));
        } else if (c <= 0x10FFFF) {
            put(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            put(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            put(u'\uFFFD');
        }
    }
}

// Calls put(code point) for each code point of the units; an unpaired
// surrogate is U+FFFD.
template <class Put>
void ForEachCodePoint(const SecretText& units, Put put) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t c = units[i];
        if (IsHigh(c) && i + 1 < units.size() && IsLow(units[i + 1]))
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00u);
        else if (IsHigh(c) || IsLow(c))
            c = 0xFFFD;
        put(c);
    }
}

std::size_t Utf8Length(std::uint32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

}  // namespace

SecretText::SecretText(std::wstring_view text) {
    std::size_t count = 0;
    ForEachUnit(text, [&](char16_t) { ++count; });
    reserve(count);
    ForEachUnit(text, [&](char16_t u) { push_back(u); });
}

bool SecretText::Equals(std::wstring_view text) const {
    std::size_t at = 0;
    bool same = true;
    ForEachUnit(text, [&](char16_t u) {
        same = same && at < size() && (*this)[at] == u;
        ++at;
    });
    return same && at == size();
}

SecretBytes LeBytes(const SecretText& text) {
    SecretBytes out;
    out.reserve(text.size() * 2);
    for (char16_t u : text) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    }
    return out;
}

std::optional<SecretText> FromLeBytes(const SecretBytes& bytes) {
    if (bytes.size() % 2 != 0) return std::nullopt;
    SecretText out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); i += 2)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return out;
}

SecretBytes Utf8Bytes(const SecretText& text) {
    std::size_t count = 0;
    ForEachCodePoint(text, [&](std::uint32_t c) { count += Utf8Length(c); });
    SecretBytes out;
    out.reserve(count);
    ForEachCodePoint(text, [&](std::uint32_t c) {
        const std::size_t n = Utf8Length(c);
        if (n == 1) {
            out.push_back(static_cast<char>(c));
            return;
        }
        static const unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
        out.push_back(static_cast<char>(kLead[n] | (c >> (6 * (n - 1)))));
        for (std::size_t k = n - 1; k-- > 0;)
            out.push_back(static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F)));
    });
    return out;
}

}  // namespace conn
