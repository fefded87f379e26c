#include "platform/os/RegKey.h"

#include <cerrno>
#include <cstring>
#include <cwchar>

namespace os {

bool RegKey::Open(const std::wstring& subKey, REGSAM access) {
    Close();
    return RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, access, &m_key) == ERROR_SUCCESS ||
           (m_key = nullptr, false);
}

bool RegKey::Create(const std::wstring& subKey) {
    Close();
    return RegCreateKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                           &m_key, nullptr) == ERROR_SUCCESS ||
           (m_key = nullptr, false);
}

void RegKey::Close() {
    if (m_key) RegCloseKey(m_key);
    m_key = nullptr;
}

RegValue RegKey::Query(const std::wstring& name, std::size_t maxBytes) const {
    RegValue result;
    if (!m_key) return result;
    // Zero-filled and two bytes larger than offered, so that a string
    // without its terminator still ends within the buffer.
    result.data.assign(maxBytes + 2, 0);
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(maxBytes);
    const LONG rc = RegQueryValueExW(m_key, name.c_str(), nullptr, &type, result.data.data(), &size);
    result.type = type;
    if (rc == ERROR_SUCCESS) {
        result.status = RegStatus::Ok;
        result.data.resize(size <= maxBytes ? size : maxBytes);
    } else {
        result.data.clear();
        result.status = rc == ERROR_FILE_NOT_FOUND ? RegStatus::NoValue
                        : rc == ERROR_MORE_DATA    ? RegStatus::MoreData
                                                   : RegStatus::Error;
    }
    return result;
}

std::optional<long long> RegKey::ReadInteger(const std::wstring& name) const {
    if (!m_key) return std::nullopt;
    DWORD type = 0;
    unsigned char data[64] = {};
    DWORD size = sizeof data - sizeof(wchar_t);  // room for a terminator the value may lack
    if (RegQueryValueExW(m_key, name.c_str(), nullptr, &type, data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (type == REG_DWORD) {
        if (size != sizeof(DWORD)) return std::nullopt;
        DWORD v;
        memcpy(&v, data, sizeof v);
        return static_cast<long long>(static_cast<int>(v));
    }
    if (type != REG_SZ) return std::nullopt;
    const auto* text = reinterpret_cast<const wchar_t*>(data);
    wchar_t* end = nullptr;
    errno = 0;
    const long long v = wcstoll(text, &end, 10);
    if (end == text || errno != 0) return std::nullopt;
    while (*end == L' ') ++end;
    if (*end != 0) return std::nullopt;
    return v;
}

std::optional<std::vector<unsigned char>> RegKey::ReadBinary(const std::wstring& name,
                                                             size_t maxBytes) const {
    if (!m_key) return std::nullopt;
    DWORD type = 0;
    std::vector<unsigned char> data(maxBytes);
    DWORD size = static_cast<DWORD>(maxBytes);
    if (RegQueryValueExW(m_key, name.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS ||
        type != REG_BINARY)
        return std::nullopt;
    data.resize(size);
    return data;
}

std::optional<std::wstring> RegKey::ReadString(const std::wstring& name, size_t maxChars) const {
    if (!m_key) return std::nullopt;
    DWORD type = 0;
    std::vector<wchar_t> data(maxChars + 2, L'\0');
    DWORD size = static_cast<DWORD>(maxChars * sizeof(wchar_t));
    if (RegQueryValueExW(m_key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    return std::wstring(data.data());
}

bool RegKey::WriteDword(const std::wstring& name, DWORD value) const {
    return m_key && RegSetValueExW(m_key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                   sizeof value) == ERROR_SUCCESS;
}

bool RegKey::WriteBinary(const std::wstring& name, const void* data, size_t size) const {
    return m_key && RegSetValueExW(m_key, name.c_str(), 0, REG_BINARY, static_cast<const BYTE*>(data),
                                   static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

bool RegKey::WriteString(const std::wstring& name, const std::wstring& value) const {
    return m_key &&
           RegSetValueExW(m_key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace os
