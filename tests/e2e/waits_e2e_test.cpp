// The real program while it waits for what does not answer, driven from
// outside: the window goes on answering (WM_NULL sent from this process with
// a timeout), and the wait shows a progress window whose Cancel, pressed with
// a key posted to it, ends the wait with nothing changed.
#include "tests/e2e/E2eSupport.h"

#include <cstdio>
#include <string>

#include "tests/LoopbackServer.h"

namespace {

using e2e::E2eTest;
using e2e::Hub;

const wchar_t kCaption[] = L"Check for Updates";

std::wstring TextOf(HWND hwnd) {
    wchar_t text[4096] = {};
    ::SendMessageW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text));
    return text;
}

TEST_F(E2eTest, CancelEndsAnUpdateCheckThatWaitsAndASecondCannotStartMeanwhile) {
    test::LoopbackServer server("", /*silent=*/true);
    e2e::SetString(L"Software\\Zerudozuz\\Quaylet\\Settings", L"UpdateUrl", server.Url());
    Hub hub;
    ASSERT_TRUE(hub.Start());
    e2e::AnswerWatch watch(hub.Window());
    ::PostMessageW(hub.Window(), WM_COMMAND, 5816, 0);
    HWND ask = e2e::WaitForBox(hub, kCaption, 10000);
    ASSERT_NE(ask, nullptr);
    ::PostMessageW(ask, WM_COMMAND, IDYES, 0);

    HWND progress = nullptr;
    ASSERT_TRUE(
        e2e::WaitFor([&] { return (progress = e2e::FindProgressWindow(hub, kCaption)) != nullptr; }, 5000));
    EXPECT_NE(TextOf(::GetDlgItem(progress, 100)).find(server.Url()), std::wstring::npos);
    EXPECT_FALSE(::IsWindowEnabled(hub.Window()));
    // The command again, while the first check waits: refused.
    ::PostMessageW(hub.Window(), WM_COMMAND, 5816, 0);
    ::Sleep(500);
    EXPECT_EQ(e2e::WaitForBox(hub, kCaption, 0), nullptr) << "a second check asked";

    // Esc on the focused Cancel: the wait ends at once, nothing is reported.
    GUITHREADINFO info{sizeof info};
    ASSERT_TRUE(e2e::WaitFor(
        [&] {
            return ::GetGUIThreadInfo(::GetWindowThreadProcessId(hub.Window(), nullptr), &info) &&
                   ::GetDlgCtrlID(info.hwndFocus) == IDCANCEL && ::IsChild(progress, info.hwndFocus);
        },
        5000));
    const ULONGLONG pressed = ::GetTickCount64();
    ASSERT_TRUE(e2e::PressOnFocus(hub, VK_ESCAPE));
    ASSERT_TRUE(e2e::WaitFor([&] { return !::IsWindow(progress); }, 5000));
    const ULONGLONG ended = ::GetTickCount64() - pressed;
    EXPECT_EQ(e2e::WaitForBox(hub, kCaption, 1500), nullptr) << "a cancel was reported";
    EXPECT_TRUE(::IsWindowEnabled(hub.Window()));
    watch.Stop();
    EXPECT_LT(ended, 2000u);
    EXPECT_EQ(watch.Unanswered(), 0);
    EXPECT_LT(watch.LongestMs(), 2000.0);
    std::printf("[ figures  ] update check cancelled after %llu ms; longest unanswered WM_NULL %.0f ms\n",
                static_cast<unsigned long long>(ended), watch.LongestMs());

    // A check after it runs as usual.
    ::PostMessageW(hub.Window(), WM_COMMAND, 5816, 0);
    ask = e2e::WaitForBox(hub, kCaption, 10000);
    ASSERT_NE(ask, nullptr);
    ::PostMessageW(ask, WM_COMMAND, IDNO, 0);
    EXPECT_TRUE(e2e::WaitFor([&] { return !::IsWindow(ask); }, 5000));
}

}  // namespace
