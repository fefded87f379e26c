#include "platform/updates/FileUrl.h"

#include <string>

#include "platform/updates/UpdateList.h"

namespace updates {
namespace {

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    std::size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= text.size()) return false;
        wchar_t c = text[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 0x20);
        if (c != prefix[i]) return false;
    }
    return true;
}

// Runs of %-escapes are UTF-8; everything else is taken as written.
bool Unescape(const std::wstring& text, std::wstring& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] != L'%') {
            // The system would end the path at a NUL and read another file.
            if (text[i] == L'\0') return false;
            out.push_back(text[i++]);
            continue;
        }
        std::string bytes;
        while (i < text.size() && text[i] == L'%') {
            if (i + 2 >= text.size()) return false;
            const int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
            if (hi < 0 || lo < 0) return false;
            const int byte = hi * 16 + lo;
            if (byte == 0) return false;
            bytes.push_back(static_cast<char>(byte));
            i += 3;
        }
        const std::wstring decoded = DecodeUtf8(bytes);
        if (decoded.find(L'\xFFFD') != std::wstring::npos) return false;
        out += decoded;
    }
    return true;
}

bool IsDrive(const std::wstring& s) {
    return s.size() >= 2 && s[1] == L':' &&
           ((s[0] >= L'A' && s[0] <= L'Z') || (s[0] >= L'a' && s[0] <= L'z'));
}

}  // namespace

bool FileUrlToPath(const std::wstring& url, std::wstring& path) {
    if (!StartsWithNoCase(url, L"file:")) return false;
    std::wstring rest;
    if (!Unescape(url.substr(5), rest)) return false;
    for (auto& c : rest)
        if (c == L'/') c = L'\\';
    // What follows "file:" decides: \\\C:\... a local path, \\\\server\...
    // and \\server\... a share, \\localhost\C:\... a local path again.
    std::wstring result;
    if (rest.rfind(L"\\\\\\\\", 0) == 0) {
        result = L"\\\\" + rest.substr(4);
    } else if (rest.rfind(L"\\\\\\", 0) == 0) {
        result = rest.substr(3);
    } else if (rest.rfind(L"\\\\", 0) == 0) {
        const std::wstring authority = rest.substr(2);
        if (StartsWithNoCase(authority, L"localhost\\"))
            result = authority.substr(10);
        else if (IsDrive(authority))
            result = authority;
        else
            result = L"\\\\" + authority;
    } else {
        return false;
    }
    // Only a whole path names the list: a relative or drive-relative one would
    // be read from wherever the hub happens to run.
    const bool fullDrivePath = IsDrive(result) && result.size() >= 3 && result[2] == L'\\';
    const bool share = result.size() > 2 && result.rfind(L"\\\\", 0) == 0;
    if (!fullDrivePath && !share) return false;
    path = std::move(result);
    return true;
}

}  // namespace updates
