#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "pages/products/ProductEntry.h"

namespace {

constexpr std::uint32_t kRegSz = 1, kRegBinary = 3, kRegDword = 4;

// HKCU as a map of keys to values; a read offers maxBytes like RegQueryValueExW.
class FakeRegistry : public os::IRegistry {
public:
    void Set(const std::wstring& key, const std::wstring& name, std::uint32_t type,
             std::vector<unsigned char> data) {
        m_keys[key][name] = {type, std::move(data)};
    }
    void SetText(const std::wstring& key, const std::wstring& name, const std::wstring& text) {
        Set(key, name, kRegSz, os::RegBytes(text));
    }
    void CreateKey(const std::wstring& key) { m_keys[key]; }
    void DeleteKey(const std::wstring& key) { m_keys.erase(key); }

    bool KeyExists(const std::wstring& subKey) override { return m_keys.count(subKey) != 0; }
    os::RegValue QueryValue(const std::wstring& subKey, const std::wstring& name,
                            std::size_t maxBytes) override {
        offered.push_back(maxBytes);
        os::RegValue v;
        auto key = m_keys.find(subKey);
        if (key == m_keys.end()) return v;
        auto value = key->second.find(name);
        if (value == key->second.end()) {
            v.status = os::RegStatus::NoValue;
            return v;
        }
        v.type = value->second.first;
        if (value->second.second.size() > maxBytes) {
            v.status = os::RegStatus::MoreData;
            return v;
        }
        v.status = os::RegStatus::Ok;
        v.data = value->second.second;
        return v;
    }

