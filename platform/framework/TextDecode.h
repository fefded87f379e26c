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

// A byte-order mark decides. Without one, text that is valid UTF-8 is taken
// as UTF-8, and anything else as the ANSI code page: a file in a legacy code
// page almost never happens to form valid UTF-8, while a UTF-8 file with one
// broken sequence is better shown byte by byte than with pieces missing.
Detected DetectEncoding(const unsigned char* data, std::size_t size);

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
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
    };

    // The bytes must outlive this object (or the next Assign). Detects the
    // encoding (see DetectEncoding) and indexes the lines.
    void Assign(const unsigned char* data, std::size_t size, std::size_t maxLine = kDefaultMaxLine);
    // The same in steps, for bytes that arrive in order (a file read in
    // chunks): each Advance indexes the lines decided by the first `available`
    // bytes while they are still in the processor's cache, and checks them for
    // UTF-8 on the way; Finish settles the encoding. `data` has room for all
    // `size` bytes from the start.
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
    // Code units of the longest line, counting bytes for UTF-8 and ANSI (an
    // upper bound of its characters).
    std::size_t LongestLine() const { return longest_; }

    Line GetLineBytes(std::size_t line) const;
    // The decoded text of a line (empty past the last line), control characters
    // made visible.
    void GetLine(std::size_t line, std::wstring& out, bool* endsLine = nullptr) const;

private:
    std::size_t UnitSize() const {
        return (encoding_ == Encoding::Utf16LE || encoding_ == Encoding::Utf16BE) ? 2 : 1;
    }
    // The line starting at byte `pos`; `next` receives where the following line starts.
    Line NextLine(std::size_t pos, std::size_t& next) const;
    std::size_t FindBreak8(std::size_t from, std::size_t limit) const;
    std::size_t ChooseCut(std::size_t begin, std::size_t limit) const;
    void Restart();

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
    bool cutMade_ = false;
    // Where the last line asked for ended, so that reading in order is linear.
    mutable std::size_t cachedLine_ = static_cast<std::size_t>(-1);
    mutable std::size_t cachedNext_ = 0;
};

}  // namespace text
