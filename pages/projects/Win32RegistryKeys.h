// Discovery's Win32 seam: registry keys opened once for all the reads of a
// product.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "pages/projects/RecentDiscovery.h"

class Win32RegistryKeys final : public IRegistryKeys {
public:
    std::unique_ptr<IRegistryKey> Open(const std::wstring& subKey) override;
};
