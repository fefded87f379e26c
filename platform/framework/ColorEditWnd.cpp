#include "platform/framework/ColorEditWnd.h"

#include <algorithm>
#include <climits>
#include <new>

#include "platform/services/CLog.h"

namespace {

const wchar_t kClassName[] = L"QuayletColorEdit";
constexpr int kMargin = 4;              // pixels between the left edge and the text
constexpr DWORD kReadChunk = 1u << 20;  // small enough to index while still in the cache

COLORREF KindColor(std::uint8_t kind) {
    switch (kind) {
    case 1: return RGB(0, 0, 255);    // keyword
    case 2: return RGB(163, 21, 21);  // string
    case 3: return RGB(0, 128, 128);  // quoted identifier
    case 4: return RGB(0, 128, 0);    // comment
    case 5: return RGB(128, 0, 160);  // number
    default: return ::GetSysColor(COLOR_WINDOWTEXT);
    }
}

bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
// The second unit of a surrogate pair: it shares its lead's character cell.
bool IsTrailing(const std::wstring& s, std::size_t i) {
    return i > 0 && i < s.size() && IsLowSurrogate(s[i]) && IsHighSurrogate(s[i - 1]);
}
std::size_t NextBoundary(const std::wstring& s, std::size_t i) {
    return IsTrailing(s, i + 1) ? i + 2 : i + 1;
}

int XOf(LPARAM lp) { return static_cast<short>(LOWORD(lp)); }
int YOf(LPARAM lp) { return static_cast<short>(HIWORD(lp)); }

void AnsiToUtf16(const unsigned char* bytes, std::size_t size, std::wstring& out) {
    // Lines are at most a few thousand bytes, well inside an int.
    const int n = static_cast<int>(size);
    const int units = ::MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(bytes), n, nullptr, 0);
    if (units <= 0) {
        text::DecodeLatin1(bytes, size, out);
        return;
    }
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(units));
    ::MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(bytes), n, out.data() + at, units);
}

std::wstring MegaBytes(std::uint64_t bytes) { return std::to_wstring((bytes + (1u << 19)) >> 20) + L" MB"; }

}  // namespace

ColorEditWnd::ColorEditWnd(ui::Window* parent, const RECT& rect, UINT id, int tabWidth, int pointSize,
                           const wchar_t* face)
    : m_tabWidth(std::clamp(tabWidth, 1, 32)) {
    m_lines.SetAnsiConverter(AnsiToUtf16);
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    LOGFONTW lf{};
    lf.lfHeight = -::MulDiv(std::clamp(pointSize, 10, 720), dpi, 720);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    lstrcpynW(lf.lfFaceName, face ? face : L"Courier New", LF_FACESIZE);
    m_font.Reset(::CreateFontIndirectW(&lf));
    if (screen) {
        HGDIOBJ old = ::SelectObject(
            screen, m_font ? static_cast<HGDIOBJ>(m_font.Get()) : ::GetStockObject(ANSI_FIXED_FONT));
        TEXTMETRICW tm{};
        if (::GetTextMetricsW(screen, &tm)) {
            m_charWidth = std::max<int>(1, tm.tmAveCharWidth);
            m_lineHeight = std::max<int>(1, tm.tmHeight + tm.tmExternalLeading);
        }
        SIZE size{};
        if (::GetTextExtentPoint32W(screen, L"MMMMMMMMMM", 10, &size) && size.cx >= 10)
            m_charWidth = size.cx / 10;
        ::SelectObject(screen, old);
        ::ReleaseDC(nullptr, screen);
    }
    Window::RegisterClass(kClassName, CS_DBLCLKS, ::LoadCursorW(nullptr, IDC_IBEAM), nullptr);
    CreateEx(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP, rect,
             parent ? parent->Hwnd() : nullptr, id);
    Reset();
}

ColorEditWnd::~ColorEditWnd() {
    if (m_file) ::CloseHandle(m_file);
}

