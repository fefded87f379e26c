// The read-only script preview: a window of its own that shows a text with
// SQL colouring. A file is read in steps (text::TextReader) into its bytes and
// a sparse line index; only the lines on screen are decoded, laid out and
// coloured, so that the first screen of a script of hundreds of megabytes
// appears about as fast as the file can be read. The user scrolls with the
// keyboard, the wheel and the scroll bars, selects with the mouse or Shift and
// the keys, and copies with Ctrl+C (Ctrl+A selects everything).
//
// The class is spread over four files: ColorEditWnd.cpp (the window, its
// font, scrolling and input), ColorEditLoad.cpp (loading on a worker and the
// background work on a timer), ColorEditSelection.cpp (caret, selection,
// hit-testing and the clipboard) and ColorEditPaint.cpp (colour roles, line
// layout and painting).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/text/CColorizer.h"
#include "platform/text/TextDecode.h"
#include "platform/text/TextReader.h"
#include "platform/os/Handle.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Window.h"

class ColorEditWnd : public ui::Window {
public:
    // Files larger than this show their first kMaxFileBytes (cut after a line
    // break) and say so below the text.
    static constexpr std::uint64_t kMaxFileBytes = 256ull << 20;
    // A copy larger than this many characters is refused with a message.
    static constexpr std::size_t kMaxCopyUnits = 64u << 20;
    static constexpr std::size_t kFirstBytes = 1u << 20;
    static constexpr long long kFirstWaitMs = 50;
    static_assert(kFirstBytes >= text::TextLines::kDecideBytes,
                  "the first screen shows the decided encoding");
    // The timer that drives the background work (reading, then working out
    // colouring states far down).
    static constexpr UINT_PTR kWorkTimer = 1;
    // Posted by the reading worker when it has news.
    static constexpr UINT kReadNews = WM_APP + 1;

    // The colours the preview draws with.
    enum class ColorRole : std::uint8_t {
        Text,
        Keyword,
        String,
        Identifier,
        Comment,
        Number,
        Background,
        SelectedText,
        Selection,
        Note,
        Count
    };

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
    // How long LoadFile waits for the first screen of a script (for tests on
    // a busy machine, which must not see a script that answers as one that
    // does not).
    void SetFirstWait(long long milliseconds) { m_firstWaitMs = milliseconds; }

    // A line in the ANSI code page as the preview shows it (Latin-1 where the
    // system cannot convert it); whoever searches scripts decodes them alike.
    static void DecodeAnsi(const unsigned char* bytes, std::size_t size, std::wstring& out);

    // Colours the text with `colorizer` (null: no colours); it must outlive the window's use of it.
    void SetColorizer(CColorizer* colorizer);
    // Shows the text of a file. The file is opened and read on a worker
    // thread, so that a script on a share or disk that does not answer never
    // holds the window; the window waits up to kFirstWaitMs for the first
    // kFirstBytes (enough to decide the encoding), so that a script that
    // answers shows its first screen at once, and otherwise says that the
    // script is being read. The rest is taken up in slices of a few tens of
    // milliseconds as it arrives, while the window stays responsive. Another
    // LoadFile or LoadText gives a read up; nothing of it is shown then.
    // 0 when the file was refused or could not be read (the window says so in
    // place of the text), else 1.
    int LoadFile(const std::wstring& path);
    // Waits for the rest of a file and takes it up at once.
    void FinishLoading();
    bool Loading() const { return !m_reader.Done(); }
    // Whether background work (reading, colouring states) is still going on.
    bool Working() const { return m_work == Work::Running || Loading(); }
    // The height of a line in pixels, for the font at the window's DPI.
    int LineHeight() const { return m_lineHeight; }
    // Shows `text`, scrolled so that line `firstLine` is at the top (0: the start).
    int LoadText(const std::wstring& text, int firstLine);

    // What the window shows.
    std::size_t LineCount() const { return Lines().LineCount(); }
    std::wstring LineText(std::size_t line) const;
    text::Encoding Encoding() const { return Lines().GetEncoding(); }
    std::size_t FirstVisibleLine() const { return m_top; }
    // The text shown instead of a file that could not be read, or empty.
    const std::wstring& Message() const { return m_message; }
    // The note below a text cut to kMaxFileBytes, or empty.
    const std::wstring& Note() const { return m_note; }
    // How many lines the last paint laid out and coloured.
    std::size_t LinesPaintedLast() const { return m_paintedLines; }
    // The colour a role is drawn in now.
    COLORREF RoleColor(ColorRole role) const { return m_palette[static_cast<int>(role)]; }

