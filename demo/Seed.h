// The demo suite's seeding: each page's part fills the current user's registry
// and a folder with what that page shows. Runs under Wine inside the demo
// prefix (tools/demo) and inside the end-to-end tests' prefix.
#pragma once

#include <string>

namespace demo {

struct SeedContext {
    std::wstring root;    // a folder of the seeded suite, e.g. C:\ZeltoDemo (no trailing backslash)
    std::wstring binDir;  // folder holding the built stand-in programs (no trailing backslash)
};

void SeedProducts(const SeedContext& ctx);
void SeedProjects(const SeedContext& ctx);
void SeedConnections(const SeedContext& ctx);
void SeedLibrary(const SeedContext& ctx);

// Helpers shared by the parts.
void SetString(const std::wstring& subKey, const std::wstring& name, const std::wstring& value);
void SetDword(const std::wstring& subKey, const std::wstring& name, unsigned long value);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
void MakeFolders(const std::wstring& path);

}  // namespace demo
