#include "pages/projects/RecentDiscovery.h"

#include <cwchar>

const std::array<RecentProjectType, 12> kRecentProjectTypes = {{
    {ZP_ROW_FOUNDRY, L"LastFile", L"Profile%d", L".rfp", L"Tables", L"Author", L"Description"},
    {ZP_LOAD_HAMMER, L"LastFile", L"PackageFile%d", L".lhp", L"Package", L"Author", L"Note"},
    {ZP_LAYOUT_SCRIBE, L"LastFile", L"ReportFile%d", L".lsx", L"Target", L"", L"Title"},
    {ZP_TRANSFER_WORKS, L"LastFile", L"Profile%d", L".twp", L"Package", L"sAuthor", L"sNote"},
    {ZP_TRIGGER_WATCH, L"LastFile", L"Profile%d", L".trw", L"Common", L"Author", L"Description"},
    {ZP_CONTENT_DIFF, L"RecentFile", L"Profile%d", L".cdif", L"Primary", L"Author", L"Description"},
    {ZP_STRUCTURE_DIFF, L"LastFile", L"Profile%d", L".sdif", L"Project", L"Author", L"Description"},
    {ZP_DIAGRAM_STUDIO, L"LastFile", L"Model%d", L".dsm", L"Model", L"Author", L"Name"},
    {ZP_MARKUP_FOUNDRY, L"LastFile", L"Profile%d", L".mkfpr", L"Common", L"Author", L"Name"},
    {ZP_TEXT_FOUNDRY, L"TXLastFile", L"TxProfile%d", L".txfp", L"Common", L"Author", L"Name"},
    {ZP_SHEET_FOUNDRY, L"TXLastFile", L"TxProfile%d", L".shfp", L"Common", L"Author", L"Name"},
    {ZP_DOCUMENT_FOUNDRY, L"LastFile", L"Profile%d", L".docpr", L"Common", L"Author", L"Name"},
}};

const RecentProjectType* FindRecentProjectType(int product) {
    for (const auto& type : kRecentProjectTypes)
        if (type.product == product) return &type;
    return nullptr;
}

std::wstring ProductSettingsKey(int product) {
    const catalogue::ProductInfo* info = catalogue::FindProduct(product);
    if (!info) return {};
    return std::wstring(catalogue::kRegistryRoot) + info->key + L"\\Settings";
}

namespace {

wchar_t AsciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 0x20) : c; }

std::wstring FormatIndex(const wchar_t* pattern, int index) {
    std::wstring name = pattern;
    const auto at = name.find(L"%d");
    if (at != std::wstring::npos) name.replace(at, 2, std::to_wstring(index));
    return name;
}

}  // namespace

namespace {

class SeamRegistryKey final : public IRegistryKey {
public:
    SeamRegistryKey(os::IRegistry& registry, std::wstring subKey)
        : m_registry(registry), m_subKey(std::move(subKey)) {}
    os::RegValue Query(const std::wstring& name, std::size_t maxBytes) override {
        return m_registry.QueryValue(m_subKey, name, maxBytes);
    }

private:
    os::IRegistry& m_registry;
    std::wstring m_subKey;
};

}  // namespace

std::unique_ptr<IRegistryKey> SeamRegistryKeys::Open(const std::wstring& subKey) {
    if (!m_registry.KeyExists(subKey)) return nullptr;
    return std::make_unique<SeamRegistryKey>(m_registry, subKey);
}

RecentDiscovery::RecentDiscovery(IProjectRows& rows, IRegistryKeys& registry, os::IFileSystem& files,
                                 os::IProfileReader& profiles, os::IClock& clock)
    : m_rows(rows), m_registry(registry), m_files(files), m_profiles(profiles), m_clock(clock) {}

void RecentDiscovery::Run() {
    m_rowCount = 0;
    for (const auto& type : kRecentProjectTypes) {
        ReadRecentFiles(type.product, false);
        ReadRecentFiles(type.product, true);
    }
}

