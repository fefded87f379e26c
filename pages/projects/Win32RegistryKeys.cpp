#include "pages/projects/Win32RegistryKeys.h"

namespace {

class Win32RegistryKey final : public IRegistryKey {
public:
    explicit Win32RegistryKey(HKEY key) : m_key(key) {}
    ~Win32RegistryKey() override { ::RegCloseKey(m_key); }
    Win32RegistryKey(const Win32RegistryKey&) = delete;
    Win32RegistryKey& operator=(const Win32RegistryKey&) = delete;

    os::RegValue Query(const std::wstring& name, std::size_t maxBytes) override {
        os::RegValue result;
        // Zero-filled and larger than offered, so that data without its
        // terminator still ends inside the buffer.
        result.data.assign(maxBytes + 2, 0);
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(maxBytes);
        const LONG rc = ::RegQueryValueExW(m_key, name.c_str(), nullptr, &type, result.data.data(), &size);
        result.type = type;
        if (rc == ERROR_SUCCESS) {
            result.status = os::RegStatus::Ok;
            result.data.resize(size <= maxBytes ? size : maxBytes);
        } else {
            result.data.clear();
            result.status = rc == ERROR_FILE_NOT_FOUND ? os::RegStatus::NoValue
                            : rc == ERROR_MORE_DATA    ? os::RegStatus::MoreData
                                                       : os::RegStatus::Error;
        }
        return result;
    }

private:
    HKEY m_key;
};

}  // namespace

std::unique_ptr<IRegistryKey> Win32RegistryKeys::Open(const std::wstring& subKey) {
    HKEY key = nullptr;
    if (::RegOpenKeyW(HKEY_CURRENT_USER, subKey.c_str(), &key) != ERROR_SUCCESS) return nullptr;
    return std::make_unique<Win32RegistryKey>(key);
}