    std::vector<std::size_t> offered;

private:
    std::map<std::wstring, std::map<std::wstring, std::pair<std::uint32_t, std::vector<unsigned char>>>>
        m_keys;
};

class FakeFiles : public os::IFileSystem {
public:
    // Regular files: those in `existing` and those with a time.
    std::set<std::wstring> existing;
    std::map<std::wstring, std::int64_t> times;
    std::map<std::wstring, std::uint64_t> sizes;
    bool Exists(const std::wstring& path) override { return existing.count(path) || times.count(path); }
    std::optional<os::FileFacts> RegularFile(const std::wstring& path) override {
        if (!Exists(path)) return std::nullopt;
        os::FileFacts facts;
        if (auto t = times.find(path); t != times.end()) facts.lastWrite = t->second;  // else 1970
        if (auto z = sizes.find(path); z != sizes.end()) facts.size = z->second;
        return facts;
    }
};

class FakeVersions : public os::IVersionReader {
public:
    std::map<std::wstring, os::FixedVersion> versions;
    int reads = 0;
    std::optional<os::FixedVersion> ReadFixedVersion(const std::wstring& path) override {
        ++reads;
        auto it = versions.find(path);
        if (it == versions.end()) return std::nullopt;
        return it->second;
    }
};

os::FixedVersion Product(unsigned a, unsigned b, unsigned c, unsigned d) {
    os::FixedVersion v;
    v.productVersionMS = (a << 16) | b;
    v.productVersionLS = (c << 16) | d;
    v.fileVersionMS = (9u << 16) | 9u;  // never shown
    v.fileVersionLS = (9u << 16) | 9u;
    return v;
}

const std::wstring kRowFoundryKey = L"Software\\Zerudozuz\\RowFoundry";

ProductEntry RowFoundry() {
    ProductEntry e;
    InitEntry(e, ZP_ROW_FOUNDRY, 130);
    return e;
}

TEST(ProductEntryInit, FillsTextsFromTheCatalogue) {
    ProductEntry e = RowFoundry();
    EXPECT_EQ(e.commandId, 130);
    EXPECT_EQ(e.regPath, kRowFoundryKey);
    EXPECT_EQ(e.helpPath, L"rowfoundry/help/");
    EXPECT_EQ(e.name, L"Row Foundry");
    EXPECT_EQ(e.description, L"A test data generator that fills tables with realistic, consistent rows");
    EXPECT_EQ(e.installed, 0);
    EXPECT_TRUE(e.exePath.empty());
    EXPECT_TRUE(e.updateVersion.empty());
    EXPECT_FALSE(e.controls);

    ProductEntry sd;
    InitEntry(sd, ZP_STATEMENT_DESK, 230);
    EXPECT_EQ(sd.regPath, L"Software\\Zerudozuz\\StatementDesk2");
    EXPECT_EQ(sd.description.substr(0, 8), L"An SQL e");
}

TEST(ProductEntryInit, KeepsDetectionAndUpdateState) {
    ProductEntry e;
    e.installed = 1;
    e.exePath = L"C:\\x.exe";
    e.updateVersion = L"2.00.00";
    InitEntry(e, ZP_LOAD_HAMMER, 140);
    EXPECT_EQ(e.installed, 1);
    EXPECT_EQ(e.exePath, L"C:\\x.exe");
    EXPECT_EQ(e.updateVersion, L"2.00.00");
    EXPECT_EQ(e.name, L"Load Hammer");
}

TEST(ProductEntryInit, UnknownProductGetsNoKey) {
    ProductEntry e;
    InitEntry(e, static_cast<ZELTO_PRODUCT>(13), 999);
    EXPECT_TRUE(e.regPath.empty());
    EXPECT_TRUE(e.name.empty());
    FakeRegistry reg;
    FakeFiles files;
    DetectInstallation(e, reg, files);
    EXPECT_EQ(e.installed, 0);
    EXPECT_TRUE(reg.offered.empty()) << "an empty key would read HKEY_CURRENT_USER itself";
}

TEST(PageDescription, DropsThreeCharactersAndCapitalisesOnlyTheNext) {
    EXPECT_EQ(PageDescription(L"is a tool"), L"A tool");
    EXPECT_EQ(PageDescription(L"is "), L"");
    EXPECT_EQ(PageDescription(L"is"), L"");
    EXPECT_EQ(PageDescription(L""), L"");
    EXPECT_EQ(PageDescription(L"is x"), L"X");
    EXPECT_EQ(PageDescription(L"is an SQL tool"), L"An SQL tool");
    EXPECT_EQ(PageDescription(L"is 3d tool"), L"3d tool");
    EXPECT_EQ(PageDescription(L"IS already"), L"Already");
}

class Detection : public ::testing::Test {
protected:
    FakeRegistry reg;
    FakeFiles files;
    ProductEntry e = RowFoundry();
};

TEST_F(Detection, InstalledWhenValueNamesAnExistingFile) {
    reg.SetText(kRowFoundryKey, L"ExePath", L"C:\\Zelto\\rf.exe");
    files.existing.insert(L"C:\\Zelto\\rf.exe");
    DetectInstallation(e, reg, files);
    EXPECT_EQ(e.installed, 1);
    EXPECT_EQ(e.exePath, L"C:\\Zelto\\rf.exe");
    ASSERT_EQ(reg.offered.size(), 1u);
    EXPECT_EQ(reg.offered[0], 520u);
}

TEST_F(Detection, MissingKeyValueOrFileIsNotInstalled) {
    DetectInstallation(e, reg, files);
    EXPECT_EQ(e.installed, 0);
    reg.CreateKey(kRowFoundryKey);
    DetectInstallation(e, reg, files);
    EXPECT_EQ(e.installed, 0);
    reg.SetText(kRowFoundryKey, L"ExePath", L"C:\\gone.exe");
    DetectInstallation(e, reg, files);
    EXPECT_EQ(e.installed, 0);
    EXPECT_TRUE(e.exePath.empty());
    reg.SetText(kRowFoundryKey, L"ExePath", L"");
    files.existing.insert(L"");
    DetectInstallation(e, reg, files);
    EXPECT_EQ(e.installed, 0) << "an empty path names no file";
}

TEST_F(Detection, DanglingPathKeepsTheLastFoundPathButClearsInstalled) {
    reg.SetText(kRowFoundryKey, L"ExePath", L"C:\\old\\rf.exe");
    files.existing.insert(L"C:\\old\\rf.exe");
    DetectInstallation(e, reg, files);
    ASSERT_EQ(e.installed, 1);

    files.existing.clear();
    DetectInstallation(e, reg, files);
    EXPECT_EQ(e.installed, 0);
    EXPECT_EQ(e.exePath, L"C:\\old\\rf.exe");

    reg.DeleteKey(kRowFoundryKey);
    DetectInstallation(e, reg, files);
    EXPECT_EQ(e.installed, 0);
    EXPECT_EQ(e.exePath, L"C:\\old\\rf.exe");

    reg.SetText(kRowFoundryKey, L"ExePath", L"C:\\new\\rf.exe");
    files.existing.insert(L"C:\\new\\rf.exe");
    DetectInstallation(e, reg, files);
    EXPECT_EQ(e.installed, 1);
    EXPECT_EQ(e.exePath, L"C:\\new\\rf.exe");
}

TEST_F(Detection, PathLengthsAtTheBufferLimit) {
    const std::wstring p259 = L"C:\\" + std::wstring(252, L'a') + L".exe";
    ASSERT_EQ(p259.size(), 259u);
    files.existing.insert(p259);
    reg.SetText(kRowFoundryKey, L"ExePath", p259);  // 520 bytes with its terminator
    DetectInstallation(e, reg, files);
    EXPECT_EQ(e.installed, 1);
    EXPECT_EQ(e.exePath, p259);

    // 260 characters with a terminator need 522 bytes: they do not fit.
    const std::wstring p260 = p259 + L"x";
    files.existing.insert(p260);
    reg.SetText(kRowFoundryKey, L"ExePath", p260);
    DetectInstallation(e, reg, files);
    EXPECT_EQ(e.installed, 0);
    EXPECT_EQ(e.exePath, p259);

    // Stored without its terminator the same text is 520 bytes and fits; the
    // reader's spare character terminates it, so it is taken whole.
    std::vector<unsigned char> raw = os::RegBytes(p260);
    raw.resize(520);
    reg.Set(kRowFoundryKey, L"ExePath", kRegSz, raw);
    DetectInstallation(e, reg, files);
    EXPECT_EQ(e.installed, 1);
    EXPECT_EQ(e.exePath, p260);

    // A shorter text without a terminator ends at the end of its data.
    raw = os::RegBytes(L"C:\\rf.exe");
    raw.resize(raw.size() - 2);
    files.existing.insert(L"C:\\rf.exe");
    reg.Set(kRowFoundryKey, L"ExePath", kRegSz, raw);
    DetectInstallation(e, reg, files);
    EXPECT_EQ(e.installed, 1);
    EXPECT_EQ(e.exePath, L"C:\\rf.exe");
}

TEST_F(Detection, TypeIsNotExaminedOnlyTheTextCounts) {
    files.existing.insert(L"C:\\rf.exe");
    reg.Set(kRowFoundryKey, L"ExePath", kRegBinary, os::RegBytes(L"C:\\rf.exe"));
    DetectInstallation(e, reg, files);
    EXPECT_EQ(e.installed, 1);

    // A number read as text names no file.
    reg.Set(kRowFoundryKey, L"ExePath", kRegDword, {0x43, 0x00, 0x3A, 0x00});
    DetectInstallation(e, reg, files);
    EXPECT_EQ(e.installed, 0);
    EXPECT_EQ(e.exePath, L"C:\\rf.exe");

    // An odd number of bytes, as a writer that counted one short leaves them:
    // the last byte is the low byte of the last character, nothing is read past.
    std::vector<unsigned char> odd = os::RegBytes(L"C:\\rf.exe");
    odd.resize(odd.size() - 3);
    ASSERT_EQ(odd.size(), 17u);
    reg.Set(kRowFoundryKey, L"ExePath", kRegSz, odd);
    DetectInstallation(e, reg, files);
    EXPECT_EQ(e.installed, 1);
    EXPECT_EQ(e.exePath, L"C:\\rf.exe");
    // 255 bytes: 127 whole characters and the low byte of the 128th.
    std::vector<unsigned char> long255 = os::RegBytes(std::wstring(127, L'x') + L"\u0141");
    long255.resize(255);
    reg.Set(kRowFoundryKey, L"ExePath", kRegSz, long255);
    files.existing.insert(std::wstring(127, L'x') + L"A");
    DetectInstallation(e, reg, files);
    EXPECT_EQ(e.installed, 1);
    EXPECT_EQ(e.exePath, std::wstring(127, L'x') + L"A");

    // Text stops at the first NUL, whatever follows.
    std::vector<unsigned char> multi = os::RegBytes(L"C:\\rf.exe");
    std::vector<unsigned char> tail = os::RegBytes(L"C:\\other.exe");
    multi.insert(multi.end(), tail.begin(), tail.end());
    reg.Set(kRowFoundryKey, L"ExePath", 7, multi);
    DetectInstallation(e, reg, files);
    EXPECT_EQ(e.exePath, L"C:\\rf.exe");
}

TEST(VersionText, ThreeNumbersOfTheProductVersion) {
    EXPECT_EQ(FormatProductVersion(Product(1, 2, 3, 4)), L"1.02.03");
    EXPECT_EQ(FormatProductVersion(Product(1, 2, 300, 0)), L"1.02.300");
    EXPECT_EQ(FormatProductVersion(Product(10, 0, 3, 7)), L"10.00.03");
    EXPECT_EQ(FormatProductVersion(Product(5, 4, 12, 0)), L"5.04.12");
    EXPECT_EQ(FormatProductVersion(Product(2, 123, 4, 0)), L"2.123.04");
    EXPECT_EQ(FormatProductVersion(Product(65535, 65535, 65535, 65535)), L"65535.65535.65535");
    EXPECT_EQ(FormatProductVersion(Product(0, 0, 0, 0)), L"0.00.00");
}

TEST(VersionText, ReadFromTheInstalledExecutableOnly) {
    FakeVersions versions;
    ProductEntry e = RowFoundry();
    EXPECT_FALSE(InstalledVersionText(e, versions)) << "no path, no version";
    e.exePath = L"C:\\rf.exe";
    EXPECT_FALSE(InstalledVersionText(e, versions)) << "no version resource";
    versions.versions[L"C:\\rf.exe"] = Product(3, 1, 4, 0);
    EXPECT_EQ(InstalledVersionText(e, versions), std::optional<std::wstring>(L"3.01.04"));
}

TEST(VersionDisplay, OnlyANewerVersionOffersAnUpdate) {
    VersionDisplay d = MakeVersionDisplay(L"5.04.12", L"");
    EXPECT_EQ(d.text, L"5.04.12");
    EXPECT_FALSE(d.updateAvailable);

    d = MakeVersionDisplay(L"5.04.12", L"5.05.01");
    EXPECT_EQ(d.text, L"5.04.12 [5.05.01]");
    EXPECT_TRUE(d.updateAvailable);

    d = MakeVersionDisplay(L"5.04.12", L"5.04.12");
    EXPECT_EQ(d.text, L"5.04.12 [5.04.12]");
    EXPECT_FALSE(d.updateAvailable);

    // Compared as version numbers: the same version written differently, an
    // older one, and a text that is no version offer nothing.
    EXPECT_FALSE(MakeVersionDisplay(L"1.02.03", L"1.2.3").updateAvailable);
    EXPECT_FALSE(MakeVersionDisplay(L"5.04.12", L"5.03.00").updateAvailable);
    EXPECT_FALSE(MakeVersionDisplay(L"2.00.00", L"1.00.00").updateAvailable);
    EXPECT_FALSE(MakeVersionDisplay(L"1.02.03", L"1.02.03B").updateAvailable);
    EXPECT_TRUE(MakeVersionDisplay(L"1.02.03", L"1.2.4").updateAvailable);
}

TEST(CachedVersions, ReadAgainWhenTimeOrSizeChangesAndNeverRememberAFailure) {
    FakeVersions versions;
    FakeFiles files;
    CachedVersionReader cache(versions, files);
    versions.versions[L"C:\\a.exe"] = Product(1, 2, 3, 4);
    files.times[L"C:\\a.exe"] = 100;
    files.sizes[L"C:\\a.exe"] = 4096;
    EXPECT_EQ(cache.ReadFixedVersion(L"C:\\a.exe")->productVersionMS, (1u << 16) | 2u);
    cache.ReadFixedVersion(L"C:\\a.exe");
    EXPECT_EQ(versions.reads, 1);

    // Replaced by a newer build: read again.
    versions.versions[L"C:\\a.exe"] = Product(2, 0, 0, 0);
    files.times[L"C:\\a.exe"] = 200;
    EXPECT_EQ(cache.ReadFixedVersion(L"C:\\a.exe")->productVersionMS, 2u << 16);
    EXPECT_EQ(versions.reads, 2);
    // Replaced within the same second, or by a copy that kept the old time.
    versions.versions[L"C:\\a.exe"] = Product(3, 0, 0, 0);
    files.sizes[L"C:\\a.exe"] = 8192;
    EXPECT_EQ(cache.ReadFixedVersion(L"C:\\a.exe")->productVersionMS, 3u << 16);
    EXPECT_EQ(versions.reads, 3);

    // A failed read is asked again: the file may have been locked or half written.
    files.times[L"C:\\b.exe"] = 5;
    EXPECT_FALSE(cache.ReadFixedVersion(L"C:\\b.exe"));
    versions.versions[L"C:\\b.exe"] = Product(7, 0, 0, 0);
    EXPECT_EQ(cache.ReadFixedVersion(L"C:\\b.exe")->productVersionMS, 7u << 16);
    EXPECT_EQ(versions.reads, 5);

    // What is no regular file is never read.
    versions.versions[L"COM1"] = Product(9, 0, 0, 0);
    EXPECT_FALSE(cache.ReadFixedVersion(L"COM1"));
    EXPECT_EQ(versions.reads, 5);

    // Many paths: the oldest are forgotten, the answers stay right.
    for (int i = 0; i < 100; ++i) {
        const std::wstring p = L"C:\\p" + std::to_wstring(i) + L".exe";
        files.times[p] = i;
        versions.versions[p] = Product(static_cast<unsigned>(i), 0, 0, 0);
        EXPECT_EQ(cache.ReadFixedVersion(p)->productVersionMS, static_cast<unsigned>(i) << 16);
    }
    EXPECT_EQ(cache.ReadFixedVersion(L"C:\\a.exe")->productVersionMS, 3u << 16);
}

class UpdateVersions : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < kProductEntryCount; ++i)
            InitEntry(entries[i], catalogue::kPageEntries[i].product, catalogue::kPageEntries[i].command);
    }
    ProductEntries entries;
};

