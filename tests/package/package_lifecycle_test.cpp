// The installer as a user meets it, in a Wine prefix of its own: the portable
// archive runs from its folder; the package installs silently for the user,
// replaces an older version, refuses to go back to one, and its removal takes
// the program away and leaves the user's settings and profiles. The tests run
// in order, each on what the one before left.
//
// tests/package/lifecycle runs this with QUAYLET_PACKAGES naming the folder
// that tests/package/make-packages filled: new/ (the project's version, with
// its archive unpacked in new/portable/), again/ (the same version packaged
// once more) and old/ (a lower version).
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/E2eSupport.h"

namespace {

constexpr int kHelpAbout = 32771;
constexpr int kAboutVersionText = 3003;
const wchar_t kSuiteKey[] = L"Software\\Zerudozuz";
const wchar_t kHubKey[] = L"Software\\Zerudozuz\\Quaylet";
const wchar_t kSettingsKey[] = L"Software\\Zerudozuz\\Quaylet\\Settings";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// A store of the suite's connection profiles, as the suite writes one.
const char kProfiles[] =
    "ZQ-PROFILES 1\r\nprofile\r\nname=Sales reporting\r\nkind=Network SQL\r\nserver=db.example.net\r\n"
    "port=7401\r\ndatabase=sales\r\nuser=report\r\nend\r\neof 1\r\n";

std::wstring Widen(const char* text) {
    std::wstring out;
    for (const char* p = text; *p; ++p) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
    return out;
}

// The Unix folder the runner names, as Wine's Z: drive sees it.
std::wstring PackagesDir() {
    const char* dir = std::getenv("QUAYLET_PACKAGES");
    if (!dir || !*dir) return {};
    std::wstring path = L"Z:" + Widen(dir);
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

std::wstring FindOne(const std::wstring& dir, const wchar_t* pattern) {
    WIN32_FIND_DATAW data;
    HANDLE h = ::FindFirstFileW((dir + L"\\" + pattern).c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return {};
    ::FindClose(h);
    return dir + L"\\" + data.cFileName;
}

std::wstring KnownFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadBytes(const std::wstring& path) {
    std::string bytes;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
    ::CloseHandle(h);
    return bytes;
}

// Every file below dir, by path relative to it, with its bytes.
void CollectFiles(const std::wstring& dir, const std::wstring& prefix,
                  std::map<std::wstring, std::string>& out) {
    WIN32_FIND_DATAW data;
    HANDLE h = ::FindFirstFileW((dir + L"\\*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            CollectFiles(dir + L"\\" + name, prefix + name + L"\\", out);
        else
            out[prefix + name] = ReadBytes(dir + L"\\" + name);
    } while (::FindNextFileW(h, &data));
    ::FindClose(h);
}

std::wstring MsiProperty(const std::wstring& msi, const std::wstring& name) {
    MSIHANDLE db = 0, view = 0, row = 0;
    std::wstring value;
    if (::MsiOpenDatabaseW(msi.c_str(), MSIDBOPEN_READONLY, &db) != ERROR_SUCCESS) return value;
    const std::wstring query = L"SELECT `Value` FROM `Property` WHERE `Property` = '" + name + L"'";
    if (::MsiDatabaseOpenViewW(db, query.c_str(), &view) == ERROR_SUCCESS &&
        ::MsiViewExecute(view, 0) == ERROR_SUCCESS && ::MsiViewFetch(view, &row) == ERROR_SUCCESS) {
        wchar_t buffer[256] = {};
        DWORD size = 256;
        if (::MsiRecordGetStringW(row, 1, buffer, &size) == ERROR_SUCCESS) value = buffer;
        ::MsiCloseHandle(row);
    }
    if (view) ::MsiCloseHandle(view);
    ::MsiCloseHandle(db);
    return value;
}

std::wstring ProductInfo(const std::wstring& code, const wchar_t* property) {
    wchar_t buffer[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    return ::MsiGetProductInfoW(code.c_str(), property, buffer, &size) == ERROR_SUCCESS ? buffer : L"";
}

std::vector<std::wstring> RelatedProducts(const std::wstring& upgradeCode) {
    std::vector<std::wstring> codes;
    wchar_t code[39];
    for (DWORD i = 0; ::MsiEnumRelatedProductsW(upgradeCode.c_str(), 0, i, code) == ERROR_SUCCESS; ++i)
        codes.push_back(code);
    return codes;
}

std::wstring RegText(HKEY root, const std::wstring& subKey, const wchar_t* name) {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof buffer;
    if (::RegGetValueW(root, subKey.c_str(), name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                       nullptr, buffer, &size) != ERROR_SUCCESS)
        return L"";
    return buffer;
}

// Every value of an HKCU key, by name, with its type and bytes.
std::map<std::wstring, std::string> RegValues(const std::wstring& subKey) {
    std::map<std::wstring, std::string> values;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLen = 256, type = 0, size = 4096;
        std::string data(size, '\0');
        if (::RegEnumValueW(key, i, name, &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                            &size) != ERROR_SUCCESS)
            break;
        data.resize(size);
        values[name] = std::to_string(type) + ":" + data;
    }
    ::RegCloseKey(key);
    return values;
}

bool KeyExists(HKEY root, const std::wstring& subKey) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

// The entries of the installed programs list named name, in either hive
// (Windows keeps a per-user installation's in the user's, Wine in the machine's).
std::vector<std::wstring> UninstallEntries(const std::wstring& name) {
    std::vector<std::wstring> found;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(root, kUninstallKey, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
            continue;
        wchar_t sub[256];
        for (DWORD i = 0;; ++i) {
            DWORD len = 256;
            if (::RegEnumKeyExW(key, i, sub, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            if (RegText(root, std::wstring(kUninstallKey) + sub, L"DisplayName") == name)
                found.push_back(sub);
        }
        ::RegCloseKey(key);
    }
    return found;
}

HKEY UninstallHive(const std::wstring& code) {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        if (KeyExists(root, kUninstallKey + code)) return root;
    return nullptr;
}

std::wstring ShortcutTarget(const std::wstring& lnk) {
    std::wstring target;
    IShellLinkW* link = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link))))
        return target;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t path[MAX_PATH] = {};
        if (SUCCEEDED(file->Load(lnk.c_str(), STGM_READ)) &&
            SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, 0)))
            target = path;
        file->Release();
    }
    link->Release();
    return target;
}

