#include "platform/updates/UpdateList.h"

#include <algorithm>

#include "platform/text/TextDecode.h"

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

// The numbers of a version without their leading zeros, or false when the
// text is not numbers between dots.
bool VersionNumbers(const std::wstring& text, std::vector<std::wstring>& numbers) {
    numbers.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = std::min(text.find(L'.', start), text.size());
        if (dot == start) return false;
        std::wstring number = text.substr(start, dot - start);
        for (wchar_t c : number)
            if (c < L'0' || c > L'9') return false;
        number.erase(0, std::min(number.find_first_not_of(L'0'), number.size()));
        numbers.push_back(std::move(number));
        if (dot == text.size()) return true;
        start = dot + 1;
    }
}

}  // namespace

bool IsNewerVersion(const std::wstring& reported, const std::wstring& installed) {
    std::vector<std::wstring> newer, older;
    if (!VersionNumbers(reported, newer) || !VersionNumbers(installed, older)) return false;
    const std::size_t count = std::max(newer.size(), older.size());
    newer.resize(count);
    older.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        // Without leading zeros, a longer number is the larger one; numbers of
        // any length compare without overflowing.
        if (newer[i].size() != older[i].size()) return newer[i].size() > older[i].size();
        if (newer[i] != older[i]) return newer[i] > older[i];
    }
    return false;
}

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
            error = L"Line " + std::to_wstring(lineNo) +
                    L" of the update list is not an entry of the form name=version.";
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
        // A line without a name names no product; the lines after it still count.
        if (name.empty()) continue;
        std::wstring rest = line.substr(eq + 1);
        const std::size_t semi = rest.find(L';');
        spare = semi == std::wstring::npos ? std::wstring() : rest.substr(semi + 1);
        version = semi == std::wstring::npos ? rest : rest.substr(0, semi);
        return true;
    }
    return false;
}

std::wstring DecodeUtf8(const std::string& bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t size = bytes.size();
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        data += 3;
        size -= 3;
    }
    std::wstring out;
    text::DecodeUtf8(data, size, out);
    return out;
}

}  // namespace updates
