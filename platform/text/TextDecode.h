// Decoding of script files for the preview: which encoding a file is in, and
// a line index over the raw bytes, so that only the lines on screen are ever
// decoded. A file is never converted as a whole: a script of hundreds of
// megabytes costs its bytes plus a small index.
//
// Text is produced as UTF-16 code units, one wchar_t per unit on every
// platform (so results are the same natively and on Windows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace text {

enum class Encoding : std::uint8_t {
    Utf8,     // with or without a byte-order mark
    Utf16LE,  // only with a byte-order mark
    Utf16BE,  // only with a byte-order mark
    Ansi,     // the system's ANSI code page; decoded by the caller's converter
};

struct Detected {
    Encoding encoding = Encoding::Utf8;
    std::size_t bomSize = 0;
};

// The byte-order mark `data` starts with: its encoding and size, or a size
// of 0 when there is none.
Detected ByteOrderMark(const unsigned char* data, std::size_t size);

// A byte-order mark decides. Without one, text that is valid UTF-8 is taken
// as UTF-8, and anything else as the ANSI code page: a file in a legacy code
// page almost never happens to form valid UTF-8, while a UTF-8 file with one
// broken sequence is better shown byte by byte than with pieces missing.
Detected DetectEncoding(const unsigned char* data, std::size_t size);

// The length (1 to 4) of the valid UTF-8 sequence at p, whose code point goes
// to cp, or 0 when the bytes there start none: an overlong form, an encoded
// surrogate, a code point above U+10FFFF or a sequence cut short by `avail`.
std::size_t Utf8Sequence(const unsigned char* p, std::size_t avail, std::uint32_t& cp);

// Strict UTF-8: every byte belongs to a valid sequence.
bool IsValidUtf8(const unsigned char* data, std::size_t size);

// Appends the UTF-16 code units of UTF-8 bytes; each byte that does not
// belong to a valid sequence becomes U+FFFD.
void DecodeUtf8(const unsigned char* data, std::size_t size, std::wstring& out);
// Appends the code units of UTF-16 bytes; an odd last byte becomes U+FFFD.
void DecodeUtf16(const unsigned char* data, std::size_t size, bool bigEndian, std::wstring& out);
// Latin-1: each byte is the code unit of the same value. Stands in for the
// ANSI code page where no system converter is given.
void DecodeLatin1(const unsigned char* data, std::size_t size, std::wstring& out);

// What a control character other than tab is shown as: NUL bytes and the
// like would otherwise be invisible or cut text short in the system's calls.
constexpr wchar_t kControlSymbol = 0x00B7;  // middle dot
void MakeControlsVisible(wchar_t* text, std::size_t size);

// The lines of a text held as raw bytes in one encoding. A line ends at CR,
// LF or CR LF; a line longer than the limit is cut into display lines of at
// most that many code units, preferably after a blank so that words stay
// whole. Only every kSparse-th line start is stored, so even a file of
// nothing but line breaks costs little: a line is found by stepping from the
// nearest stored start, and reading lines in order steps only once each.
class TextLines {
public:
    static constexpr std::size_t kSparse = 32;
    static constexpr std::size_t kDefaultMaxLine = 4096;
    // Converts ANSI bytes of one line, appending UTF-16 code units.
    using AnsiConverter = std::function<void(const unsigned char*, std::size_t, std::wstring&)>;

    struct Line {
        std::size_t begin = 0;  // byte offsets of the line's text, without its line break
        std::size_t end = 0;
        bool endsLine = true;  // false when the line was cut for length and goes on
        std::size_t next = 0;  // where the following line starts: [end, next) is the line break
    };
    // Bytes read before the encoding of a file without a byte-order mark is
    // decided: enough to judge, few enough to read before the first screen.
    static constexpr std::size_t kDecideBytes = 1u << 20;

    // The bytes must outlive this object (or the next Assign). Detects the
    // encoding (see DetectEncoding) and indexes the lines.
    void Assign(const unsigned char* data, std::size_t size, std::size_t maxLine = kDefaultMaxLine);
    // The same in steps, for bytes that arrive in order (a file read in
    // chunks): each Advance indexes the lines decided by the first `available`
    // bytes while they are still in the processor's cache, and never looks at
    // a byte past them. The encoding is decided once kDecideBytes (or all
    // bytes) are there and kept unless a later line is not valid UTF-8, which
    // turns it to ANSI at once (EncodingChanges counts such turns, so that a
    // viewer redraws). Finish settles it. `data` has room for all `size`
    // bytes from the start.
    void Begin(const unsigned char* data, std::size_t size, std::size_t maxLine = kDefaultMaxLine);
    void Advance(std::size_t available);
    void Finish();
    // The same for bytes in a known encoding without a byte-order mark.
    void AssignEncoded(const unsigned char* data, std::size_t size, Encoding encoding,
                       std::size_t maxLine = kDefaultMaxLine);
    void Clear();
    void SetAnsiConverter(AnsiConverter converter) { ansi_ = std::move(converter); }