    using Pos = text::TextPos;
    Pos Caret() const { return m_caret; }
    void SetSelection(Pos anchor, Pos caret);
    void SelectAll();
    // The selected text as it is in the file. Empty when nothing is selected,
    // when the selection holds no text, or when it exceeds kMaxCopyUnits.
    std::wstring SelectedText() const;
    // Puts the selection on the clipboard; false when there was nothing to
    // copy. A copy that takes longer than a moment goes on in slices of the
    // background work while the window shows its progress, and reaches the
    // clipboard when done; a selection that grows to the end of a file still
    // being read is copied once it has been read. A new copy, another text
    // or closing the window gives up the one under way.
    bool Copy();
    // Whether a copy is under way, and the progress shown meanwhile (empty when none).
    bool Copying() const { return !std::holds_alternative<std::monostate>(m_copying); }
    const std::wstring& Progress() const { return m_progress; }
    // The pixel offset of a place in its line, from the text's left edge.
    int XOf(Pos pos) const;

    // The window's text (WM_GETTEXT) is what it shows: the lines on screen, or
    // the message in their place ("Reading the script..." while a script is
    // opened), so that screen readers and other programs can read it.

    // Paints the visible part of the text into `dc` (client coordinates).
    void Paint(HDC dc);

    const ui::MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    static const ui::MessageMap* ThisMessageMap();

private:
    // Each of the window's states is one value, changed in one place each:
    // - what the lines come from: the file's reader, or a text of the
    //   window's own (LoadText, a message, or the empty text shown until a
    //   file's encoding is decided);
    enum class Shows : std::uint8_t { File, OwnText };
    // - whether the work timer runs (reading, copying, colouring states);
    enum class Work : std::uint8_t { Idle, Running };
    // - what the user asked for that needs the whole file, done when it is read;
    enum class Pending : std::uint8_t { None, End, ExtendToEnd, SelectAll, Bottom };
    // - the copy: none, one waiting for the file to be read to its end (from
    //   a place), or one being built (m_copying below).
    struct CopyJob;
    struct CopyWhenRead {
        Pos from;
    };
    using CopyState = std::variant<std::monostate, CopyWhenRead, std::unique_ptr<CopyJob>>;

    // A line laid out as drawn: the x of every code unit boundary (size + 1
    // entries, from the text's left edge), tabs expanded.
    struct Layout {
        std::size_t line = static_cast<std::size_t>(-1);
        std::wstring text;
        std::vector<int> x;
    };

    static constexpr int kMargin = 4;  // pixels between the left edge and the text

    const text::TextLines& Lines() const {
        return m_shows == Shows::OwnText ? m_textLines : m_reader.Lines();
    }
    // The copy being built, or null.
    CopyJob* RunningCopy() const;
    void Reset();
    void ShowMessage(const std::wstring& text);
    int Fail(const wchar_t* what, DWORD error);
    bool TakeRead(std::size_t total);
    bool HandleStatus(text::TextReader::Status status);
    void AfterStep();
    void StartWork();
    bool DoWork();
    void OnTimer(UINT_PTR id);
    void RunPending();
    static double NowMs();
    // Copying: [from, to) is built into memory for the clipboard, for
    // kCopyAtOnceMs at once and then a slice at a time.
    bool StartCopy(Pos from, Pos to);
    bool CopySlice(double until);
    bool FinishCopy();
    bool HandToClipboard(std::unique_ptr<CopyJob> job);
    void CancelCopy();
    void SetProgress(const std::wstring& text);
    void PaintProgress(HDC dc, const RECT& client);
    void RenderPromised();
    void RenderAllPromised();
    bool OnRenderFormat(ui::Message& m);
    void OnRenderAllFormats();
    void OnDestroyClipboard();
    void AfterLoad(std::size_t firstLine);
    std::size_t TotalRows() const { return LineCount() + (m_note.empty() ? 0 : 1); }
    int VisibleRows() const;
    void SetTop(std::ptrdiff_t top);
    void SetLeft(int left);
    void UpdateScrollBars();
    void EnsureCaretVisible();
    void PlaceCaret();
    void MoveCaret(Pos to, bool extend);
    void MoveVertically(std::ptrdiff_t line, bool extend);
    Pos HitTest(int x, int y) const;
    std::size_t LineLength(std::size_t line) const;
    // The caret position one character before or after `to`, across line ends.
    Pos PosBefore(Pos to) const;
    Pos PosAfter(Pos to) const;
    const Layout& LayoutOf(std::size_t line) const;
    void MeasureLine(HDC dc, const std::wstring& text, std::vector<int>& x) const;
    std::size_t UnitAtX(const Layout& layout, int x) const;
    ColorStateCache::LineSource StateSource() const;
    bool Colouring() const { return m_colorizer && m_colorizer->Highlighting(); }
    void UpdatePalette();
    void PaintLine(HDC dc, std::size_t line, int y, CColorizer::State& state, bool colour,
                   const RECT& client);
    // The units of `line` (of `length` units) that are selected, [first, second); second is
    // length + 1 when the line break is selected too.
    std::pair<std::size_t, std::size_t> SelectedUnits(std::size_t line, std::size_t length) const;
    static constexpr std::uint8_t kSelectedUnit = 0x80;
    std::vector<std::uint8_t> UnitAttributes(std::size_t length,
                                             std::pair<std::size_t, std::size_t> selected) const;
    // Draws the visible units of a line in runs of one attribute.
    void PaintRuns(HDC dc, const Layout& l, const std::vector<std::uint8_t>& attr, int y, const RECT& client);
    void PaintRun(HDC dc, int x, int y, const std::wstring& run, const std::vector<INT>& dx, int attr);
    // The selected line break, and the scroll range for a line wider than counted.
    void PaintLineEnd(HDC dc, std::size_t line, std::size_t selectedEnd, int y);

