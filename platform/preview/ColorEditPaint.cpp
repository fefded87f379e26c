// The preview's colours and painting. Text is measured and drawn as the font
// and the system shape it: each line's code units get their x from the
// system's own measurement (wide characters take their width, combining marks
// none), and the same positions place the caret and the selection.
#include <usp10.h>

#include <algorithm>
#include <climits>

#include "platform/preview/ColorEditWnd.h"
#include "platform/text/ColorScheme.h"
#include "platform/ui/Colours.h"

namespace {

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Latin text needs no shaping: the font's advances are the layout.
bool MeasureSimpleRun(HDC dc, const wchar_t* run, int count, std::vector<INT>& advances) {
    SIZE size{};
    if (!::GetTextExtentExPointW(dc, run, count, 0, nullptr, advances.data(), &size)) return false;
    // From extents to advances, in place.
    for (int k = count - 1; k > 0; --k)
        advances[static_cast<std::size_t>(k)] -= advances[static_cast<std::size_t>(k) - 1];
    return true;
}

// A character that is no caret stop (a mark, the rest of a cluster) is drawn
// with the one before: its width goes there. Nonspacing marks count too, where
// the breaking rules at hand do not say so.
void JoinClusterWidths(SCRIPT_STRING_ANALYSIS ssa, const wchar_t* run, int count,
                       std::vector<INT>& advances) {
    const SCRIPT_LOGATTR* attrs = ::ScriptString_pLogAttr(ssa);
    std::vector<WORD> types(static_cast<std::size_t>(count), 0);
    ::GetStringTypeW(CT_CTYPE3, run, count, types.data());
    for (int k = count - 1; k > 0; --k) {
        const bool mark = types[static_cast<std::size_t>(k)] & C3_NONSPACING;
        const bool stop = (!attrs || attrs[k].fCharStop) && !mark;
        if (stop) continue;
        advances[static_cast<std::size_t>(k) - 1] += advances[static_cast<std::size_t>(k)];
        advances[static_cast<std::size_t>(k)] = 0;
    }
}

// Other scripts, combining marks and characters the font lacks: shaped by the
// system, with fallback fonts, and measured per character as laid out.
bool MeasureShapedRun(HDC dc, const wchar_t* run, int count, std::vector<INT>& advances) {
    SCRIPT_STRING_ANALYSIS ssa = nullptr;
    if (FAILED(::ScriptStringAnalyse(dc, run, count, count * 3 / 2 + 16, -1,
                                     SSA_GLYPHS | SSA_FALLBACK | SSA_LINK, 0, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, &ssa)))
        return false;
    const bool measured = SUCCEEDED(::ScriptStringGetLogicalWidths(ssa, advances.data()));
    if (measured) JoinClusterWidths(ssa, run, count, advances);
    ::ScriptStringFree(&ssa);
    return measured;
}

// Fills advances with the width of each code unit of a run without tabs; false
// when the system could not measure it.
bool MeasureRun(HDC dc, const wchar_t* run, int count, std::vector<INT>& advances) {
    advances.assign(static_cast<std::size_t>(count), 0);
    const bool simple = std::all_of(run, run + count, [](wchar_t c) { return c < 0x300; });
    return simple ? MeasureSimpleRun(dc, run, count, advances) : MeasureShapedRun(dc, run, count, advances);
}

}  // namespace

