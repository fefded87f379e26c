// A wait the user can see and end. The work runs on a worker thread while the
// calling thread, the interface thread, goes on handling messages: the owner
// keeps painting and answering, but takes no input, as under any modal
// window. A job that ends within a moment shows nothing at all; a longer one
// shows a small modal window over the owner with what it waits for, a moving
// bar and Cancel (Esc, Enter on the focused button or the close box too).
//
// Cancel returns at once, even when the worker is blocked in a read that
// never returns: the worker is abandoned and ends whenever its call returns.
// So the work must touch only what it owns (captured by value or through
// shared ownership), never the caller's locals or any window, and whatever
// it produced after a cancel is dropped.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <stop_token>
#include <string>

namespace ui {

// What the worker says about its progress; safe to call from the worker.
class ProgressReport {
public:
    // Replaces the text under the caption.
    void SetText(const std::wstring& text);
    // The share of the work done, 0 to 1; until the first call the bar only
    // shows that something is going on.
    void SetFraction(double fraction);

    // For the window: the latest text (when it changed since the last call)
    // and fraction (negative while unknown).
    bool TakeText(std::wstring& text);
    double Fraction() const;

private:
    mutable std::mutex m_mutex;
    std::wstring m_text;
    bool m_textChanged = false;
    double m_fraction = -1;
};

// The window appears once the work has lasted this long.
constexpr DWORD kProgressDelayMs = 300;

struct ProgressOptions {
    std::wstring caption;  // the window's title: the action the user started
    std::wstring text;     // what is being waited for
    DWORD showAfterMs = kProgressDelayMs;
    // The wait is given up after this long, as if cancelled (INFINITE: never).
    DWORD deadlineMs = INFINITE;
};

enum class ProgressEnd { Finished, Cancelled, DeadlinePassed };

using ProgressWork = std::function<void(std::stop_token stop, ProgressReport& report)>;

// Runs `work` on a worker and waits for it as described above. On every end
// but Finished the stop token is signalled and the worker abandoned. An
// exception the work throws is thrown again here once it has finished.
ProgressEnd RunWithProgress(HWND owner, const ProgressOptions& options, ProgressWork work);

// The same without a deadline or reports; true when the work ran to its end,
// false when the user cancelled.
bool RunWithProgress(HWND owner, const std::wstring& caption, const std::wstring& text,
                     std::function<void(std::stop_token stop)> work);

}  // namespace ui