const ui::MessageMap* ColorEditWnd::ThisMessageMap() {
    static const ui::MessageEntry entries[] = {
        ui::OnMessage(WM_PAINT, &ColorEditWnd::OnPaint),
        ui::OnMessage(WM_PRINTCLIENT, &ColorEditWnd::OnPrintClient),
        ui::OnMessage(WM_ERASEBKGND, &ColorEditWnd::OnEraseBkgnd),
        ui::OnMessage(WM_SIZE, &ColorEditWnd::OnSize),
        ui::OnMessage(WM_VSCROLL, &ColorEditWnd::OnVScroll),
        ui::OnMessage(WM_HSCROLL, &ColorEditWnd::OnHScroll),
        ui::OnMessage(WM_MOUSEWHEEL, &ColorEditWnd::OnMouseWheel),
        ui::OnMessage(WM_KEYDOWN, &ColorEditWnd::OnKeyDown),
        ui::OnMessage(WM_CHAR, &ColorEditWnd::OnChar),
        ui::OnMessage(WM_GETDLGCODE, &ColorEditWnd::OnGetDlgCode),
        ui::OnMessage(WM_LBUTTONDOWN, &ColorEditWnd::OnLButtonDown),
        ui::OnMessage(WM_LBUTTONDBLCLK, &ColorEditWnd::OnLButtonDblClk),
        ui::OnMessage(WM_MOUSEMOVE, &ColorEditWnd::OnMouseMove),
        ui::OnMessage(WM_LBUTTONUP, &ColorEditWnd::OnLButtonUp),
        ui::OnMessage(WM_SETFOCUS, &ColorEditWnd::OnSetFocus),
        ui::OnMessage(WM_KILLFOCUS, &ColorEditWnd::OnKillFocus),
        ui::OnMessage(WM_SETCURSOR, &ColorEditWnd::OnSetCursor),
        ui::OnMessage(WM_TIMER, &ColorEditWnd::OnTimer),
        ui::OnMessage(WM_GETTEXT, &ColorEditWnd::OnGetText),
        ui::OnMessage(WM_GETTEXTLENGTH, &ColorEditWnd::OnGetTextLength),
    };
    static const ui::MessageMap map(ui::Window::ThisMessageMap(), entries);
    return &map;
}

void ColorEditWnd::SetColorizer(CColorizer* colorizer) {
    m_colorizer = colorizer;
    m_states.Reset(m_lines.LineCount());
    if (m_hwnd) ::InvalidateRect(m_hwnd, nullptr, FALSE);
}

void ColorEditWnd::Reset() {
    if (m_file) {
        ::CloseHandle(m_file);
        m_file = nullptr;
        if (m_hwnd) ::KillTimer(m_hwnd, 1);
    }
    m_have = m_want = 0;
    m_fileSize = 0;
    m_cut = false;
    m_lines.Clear();
    m_bytes.reset();
    m_textCopy.clear();
    m_textCopy.shrink_to_fit();
    m_message.clear();
    m_note.clear();
    m_top = 0;
    m_left = 0;
    m_caret = m_anchor = Pos{};
    m_wantedColumn = 0;
    m_contentWidth = 0;
    // An empty text has one empty line; the index needs bytes to point at.
    static const unsigned char none = 0;
    m_lines.AssignEncoded(&none, 0, text::Encoding::Utf16LE);
    m_states.Reset(m_lines.LineCount());
}

void ColorEditWnd::ShowMessage(const std::wstring& text) {
    Reset();
    m_message = text;
    AfterLoad(0);
}

void ColorEditWnd::AfterLoad(std::size_t firstLine) {
    m_states.Reset(m_lines.LineCount());
    const std::size_t longest = std::min<std::size_t>(m_lines.LongestLine(), INT_MAX / 64);
    m_contentWidth = static_cast<int>(longest) * m_charWidth + m_charWidth;
    if (!m_note.empty())
        m_contentWidth = std::max<int>(m_contentWidth, static_cast<int>(m_note.size() + 1) * m_charWidth);
    m_top = 0;
    SetTop(static_cast<std::ptrdiff_t>(std::min(firstLine, TotalRows())));
    m_caret = m_anchor = Pos{m_top, 0};
    UpdateScrollBars();
    PlaceCaret();
    if (m_hwnd) ::InvalidateRect(m_hwnd, nullptr, FALSE);
}

int ColorEditWnd::LoadText(const std::wstring& textIn, int firstLine) {
    Reset();
    // On Windows a wchar_t is one UTF-16 code unit, so the text's own bytes
    // are UTF-16LE.
    m_textCopy = textIn;
    m_lines.AssignEncoded(reinterpret_cast<const unsigned char*>(m_textCopy.data()),
                          m_textCopy.size() * sizeof(wchar_t), text::Encoding::Utf16LE);
    AfterLoad(firstLine > 0 ? static_cast<std::size_t>(firstLine) : 0);
    return 1;
}

int ColorEditWnd::Fail(const wchar_t* what, DWORD error) {
    std::wstring reason;
    CLog::FormatLastError(reason, error);
    std::wstring text = std::wstring(what) + L"\n\n" + m_path;
    if (!reason.empty()) text += L"\n\n" + reason;
    ShowMessage(text);
    return 0;
}