void RecentDiscovery::Restart() {
    m_rowCount = 0;
    m_section.clear();
    m_authorKey.clear();
    m_noteKey.clear();
    m_path.clear();
    m_lastAdded.clear();
}

bool RecentDiscovery::ReadValue(IRegistryKey& key, const std::wstring& name, std::wstring& text) {
    // Every read offers the full buffer; data that does not fit is skipped,
    // never cut. The value's type does not matter: the bytes are taken as
    // text up to the first NUL or the end of the data.
    const os::RegValue value = key.Query(name, kValueBytes);
    if (value.status != os::RegStatus::Ok) return false;
    text = os::RegText(value.data);
    return true;
}

bool RecentDiscovery::IsListed(const std::wstring& path) {
    // Equal full paths have their last backslash in the same place, so the
    // file names must match too: comparing them first spares reading the
    // folder of almost every row.
    const auto slash = path.rfind(L'\\');
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    const int count = m_rows.RowCount();
    for (int row = 0; row < count; ++row)
        if (os::EqualIgnoringCase(m_rows.ItemText(row, PC_PROJECT), name) &&
            os::EqualIgnoringCase(m_rows.ItemText(row, PC_FOLDER), folder))
            return true;
    return false;
}

void RecentDiscovery::ReadRecentFiles(int product, bool numbered) {
    const RecentProjectType* type = FindRecentProjectType(product);
    if (!type) return;
    const std::unique_ptr<IRegistryKey> key = m_registry.Open(ProductSettingsKey(product));
    if (!key) return;

    if (!numbered) {
        if (!ReadValue(*key, type->singleValue, m_path)) return;
        SetProjectType(product, m_path);
        AddProjectFile(product, m_path);
        return;
    }
    for (int index = 0; index < kNumberedValues; ++index) {
        if (!ReadValue(*key, FormatIndex(type->numberedPattern, index), m_path)) continue;
        SetProjectType(product, m_path);
        if (!IsListed(m_path)) AddProjectFile(product, m_path);
    }
}

void RecentDiscovery::SetProjectType(int product, std::wstring& path) {
    const RecentProjectType* type = FindRecentProjectType(product);
    if (!type) return;
    const auto dot = path.rfind(L'.');
    if (dot != std::wstring::npos) {
        // The "extension" may reach across a backslash when the only dot lies
        // in a folder name; it then differs and the product's is appended.
        std::wstring extension = path.substr(dot);
        for (auto& c : extension) c = AsciiLower(c);
        if (extension != type->extension) path += type->extension;
    }
    // A path without any dot keeps its form, but its author and note are
    // still read where its own product keeps them, not where the previous
    // path's product did.
    m_section = type->section;
    m_authorKey = type->authorKey;
    m_noteKey = type->noteKey;
}

void RecentDiscovery::AddProjectFile(int product, std::wstring path) {
    // Folders, devices and pipes are no project files; a device would also
    // show the date of 1970 and block the descriptor read.
    if (path.empty()) return;
    const std::optional<os::FileFacts> facts = m_files.RegularFile(path);
    if (!facts) return;
    if (path == m_lastAdded) return;

    const std::int64_t written = facts->lastWrite;
    // The profile-string call reads the whole file; a descriptor too large to
    // be one is listed without its author and note.
    const bool readDescriptor = facts->size <= kMaxDescriptorBytes;

    const auto slash = path.rfind(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);

    const int row = m_rows.InsertRow(m_rowCount, name, product);
    if (row < 0) return;
    m_rows.SetItemText(row, PC_FOLDER, folder);
    m_rows.SetItemText(row, PC_DATE, m_clock.FormatLocal(written, L"%d-%b-%Y"));
    m_rows.SetItemText(row, PC_TIME, m_clock.FormatLocal(written, L"%X"));
    if (readDescriptor) {
        m_rows.SetItemText(row, PC_AUTHOR, m_profiles.GetString(m_section, m_authorKey, path));
        m_rows.SetItemText(row, PC_NOTE, m_profiles.GetString(m_section, m_noteKey, path));
    }

    m_lastAdded = std::move(path);
    ++m_rowCount;
}
