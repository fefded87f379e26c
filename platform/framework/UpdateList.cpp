#include "platform/framework/UpdateList.h"

namespace updates {
namespace {

bool NextLine(const std::wstring& text, std::size_t& pos, std::wstring& line) {
    if (pos >= text.size()) return false;
    std::size_t end = text.find(L'\n', pos);
    if (end == std::wstring::npos) end = text.size();
    line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    pos = end < text.size() ? end + 1 : end;
    return true;
}

std::wstring Trim(const std::wstring& s) {
    const auto first = s.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return {};
    const auto last = s.find_last_not_of(L" \t");
    return s.substr(first, last - first + 1);
}

bool Skippable(const std::wstring& line) {
    const std::wstring t = Trim(line);
    return t.empty() || t[0] == L'#' || t == kHeader;
}

}  // namespace

bool Validate(const std::wstring& text, std::wstring& error) {
    std::size_t pos = 0;
    std::wstring line;
    if (!NextLine(text, pos, line) || Trim(line) != kHeader) {
        error = L"The update list does not start with \"" + std::wstring(kHeader) + L"\".";
        return false;
    }
    int lineNo = 1;
    while (NextLine(text, pos, line)) {
        ++lineNo;
        if (Skippable(line)) continue;
        if (line.find(L'=') == std::wstring::npos) {
            error = L"Line " + std::to_wstring(lineNo) + L" of the update list is not an entry of the form name=version.";
            return false;
        }
    }
    return true;
}

bool ReadEntry(const std::wstring& text, std::size_t& pos, std::wstring& name, std::wstring& version,
               std::wstring& spare) {
    std::wstring line;
    while (NextLine(text, pos, line)) {
        if (Skippable(line)) continue;
        const std::size_t eq = line.find(L'=');
        if (eq == std::wstring::npos) continue;
        name = Trim(line.substr(0, eq));
        std::wstring rest = line.substr(eq + 1);
        const std::size_t semi = rest.find(L';');
        spare = semi == std::wstring::npos ? std::wstring() : rest.substr(semi + 1);
        version = semi == std::wstring::npos ? rest : rest.substr(0, semi);
        return true;
    }
    return false;
}

std::wstring DecodeUtf8(const std::string& bytes) {
    std::wstring out;
    std::size_t i = 0;
    if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
        static_cast<unsigned char>(bytes[1]) == 0xBB && static_cast<unsigned char>(bytes[2]) == 0xBF)
        i = 3;
    while (i < bytes.size()) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        unsigned cp = 0;
        int extra = 0;
        if (c < 0x80) { cp = c; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
        else { out.push_back(L'\xFFFD'); ++i; continue; }
        bool ok = i + extra < bytes.size() + (extra ? 0 : 1);
        for (int k = 1; ok && k <= extra; ++k) {
            const unsigned char cc = static_cast<unsigned char>(bytes[i + k]);
            if ((cc & 0xC0) != 0x80) ok = false;
            else cp = (cp << 6) | (cc & 0x3F);
        }
        static const unsigned kMin[] = {0, 0x80, 0x800, 0x10000};
        if (!ok || cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(L'\xFFFD');
            ++i;
            continue;
        }
        i += static_cast<std::size_t>(extra) + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp));
        }
    }
    return out;
}

}  // namespace updates
