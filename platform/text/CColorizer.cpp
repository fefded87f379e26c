#include "platform/text/CColorizer.h"

#include <optional>

namespace {

using State = CColorizer::State;
using Kind = CColorizer::TokenKind;

wchar_t FoldAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c; }

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool IsHexDigit(wchar_t c) { return IsDigit(c) || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'); }

// Collects spans for one segment; a null target means only the state is wanted.
class Emitter {
public:
    explicit Emitter(std::vector<CColorizer::Span>* out) : out_(out) {}
    bool Active() const { return out_ != nullptr; }
    void Add(std::size_t start, std::size_t end, Kind kind) {
        if (!out_ || end <= start) return;
        out_->push_back({static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end - start), kind});
    }

private:
    std::vector<CColorizer::Span>* out_;
};

// Finds the end of a run closed by `close`, where a doubled `close` stands for
// the character itself. Returns the index after the closing character, or len
// when the run stays open.
std::size_t FindClose(const wchar_t* s, std::size_t i, std::size_t len, wchar_t close, bool& closed) {
    while (i < len) {
        if (s[i] == close) {
            if (i + 1 < len && s[i + 1] == close) {
                i += 2;
                continue;
            }
            closed = true;
            return i + 1;
        }
        ++i;
    }
    closed = false;
    return len;
}

std::size_t FindCommentEnd(const wchar_t* s, std::size_t i, std::size_t len, bool& closed) {
    for (; i + 1 < len; ++i) {
        if (s[i] == L'*' && s[i + 1] == L'/') {
            closed = true;
            return i + 2;
        }
    }
    closed = false;
    return len;
}

// Digits, an optional fraction and exponent, or 0x and hex digits.
std::size_t ScanNumber(const wchar_t* s, std::size_t i, std::size_t len) {
    if (s[i] == L'0' && i + 2 < len && (s[i + 1] == L'x' || s[i + 1] == L'X') && IsHexDigit(s[i + 2])) {
        i += 2;
        while (i < len && IsHexDigit(s[i])) ++i;
        return i;
    }
    while (i < len && IsDigit(s[i])) ++i;
    if (i < len && s[i] == L'.') {
        ++i;
        while (i < len && IsDigit(s[i])) ++i;
    }
    if (i < len && (s[i] == L'e' || s[i] == L'E')) {
        std::size_t j = i + 1;
        if (j < len && (s[j] == L'+' || s[j] == L'-')) ++j;
        if (j < len && IsDigit(s[j])) {
            while (j < len && IsDigit(s[j])) ++j;
            i = j;
        }
    }
    return i;
}

State OpenState(wchar_t opener) {
    switch (opener) {
    case L'\'': return State::String;
    case L'"': return State::QuotedIdentifier;
    default: return State::BracketIdentifier;
    }
}

wchar_t CloserOf(State state) {
    switch (state) {
    case State::String: return L'\'';
    case State::QuotedIdentifier: return L'"';
    default: return L']';
    }
}

Kind KindOf(State state) { return state == State::String ? Kind::String : Kind::Identifier; }

// The pair-split states: the first unit of the segment finishes a pair begun
// before the cut. Returns the state that unit leaves, and its colour.
bool Carried(State in, State& base, Kind& kind) {
    switch (in) {
    case State::BlockCommentOpened: base = State::BlockComment, kind = Kind::Comment; return true;
    case State::CommentClosed: base = State::Code, kind = Kind::Comment; return true;
    case State::StringQuote: base = State::String, kind = Kind::String; return true;
    case State::QuotedIdentifierQuote: base = State::QuotedIdentifier, kind = Kind::Identifier; return true;
    case State::BracketIdentifierBracket:
        base = State::BracketIdentifier, kind = Kind::Identifier;
        return true;
    default: return false;
    }
}

State QuoteState(State open) {
    switch (open) {
    case State::String: return State::StringQuote;
    case State::QuotedIdentifier: return State::QuotedIdentifierQuote;
    default: return State::BracketIdentifierBracket;
    }
}

// After FindClose closed a run on the segment's last unit: whether the next
// segment's first unit doubles it, so the run goes on.
bool DoubledAcrossCut(const wchar_t* s, std::size_t end, std::size_t len, wchar_t close, wchar_t follow) {
    return end == len && follow == close && len > 0 && s[len - 1] == close;
}

// An open block comment whose "*/" is split by the cut.
bool ClosedAcrossCut(const wchar_t* s, std::size_t from, std::size_t len, wchar_t follow) {
    return follow == L'/' && len > from && s[len - 1] == L'*';
}

