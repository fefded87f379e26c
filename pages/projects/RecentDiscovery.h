// Discovery of the project files that twelve products used most recently:
// their per-user registry settings name the files, the files themselves are
// INI-style descriptors that give an author and a note. Portable: it talks to
// the os seams and writes rows through IProjectRows, which the page backs with
// its list view and the tests with plain data.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "catalogue/Catalogue.h"
#include "platform/os/Os.h"

// Where one product keeps its recent project files and what they look like.
struct RecentProjectType {
    ZELTO_PRODUCT product;
    const wchar_t* singleValue;      // the value naming the last used file
    const wchar_t* numberedPattern;  // "%d" stands for the index 0 .. 9
    const wchar_t* extension;        // dot included, lower case
    const wchar_t* section;          // descriptor section holding author and note
    const wchar_t* authorKey;        // may be the empty text: a key with an empty name
    const wchar_t* noteKey;
};

// The products in the order in which they are asked.
extern const std::array<RecentProjectType, 12> kRecentProjectTypes;

// The row of this product, or nullptr when it keeps no recent projects.
const RecentProjectType* FindRecentProjectType(int product);

// HKCU-relative key that holds a product's settings: Software\Zerudozuz\<key>\Settings.
std::wstring ProductSettingsKey(int product);

// The rows of the list that discovery fills.
class IProjectRows {
public:
    virtual ~IProjectRows() = default;
    virtual int RowCount() = 0;
    virtual std::wstring ItemText(int row, int column) = 0;
    // Inserts a row at `row` with its first column's text and image; the
    // index it got, or -1.
    virtual int InsertRow(int row, const std::wstring& text, int image) = 0;
    virtual void SetItemText(int row, int column, const std::wstring& text) = 0;
};

// A registry key below HKEY_CURRENT_USER opened once for all the reads of a
// product; closed when the object goes.
class IRegistryKey {
public:
    virtual ~IRegistryKey() = default;
    // As os::IRegistry::QueryValue, on this key.
    virtual os::RegValue Query(const std::wstring& name, std::size_t maxBytes) = 0;
};

class IRegistryKeys {
public:
    virtual ~IRegistryKeys() = default;
    // HKCU\subKey opened for reading, or nullptr when it cannot be opened.
    virtual std::unique_ptr<IRegistryKey> Open(const std::wstring& subKey) = 0;
};

// Keys over the os registry seam, which names the key again for every read.
class SeamRegistryKeys final : public IRegistryKeys {
public:
    explicit SeamRegistryKeys(os::IRegistry& registry) : m_registry(registry) {}
    std::unique_ptr<IRegistryKey> Open(const std::wstring& subKey) override;

private:
    os::IRegistry& m_registry;
};

enum ProjectColumn : int {
    PC_PROJECT = 0,
    PC_FOLDER = 1,
    PC_DATE = 2,
    PC_TIME = 3,
    PC_AUTHOR = 4,
    PC_NOTE = 5,
};

class RecentDiscovery {
public:
    // Registry reads offer 260 characters including the terminating NUL.
    static constexpr std::size_t kValueBytes = 260 * sizeof(char16_t);
    static constexpr int kNumberedValues = 10;

    // Project descriptors are small INI files; a larger file is listed with an
    // empty author and note, unread.
    static constexpr std::uint64_t kMaxDescriptorBytes = 64 * 1024;

    RecentDiscovery(IProjectRows& rows, IRegistryKeys& registry, os::IFileSystem& files,
                    os::IProfileReader& profiles, os::IClock& clock);

    // Sets the row count to 0 and asks every product in table order, first
    // for its single value and then for its numbered values.
    void Run();
    // Forgets what an earlier run left (current section, keys and path, the
    // last added path), so that the next Run is a discovery of its own.
    void Restart();

    void ReadRecentFiles(int product, bool numbered);
    // Forces the product's extension onto the path and selects the
    // descriptor section and keys of the product.
    void SetProjectType(int product, std::wstring& path);
    // Appends one row for the file, or nothing when it is no regular file
    // (missing, a folder, a device, a pipe) or is the path added last.
    void AddProjectFile(int product, std::wstring path);

    int RowCount() const { return m_rowCount; }
    void SetRowCount(int count) { m_rowCount = count; }
    const std::wstring& CurrentSection() const { return m_section; }
    const std::wstring& CurrentAuthorKey() const { return m_authorKey; }
    const std::wstring& CurrentNoteKey() const { return m_noteKey; }
    const std::wstring& CurrentPath() const { return m_path; }
    const std::wstring& LastAddedPath() const { return m_lastAdded; }

private:
    static bool ReadValue(IRegistryKey& key, const std::wstring& name, std::wstring& text);
    bool IsListed(const std::wstring& path);

    IProjectRows& m_rows;
    IRegistryKeys& m_registry;
    os::IFileSystem& m_files;
    os::IProfileReader& m_profiles;
    os::IClock& m_clock;

    int m_rowCount = 0;
    std::wstring m_section;
    std::wstring m_authorKey;
    std::wstring m_noteKey;
    std::wstring m_path;
    std::wstring m_lastAdded;
};
