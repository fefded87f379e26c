#include "tests/win/WinTestSupport.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "platform/text/CColorizer.h"
#include "platform/framework/CSmDialog.h"
#include "platform/framework/Process.h"
#include "platform/ui/Reads.h"
#include "platform/ui/Window.h"

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

}  // namespace

void WinTest::SetUp() {
    m_userKey.emplace(L"Software\\QuayletTests");
    ASSERT_TRUE(*m_userKey);
    m_tempDir.emplace(L"quaylet-test-");
    ASSERT_TRUE(*m_tempDir);
    g_boxes.clear();
    g_answer = IDOK;
}

void WinTest::TearDown() {
    m_userKey.reset();
    m_tempDir.reset();
}

std::wstring WinTest::MakeDir(const std::wstring& name) {
    const std::wstring path = TempDir() + L"\\" + name;
    ::SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
    return path;
}

std::wstring WinTest::WriteFile(const std::wstring& name, const std::string& bytes) {
    const std::wstring path = TempDir() + L"\\" + name;
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
    ASSERT_TRUE(test::SetUserValue(subKey, name, type, data, size));
}

void WinTest::SetString(const std::wstring& subKey, const std::wstring& name, const std::wstring& value) {
    ASSERT_TRUE(test::SetUserString(subKey, name, value));
}

void WinTest::SetDword(const std::wstring& subKey, const std::wstring& name, DWORD value) {
    ASSERT_TRUE(test::SetUserDword(subKey, name, value));
}

std::vector<RecordedBox>& WinTest::Boxes() { return g_boxes; }
void WinTest::AnswerBoxesWith(int answer) { g_answer = answer; }

void WinTest::Pump() { test::PumpMessages(); }

bool WinTest::SettleReads(const CSmDialog& page) {
    return ui::WaitForReads([&page] { return page.ReadsPending(); }, 15000);
}
