// The preview's caret, selection, hit-testing and clipboard. Places are code
// units of a line; where they are on screen comes from the line's layout as
// drawn (ColorEditPaint.cpp), so the caret and the selection stay in step
// with wide characters, combining marks and tabs.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/preview/ColorEditWnd.h"

namespace {

// A copy that takes no longer than this is done before the key is answered.
constexpr double kCopyAtOnceMs = 30;
// A copied text up to this size goes to the clipboard at once.
constexpr std::size_t kRenderAtOnceUnits = 1u << 20;
// Times the clipboard is tried on the work timer (some tens of milliseconds apart).
constexpr int kClipboardTries = 40;

}  // namespace

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
    CancelCopy();
    if (m_anchor == m_caret) return false;
    if (Loading() && (m_pending == Pending::SelectAll || m_pending == Pending::ExtendToEnd)) {
        // The selection reaches the end of the file once it is read; what the
        // user copies is that, even if the caret moves on meanwhile.
        m_copying = CopyWhenRead{m_pending == Pending::SelectAll ? Pos{} : m_anchor};
        SetProgress(L"Copying...");
        StartWork();
        return true;
    }
    return StartCopy(m_anchor, m_caret);
}

ColorEditWnd::CopyJob* ColorEditWnd::RunningCopy() const {
    const auto* job = std::get_if<std::unique_ptr<CopyJob>>(&m_copying);
    return job ? job->get() : nullptr;
}

bool ColorEditWnd::StartCopy(Pos from, Pos to) {
    const double start = NowMs();
    m_copying = std::make_unique<CopyJob>(Lines(), from, to);
    CopyJob& job = *RunningCopy();
    if (job.copier.Done()) return FinishCopy();
    job.memory.Reset(::GlobalAlloc(GMEM_MOVEABLE, (job.copier.Capacity() + 1) * sizeof(wchar_t)));
    job.text.emplace(job.memory.Get());
    if (!*job.text) {
        m_copying = std::monostate{};
        ui::ShowMessageBox(m_hwnd, L"There is not enough memory to copy the selection.", ui::kAppCaption,
                           MB_OK | MB_ICONINFORMATION);
        return false;
    }
    // A copy of a few thousand lines is done at once; a larger one goes on
    // with the background work, so that the window keeps answering.
    if (CopySlice(start + kCopyAtOnceMs)) return FinishCopy();
    SetProgress(L"Copying... " + std::to_wstring(job.copier.Percent()) + L" %");
    StartWork();
    return true;
}

// Copies until `until` (NowMs) or the end; true when the copy is built.
bool ColorEditWnd::CopySlice(double until) {
    // A few hundred lines between looks at the clock: at most a few
    // milliseconds, as lines are cut at a few thousand units.
    constexpr std::size_t kLinesBetweenChecks = 256;
    CopyJob& job = *RunningCopy();
    while (!job.copier.Step(job.text->Get(), kLinesBetweenChecks)) {
        if (NowMs() >= until) return false;
    }
    return true;
}

bool ColorEditWnd::FinishCopy() {
    std::unique_ptr<CopyJob> job = std::move(std::get<std::unique_ptr<CopyJob>>(m_copying));
    m_copying = std::monostate{};
    SetProgress(std::wstring());
    const text::CopyResult result = job->copier.Result();
    if (result == text::CopyResult::Nothing) return false;
    if (result == text::CopyResult::TooLarge) {
        ui::ShowMessageBox(m_hwnd, L"The selection is too large to copy.", ui::kAppCaption,
                           MB_OK | MB_ICONINFORMATION);
        return false;
    }
    const os::OpenClipboard clipboard(m_hwnd);
    if (!clipboard) {
        // Another program has the clipboard open for a moment: try again
        // with the background work rather than lose the copy.
        if (++job->tries < kClipboardTries) {
            m_copying = std::move(job);
            SetProgress(L"Copying... 100 %");
            StartWork();
            return true;
        }
        ui::ShowMessageBox(m_hwnd, L"The clipboard is in use by another program. Try copying again.",
                           ui::kAppCaption, MB_OK | MB_ICONINFORMATION);
        return false;
    }
    return HandToClipboard(std::move(job));
}

// With the clipboard open.
bool ColorEditWnd::HandToClipboard(std::unique_ptr<CopyJob> job) {
    job->text->Get()[job->copier.Size()] = L'\0';
    job->text.reset();
    // Emptying tells the owner before, perhaps this window, to let go of its text.
    ::EmptyClipboard();
    // Handing the clipboard a block can copy it, which for tens of megabytes
    // takes long; such a text is only promised and handed over when a
    // program asks for it (or before this window goes).
    const bool promise = job->copier.Size() > kRenderAtOnceUnits;
    ::SetLastError(ERROR_SUCCESS);
    const bool done = ::SetClipboardData(CF_UNICODETEXT, promise ? nullptr : job->memory.Get()) != nullptr ||
                      (promise && ::GetLastError() == ERROR_SUCCESS);
    if (done && promise) {
        m_onClipboard = std::move(job);
    } else if (done) {
        job->memory.Release();  // the clipboard's now
    }
    return done;
}

void ColorEditWnd::RenderPromised() {
    if (m_onClipboard && ::SetClipboardData(CF_UNICODETEXT, m_onClipboard->memory.Get()))
        m_onClipboard->memory.Release();  // the clipboard's now
    m_onClipboard.reset();
}

bool ColorEditWnd::OnRenderFormat(ui::Message& m) {
    if (m.wParam == CF_UNICODETEXT) RenderPromised();
    m.result = 0;
    return true;
}

void ColorEditWnd::RenderAllPromised() {
    // Closing: what was promised is handed over, unless another program has
    // put something on the clipboard since.
    if (m_onClipboard) {
        const os::OpenClipboard clipboard(m_hwnd);
        if (clipboard && ::GetClipboardOwner() == m_hwnd) RenderPromised();
    }
    m_onClipboard.reset();
}

void ColorEditWnd::OnRenderAllFormats() { RenderAllPromised(); }

void ColorEditWnd::OnDestroyClipboard() { m_onClipboard.reset(); }

void ColorEditWnd::CancelCopy() {
    m_copying = std::monostate{};
    SetProgress(std::wstring());
}

void ColorEditWnd::SetProgress(const std::wstring& text) {
    if (text == m_progress) return;
    const bool cursor = text.empty() != m_progress.empty();
    m_progress = text;
    if (!m_hwnd) return;
    ::InvalidateRect(m_hwnd, nullptr, FALSE);
    POINT pt{};
    // The pointer over the window shows that work goes on in the background.
    if (cursor && ::GetCursorPos(&pt) && ::WindowFromPoint(pt) == m_hwnd)
        ::SendMessageW(m_hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(m_hwnd),
                       MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}