void ColorEditWnd::UpdatePalette() {
    using Role = ColorRole;
    auto set = [this](Role role, COLORREF c) { m_palette[static_cast<int>(role)] = c; };
    const COLORREF window = ::GetSysColor(COLOR_WINDOW);
    const COLORREF text = ::GetSysColor(COLOR_WINDOWTEXT);
    set(Role::Background, window);
    set(Role::Text, text);
    set(Role::Selection, ::GetSysColor(COLOR_HIGHLIGHT));
    set(Role::SelectedText, ::GetSysColor(COLOR_HIGHLIGHTTEXT));
    if (ui::HighContrast()) {
        // The user's own colours, which the scheme makes readable together.
        set(Role::Keyword, ::GetSysColor(COLOR_HOTLIGHT));
        set(Role::String, text);
        set(Role::Identifier, text);
        set(Role::Comment, ::GetSysColor(COLOR_GRAYTEXT));
        set(Role::Number, text);
        set(Role::Note, ::GetSysColor(COLOR_GRAYTEXT));
        return;
    }
    auto readable = [window](COLORREF wanted) { return colors::Readable(wanted, window); };
    set(Role::Keyword, readable(RGB(0, 0, 255)));
    set(Role::String, readable(RGB(163, 21, 21)));
    set(Role::Identifier, readable(RGB(0, 128, 128)));
    set(Role::Comment, readable(RGB(0, 128, 0)));
    set(Role::Number, readable(RGB(128, 0, 160)));
    set(Role::Note, readable(::GetSysColor(COLOR_GRAYTEXT)));
}

void ColorEditWnd::OnColorsChanged() {
    UpdatePalette();
    if (m_hwnd) ::InvalidateRect(m_hwnd, nullptr, FALSE);
    Decline();
}

void ColorEditWnd::MeasureLine(HDC dc, const std::wstring& text, std::vector<int>& x) const {
    const std::size_t n = text.size();
    x.assign(n + 1, 0);
    const int tab = std::max(1, m_tabWidth * m_charWidth);
    std::vector<INT> advances;
    std::size_t i = 0;
    while (i < n) {
        if (text[i] == L'\t') {
            x[i + 1] = (x[i] / tab + 1) * tab;
            ++i;
            continue;
        }
        const std::size_t end = std::min(text.find(L'\t', i), n);
        const int count = static_cast<int>(end - i);
        // A run the system cannot measure falls back to the average width.
        const bool measured = MeasureRun(dc, text.data() + i, count, advances);
        for (std::size_t k = 0; k < end - i; ++k)
            x[i + k + 1] = x[i + k] + (measured ? std::max(0, advances[k]) : m_charWidth);
        i = end;
    }
    // A surrogate pair is one character: its width goes to the first unit.
    for (std::size_t k = 0; k + 1 < n; ++k) {
        if (IsHighSurrogate(text[k]) && IsLowSurrogate(text[k + 1])) x[k + 1] = x[k + 2];
    }
}

const ColorEditWnd::Layout& ColorEditWnd::LayoutOf(std::size_t line) const {
    if (m_layout.line != line) {
        Lines().GetLine(line, m_layout.text);
        MeasureLine(m_measure.Get(), m_layout.text, m_layout.x);
        m_layout.line = line;
    }
    return m_layout;
}

void ColorEditWnd::Paint(HDC dc) {
    const RECT client = ClientRect();
    ::SetBkColor(dc, RoleColor(ColorRole::Background));
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &client, nullptr, 0, nullptr);
    m_paintedLines = 0;
    const ui::ScopedSelect font(
        dc, m_font ? static_cast<HGDIOBJ>(m_font.Get()) : ::GetStockObject(ANSI_FIXED_FONT));
    if (!m_message.empty()) {
        RECT r = client;
        ::InflateRect(&r, -6, -6);
        ::SetTextColor(dc, RoleColor(ColorRole::Note));
        ::SetBkMode(dc, TRANSPARENT);
        ::DrawTextW(dc, m_message.c_str(), static_cast<int>(m_message.size()), &r,
                    DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
        return;
    }
    ::SetBkMode(dc, OPAQUE);
    const std::size_t rows = static_cast<std::size_t>((client.bottom + m_lineHeight - 1) / m_lineHeight);
    // Far from any state worked out so far, lines are drawn plain for a
    // moment rather than keeping the interface busy; the background work
    // redraws them when it gets there.
    const bool colour = Colouring() && m_states.Near(m_top);
    CColorizer::State state =
        colour ? m_states.StateAt(m_top, *m_colorizer, StateSource()) : CColorizer::State::Code;
    if (Colouring() && !colour) StartWork();
    for (std::size_t r = 0; r < rows; ++r) {
        const std::size_t line = m_top + r;
        const int y = static_cast<int>(r) * m_lineHeight;
        if (line >= LineCount()) {
            if (line == LineCount() && !m_note.empty()) {
                ::SetTextColor(dc, RoleColor(ColorRole::Note));
                ::SetBkColor(dc, RoleColor(ColorRole::Background));
                ::ExtTextOutW(dc, m_charWidth - m_left + kMargin, y, 0, nullptr, m_note.c_str(),
                              static_cast<UINT>(m_note.size()), nullptr);
            }
            break;
        }
        PaintLine(dc, line, y, state, colour, client);
        ++m_paintedLines;
    }
    if (!m_progress.empty()) PaintProgress(dc, client);
}

