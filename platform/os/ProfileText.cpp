#include <cwctype>

#include "platform/os/Os.h"

namespace os {

namespace {

std::wstring Trim(const std::wstring& s) {
    const auto first = s.find_first_not_of(L" \t\r");
    if (first == std::wstring::npos) return {};
    return s.substr(first, s.find_last_not_of(L" \t\r") - first + 1);
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::towupper(static_cast<std::wint_t>(a[i])) != std::towupper(static_cast<std::wint_t>(b[i])))
            return false;
    return true;
}

}  // namespace

std::wstring ProfileValue(const std::wstring& text, const std::wstring& section, const std::wstring& key) {
    bool inSection = false;
    for (std::size_t at = 0; at <= text.size();) {
        std::size_t end = text.find(L'\n', at);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring line = Trim(text.substr(at, end - at));
        at = end + 1;
        if (line.empty() || line[0] == L';') continue;
        if (line[0] == L'[') {
            // Only the first section of that name is read.
            if (inSection) return {};
            const auto close = line.rfind(L']');
            inSection = close != std::wstring::npos && close > 0 &&
                        SameName(Trim(line.substr(1, close - 1)), section);
            continue;
        }
        const auto equals = line.find(L'=');
        if (!inSection || equals == std::wstring::npos || !SameName(Trim(line.substr(0, equals)), key))
            continue;
        std::wstring value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"')
            value = value.substr(1, value.size() - 2);
        if (value.size() > 259) value.resize(259);
        return value;
    }
    return {};
}

}  // namespace os