int ColorEditWnd::LoadFile(const std::wstring& path) {
    Reset();
    m_path = path;
    HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Fail(L"This script cannot be opened.", ::GetLastError());
    m_file = file;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size) || size.QuadPart < 0)
        return Fail(L"This script cannot be read.", ::GetLastError());
    m_fileSize = static_cast<std::uint64_t>(size.QuadPart);
    m_cut = m_fileSize > m_fileLimit;
    m_want = static_cast<std::size_t>(m_cut ? m_fileLimit : m_fileSize);
    m_bytes.reset(new (std::nothrow) unsigned char[m_want ? m_want : 1]);
    if (!m_bytes) {
        const std::wstring megaBytes = MegaBytes(m_fileSize);
        ShowMessage(L"This script is too large to preview with the memory available.\n\n" + path + L"\n\n" +
                    megaBytes);
        return 0;
    }
    if (m_cut) {
        m_want = CutPoint();
        if (m_want == 0) return Fail(L"This script cannot be read.", ::GetLastError());
    }
    // Each chunk is indexed as it arrives, while it is still in the cache.
    m_lines.Begin(m_bytes.get(), m_want);
    if (!ReadUpTo(kFirstBytes)) return 0;
    if (m_file) {
        m_note = L"Reading the script...";
        ::SetTimer(m_hwnd, 1, USER_TIMER_MINIMUM, nullptr);
    }
    AfterLoad(0);
    return 1;
}

std::size_t ColorEditWnd::CutPoint() {
    // Reads the first bytes (for the byte-order mark) and the last megabyte
    // before the limit into their places, and ends after the last line break
    // there, so that no character is split. 0 after a read error.
    unsigned char* b = m_bytes.get();
    auto readAt = [&](std::size_t offset, std::size_t count) {
        LARGE_INTEGER at{};
        at.QuadPart = static_cast<LONGLONG>(offset);
        DWORD got = 0;
        return ::SetFilePointerEx(m_file, at, nullptr, FILE_BEGIN) &&
               ::ReadFile(m_file, b + offset, static_cast<DWORD>(count), &got, nullptr) && got == count;
    };
    const std::size_t tail = std::min<std::size_t>(m_want, 1u << 20);
    if (!readAt(0, std::min<std::size_t>(m_want, 4)) || !readAt(m_want - tail, tail)) return 0;
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(m_file, start, nullptr, FILE_BEGIN)) return 0;
    const bool le = m_want >= 2 && b[0] == 0xFF && b[1] == 0xFE;
    const bool be = m_want >= 2 && b[0] == 0xFE && b[1] == 0xFF;
    const std::size_t unit = (le || be) ? 2 : 1;
    const std::size_t end = m_want - m_want % unit;
    const std::size_t floor = m_want - tail + unit;
    for (std::size_t p = end; p >= floor && p > unit; p -= unit) {
        const bool lineFeed =
            unit == 1 ? b[p - 1] == '\n'
                      : (le ? (b[p - 2] == '\n' && b[p - 1] == 0) : (b[p - 2] == 0 && b[p - 1] == '\n'));
        if (lineFeed) return p;
    }
    return end;
}

bool ColorEditWnd::ReadUpTo(std::size_t limit) {
    limit = std::min(limit, m_want);
    while (m_have < limit) {
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(kReadChunk, m_want - m_have));
        DWORD got = 0;
        if (!::ReadFile(m_file, m_bytes.get() + m_have, ask, &got, nullptr)) {
            Fail(L"This script cannot be read.", ::GetLastError());
            return false;
        }
        if (got == 0) break;  // the file became shorter while being read
        m_have += got;
        m_lines.Advance(m_have);
        if (got < ask) break;
    }
    if (m_have >= m_want || m_have < limit) CompleteLoad();
    return true;
}

void ColorEditWnd::CompleteLoad() {
    ::CloseHandle(m_file);
    m_file = nullptr;
    if (m_hwnd) ::KillTimer(m_hwnd, 1);
    if (m_have < m_want) {
        // Shorter than announced: index what is there.
        m_want = m_have;
        m_lines.Begin(m_bytes.get(), m_have);
        m_lines.Advance(m_have);
    }
    const text::Encoding before = m_lines.GetEncoding();
    const std::size_t count = m_lines.LineCount();
    m_lines.Finish();
    m_note = m_cut ? L"The preview shows the first " + MegaBytes(m_want) + L" of this " +
                         MegaBytes(m_fileSize) + L" script."
                   : std::wstring();
    if (m_lines.GetEncoding() != before || m_lines.LineCount() != count) m_states.Reset(m_lines.LineCount());
    AfterStep();
}

void ColorEditWnd::AfterStep() {
    m_states.Extend(m_lines.LineCount());
    const std::size_t longest = std::min<std::size_t>(m_lines.LongestLine(), INT_MAX / 64);
    m_contentWidth = std::max<int>(m_contentWidth, static_cast<int>(longest) * m_charWidth + m_charWidth);
    const std::size_t last = m_lines.LineCount() - 1;
    if (m_caret.line > last || m_anchor.line > last) m_caret = m_anchor = Pos{last, 0};
    SetTop(static_cast<std::ptrdiff_t>(m_top));
    UpdateScrollBars();
    if (m_hwnd) ::InvalidateRect(m_hwnd, nullptr, FALSE);
}

void ColorEditWnd::FinishLoading() {
    if (m_file) ReadUpTo(m_want);
}