void ColorEditWnd::PaintProgress(HDC dc, const RECT& client) {
    // In the bottom right corner, where the user sees it wherever the text is scrolled.
    SIZE size{};
    ::GetTextExtentPoint32W(dc, m_progress.c_str(), static_cast<int>(m_progress.size()), &size);
    RECT box{client.right - size.cx - 3 * kMargin, client.bottom - m_lineHeight - kMargin, client.right,
             client.bottom};
    ::SetTextColor(dc, RoleColor(ColorRole::Note));
    ::SetBkColor(dc, RoleColor(ColorRole::Background));
    ::ExtTextOutW(dc, box.left + kMargin, box.top + kMargin / 2, ETO_OPAQUE, &box, m_progress.c_str(),
                  static_cast<UINT>(m_progress.size()), nullptr);
}

void ColorEditWnd::PaintLine(HDC dc, std::size_t line, int y, CColorizer::State& state, bool colour,
                             const RECT& client) {
    bool endsLine = true;
    Layout& l = m_paintLayout;
    Lines().GetLine(line, l.text, &endsLine);
    MeasureLine(dc, l.text, l.x);
    m_spans.clear();
    if (colour) {
        const wchar_t follow = endsLine ? 0 : Lines().FollowingUnit(line);
        state = m_colorizer->ColorizeSegment(l.text.data(), l.text.size(), state, endsLine, &m_spans, follow);
    }
    const std::pair<std::size_t, std::size_t> selected = SelectedUnits(line, l.text.size());
    PaintRuns(dc, l, UnitAttributes(l.text.size(), selected), y, client);
    PaintLineEnd(dc, line, selected.second, y);
}

std::pair<std::size_t, std::size_t> ColorEditWnd::SelectedUnits(std::size_t line, std::size_t length) const {
    const Pos from = std::min(m_anchor, m_caret), to = std::max(m_anchor, m_caret);
    if (from == to || line < from.line || line > to.line) return {0, 0};
    return {line == from.line ? from.unit : 0,
            line == to.line ? to.unit : length + 1};  // +1: the line break itself
}

std::vector<std::uint8_t> ColorEditWnd::UnitAttributes(std::size_t length,
                                                       std::pair<std::size_t, std::size_t> selected) const {
    // Per unit: colour role, and kSelectedUnit where it is selected.
    std::vector<std::uint8_t> attr(length, static_cast<std::uint8_t>(ColorRole::Text));
    for (const auto& s : m_spans)
        std::fill_n(
            attr.begin() + s.start, s.length,
            static_cast<std::uint8_t>(static_cast<int>(ColorRole::Keyword) + static_cast<int>(s.kind)));
    for (std::size_t i = selected.first; i < std::min(selected.second, length); ++i) attr[i] |= kSelectedUnit;
    return attr;
}

