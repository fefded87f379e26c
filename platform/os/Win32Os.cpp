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
    bool Exists(const std::wstring& path) override {
        if (path.empty() || NamesDevice(path)) return false;
        const DWORD attributes = GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DEVICE);
    }

    std::optional<FileFacts> RegularFile(const std::wstring& path) override {
        if (path.empty() || NamesDevice(path)) return std::nullopt;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
        if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return std::nullopt;
        ULARGE_INTEGER t;
        t.LowPart = data.ftLastWriteTime.dwLowDateTime;
        t.HighPart = data.ftLastWriteTime.dwHighDateTime;
        // 100-ns ticks since 1601 to seconds since 1970.
        constexpr std::int64_t kEpochDelta = 11644473600LL;
        FileFacts facts;
        facts.lastWrite = static_cast<std::int64_t>(t.QuadPart / 10000000ULL) - kEpochDelta;
        facts.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        return facts;
    }
};

class Win32VersionReader final : public IVersionReader {
public:
    std::optional<FixedVersion> ReadFixedVersion(const std::wstring& path) override {
        // Asking a device or a pipe for its version resource may never return.
        // Callers have already found a regular file; the spelling is checked
        // again here because it costs no disk access.
        if (NamesDevice(path)) return std::nullopt;
        DWORD handle = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
        if (size == 0) return std::nullopt;
        std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[size]);
        if (!block) return std::nullopt;
        if (!GetFileVersionInfoW(path.c_str(), 0, size, block.get())) return std::nullopt;
        VS_FIXEDFILEINFO* info = nullptr;
        UINT len = 0;
        if (!VerQueryValueW(block.get(), L"\\", reinterpret_cast<void**>(&info), &len) || !info ||
            len < sizeof(VS_FIXEDFILEINFO) || info->dwSignature != 0xFEEF04BD)
            return std::nullopt;
        return FixedVersion{info->dwProductVersionMS, info->dwProductVersionLS, info->dwFileVersionMS,
                            info->dwFileVersionLS};
    }
};

class Win32ProfileReader final : public IProfileReader {
public:
    std::wstring GetString(const std::wstring& section, const std::wstring& key,
                           const std::wstring& path) override {
        wchar_t buffer[260] = {};
        GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", buffer, 260, path.c_str());
        buffer[259] = 0;
        return buffer;
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
