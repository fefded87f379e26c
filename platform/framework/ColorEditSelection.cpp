// The preview's caret, selection, hit-testing and clipboard. Places are code
// units of a line; where they are on screen comes from the line's layout as
// drawn (ColorEditPaint.cpp), so the caret and the selection stay in step
// with wide characters, combining marks and tabs.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/framework/ColorEditWnd.h"

int ColorEditWnd::XOf(Pos pos) const {
    const Layout& l = LayoutOf(pos.line);
    return l.x[std::min(pos.unit, l.text.size())];
}

std::size_t ColorEditWnd::UnitAtX(const Layout& l, int x) const {
    // The nearest boundary between drawn characters.
    std::size_t best = 0;
    int bestDistance = INT_MAX;
    for (std::size_t i = 0; i <= l.text.size(); ++i) {
        // Not before a unit drawn with the one before it.
        if (i > 0 && i < l.text.size() && l.x[i + 1] == l.x[i]) continue;
        const int d = std::abs(l.x[i] - x);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
        if (l.x[i] > x) break;
    }
    return best;
}

ColorEditWnd::Pos ColorEditWnd::HitTest(int x, int y) const {
    const std::ptrdiff_t row = y < 0 ? -1 - (-y - 1) / m_lineHeight : y / m_lineHeight;
    const std::ptrdiff_t line = std::clamp<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(m_top) + row, 0,
                                                           static_cast<std::ptrdiff_t>(LineCount()) - 1);
    const Layout& l = LayoutOf(static_cast<std::size_t>(line));
    return Pos{static_cast<std::size_t>(line), UnitAtX(l, std::max(0, x + m_left - kMargin))};
}

void ColorEditWnd::PlaceCaret() {
    if (!m_hwnd || ::GetFocus() != m_hwnd) return;
    const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(m_caret.line) - static_cast<std::ptrdiff_t>(m_top);
    if (row < -1 || row > VisibleRows() + 1) {
        ::SetCaretPos(0, -2 * m_lineHeight);
        return;
    }
    ::SetCaretPos(XOf(m_caret) - m_left + kMargin, static_cast<int>(row) * m_lineHeight);
}

void ColorEditWnd::EnsureCaretVisible() {
    const int rows = VisibleRows();
    if (m_caret.line < m_top) {
        SetTop(static_cast<std::ptrdiff_t>(m_caret.line));
    } else if (m_caret.line >= m_top + static_cast<std::size_t>(rows)) {
        SetTop(static_cast<std::ptrdiff_t>(m_caret.line) - rows + 1);
    }
    const int x = XOf(m_caret);
    const int width = m_hwnd ? ClientRect().right : 0;
    if (x + m_charWidth > m_contentWidth) {
        m_contentWidth = x + m_charWidth;
        UpdateScrollBars();
    }
    if (x < m_left) {
        SetLeft(x - width / 4);
    } else if (x + m_charWidth > m_left + width) {
        SetLeft(x + m_charWidth - width + width / 4);
    }
    PlaceCaret();
}

void ColorEditWnd::SetSelection(Pos anchor, Pos caret) {
    const std::size_t last = LineCount() - 1;
    anchor.line = std::min(anchor.line, last);
    caret.line = std::min(caret.line, last);
    anchor.unit = std::min(anchor.unit, LineLength(anchor.line));
    caret.unit = std::min(caret.unit, LineLength(caret.line));
    m_anchor = anchor;
    m_caret = caret;
    m_wantedX = XOf(caret);
    EnsureCaretVisible();
    if (m_hwnd) ::InvalidateRect(m_hwnd, nullptr, FALSE);
}

void ColorEditWnd::MoveCaret(Pos to, bool extend) { SetSelection(extend ? m_anchor : to, to); }

void ColorEditWnd::MoveVertically(std::ptrdiff_t line, bool extend) {
    line = std::clamp<std::ptrdiff_t>(line, 0, static_cast<std::ptrdiff_t>(LineCount()) - 1);
    const int keep = m_wantedX;
    const Layout& l = LayoutOf(static_cast<std::size_t>(line));
    MoveCaret(Pos{static_cast<std::size_t>(line), UnitAtX(l, keep)}, extend);
    m_wantedX = keep;
}

void ColorEditWnd::SelectAll() {
    if (Loading()) {
        // Everything is selected once everything has been read.
        m_pending = Pending::SelectAll;
        StartWork();
    }
    const std::size_t last = LineCount() - 1;
    SetSelection(Pos{0, 0}, Pos{last, LineLength(last)});
}

std::wstring ColorEditWnd::SelectedText() const {
    std::wstring out;
    if (m_anchor == m_caret) return out;
    text::CopyRange(Lines(), m_anchor, m_caret, kMaxCopyUnits, out);
    return out;
}

bool ColorEditWnd::Copy() {
    if (m_anchor == m_caret) return false;
    std::wstring text;
    const text::CopyResult result = text::CopyRange(Lines(), m_anchor, m_caret, kMaxCopyUnits, text);
    if (result == text::CopyResult::Nothing) return false;
    if (result == text::CopyResult::TooLarge) {
        ui::ShowMessageBox(m_hwnd, L"The selection is too large to copy.", L"Zelto Quaylet",
                           MB_OK | MB_ICONINFORMATION);
        return false;
    }
    if (!::OpenClipboard(m_hwnd)) return false;
    bool done = false;
    ::EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL mem = ::GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* p = ::GlobalLock(mem)) {
            std::memcpy(p, text.c_str(), bytes);
            ::GlobalUnlock(mem);
            done = ::SetClipboardData(CF_UNICODETEXT, mem) != nullptr;
        }
        if (!done) ::GlobalFree(mem);
    }
    ::CloseClipboard();
    return done;
}