TEST_F(UpdateVersions, NamedEntryOnlyAndLaterResultWins) {
    EXPECT_TRUE(SetUpdateVersion(entries, L"Text Foundry", L"1.00.00"));
    EXPECT_TRUE(SetUpdateVersion(entries, L"Text Foundry", L"1.01.00"));
    EXPECT_EQ(entries[9].updateVersion, L"1.01.00");
    for (int i = 0; i < kProductEntryCount; ++i)
        if (i != 9) {
            EXPECT_TRUE(entries[i].updateVersion.empty()) << i;
        }
}

TEST_F(UpdateVersions, NamesDifferingInCaseOrUnknownAreIgnored) {
    EXPECT_FALSE(SetUpdateVersion(entries, L"text foundry", L"9.99.99"));
    EXPECT_FALSE(SetUpdateVersion(entries, L"TEXT FOUNDRY", L"9.99.99"));
    EXPECT_FALSE(SetUpdateVersion(entries, L"Text Foundry ", L"9.99.99"));
    EXPECT_FALSE(SetUpdateVersion(entries, L"Table Bench", L"9.99.99")) << "no page entry";
    EXPECT_FALSE(SetUpdateVersion(entries, L"", L"9.99.99"));
    for (const ProductEntry& e : entries) EXPECT_TRUE(e.updateVersion.empty()) << e.name;
}

TEST_F(UpdateVersions, FirstOfTwoEqualNamesIsChosenAndVersionIsNeverCleared) {
    entries[13].name = entries[0].name;
    SetUpdateVersion(entries, entries[0].name, L"7.00.00");
    EXPECT_EQ(entries[0].updateVersion, L"7.00.00");
    EXPECT_TRUE(entries[13].updateVersion.empty());
    InitEntry(entries[0], ZP_ROW_FOUNDRY, 130);
    EXPECT_EQ(entries[0].updateVersion, L"7.00.00");
}

}  // namespace