// The product version of an executable as the suite shows versions: 1.0.0 reads "1.00.00".
std::wstring ExeVersionText(const std::wstring& exe) {
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(exe.c_str(), &handle);
    if (!size) return L"";
    std::vector<unsigned char> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    if (!::GetFileVersionInfoW(exe.c_str(), 0, size, block.data()) ||
        !::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &len))
        return L"";
    wchar_t text[64];
    swprintf(text, 64, L"%u.%02u.%02u", HIWORD(info->dwProductVersionMS), LOWORD(info->dwProductVersionMS),
             HIWORD(info->dwProductVersionLS));
    return text;
}

std::wstring ShownVersion(const std::wstring& dotted) {
    unsigned a = 0, b = 0, c = 0;
    swscanf(dotted.c_str(), L"%u.%u.%u", &a, &b, &c);
    wchar_t text[64];
    swprintf(text, 64, L"%u.%02u.%02u", a, b, c);
    return text;
}

struct MsiRun {
    DWORD exitCode = 0xFFFFFFFF;
    long long ms = 0;
};

// Starts msiexec with args; when whileRunning is given, calls it with the
// process id until it returns true or the process ends.
template <class F>
MsiRun Msiexec(const std::wstring& args, F whileRunning) {
    MsiRun run;
    std::wstring cmd = L"msiexec.exe " + args;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const auto start = std::chrono::steady_clock::now();
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return run;
    bool handled = false;
    while (::WaitForSingleObject(pi.hProcess, handled ? 120000 : 50) == WAIT_TIMEOUT) {
        if (!handled) handled = whileRunning(pi.dwProcessId);
        if (std::chrono::steady_clock::now() - start > std::chrono::minutes(2)) {
            ::TerminateProcess(pi.hProcess, 1);
            break;
        }
    }
    ::GetExitCodeProcess(pi.hProcess, &run.exitCode);
    run.ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                 .count();
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    return run;
}

