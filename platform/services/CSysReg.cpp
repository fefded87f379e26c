#include "platform/services/CSysReg.h"

#include "platform/os/RegKey.h"
#include "platform/services/CLimit.h"

CSysReg::CSysReg() : m_subKey(CLimit::MakeRegPath(ZP_QUAYLET) + L"\\Settings") {}

std::optional<long long> CSysReg::GetInt(const std::wstring& name) const {
    os::RegKey key;
    return key.Open(m_subKey) ? key.ReadInteger(name) : std::nullopt;
}

bool CSysReg::SetInt(const std::wstring& name, int value) const {
    os::RegKey key;
    return key.Create(m_subKey) && key.WriteDword(name, static_cast<DWORD>(value));
}

std::optional<std::vector<unsigned char>> CSysReg::GetBinary(const std::wstring& name,
                                                             size_t maxBytes) const {
    os::RegKey key;
    return key.Open(m_subKey) ? key.ReadBinary(name, maxBytes) : std::nullopt;
}

bool CSysReg::SetBinary(const std::wstring& name, const void* data, size_t size) const {
    os::RegKey key;
    return key.Create(m_subKey) && key.WriteBinary(name, data, size);
}

std::optional<std::wstring> CSysReg::GetString(const std::wstring& name, size_t maxChars) const {
    os::RegKey key;
    return key.Open(m_subKey) ? key.ReadString(name, maxChars) : std::nullopt;
}

bool CSysReg::SetString(const std::wstring& name, const std::wstring& value) const {
    os::RegKey key;
    return key.Create(m_subKey) && key.WriteString(name, value);
}
