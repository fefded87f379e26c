#include "pages/projects/ProjectReads.h"

#include <algorithm>
#include <utility>

namespace {

class CachedKey final : public IRegistryKey {
public:
    explicit CachedKey(CachedRegistryKeys::Key& key) : m_key(key) {}
    os::RegValue Query(const std::wstring& name, std::size_t maxBytes) override {
        const auto at = std::make_pair(name, maxBytes);
        auto it = m_key.values.find(at);
        if (it == m_key.values.end()) it = m_key.values.emplace(at, m_key.open->Query(name, maxBytes)).first;
        return it->second;
    }

private:
    CachedRegistryKeys::Key& m_key;
};

bool SameRow(IEditableProjectRows& list, int row, const ProjectRow& wanted) {
    return list.ItemImage(row) == wanted.image &&
           list.ItemText(row, PC_PROJECT) == wanted.texts[PC_PROJECT] &&
           list.ItemText(row, PC_FOLDER) == wanted.texts[PC_FOLDER];
}

}  // namespace

std::unique_ptr<IRegistryKey> CachedRegistryKeys::Open(const std::wstring& subKey) {
    auto it = m_cache.find(subKey);
    if (it == m_cache.end()) it = m_cache.emplace(subKey, Key{m_keys.Open(subKey), {}}).first;
    if (!it->second.open) return nullptr;
    return std::make_unique<CachedKey>(it->second);
}

std::optional<os::FileFacts> KnownProjectFiles::RegularFile(const std::wstring& path) {
    if (const auto it = m_files.find(path); it != m_files.end()) return it->second;
    if (m_askedFiles.emplace(path, true).second) m_wantedFiles.push_back(path);
    return std::nullopt;
}

std::wstring KnownProjectFiles::TextKey(const std::wstring& section, const std::wstring& key,
                                        const std::wstring& path) {
    // Section and key names hold no line breaks in the table of project kinds.
    return section + L'\n' + key + L'\n' + path;
}

std::wstring KnownProjectFiles::GetString(const std::wstring& section, const std::wstring& key,
                                          const std::wstring& path) {
    const std::wstring at = TextKey(section, key, path);
    if (const auto it = m_texts.find(at); it != m_texts.end()) return it->second;
    if (m_askedTexts.emplace(at, true).second) m_wantedTexts.push_back({section, key, path});
    return {};
}

void KnownProjectFiles::SetFacts(const std::wstring& path, const std::optional<os::FileFacts>& facts) {
    m_files[path] = facts;
    m_askedFiles.erase(path);
}

void KnownProjectFiles::SetText(const std::wstring& section, const std::wstring& key,
                                const std::wstring& path, const std::wstring& text) {
    const std::wstring at = TextKey(section, key, path);
    m_texts[at] = text;
    m_askedTexts.erase(at);
}

std::vector<std::wstring> KnownProjectFiles::TakeWantedFiles() { return std::exchange(m_wantedFiles, {}); }

void KnownProjectFiles::AskAgain() {
    for (const auto& [path, facts] : m_files)
        if (m_askedFiles.emplace(path, true).second) m_wantedFiles.push_back(path);
    for (const auto& [at, text] : m_texts) {
        if (!m_askedTexts.emplace(at, true).second) continue;
        const std::size_t first = at.find(L'\n'), second = at.find(L'\n', first + 1);
        m_wantedTexts.push_back(
            {at.substr(0, first), at.substr(first + 1, second - first - 1), at.substr(second + 1)});
    }
}

std::vector<KnownProjectFiles::Text> KnownProjectFiles::TakeWantedTexts() {
    return std::exchange(m_wantedTexts, {});
}

std::wstring ProjectRowsInMemory::ItemText(int row, int column) {
    if (row < 0 || row >= RowCount() || column < 0 || column >= 6) return {};
    return m_rows[static_cast<std::size_t>(row)].texts[static_cast<std::size_t>(column)];
}

int ProjectRowsInMemory::InsertRow(int row, const std::wstring& text, int image) {
    row = std::clamp(row, 0, RowCount());
    ProjectRow r;
    r.texts[PC_PROJECT] = text;
    r.image = image;
    m_rows.insert(m_rows.begin() + row, std::move(r));
    return row;
}

void ProjectRowsInMemory::SetItemText(int row, int column, const std::wstring& text) {
    if (row < 0 || row >= RowCount() || column < 0 || column >= 6) return;
    m_rows[static_cast<std::size_t>(row)].texts[static_cast<std::size_t>(column)] = text;
}

int SyncProjectRows(IEditableProjectRows& list, const std::vector<ProjectRow>& wanted) {
    int changes = 0;
    int row = 0;
    for (std::size_t w = 0; w < wanted.size(); ++w) {
        // A shown row that no later wanted row keeps has gone (a file that
        // another read made a duplicate).
        while (row < list.RowCount() && !SameRow(list, row, wanted[w])) {
            bool later = false;
            for (std::size_t v = w + 1; v < wanted.size() && !later; ++v)
                later = SameRow(list, row, wanted[v]);
            if (later) break;
            list.DeleteRow(row);
            ++changes;
        }
        if (row < list.RowCount() && SameRow(list, row, wanted[w])) {
            for (int c = PC_DATE; c <= PC_NOTE; ++c) {
                if (list.ItemText(row, c) == wanted[w].texts[static_cast<std::size_t>(c)]) continue;
                list.SetItemText(row, c, wanted[w].texts[static_cast<std::size_t>(c)]);
                ++changes;
            }
        } else {
            const int at = list.InsertRow(row, wanted[w].texts[PC_PROJECT], wanted[w].image);
            if (at < 0) continue;
            for (int c = PC_FOLDER; c <= PC_NOTE; ++c)
                list.SetItemText(at, c, wanted[w].texts[static_cast<std::size_t>(c)]);
            ++changes;
        }
        ++row;
    }
    while (list.RowCount() > row) {
        list.DeleteRow(row);
        ++changes;
    }
    return changes;
}