bool ColorEditWnd::OnTimer(ui::Message& m) {
    if (m.wParam != 1) return false;
    if (!m_file) {
        ::KillTimer(m_hwnd, 1);
    } else if (ReadUpTo(m_have + kStepBytes) && m_file) {
        m_note = L"Reading the script... " + std::to_wstring(m_want ? m_have * 100 / m_want : 100) + L" %";
        AfterStep();
    }
    m.result = 0;
    return true;
}

std::wstring ColorEditWnd::LineText(std::size_t line) const {
    std::wstring text;
    m_lines.GetLine(line, text);
    return text;
}

std::size_t ColorEditWnd::LineLength(std::size_t line) const {
    std::wstring text;
    m_lines.GetLine(line, text);
    return text.size();
}

int ColorEditWnd::VisibleRows() const {
    if (!m_hwnd) return 1;
    const RECT rc = ClientRect();
    return std::max<int>(1, (rc.bottom - rc.top) / m_lineHeight);
}

void ColorEditWnd::SetTop(std::ptrdiff_t top) {
    const std::ptrdiff_t total = static_cast<std::ptrdiff_t>(TotalRows());
    const std::ptrdiff_t maxTop = std::max<std::ptrdiff_t>(0, total - VisibleRows());
    top = std::clamp<std::ptrdiff_t>(top, 0, maxTop);
    if (static_cast<std::size_t>(top) == m_top) return;
    m_top = static_cast<std::size_t>(top);
    UpdateScrollBars();
    PlaceCaret();
    if (m_hwnd) ::InvalidateRect(m_hwnd, nullptr, FALSE);
}

void ColorEditWnd::SetLeft(int left) {
    const int width = m_hwnd ? ClientRect().right : 0;
    left = std::clamp(left, 0, std::max(0, m_contentWidth - width));
    if (left == m_left) return;
    m_left = left;
    UpdateScrollBars();
    PlaceCaret();
    if (m_hwnd) ::InvalidateRect(m_hwnd, nullptr, FALSE);
}

void ColorEditWnd::UpdateScrollBars() {
    if (!m_hwnd) return;
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    const std::size_t total = TotalRows();
    si.nMax = static_cast<int>(std::min<std::size_t>(total ? total - 1 : 0, INT_MAX - 1));
    si.nPage = static_cast<UINT>(VisibleRows());
    si.nPos = static_cast<int>(std::min<std::size_t>(m_top, INT_MAX - 1));
    ::SetScrollInfo(m_hwnd, SB_VERT, &si, TRUE);
    si.nMax = std::max(0, m_contentWidth - 1);
    si.nPage = static_cast<UINT>(std::max<LONG>(0, ClientRect().right));
    si.nPos = m_left;
    ::SetScrollInfo(m_hwnd, SB_HORZ, &si, TRUE);
}

std::size_t ColorEditWnd::ColumnOf(const std::wstring& line, std::size_t unit) const {
    std::size_t column = 0;
    const std::size_t tab = static_cast<std::size_t>(m_tabWidth);
    for (std::size_t i = 0; i < unit && i < line.size(); ++i) {
        if (line[i] == L'\t') {
            column = (column / tab + 1) * tab;
        } else if (!IsTrailing(line, i)) {
            ++column;
        }
    }
    return column;
}

std::size_t ColorEditWnd::UnitAtColumn(const std::wstring& line, std::size_t column) const {
    std::size_t at = 0;
    const std::size_t tab = static_cast<std::size_t>(m_tabWidth);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (IsTrailing(line, i)) continue;
        if (at >= column) return i;
        const std::size_t next = line[i] == L'\t' ? (at / tab + 1) * tab : at + 1;
        // Inside a tab: the nearer edge wins.
        if (column < next) return (column - at) * 2 < (next - at) ? i : NextBoundary(line, i);
        at = next;
    }
    return line.size();
}

void ColorEditWnd::PlaceCaret() {
    if (!m_hwnd || ::GetFocus() != m_hwnd) return;
    const std::wstring line = LineText(m_caret.line);
    const int x = static_cast<int>(ColumnOf(line, m_caret.unit)) * m_charWidth - m_left + kMargin;
    const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(m_caret.line) - static_cast<std::ptrdiff_t>(m_top);
    const int y =
        (row < -1 || row > VisibleRows() + 1) ? -2 * m_lineHeight : static_cast<int>(row) * m_lineHeight;
    ::SetCaretPos(x, y);
}

void ColorEditWnd::EnsureCaretVisible() {
    const int rows = VisibleRows();
    if (m_caret.line < m_top) {
        SetTop(static_cast<std::ptrdiff_t>(m_caret.line));
    } else if (m_caret.line >= m_top + static_cast<std::size_t>(rows)) {
        SetTop(static_cast<std::ptrdiff_t>(m_caret.line) - rows + 1);
    }
    const std::wstring line = LineText(m_caret.line);
    const int x = static_cast<int>(ColumnOf(line, m_caret.unit)) * m_charWidth;
    const int width = m_hwnd ? ClientRect().right : 0;
    if (x < m_left) {
        SetLeft(x - width / 4);
    } else if (x + m_charWidth > m_left + width) {
        SetLeft(x + m_charWidth - width + width / 4);
    }
    PlaceCaret();
}

