// An environment variable set for the length of a test, so that the code under
// test and the programs it starts see it; the old value (or its absence) comes
// back when the object goes.
#pragma once

#include <windows.h>

#include <string>

namespace test {

class ScopedEnvironment {
public:
    ScopedEnvironment(std::wstring name, const std::wstring& value) : m_name(std::move(name)) {
        const DWORD size = ::GetEnvironmentVariableW(m_name.c_str(), nullptr, 0);
        if (size > 0) {
            m_old.resize(size);
            m_had = ::GetEnvironmentVariableW(m_name.c_str(), m_old.data(), size) == size - 1;
            m_old.resize(size - 1);
        }
        ::SetEnvironmentVariableW(m_name.c_str(), value.c_str());
    }
    ~ScopedEnvironment() { ::SetEnvironmentVariableW(m_name.c_str(), m_had ? m_old.c_str() : nullptr); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::wstring m_name;
    std::wstring m_old;
    bool m_had = false;
};

}  // namespace test
