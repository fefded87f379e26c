// The static text of a product row: optionally bold (three pixels taller than
// the system's user-interface font, both at the label's DPI) and optionally
// red, painted transparently in the scheme's text colour over the button-face
// colour. Red gives way to a readable colour on a dark face and to the
// system's highlight in high contrast. The font is made at the first colour
// request and kept until the label is destroyed; the brush follows the face
// colour when the scheme changes.
#pragma once

#include <windows.h>

#include "platform/ui/Gdi.h"
#include "platform/ui/Window.h"

class CLabel : public ui::Window {
public:
    CLabel(int bold, int colour);
    ~CLabel() override;

    // Creates the static control and binds it to this object.
    bool Create(const wchar_t* text, DWORD style, const RECT& rect, HWND parent, UINT id);

    bool IsBold() const { return m_bold != 0; }
    bool IsColour() const { return m_colour != 0; }
    bool FontReady() const { return m_fontReady != 0; }
    const LOGFONTW& FontDescription() const { return m_logFont; }
    HFONT Font() const { return m_font.Get(); }
    // The size of the label's text on one line in the font it paints with
    // (made now if it has not painted yet).
    SIZE TextExtent();
    HBRUSH Brush() const { return m_brush.Get(); }

    // GDI objects (fonts and brushes) that all labels of the process own right now.
    static long LiveGdiObjects() { return s_liveObjects; }

    const ui::MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    static const ui::MessageMap* ThisMessageMap();

private:
    bool OnCtlColor(ui::Message& m);
    HFONT EnsureFont();
    HBRUSH EnsureBrush();
    COLORREF TextColour();

    LOGFONTW m_logFont{};
    int m_bold;
    int m_fontReady = 0;
    int m_colour;
    ui::Font m_font;
    ui::Brush m_brush;
    COLORREF m_brushColour = 0;

    static long s_liveObjects;
};