void ColorEditWnd::SetSelection(Pos anchor, Pos caret) {
    const std::size_t last = m_lines.LineCount() - 1;
    anchor.line = std::min(anchor.line, last);
    caret.line = std::min(caret.line, last);
    anchor.unit = std::min(anchor.unit, LineLength(anchor.line));
    caret.unit = std::min(caret.unit, LineLength(caret.line));
    m_anchor = anchor;
    m_caret = caret;
    m_wantedColumn = ColumnOf(LineText(caret.line), caret.unit);
    EnsureCaretVisible();
    if (m_hwnd) ::InvalidateRect(m_hwnd, nullptr, FALSE);
}

void ColorEditWnd::MoveCaret(Pos to, bool extend) { SetSelection(extend ? m_anchor : to, to); }

void ColorEditWnd::SelectAll() {
    FinishLoading();
    const std::size_t last = m_lines.LineCount() - 1;
    SetSelection(Pos{0, 0}, Pos{last, LineLength(last)});
}

std::wstring ColorEditWnd::SelectedText() const {
    Pos from = std::min(m_anchor, m_caret), to = std::max(m_anchor, m_caret);
    std::wstring out, line;
    if (from == to) return out;
    for (std::size_t i = from.line; i <= to.line; ++i) {
        bool ends = true;
        m_lines.GetLine(i, line, &ends);
        const std::size_t a = i == from.line ? std::min(from.unit, line.size()) : 0;
        const std::size_t b = i == to.line ? std::min(to.unit, line.size()) : line.size();
        if (out.size() + (b - a) + 2 > kMaxCopyUnits) return std::wstring();
        out.append(line, a, b - a);
        if (i != to.line && ends) out += L"\r\n";
    }
    return out;
}

bool ColorEditWnd::Copy() {
    if (m_anchor == m_caret) return false;
    const std::wstring text = SelectedText();
    if (text.empty()) {
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
            memcpy(p, text.c_str(), bytes);
            ::GlobalUnlock(mem);
            done = ::SetClipboardData(CF_UNICODETEXT, mem) != nullptr;
        }
        if (!done) ::GlobalFree(mem);
    }
    ::CloseClipboard();
    return done;
}

ColorEditWnd::Pos ColorEditWnd::HitTest(int x, int y) const {
    const std::ptrdiff_t row = y < 0 ? -1 - (-y - 1) / m_lineHeight : y / m_lineHeight;
    const std::ptrdiff_t line = std::clamp<std::ptrdiff_t>(
        static_cast<std::ptrdiff_t>(m_top) + row, 0, static_cast<std::ptrdiff_t>(m_lines.LineCount()) - 1);
    const std::wstring text = LineText(static_cast<std::size_t>(line));
    // The nearest boundary between character cells.
    const int px = std::max(0, x + m_left - kMargin);
    const std::size_t column = static_cast<std::size_t>((px + m_charWidth / 2) / m_charWidth);
    return Pos{static_cast<std::size_t>(line), UnitAtColumn(text, column)};
}

CColorizer::State ColorEditWnd::StateAt(std::size_t line) {
    if (!m_colorizer || !m_colorizer->Highlighting()) return CColorizer::State::Code;
    return m_states.StateAt(line, *m_colorizer, [this](std::size_t n, std::wstring& out, bool& ends) {
        m_lines.GetLine(n, out, &ends);
    });
}

void ColorEditWnd::Paint(HDC dc) {
    const RECT client = ClientRect();
    ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &client, nullptr, 0, nullptr);
    m_paintedLines = 0;
    HGDIOBJ oldFont =
        ::SelectObject(dc, m_font ? static_cast<HGDIOBJ>(m_font.Get()) : ::GetStockObject(ANSI_FIXED_FONT));
    if (!m_message.empty()) {
        RECT r = client;
        ::InflateRect(&r, -6, -6);
        ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
        ::SetBkMode(dc, TRANSPARENT);
        ::DrawTextW(dc, m_message.c_str(), static_cast<int>(m_message.size()), &r,
                    DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
        ::SelectObject(dc, oldFont);
        return;
    }
    ::SetBkMode(dc, OPAQUE);
    const std::size_t rows = static_cast<std::size_t>((client.bottom + m_lineHeight - 1) / m_lineHeight);
    CColorizer::State state = StateAt(m_top);
    for (std::size_t r = 0; r < rows; ++r) {
        const std::size_t line = m_top + r;
        const int y = static_cast<int>(r) * m_lineHeight;
        if (line >= m_lines.LineCount()) {
            if (line == m_lines.LineCount() && !m_note.empty()) {
                ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
                ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
                ::ExtTextOutW(dc, m_charWidth - m_left + kMargin, y, 0, nullptr, m_note.c_str(),
                              static_cast<UINT>(m_note.size()), nullptr);
            }
            break;
        }
        PaintLine(dc, line, y, state, client);
        ++m_paintedLines;
    }
    ::SelectObject(dc, oldFont);
}

