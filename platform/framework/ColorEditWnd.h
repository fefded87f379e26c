// The read-only script preview: a window of its own that shows a text with
// SQL colouring. It keeps a file's bytes and a sparse line index
// (text::TextLines) and decodes, lays out and colours only the lines on screen,
// so that the first screen of a script of hundreds of megabytes appears about
// as fast as the file can be read. The user scrolls with the keyboard, the
// wheel and the scroll bars, selects with the mouse or Shift and the keys, and
// copies with Ctrl+C (Ctrl+A selects everything).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/framework/CColorizer.h"
#include "platform/framework/TextDecode.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Window.h"

class ColorEditWnd : public ui::Window {
public:
    // Files larger than this show their first kMaxFileBytes (cut after a line
    // break) and say so below the text.
    static constexpr std::uint64_t kMaxFileBytes = 256ull << 20;
    // A copy larger than this many characters is refused with a message.
    static constexpr std::size_t kMaxCopyUnits = 64u << 20;
    static constexpr std::size_t kFirstBytes = 2u << 20;
    static constexpr std::size_t kStepBytes = 16u << 20;

    // Creates the window as a child of `parent` at `rect` (the parent's client
    // pixels): `id` is its control id, `tabWidth` the columns between tab
    // stops, `pointSize` the font size in tenths of a point (90: 9 pt) and
    // `face` the font's face name.
    ColorEditWnd(ui::Window* parent, const RECT& rect, UINT id, int tabWidth, int pointSize,
                 const wchar_t* face);
    ~ColorEditWnd() override;

    // Lowers or raises the size above which a file is cut (for tests and
    // machines with little memory).
    void SetFileLimit(std::uint64_t bytes) { m_fileLimit = bytes; }

    // Colours the text with `colorizer` (null: no colours); it must outlive the window's use of it.
    void SetColorizer(CColorizer* colorizer);
    // Shows the text of a file. 1 when it was read; 0 when it could not be, in
    // which case the window says so in place of the text. The first
    // kFirstBytes are read at once, so that the first screen appears without
    // waiting for a large file; the rest is read in steps on a timer while the
    // window stays responsive.
    int LoadFile(const std::wstring& path);
    // Reads what is left of a file at once.
    void FinishLoading();
    bool Loading() const { return m_file != nullptr; }
    // Shows `text`, scrolled so that line `firstLine` is at the top (0: the start).
    int LoadText(const std::wstring& text, int firstLine);

    // What the window shows.
    std::size_t LineCount() const { return m_lines.LineCount(); }
    std::wstring LineText(std::size_t line) const;
    text::Encoding Encoding() const { return m_lines.GetEncoding(); }
    std::size_t FirstVisibleLine() const { return m_top; }
    // The text shown instead of a file that could not be read, or empty.
    const std::wstring& Message() const { return m_message; }
    // The note below a text cut to kMaxFileBytes, or empty.
    const std::wstring& Note() const { return m_note; }
    // How many lines the last paint laid out and coloured.
    std::size_t LinesPaintedLast() const { return m_paintedLines; }

    struct Pos {
        std::size_t line = 0;
        std::size_t unit = 0;  // UTF-16 code unit within the line
        bool operator<(const Pos& o) const { return line < o.line || (line == o.line && unit < o.unit); }
        bool operator==(const Pos& o) const { return line == o.line && unit == o.unit; }
    };
    Pos Caret() const { return m_caret; }
    void SetSelection(Pos anchor, Pos caret);
    void SelectAll();
    // The selected text with CR LF between lines; lines cut for length join
    // without a break. Empty when nothing is selected or it exceeds kMaxCopyUnits.
    std::wstring SelectedText() const;
    // Puts the selection on the clipboard; false when there was nothing to copy.
    bool Copy();

    // The window's text (WM_GETTEXT) is what it shows: the lines on screen, or
    // the message in their place, so that screen readers and other programs
    // can read it.

