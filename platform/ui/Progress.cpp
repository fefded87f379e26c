#include "platform/ui/Progress.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "platform/os/Handle.h"
#include "platform/ui/Dialog.h"

namespace ui {

void ProgressReport::SetText(const std::wstring& text) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_text = text;
    m_textChanged = true;
}

void ProgressReport::SetFraction(double fraction) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_fraction = std::clamp(fraction, 0.0, 1.0);
}

bool ProgressReport::TakeText(std::wstring& text) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_textChanged) return false;
    m_textChanged = false;
    text = m_text;
    return true;
}

double ProgressReport::Fraction() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_fraction;
}

namespace {

constexpr int kTextId = 100;
constexpr int kBarId = 101;
// How often a shown window takes up what the worker reported.
constexpr DWORD kRefreshMs = 100;

// What the waiting thread and the worker share; the worker keeps it alive
// for as long as it runs, also after the wait was given up.
struct ProgressState {
    std::stop_source stop;
    ProgressReport report;
    os::KernelHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<bool> finished{false};
    std::exception_ptr error;
};

class ProgressWindow : public Dialog {
public:
    ProgressWindow(std::shared_ptr<ProgressState> state, const ProgressOptions& options)
        : Dialog(0, nullptr), m_state(std::move(state)), m_options(options) {}

    bool Open(HWND owner) {
        // x, y, width, height in dialog units: the text over two lines, the
        // bar, and Cancel at the bottom right as in the system's own waits.
        DialogTemplate t(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_NOIDLEMSG,
                         m_options.caption.c_str(), 230, 66);
        t.Item(SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, RECT{7, 7, 216, 18}, kTextId, DialogTemplate::kStatic,
               m_options.text.c_str());
        t.Item(PBS_MARQUEE, RECT{7, 28, 216, 9}, kBarId, PROGRESS_CLASSW, L"");
        t.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, RECT{173, 45, 50, 14}, IDCANCEL, DialogTemplate::kButton,
               L"Cancel");
        m_owner = owner;
        return CreateIndirect(t.Get(), owner);
    }
    bool Cancelled() const { return m_cancelled; }

    // Takes up the worker's latest text and fraction.
    void Refresh() {
        if (!m_hwnd) return;
        std::wstring text;
        if (m_state->report.TakeText(text)) ::SetDlgItemTextW(m_hwnd, kTextId, text.c_str());
        const double fraction = m_state->report.Fraction();
        if (fraction < 0) return;
        HWND bar = Item(kBarId);
        if (!m_measured) {
            ::SendMessageW(bar, PBM_SETMARQUEE, FALSE, 0);
            ::SetWindowLongPtrW(bar, GWL_STYLE, ::GetWindowLongPtrW(bar, GWL_STYLE) & ~LONG_PTR{PBS_MARQUEE});
            ::SendMessageW(bar, PBM_SETRANGE32, 0, 1000);
            m_measured = true;
        }
        ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(fraction * 1000), 0);
    }

    BOOL OnInitDialog() override {
        ::SendMessageW(Item(kBarId), PBM_SETMARQUEE, TRUE, 30);
        Center();
        ::ShowWindow(m_hwnd, SW_SHOW);
        ::SendMessageW(m_hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDCANCEL)), TRUE);
        return FALSE;  // the focus is set
    }
    void OnCancel() override { m_cancelled = true; }
    void OnOK() override {}