void ColorEditWnd::PaintLine(HDC dc, std::size_t line, int y, CColorizer::State& state, const RECT& client) {
    bool endsLine = true;
    m_lines.GetLine(line, m_scratch, &endsLine);
    const std::wstring& text = m_scratch;
    m_spans.clear();
    if (m_colorizer && m_colorizer->Highlighting())
        state = m_colorizer->ColorizeSegment(text.data(), text.size(), state, endsLine, &m_spans);

    // Per unit: colour kind (0 plain) and whether it is selected.
    std::vector<std::uint8_t> kind(text.size(), 0);
    for (const auto& s : m_spans)
        std::fill_n(kind.begin() + s.start, s.length,
                    static_cast<std::uint8_t>(static_cast<int>(s.kind) + 1));
    const Pos from = std::min(m_anchor, m_caret), to = std::max(m_anchor, m_caret);
    std::size_t selA = 0, selB = 0;
    if (!(from == to) && line >= from.line && line <= to.line) {
        selA = line == from.line ? from.unit : 0;
        selB = line == to.line ? to.unit : text.size() + 1;  // +1: the line break itself
    }

    // Lay out on the character grid: tabs become spaces up to the next stop.
    const std::size_t tab = static_cast<std::size_t>(m_tabWidth);
    const int firstCol = m_left / m_charWidth;
    const int lastCol = (m_left + client.right) / m_charWidth + 1;
    std::wstring run;
    std::vector<INT> dx;
    std::size_t col = 0;
    int runStartCol = -1;
    int runAttr = -1;
    auto flush = [&]() {
        if (run.empty()) return;
        const bool selected = runAttr & 0x80;
        ::SetTextColor(dc, selected ? ::GetSysColor(COLOR_HIGHLIGHTTEXT) : KindColor(runAttr & 0x7F));
        ::SetBkColor(dc, selected ? ::GetSysColor(COLOR_HIGHLIGHT) : ::GetSysColor(COLOR_WINDOW));
        const int x = runStartCol * m_charWidth - m_left + kMargin;
        int width = 0;
        for (INT d : dx) width += d;
        RECT cell{x, y, x + width, y + m_lineHeight};
        ::ExtTextOutW(dc, x, y, ETO_OPAQUE | ETO_CLIPPED, &cell, run.data(), static_cast<UINT>(run.size()),
                      dx.data());
        run.clear();
        dx.clear();
        runAttr = -1;
    };
    for (std::size_t i = 0; i < text.size() && static_cast<int>(col) <= lastCol; ++i) {
        const wchar_t c = text[i];
        const bool trailing = IsTrailing(text, i);
        const std::size_t width = c == L'\t' ? (col / tab + 1) * tab - col : (trailing ? 0 : 1);
        const int attr = kind[i] | ((i >= selA && i < selB) ? 0x80 : 0);
        if (static_cast<int>(col + width) > firstCol || trailing) {
            if (attr != runAttr && !trailing) {
                flush();
                runAttr = attr;
                runStartCol = static_cast<int>(col);
            }
            if (runAttr < 0) {  // a trailing unit whose lead lies left of the view
                col += width;
                continue;
            }
            if (c == L'\t') {
                for (std::size_t k = 0; k < width; ++k) {
                    run.push_back(L' ');
                    dx.push_back(m_charWidth);
                }
            } else {
                run.push_back(c);
                dx.push_back(trailing ? 0 : m_charWidth);
            }
        }
        col += width;
    }
    flush();
    if (selB > text.size() && line + 1 < m_lines.LineCount()) {
        // The selected line break shows as one selected cell.
        const int x = static_cast<int>(col) * m_charWidth - m_left + kMargin;
        RECT cell{x, y, x + m_charWidth, y + m_lineHeight};
        ::SetBkColor(dc, ::GetSysColor(COLOR_HIGHLIGHT));
        ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &cell, nullptr, 0, nullptr);
    }
    // A line wider than the widest one counted (tabs) widens the scroll range.
    const int needed =
        static_cast<int>(std::min<std::size_t>(ColumnOf(text, text.size()) + 1, INT_MAX / 64)) * m_charWidth;
    if (needed > m_contentWidth) {
        m_contentWidth = needed;
        UpdateScrollBars();
    }
}