MsiRun Msiexec(const std::wstring& args) {
    return Msiexec(args, [](DWORD) { return true; });
}

struct WindowText {
    DWORD pid;
    std::wstring needle;
    HWND found = nullptr;
};

BOOL CALLBACK CollectText(HWND hwnd, LPARAM lp) {
    auto* text = reinterpret_cast<std::wstring*>(lp);
    wchar_t buffer[1024] = {};
    ::GetWindowTextW(hwnd, buffer, 1024);
    *text += buffer;
    *text += L"\n";
    return TRUE;
}

BOOL CALLBACK FindWindowWithText(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<WindowText*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid) return TRUE;
    std::wstring text;
    CollectText(hwnd, reinterpret_cast<LPARAM>(&text));
    ::EnumChildWindows(hwnd, CollectText, reinterpret_cast<LPARAM>(&text));
    if (text.find(s->needle) == std::wstring::npos) return TRUE;
    s->found = hwnd;
    return FALSE;
}

HWND FindProcessWindow(DWORD pid, const std::wstring& needle) {
    WindowText s{pid, needle};
    ::EnumWindows(FindWindowWithText, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

struct Package {
    std::wstring msi, version, productCode, upgradeCode;
};

Package ReadPackage(const std::wstring& dir) {
    Package p;
    p.msi = FindOne(dir, L"*.msi");
    if (p.msi.empty()) return p;
    p.version = MsiProperty(p.msi, L"ProductVersion");
    p.productCode = MsiProperty(p.msi, L"ProductCode");
    p.upgradeCode = MsiProperty(p.msi, L"UpgradeCode");
    return p;
}

void Report(const char* what, const MsiRun& run) {
    std::printf("[ timing ] %s: %lld ms\n", what, run.ms);
    std::fflush(stdout);
}

class PackageLifecycle : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        dir_ = PackagesDir();
        newer_ = ReadPackage(dir_ + L"\\new");
        older_ = ReadPackage(dir_ + L"\\old");
        installDir_ = KnownFolder(CSIDL_LOCAL_APPDATA) + L"\\Programs\\Zelto\\Quaylet";
        shortcut_ = KnownFolder(CSIDL_PROGRAMS) + L"\\Zelto Quaylet.lnk";
        profiles_ = KnownFolder(CSIDL_APPDATA) + L"\\Zerudozuz\\Connections\\profiles.zcp";
    }

    void SetUp() override {
        ASSERT_FALSE(dir_.empty()) << "QUAYLET_PACKAGES names no folder";
        ASSERT_FALSE(newer_.msi.empty()) << "no package in new\\";
        ASSERT_FALSE(older_.msi.empty()) << "no package in old\\";
    }

    std::wstring InstalledExe() const { return installDir_ + L"\\quaylet.exe"; }

    // One installation, of package p: as Windows Installer, the installed
    // programs list and the files on disk see it.
    void ExpectInstalledOnce(const Package& p) {
        EXPECT_EQ(RelatedProducts(p.upgradeCode), std::vector<std::wstring>{p.productCode});
        EXPECT_EQ(ProductInfo(p.productCode, INSTALLPROPERTY_VERSIONSTRING), p.version);
        EXPECT_EQ(UninstallEntries(L"Zelto Quaylet"), std::vector<std::wstring>{p.productCode});
        EXPECT_EQ(ExeVersionText(InstalledExe()), ShownVersion(p.version));
    }

    static std::wstring dir_, installDir_, shortcut_, profiles_;
    static Package newer_, older_;
};

std::wstring PackageLifecycle::dir_, PackageLifecycle::installDir_, PackageLifecycle::shortcut_,
    PackageLifecycle::profiles_;
Package PackageLifecycle::newer_, PackageLifecycle::older_;

