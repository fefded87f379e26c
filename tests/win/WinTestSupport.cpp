#include "tests/win/WinTestSupport.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "platform/framework/CColorizer.h"
#include "platform/framework/Process.h"
#include "platform/ui/Window.h"

// The process-wide objects that the program defines next to its entry point.
const std::wstring g_connectionProfilesDescription = L"Connection profiles";
CColorizer g_sharedColorizer;
const std::wstring g_siteBase = L"https://www.zerudozuz.example/";
_Settings* g_settings = nullptr;

namespace {

std::vector<RecordedBox> g_boxes;
int g_answer = IDOK;

int RecordBox(HWND, const wchar_t* text, const wchar_t* caption, UINT type) {
    g_boxes.push_back({text ? text : L"", caption ? caption : L"", type});
    return g_answer;
}

class Environment : public ::testing::Environment {
public:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES |
                                                 ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&icc);
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ui::SetMessageBoxHook(RecordBox);
    }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new Environment);

void DeleteTree(const std::wstring& dir) {
    std::wstring from = dir;
    from.push_back(L'\0');
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    ::SHFileOperationW(&op);
}

}  // namespace

std::wstring TestProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(0, p.find_last_of(L'\\'));
}

void WinTest::SetUp() {
    static int counter = 0;
    const std::wstring unique = std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) +
                                L"-" + std::to_wstring(::GetTickCount64());
    m_regKey = L"Software\\QuayletTests\\" + unique;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, m_regKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &m_override, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegOverridePredefKey(HKEY_CURRENT_USER, m_override), ERROR_SUCCESS);

    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    m_tempDir = std::wstring(temp) + L"quaylet-test-" + unique;
    ASSERT_TRUE(::CreateDirectoryW(m_tempDir.c_str(), nullptr));
    g_boxes.clear();
    g_answer = IDOK;
}

void WinTest::TearDown() {
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    if (m_override) ::RegCloseKey(m_override);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, m_regKey.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, m_regKey.c_str());
    if (!m_tempDir.empty()) DeleteTree(m_tempDir);
}

std::wstring WinTest::MakeDir(const std::wstring& name) {
    const std::wstring path = m_tempDir + L"\\" + name;
    ::SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
    return path;
}

std::wstring WinTest::WriteFile(const std::wstring& name, const std::string& bytes) {
    const std::wstring path = m_tempDir + L"\\" + name;
    const size_t slash = path.find_last_of(L'\\');
    ::SHCreateDirectoryExW(nullptr, path.substr(0, slash).c_str(), nullptr);
    HANDLE h =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
    return path;
}

void WinTest::SetRaw(const std::wstring& subKey, const std::wstring& name, DWORD type, const void* data,
                     DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    ::RegCloseKey(key);
}

void WinTest::SetString(const std::wstring& subKey, const std::wstring& name, const std::wstring& value) {
    SetRaw(subKey, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void WinTest::SetDword(const std::wstring& subKey, const std::wstring& name, DWORD value) {
    SetRaw(subKey, name, REG_DWORD, &value, sizeof value);
}

std::vector<RecordedBox>& WinTest::Boxes() { return g_boxes; }
void WinTest::AnswerBoxesWith(int answer) { g_answer = answer; }

void WinTest::Pump() {
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&m);
        ::DispatchMessageW(&m);
    }
}
