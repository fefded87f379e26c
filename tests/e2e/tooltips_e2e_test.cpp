// Tooltips of the products page under a real pointer: the hub runs on an X
// server (Xvfb), the pointer is moved there by xdotool as a mouse moves it,
// and the tip the hub's tooltip control shows is read back. Run through
// tests/display/with-display, which starts the X server and a prefix that
// draws on it; without one (QUAYLET_DISPLAY unset) the test is skipped.
#include "resources/resource.h"
#include "tests/e2e/E2eSupport.h"

#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using e2e::E2eTest;
using e2e::Hub;

const wchar_t kXdotool[] = L"Z:\\usr\\bin\\xdotool";

// Starts a program of the machine Wine runs on (Wine starts those as it
// starts its own) and leaves it to finish; its effect is waited for instead.
bool RunHostProgram(std::wstring command) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return true;
}

bool MovePointer(POINT to) {
    if (!RunHostProgram(std::wstring(kXdotool) + L" mousemove " + std::to_wstring(to.x) + L" " +
                        std::to_wstring(to.y)))
        return false;
    return e2e::WaitFor(
        [&] {
            POINT at{};
            return ::GetCursorPos(&at) && at.x == to.x && at.y == to.y;
        },
        5000);
}

POINT CentreOf(HWND control) {
    RECT r{};
    ::GetWindowRect(control, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

struct Tip {
    HWND tool = nullptr;
    std::wstring text;
};

// The tip the hub shows now, read from its tooltip control.
Tip ShownTip(const Hub& hub) {
    const DWORD pid = test::ProcessOf(hub.Window());
    HWND tips = test::FindShownWindow(pid, [](HWND hwnd) {
        wchar_t cls[64] = {};
        ::GetClassNameW(hwnd, cls, 64);
        return std::wstring(cls) == TOOLTIPS_CLASSW;
    });
    if (!tips) return {};
    constexpr std::size_t kChars = 1024;
    e2e::RemoteBuffer remote(tips, sizeof(TTTOOLINFOW) + kChars * sizeof(wchar_t));
    TTTOOLINFOW info{};
    info.cbSize = sizeof info;
    if (!remote.Write(0, &info, sizeof info) ||
        !::SendMessageW(tips, TTM_GETCURRENTTOOLW, 0, reinterpret_cast<LPARAM>(remote.At(0))) ||
        !remote.Read(0, &info, sizeof info))
        return {};
    info.lpszText = reinterpret_cast<wchar_t*>(remote.At(sizeof info));
    remote.Write(0, &info, sizeof info);
    ::SendMessageW(tips, TTM_GETTEXTW, kChars, reinterpret_cast<LPARAM>(remote.At(0)));
    std::wstring text(kChars, L'\0');
    remote.Read(sizeof info, text.data(), kChars * sizeof(wchar_t));
    text.resize(text.find(L'\0'));
    return Tip{reinterpret_cast<HWND>(info.uId), text};
}

HWND ChildWithText(HWND page, const std::wstring& text) {
    for (HWND c = ::GetWindow(page, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        if (test::WindowText(c) == text) return c;
    return nullptr;
}

// A picture of the whole screen with the tip, for a person to look at.
void TakePicture(const std::wstring& name) {
    const char* folder = std::getenv("QUAYLET_TIP_PICTURES");
    if (!folder || !*folder) return;
    const std::wstring unix(folder, folder + std::strlen(folder));
    const std::wstring file = unix + L"/" + name + L".png";
    const std::wstring windowsName = L"Z:" + file;
    ::DeleteFileW(windowsName.c_str());
    RunHostProgram(L"Z:\\usr\\bin\\import -window root " + file);
    e2e::WaitFor([&] { return ::GetFileAttributesW(windowsName.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000);
    ::Sleep(500);  // written whole
}

TEST_F(E2eTest, TooltipsShowUnderARealPointer) {
    if (const char* display = std::getenv("QUAYLET_DISPLAY"); !display || std::string(display) != "1") {
        GTEST_SKIP() << "needs a prefix that draws on an X server: run tests/display/with-display";
    }
    ASSERT_NE(::GetFileAttributesW(kXdotool), INVALID_FILE_ATTRIBUTES) << "xdotool is missing";

    // Row Foundry installed (enabled icon, plain version label), the rest not (disabled icons).
    const std::wstring exe = TempDir() + L"\\rowfoundry.exe";
    ASSERT_TRUE(::CopyFileW((test::ProgramFolder() + L"\\demo\\rowfoundry.exe").c_str(), exe.c_str(), FALSE));
    e2e::SetString(L"Software\\Zerudozuz\\RowFoundry", L"ExePath", exe);

    Hub hub;
    ASSERT_TRUE(hub.Start());
    HWND page = hub.Page(0);
    // The row is made again when its version answers, which can be after the window shows.
    ASSERT_TRUE(e2e::WaitFor([&] { return ChildWithText(page, L"5.04.12") != nullptr; }, 5000));
    HWND installed = ::GetDlgItem(page, 130), missing = ::GetDlgItem(page, 140);
    HWND version = ChildWithText(page, L"5.04.12"), help = ChildWithText(page, L"Online Help");
    HWND download = ChildWithText(page, L"Download");
    ASSERT_TRUE(installed && missing && version && help && download);
    ASSERT_FALSE(::IsWindowEnabled(missing));

    const struct {
        const char* what;
        HWND control;
        std::wstring tip;
    } cases[] = {
        {"the icon of an installed product", installed, L"Zelto Row Foundry\n" + exe},
        {"the disabled icon of a product not installed", missing, L"Zelto Load Hammer\nnot installed"},
        {"the plain version label", version, L"Installed version 5.04.12"},
        {"a help link", help, L""},
        {"a download link", download, L""},
    };
    RECT window{};
    ::GetWindowRect(hub.Window(), &window);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Off every tool first (the window's caption), so that the tip comes afresh.
        ASSERT_TRUE(MovePointer(POINT{(window.left + window.right) / 2, window.top + 8}));
        e2e::WaitFor([&] { return ShownTip(hub).tool == nullptr; }, 3000);
        const POINT centre = CentreOf(c.control);
        ASSERT_TRUE(MovePointer(centre)) << "the pointer did not move";
        // A small move as the hand rests, as a real pointer makes.
        ASSERT_TRUE(MovePointer(POINT{centre.x + 1, centre.y}));
        Tip shown;
        EXPECT_TRUE(e2e::WaitFor([&] { return (shown = ShownTip(hub)).tool == c.control; }, 5000))
            << "no tip over it (the tip shown is of " << shown.tool << ")";
        if (!c.tip.empty()) {
            EXPECT_EQ(shown.text, c.tip);
        }
        if (c.control == missing) TakePicture(L"tooltip-not-installed");
        if (c.control == version) TakePicture(L"tooltip-version");
    }

    // The wheel under the pointer scrolls the rows; a tip still belongs to
    // what is under the pointer now, not to what was there before.
    HWND scribe = ::GetDlgItem(page, 150);
    const POINT before = CentreOf(scribe);
    ASSERT_TRUE(MovePointer(before));
    ASSERT_TRUE(RunHostProgram(std::wstring(kXdotool) + L" click 5"));
    ASSERT_TRUE(e2e::WaitFor([&] { return CentreOf(scribe).y < before.y; }, 5000))
        << "the wheel did not scroll";
    ASSERT_TRUE(MovePointer(POINT{(window.left + window.right) / 2, window.top + 8}));
    e2e::WaitFor([&] { return ShownTip(hub).tool == nullptr; }, 3000);
    RECT now{};
    ::GetWindowRect(scribe, &now);
    // Near its top: where the row above was before the scroll.
    ASSERT_TRUE(MovePointer(POINT{(now.left + now.right) / 2, now.top + 3}));
    ASSERT_TRUE(MovePointer(POINT{(now.left + now.right) / 2 + 1, now.top + 3}));
    Tip shown;
    EXPECT_TRUE(e2e::WaitFor([&] { return (shown = ShownTip(hub)).tool == scribe; }, 5000))
        << "after scrolling, the tip shown is of " << shown.tool;
}

}  // namespace