    Encoding GetEncoding() const { return encoding_; }
    std::size_t BomSize() const { return bomSize_; }
    std::size_t LineCount() const { return lineCount_; }
    // How often the encoding was changed after it had been decided.
    unsigned EncodingChanges() const { return encodingChanges_; }
    // Code units of the longest line, counting bytes for UTF-8 and ANSI (an
    // upper bound of its characters).
    std::size_t LongestLine() const { return longest_; }

    Line GetLineBytes(std::size_t line) const;
    // The decoded text of a line (empty past the last line), control characters
    // made visible.
    void GetLine(std::size_t line, std::wstring& out, bool* endsLine = nullptr) const;
    // The text of a line as it is in the file (control characters kept), and
    // its line break as written ("\r\n", "\n", "\r", or empty for a line cut
    // for length and the last line).
    void GetRawLine(std::size_t line, std::wstring& out, std::wstring* lineBreak = nullptr) const;
    // For a line cut for length: the first code unit of the line it goes on
    // in (what a pair of characters split by the cut continues with); 0 for a
    // line that ends. Only ASCII is told apart; anything else is U+FFFD.
    wchar_t FollowingUnit(std::size_t line) const;

private:
    std::size_t UnitSize() const {
        return (encoding_ == Encoding::Utf16LE || encoding_ == Encoding::Utf16BE) ? 2 : 1;
    }
    // The line starting at byte `pos`.
    Line NextLine(std::size_t pos) const;
    std::size_t FindBreak8(std::size_t from, std::size_t limit) const;
    std::size_t ChooseCut(std::size_t begin, std::size_t limit) const;
    void Restart();
    void Decode(const Line& l, std::wstring& out) const;
    void TurnAnsi();

    const unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
    Encoding encoding_ = Encoding::Utf8;
    std::size_t bomSize_ = 0;
    std::size_t maxLine_ = kDefaultMaxLine;
    std::size_t lineCount_ = 0;
    std::size_t longest_ = 0;
    std::vector<std::uint64_t> starts_;  // starts_[k]: byte offset of line k * kSparse
    AnsiConverter ansi_;
    // Indexing in progress.
    std::size_t pos_ = 0;
    bool detected_ = false;
    bool done_ = false;
    bool checkUtf8_ = false;  // no byte-order mark: UTF-8 until a byte says otherwise
    bool utf8Valid_ = true;
    bool decided_ = false;  // the encoding has been decided (see kDecideBytes)
    bool cutMade_ = false;
    unsigned encodingChanges_ = 0;
    // Where the last line asked for ended, so that reading in order is linear.
    mutable std::size_t cachedLine_ = static_cast<std::size_t>(-1);
    mutable std::size_t cachedNext_ = 0;
};

// A place in a TextLines: a line and a UTF-16 code unit within it.
struct TextPos {
    std::size_t line = 0;
    std::size_t unit = 0;
    bool operator<(const TextPos& o) const { return line < o.line || (line == o.line && unit < o.unit); }
    bool operator==(const TextPos& o) const { return line == o.line && unit == o.unit; }
};

enum class CopyResult { Copied, Nothing, TooLarge };
// The text between two places as it is in the file: control characters as
// they are, each line break as written, lines cut for length joined without
// one. Nothing when the range holds no text (also when it covers only the
// seam of a cut line); TooLarge, with `out` empty, beyond `maxUnits`.
CopyResult CopyRange(const TextLines& lines, TextPos from, TextPos to, std::size_t maxUnits,
                     std::wstring& out);

// The same a few lines at a time, into memory the caller owns, so that a
// copy of tens of megabytes can be spread over time and written straight
// into the block that goes to the clipboard. The lines must not change while
// copying.
class RangeCopier {
public:
    RangeCopier(const TextLines& lines, TextPos from, TextPos to, std::size_t maxUnits);
    // Code units the memory given to Step must hold: never fewer than the
    // copy needs (a unit never takes less than a byte, or two in UTF-16).
    std::size_t Capacity() const { return capacity_; }
    // Copies up to `count` more lines into `into`; true when the copy is done.
    bool Step(wchar_t* into, std::size_t count);
    bool Done() const { return done_; }
    // The outcome once done (until then Copied).
    CopyResult Result() const { return result_; }
    // Code units written so far.
    std::size_t Size() const { return size_; }
    int Percent() const;
    TextPos From() const { return from_; }
    TextPos To() const { return to_; }

private:
    const TextLines& lines_;
    TextPos from_, to_;
    std::size_t capacity_ = 0;
    std::size_t next_ = 0;  // the next line to copy
    std::size_t size_ = 0;
    bool done_ = false;
    CopyResult result_ = CopyResult::Copied;
    std::wstring line_, lineBreak_;
};

}  // namespace text
