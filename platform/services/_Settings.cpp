#include "platform/services/_Settings.h"

#include <cwchar>

_Settings::_Settings() : _Settings(CSysReg()) {}

_Settings::_Settings(CSysReg store) : m_keywords(SqlKeywordList()), m_store(std::move(store)) {}

_Settings::~_Settings() = default;

void _Settings::Add(const std::wstring& key, S_TYPE type, int, const std::wstring& defaultText, int minValue,
                    int maxValue) {
    m_keys[key] = Key{type, defaultText, minValue, maxValue, std::nullopt, false};
}

int _Settings::DefaultOf(const Key& key) const {
    const wchar_t* text = key.defaultText.c_str();
    wchar_t* end = nullptr;
    const long v = std::wcstol(text, &end, 10);
    return end == text ? 0 : static_cast<int>(v);
}

int _Settings::getInt(const std::wstring& name) {
    auto it = m_keys.find(name);
    if (it == m_keys.end()) return 0;
    Key& key = it->second;
    if (!key.value) {
        const std::optional<long long> stored = m_store.GetInt(name);
        key.value = stored && *stored >= key.minValue && *stored <= key.maxValue ? static_cast<int>(*stored)
                                                                                 : DefaultOf(key);
    }
    return *key.value;
}

void _Settings::setInt(const std::wstring& name, int value) {
    auto it = m_keys.find(name);
    if (it == m_keys.end())
        it = m_keys.emplace(name, Key{S_INT, L"0", INT_MIN, INT_MAX, std::nullopt, false}).first;
    it->second.value = value;
    it->second.dirty = true;
}

bool _Settings::SaveData() {
    bool ok = true;
    for (auto& [name, key] : m_keys) {
        if (!key.dirty || !key.value) continue;
        if (m_store.SetInt(name, *key.value))
            key.dirty = false;
        else
            ok = false;
    }
    return ok;
}