bool ColorEditWnd::OnPaint(ui::Message& m) {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hwnd, &ps);
    const RECT rc = ClientRect();
    // Drawn off screen and copied in one go, so that scrolling does not flicker.
    HDC mem = ::CreateCompatibleDC(dc);
    HBITMAP bitmap =
        mem ? ::CreateCompatibleBitmap(dc, std::max<LONG>(1, rc.right), std::max<LONG>(1, rc.bottom))
            : nullptr;
    if (mem && bitmap) {
        HGDIOBJ old = ::SelectObject(mem, bitmap);
        Paint(mem);
        ::BitBlt(dc, 0, 0, rc.right, rc.bottom, mem, 0, 0, SRCCOPY);
        ::SelectObject(mem, old);
    } else {
        Paint(dc);
    }
    if (bitmap) ::DeleteObject(bitmap);
    if (mem) ::DeleteDC(mem);
    ::EndPaint(m_hwnd, &ps);
    m.result = 0;
    return true;
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

bool ColorEditWnd::OnSize(ui::Message&) {
    // Keep the view inside the text when the window grows.
    SetTop(static_cast<std::ptrdiff_t>(m_top));
    SetLeft(m_left);
    UpdateScrollBars();
    return false;
}

bool ColorEditWnd::OnVScroll(ui::Message& m) {
    const std::ptrdiff_t top = static_cast<std::ptrdiff_t>(m_top);
    const int page = VisibleRows();
    switch (LOWORD(m.wParam)) {
    case SB_LINEUP: SetTop(top - 1); break;
    case SB_LINEDOWN: SetTop(top + 1); break;
    case SB_PAGEUP: SetTop(top - page); break;
    case SB_PAGEDOWN: SetTop(top + page); break;
    case SB_TOP: SetTop(0); break;
    case SB_BOTTOM:
        FinishLoading();
        SetTop(static_cast<std::ptrdiff_t>(TotalRows()));
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        // The 32-bit position; the message carries only 16 bits.
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_TRACKPOS;
        if (::GetScrollInfo(m_hwnd, SB_VERT, &si)) SetTop(si.nTrackPos);
        break;
    }
    default: break;
    }
    m.result = 0;
    return true;
}

bool ColorEditWnd::OnHScroll(ui::Message& m) {
    const int width = ClientRect().right;
    switch (LOWORD(m.wParam)) {
    case SB_LINELEFT: SetLeft(m_left - m_charWidth); break;
    case SB_LINERIGHT: SetLeft(m_left + m_charWidth); break;
    case SB_PAGELEFT: SetLeft(m_left - width); break;
    case SB_PAGERIGHT: SetLeft(m_left + width); break;
    case SB_LEFT: SetLeft(0); break;
    case SB_RIGHT: SetLeft(m_contentWidth); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_TRACKPOS;
        if (::GetScrollInfo(m_hwnd, SB_HORZ, &si)) SetLeft(si.nTrackPos);
        break;
    }
    default: break;
    }
    m.result = 0;
    return true;
}

bool ColorEditWnd::OnMouseWheel(ui::Message& m) {
    UINT lines = 3;
    ::SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    m_wheelRest += GET_WHEEL_DELTA_WPARAM(m.wParam);
    const int notches = m_wheelRest / WHEEL_DELTA;
    m_wheelRest -= notches * WHEEL_DELTA;
    if (notches) {
        const std::ptrdiff_t step =
            lines == WHEEL_PAGESCROLL ? VisibleRows() : static_cast<std::ptrdiff_t>(lines);
        SetTop(static_cast<std::ptrdiff_t>(m_top) - notches * step);
    }
    m.result = 0;
    return true;
}

bool ColorEditWnd::OnKeyDown(ui::Message& m) {
    const bool shift = ::GetKeyState(VK_SHIFT) < 0;
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0;
    const std::size_t last = m_lines.LineCount() - 1;
    Pos to = m_caret;
    auto verticalTo = [&](std::ptrdiff_t line) {
        line = std::clamp<std::ptrdiff_t>(line, 0, static_cast<std::ptrdiff_t>(last));
        to.line = static_cast<std::size_t>(line);
        to.unit = UnitAtColumn(LineText(to.line), m_wantedColumn);
        const std::size_t keep = m_wantedColumn;
        MoveCaret(to, shift);
        m_wantedColumn = keep;
    };
    const std::ptrdiff_t line = static_cast<std::ptrdiff_t>(m_caret.line);
    const int page = VisibleRows();
    switch (m.wParam) {
    case VK_UP: verticalTo(line - 1); break;
    case VK_DOWN: verticalTo(line + 1); break;
    case VK_PRIOR:
        SetTop(static_cast<std::ptrdiff_t>(m_top) - page);
        verticalTo(line - page);
        break;
    case VK_NEXT:
        SetTop(static_cast<std::ptrdiff_t>(m_top) + page);
        verticalTo(line + page);
        break;
    case VK_LEFT:
        if (to.unit > 0) {
            const std::wstring text = LineText(to.line);
            --to.unit;
            if (IsTrailing(text, to.unit)) --to.unit;
        } else if (to.line > 0) {
            --to.line;
            to.unit = LineLength(to.line);
        }
        MoveCaret(to, shift);
        break;
    case VK_RIGHT: {
        const std::wstring text = LineText(to.line);
        if (to.unit < text.size()) {
            to.unit = NextBoundary(text, to.unit);
        } else if (to.line < last) {
            ++to.line;
            to.unit = 0;
        }
        MoveCaret(to, shift);
        break;
    }
    case VK_HOME:
        to = ctrl ? Pos{0, 0} : Pos{to.line, 0};
        MoveCaret(to, shift);
        break;
    case VK_END:
        if (ctrl) FinishLoading();
        to.line = ctrl ? m_lines.LineCount() - 1 : to.line;
        to.unit = LineLength(to.line);
        MoveCaret(to, shift);
        break;
    case 'A':
        if (!ctrl) return false;
        SelectAll();
        break;
    case 'C':
    case VK_INSERT:
        if (!ctrl) return false;
        Copy();
        break;
    default: return false;
    }
    m.result = 0;
    return true;
}

