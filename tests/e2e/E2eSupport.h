// Support for end-to-end tests: they start the real quaylet.exe (beside the
// test program) in the test prefix, drive it from outside with posted input,
// and watch what it starts through the stand-ins' launch log.
//
// End-to-end tests run one at a time and own HKCU\Software\Zerudozuz of the
// test prefix while they run: each starts from an empty suite key and leaves
// none behind.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/RectAssert.h"
#include "tests/Win32Sandbox.h"

namespace e2e {

// The main window's tabs, in their order on the tab strip.
enum Tab { kProductsTab = 0, kConnectionsTab = 1, kProjectsTab = 2, kLibraryTab = 3 };

// HKCU registry helpers on the real (prefix) registry.
void SetString(const std::wstring& subKey, const std::wstring& name, const std::wstring& value);
void SetDword(const std::wstring& subKey, const std::wstring& name, DWORD value);
void DeleteTree(const std::wstring& subKey);

// Polls until pred() holds or timeoutMs passes.
template <class Pred>
bool WaitFor(Pred pred, DWORD timeoutMs = 15000) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (pred()) return true;
        if (::GetTickCount64() > end) return false;
        ::Sleep(50);
    }
}

using test::RemoteBuffer;

// The text of a list-view cell in the hub's process.
std::wstring ItemText(HWND list, int row, int column);
// Seeds the demo suite (demo/seed.exe) into `root`: products, recent
// projects with their files and associations, the SQL library, profiles.
bool SeedDemoSuite(const std::wstring& root);

// A message box that process pid shows, with that caption, or null when none
// appears within the timeout; its text, and a button pressed on it.
HWND WaitForMessageBox(DWORD pid, const std::wstring& caption, DWORD timeoutMs = 15000);
std::wstring MessageBoxText(HWND box);
void PressButton(HWND box, int id);

// A running hub.
class Hub {
public:
    Hub() = default;
    Hub(const Hub&) = delete;
    Hub& operator=(const Hub&) = delete;
    ~Hub();  // ends the process if it still runs

    // Starts exe (default: quaylet.exe of the build) with QUAYLET_LAUNCH_LOG and
    // QUAYLET_STANDIN_EXIT set (stand-ins log their launch and end at once), and
    // waits for its main window.
    bool Start(const std::wstring& exe = L"");
    // The same in two steps, for a start that shows a message first.
    bool Launch(const std::wstring& exe = L"");
    bool WaitForWindow();
    DWORD ProcessId() const { return m_pi.dwProcessId; }
    HWND Window() const { return m_window; }
    HWND Page(int index) const;  // the visible or hidden page dialog at tab index
    HWND PageItem(int page, int id) const { return ::GetDlgItem(Page(page), id); }
    // Selects a tab as the user does with the keyboard on the tab strip.
    bool SelectTab(int index);
    // Posts a click at a client point of a window.
    static void Click(HWND window, int x, int y, bool doubleClick = false);
    // Waits for the process to end; false if it does not within the timeout.
    bool WaitForExit(DWORD timeoutMs = 15000);

    // Lines "exe path|command line" the stand-ins wrote since Start().
    std::vector<std::wstring> Launches() const;
    const std::wstring& LaunchLog() const { return m_log; }

private:
    PROCESS_INFORMATION m_pi{};
    HWND m_window = nullptr;
    std::wstring m_log;
};

// The progress window a wait of the hub shows (caption as given), or null.
HWND FindProgressWindow(const Hub& hub, const wchar_t* caption);
// The hub's message box with this caption (not a progress window), waiting for it up to timeoutMs.
HWND WaitForBox(const Hub& hub, const wchar_t* caption, DWORD timeoutMs);
std::wstring BoxText(HWND box);
// Posts a key press to the control that has the keyboard focus in the hub.
bool PressOnFocus(const Hub& hub, UINT vk);

// Test fixture: an empty suite registry and a folder of its own.
class E2eTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    const std::wstring& TempDir() const { return m_dir; }
    std::wstring WriteFile(const std::wstring& name, const std::string& bytes);
    // Installs the Sheet Foundry stand-in in the test folder and records it as
    // that product's program; the path, or empty when it could not be copied.
    std::wstring InstallSheetFoundry();

private:
    std::wstring m_dir;
};

}  // namespace e2e
