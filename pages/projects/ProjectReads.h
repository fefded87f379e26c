// Discovery run again over what the background reads have found so far, so
// that no project file is read on the interface thread, and one that never
// answers holds up none of the others:
// - the registry is read once (CachedRegistryKeys);
// - a file counts as missing and a descriptor's value as empty until its read
//   answers; what discovery asks for and is not known yet is collected, for
//   the page to read in the background (KnownProjectFiles);
// - the rows go to memory (ProjectRowsInMemory) and from there into the list
//   with the fewest changes (SyncProjectRows), so that a row the user selected
//   stays selected while others arrive.
// Once every read has answered, the rows are exactly those of one discovery
// over the files themselves.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pages/projects/RecentDiscovery.h"

class CachedRegistryKeys final : public IRegistryKeys {
public:
    explicit CachedRegistryKeys(IRegistryKeys& keys) : m_keys(keys) {}
    std::unique_ptr<IRegistryKey> Open(const std::wstring& subKey) override;
    // The next discovery reads the registry again.
    void Forget() { m_cache.clear(); }

    struct Key {
        std::unique_ptr<IRegistryKey> open;  // null: the key does not exist
        std::map<std::pair<std::wstring, std::size_t>, os::RegValue> values;
    };

private:
    IRegistryKeys& m_keys;
    std::map<std::wstring, Key> m_cache;
};

class KnownProjectFiles final : public os::IFileSystem, public os::IProfileReader {
public:
    bool Exists(const std::wstring& path) override { return RegularFile(path).has_value(); }
    std::optional<os::FileFacts> RegularFile(const std::wstring& path) override;
    std::wstring GetString(const std::wstring& section, const std::wstring& key,
                           const std::wstring& path) override;

    // What a file's read found: its facts, or nothing (missing, no regular
    // file, or no answer in time); a file is never asked for again.
    void SetFacts(const std::wstring& path, const std::optional<os::FileFacts>& facts);
    // A descriptor value as its read found it (empty when it gave no answer).
    void SetText(const std::wstring& section, const std::wstring& key, const std::wstring& path,
                 const std::wstring& text);

    // What discovery asked for since the last call and is not known yet.
    struct Text {
        std::wstring section, key, path;
    };
    std::vector<std::wstring> TakeWantedFiles();
    // Every file and value answered so far is wanted again (another program
    // may have changed it); until the new reads answer, the old answers hold.
    void AskAgain();
    std::vector<Text> TakeWantedTexts();

private:
    static std::wstring TextKey(const std::wstring& section, const std::wstring& key,
                                const std::wstring& path);

    std::map<std::wstring, std::optional<os::FileFacts>> m_files;  // answered
    std::map<std::wstring, std::wstring> m_texts;                  // answered
    std::map<std::wstring, bool> m_askedFiles, m_askedTexts;       // asked, not yet answered
    std::vector<std::wstring> m_wantedFiles;
    std::vector<Text> m_wantedTexts;
};

struct ProjectRow {
    std::array<std::wstring, 6> texts;
    int image = 0;
};

class ProjectRowsInMemory final : public IProjectRows {
public:
    int RowCount() override { return static_cast<int>(m_rows.size()); }
    std::wstring ItemText(int row, int column) override;
    int InsertRow(int row, const std::wstring& text, int image) override;
    void SetItemText(int row, int column, const std::wstring& text) override;

    void Clear() { m_rows.clear(); }
    const std::vector<ProjectRow>& Rows() const { return m_rows; }

private:
    std::vector<ProjectRow> m_rows;
};

// Rows that can also be taken out, as the list's are.
class IEditableProjectRows : public IProjectRows {
public:
    virtual void DeleteRow(int row) = 0;
    virtual int ItemImage(int row) = 0;
};

// Brings the list's rows to `wanted`: rows that stay are kept (only their
// changed cells are written), the others are inserted or deleted. The number
// of changes made.
int SyncProjectRows(IEditableProjectRows& list, const std::vector<ProjectRow>& wanted);