// Finishes the comment or quoted run the previous segment left open, from
// s[i]: moves i past its end, or gives the state the segment ends in.
std::optional<State> FinishOpen(const wchar_t* s, std::size_t len, State state, std::size_t& i, bool endsLine,
                                wchar_t follow, Emitter& emit) {
    bool closed = false;
    const std::size_t from = i;
    switch (state) {
    case State::Code: return std::nullopt;
    case State::LineComment:
        emit.Add(i, len, Kind::Comment);
        return endsLine ? State::Code : State::LineComment;
    case State::BlockComment:
        i = FindCommentEnd(s, i, len, closed);
        emit.Add(from, i, Kind::Comment);
        if (!closed)
            return ClosedAcrossCut(s, from, len, follow) ? State::CommentClosed : State::BlockComment;
        return std::nullopt;
    default: {
        const wchar_t close = CloserOf(state);
        i = FindClose(s, i, len, close, closed);
        emit.Add(from, i, KindOf(state));
        if (!closed) return state;
        if (DoubledAcrossCut(s, i, len, close, follow)) return QuoteState(state);
        return std::nullopt;
    }
    }
}

// Takes up where the previous segment stopped: the second character of a pair
// split by the cut, then the comment or quoted run left open. Moves i past
// both, or gives the state the segment ends in.
std::optional<State> ResumeSegment(const wchar_t* s, std::size_t len, State in, std::size_t& i, bool endsLine,
                                   wchar_t follow, Emitter& emit) {
    State state = in;
    Kind carriedKind = Kind::Comment;
    if (Carried(in, state, carriedKind) && len > 0) {
        emit.Add(0, 1, carriedKind);
        i = 1;
    }
    return FinishOpen(s, len, state, i, endsLine, follow, emit);
}

// A comment, quoted run or N'...' string starting at s[i]: emits it and moves i
// past it, or gives the state the segment ends in when it runs on. Anything
// else leaves i alone.
std::optional<State> ScanEnclosed(const wchar_t* s, std::size_t len, std::size_t& i, bool endsLine,
                                  wchar_t follow, Emitter& emit) {
    bool closed = false;
    const wchar_t c = s[i];
    const wchar_t next = i + 1 < len ? s[i + 1] : follow;
    if (c == L'-' && next == L'-') {
        emit.Add(i, len, Kind::Comment);
        return endsLine ? State::Code : State::LineComment;
    }
    if (c == L'/' && next == L'*') {
        if (i + 1 == len) {
            emit.Add(i, len, Kind::Comment);
            return State::BlockCommentOpened;
        }
        const std::size_t end = FindCommentEnd(s, i + 2, len, closed);
        emit.Add(i, end, Kind::Comment);
        if (!closed)
            return ClosedAcrossCut(s, i + 2, len, follow) ? State::CommentClosed : State::BlockComment;
        i = end;
        return std::nullopt;
    }
    if (c == L'\'' || c == L'"' || c == L'[') {
        const State open = OpenState(c);
        const wchar_t close = CloserOf(open);
        const std::size_t end = FindClose(s, i + 1, len, close, closed);
        emit.Add(i, end, KindOf(open));
        if (!closed) return open;
        if (DoubledAcrossCut(s, end, len, close, follow)) return QuoteState(open);
        i = end;
        return std::nullopt;
    }
    if ((c == L'N' || c == L'n') && next == L'\'') {
        // N'...': the prefix belongs to the string.
        if (i + 1 == len) {
            emit.Add(i, len, Kind::String);
            return State::Code;
        }
        const std::size_t end = FindClose(s, i + 2, len, L'\'', closed);
        emit.Add(i, end, Kind::String);
        if (!closed) return State::String;
        if (DoubledAcrossCut(s, end, len, L'\'', follow)) return State::StringQuote;
        i = end;
    }
    return std::nullopt;
}

}  // namespace

bool CColorizer::IsWordChar(wchar_t c) {
    if (c < 0x80) {
        return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || IsDigit(c) || c == L'_' || c == L'@' ||
               c == L'#' || c == L'$';
    }
    // Letters of every script count; the few blanks above ASCII do not.
    return c != 0xA0 && c != 0x3000 && c != 0xFEFF && !(c >= 0x2000 && c <= 0x200B);
}

void CColorizer::SetKeywords(const std::vector<std::wstring>& keywords) {
    keywords_.clear();
    longestKeyword_ = 0;
    for (const std::wstring& entry : keywords) {
        std::size_t i = 0;
        while (i < entry.size()) {
            while (i < entry.size() && (entry[i] == L' ' || entry[i] == L'\t')) ++i;
            std::size_t end = i;
            while (end < entry.size() && entry[end] != L' ' && entry[end] != L'\t') ++end;
            if (end == i) break;
            std::wstring word;
            bool usable = true;
            for (std::size_t k = i; k < end; ++k) {
                usable = usable && IsWordChar(entry[k]);
                word.push_back(FoldAscii(entry[k]));
            }
            if (usable) {
                if (word.size() > longestKeyword_) longestKeyword_ = word.size();
                keywords_.insert(std::move(word));
            }
            i = end;
        }
    }
}

