#include "pages/products/ProductEntry.h"

#include <cwchar>
#include <cwctype>

#include "platform/updates/UpdateList.h"

namespace {

const catalogue::ProductInfo* Info(ZELTO_PRODUCT product) { return catalogue::FindProduct(product); }

}  // namespace

std::wstring ProductRegPath(ZELTO_PRODUCT product) {
    const catalogue::ProductInfo* info = Info(product);
    return info ? std::wstring(catalogue::kRegistryRoot) + info->key : std::wstring();
}

std::wstring PageDescription(const std::wstring& description) {
    if (description.size() <= 3) return {};
    std::wstring text = description.substr(3);
    text[0] = static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(text[0])));
    return text;
}

void InitEntry(ProductEntry& entry, ZELTO_PRODUCT product, int commandId) {
    const catalogue::ProductInfo* info = Info(product);
    entry.regPath = ProductRegPath(product);
    entry.commandId = commandId;
    entry.helpPath = std::wstring(info ? info->siteFolder : L"") + L"help/";
    entry.name = info ? info->name : L"";
    entry.description = PageDescription(info ? info->description : L"");
    entry.controls.reset();
}

std::optional<std::wstring> RecordedExePath(const ProductEntry& entry, os::IRegistry& registry) {
    // An empty key would name HKEY_CURRENT_USER itself.
    if (entry.regPath.empty()) return std::nullopt;
    const os::RegValue value = registry.QueryValue(entry.regPath, L"ExePath", kExePathMaxBytes);
    if (value.status != os::RegStatus::Ok) return std::nullopt;
    // The data is taken as text whatever its registry type; a value that names
    // no existing file (a number, garbage, an empty text) simply counts as not
    // installed, and so does one that names a device or a pipe: its version
    // would be read next, and reading a device may never end.
    std::wstring path = os::RegText(value.data);
    if (path.size() > kExePathMaxChars) path.resize(kExePathMaxChars);
    if (path.empty()) return std::nullopt;
    return path;
}

void ApplyDetection(ProductEntry& entry, const std::wstring& path, bool found) {
    entry.installed = found ? 1 : 0;
    if (found) entry.exePath = path;
}

void DetectInstallation(ProductEntry& entry, os::IRegistry& registry, os::IFileSystem& files) {
    entry.installed = 0;
    const std::optional<std::wstring> path = RecordedExePath(entry, registry);
    if (path) ApplyDetection(entry, *path, files.Exists(*path));
}

std::wstring FormatProductVersion(const os::FixedVersion& version) {
    wchar_t text[64] = {};
    std::swprintf(text, 64, L"%d.%02d.%02d", static_cast<int>(version.productVersionMS >> 16),
                  static_cast<int>(version.productVersionMS & 0xFFFF),
                  static_cast<int>(version.productVersionLS >> 16));
    return text;
}

std::optional<std::wstring> InstalledVersionText(const ProductEntry& entry, os::IVersionReader& versions) {
    if (entry.exePath.empty()) return std::nullopt;
    const std::optional<os::FixedVersion> version = versions.ReadFixedVersion(entry.exePath);
    if (!version) return std::nullopt;
    return FormatProductVersion(*version);
}

VersionDisplay MakeVersionDisplay(const std::wstring& installedText, const std::wstring& updateVersion) {
    if (updateVersion.empty()) return {installedText, false};
    return {installedText + L" [" + updateVersion + L"]",
            updates::IsNewerVersion(updateVersion, installedText)};
}

bool SetUpdateVersion(ProductEntries& entries, const std::wstring& productName, const std::wstring& version) {
    for (ProductEntry& entry : entries) {
        if (entry.name == productName) {
            entry.updateVersion = version;
            return true;
        }
    }
    return false;
}

std::optional<os::FixedVersion> VersionCache::Find(const std::wstring& path,
                                                   const os::FileFacts& facts) const {
    for (const std::optional<Known>& k : m_known)
        if (k && k->path == path && k->facts == facts) return k->version;
    return std::nullopt;
}

void VersionCache::Remember(const std::wstring& path, const os::FileFacts& facts,
                            const os::FixedVersion& version) {
    const Known known{path, facts, version};
    for (std::optional<Known>& k : m_known) {
        if (k && k->path == path) {
            k = known;
            return;
        }
    }
    m_known[m_next] = known;
    m_next = (m_next + 1) % m_known.size();
}

std::optional<os::FixedVersion> CachedVersionReader::ReadFixedVersion(const std::wstring& path) {
    const std::optional<os::FileFacts> facts = m_files.RegularFile(path);
    if (!facts) return std::nullopt;
    if (const std::optional<os::FixedVersion> known = m_cache.Find(path, *facts)) return known;
    const std::optional<os::FixedVersion> version = m_reader.ReadFixedVersion(path);
    // A failed read may be a file still being written or locked by its
    // installer: it is asked again next time rather than remembered.
    if (version) m_cache.Remember(path, *facts, *version);
    return version;
}
