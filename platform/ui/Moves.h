// Window moves made together: the windows are moved and sized in one batch,
// so a page repaints once, not once per child.
#pragma once

#include <windows.h>

#include <vector>

namespace ui {

class BatchedMoves {
public:
    explicit BatchedMoves(int count) : m_batch(::BeginDeferWindowPos(count)) {
        m_moves.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
    }
    BatchedMoves(const BatchedMoves&) = delete;
    BatchedMoves& operator=(const BatchedMoves&) = delete;
    ~BatchedMoves() {
        if (m_batch) ::EndDeferWindowPos(m_batch);
    }

    void Move(HWND window, int x, int y, int cx, int cy, UINT flags) {
        m_moves.push_back({window, x, y, cx, cy, flags});
        if (m_batch) {
            m_batch = ::DeferWindowPos(m_batch, window, nullptr, x, y, cx, cy, flags);
            if (m_batch) return;
            // A batch the system cannot grow is gone with the moves it held:
            // they are all made one at a time instead.
            for (const Pending& m : m_moves) ::SetWindowPos(m.window, nullptr, m.x, m.y, m.cx, m.cy, m.flags);
            return;
        }
        ::SetWindowPos(window, nullptr, x, y, cx, cy, flags);
    }

private:
    struct Pending {
        HWND window;
        int x, y, cx, cy;
        UINT flags;
    };
    HDWP m_batch;
    std::vector<Pending> m_moves;
};

}  // namespace ui
