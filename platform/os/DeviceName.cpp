// Device names are judged by their spelling so that nothing is opened to find
// out: opening a port can wait for a peer, reading a pipe waits for its
// writer, and a client that connects to a pipe takes an instance another
// program was waiting for.
#include <cstdint>
#include <string>

#include "platform/os/Os.h"

namespace os {
namespace {

wchar_t Upper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 0x20) : c; }

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool StartsWithNoCase(const std::wstring& text, std::size_t at, const wchar_t* prefix) {
    for (std::size_t i = 0; prefix[i]; ++i)
        if (at + i >= text.size() || Upper(text[at + i]) != Upper(prefix[i])) return false;
    return true;
}

// The reserved names of the DOS devices; the system resolves them in any
// folder. COM and LPT take a digit or the superscripts 1 to 3.
bool IsDosDeviceName(const std::wstring& name) {
    std::wstring n;
    for (wchar_t c : name) n.push_back(Upper(c));
    if (n == L"CON" || n == L"PRN" || n == L"AUX" || n == L"NUL" || n == L"CONIN$" || n == L"CONOUT$")
        return true;
    if (n.size() == 4 && (n.compare(0, 3, L"COM") == 0 || n.compare(0, 3, L"LPT") == 0)) {
        const wchar_t d = n[3];
        return (d >= L'0' && d <= L'9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
    }
    return false;
}

// server\pipe\name and server\mailslot\name, from `at` (just after the two
// leading separators or the UNC prefix), reach another machine's pipes and
// mailslots through share-like names.
bool IsRemotePipeOrMailslot(const std::wstring& path, std::size_t at) {
    std::size_t share = at;
    while (share < path.size() && !IsSeparator(path[share])) ++share;
    if (share >= path.size()) return false;
    std::size_t end = share + 1;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    std::wstring name = path.substr(share + 1, end - share - 1);
    for (wchar_t& c : name) c = Upper(c);
    return name == L"PIPE" || name == L"MAILSLOT";
}

// A ".." component, which could climb out of a drive or share in the device
// namespace; no program or project of ours is named that way.
bool HasParentStep(const std::wstring& path, std::size_t at) {
    for (std::size_t i = at; i + 1 < path.size(); ++i)
        if (path[i] == L'.' && path[i + 1] == L'.' && IsSeparator(path[i - 1]) &&
            (i + 2 == path.size() || IsSeparator(path[i + 2])))
            return true;
    return false;
}

// After a \\.\, \\?\ or \??\ prefix only a drive path ("C:\...") or a UNC
// path ("UNC\server\share\...") and paths on a volume ("Volume{...}\...")
// lead to files; every other name there, the volume itself with nothing
// after it too, is an object of the device namespace.
bool FileInDeviceNamespace(const std::wstring& path, std::size_t at) {
    if (HasParentStep(path, at)) return false;
    if (at + 2 < path.size() && path[at + 1] == L':' && IsSeparator(path[at + 2]) &&
        ((Upper(path[at]) >= L'A' && Upper(path[at]) <= L'Z')))
        return true;
    if (StartsWithNoCase(path, at, L"UNC") && at + 3 < path.size() && IsSeparator(path[at + 3]))
        return !IsRemotePipeOrMailslot(path, at + 4);
    if (!StartsWithNoCase(path, at, L"Volume{")) return false;
    const std::size_t close = path.find(L'}', at);
    return close != std::wstring::npos && close + 1 < path.size() && IsSeparator(path[close + 1]);
}

}  // namespace

bool NamesDevice(const std::wstring& path) {
    const bool slashStart = path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
    if (slashStart && path.size() >= 4 && (path[2] == L'.' || path[2] == L'?') && IsSeparator(path[3]))
        return !FileInDeviceNamespace(path, 4);
    if (path.size() >= 4 && path[0] == L'\\' && path[1] == L'?' && path[2] == L'?' && path[3] == L'\\')
        return !FileInDeviceNamespace(path, 4);
    if (slashStart && IsRemotePipeOrMailslot(path, 2)) return true;

    // The last component, as the system reads it: trailing blanks and dots
    // are dropped, and so is everything from the first dot or colon, and the
    // blanks before that ("NUL .txt", "COM1:", "lpt1.exe" are all devices).
    std::size_t start = path.find_last_of(L"\\/");
    start = start == std::wstring::npos ? 0 : start + 1;
    if (start == 0 && path.size() >= 2 && path[1] == L':') start = 2;  // drive-relative "C:NUL"
    std::wstring name = path.substr(start);
    while (!name.empty() && (name.back() == L' ' || name.back() == L'.')) name.pop_back();
    const std::size_t cut = name.find_first_of(L".:");
    if (cut != std::wstring::npos) name.resize(cut);
    while (!name.empty() && name.back() == L' ') name.pop_back();
    return IsDosDeviceName(name);
}

}  // namespace os