bool ColorEditWnd::OnChar(ui::Message& m) {
    // Ctrl+A and Ctrl+C arrive here as control characters too; the text is read-only.
    m.result = 0;
    return m.wParam != VK_TAB && m.wParam != VK_RETURN && m.wParam != VK_ESCAPE;
}

bool ColorEditWnd::OnGetDlgCode(ui::Message& m) {
    m.result = DLGC_WANTARROWS | DLGC_WANTCHARS;
    return true;
}

bool ColorEditWnd::OnLButtonDown(ui::Message& m) {
    ::SetFocus(m_hwnd);
    const Pos at = HitTest(XOf(m.lParam), YOf(m.lParam));
    MoveCaret(at, (m.wParam & MK_SHIFT) != 0);
    m_dragging = true;
    ::SetCapture(m_hwnd);
    m.result = 0;
    return true;
}

bool ColorEditWnd::OnLButtonDblClk(ui::Message& m) {
    // Selects the word under the pointer.
    const Pos at = HitTest(XOf(m.lParam), YOf(m.lParam));
    const std::wstring text = LineText(at.line);
    std::size_t a = at.unit, b = at.unit;
    while (a > 0 && CColorizer::IsWordChar(text[a - 1])) --a;
    while (b < text.size() && CColorizer::IsWordChar(text[b])) ++b;
    SetSelection(Pos{at.line, a}, Pos{at.line, b});
    m.result = 0;
    return true;
}

bool ColorEditWnd::OnMouseMove(ui::Message& m) {
    if (!m_dragging) return false;
    const int y = YOf(m.lParam);
    // Dragging past the top or bottom edge scrolls.
    if (y < 0) SetTop(static_cast<std::ptrdiff_t>(m_top) - 1);
    if (y >= ClientRect().bottom) SetTop(static_cast<std::ptrdiff_t>(m_top) + 1);
    MoveCaret(HitTest(XOf(m.lParam), y), true);
    m.result = 0;
    return true;
}

bool ColorEditWnd::OnLButtonUp(ui::Message& m) {
    if (m_dragging) {
        m_dragging = false;
        ::ReleaseCapture();
    }
    m.result = 0;
    return true;
}

bool ColorEditWnd::OnSetFocus(ui::Message&) {
    ::CreateCaret(m_hwnd, nullptr, 2, m_lineHeight);
    PlaceCaret();
    ::ShowCaret(m_hwnd);
    return false;
}

bool ColorEditWnd::OnKillFocus(ui::Message&) {
    ::DestroyCaret();
    m_dragging = false;
    return false;
}

bool ColorEditWnd::OnSetCursor(ui::Message& m) {
    if (LOWORD(m.lParam) != HTCLIENT) return false;
    ::SetCursor(::LoadCursorW(nullptr, m_message.empty() ? IDC_IBEAM : IDC_ARROW));
    m.result = TRUE;
    return true;
}

std::wstring ColorEditWnd::ScreenText() const {
    if (!m_message.empty()) return m_message;
    std::wstring out, line;
    const std::size_t end = std::min(m_lines.LineCount(), m_top + static_cast<std::size_t>(VisibleRows()));
    for (std::size_t i = m_top; i < end; ++i) {
        m_lines.GetLine(i, line);
        if (i > m_top) out += L"\r\n";
        out += line;
    }
    return out;
}

bool ColorEditWnd::OnGetText(ui::Message& m) {
    const std::wstring text = ScreenText();
    auto* buffer = reinterpret_cast<wchar_t*>(m.lParam);
    const std::size_t room = static_cast<std::size_t>(m.wParam);
    if (!buffer || room == 0) {
        m.result = 0;
        return true;
    }
    const std::size_t n = std::min(text.size(), room - 1);
    text.copy(buffer, n);
    buffer[n] = L'\0';
    m.result = static_cast<LRESULT>(n);
    return true;
}

bool ColorEditWnd::OnGetTextLength(ui::Message& m) {
    m.result = static_cast<LRESULT>(ScreenText().size());
    return true;
}
