// A static text that looks and acts like a link: link colour, underlined,
// hand cursor, reachable with Tab, opened by a click, Enter or Space. Only
// http, https and mailto addresses are ever opened.
#pragma once

#include <string>

#include "platform/ui/Gdi.h"
#include "platform/ui/Window.h"

class CUrlStatic : public ui::Window {
public:
    CUrlStatic() = default;

    // Creates the static; SS_NOTIFY and WS_TABSTOP are added to the style.
    bool Create(const wchar_t* text, DWORD style, const RECT& rect, HWND parent, UINT id);
    void SetURL(const std::wstring& url) { m_url = url; }
    const std::wstring& URL() const { return m_url; }

    // The room the link needs: its text on one line in the font it paints
    // with, and the pixel on the right where the focus rectangle is drawn.
    SIZE IdealSize();

    // Opens the address if its scheme is allowed; false otherwise.
    bool Open();
    static bool IsAllowedUrl(const std::wstring& url);

    const ui::MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    static const ui::MessageMap* ThisMessageMap();

protected:
    // Hands the address to the shell; tests override it.
    virtual bool OpenUrl(const std::wstring& url);

private:
    void OnPaint(HDC dc);
    bool OnSetCursor(ui::Message& m);
    bool OnGetDlgCode(ui::Message& m);
    void OnKeyDown(UINT vk, UINT repeat, UINT flags);
    void OnFocusChange(HWND other);
    bool OnClicked(ui::Message& m);
    bool OnEraseBkgnd(ui::Message& m);
    HFONT LinkFont();

    std::wstring m_url;
    ui::Font m_font;
};
