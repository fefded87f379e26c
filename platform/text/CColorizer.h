// SQL syntax colouring for the script preview. Works one line at a time and
// carries a small state from line to line, so that the preview colours only
// the lines it shows: the state at any line is found by resuming from a
// remembered state at an earlier line (ColorStateCache), never by colouring
// the whole file.
//
// Text is UTF-16 code units, one wchar_t per unit on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

class CColorizer {
public:
    enum class TokenKind : std::uint8_t {
        Keyword,
        String,      // '...' with '' inside, also N'...'
        Identifier,  // "..." with "" inside, [...] with ]] inside
        Comment,     // -- to the end of the line, /* ... */ over any number of lines
        Number,      // 12, 1.5, .5, 1e-3, 0x1F
    };

    // What the previous line left open. Only these constructs span lines.
    enum class State : std::uint8_t {
        Code,
        BlockComment,
        String,
        QuotedIdentifier,
        BracketIdentifier,
        LineComment,  // only after a segment that does not end its line (see ColorizeSegment)
        // A segment cut between the two characters of a pair: the next one
        // starts with the second, which belongs to what the pair began.
        BlockCommentOpened,  // "/" | "*": the '*' of the opening
        CommentClosed,       // "*" | "/": the '/' of the closing
        StringQuote,         // "'" | "'": a doubled quote inside a string
        QuotedIdentifierQuote,
        BracketIdentifierBracket,
    };

    // A coloured run of a line; text between spans is plain.
    struct Span {
        std::uint32_t start;
        std::uint32_t length;
        TokenKind kind;
    };

    CColorizer() = default;

    // The words to highlight, matched without regard to ASCII case. An entry
    // of several words separated by blanks ("GROUP BY") highlights each of
    // them; parts holding other than word characters could never match a word
    // and are left out.
    void SetKeywords(const std::vector<std::wstring>& keywords);
    // Nonzero turns colouring on; with it off no spans are produced and every
    // line starts in State::Code.
    void SetHighlighting(int on);
    bool Highlighting() const { return highlighting_; }
    bool IsKeyword(const wchar_t* word, std::size_t len) const;

    // Colours one whole line (without its line break) that starts in state
    // `in`; appends the spans in order to `out` and returns the state the next
    // line starts in.
    State ColorizeLine(const wchar_t* begin, std::size_t len, State in, std::vector<Span>& out) const;
    // The same for a piece of a line; when `endsLine` is false the line goes
    // on in the next segment, so an open -- comment carries over, and
    // `follow` is the first code unit of that segment, so that a pair such as
    // "--", "/*", "*/" or "''" split between the two is still seen as one.
    State ColorizeSegment(const wchar_t* begin, std::size_t len, State in, bool endsLine,
                          std::vector<Span>* out, wchar_t follow = 0) const;
    // Only the state after the line, without spans and without keyword look-ups.
    State ScanLine(const wchar_t* begin, std::size_t len, State in, bool endsLine = true,
                   wchar_t follow = 0) const;

    static bool IsWordChar(wchar_t c);

private:
    std::unordered_set<std::wstring> keywords_;  // stored in ASCII upper case
    std::size_t longestKeyword_ = 0;
    bool highlighting_ = false;
};

// Remembers the colouring state at the start of every Interval-th line so
// that the state at any line costs at most one interval of scanning once the
// lines before it have been passed, and a jump far ahead scans only the lines
// not yet passed (without keyword look-ups).
class ColorStateCache {
public:
    static constexpr std::size_t kInterval = 256;

    // Fetches one line's text: (line number, text out, whether the line ends
    // with a real line break rather than being cut for length, the first unit
    // of the next line when it does not).
    using LineSource = std::function<void(std::size_t, std::wstring&, bool&, wchar_t&)>;

    void Reset(std::size_t lineCount);
    // More lines became known after the ones already counted (a file still being read).
    void Extend(std::size_t lineCount) { lineCount_ = lineCount; }
    CColorizer::State StateAt(std::size_t line, const CColorizer& colorizer, const LineSource& source);
    // Scans on from the last checkpoint for at most `lines` lines; false once
    // every line's state is known. Lets a viewer learn the states in slices.
    bool ScanAhead(std::size_t lines, const CColorizer& colorizer, const LineSource& source);
    // Whether the state at `line` costs little scanning (some milliseconds).
    static constexpr std::size_t kNearIntervals = 128;
    bool Near(std::size_t line) const { return line / kInterval < checkpoints_.size() + kNearIntervals; }
    std::size_t CheckpointCount() const { return checkpoints_.size(); }

private:
    std::size_t lineCount_ = 0;
    std::vector<CColorizer::State> checkpoints_;  // checkpoints_[k]: state at line k * kInterval
};