TEST_F(PackageLifecycle, PackagesShareTheUpgradeCodeAndDifferInProductAndVersion) {
    EXPECT_FALSE(newer_.upgradeCode.empty());
    EXPECT_EQ(newer_.upgradeCode, older_.upgradeCode);
    EXPECT_NE(newer_.productCode, older_.productCode);
    EXPECT_NE(newer_.version, older_.version);
    EXPECT_TRUE(RelatedProducts(newer_.upgradeCode).empty()) << "the prefix is not fresh";
}

TEST_F(PackageLifecycle, PortableArchiveRunsFromItsFolder) {
    const std::wstring exe = FindOne(FindOne(dir_ + L"\\new\\portable", L"ZeltoQuaylet-*"), L"quaylet.exe");
    ASSERT_FALSE(exe.empty());
    e2e::Hub hub;
    EXPECT_TRUE(hub.Start(exe));
}

TEST_F(PackageLifecycle, SilentInstallForTheUserWithShortcutAndUninstallEntry) {
    const MsiRun run = Msiexec(L"/i \"" + older_.msi + L"\" /qn");
    Report("install (silent)", run);
    ASSERT_EQ(run.exitCode, 0u);
    ExpectInstalledOnce(older_);
    EXPECT_TRUE(Exists(installDir_ + L"\\help\\index.html"));
    EXPECT_EQ(::lstrcmpiW(ShortcutTarget(shortcut_).c_str(), InstalledExe().c_str()), 0)
        << ShortcutTarget(shortcut_);
    // Recorded where the suite's products look for each other.
    EXPECT_EQ(::lstrcmpiW(RegText(HKEY_CURRENT_USER, kHubKey, L"ExePath").c_str(), InstalledExe().c_str()),
              0);

    const HKEY hive = UninstallHive(older_.productCode);
    ASSERT_NE(hive, nullptr);
    const std::wstring entry = kUninstallKey + older_.productCode;
    EXPECT_EQ(RegText(hive, entry, L"DisplayVersion"), older_.version);
    EXPECT_EQ(RegText(hive, entry, L"Publisher"), L"Zerudozuz");
    EXPECT_NE(RegText(hive, entry, L"UninstallString").find(older_.productCode), std::wstring::npos);
    // The list shows the icon the package carries.
    const std::wstring icon = ProductInfo(older_.productCode, INSTALLPROPERTY_PRODUCTICON);
    EXPECT_TRUE(!icon.empty() && Exists(icon)) << icon;
}

TEST_F(PackageLifecycle, UpgradeLeavesOneInstallationOfTheNewVersionAndTheUsersData) {
    // What the user has by now: settings of the hub and the suite's profiles.
    e2e::SetDword(kSettingsKey, L"ProjColW1", 123);
    ASSERT_TRUE(test::WriteFileBytes(profiles_, kProfiles));

    const MsiRun run = Msiexec(L"/i \"" + newer_.msi + L"\" /qn");
    Report("upgrade (silent)", run);
    ASSERT_EQ(run.exitCode, 0u);
    ExpectInstalledOnce(newer_);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey + older_.productCode));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey + older_.productCode));
    EXPECT_TRUE(Exists(shortcut_));

    std::map<std::wstring, std::string> installed, portable;
    CollectFiles(installDir_, L"", installed);
    CollectFiles(FindOne(dir_ + L"\\new\\portable", L"ZeltoQuaylet-*"), L"", portable);
    EXPECT_FALSE(portable.empty());
    EXPECT_TRUE(installed == portable) << "the installed files differ from the portable archive's";

    DWORD width = 0, size = sizeof width;
    EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"ProjColW1", RRF_RT_REG_DWORD, nullptr, &width,
                             &size),
              ERROR_SUCCESS);
    EXPECT_EQ(width, 123u);
    EXPECT_EQ(ReadBytes(profiles_), kProfiles);
}

