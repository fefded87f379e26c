// The settings store: typed keys with defaults, kept in the registry below the
// hub's settings key. Values are read once and cached; SaveData makes changed
// values persistent.
#pragma once

#include <climits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/services/CSysReg.h"

// The kind of a settings key; every key of the hub is an integer.
enum S_TYPE : int {
    S_INT = 1,
};

class _Settings {
public:
    // The words the SQL preview highlights; filled with SQL keywords.
    std::vector<std::wstring> m_keywords;

    _Settings();
    explicit _Settings(CSysReg store);
    virtual ~_Settings();

    // Declares a key. flags is reserved (0). An integer key's stored value is
    // used only when it lies in [minValue, maxValue]; otherwise the default.
    void Add(const std::wstring& key, S_TYPE type, int flags, const std::wstring& defaultText,
             int minValue = INT_MIN, int maxValue = INT_MAX);
    // The stored value, or the default (also for a key never declared: 0).
    int getInt(const std::wstring& key);
    void setInt(const std::wstring& key, int value);
    // Writes every value changed with setInt; false when any write failed.
    bool SaveData();

    const CSysReg& Store() const { return m_store; }

private:
    struct Key {
        S_TYPE type;
        std::wstring defaultText;
        int minValue;
        int maxValue;
        std::optional<int> value;  // cached or changed value
        bool dirty = false;
    };
    int DefaultOf(const Key& key) const;

    CSysReg m_store;
    std::map<std::wstring, Key> m_keys;
};

// The built-in SQL keyword list (standard SQL and the common dialects).
const std::vector<std::wstring>& SqlKeywordList();
