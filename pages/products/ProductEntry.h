// One row of the products page as data: what the row shows, where the
// product's settings and help pages live, its installed executable and the
// newest version the update check reported. Portable: the registry, file and
// version-resource reads go through the os seams.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "catalogue/Catalogue.h"
#include "platform/os/Os.h"

// The row's windows (icon button, labels, links). Only the Windows page knows
// them; the entry owns them through this opaque type so that the record stays
// buildable without any window code.
struct RowControls;

// Deletes the row's windows with the function the page supplies when it makes
// them; an entry that never had controls never calls it.
struct RowControlsDeleter {
    void (*destroy)(RowControls*) = nullptr;
    void operator()(RowControls* controls) const {
        if (destroy) destroy(controls);
    }
};
using RowControlsPtr = std::unique_ptr<RowControls, RowControlsDeleter>;

struct ProductEntry {
    int commandId = 0;
    std::wstring exePath;        // last path a detection found; kept when a later one fails
    std::wstring name;           // display name, also the key of the update check
    std::wstring description;    // display description, leading "is " dropped
    std::wstring regPath;        // product key below HKEY_CURRENT_USER
    std::wstring helpPath;       // help folder below the site base address
    std::wstring updateVersion;  // version the update check reported, empty until then
    RowControlsPtr controls;     // present only while the row is shown
    int installed = 0;
};

constexpr int kProductEntryCount = catalogue::kPageEntryCount;
using ProductEntries = std::array<ProductEntry, kProductEntryCount>;

// The offered size of the "ExePath" read: 260 wide characters; the buffer has
// one more character that stays zero as the terminator.
constexpr std::size_t kExePathMaxChars = 260;
constexpr std::size_t kExePathMaxBytes = kExePathMaxChars * 2;

// The product's key below HKEY_CURRENT_USER: Software\Zerudozuz\<key>; empty
// for an identifier the catalogue does not know.
std::wstring ProductRegPath(ZELTO_PRODUCT product);

// A description without its first three characters and with the next one in
// upper case; three characters or fewer give the empty text.
std::wstring PageDescription(const std::wstring& description);

// Fills the entry's texts and command id; leaves installed, exePath and
// updateVersion alone and the controls empty.
void InitEntry(ProductEntry& entry, ZELTO_PRODUCT product, int commandId);

// Refreshes `installed` from the registry value "ExePath" and the file it
// names (a device or pipe is none); on success also `exePath`.
void DetectInstallation(ProductEntry& entry, os::IRegistry& registry, os::IFileSystem& files);

// The two halves of a detection, for a page that looks at the file in the
// background: the path "ExePath" records (nothing when the key or value is
// missing, does not fit or is empty: not installed, whatever the disk says),
// and what the look at that path found (a file or a folder there: installed).
std::optional<std::wstring> RecordedExePath(const ProductEntry& entry, os::IRegistry& registry);
void ApplyDetection(ProductEntry& entry, const std::wstring& path, bool found);

// Major.minor.build of the product version: "%d.%02d.%02d".
std::wstring FormatProductVersion(const os::FixedVersion& version);

// The installed version as text, or nothing when the executable has no usable
// version resource.
std::optional<std::wstring> InstalledVersionText(const ProductEntry& entry, os::IVersionReader& versions);

// What the version label shows for installed version text V.
struct VersionDisplay {
    std::wstring text;     // V, then " [update]" when an update version is known
    bool updateAvailable;  // the update version is a newer version number than V
};
VersionDisplay MakeVersionDisplay(const std::wstring& installedText, const std::wstring& updateVersion);

// Applies one result of the update check to the first entry of that exact
// name; false when no entry has it.
bool SetUpdateVersion(ProductEntries& entries, const std::wstring& productName, const std::wstring& version);

// Versions remembered per executable while its last-write time and size stay
// the same: reading a version resource maps the whole file, and every
// relayout of the page asks again for all fourteen products. Only successful
// reads are remembered.
class VersionCache {
public:
    std::optional<os::FixedVersion> Find(const std::wstring& path, const os::FileFacts& facts) const;
    void Remember(const std::wstring& path, const os::FileFacts& facts, const os::FixedVersion& version);

private:
    struct Known {
        std::wstring path;
        os::FileFacts facts;
        os::FixedVersion version;
    };
    std::array<std::optional<Known>, kProductEntryCount * 2> m_known;  // a small ring, oldest replaced first
    std::size_t m_next = 0;
};

// Version reads through a VersionCache; a path that is no regular file is never read.
class CachedVersionReader : public os::IVersionReader {
public:
    CachedVersionReader(os::IVersionReader& reader, os::IFileSystem& files)
        : m_reader(reader), m_files(files) {}
    std::optional<os::FixedVersion> ReadFixedVersion(const std::wstring& path) override;

private:
    os::IVersionReader& m_reader;
    os::IFileSystem& m_files;
    VersionCache m_cache;
};