TEST_F(PackageLifecycle, RebuiltPackageOfTheSameVersionIsNoSecondInstallation) {
    const Package again = ReadPackage(dir_ + L"\\again");
    ASSERT_FALSE(again.msi.empty());
    const MsiRun run = Msiexec(L"/i \"" + again.msi + L"\" /qn");
    // Windows refuses it as another package of an installed product; Wine
    // takes it as a repeat of the installation. Neither adds a second one.
    EXPECT_TRUE(run.exitCode == 0 || run.exitCode == ERROR_PRODUCT_VERSION) << run.exitCode;
    ExpectInstalledOnce(newer_);
}

TEST_F(PackageLifecycle, InstalledProgramStartsAndItsAboutBoxShowsTheNewVersion) {
    e2e::Hub hub;
    ASSERT_TRUE(hub.Start(InstalledExe()));
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hub.Window(), &pid);
    ::PostMessageW(hub.Window(), WM_COMMAND, kHelpAbout, 0);
    HWND about = nullptr;
    ASSERT_TRUE(
        e2e::WaitFor([&] { return (about = FindProcessWindow(pid, L"About Zelto Quaylet")) != nullptr; }));
    wchar_t text[128] = {};
    ::GetDlgItemTextW(about, kAboutVersionText, text, 128);
    EXPECT_EQ(std::wstring(text), L"Version " + ShownVersion(newer_.version));
    ::PostMessageW(about, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(e2e::WaitFor([&] { return !::IsWindow(about); }));
    // Closed, it keeps its placement among the user's settings.
    ::PostMessageW(hub.Window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(hub.WaitForExit());
    EXPECT_EQ(RegValues(kSettingsKey).count(L"Quaylet"), 1u);
}

TEST_F(PackageLifecycle, OlderPackageOverTheNewerIsRefusedWithAMessage) {
    // With the basic interface the refusal is shown to the user; reading it
    // and pressing OK is what a user does.
    std::wstring shown;
    const std::wstring message = L"A newer version of Zelto Quaylet is already installed.";
    const MsiRun run = Msiexec(L"/i \"" + older_.msi + L"\" /qb", [&](DWORD pid) {
        HWND box = FindProcessWindow(pid, message);
        if (!box) return false;
        CollectText(box, reinterpret_cast<LPARAM>(&shown));
        ::EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&shown));
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        return true;
    });
    EXPECT_NE(shown.find(message), std::wstring::npos) << "no refusal was shown";
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(ERROR_INSTALL_FAILURE));
    ExpectInstalledOnce(newer_);
}

TEST_F(PackageLifecycle, SilentUninstallRemovesTheProgramAndKeepsTheUsersData) {
    const auto settings = RegValues(kSettingsKey);
    const std::string profiles = ReadBytes(profiles_);
    ASSERT_FALSE(settings.empty());
    ASSERT_FALSE(profiles.empty());
    const HKEY hive = UninstallHive(newer_.productCode);
    ASSERT_NE(hive, nullptr);
    // The command the installed programs list runs, made silent.
    const std::wstring command = RegText(hive, kUninstallKey + newer_.productCode, L"UninstallString");
    const size_t args = command.find(L' ');
    ASSERT_NE(args, std::wstring::npos) << command;
    const MsiRun run = Msiexec(command.substr(args + 1) + L" /qn");
    Report("uninstall (silent)", run);
    ASSERT_EQ(run.exitCode, 0u);

    EXPECT_TRUE(RelatedProducts(newer_.upgradeCode).empty());
    EXPECT_TRUE(UninstallEntries(L"Zelto Quaylet").empty());
    EXPECT_FALSE(Exists(installDir_));
    EXPECT_FALSE(Exists(KnownFolder(CSIDL_LOCAL_APPDATA) + L"\\Programs\\Zelto"));
    EXPECT_FALSE(Exists(shortcut_));
    EXPECT_TRUE(RegValues(kHubKey).empty()) << "the program is still recorded";

    EXPECT_TRUE(RegValues(kSettingsKey) == settings) << "the user's settings changed";
    EXPECT_EQ(ReadBytes(profiles_), profiles);
    e2e::DeleteTree(kSuiteKey);
}

}  // namespace
