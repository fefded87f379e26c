// A scoped registry key below HKEY_CURRENT_USER whose every call reports its
// outcome (Windows only).
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/os/Os.h"

namespace os {

class RegKey {
public:
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    RegKey(RegKey&& other) noexcept : m_key(other.m_key) { other.m_key = nullptr; }
    ~RegKey() { Close(); }

    // Opens HKCU\subKey for reading; false when it does not exist or is not readable.
    bool Open(const std::wstring& subKey, REGSAM access = KEY_READ);
    // Opens or creates HKCU\subKey for writing.
    bool Create(const std::wstring& subKey);
    void Close();
    HKEY Get() const { return m_key; }
    explicit operator bool() const { return m_key != nullptr; }

    // Value `name` as RegQueryValueExW gives it with a buffer of maxBytes
    // bytes: any type; data larger than maxBytes gives MoreData and no bytes.
    // A closed key gives NoKey.
    RegValue Query(const std::wstring& name, std::size_t maxBytes) const;
    // A REG_DWORD, or a REG_SZ holding a decimal number; nothing for any other
    // type, size or text.
    std::optional<long long> ReadInteger(const std::wstring& name) const;
    // A REG_BINARY of at most maxBytes bytes.
    std::optional<std::vector<unsigned char>> ReadBinary(const std::wstring& name, size_t maxBytes) const;
    // A REG_SZ or REG_EXPAND_SZ (not expanded) of at most maxChars characters.
    std::optional<std::wstring> ReadString(const std::wstring& name, size_t maxChars) const;

    bool WriteDword(const std::wstring& name, DWORD value) const;
    bool WriteBinary(const std::wstring& name, const void* data, size_t size) const;
    bool WriteString(const std::wstring& name, const std::wstring& value) const;

private:
    HKEY m_key = nullptr;
};

}  // namespace os
