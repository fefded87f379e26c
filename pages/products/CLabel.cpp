#include "pages/products/CLabel.h"

#include "platform/ui/Colours.h"
#include "platform/ui/Dpi.h"

long CLabel::s_liveObjects = 0;

CLabel::CLabel(int bold, int colour) : m_bold(bold), m_colour(colour) {}

CLabel::~CLabel() {
    // The window goes first, so that nothing paints with the font or brush
    // after they are released.
    DestroyWindow();
    s_liveObjects -= (m_font ? 1 : 0) + (m_brush ? 1 : 0);
}

const ui::MessageMap* CLabel::ThisMessageMap() {
    static const ui::MessageEntry entries[] = {
        ui::OnMessage(ui::kReflectedCtlColor, &CLabel::OnCtlColor),
    };
    static const ui::MessageMap map(ui::Window::ThisMessageMap(), entries);
    return &map;
}

bool CLabel::Create(const wchar_t* text, DWORD style, const RECT& rect, HWND parent, UINT id) {
    return CreateControl(L"STATIC", text, style, rect, parent, id);
}

HFONT CLabel::EnsureFont() {
    if (!m_fontReady) {
        ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof m_logFont, &m_logFont);
        // The stock font is made for the system's DPI; the label may be on a
        // monitor of another.
        const UINT dpi = ui::DpiOf(m_hwnd);
        m_logFont.lfHeight =
            ::MulDiv(m_logFont.lfHeight, static_cast<int>(dpi), static_cast<int>(ui::SystemDpi()));
        if (m_bold) {
            m_logFont.lfWeight = FW_BOLD;
            m_logFont.lfHeight -= ui::Scale(3, dpi);  // a negative character height: three pixels taller
        }
        m_fontReady = 1;
    }
    if (!m_font) {
        m_font.Reset(::CreateFontIndirectW(&m_logFont));
        if (m_font) ++s_liveObjects;
    }
    return m_font.Get();
}

SIZE CLabel::TextExtent() {
    HFONT font = EnsureFont();
    if (!m_hwnd || !font) return SIZE{0, 0};
    const ui::WindowDC dc(m_hwnd);
    if (!dc) return SIZE{0, 0};
    const ui::ScopedSelect select(dc.Get(), font);
    const std::wstring text = Text();
    // As the static control draws it: prefix characters and tabs are its own.
    RECT r{0, 0, 0, 0};
    ::DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &r,
                DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

HBRUSH CLabel::EnsureBrush() {
    // Made again when the colour scheme has changed the face since.
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    if (m_brush && m_brushColour != face) {
        m_brush.Reset();
        --s_liveObjects;
    }
    if (!m_brush) {
        m_brush.Reset(::CreateSolidBrush(face));
        m_brushColour = face;
        if (m_brush) ++s_liveObjects;
    }
    return m_brush.Get();
}

COLORREF CLabel::TextColour() {
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    if (!m_colour) return ::GetSysColor(COLOR_BTNTEXT);
    if (ui::HighContrast()) return ::GetSysColor(COLOR_HIGHLIGHT);
    // Red, or a lighter red on a dark face; the system's text colour when neither reads.
    for (const COLORREF red : {RGB(255, 0, 0), RGB(255, 110, 110)})
        if (ui::ReadableOn(red, face)) return red;
    return ::GetSysColor(COLOR_BTNTEXT);
}

bool CLabel::OnCtlColor(ui::Message& m) {
    HDC dc = reinterpret_cast<HDC>(m.wParam);
    if (m.lParam == CTLCOLOR_STATIC && dc) {
        if (HFONT font = EnsureFont()) ::SelectObject(dc, font);
        ::SetTextColor(dc, TextColour());
        ::SetBkMode(dc, TRANSPARENT);
    }
    m.result = reinterpret_cast<LRESULT>(EnsureBrush());
    return true;
}
