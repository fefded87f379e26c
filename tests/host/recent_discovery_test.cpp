#include <gtest/gtest.h>

#include <ctime>
#include <cwchar>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "pages/projects/ProjectReads.h"
#include "pages/projects/RecentDiscovery.h"

namespace {

constexpr std::uint32_t kRegSz = 1, kRegBinary = 3, kRegDword = 4;

std::wstring Lower(std::wstring s) {
    for (auto& c : s)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 0x20);
    return s;
}

// Registry below HKCU: keys and value names compared ignoring case, as the
// system does; every query is logged.
class FakeRegistry : public os::IRegistry {
public:
    struct Query {
        std::wstring key, name;
        std::size_t maxBytes;
    };

    void SetBytes(const std::wstring& key, const std::wstring& name, std::uint32_t type,
                  std::vector<unsigned char> data) {
        m_keys[Lower(key)][Lower(name)] = {type, std::move(data)};
    }
    void SetString(int product, const std::wstring& name, const std::wstring& text) {
        SetBytes(ProductSettingsKey(product), name, kRegSz, os::RegBytes(text));
    }
    void CreateKey(int product) { m_keys[Lower(ProductSettingsKey(product))]; }

    bool KeyExists(const std::wstring& key) override { return m_keys.count(Lower(key)) != 0; }
    os::RegValue QueryValue(const std::wstring& key, const std::wstring& name,
                            std::size_t maxBytes) override {
        queries.push_back({key, name, maxBytes});
        os::RegValue result;
        const auto k = m_keys.find(Lower(key));
        if (k == m_keys.end()) return result;
        const auto v = k->second.find(Lower(name));
        if (v == k->second.end()) {
            result.status = os::RegStatus::NoValue;
            return result;
        }
        result.type = v->second.first;
        if (v->second.second.size() > maxBytes) {
            result.status = os::RegStatus::MoreData;
            return result;
        }
        result.status = os::RegStatus::Ok;
        result.data = v->second.second;
        return result;
    }

    std::vector<Query> queries;

private:
    std::map<std::wstring, std::map<std::wstring, std::pair<std::uint32_t, std::vector<unsigned char>>>>
        m_keys;
};

// Files and folders with exact (case-sensitive) names.
class FakeFiles : public os::IFileSystem {
public:
    void AddFile(const std::wstring& path, std::int64_t time = 1765152000, std::uint64_t size = 100) {
        m_files[path] = os::FileFacts{time, size};
    }
    void AddFolder(const std::wstring& path) { m_folders.insert(path); }

    bool Exists(const std::wstring& path) override { return m_files.count(path) || m_folders.count(path); }
    std::optional<os::FileFacts> RegularFile(const std::wstring& path) override {
        const auto f = m_files.find(path);
        return f == m_files.end() ? std::nullopt : std::optional<os::FileFacts>(f->second);
    }

private:
    std::map<std::wstring, os::FileFacts> m_files;
    std::set<std::wstring> m_folders;
};

std::wstring Trim(const std::wstring& s) {
    const auto b = s.find_first_not_of(L" \t");
    if (b == std::wstring::npos) return {};
    return s.substr(b, s.find_last_not_of(L" \t") - b + 1);
}

// Descriptors by path, read with the profile-string rules the discovery relies
// on: names compared ignoring case, blanks around names and values removed, a
// key may have an empty name, values cut to 259 characters.
class FakeProfiles : public os::IProfileReader {
public:
    void Put(const std::wstring& path, const std::wstring& text) { m_files[path] = text; }

    std::wstring GetString(const std::wstring& section, const std::wstring& key,
                           const std::wstring& path) override {
        ++reads;
        const auto f = m_files.find(path);
        if (f == m_files.end()) return {};
        std::wistringstream in(f->second);
        std::wstring line, current;
        bool inSection = false;
        while (std::getline(in, line)) {
            line = Trim(line);
            if (!line.empty() && line.front() == L'[') {
                const auto close = line.find(L']');
                inSection = close != std::wstring::npos &&
                            os::EqualIgnoringCase(Trim(line.substr(1, close - 1)), section);
                continue;
            }
            const auto eq = line.find(L'=');
            if (inSection && eq != std::wstring::npos && os::EqualIgnoringCase(Trim(line.substr(0, eq)), key))
                return Trim(line.substr(eq + 1)).substr(0, 259);
        }
        return {};
    }