    void OnPaint(HDC dc);
    bool OnPrintClient(ui::Message& m);
    bool OnEraseBkgnd(ui::Message& m);
    void OnSize(UINT type, int cx, int cy);
    void OnVScroll(UINT code, int pos, HWND bar);
    void OnHScroll(UINT code, int pos, HWND bar);
    bool OnMouseWheel(UINT keys, int delta, POINT pt);
    void OnKeyDown(UINT vk, UINT repeat, UINT flags);
    void OnChar(UINT ch, UINT repeat, UINT flags);
    bool OnGetDlgCode(ui::Message& m);
    void OnLButtonDown(UINT keys, POINT pt);
    void OnLButtonDblClk(UINT keys, POINT pt);
    void OnMouseMove(UINT keys, POINT pt);
    void OnLButtonUp(UINT keys, POINT pt);
    void OnCaptureChanged();
    void OnSetFocus(HWND lost);
    void OnKillFocus(HWND gets);
    bool OnSetCursor(ui::Message& m);
    bool OnGetText(ui::Message& m);
    bool OnGetTextLength(ui::Message& m);
    void OnColorsChanged();
    void MakeFont(UINT dpi);
    bool OnDpiChanged(ui::Message& m);
    bool OnGetFont(ui::Message& m);
    // The lines on screen joined with CR LF, or the message shown instead
    // (the note while a script is still being opened).
    std::wstring ScreenText() const;

    int m_tabWidth;
    int m_pointSize;  // tenths of a point
    std::wstring m_face;
    UINT m_dpi = 96;  // the font's
    std::uint64_t m_fileLimit = kMaxFileBytes;
    long long m_firstWaitMs = kFirstWaitMs;
    ui::Font m_font;
    // A memory device context with the font, for layout outside painting.
    // Declared after the font so that it goes first: the font is never
    // deleted while selected.
    ui::MemoryDC m_measure;
    int m_charWidth = 8;
    int m_lineHeight = 16;
    COLORREF m_palette[static_cast<int>(ColorRole::Count)] = {};

    CColorizer* m_colorizer = nullptr;
    std::wstring m_path;
    text::TextReader m_reader;
    Shows m_shows = Shows::File;  // OwnText: m_textLines over m_textCopy
    std::wstring m_textCopy;
    text::TextLines m_textLines;
    unsigned m_encodingChanges = 0;
    ColorStateCache m_states;
    Work m_work = Work::Idle;
    Pending m_pending = Pending::None;

    // A copy under way: the text is written straight into the block that
    // then goes to the clipboard, locked until then.
    struct CopyJob {
        CopyJob(const text::TextLines& lines, Pos from, Pos to) : copier(lines, from, to, kMaxCopyUnits) {}
        text::RangeCopier copier;
        os::GlobalMemory memory;
        // The block locked while it is written; unlocked before the memory goes.
        std::optional<os::GlobalLock<wchar_t>> text;
        int tries = 0;  // of opening the clipboard
    };
    CopyState m_copying;
    // A large copied text the clipboard was promised and has not asked for
    // yet; apart from the state above, as a new copy may start meanwhile.
    std::unique_ptr<CopyJob> m_onClipboard;
    std::wstring m_progress;
    std::wstring m_message;
    std::wstring m_note;

    std::size_t m_top = 0;  // first visible line
    int m_left = 0;         // horizontal scroll in pixels
    int m_contentWidth = 0;
    Pos m_caret, m_anchor;
    int m_wantedX = 0;  // kept while moving up and down
    bool m_dragging = false;
    int m_wheelRest = 0;
    std::size_t m_paintedLines = 0;
    mutable Layout m_layout;  // the last line laid out outside painting
    Layout m_paintLayout;
    std::vector<CColorizer::Span> m_spans;
};
