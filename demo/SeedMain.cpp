// seed.exe ROOT BINDIR: fills the current user's registry and ROOT with the demo suite.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>

#include "demo/Seed.h"

namespace demo {

void SetString(const std::wstring& subKey, const std::wstring& name, const std::wstring& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void SetDword(const std::wstring& subKey, const std::wstring& name, unsigned long value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    DWORD v = value;
    RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
    RegCloseKey(key);
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE h =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

void MakeFolders(const std::wstring& path) { SHCreateDirectoryExW(nullptr, path.c_str(), nullptr); }

}  // namespace demo

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: seed ROOT BINDIR\n");
        return 2;
    }
    demo::SeedContext ctx{argv[1], argv[2]};
    demo::MakeFolders(ctx.root);
    demo::SeedProducts(ctx);
    demo::SeedProjects(ctx);
    demo::SeedConnections(ctx);
    demo::SeedLibrary(ctx);
    return 0;
}
