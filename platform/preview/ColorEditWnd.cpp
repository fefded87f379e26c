#include "platform/preview/ColorEditWnd.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "platform/ui/Dpi.h"

namespace {

const wchar_t kClassName[] = L"QuayletColorEdit";

}  // namespace

void ColorEditWnd::DecodeAnsi(const unsigned char* bytes, std::size_t size, std::wstring& out) {
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

double ColorEditWnd::NowMs() {
    LARGE_INTEGER f, t;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

ColorEditWnd::ColorEditWnd(ui::Window* parent, const RECT& rect, UINT id, int tabWidth, int pointSize,
                           const wchar_t* face)
    : m_tabWidth(std::clamp(tabWidth, 1, 32)),
      m_pointSize(std::clamp(pointSize, 10, 720)),
      m_face(face ? face : L"Courier New") {
    m_reader.Lines().SetAnsiConverter(DecodeAnsi);
    m_textLines.SetAnsiConverter(DecodeAnsi);
    const ui::WindowDC screen(nullptr);
    m_measure.Reset(::CreateCompatibleDC(screen.Get()));
    MakeFont(ui::DpiOf(parent ? parent->Hwnd() : nullptr));
    UpdatePalette();
    Window::RegisterClass(kClassName, CS_DBLCLKS, ::LoadCursorW(nullptr, IDC_IBEAM), nullptr);
    CreateEx(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP, rect,
             parent ? parent->Hwnd() : nullptr, id);
    Reset();
}

// The font at the given DPI, and the character and line sizes it gives.
void ColorEditWnd::MakeFont(UINT dpi) {
    m_dpi = dpi;
    LOGFONTW lf{};
    lf.lfHeight = -::MulDiv(m_pointSize, static_cast<int>(dpi), 720);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    lstrcpynW(lf.lfFaceName, m_face.c_str(), LF_FACESIZE);
    ui::Font font(::CreateFontIndirectW(&lf));
    if (!m_measure) {
        m_font = std::move(font);
        return;
    }
    // The new font goes into the measuring context before the old one is deleted.
    ::SelectObject(m_measure.Get(),
                   font ? static_cast<HGDIOBJ>(font.Get()) : ::GetStockObject(ANSI_FIXED_FONT));
    m_font = std::move(font);
    TEXTMETRICW tm{};
    if (::GetTextMetricsW(m_measure.Get(), &tm)) {
        m_charWidth = std::max<int>(1, tm.tmAveCharWidth);
        m_lineHeight = std::max<int>(1, tm.tmHeight + tm.tmExternalLeading);
    }
    SIZE size{};
    if (::GetTextExtentPoint32W(m_measure.Get(), L"MMMMMMMMMM", 10, &size) && size.cx >= 10)
        m_charWidth = size.cx / 10;
}

// A move to a monitor of another scale, or a change of the scale: the text
// keeps its point size, so it is laid out again in the new pixels.
bool ColorEditWnd::OnDpiChanged(ui::Message& m) {
    const UINT dpi = m.msg == WM_DPICHANGED ? LOWORD(m.wParam) : ui::DpiOf(m_hwnd);
    if (dpi && dpi != m_dpi) {
        MakeFont(dpi);
        m_layout = Layout{};
        m_paintLayout = Layout{};
        const std::size_t longest = std::min<std::size_t>(Lines().LongestLine(), INT_MAX / 64);
        m_contentWidth = static_cast<int>(longest) * m_charWidth + m_charWidth;
        if (::GetFocus() == m_hwnd) {
            ::DestroyCaret();
            ::CreateCaret(m_hwnd, nullptr, 2, m_lineHeight);
            ::ShowCaret(m_hwnd);
        }
        SetTop(static_cast<std::ptrdiff_t>(m_top));
        SetLeft(m_left);
        UpdateScrollBars();
        PlaceCaret();
        ::InvalidateRect(m_hwnd, nullptr, FALSE);
    }
    m.result = 0;
    return true;
}

bool ColorEditWnd::OnGetFont(ui::Message& m) {
    m.result = reinterpret_cast<LRESULT>(m_font.Get());
    return true;
}

ColorEditWnd::~ColorEditWnd() {
    // The window goes after this object, when its messages no longer reach it.
    if (m_hwnd) RenderAllPromised();
}

const ui::MessageMap* ColorEditWnd::ThisMessageMap() {
    static const ui::MessageEntry entries[] = {
        ui::OnPaint(&ColorEditWnd::OnPaint),
        ui::OnMessage(WM_PRINTCLIENT, &ColorEditWnd::OnPrintClient),
        ui::OnMessage(WM_ERASEBKGND, &ColorEditWnd::OnEraseBkgnd),
        ui::OnSize(&ColorEditWnd::OnSize),
        ui::OnScroll(WM_VSCROLL, &ColorEditWnd::OnVScroll),
        ui::OnScroll(WM_HSCROLL, &ColorEditWnd::OnHScroll),
        ui::OnWheel(WM_MOUSEWHEEL, &ColorEditWnd::OnMouseWheel),
        ui::OnKey(WM_KEYDOWN, &ColorEditWnd::OnKeyDown),
        ui::OnKey(WM_CHAR, &ColorEditWnd::OnChar),
        ui::OnMessage(WM_GETDLGCODE, &ColorEditWnd::OnGetDlgCode),
        ui::OnMouse(WM_LBUTTONDOWN, &ColorEditWnd::OnLButtonDown),
        ui::OnMouse(WM_LBUTTONDBLCLK, &ColorEditWnd::OnLButtonDblClk),
        ui::OnMouse(WM_MOUSEMOVE, &ColorEditWnd::OnMouseMove),
        ui::OnMouse(WM_LBUTTONUP, &ColorEditWnd::OnLButtonUp),
        ui::OnSignal(WM_CAPTURECHANGED, &ColorEditWnd::OnCaptureChanged),
        ui::OnFocus(WM_SETFOCUS, &ColorEditWnd::OnSetFocus),
        ui::OnFocus(WM_KILLFOCUS, &ColorEditWnd::OnKillFocus),
        ui::OnMessage(WM_SETCURSOR, &ColorEditWnd::OnSetCursor),
        ui::OnTimer(&ColorEditWnd::OnTimer),
        ui::OnSignal(kReadNews, &ColorEditWnd::StartWork),
        ui::OnMessage(WM_GETTEXT, &ColorEditWnd::OnGetText),
        ui::OnMessage(WM_GETTEXTLENGTH, &ColorEditWnd::OnGetTextLength),
        ui::OnSignal(WM_SYSCOLORCHANGE, &ColorEditWnd::OnColorsChanged),
        ui::OnSignal(WM_SETTINGCHANGE, &ColorEditWnd::OnColorsChanged),
        ui::OnSignal(WM_THEMECHANGED, &ColorEditWnd::OnColorsChanged),
        ui::OnMessage(WM_RENDERFORMAT, &ColorEditWnd::OnRenderFormat),
        ui::OnSignal(WM_RENDERALLFORMATS, &ColorEditWnd::OnRenderAllFormats),
        ui::OnSignal(WM_DESTROYCLIPBOARD, &ColorEditWnd::OnDestroyClipboard),
        ui::OnMessage(WM_DPICHANGED, &ColorEditWnd::OnDpiChanged),
        ui::OnMessage(WM_DPICHANGED_AFTERPARENT, &ColorEditWnd::OnDpiChanged),
        ui::OnMessage(WM_GETFONT, &ColorEditWnd::OnGetFont),
    };
    static const ui::MessageMap map(ui::Window::ThisMessageMap(), entries);
    return &map;
}

void ColorEditWnd::SetColorizer(CColorizer* colorizer) {
    m_colorizer = colorizer;
    m_states.Reset(LineCount());
    StartWork();
    if (m_hwnd) ::InvalidateRect(m_hwnd, nullptr, FALSE);
}

void ColorEditWnd::Reset() {
    if (m_hwnd) ::KillTimer(m_hwnd, kWorkTimer);
    m_work = Work::Idle;
    m_pending = Pending::None;
    // A copy of the text shown so far is given up with it.
    CancelCopy();
    m_reader.Close();
    m_textLines.Clear();
    m_textCopy.clear();
    m_textCopy.shrink_to_fit();
    m_encodingChanges = 0;
    m_message.clear();
    m_note.clear();
    m_top = 0;
    m_left = 0;
    m_caret = m_anchor = Pos{};
    m_wantedX = 0;
    m_contentWidth = 0;
    m_layout = Layout{};
    m_paintLayout = Layout{};
    // An empty text has one empty line; the index needs bytes to point at.
    static const unsigned char none = 0;
    m_textLines.AssignEncoded(&none, 0, text::Encoding::Utf16LE);
    m_shows = Shows::OwnText;
    m_states.Reset(LineCount());
}

void ColorEditWnd::ShowMessage(const std::wstring& text) {
    Reset();
    m_message = text;
    AfterLoad(0);
}

void ColorEditWnd::AfterLoad(std::size_t firstLine) {
    m_states.Reset(LineCount());
    const std::size_t longest = std::min<std::size_t>(Lines().LongestLine(), INT_MAX / 64);
    m_contentWidth = static_cast<int>(longest) * m_charWidth + m_charWidth;
    if (!m_note.empty())
        m_contentWidth = std::max<int>(m_contentWidth, static_cast<int>(m_note.size() + 1) * m_charWidth);
    m_top = 0;
    SetTop(static_cast<std::ptrdiff_t>(std::min(firstLine, TotalRows())));
    m_caret = m_anchor = Pos{m_top, 0};
    UpdateScrollBars();
    PlaceCaret();
    StartWork();
    if (m_hwnd) ::InvalidateRect(m_hwnd, nullptr, FALSE);
}

int ColorEditWnd::LoadText(const std::wstring& textIn, int firstLine) {
    Reset();
    // On Windows a wchar_t is one UTF-16 code unit, so the text's own bytes
    // are UTF-16LE.
    m_textCopy = textIn;
    m_textLines.AssignEncoded(reinterpret_cast<const unsigned char*>(m_textCopy.data()),
                              m_textCopy.size() * sizeof(wchar_t), text::Encoding::Utf16LE);
    AfterLoad(firstLine > 0 ? static_cast<std::size_t>(firstLine) : 0);
    return 1;
}

std::wstring ColorEditWnd::LineText(std::size_t line) const {
    std::wstring text;
    Lines().GetLine(line, text);
    return text;
}

std::size_t ColorEditWnd::LineLength(std::size_t line) const {
    if (m_layout.line == line) return m_layout.text.size();
    std::wstring text;
    Lines().GetLine(line, text);
    return text.size();
}

ColorStateCache::LineSource ColorEditWnd::StateSource() const {
    return [this](std::size_t n, std::wstring& out, bool& ends, wchar_t& follow) {
        Lines().GetLine(n, out, &ends);
        follow = ends ? 0 : Lines().FollowingUnit(n);
    };
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
    if (!m_states.Near(m_top)) StartWork();
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

void ColorEditWnd::OnSize(UINT, int, int) {
    // Keep the view inside the text when the window grows.
    SetTop(static_cast<std::ptrdiff_t>(m_top));
    SetLeft(m_left);
    UpdateScrollBars();
}

void ColorEditWnd::OnVScroll(UINT code, int, HWND) {
    // Scrolling elsewhere gives up a wait for the bottom; the end of a
    // scroll (which follows SB_BOTTOM too) keeps it.
    if (code != SB_ENDSCROLL) m_pending = Pending::None;
    const std::ptrdiff_t top = static_cast<std::ptrdiff_t>(m_top);
    const int page = VisibleRows();
    switch (code) {
    case SB_LINEUP: SetTop(top - 1); break;
    case SB_LINEDOWN: SetTop(top + 1); break;
    case SB_PAGEUP: SetTop(top - page); break;
    case SB_PAGEDOWN: SetTop(top + page); break;
    case SB_TOP: SetTop(0); break;
    case SB_BOTTOM:
        // The end of a file still being read comes when it has been read.
        if (Loading()) m_pending = Pending::Bottom;
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
}

void ColorEditWnd::OnHScroll(UINT code, int, HWND) {
    const int width = ClientRect().right;
    switch (code) {
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
}

bool ColorEditWnd::OnMouseWheel(UINT, int delta, POINT) {
    m_pending = Pending::None;
    UINT lines = 3;
    ::SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    m_wheelRest += delta;
    const int notches = m_wheelRest / WHEEL_DELTA;
    m_wheelRest -= notches * WHEEL_DELTA;
    if (notches) {
        const std::ptrdiff_t step =
            lines == WHEEL_PAGESCROLL ? VisibleRows() : static_cast<std::ptrdiff_t>(lines);
        SetTop(static_cast<std::ptrdiff_t>(m_top) - notches * step);
    }
    return true;
}

ColorEditWnd::Pos ColorEditWnd::PosBefore(Pos to) const {
    const Layout& l = LayoutOf(to.line);
    if (to.unit > 0) {
        --to.unit;
        while (to.unit > 0 && to.unit < l.text.size() && l.x[to.unit + 1] == l.x[to.unit]) --to.unit;
    } else if (to.line > 0) {
        --to.line;
        to.unit = LineLength(to.line);
    }
    return to;
}

ColorEditWnd::Pos ColorEditWnd::PosAfter(Pos to) const {
    const Layout& l = LayoutOf(to.line);
    if (to.unit < l.text.size()) {
        ++to.unit;
        // Over units drawn as one with the one before (surrogate halves, marks).
        while (to.unit < l.text.size() && l.x[to.unit + 1] == l.x[to.unit]) ++to.unit;
    } else if (to.line < LineCount() - 1) {
        ++to.line;
        to.unit = 0;
    }
    return to;
}

void ColorEditWnd::OnKeyDown(UINT vk, UINT, UINT) {
    const bool shift = ::GetKeyState(VK_SHIFT) < 0;
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0;
    const std::size_t last = LineCount() - 1;
    Pos to = m_caret;
    const std::ptrdiff_t line = static_cast<std::ptrdiff_t>(m_caret.line);
    const int page = VisibleRows();
    // A key that moves gives up a wait for the end of the file (Ctrl+End and
    // Ctrl+A arm it again); keys that do not move leave it.
    const Pending waiting = std::exchange(m_pending, Pending::None);
    switch (vk) {
    case VK_UP: MoveVertically(line - 1, shift); break;
    case VK_DOWN: MoveVertically(line + 1, shift); break;
    case VK_PRIOR:
        SetTop(static_cast<std::ptrdiff_t>(m_top) - page);
        MoveVertically(line - page, shift);
        break;
    case VK_NEXT:
        SetTop(static_cast<std::ptrdiff_t>(m_top) + page);
        MoveVertically(line + page, shift);
        break;
    case VK_LEFT: MoveCaret(PosBefore(to), shift); break;
    case VK_RIGHT: MoveCaret(PosAfter(to), shift); break;
    case VK_HOME:
        to = ctrl ? Pos{0, 0} : Pos{to.line, 0};
        MoveCaret(to, shift);
        break;
    case VK_END:
        if (ctrl && Loading()) {
            // The end of a file still being read comes when it has been read.
            m_pending = shift ? Pending::ExtendToEnd : Pending::End;
            StartWork();
        }
        to.line = ctrl ? last : to.line;
        to.unit = LineLength(to.line);
        MoveCaret(to, shift);
        break;
    case 'A':
        if (!ctrl) {
            m_pending = waiting;
            return Decline();
        }
        SelectAll();
        break;
    case 'C':
    case VK_INSERT:
        m_pending = waiting;
        if (!ctrl) return Decline();
        Copy();
        break;
    default: m_pending = waiting; return Decline();
    }
}

void ColorEditWnd::OnChar(UINT ch, UINT, UINT) {
    // Ctrl+A and Ctrl+C arrive here as control characters too; the text is
    // read-only. Tab, Enter and Esc are the dialog's.
    if (ch == VK_TAB || ch == VK_RETURN || ch == VK_ESCAPE) Decline();
}

bool ColorEditWnd::OnGetDlgCode(ui::Message& m) {
    m.result = DLGC_WANTARROWS | DLGC_WANTCHARS;
    return true;
}

void ColorEditWnd::OnLButtonDown(UINT keys, POINT pt) {
    m_pending = Pending::None;
    ::SetFocus(m_hwnd);
    const Pos at = HitTest(pt.x, pt.y);
    MoveCaret(at, (keys & MK_SHIFT) != 0);
    m_dragging = true;
    ::SetCapture(m_hwnd);
}

void ColorEditWnd::OnLButtonDblClk(UINT, POINT pt) {
    // Selects the word under the pointer.
    const Pos at = HitTest(pt.x, pt.y);
    const std::wstring text = LineText(at.line);
    std::size_t a = at.unit, b = at.unit;
    while (a > 0 && CColorizer::IsWordChar(text[a - 1])) --a;
    while (b < text.size() && CColorizer::IsWordChar(text[b])) ++b;
    SetSelection(Pos{at.line, a}, Pos{at.line, b});
}

void ColorEditWnd::OnMouseMove(UINT, POINT pt) {
    if (!m_dragging) return;
    // Dragging past the top or bottom edge scrolls.
    if (pt.y < 0) SetTop(static_cast<std::ptrdiff_t>(m_top) - 1);
    if (pt.y >= ClientRect().bottom) SetTop(static_cast<std::ptrdiff_t>(m_top) + 1);
    MoveCaret(HitTest(pt.x, pt.y), true);
}

void ColorEditWnd::OnLButtonUp(UINT, POINT) {
    if (m_dragging) {
        m_dragging = false;
        ::ReleaseCapture();
    }
}

void ColorEditWnd::OnCaptureChanged() {
    // Another window took the mouse (a menu, a dialog, Alt+Tab): the drag is over.
    m_dragging = false;
}

void ColorEditWnd::OnSetFocus(HWND) {
    ::CreateCaret(m_hwnd, nullptr, 2, m_lineHeight);
    PlaceCaret();
    ::ShowCaret(m_hwnd);
    Decline();
}

void ColorEditWnd::OnKillFocus(HWND) {
    ::DestroyCaret();
    m_dragging = false;
    Decline();
}

bool ColorEditWnd::OnSetCursor(ui::Message& m) {
    if (LOWORD(m.lParam) != HTCLIENT) return false;
    const wchar_t* cursor = Copying() ? IDC_APPSTARTING : (m_message.empty() ? IDC_IBEAM : IDC_ARROW);
    ::SetCursor(::LoadCursorW(nullptr, cursor));
    m.result = TRUE;
    return true;
}

std::wstring ColorEditWnd::ScreenText() const {
    if (!m_message.empty()) return m_message;
    // Nothing of a script that is still being opened is shown but the note.
    if (m_shows == Shows::OwnText && Loading()) return m_note;
    std::wstring out, line;
    const std::size_t end = std::min(LineCount(), m_top + static_cast<std::size_t>(VisibleRows()));
    for (std::size_t i = m_top; i < end; ++i) {
        Lines().GetLine(i, line);
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