private:
    // Over the middle of the owner, inside the work area of its monitor.
    void Center() const {
        RECT own{}, over{};
        ::GetWindowRect(m_hwnd, &own);
        MONITORINFO mi{sizeof mi};
        HMONITOR monitor = ::MonitorFromWindow(m_owner ? m_owner : m_hwnd, MONITOR_DEFAULTTONEAREST);
        if (!::GetMonitorInfoW(monitor, &mi)) return;
        if (!m_owner || !::GetWindowRect(m_owner, &over)) over = mi.rcWork;
        const LONG w = own.right - own.left, h = own.bottom - own.top;
        const LONG x = std::clamp((over.left + over.right - w) / 2, mi.rcWork.left,
                                  std::max(mi.rcWork.left, mi.rcWork.right - w));
        const LONG y = std::clamp((over.top + over.bottom - h) / 2, mi.rcWork.top,
                                  std::max(mi.rcWork.top, mi.rcWork.bottom - h));
        ::SetWindowPos(m_hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    std::shared_ptr<ProgressState> m_state;
    const ProgressOptions& m_options;
    HWND m_owner = nullptr;
    bool m_cancelled = false;
    bool m_measured = false;
};

// The owner takes no input while the wait lasts, and gets its focus back after.
class DisabledOwner {
public:
    explicit DisabledOwner(HWND owner)
        : m_owner(owner && ::IsWindowEnabled(owner) ? owner : nullptr), m_focus(::GetFocus()) {
        if (m_owner) ::EnableWindow(m_owner, FALSE);
    }
    // Before the progress window goes, so that the owner is the window activated then.
    void Restore() {
        if (m_owner) ::EnableWindow(m_owner, TRUE);
        m_owner = nullptr;
    }
    ~DisabledOwner() {
        Restore();
        if (m_focus && ::IsWindow(m_focus) && ::GetFocus() != m_focus) ::SetFocus(m_focus);
    }
    DisabledOwner(const DisabledOwner&) = delete;
    DisabledOwner& operator=(const DisabledOwner&) = delete;

private:
    HWND m_owner;
    HWND m_focus;
};

bool InProgressWindow(const ProgressWindow& window, HWND hwnd) {
    return window && (hwnd == window.Hwnd() || ::IsChild(window.Hwnd(), hwnd));
}

// Handles the messages that are there; false when the wait is to end (the
// application is quitting, or Esc before the window shows).
bool Pump(ProgressWindow& window) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop that ends the program
            return false;
        }
        if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST && !InProgressWindow(window, msg.hwnd)) {
            if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) return false;
            continue;  // keys meant for the waiting owner
        }
        if (window && ::IsDialogMessageW(window.Hwnd(), &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return true;
}

ProgressEnd Wait(HWND owner, const ProgressOptions& options, ProgressState& state, ProgressWindow& window) {
    const ULONGLONG start = ::GetTickCount64();
    bool opened = false;
    for (;;) {
        if (state.finished.load()) return ProgressEnd::Finished;
        const ULONGLONG elapsed = ::GetTickCount64() - start;
        if (options.deadlineMs != INFINITE && elapsed >= options.deadlineMs)
            return ProgressEnd::DeadlinePassed;
        if (!opened && elapsed >= options.showAfterMs) {
            opened = true;
            window.Open(owner);
        }
        window.Refresh();
        ULONGLONG wait = opened ? kRefreshMs : options.showAfterMs - elapsed;
        if (options.deadlineMs != INFINITE) wait = std::min<ULONGLONG>(wait, options.deadlineMs - elapsed);
        HANDLE done = state.done.Get();
        ::MsgWaitForMultipleObjectsEx(done ? 1 : 0, &done,
                                      static_cast<DWORD>(std::min<ULONGLONG>(wait, 20000)), QS_ALLINPUT,
                                      MWMO_INPUTAVAILABLE);
        if (!Pump(window) || window.Cancelled()) return ProgressEnd::Cancelled;
    }
}

}  // namespace

ProgressEnd RunWithProgress(HWND owner, const ProgressOptions& options, ProgressWork work) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&icc);
    auto state = std::make_shared<ProgressState>();
    std::thread([state, work = std::move(work)]() mutable {
        try {
            work(state->stop.get_token(), state->report);
        } catch (...) {
            state->error = std::current_exception();
        }
        state->finished.store(true);
        if (state->done) ::SetEvent(state->done.Get());
    }).detach();

    ProgressEnd end = ProgressEnd::Cancelled;
    {
        DisabledOwner disabled(owner);
        ProgressWindow window(state, options);
        end = Wait(owner, options, *state, window);
        disabled.Restore();
    }
    if (end != ProgressEnd::Finished) {
        state->stop.request_stop();
        return end;
    }
    if (state->error) std::rethrow_exception(state->error);
    return end;
}

bool RunWithProgress(HWND owner, const std::wstring& caption, const std::wstring& text,
                     std::function<void(std::stop_token stop)> work) {
    ProgressOptions options;
    options.caption = caption;
    options.text = text;
    return RunWithProgress(owner, options, [work = std::move(work)](std::stop_token stop, ProgressReport&) {
               work(std::move(stop));
           }) == ProgressEnd::Finished;
}

}  // namespace ui