void ColorEditWnd::PaintRuns(HDC dc, const Layout& l, const std::vector<std::uint8_t>& attr, int y,
                             const RECT& client) {
    const std::wstring& text = l.text;
    std::wstring run;
    std::vector<INT> dx;
    std::size_t runStart = 0;
    int runAttr = -1;
    const auto flush = [&]() {
        if (!run.empty()) PaintRun(dc, kMargin - m_left + l.x[runStart], y, run, dx, runAttr);
        run.clear();
        dx.clear();
        runAttr = -1;
    };
    const int left = m_left - m_charWidth * 4, right = m_left + client.right + m_charWidth * 4;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (l.x[i + 1] < left) continue;
        if (l.x[i] > right) break;
        // A unit drawn with the one before stays in its run.
        const bool joined = !run.empty() && l.x[i + 1] == l.x[i];
        if (attr[i] != runAttr && !joined) {
            flush();
            runAttr = attr[i];
            runStart = i;
        }
        if (runAttr < 0) continue;
        run.push_back(text[i] == L'\t' ? L' ' : text[i]);
        dx.push_back(l.x[i + 1] - l.x[i]);
    }
    flush();
}

void ColorEditWnd::PaintRun(HDC dc, int x, int y, const std::wstring& run, const std::vector<INT>& dx,
                            int attr) {
    const bool selected = attr & kSelectedUnit;
    ::SetTextColor(dc, selected ? RoleColor(ColorRole::SelectedText)
                                : RoleColor(static_cast<ColorRole>(attr & ~kSelectedUnit)));
    ::SetBkColor(dc, selected ? RoleColor(ColorRole::Selection) : RoleColor(ColorRole::Background));
    int width = 0;
    for (INT d : dx) width += d;
    RECT cell{x, y, x + width, y + m_lineHeight};
    // Clipped to its own cell only where it is selected, so that marks
    // and overhangs of the neighbours are not cut off.
    ::ExtTextOutW(dc, x, y, ETO_OPAQUE | (selected ? ETO_CLIPPED : 0), &cell, run.data(),
                  static_cast<UINT>(run.size()), dx.data());
}

void ColorEditWnd::PaintLineEnd(HDC dc, std::size_t line, std::size_t selectedEnd, int y) {
    const Layout& l = m_paintLayout;
    const int end = l.x[l.text.size()];
    if (selectedEnd > l.text.size() && line + 1 < LineCount()) {
        // The selected line break shows as one selected cell.
        const int x = kMargin - m_left + end;
        RECT cell{x, y, x + m_charWidth, y + m_lineHeight};
        ::SetBkColor(dc, RoleColor(ColorRole::Selection));
        ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &cell, nullptr, 0, nullptr);
    }
    // A line wider than counted (tabs, wide characters) widens the scroll range.
    if (end + m_charWidth > m_contentWidth) {
        m_contentWidth = end + m_charWidth;
        UpdateScrollBars();
    }
}

void ColorEditWnd::OnPaint(HDC dc) {
    const RECT rc = ClientRect();
    // Drawn off screen and copied in one go, so that scrolling does not flicker.
    const ui::MemoryDC mem(::CreateCompatibleDC(dc));
    const ui::Bitmap bitmap(
        mem ? ::CreateCompatibleBitmap(dc, std::max<LONG>(1, rc.right), std::max<LONG>(1, rc.bottom))
            : nullptr);
    if (mem && bitmap) {
        const ui::ScopedSelect select(mem.Get(), bitmap.Get());
        Paint(mem.Get());
        ::BitBlt(dc, 0, 0, rc.right, rc.bottom, mem.Get(), 0, 0, SRCCOPY);
    } else {
        Paint(dc);
    }
}

bool ColorEditWnd::OnPrintClient(ui::Message& m) {
    Paint(reinterpret_cast<HDC>(m.wParam));
    m.result = 0;
    return true;
}

bool ColorEditWnd::OnEraseBkgnd(ui::Message& m) {
    m.result = 1;
    return true;
}
