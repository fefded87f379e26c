// Discovery's Win32 seams: registry keys opened once for all the reads of a
// product, and the probe that tells folders from files.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "pages/projects/RecentDiscovery.h"

class Win32RegistryKeys final : public IRegistryKeys {
public:
    std::unique_ptr<IRegistryKey> Open(const std::wstring& subKey) override;
};

class Win32FolderProbe final : public IFolderProbe {
public:
    bool IsFolder(const std::wstring& path) override {
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
};
