// The wait with a progress window, in-process under Wine: a real worker
// thread, a real modal loop and dialog, and another thread of the test that
// watches the owner answer and presses Cancel with posted keys, as the
// keyboard would.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/ui/Progress.h"
#include "tests/PageHost.h"
#include "tests/win/WinTestSupport.h"

namespace {

// An event both sides may hold: the worker keeps its share after a cancel.
using SharedEvent = std::shared_ptr<void>;
SharedEvent MakeEvent() { return SharedEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr), ::CloseHandle); }

// The dialogs a thread has made while this object lived.
class DialogCounter {
public:
    DialogCounter() : m_hook(::SetWindowsHookExW(WH_CBT, Hook, nullptr, ::GetCurrentThreadId())) {
        s_count = 0;
    }
    ~DialogCounter() { ::UnhookWindowsHookEx(m_hook); }
    int Count() const { return s_count; }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_CREATEWND) {
            wchar_t name[16] = {};
            ::GetClassNameW(reinterpret_cast<HWND>(wParam), name, 16);
            if (std::wstring(name) == L"#32770") ++s_count;
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static inline int s_count = 0;
    HHOOK m_hook;
};

// The shown progress window of a thread, owned by `owner`, or null.
HWND FindProgressWindow(DWORD thread, HWND owner) {
    struct Search {
        HWND owner;
        HWND found;
    } search{owner, nullptr};
    ::EnumThreadWindows(
        thread,
        [](HWND hwnd, LPARAM lp) {
            auto* s = reinterpret_cast<Search*>(lp);
            wchar_t name[16] = {};
            ::GetClassNameW(hwnd, name, 16);
            if (std::wstring(name) == L"#32770" && ::GetWindow(hwnd, GW_OWNER) == s->owner &&
                ::IsWindowVisible(hwnd)) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

template <class Pred>
bool WaitUntil(Pred pred, DWORD timeoutMs = 10000) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (!pred()) {
        if (::GetTickCount64() > end) return false;
        ::Sleep(10);
    }
    return true;
}

std::wstring TextOf(HWND hwnd) {
    wchar_t text[256] = {};
    DWORD_PTR got = 0;
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 2000, &got);
    return text;
}

// What the watching thread saw and did.
struct Watch {
    HWND window = nullptr;
    HWND focus = nullptr;
    int focusId = 0;
    std::wstring caption, text, reported, focusText;
    LRESULT position = -1;
    bool ownerEnabled = true;
    int unanswered = 0;  // WM_NULL not answered within a second
    std::atomic<ULONGLONG> pressedAt{0};
};

class ProgressTest : public WinTest {
protected:
    // From another thread: the owner answers while the window is awaited;
    // then the window's state is read and `key` posted to its focused control.
    std::thread Watcher(Watch& w, UINT key, bool readReport = false) {
        const DWORD ui = ::GetCurrentThreadId();
        HWND owner = m_owner.Hwnd();
        return std::thread([&w, ui, owner, key, readReport] {
            WaitUntil([&] {
                DWORD_PTR result = 0;
                if (!::SendMessageTimeoutW(owner, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result)) ++w.unanswered;
                w.window = FindProgressWindow(ui, owner);
                return w.window != nullptr;
            });
            if (!w.window) return;
            GUITHREADINFO info{sizeof info};
            WaitUntil([&] { return ::GetGUIThreadInfo(ui, &info) && ::IsChild(w.window, info.hwndFocus); });
            w.focus = info.hwndFocus;
            w.focusId = ::GetDlgCtrlID(w.focus);
            w.focusText = TextOf(w.focus);
            w.ownerEnabled = ::IsWindowEnabled(owner) != FALSE;
            w.caption = TextOf(w.window);
            w.text = TextOf(::GetDlgItem(w.window, 100));
            if (readReport) {
                WaitUntil([&] { return TextOf(::GetDlgItem(w.window, 100)) == L"Half done"; });
                w.reported = TextOf(::GetDlgItem(w.window, 100));
                WaitUntil(
                    [&] { return ::SendMessageW(::GetDlgItem(w.window, 101), PBM_GETPOS, 0, 0) == 500; });
                w.position = ::SendMessageW(::GetDlgItem(w.window, 101), PBM_GETPOS, 0, 0);
            }
            w.pressedAt = ::GetTickCount64();
            ::PostMessageW(w.focus, WM_KEYDOWN, key, 1);
            ::PostMessageW(w.focus, WM_KEYUP, key, 0xC0000001);
        });
    }

    test::PageHost m_owner{400, 300};
};

// A job done within a moment shows no window at all, leaves the owner as it
// was, and hands back what it threw.
TEST_F(ProgressTest, AQuickJobShowsNothingAndEndsAsItEnded) {
    ::ShowWindow(m_owner.Hwnd(), SW_SHOW);
    ::SetFocus(m_owner.Hwnd());
    auto done = std::make_shared<std::atomic<bool>>(false);
    DialogCounter dialogs;
    EXPECT_TRUE(ui::RunWithProgress(m_owner.Hwnd(), L"Quick", L"A moment", [done](std::stop_token) {
        ::Sleep(30);
        *done = true;
    }));
    EXPECT_TRUE(*done);
    EXPECT_EQ(dialogs.Count(), 0);
    EXPECT_TRUE(::IsWindowEnabled(m_owner.Hwnd()));
    EXPECT_EQ(::GetFocus(), m_owner.Hwnd());
    EXPECT_THROW(ui::RunWithProgress(m_owner.Hwnd(), L"Quick", L"A moment",
                                     [](std::stop_token) { throw std::runtime_error("failed"); }),
                 std::runtime_error);
    EXPECT_EQ(dialogs.Count(), 0);
    EXPECT_TRUE(::IsWindowEnabled(m_owner.Hwnd()));
}

// A worker blocked in the kernel: the window shows over a disabled owner that
// still answers, Cancel has the focus, and Esc posted to it ends the wait at
// once while the worker is still blocked; the worker is told to stop and ends
// later on its own.
TEST_F(ProgressTest, TheOwnerAnswersAndEscOnCancelEndsTheWaitAtOnce) {
    ::ShowWindow(m_owner.Hwnd(), SW_SHOW);
    const SharedEvent release = MakeEvent();
    auto state = std::make_shared<std::atomic<int>>(0);  // 1 blocked, 2 ended, 3 ended and told to stop
    Watch w;
    std::thread watcher = Watcher(w, VK_ESCAPE);
    const bool finished = ui::RunWithProgress(m_owner.Hwnd(), L"Reading the list", L"Waiting for the server",
                                              [release, state](std::stop_token stop) {
                                                  *state = 1;
                                                  ::WaitForSingleObject(release.get(), INFINITE);
                                                  *state = stop.stop_requested() ? 3 : 2;
                                              });
    const ULONGLONG returnedAt = ::GetTickCount64();
    watcher.join();
    EXPECT_FALSE(finished);
    EXPECT_EQ(*state, 1) << "returned while the worker was still blocked";
    ASSERT_NE(w.window, nullptr);
    EXPECT_EQ(w.unanswered, 0);
    EXPECT_FALSE(w.ownerEnabled);
    EXPECT_EQ(w.caption, L"Reading the list");
    EXPECT_EQ(w.text, L"Waiting for the server");
    EXPECT_EQ(w.focusId, IDCANCEL);
    EXPECT_EQ(w.focusText, L"Cancel");
    EXPECT_LT(returnedAt - w.pressedAt, 2000u);
    EXPECT_FALSE(::IsWindow(w.window));
    EXPECT_TRUE(::IsWindowEnabled(m_owner.Hwnd()));
    ::SetEvent(release.get());
    EXPECT_TRUE(WaitUntil([&] { return *state == 3; }));
}

// Enter on the focused Cancel cancels too; what the worker reports is shown,
// and a deadline ends a wait that nobody cancels.
TEST_F(ProgressTest, ReportsAreShownEnterCancelsAndADeadlineEndsTheWait) {
    ::ShowWindow(m_owner.Hwnd(), SW_SHOW);
    const SharedEvent release = MakeEvent();
    Watch w;
    std::thread watcher = Watcher(w, VK_RETURN, true);
    ui::ProgressOptions options;
    options.caption = L"Copying";
    options.text = L"Starting";
    const ui::ProgressEnd end =
        ui::RunWithProgress(m_owner.Hwnd(), options, [release](std::stop_token, ui::ProgressReport& report) {
            report.SetText(L"Half done");
            report.SetFraction(0.5);
            ::WaitForSingleObject(release.get(), INFINITE);
        });
    watcher.join();
    EXPECT_EQ(end, ui::ProgressEnd::Cancelled);
    EXPECT_EQ(w.reported, L"Half done");
    EXPECT_EQ(w.position, 500);

    options.showAfterMs = 0;
    options.deadlineMs = 300;
    EXPECT_EQ(ui::RunWithProgress(m_owner.Hwnd(), options,
                                  [release](std::stop_token, ui::ProgressReport&) {
                                      ::WaitForSingleObject(release.get(), INFINITE);
                                  }),
              ui::ProgressEnd::DeadlinePassed);
    EXPECT_TRUE(::IsWindowEnabled(m_owner.Hwnd()));
    ::SetEvent(release.get());
}

}  // namespace