    int reads = 0;

private:
    std::map<std::wstring, std::wstring> m_files;
};

// Formats in UTC with the C library, so that the results are fixed.
class FakeClock : public os::IClock {
public:
    std::wstring FormatLocal(std::int64_t utcSeconds, const wchar_t* format) override {
        const std::time_t t = static_cast<std::time_t>(utcSeconds);
        std::tm parts{};
        if (!gmtime_r(&t, &parts)) return {};
        wchar_t buffer[128] = {};
        if (std::wcsftime(buffer, 128, format, &parts) == 0) return {};
        return buffer;
    }
};

struct Row {
    int image;
    std::vector<std::wstring> columns;
    std::wstring FullPath() const { return columns[PC_FOLDER] + columns[PC_PROJECT]; }
};

class Rows : public IProjectRows {
public:
    int RowCount() override { return static_cast<int>(rows.size()); }
    std::wstring ItemText(int row, int column) override { return rows.at(row).columns.at(column); }
    int InsertRow(int row, const std::wstring& text, int image) override {
        if (failInserts || row < 0 || row > RowCount()) return -1;
        Row r{image, std::vector<std::wstring>(6)};
        r.columns[PC_PROJECT] = text;
        rows.insert(rows.begin() + row, r);
        return row;
    }
    void SetItemText(int row, int column, const std::wstring& text) override {
        rows.at(row).columns.at(column) = text;
    }

    std::vector<Row> rows;
    bool failInserts = false;
};

class RecentDiscoveryTest : public ::testing::Test {
protected:
    std::vector<std::wstring> Paths() const {
        std::vector<std::wstring> paths;
        for (const auto& r : list.rows) paths.push_back(r.FullPath());
        return paths;
    }
    // A file that exists for the fake file system, with a descriptor.
    void File(const std::wstring& path, const std::wstring& descriptor = L"") {
        files.AddFile(path);
        if (!descriptor.empty()) profiles.Put(path, descriptor);
    }

    FakeRegistry registry;
    FakeFiles files;
    FakeProfiles profiles;
    FakeClock clock;
    Rows list;
    SeamRegistryKeys keys{registry};
    RecentDiscovery discovery{list, keys, files, profiles, clock};
};

using PathList = std::vector<std::wstring>;

