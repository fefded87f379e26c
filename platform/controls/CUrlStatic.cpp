#include "platform/controls/CUrlStatic.h"

#include <shellapi.h>

#include <cwctype>

#include "platform/ui/Colours.h"

namespace {

// The system's link colour, unless it would hardly show on the page (some
// colour schemes set it close to the face colour); then the usual link blue.
COLORREF LinkColour() {
    const COLORREF hot = ::GetSysColor(COLOR_HOTLIGHT);
    if (ui::HighContrast() || ui::ReadableOn(hot, ::GetSysColor(COLOR_BTNFACE))) return hot;
    return RGB(0, 102, 204);
}

}  // namespace

const ui::MessageMap* CUrlStatic::ThisMessageMap() {
    static const ui::MessageEntry entries[] = {
        ui::OnPaint(&CUrlStatic::OnPaint),
        ui::OnMessage(WM_ERASEBKGND, &CUrlStatic::OnEraseBkgnd),
        ui::OnMessage(WM_SETCURSOR, &CUrlStatic::OnSetCursor),
        ui::OnMessage(WM_GETDLGCODE, &CUrlStatic::OnGetDlgCode),
        ui::OnKey(WM_KEYDOWN, &CUrlStatic::OnKeyDown),
        ui::OnFocus(WM_SETFOCUS, &CUrlStatic::OnFocusChange),
        ui::OnFocus(WM_KILLFOCUS, &CUrlStatic::OnFocusChange),
        ui::OnMessage(ui::kReflectedCommand, &CUrlStatic::OnClicked),
    };
    static const ui::MessageMap map(ui::Window::ThisMessageMap(), entries);
    return &map;
}

bool CUrlStatic::Create(const wchar_t* text, DWORD style, const RECT& rect, HWND parent, UINT id) {
    return CreateControl(L"STATIC", text, style | SS_NOTIFY | WS_TABSTOP, rect, parent, id);
}

bool CUrlStatic::IsAllowedUrl(const std::wstring& url) {
    auto startsWith = [&](const wchar_t* prefix) {
        size_t i = 0;
        for (; prefix[i]; ++i)
            if (i >= url.size() || std::towlower(url[i]) != prefix[i]) return false;
        return true;
    };
    return startsWith(L"https://") || startsWith(L"http://") || startsWith(L"mailto:");
}

bool CUrlStatic::Open() { return IsAllowedUrl(m_url) && OpenUrl(m_url); }

bool CUrlStatic::OpenUrl(const std::wstring& url) {
    HWND owner = m_hwnd ? ::GetParent(m_hwnd) : nullptr;
    return reinterpret_cast<INT_PTR>(
               ::ShellExecuteW(owner, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) > 32;
}

HFONT CUrlStatic::LinkFont() {
    if (!m_font) {
        HFONT base = reinterpret_cast<HFONT>(::SendMessageW(::GetParent(m_hwnd), WM_GETFONT, 0, 0));
        LOGFONTW lf{};
        ::GetObjectW(base ? static_cast<HGDIOBJ>(base) : ::GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
        lf.lfUnderline = TRUE;
        m_font.Reset(::CreateFontIndirectW(&lf));
    }
    return m_font.Get();
}

SIZE CUrlStatic::IdealSize() {
    if (!m_hwnd) return SIZE{0, 0};
    const ui::WindowDC dc(m_hwnd);
    if (!dc) return SIZE{0, 0};
    const ui::ScopedSelect font(dc.Get(), LinkFont());
    const std::wstring text = Text();
    RECT r{0, 0, 0, 0};
    ::DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &r,
                DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
    return SIZE{r.right - r.left + 1, r.bottom - r.top};
}

bool CUrlStatic::OnEraseBkgnd(ui::Message& m) {
    m.result = 1;  // painted with the text in OnPaint, which avoids flicker
    return true;
}

void CUrlStatic::OnPaint(HDC dc) {
    RECT rc = ClientRect();
    HWND parent = ::GetParent(m_hwnd);
    auto brush = reinterpret_cast<HBRUSH>(::SendMessageW(
        parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(m_hwnd)));
    ::FillRect(dc, &rc, brush ? brush : ::GetSysColorBrush(COLOR_BTNFACE));
    {
        const ui::ScopedSelect font(dc, LinkFont());
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, ::IsWindowEnabled(m_hwnd) ? LinkColour() : ::GetSysColor(COLOR_GRAYTEXT));
        wchar_t text[512] = {};
        ::GetWindowTextW(m_hwnd, text, 512);
        RECT textRect = rc;
        ::DrawTextW(dc, text, -1, &textRect, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
        ::DrawTextW(dc, text, -1, &textRect, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
        if (::GetFocus() == m_hwnd) {
            InflateRect(&textRect, 1, 0);
            ::DrawFocusRect(dc, &textRect);
        }
    }
}

bool CUrlStatic::OnSetCursor(ui::Message& m) {
    ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
    m.result = TRUE;
    return true;
}

bool CUrlStatic::OnGetDlgCode(ui::Message& m) {
    // Enter and Space open the link instead of pressing the dialog's default button.
    const auto* msg = reinterpret_cast<const MSG*>(m.lParam);
    m.result = DLGC_STATIC;
    if (msg && msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_SPACE))
        m.result |= DLGC_WANTMESSAGE;
    return true;
}

void CUrlStatic::OnKeyDown(UINT vk, UINT, UINT) {
    if (vk != VK_RETURN && vk != VK_SPACE) return Decline();
    Open();
}

void CUrlStatic::OnFocusChange(HWND) {
    ::InvalidateRect(m_hwnd, nullptr, TRUE);
    Decline();
}

bool CUrlStatic::OnClicked(ui::Message& m) {
    const UINT code = HIWORD(m.wParam);
    if (code != STN_CLICKED) return false;
    if (::GetFocus() != m_hwnd) ::SetFocus(m_hwnd);
    Open();
    m.result = 0;
    return true;
}
