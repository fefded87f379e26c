// The hub's own settings key in the registry (HKCU\Software\Zerudozuz\Quaylet\Settings
// unless another key is named): typed reads that never trust the stored type,
// and writes that report failure.
#pragma once

#include <optional>
#include <string>
#include <vector>

class CSysReg {
public:
    CSysReg();
    explicit CSysReg(std::wstring subKey) : m_subKey(std::move(subKey)) {}

    const std::wstring& SubKey() const { return m_subKey; }

    std::optional<long long> GetInt(const std::wstring& name) const;
    bool SetInt(const std::wstring& name, int value) const;
    std::optional<std::vector<unsigned char>> GetBinary(const std::wstring& name, size_t maxBytes) const;
    bool SetBinary(const std::wstring& name, const void* data, size_t size) const;
    std::optional<std::wstring> GetString(const std::wstring& name, size_t maxChars = 2048) const;
    bool SetString(const std::wstring& name, const std::wstring& value) const;

private:
    std::wstring m_subKey;
};