TEST(RecentProjectTable, OrderValuesExtensionsAndDescriptorKeys) {
    struct Expected {
        int id;
        const wchar_t *single, *numbered, *ext, *section, *author, *note;
    };
    const Expected expected[] = {
        {2, L"LastFile", L"Profile%d", L".rfp", L"Tables", L"Author", L"Description"},
        {5, L"LastFile", L"PackageFile%d", L".lhp", L"Package", L"Author", L"Note"},
        {1, L"LastFile", L"ReportFile%d", L".lsx", L"Target", L"", L"Title"},
        {3, L"LastFile", L"Profile%d", L".twp", L"Package", L"sAuthor", L"sNote"},
        {12, L"LastFile", L"Profile%d", L".trw", L"Common", L"Author", L"Description"},
        {9, L"RecentFile", L"Profile%d", L".cdif", L"Primary", L"Author", L"Description"},
        {7, L"LastFile", L"Profile%d", L".sdif", L"Project", L"Author", L"Description"},
        {6, L"LastFile", L"Model%d", L".dsm", L"Model", L"Author", L"Name"},
        {16, L"LastFile", L"Profile%d", L".mkfpr", L"Common", L"Author", L"Name"},
        {17, L"TXLastFile", L"TxProfile%d", L".txfp", L"Common", L"Author", L"Name"},
        {19, L"TXLastFile", L"TxProfile%d", L".shfp", L"Common", L"Author", L"Name"},
        {20, L"LastFile", L"Profile%d", L".docpr", L"Common", L"Author", L"Name"},
    };
    ASSERT_EQ(kRecentProjectTypes.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const auto& t = kRecentProjectTypes[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(t.product, expected[i].id);
        EXPECT_STREQ(t.singleValue, expected[i].single);
        EXPECT_STREQ(t.numberedPattern, expected[i].numbered);
        EXPECT_STREQ(t.extension, expected[i].ext);
        EXPECT_STREQ(t.section, expected[i].section);
        EXPECT_STREQ(t.authorKey, expected[i].author);
        EXPECT_STREQ(t.noteKey, expected[i].note);
    }
    EXPECT_EQ(FindRecentProjectType(0), nullptr);
    EXPECT_EQ(FindRecentProjectType(14), nullptr);
    EXPECT_EQ(ProductSettingsKey(2), L"Software\\Zerudozuz\\RowFoundry\\Settings");
    EXPECT_EQ(ProductSettingsKey(17), L"Software\\Zerudozuz\\TextFoundry\\Settings");
}

// The native stand-in for the system's comparison, which the discovery tests
// run on: every letter with a simple upper-case form folds, as in the
// system's table, and nothing else does.
TEST(EqualIgnoringCase, FoldsTheLettersOfEveryLivingScript) {
    EXPECT_TRUE(os::EqualIgnoringCase(L"C:\\Projects\\Sales.RFP", L"c:\\projects\\sales.rfp"));
    EXPECT_TRUE(os::EqualIgnoringCase(L"D:\\Études\\Ørsted.rfp", L"d:\\éTUDES\\øRSTED.RFP"));
    EXPECT_TRUE(os::EqualIgnoringCase(L"C:\\Отчёты\\Łódź", L"c:\\ОТЧЁТЫ\\łÓDŹ"));
    EXPECT_TRUE(os::EqualIgnoringCase(L"Σχέδιο", L"ΣΧΈΔΙΟ"));
    // Latin Extended-B, Armenian, Georgian, the Cyrillic beyond Russian.
    EXPECT_TRUE(os::EqualIgnoringCase(L"\u01CE\u0219\u0180\u01C6", L"\u01CD\u0218\u0243\u01C4"));
    EXPECT_TRUE(os::EqualIgnoringCase(L"\u0570\u0561\u0575", L"\u0540\u0531\u0545"));
    EXPECT_TRUE(os::EqualIgnoringCase(L"\u2D00\u2D25", L"\u10A0\u10C5"));
    EXPECT_TRUE(os::EqualIgnoringCase(L"\u0491\u04C2\u0501\u0463", L"\u0490\u04C1\u0500\u0462"));
    EXPECT_TRUE(os::EqualIgnoringCase(L"", L""));
    EXPECT_FALSE(os::EqualIgnoringCase(L"C:\\a.rfp", L"C:\\b.rfp"));
    EXPECT_FALSE(os::EqualIgnoringCase(L"C:\\a.rfp", L"C:\\a.rfp "));
    // Characters next to the letters in the code table are not letters of another case.
    EXPECT_FALSE(os::EqualIgnoringCase(L"a[", L"A{"));
    EXPECT_FALSE(os::EqualIgnoringCase(L"\u00D7", L"\u00F7"));
    EXPECT_FALSE(os::EqualIgnoringCase(L"@", L"`"));
    // One unit at a time: no full folding (sharp s is not "SS") and no
    // surrogate pairs (the system's table maps 16-bit units only).
    EXPECT_FALSE(os::EqualIgnoringCase(L"stra\u00DFe", L"STRASSE"));
    EXPECT_FALSE(os::EqualIgnoringCase(L"\xD801\xDC28", L"\xD801\xDC00"));
}

TEST_F(RecentDiscoveryTest, AsksProductsInTableOrderSingleThenNumberedAndNeverIndexTen) {
    for (const auto& t : kRecentProjectTypes) registry.CreateKey(t.product);
    discovery.Run();
    ASSERT_EQ(registry.queries.size(), 132u);
    std::size_t q = 0;
    for (const auto& t : kRecentProjectTypes) {
        EXPECT_EQ(registry.queries[q].key, ProductSettingsKey(t.product));
        EXPECT_EQ(registry.queries[q++].name, t.singleValue);
        for (int i = 0; i < 10; ++i) {
            std::wstring name = t.numberedPattern;
            name.replace(name.find(L"%d"), 2, std::to_wstring(i));
            EXPECT_EQ(registry.queries[q++].name, name);
        }
    }
    for (const auto& query : registry.queries) EXPECT_EQ(query.maxBytes, 520u);
    EXPECT_TRUE(list.rows.empty());
    EXPECT_EQ(discovery.RowCount(), 0);
}

TEST_F(RecentDiscoveryTest, MissingKeySkipsOnlyThatProduct) {
    // Row Foundry has no settings key; Load Hammer, asked after it, still contributes.
    File(L"C:\\p\\load.lhp");
    registry.SetString(5, L"PackageFile0", L"C:\\p\\load.lhp");
    File(L"C:\\p\\doc.docpr");
    registry.SetString(20, L"LastFile", L"C:\\p\\doc.docpr");
    discovery.Run();
    EXPECT_EQ(Paths(), (PathList{L"C:\\p\\load.lhp", L"C:\\p\\doc.docpr"}));
    for (const auto& query : registry.queries) EXPECT_NE(query.key, ProductSettingsKey(2));
    EXPECT_EQ(discovery.RowCount(), 2);
}

TEST_F(RecentDiscoveryTest, ExtensionStepForcesTheProductExtension) {
    struct Case {
        int product;
        std::wstring in, out;
    };
    const Case cases[] = {
        {2, L"C:\\p\\sales.rfp", L"C:\\p\\sales.rfp"},
        {2, L"C:\\p\\sales.RFP", L"C:\\p\\sales.RFP"},
        {2, L"C:\\p\\sales.txt", L"C:\\p\\sales.txt.rfp"},
        {2, L"C:\\p.old\\sales", L"C:\\p.old\\sales.rfp"},
        {2, L"C:\\p\\sales.", L"C:\\p\\sales..rfp"},
        {2, L"C:\\p\\sales.rfp.bak", L"C:\\p\\sales.rfp.bak.rfp"},
        {7, L"C:\\p\\s.sdif", L"C:\\p\\s.sdif"},
        {7, L"C:\\p\\s.txt", L"C:\\p\\s.txt.sdif"},
        {9, L"C:\\p\\c.cdif", L"C:\\p\\c.cdif"},
        {9, L"C:\\p\\c.txt", L"C:\\p\\c.txt.cdif"},
        {9, L"C:\\p\\c.sdif", L"C:\\p\\c.sdif.cdif"},
        {16, L"C:\\p\\m.MkFpr", L"C:\\p\\m.MkFpr"},
        {16, L"C:\\p\\m.mkf", L"C:\\p\\m.mkf.mkfpr"},
        {2, L"C:\\p\\nodot", L"C:\\p\\nodot"},
        {2, L"", L""},
    };
    for (const auto& c : cases) {
        std::wstring path = c.in;
        discovery.SetProjectType(c.product, path);
        EXPECT_EQ(path, c.out) << c.product;
        EXPECT_EQ(discovery.CurrentSection(), FindRecentProjectType(c.product)->section);
    }
}

TEST_F(RecentDiscoveryTest, PathWithoutDotReadsItsOwnProductsSection) {
    // Layout Scribe first leaves its section behind; the dotless Transfer Works
    // path must still be read under Transfer Works' own section and keys.
    File(L"C:\\p\\report.lsx", L"[Target]\n=Ann\nTitle=Quarterly\n");
    registry.SetString(1, L"LastFile", L"C:\\p\\report.lsx");
    File(L"C:\\p\\transfer", L"[Package]\nsAuthor=Bob\nsNote=Nightly\n[Target]\n=Wrong\nTitle=Wrong\n");
    registry.SetString(3, L"LastFile", L"C:\\p\\transfer");
    discovery.Run();
    ASSERT_EQ(list.rows.size(), 2u);
    EXPECT_EQ(list.rows[1].columns[PC_PROJECT], L"transfer");
    EXPECT_EQ(list.rows[1].columns[PC_AUTHOR], L"Bob");
    EXPECT_EQ(list.rows[1].columns[PC_NOTE], L"Nightly");
    EXPECT_EQ(discovery.CurrentAuthorKey(), L"sAuthor");
}

TEST_F(RecentDiscoveryTest, DuplicatesAmongNumberedValuesIgnoreCaseSingleValuesOnlyCheckLastAdded) {
    for (const auto& f : {L"C:\\p\\a.rfp", L"C:\\q\\A.rfp", L"C:\\p\\b.rfp", L"C:\\P\\A.RFP", L"C:\\p\\notes",
                          L"C:\\P\\NOTES", L"C:\\p\\r.lsx"})
        File(f);
    registry.SetString(2, L"LastFile", L"C:\\p\\a.rfp");
    registry.SetString(2, L"Profile0", L"C:\\p\\a.rfp");  // equals the last added path: one row
    registry.SetString(2, L"Profile1", L"C:\\q\\A.rfp");  // row 0's name in another folder: listed
    registry.SetString(2, L"Profile2", L"C:\\p\\b.rfp");
    registry.SetString(2, L"Profile3", L"C:\\P\\A.RFP");  // row 0 in other case: skipped
    registry.SetString(2, L"Profile4", L"C:\\p\\notes");  // no dot: kept as it is, so any product may name it
    registry.SetString(5, L"LastFile", L"C:\\p\\notes");  // the last added path: dropped
    registry.SetString(5, L"PackageFile0", L"C:\\P\\NOTES");  // an earlier row in other case: skipped
    registry.SetString(1, L"ReportFile0", L"C:\\p\\r.lsx");
    registry.SetString(3, L"LastFile", L"C:\\p\\notes");   // repeats an older row: listed again
    registry.SetString(12, L"LastFile", L"C:\\P\\NOTES");  // last added only in other case: listed
    discovery.Run();
    EXPECT_EQ(Paths(), (PathList{L"C:\\p\\a.rfp", L"C:\\q\\A.rfp", L"C:\\p\\b.rfp", L"C:\\p\\notes",
                                 L"C:\\p\\r.lsx", L"C:\\p\\notes", L"C:\\P\\NOTES"}));
    EXPECT_EQ(list.rows[5].image, 3);
    EXPECT_EQ(discovery.RowCount(), 7);
}

TEST_F(RecentDiscoveryTest, GapsInNumberedValuesDoNotEndTheLoop) {
    File(L"C:\\p\\four.rfp");
    File(L"C:\\p\\nine.rfp");
    File(L"C:\\p\\ten.rfp");
    registry.SetString(2, L"Profile4", L"C:\\p\\four.rfp");
    registry.SetString(2, L"Profile9", L"C:\\p\\nine.rfp");
    registry.SetString(2, L"Profile10", L"C:\\p\\ten.rfp");
    discovery.ReadRecentFiles(2, true);
    EXPECT_EQ(Paths(), (PathList{L"C:\\p\\four.rfp", L"C:\\p\\nine.rfp"}));
    for (const auto& query : registry.queries) EXPECT_NE(query.name, L"Profile10");
}

TEST_F(RecentDiscoveryTest, ValueTypesLengthsAndTerminators) {
    // The type is ignored; the text ends at the first NUL or at the end of the data.
    File(L"C:\\p\\binary.rfp");
    auto binary = os::RegBytes(L"C:\\p\\binary.rfp");
    binary.push_back('x');  // bytes after the NUL are not part of the text
    registry.SetBytes(ProductSettingsKey(2), L"Profile0", kRegBinary, binary);

    File(L"C:\\p\\open.rfp");
    auto open = os::RegBytes(L"C:\\p\\open.rfp");
    open.resize(open.size() - 2);  // no terminating NUL
    registry.SetBytes(ProductSettingsKey(2), L"Profile1", kRegSz, open);

    const std::vector<unsigned char> dword = {'A', 0, 0, 0};  // the text "A": no such file
    registry.SetBytes(ProductSettingsKey(2), L"Profile2", kRegDword, dword);
    registry.SetBytes(ProductSettingsKey(2), L"Profile3", kRegSz, {});
    registry.SetBytes(ProductSettingsKey(2), L"Profile4", kRegSz, {0x41});  // odd single byte

    // 259 characters plus NUL fill the 520 bytes exactly; 260 do not fit and
    // are skipped, not cut to a shorter path that might exist.
    const std::wstring folder = L"C:\\" + std::wstring(247, L'f') + L"\\";
    const std::wstring at259 = folder + L"abcd.rfp";
    ASSERT_EQ(at259.size(), 259u);
    File(at259);
    registry.SetString(2, L"Profile5", at259);
    const std::wstring at260 = folder + L"abcde.rfp";
    File(at260);
    registry.SetString(2, L"Profile6", at260);
    // 260 characters without a NUL are exactly 520 bytes: read whole.
    const std::wstring raw260 = folder + L"rawxy.rfp";
    File(raw260);
    auto raw = os::RegBytes(raw260);
    raw.resize(520);
    registry.SetBytes(ProductSettingsKey(2), L"Profile7", kRegBinary, raw);

    discovery.ReadRecentFiles(2, true);
    EXPECT_EQ(Paths(), (PathList{L"C:\\p\\binary.rfp", L"C:\\p\\open.rfp", at259, raw260}));
}

TEST_F(RecentDiscoveryTest, MissingFilesFoldersAndFailedInsertsAddNothing) {
    File(L"C:\\p\\sales.txt");  // exists, but the path looked up is sales.txt.rfp
    registry.SetString(2, L"Profile0", L"C:\\p\\sales.txt");
    registry.SetString(2, L"Profile1", L"C:\\p\\gone.rfp");
    files.AddFolder(L"C:\\p\\folder.rfp");
    registry.SetString(2, L"Profile2", L"C:\\p\\folder.rfp");
    files.AddFolder(L"C:\\p");
    registry.SetString(2, L"Profile3", L"C:\\p");
    File(L"C:\\p\\kept.rfp");
    registry.SetString(2, L"Profile4", L"C:\\p\\kept.rfp");
    discovery.ReadRecentFiles(2, true);
    EXPECT_EQ(Paths(), (PathList{L"C:\\p\\kept.rfp"}));
    EXPECT_EQ(discovery.RowCount(), 1);

    // A list that refuses the row leaves the state as it was.
    list.failInserts = true;
    File(L"C:\\p\\more.rfp");
    discovery.AddProjectFile(2, L"C:\\p\\more.rfp");
    EXPECT_EQ(discovery.RowCount(), 1);
    EXPECT_EQ(discovery.LastAddedPath(), L"C:\\p\\kept.rfp");
}

TEST_F(RecentDiscoveryTest, DescriptorAboveTheSizeLimitIsListedWithoutBeingRead) {
    const std::wstring descriptor = L"[Tables]\nAuthor=Jane\nDescription=Q4\n";
    files.AddFile(L"C:\\p\\limit.rfp", 1765152000, RecentDiscovery::kMaxDescriptorBytes);
    profiles.Put(L"C:\\p\\limit.rfp", descriptor);
    files.AddFile(L"C:\\p\\huge.rfp", 1765152000, RecentDiscovery::kMaxDescriptorBytes + 1);
    profiles.Put(L"C:\\p\\huge.rfp", descriptor);
    registry.SetString(2, L"Profile0", L"C:\\p\\limit.rfp");
    registry.SetString(2, L"Profile1", L"C:\\p\\huge.rfp");
    discovery.ReadRecentFiles(2, true);
    ASSERT_EQ(list.rows.size(), 2u);
    EXPECT_EQ(list.rows[0].columns[PC_AUTHOR], L"Jane");
    EXPECT_EQ(list.rows[1].columns[PC_AUTHOR], L"");
    EXPECT_EQ(list.rows[1].columns[PC_NOTE], L"");
    EXPECT_EQ(list.rows[1].columns[PC_DATE], L"08-Dec-2025");
    EXPECT_EQ(profiles.reads, 2);
}

TEST_F(RecentDiscoveryTest, RowHoldsNameFolderDateTimeAuthorNoteAndProductImage) {
    File(L"D:\\work\\Plans\\Sales.RFP",
         L"; comment\n[TABLES]\n  AUTHOR  =   Jane Roe  \nDescription=Q4 fill\n[Other]\nAuthor=No\n");
    registry.SetString(2, L"LastFile", L"D:\\work\\Plans\\Sales.RFP");
    files.AddFile(L"relative.docpr", 0);  // no backslash; written at the start of 1970
    registry.SetString(20, L"LastFile", L"relative.docpr");
    discovery.Run();
    ASSERT_EQ(list.rows.size(), 2u);
    const Row& r = list.rows[0];
    EXPECT_EQ(r.image, 2);
    EXPECT_EQ(r.columns, (std::vector<std::wstring>{L"Sales.RFP", L"D:\\work\\Plans\\", L"08-Dec-2025",
                                                    L"00:00:00", L"Jane Roe", L"Q4 fill"}));
    const Row& d = list.rows[1];
    EXPECT_EQ(d.image, 20);
    EXPECT_EQ(d.columns,
              (std::vector<std::wstring>{L"relative.docpr", L"", L"01-Jan-1970", L"00:00:00", L"", L""}));
}

TEST_F(RecentDiscoveryTest, LayoutScribeAuthorComesFromTheEmptyNamedKey) {
    File(L"C:\\r\\with.lsx", L"[Target]\nAuthor=Not this\n  =  Ann Author\nTitle=Monthly\n");
    File(L"C:\\r\\without.lsx", L"[Target]\nAuthor=Not this\nTitle=Weekly\n");
    File(L"C:\\r\\binary.lsx", std::wstring(L"\x01\x02[Target]\x7f\x00garbage", 19));
    registry.SetString(1, L"ReportFile0", L"C:\\r\\with.lsx");
    registry.SetString(1, L"ReportFile1", L"C:\\r\\without.lsx");
    registry.SetString(1, L"ReportFile2", L"C:\\r\\binary.lsx");
    discovery.Run();
    ASSERT_EQ(list.rows.size(), 3u);
    EXPECT_EQ(list.rows[0].columns[PC_AUTHOR], L"Ann Author");
    EXPECT_EQ(list.rows[0].columns[PC_NOTE], L"Monthly");
    EXPECT_EQ(list.rows[1].columns[PC_AUTHOR], L"");
    EXPECT_EQ(list.rows[1].columns[PC_NOTE], L"Weekly");
    EXPECT_EQ(list.rows[2].columns[PC_AUTHOR], L"");
    EXPECT_EQ(list.rows[2].columns[PC_NOTE], L"");
}

TEST_F(RecentDiscoveryTest, RunRestartsTheRowCountButKeepsTheLastAddedPath) {
    File(L"C:\\p\\a.rfp");
    registry.SetString(2, L"LastFile", L"C:\\p\\a.rfp");
    discovery.SetRowCount(7);
    discovery.Run();
    EXPECT_EQ(discovery.RowCount(), 1);
    EXPECT_EQ(list.rows.size(), 1u);
    // Run again over the same list: the last added path is never reset, so the
    // single value is not added a second time.
    discovery.Run();
    EXPECT_EQ(list.rows.size(), 1u);
    EXPECT_EQ(discovery.RowCount(), 0);
}

TEST_F(RecentDiscoveryTest, AllValuesPresentGiveOneRowEach) {
    for (const auto& t : kRecentProjectTypes) {
        const std::wstring base = L"C:\\all\\" + std::to_wstring(t.product) + L"_";
        File(base + L"single" + t.extension);
        registry.SetString(t.product, t.singleValue, base + L"single" + t.extension);
        for (int i = 0; i < 10; ++i) {
            std::wstring name = t.numberedPattern;
            name.replace(name.find(L"%d"), 2, std::to_wstring(i));
            File(base + std::to_wstring(i) + t.extension);
            registry.SetString(t.product, name, base + std::to_wstring(i) + t.extension);
        }
    }
    discovery.Run();
    EXPECT_EQ(discovery.RowCount(), 132);
    ASSERT_EQ(list.rows.size(), 132u);
    EXPECT_EQ(list.rows.front().image, 2);
    EXPECT_EQ(list.rows.back().image, 20);
    EXPECT_EQ(list.rows.back().columns[PC_PROJECT], L"20_9.docpr");
}

// The rows as the list shows them, taken out as well as put in.
class EditableRows : public IEditableProjectRows {
public:
    int RowCount() override { return static_cast<int>(rows.size()); }
    std::wstring ItemText(int row, int column) override {
        return rows.at(static_cast<std::size_t>(row)).texts.at(static_cast<std::size_t>(column));
    }
    int InsertRow(int row, const std::wstring& text, int image) override {
        ProjectRow r;
        r.texts[PC_PROJECT] = text;
        r.image = image;
        rows.insert(rows.begin() + row, r);
        return row;
    }
    void SetItemText(int row, int column, const std::wstring& text) override {
        rows.at(static_cast<std::size_t>(row)).texts.at(static_cast<std::size_t>(column)) = text;
    }
    void DeleteRow(int row) override { rows.erase(rows.begin() + row); }
    int ItemImage(int row) override { return rows.at(static_cast<std::size_t>(row)).image; }

    std::vector<ProjectRow> rows;
};

// Discovery run again each time one background read answers, in any order,
// ends with exactly the rows of one discovery over the files themselves; and
// the registry is read once.
TEST(ProjectReads, DiscoveryRunAgainAsReadsAnswerEndsWithTheRowsOfOneDiscovery) {
    std::mt19937 random(19);
    const wchar_t* const names[] = {L"C:\\p\\a", L"C:\\P\\A",   L"C:\\p\\b",
                                    L"C:\\p\\c", L"C:\\q.x\\d", L"C:\\p\\e"};
    for (int round = 0; round < 200; ++round) {
        FakeRegistry registry;
        FakeFiles files;
        FakeProfiles profiles;
        FakeClock clock;
        // Values naming a few files, in other letter cases and with other
        // extensions, some of them missing; descriptors for some.
        for (const RecentProjectType& type : kRecentProjectTypes) {
            if (random() % 3 == 0) continue;
            registry.CreateKey(type.product);
            for (int i = -1; i < 4; ++i) {
                if (random() % 2) continue;
                std::wstring path = names[random() % 6];
                if (random() % 4) path += type.extension;
                std::wstring value = type.numberedPattern;
                value = i < 0 ? std::wstring(type.singleValue)
                              : value.replace(value.find(L"%d"), 2, std::to_wstring(i));
                registry.SetString(type.product, value, path);
                if (path.find(L'.') == std::wstring::npos || random() % 3) continue;
                files.AddFile(path, 1700000000 + static_cast<std::int64_t>(random() % 1000));
                profiles.Put(path, std::wstring(L"[") + type.section + L"]\n" + type.authorKey + L"=A" +
                                       std::to_wstring(random() % 9) + L"\n" + type.noteKey + L"=N\n");
            }
        }
        Rows direct;
        SeamRegistryKeys directKeys(registry);
        RecentDiscovery(direct, directKeys, files, profiles, clock).Run();

        SeamRegistryKeys seam(registry);
        CachedRegistryKeys cached(seam);
        KnownProjectFiles known;
        ProjectRowsInMemory found;
        RecentDiscovery discovery(found, cached, known, known, clock);
        EditableRows shown;
        std::vector<std::wstring> files_;
        std::vector<KnownProjectFiles::Text> texts;
        std::size_t queriesAfterFirstRun = 0;
        for (int run = 0;; ++run) {
            found.Clear();
            discovery.Restart();
            discovery.Run();
            if (run == 0) queriesAfterFirstRun = registry.queries.size();
            SyncProjectRows(shown, found.Rows());
            for (std::wstring& f : known.TakeWantedFiles()) files_.push_back(std::move(f));
            for (KnownProjectFiles::Text& t : known.TakeWantedTexts()) texts.push_back(std::move(t));
            if (files_.empty() && texts.empty()) break;
            // One read answers, any of those out.
            const std::size_t pick = random() % (files_.size() + texts.size());
            if (pick < files_.size()) {
                known.SetFacts(files_[pick], files.RegularFile(files_[pick]));
                files_.erase(files_.begin() + static_cast<std::ptrdiff_t>(pick));
            } else {
                const KnownProjectFiles::Text t = texts[pick - files_.size()];
                known.SetText(t.section, t.key, t.path, profiles.GetString(t.section, t.key, t.path));
                texts.erase(texts.begin() + static_cast<std::ptrdiff_t>(pick - files_.size()));
            }
        }
        ASSERT_EQ(shown.rows.size(), direct.rows.size()) << "round " << round;
        for (std::size_t r = 0; r < direct.rows.size(); ++r) {
            EXPECT_EQ(shown.rows[r].image, direct.rows[r].image) << "round " << round << " row " << r;
            for (std::size_t c = 0; c < 6; ++c)
                EXPECT_EQ(shown.rows[r].texts[c], direct.rows[r].columns[c])
                    << "round " << round << " row " << r;
        }
        EXPECT_EQ(registry.queries.size(), queriesAfterFirstRun) << "the registry was read again";
    }
}

}  // namespace