    // Paints the visible part of the text into `dc` (client coordinates).
    void Paint(HDC dc);

    const ui::MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    static const ui::MessageMap* ThisMessageMap();

private:
    void Reset();
    void ShowMessage(const std::wstring& text);
    int Fail(const wchar_t* what, DWORD error);
    // Reads on until `limit` bytes are there or the file ends; false after a
    // read error, which is then shown.
    bool ReadUpTo(std::size_t limit);
    // For a file cut to the limit: where the shown part ends, after a line break.
    std::size_t CutPoint();
    void CompleteLoad();
    void AfterStep();
    bool OnTimer(ui::Message& m);
    void AfterLoad(std::size_t firstLine);
    std::size_t TotalRows() const { return m_lines.LineCount() + (m_note.empty() ? 0 : 1); }
    int VisibleRows() const;
    void SetTop(std::ptrdiff_t top);
    void SetLeft(int left);
    void UpdateScrollBars();
    void EnsureCaretVisible();
    void PlaceCaret();
    void MoveCaret(Pos to, bool extend);
    Pos HitTest(int x, int y) const;
    std::size_t LineLength(std::size_t line) const;
    std::size_t ColumnOf(const std::wstring& line, std::size_t unit) const;
    std::size_t UnitAtColumn(const std::wstring& line, std::size_t column) const;
    CColorizer::State StateAt(std::size_t line);
    void PaintLine(HDC dc, std::size_t line, int y, CColorizer::State& state, const RECT& client);

    bool OnPaint(ui::Message& m);
    bool OnPrintClient(ui::Message& m);
    bool OnEraseBkgnd(ui::Message& m);
    bool OnSize(ui::Message& m);
    bool OnVScroll(ui::Message& m);
    bool OnHScroll(ui::Message& m);
    bool OnMouseWheel(ui::Message& m);
    bool OnKeyDown(ui::Message& m);
    bool OnChar(ui::Message& m);
    bool OnGetDlgCode(ui::Message& m);
    bool OnLButtonDown(ui::Message& m);
    bool OnLButtonDblClk(ui::Message& m);
    bool OnMouseMove(ui::Message& m);
    bool OnLButtonUp(ui::Message& m);
    bool OnSetFocus(ui::Message& m);
    bool OnKillFocus(ui::Message& m);
    bool OnSetCursor(ui::Message& m);
    bool OnGetText(ui::Message& m);
    bool OnGetTextLength(ui::Message& m);
    // The lines on screen joined with CR LF, or the message shown instead.
    std::wstring ScreenText() const;

    int m_tabWidth;
    std::uint64_t m_fileLimit = kMaxFileBytes;
    ui::Font m_font;
    int m_charWidth = 8;
    int m_lineHeight = 16;

    CColorizer* m_colorizer = nullptr;
    std::unique_ptr<unsigned char[]> m_bytes;  // a loaded file's bytes
    HANDLE m_file = nullptr;                   // open while a file is still being read
    std::wstring m_path;
    std::size_t m_have = 0;  // bytes read so far
    std::size_t m_want = 0;  // bytes the index was begun with
    std::uint64_t m_fileSize = 0;
    bool m_cut = false;
    std::wstring m_textCopy;  // a loaded text, as UTF-16 bytes for m_lines
    text::TextLines m_lines;
    ColorStateCache m_states;
    std::wstring m_message;
    std::wstring m_note;

    std::size_t m_top = 0;  // first visible line
    int m_left = 0;         // horizontal scroll in pixels
    int m_contentWidth = 0;
    Pos m_caret, m_anchor;
    std::size_t m_wantedColumn = 0;  // kept while moving up and down
    bool m_dragging = false;
    int m_wheelRest = 0;
    std::size_t m_paintedLines = 0;
    std::wstring m_scratch;  // reused line buffer
    std::vector<CColorizer::Span> m_spans;
};
