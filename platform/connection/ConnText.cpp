#include "platform/connection/ConnText.h"

#include "platform/text/TextDecode.h"

namespace conn {

std::u16string ToUnits(const std::wstring& text) {
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t wc : text) {
        const auto c = static_cast<std::uint32_t>(wc);
        if (c <= 0xFFFF) {
            out.push_back(static_cast<char16_t>(c));
        } else if (c <= 0x10FFFF) {
            const std::uint32_t v = c - 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            out.push_back(u'\uFFFD');
        }
    }
    return out;
}

std::wstring FromUnits(const std::u16string& units) {
    std::wstring out;
    out.reserve(units.size());
    if constexpr (sizeof(wchar_t) == 2) {
        for (char16_t u : units) out.push_back(static_cast<wchar_t>(u));
    } else {
        for (std::size_t i = 0; i < units.size(); ++i) {
            const std::uint32_t u = units[i];
            if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                units[i + 1] <= 0xDFFF) {
                const std::uint32_t low = units[++i];
                out.push_back(static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00)));
            } else {
                out.push_back(static_cast<wchar_t>(u));
            }
        }
    }
    return out;
}

Bytes UnitsToLe(const std::u16string& units) {
    Bytes out;
    out.reserve(units.size() * 2);
    for (char16_t u : units) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    }
    return out;
}

std::optional<std::u16string> LeToUnits(const Bytes& bytes) {
    if (bytes.size() % 2 != 0) return std::nullopt;
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return out;
}

Bytes ToUtf8(const std::u16string& units) {
    Bytes out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::optional<std::u16string> FromUtf8(const Bytes& bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::uint32_t c = 0;
        const std::size_t length = text::Utf8Sequence(data + i, bytes.size() - i, c);
        if (length == 0) return std::nullopt;
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += length;
    }
    return out;
}

namespace {

const char kStd[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char kUrl[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

int Sextet(char ch, bool urlSafe) {
    if (ch >= 'A' && ch <= 'Z') return ch - 'A';
    if (ch >= 'a' && ch <= 'z') return ch - 'a' + 26;
    if (ch >= '0' && ch <= '9') return ch - '0' + 52;
    if (ch == (urlSafe ? '-' : '+')) return 62;
    if (ch == (urlSafe ? '_' : '/')) return 63;
    return -1;
}

}  // namespace

std::string Base64Encode(const Bytes& bytes, bool urlSafe) {
    const char* alphabet = urlSafe ? kUrl : kStd;
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) |
                                (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                                static_cast<unsigned char>(bytes[i + 2]);
        out.push_back(alphabet[v >> 18]);
        out.push_back(alphabet[(v >> 12) & 63]);
        out.push_back(alphabet[(v >> 6) & 63]);
        out.push_back(alphabet[v & 63]);
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out.push_back(alphabet[v >> 18]);
        out.push_back(alphabet[(v >> 12) & 63]);
        if (rest == 2) out.push_back(alphabet[(v >> 6) & 63]);
        if (!urlSafe) out.append(rest == 1 ? "==" : "=");
    }
    return out;
}

std::optional<Bytes> Base64Decode(const std::string& text, bool urlSafe) {
    std::size_t len = text.size();
    std::size_t pad = 0;
    if (!urlSafe) {
        if (len % 4 != 0) return std::nullopt;
        while (pad < 2 && len > 0 && text[len - 1] == '=') --len, ++pad;
    } else if (len % 4 == 1) {
        return std::nullopt;
    }
    Bytes out;
    out.reserve(len * 3 / 4);
    std::uint32_t acc = 0;
    int bits = 0;
    for (std::size_t i = 0; i < len; ++i) {
        const int s = Sextet(text[i], urlSafe);
        if (s < 0) return std::nullopt;
        acc = (acc << 6) | static_cast<std::uint32_t>(s);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((acc >> bits) & 0xFF));
        }
    }
    if (bits > 0 && (acc & ((1u << bits) - 1)) != 0) return std::nullopt;  // unused bits must be zero
    if (!urlSafe && pad != (4 - len % 4) % 4) return std::nullopt;
    return out;
}

void PutVarint(Bytes& out, std::uint64_t value) {
    do {
        unsigned char b = value & 0x7F;
        value >>= 7;
        if (value != 0) b |= 0x80;
        out.push_back(static_cast<char>(b));
    } while (value != 0);
}

std::optional<std::uint32_t> GetVarint(const Bytes& in, std::size_t& pos) {
    std::uint64_t value = 0;
    for (int k = 0; k < 5; ++k) {
        if (pos >= in.size()) return std::nullopt;
        const auto b = static_cast<unsigned char>(in[pos++]);
        value |= static_cast<std::uint64_t>(b & 0x7F) << (7 * k);
        if ((b & 0x80) == 0) {
            if (k > 0 && b == 0) return std::nullopt;  // non-minimal
            if (value > 0xFFFFFFFFu) return std::nullopt;
            return static_cast<std::uint32_t>(value);
        }
    }
    return std::nullopt;
}

}  // namespace conn
