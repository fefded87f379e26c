// The os seams over the real Windows services.
#include <windows.h>

#include <time.h>
#include <wchar.h>

#include <algorithm>
#include <memory>

#include "platform/os/Os.h"
#include "platform/os/RegKey.h"

namespace os {
namespace {

class Win32Registry final : public IRegistry {
public:
    bool KeyExists(const std::wstring& subKey) override { return static_cast<bool>(OpenForReading(subKey)); }

    RegValue QueryValue(const std::wstring& subKey, const std::wstring& name, std::size_t maxBytes) override {
        return OpenForReading(subKey).Query(name, maxBytes);
    }

private:
    static RegKey OpenForReading(const std::wstring& subKey) {
        RegKey key;
        key.Open(subKey);
        return key;
    }
};

class Win32FileSystem final : public IFileSystem {
public:
    bool Exists(const std::wstring& path) override { return PathFactsOf(path).has_value(); }

    std::optional<FileFacts> RegularFile(const std::wstring& path) override {
        const std::optional<PathFacts> facts = PathFactsOf(path);
        if (!facts || facts->folder) return std::nullopt;
        return facts->file;
    }
};

class Win32VersionReader final : public IVersionReader {
public:
    std::optional<FixedVersion> ReadFixedVersion(const std::wstring& path) override {
        return FixedVersionOf(path);
    }
};

class Win32ProfileReader final : public IProfileReader {
public:
    std::wstring GetString(const std::wstring& section, const std::wstring& key,
                           const std::wstring& path) override {
        return ProfileStringOf(section, key, path);
    }
};

class Win32Clock final : public IClock {
public:
    std::wstring FormatLocal(std::int64_t utcSeconds, const wchar_t* format) override {
        __time64_t t = utcSeconds;
        struct tm local {};
        if (_localtime64_s(&local, &t) != 0) return {};
        wchar_t buffer[128] = {};
        if (wcsftime(buffer, 128, format, &local) == 0) return {};
        return buffer;
    }
};

}  // namespace

std::optional<PathFacts> PathFactsOf(const std::wstring& path) {
    if (path.empty() || NamesDevice(path)) return std::nullopt;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) return std::nullopt;
    PathFacts facts;
    facts.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (facts.folder) return facts;
    ULARGE_INTEGER t;
    t.LowPart = data.ftLastWriteTime.dwLowDateTime;
    t.HighPart = data.ftLastWriteTime.dwHighDateTime;
    // 100-ns ticks since 1601 to seconds since 1970.
    constexpr std::int64_t kEpochDelta = 11644473600LL;
    facts.file.lastWrite = static_cast<std::int64_t>(t.QuadPart / 10000000ULL) - kEpochDelta;
    facts.file.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return facts;
}

std::wstring ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring ProgramFolder() {
    const std::wstring path = ProgramPath();
    const std::size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::optional<FixedVersion> FixedVersionOf(const std::wstring& path) {
    // Asking a device or a pipe for its version resource may never return.
    // Callers have already found a regular file; the spelling is checked
    // again here because it costs no disk access.
    if (NamesDevice(path)) return std::nullopt;
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    const std::optional<FixedVersion> version =
        FixedVersionOfImage([file](std::uint64_t offset, std::size_t size, unsigned char* out) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            DWORD got = 0;
            return size <= 0x10000 && ReadFile(file, out, static_cast<DWORD>(size), &got, &at) && got == size;
        });
    CloseHandle(file);
    return version;
}

std::optional<FixedVersion> OwnFixedVersion() {
    // Resources of the loaded image stay mapped while the program runs.
    HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    HGLOBAL loaded = found ? ::LoadResource(nullptr, found) : nullptr;
    const void* block = loaded ? ::LockResource(loaded) : nullptr;
    if (!block) return std::nullopt;
    return FixedVersionOfBlock(static_cast<const unsigned char*>(block), ::SizeofResource(nullptr, found));
}

std::wstring ProfileStringOf(const std::wstring& section, const std::wstring& key, const std::wstring& path) {
    wchar_t buffer[260] = {};
    GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", buffer, 260, path.c_str());
    buffer[259] = 0;
    return buffer;
}

std::vector<std::wstring> ProfileStringsOf(const std::wstring& path, const std::wstring& section,
                                           const std::vector<std::wstring>& keys, std::size_t maxBytes) {
    std::vector<std::wstring> values(keys.size());
    if (NamesDevice(path)) return values;
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return values;
    std::string bytes(maxBytes, '\0');
    DWORD got = 0;
    const BOOL read = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(file);
    if (!read) return values;
    bytes.resize(got);
    // The encodings the profile call reads: UTF-16 with its byte-order mark,
    // UTF-8 with its mark, else the ANSI code page.
    std::wstring text;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    if (got >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
        const bool big = b[0] == 0xFE;
        for (std::size_t i = 2; i + 1 < got; i += 2)
            text.push_back(static_cast<wchar_t>(big ? (b[i] << 8) | b[i + 1] : (b[i + 1] << 8) | b[i]));
    } else {
        const bool utf8 = got >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF;
        const char* from = bytes.data() + (utf8 ? 3 : 0);
        const int n = static_cast<int>(got) - (utf8 ? 3 : 0);
        const UINT page = utf8 ? CP_UTF8 : CP_ACP;
        text.resize(static_cast<std::size_t>(n > 0 ? MultiByteToWideChar(page, 0, from, n, nullptr, 0) : 0));
        if (!text.empty()) MultiByteToWideChar(page, 0, from, n, text.data(), static_cast<int>(text.size()));
    }
    for (std::size_t i = 0; i < keys.size(); ++i) values[i] = ProfileValue(text, section, keys[i]);
    return values;
}

IRegistry& Registry() {
    static Win32Registry r;
    return r;
}
IFileSystem& FileSystem() {
    static Win32FileSystem f;
    return f;
}
IVersionReader& VersionReader() {
    static Win32VersionReader v;
    return v;
}
IProfileReader& ProfileReader() {
    static Win32ProfileReader p;
    return p;
}
IClock& Clock() {
    static Win32Clock c;
    return c;
}

bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    // Unit by unit, so any length may be compared in parts that an int counts.
    constexpr std::size_t kPart = 1u << 30;
    for (std::size_t at = 0; at < a.size(); at += kPart) {
        const int n = static_cast<int>(std::min(kPart, a.size() - at));
        if (::CompareStringOrdinal(a.data() + at, n, b.data() + at, n, TRUE) != CSTR_EQUAL) return false;
    }
    return true;
}

}  // namespace os
