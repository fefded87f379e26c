#include "pages/projects/Win32RegistryKeys.h"

#include <utility>

#include "platform/os/RegKey.h"

namespace {

class Win32RegistryKey final : public IRegistryKey {
public:
    explicit Win32RegistryKey(os::RegKey key) : m_key(std::move(key)) {}

    os::RegValue Query(const std::wstring& name, std::size_t maxBytes) override {
        return m_key.Query(name, maxBytes);
    }

private:
    os::RegKey m_key;
};

}  // namespace

std::unique_ptr<IRegistryKey> Win32RegistryKeys::Open(const std::wstring& subKey) {
    os::RegKey key;
    if (!key.Open(subKey)) return nullptr;
    return std::make_unique<Win32RegistryKey>(std::move(key));
}
