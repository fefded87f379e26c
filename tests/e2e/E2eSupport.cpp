#include "tests/e2e/E2eSupport.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

namespace e2e {

void SetString(const std::wstring& subKey, const std::wstring& name, const std::wstring& value) {
    ASSERT_TRUE(test::SetUserString(subKey, name, value));
}

void SetDword(const std::wstring& subKey, const std::wstring& name, DWORD value) {
    ASSERT_TRUE(test::SetUserDword(subKey, name, value));
}

void DeleteTree(const std::wstring& subKey) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, subKey.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, subKey.c_str());
}

bool SeedDemoSuite(const std::wstring& root) {
    const std::wstring demo = test::ProgramFolder() + L"\\demo";
    std::wstring cmd = L"\"" + demo + L"\\seed.exe\" \"" + root + L"\" \"" + demo + L"\"";
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    const bool ended = ::WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0;
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    return ended;
}

std::wstring ItemText(HWND list, int row, int column) {
    constexpr std::size_t kChars = 1024;
    RemoteBuffer remote(list, sizeof(LVITEMW) + kChars * sizeof(wchar_t));
    if (!remote) return {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(remote.At(sizeof(LVITEMW)));
    item.cchTextMax = kChars;
    remote.Write(0, &item, sizeof item);
    const auto got = ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                    reinterpret_cast<LPARAM>(remote.At(0)));
    std::vector<wchar_t> text(kChars, L'\0');
    remote.Read(sizeof(LVITEMW), text.data(), kChars * sizeof(wchar_t));
    return std::wstring(text.data(),
                        static_cast<std::size_t>(got) < kChars ? static_cast<std::size_t>(got) : 0);
}

HWND WaitForMessageBox(DWORD pid, const std::wstring& caption, DWORD timeoutMs) {
    HWND box = nullptr;
    WaitFor(
        [&] {
            box = test::FindShownWindow(pid, [&](HWND hwnd) {
                return test::ClassName(hwnd) == L"#32770" && test::WindowText(hwnd) == caption;
            });
            return box != nullptr;
        },
        timeoutMs);
    return box;
}

std::wstring MessageBoxText(HWND box) {
    wchar_t text[4096] = {};
    ::GetDlgItemTextW(box, 0xFFFF, text, 4096);
    return text;
}

void PressButton(HWND box, int id) {
    ::PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(id), 0);
    WaitFor([&] { return !::IsWindow(box); });
}

Hub::~Hub() {
    if (m_pi.hProcess) {
        if (::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) {
            if (m_window) ::PostMessageW(m_window, WM_COMMAND, IDCANCEL, 0);
            if (::WaitForSingleObject(m_pi.hProcess, 5000) == WAIT_TIMEOUT)
                ::TerminateProcess(m_pi.hProcess, 1);
        }
        ::CloseHandle(m_pi.hProcess);
        ::CloseHandle(m_pi.hThread);
    }
    if (!m_log.empty()) ::DeleteFileW(m_log.c_str());
}

bool Hub::Start(const std::wstring& exe) { return Launch(exe) && WaitForWindow(); }

bool Hub::Launch(const std::wstring& exeArg) {
    const std::wstring exe = exeArg.empty() ? test::ProgramFolder() + L"\\quaylet.exe" : exeArg;
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    m_log = std::wstring(temp) + L"quaylet-launches-" + test::UniqueName() + L".log";
    ::SetEnvironmentVariableW(L"QUAYLET_LAUNCH_LOG", m_log.c_str());
    // Stand-ins log their launch and end at once, so that no window outlives the test.
    ::SetEnvironmentVariableW(L"QUAYLET_STANDIN_EXIT", L"1");
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::wstring cmd = L"\"" + exe + L"\"";
    const std::wstring dir = exe.substr(0, exe.find_last_of(L'\\'));
    return ::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si,
                            &m_pi) != FALSE;
}

bool Hub::WaitForWindow() {
    return WaitFor([&] {
        m_window = test::FindShownWindow(
            m_pi.dwProcessId, [](HWND hwnd) { return test::WindowText(hwnd) == L"Zelto Quaylet"; });
        return m_window != nullptr;
    });
}

