#include "platform/text/TextDecode.h"

#include <algorithm>
#include <cstring>

namespace text {

namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

std::uint64_t Load64(const unsigned char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

bool IsBlank(std::uint32_t unit) { return unit == 0x20 || unit == 0x09; }

}  // namespace

std::size_t Utf8Sequence(const unsigned char* p, std::size_t avail, std::uint32_t& cp) {
    const unsigned char b0 = p[0];
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len;
    std::uint32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2, min = 0x80, cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3, min = 0x800, cp = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4, min = 0x10000, cp = b0 & 0x07;
    } else {
        return 0;
    }
    if (avail < len) return 0;
    for (std::size_t i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

Detected ByteOrderMark(const unsigned char* data, std::size_t size) {
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) return {Encoding::Utf8, 3};
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) return {Encoding::Utf16LE, 2};
    if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF) return {Encoding::Utf16BE, 2};
    return {};
}

Detected DetectEncoding(const unsigned char* data, std::size_t size) {
    const Detected bom = ByteOrderMark(data, size);
    if (bom.bomSize) return bom;
    return {IsValidUtf8(data, size) ? Encoding::Utf8 : Encoding::Ansi, 0};
}

bool IsValidUtf8(const unsigned char* data, std::size_t size) {
    std::size_t i = 0;
    while (i < size) {
        // Long runs of ASCII go eight bytes at a time.
        while (i + 8 <= size && (Load64(data + i) & kHighs) == 0) i += 8;
        if (i >= size) break;
        std::uint32_t cp;
        const std::size_t len = Utf8Sequence(data + i, size - i, cp);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

void DecodeUtf8(const unsigned char* data, std::size_t size, std::wstring& out) {
    // A UTF-8 text never has more UTF-16 units than bytes: write in place, then trim.
    const std::size_t start = out.size();
    out.resize(start + size);
    wchar_t* w = out.data() + start;
    std::size_t i = 0;
    while (i < size) {
        if (data[i] < 0x80) {
            *w++ = static_cast<wchar_t>(data[i++]);
            continue;
        }
        std::uint32_t cp;
        const std::size_t len = Utf8Sequence(data + i, size - i, cp);
        if (len == 0) {
            *w++ = static_cast<wchar_t>(0xFFFD);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            *w++ = static_cast<wchar_t>(0xD800 + (cp >> 10));
            *w++ = static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
        } else {
            *w++ = static_cast<wchar_t>(cp);
        }
        i += len;
    }
    out.resize(static_cast<std::size_t>(w - out.data()));
}

void DecodeUtf16(const unsigned char* data, std::size_t size, bool bigEndian, std::wstring& out) {
    out.reserve(out.size() + size / 2 + 1);
    std::size_t i = 0;
    for (; i + 1 < size; i += 2) {
        const unsigned unit = bigEndian ? (data[i] << 8 | data[i + 1]) : (data[i + 1] << 8 | data[i]);
        out.push_back(static_cast<wchar_t>(unit));
    }
    if (i < size) out.push_back(static_cast<wchar_t>(0xFFFD));
}

void DecodeLatin1(const unsigned char* data, std::size_t size, std::wstring& out) {
    out.reserve(out.size() + size);
    for (std::size_t i = 0; i < size; ++i) out.push_back(static_cast<wchar_t>(data[i]));
}

void MakeControlsVisible(wchar_t* s, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const auto c = static_cast<std::uint32_t>(s[i]);
        if ((c < 0x20 && c != 0x09) || c == 0x7F) s[i] = kControlSymbol;
    }
}

void TextLines::Clear() {
    data_ = nullptr;
    size_ = 0;
    encoding_ = Encoding::Utf8;
    bomSize_ = 0;
    decided_ = false;
    encodingChanges_ = 0;
    Restart();
}

void TextLines::Restart() {
    lineCount_ = 0;
    longest_ = 0;
    starts_.clear();
    cachedLine_ = static_cast<std::size_t>(-1);
    cachedNext_ = 0;
    pos_ = bomSize_;
    done_ = false;
    cutMade_ = false;
}

void TextLines::Assign(const unsigned char* data, std::size_t size, std::size_t maxLine) {
    Begin(data, size, maxLine);
    Advance(size);
    Finish();
}

void TextLines::AssignEncoded(const unsigned char* data, std::size_t size, Encoding encoding,
                              std::size_t maxLine) {
    Clear();
    data_ = data;
    size_ = size;
    encoding_ = encoding;
    maxLine_ = std::max<std::size_t>(maxLine, 16);
    detected_ = true;
    decided_ = true;
    checkUtf8_ = false;
    utf8Valid_ = true;
    Advance(size);
    Finish();
}

void TextLines::Begin(const unsigned char* data, std::size_t size, std::size_t maxLine) {
    Clear();
    data_ = data;
    size_ = size;
    maxLine_ = std::max<std::size_t>(maxLine, 16);
    detected_ = false;
    checkUtf8_ = false;
    utf8Valid_ = true;
}

void TextLines::Advance(std::size_t available) {
    available = std::min(available, size_);
    if (!detected_) {
        if (available < std::min<std::size_t>(size_, 3)) return;
        const Detected bom = ByteOrderMark(data_, available);
        if (bom.bomSize) {
            encoding_ = bom.encoding, bomSize_ = bom.bomSize;
        } else {
            checkUtf8_ = true;
        }
        decided_ = !checkUtf8_;
        pos_ = bomSize_;
        detected_ = true;
    }
    const std::size_t unit = UnitSize();
    // NextLine looks at most this far: a break right at the limit, and the LF
    // that may follow a CR there.
    const std::size_t reach = maxLine_ * unit + 2 * unit;
    while (!done_) {
        const std::size_t needed = size_ - pos_ > reach ? pos_ + reach : size_;
        if (needed > available) break;
        const Line line = NextLine(pos_);
        if (checkUtf8_ && utf8Valid_ && !IsValidUtf8(data_ + line.begin, line.end - line.begin)) {
            utf8Valid_ = false;
            if (decided_) {
                // A later byte proves the decision wrong: lines cut where
                // UTF-8 allows need other cuts in a code page.
                const bool recut = cutMade_ || !line.endsLine;
                TurnAnsi();
                ++encodingChanges_;
                if (recut) {
                    Restart();
                    continue;
                }
            }
        }
        if (lineCount_ % kSparse == 0) starts_.push_back(pos_);
        ++lineCount_;
        longest_ = std::max(longest_, (line.end - line.begin) / unit);
        cutMade_ = cutMade_ || !line.endsLine;
        if (line.end >= size_) {
            done_ = true;
        } else {
            pos_ = line.next;
        }
    }
    if (!decided_ && (available >= size_ || available >= kDecideBytes)) {
        decided_ = true;
        if (checkUtf8_ && !utf8Valid_) {
            const bool recut = cutMade_;
            TurnAnsi();
            if (recut) {
                Restart();
                Advance(available);
            }
        }
    }
}

void TextLines::TurnAnsi() {
    encoding_ = Encoding::Ansi;
    checkUtf8_ = false;
}

void TextLines::Finish() { Advance(size_); }

std::size_t TextLines::FindBreak8(std::size_t from, std::size_t limit) const {
    std::size_t i = from;
    while (i < limit) {
        // Skip eight bytes at a time while none of them is below 0x0E.
        while (i + 8 <= limit) {
            const std::uint64_t v = Load64(data_ + i);
            if (((v - kOnes * 0x0E) & ~v & kHighs) != 0) break;
            i += 8;
        }
        const std::size_t stop = std::min(limit, i + 8);
        for (; i < stop; ++i) {
            if (data_[i] == '\n' || data_[i] == '\r') return i;
        }
    }
    return limit;
}

std::size_t TextLines::ChooseCut(std::size_t begin, std::size_t limit) const {
    const std::size_t unit = UnitSize();
    const std::size_t lookBack = 64 * unit;
    const std::size_t floor = limit - begin > lookBack ? limit - lookBack : begin + unit;
    auto unitAt = [&](std::size_t p) -> std::uint32_t {
        if (encoding_ == Encoding::Utf16LE) return data_[p] | data_[p + 1] << 8;
        if (encoding_ == Encoding::Utf16BE) return data_[p] << 8 | data_[p + 1];
        return data_[p];
    };
    // After a blank, words stay whole; blanks are single bytes in every code page.
    for (std::size_t p = limit; p >= floor; p -= unit) {
        if (IsBlank(unitAt(p - unit))) return p;
    }
    switch (encoding_) {
    case Encoding::Utf8:
        for (std::size_t p = limit; p > begin; --p) {
            if ((data_[p] & 0xC0) != 0x80) return p;
        }
        return limit;
    case Encoding::Ansi:
        // A byte below 0x40 is never part of a double-byte character.
        for (std::size_t p = limit; p >= floor; --p) {
            if (data_[p - 1] < 0x40) return p;
        }
        return limit;
    default: {
        const std::uint32_t last = unitAt(limit - unit);
        return (last >= 0xD800 && last <= 0xDBFF) ? limit - unit : limit;
    }
    }
}

TextLines::Line TextLines::NextLine(std::size_t pos) const {
    const std::size_t unit = UnitSize();
    const std::size_t maxBytes = maxLine_ * unit;
    const std::size_t limit = size_ - pos > maxBytes ? pos + maxBytes : size_;
    // A break right at the limit still ends a line of full length.
    const std::size_t searchEnd = std::min(size_, limit + unit);
    std::size_t brk = searchEnd;
    if (unit == 1) {
        brk = FindBreak8(pos, searchEnd);
    } else {
        const bool be = encoding_ == Encoding::Utf16BE;
        for (std::size_t p = pos; p + 1 < searchEnd; p += 2) {
            const unsigned hi = be ? data_[p] : data_[p + 1];
            const unsigned lo = be ? data_[p + 1] : data_[p];
            if (hi == 0 && (lo == '\n' || lo == '\r')) {
                brk = p;
                break;
            }
        }
    }
    if (brk < searchEnd) {
        std::size_t after = brk + unit;
        if (after + unit <= size_) {
            const bool crlf =
                unit == 1 ? (data_[brk] == '\r' && data_[after] == '\n')
                          : (encoding_ == Encoding::Utf16BE
                                 ? (data_[brk + 1] == '\r' && data_[after] == 0 && data_[after + 1] == '\n')
                                 : (data_[brk] == '\r' && data_[after] == '\n' && data_[after + 1] == 0));
            if (crlf) after += unit;
        }
        return {pos, brk, true, after};
    }
    if (limit == size_) return {pos, size_, true, size_};
    const std::size_t cut = ChooseCut(pos, limit);
    return {pos, cut, false, cut};
}

TextLines::Line TextLines::GetLineBytes(std::size_t line) const {
    if (line >= lineCount_) return {size_, size_, true, size_};
    std::size_t pos;
    if (cachedLine_ != static_cast<std::size_t>(-1) && cachedLine_ + 1 == line) {
        pos = cachedNext_;
    } else {
        pos = starts_[line / kSparse];
        for (std::size_t i = line - line % kSparse; i < line; ++i) pos = NextLine(pos).next;
    }
    const Line result = NextLine(pos);
    cachedLine_ = line;
    cachedNext_ = result.next;
    return result;
}

void TextLines::Decode(const Line& l, std::wstring& out) const {
    out.clear();
    const unsigned char* p = data_ ? data_ + l.begin : nullptr;
    const std::size_t n = l.end - l.begin;
    if (n == 0) return;
    switch (encoding_) {
    case Encoding::Utf8: DecodeUtf8(p, n, out); break;
    case Encoding::Utf16LE: DecodeUtf16(p, n, false, out); break;
    case Encoding::Utf16BE: DecodeUtf16(p, n, true, out); break;
    case Encoding::Ansi:
        if (ansi_) {
            ansi_(p, n, out);
        } else {
            DecodeLatin1(p, n, out);
        }
        break;
    }
}

void TextLines::GetLine(std::size_t line, std::wstring& out, bool* endsLine) const {
    const Line l = GetLineBytes(line);
    if (endsLine) *endsLine = l.endsLine;
    Decode(l, out);
    MakeControlsVisible(out.data(), out.size());
}

void TextLines::GetRawLine(std::size_t line, std::wstring& out, std::wstring* lineBreak) const {
    const Line l = GetLineBytes(line);
    Decode(l, out);
    if (!lineBreak) return;
    lineBreak->clear();
    const std::size_t unit = UnitSize();
    if (l.next <= l.end) return;
    const unsigned char first = data_[encoding_ == Encoding::Utf16BE ? l.end + 1 : l.end];
    if (l.next - l.end >= 2 * unit) {
        *lineBreak = L"\r\n";
    } else {
        *lineBreak = first == '\r' ? L"\r" : L"\n";
    }
}

wchar_t TextLines::FollowingUnit(std::size_t line) const {
    const Line l = GetLineBytes(line);
    if (l.endsLine || l.next >= size_) return 0;
    std::uint32_t u = data_[l.next];
    if (encoding_ == Encoding::Utf16LE && l.next + 1 < size_) u |= data_[l.next + 1] << 8;
    if (encoding_ == Encoding::Utf16BE && l.next + 1 < size_) u = u << 8 | data_[l.next + 1];
    return static_cast<wchar_t>(u < 0x80 ? u : 0xFFFD);
}

CopyResult CopyRange(const TextLines& lines, TextPos from, TextPos to, std::size_t maxUnits,
                     std::wstring& out) {
    RangeCopier copier(lines, from, to, maxUnits);
    out.assign(copier.Capacity(), L'\0');
    while (!copier.Step(out.data(), static_cast<std::size_t>(-1))) {
    }
    out.resize(copier.Result() == CopyResult::Copied ? copier.Size() : 0);
    return copier.Result();
}

RangeCopier::RangeCopier(const TextLines& lines, TextPos from, TextPos to, std::size_t maxUnits)
    : lines_(lines) {
    if (to < from) std::swap(from, to);
    if (lines.LineCount() == 0) {
        done_ = true;
        result_ = CopyResult::Nothing;
        return;
    }
    to.line = std::min(to.line, lines.LineCount() - 1);
    from_ = from;
    to_ = to;
    next_ = from.line;
    const TextLines::Line first = lines.GetLineBytes(from.line);
    const TextLines::Line last = lines.GetLineBytes(to.line);
    const std::size_t unitBytes =
        lines.GetEncoding() == Encoding::Utf16LE || lines.GetEncoding() == Encoding::Utf16BE ? 2 : 1;
    const std::size_t bound = (std::max(last.end, first.begin) - first.begin) / unitBytes;
    // No code unit comes from more than three bytes, so the whole lines
    // between the ends tell at once when a range is sure to be too large.
    if (from.line + 1 < to.line) {
        const std::size_t inner = last.begin - lines.GetLineBytes(from.line + 1).begin;
        if (inner / 3 > maxUnits) {
            done_ = true;
            result_ = CopyResult::TooLarge;
            return;
        }
    }
    capacity_ = std::min(bound, maxUnits);
}

bool RangeCopier::Step(wchar_t* into, std::size_t count) {
    for (; !done_ && count > 0; --count, ++next_) {
        const std::size_t i = next_;
        lines_.GetRawLine(i, line_, &lineBreak_);
        const std::size_t a = i == from_.line ? std::min(from_.unit, line_.size()) : 0;
        const std::size_t b = i == to_.line ? std::min(to_.unit, line_.size()) : line_.size();
        const std::size_t tail = i == to_.line ? 0 : lineBreak_.size();
        const std::size_t n = (b > a ? b - a : 0) + tail;
        if (n > capacity_ - size_) {
            done_ = true;
            result_ = CopyResult::TooLarge;
            size_ = 0;
            return true;
        }
        if (b > a) line_.copy(into + size_, b - a, a);
        lineBreak_.copy(into + size_ + n - tail, tail);
        size_ += n;
        if (i == to_.line) {
            done_ = true;
            if (size_ == 0) result_ = CopyResult::Nothing;
        }
    }
    return done_;
}

int RangeCopier::Percent() const {
    const std::size_t lines = to_.line - from_.line + 1;
    return static_cast<int>((next_ - from_.line) * 100 / lines);
}

}  // namespace text
