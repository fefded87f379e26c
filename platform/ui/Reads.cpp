#include "platform/ui/Reads.h"

namespace ui {

bool WaitForReads(const std::function<bool()>& pending, DWORD ms) {
    const ULONGLONG until = ::GetTickCount64() + ms;
    for (;;) {
        MSG msg;
        // Peeking also handles the messages sent from other threads.
        while (::PeekMessageW(&msg, nullptr, kReadsAnswered, kReadsAnswered, PM_REMOVE))
            ::DispatchMessageW(&msg);
        if (!pending()) return true;
        const ULONGLONG now = ::GetTickCount64();
        if (now >= until) return false;
        ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(until - now),
                                      QS_POSTMESSAGE | QS_SENDMESSAGE, 0);
    }
}

}  // namespace ui