void CColorizer::SetHighlighting(int on) { highlighting_ = on != 0; }

bool CColorizer::IsKeyword(const wchar_t* word, std::size_t len) const {
    if (len == 0 || len > longestKeyword_) return false;
    std::wstring folded(len, L'\0');
    for (std::size_t i = 0; i < len; ++i) folded[i] = FoldAscii(word[i]);
    return keywords_.count(folded) != 0;
}

CColorizer::State CColorizer::ColorizeLine(const wchar_t* begin, std::size_t len, State in,
                                           std::vector<Span>& out) const {
    return ColorizeSegment(begin, len, in, true, &out);
}

// Only the characters that open or close a construct matter for the state, so
// this skips everything else without looking at words or numbers; a jump to
// the end of a large script scans every line this way. Words and numbers
// never hold those characters (an exponent's sign is followed by a digit), and
// an N before a quote changes the string's colour, not where it ends.
CColorizer::State CColorizer::ScanLine(const wchar_t* s, std::size_t len, State in, bool endsLine,
                                       wchar_t follow) const {
    if (!highlighting_) return State::Code;
    if (endsLine) follow = 0;
    Emitter none(nullptr);
    std::size_t i = 0;
    if (const std::optional<State> end = ResumeSegment(s, len, in, i, endsLine, follow, none)) return *end;
    while (i < len) {
        const wchar_t c = s[i];
        if (c != L'-' && c != L'/' && c != L'\'' && c != L'"' && c != L'[') {
            ++i;
            continue;
        }
        const std::size_t at = i;
        if (const std::optional<State> end = ScanEnclosed(s, len, i, endsLine, follow, none)) return *end;
        if (i == at) ++i;
    }
    return State::Code;
}

CColorizer::State CColorizer::ColorizeSegment(const wchar_t* s, std::size_t len, State in, bool endsLine,
                                              std::vector<Span>* out, wchar_t follow) const {
    if (!highlighting_) return State::Code;
    if (endsLine) follow = 0;
    Emitter emit(out);
    std::size_t i = 0;
    if (const std::optional<State> end = ResumeSegment(s, len, in, i, endsLine, follow, emit)) return *end;

    while (i < len) {
        const std::size_t at = i;
        if (const std::optional<State> end = ScanEnclosed(s, len, i, endsLine, follow, emit)) return *end;
        if (i != at) continue;
        const wchar_t c = s[i];
        const wchar_t next = i + 1 < len ? s[i + 1] : follow;
        if (IsDigit(c) || (c == L'.' && IsDigit(next))) {
            std::size_t end = ScanNumber(s, i, len);
            if (end < len && IsWordChar(s[end])) {
                // 2nd, 1abc: a name that starts with digits, not a number.
                while (end < len && IsWordChar(s[end])) ++end;
            } else {
                emit.Add(i, end, Kind::Number);
            }
            i = end;
            continue;
        }
        if (IsWordChar(c)) {
            std::size_t end = i + 1;
            while (end < len && IsWordChar(s[end])) ++end;
            if (emit.Active() && IsKeyword(s + i, end - i)) emit.Add(i, end, Kind::Keyword);
            i = end;
            continue;
        }
        ++i;
    }
    return State::Code;
}

void ColorStateCache::Reset(std::size_t lineCount) {
    lineCount_ = lineCount;
    checkpoints_.clear();
    checkpoints_.push_back(CColorizer::State::Code);
}

CColorizer::State ColorStateCache::StateAt(std::size_t line, const CColorizer& colorizer,
                                           const LineSource& source) {
    if (!colorizer.Highlighting() || checkpoints_.empty()) return CColorizer::State::Code;
    if (line > lineCount_) line = lineCount_;
    std::size_t k = line / kInterval;
    if (k >= checkpoints_.size()) k = checkpoints_.size() - 1;
    std::size_t at = k * kInterval;
    CColorizer::State state = checkpoints_[k];
    std::wstring text;
    while (at < line) {
        bool endsLine = true;
        wchar_t follow = 0;
        source(at, text, endsLine, follow);
        state = colorizer.ScanLine(text.data(), text.size(), state, endsLine, follow);
        ++at;
        if (at % kInterval == 0 && at / kInterval == checkpoints_.size()) checkpoints_.push_back(state);
    }
    return state;
}

bool ColorStateCache::ScanAhead(std::size_t lines, const CColorizer& colorizer, const LineSource& source) {
    if (!colorizer.Highlighting() || checkpoints_.empty()) return false;
    const std::size_t known = (checkpoints_.size() - 1) * kInterval;
    if (known + kInterval > lineCount_) return false;
    const std::size_t target = std::min(lineCount_, known + std::max<std::size_t>(lines, kInterval));
    StateAt(target - target % kInterval, colorizer, source);
    return (checkpoints_.size() - 1) * kInterval + kInterval <= lineCount_;
}
