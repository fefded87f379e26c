// Whether a window answers, measured from another thread or process as a user
// meets it: WM_NULL sent every 2 ms (SendMessageTimeout), keeping the longest
// interval without an answer, the one still running at Stop included.
#pragma once

#include <windows.h>

#include <algorithm>
#include <atomic>

namespace test {

class Pinger {
public:
    explicit Pinger(HWND window) : m_window(window), m_last(NowMs()) {
        m_thread = ::CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~Pinger() { Stop(); }
    Pinger(const Pinger&) = delete;
    Pinger& operator=(const Pinger&) = delete;

    // The longest interval in ms; `answering` tells whether the window answered at the end.
    double Stop(bool* answering = nullptr) {
        if (!m_stopped.exchange(true)) {
            const double now = NowMs();
            m_stillOut = now - m_last.load() > 100;
            m_longest = std::max(m_longest.load(), now - m_last.load());
            // A ping into a window that does not answer returns within its own timeout.
            ::WaitForSingleObject(m_thread, 3000);
            ::CloseHandle(m_thread);
        }
        if (answering) *answering = !m_stillOut;
        return m_longest;
    }

    static double NowMs() {
        LARGE_INTEGER f, t;
        ::QueryPerformanceFrequency(&f);
        ::QueryPerformanceCounter(&t);
        return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
    }

private:
    static DWORD WINAPI Run(void* p) {
        auto* self = static_cast<Pinger*>(p);
        while (!self->m_stopped) {
            DWORD_PTR result = 0;
            if (::SendMessageTimeoutW(self->m_window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result) &&
                !self->m_stopped) {
                const double now = NowMs();
                self->m_longest = std::max(self->m_longest.load(), now - self->m_last.load());
                self->m_last = now;
            }
            ::Sleep(2);
        }
        return 0;
    }

    HWND m_window;
    HANDLE m_thread = nullptr;
    std::atomic<double> m_last;
    std::atomic<double> m_longest{0};
    std::atomic<bool> m_stopped{false};
    bool m_stillOut = false;
};

}  // namespace test