HWND Hub::Page(int index) const {
    // The pages are the main window's dialog children in creation (tab) order.
    int seen = 0;
    for (HWND child = ::GetWindow(m_window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[32] = {};
        ::GetClassNameW(child, cls, 32);
        if (std::wstring(cls) == L"#32770" && seen++ == index) return child;
    }
    return nullptr;
}

bool Hub::SelectTab(int index) {
    HWND tab = ::GetDlgItem(m_window, 1188);
    for (int guard = 0; guard < 8; ++guard) {
        const int current = static_cast<int>(::SendMessageW(tab, TCM_GETCURSEL, 0, 0));
        if (current == index) return WaitFor([&] { return ::IsWindowVisible(Page(index)) != FALSE; }, 5000);
        const WPARAM key = current < index ? VK_RIGHT : VK_LEFT;
        ::SendMessageW(tab, WM_KEYDOWN, key, 0);
        ::SendMessageW(tab, WM_KEYUP, key, 0xC0000000);
    }
    return false;
}

void Hub::Click(HWND window, int x, int y, bool doubleClick) {
    const LPARAM at = MAKELPARAM(x, y);
    ::PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(window, WM_LBUTTONUP, 0, at);
    if (doubleClick) {
        ::PostMessageW(window, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        ::PostMessageW(window, WM_LBUTTONUP, 0, at);
    }
}

bool Hub::WaitForExit(DWORD timeoutMs) {
    return m_pi.hProcess && ::WaitForSingleObject(m_pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

std::vector<std::wstring> Hub::Launches() const {
    std::vector<std::wstring> lines;
    const std::string bytes = test::ReadFileBytes(m_log);
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(L"\r\n", pos);
        if (end == std::wstring::npos) end = text.size();
        if (end > pos) lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

HWND FindProgressWindow(const Hub& hub, const wchar_t* caption) {
    return test::FindShownWindow(test::ProcessOf(hub.Window()), [caption](HWND hwnd) {
        return test::ClassName(hwnd) == L"#32770" && test::WindowText(hwnd) == caption &&
               ::GetDlgItem(hwnd, 101) && test::ClassName(::GetDlgItem(hwnd, 101)) == L"msctls_progress32";
    });
}

HWND WaitForBox(const Hub& hub, const wchar_t* caption, DWORD timeoutMs) {
    HWND box = nullptr;
    WaitFor(
        [&] {
            box = test::FindShownWindow(test::ProcessOf(hub.Window()), [caption](HWND hwnd) {
                return test::ClassName(hwnd) == L"#32770" && test::WindowText(hwnd) == caption &&
                       !::GetDlgItem(hwnd, 101);
            });
            return box != nullptr;
        },
        timeoutMs);
    return box;
}

std::wstring BoxText(HWND box) {
    wchar_t text[1024] = {};
    ::SendMessageW(::GetDlgItem(box, 0xFFFF), WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

bool PressOnFocus(const Hub& hub, UINT vk) {
    GUITHREADINFO info{sizeof info};
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(hub.Window(), nullptr), &info) || !info.hwndFocus)
        return false;
    ::PostMessageW(info.hwndFocus, WM_KEYDOWN, vk, 1);
    ::PostMessageW(info.hwndFocus, WM_KEYUP, vk, 0xC0000001);
    return true;
}

void E2eTest::SetUp() {
    DeleteTree(L"Software\\Zerudozuz");
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    m_dir = std::wstring(temp) + L"quaylet-e2e-" + std::to_wstring(::GetTickCount64());
    ::SHCreateDirectoryExW(nullptr, m_dir.c_str(), nullptr);
}

std::wstring E2eTest::InstallSheetFoundry() {
    const std::wstring exe = m_dir + L"\\sheet.exe";
    if (!::CopyFileW((test::ProgramFolder() + L"\\demo\\sheetfoundry.exe").c_str(), exe.c_str(), FALSE))
        return {};
    SetString(L"Software\\Zerudozuz\\SheetFoundry", L"ExePath", exe);
    return exe;
}

void E2eTest::TearDown() {
    DeleteTree(L"Software\\Zerudozuz");
    std::wstring from = m_dir;
    from.push_back(L'\0');
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    ::SHFileOperationW(&op);
}

std::wstring E2eTest::WriteFile(const std::wstring& name, const std::string& bytes) {
    const std::wstring path = m_dir + L"\\" + name;
    ::SHCreateDirectoryExW(nullptr, path.substr(0, path.find_last_of(L'\\')).c_str(), nullptr);
    HANDLE h =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
    return path;
}

}  // namespace e2e
