#include "platform/framework/TextReader.h"

#include <algorithm>
#include <new>

namespace text {

std::size_t ChooseFileCut(const unsigned char* head, std::size_t headSize, const unsigned char* tail,
                          std::size_t tailSize, std::size_t size) {
    const Detected bom = ByteOrderMark(head, headSize);
    const bool le = bom.bomSize && bom.encoding == Encoding::Utf16LE;
    const bool be = bom.bomSize && bom.encoding == Encoding::Utf16BE;
    const std::size_t unit = (le || be) ? 2 : 1;
    const std::size_t base = size - tailSize;  // offset of tail[0]
    const std::size_t end = size - size % unit;
    auto at = [&](std::size_t offset) { return tail[offset - base]; };
    const std::size_t floor = std::max(base + unit, unit + 1);
    if (end < floor) return end;
    if (unit == 2) {
        auto unitEnding = [&](std::size_t p) -> unsigned {
            return le ? (at(p - 2) | at(p - 1) << 8) : (at(p - 2) << 8 | at(p - 1));
        };
        for (std::size_t p = end; p >= floor; p -= 2) {
            if (unitEnding(p) == '\n') return p;
        }
        // Not between the two halves of a surrogate pair.
        const unsigned last = unitEnding(end);
        return (last >= 0xD800 && last <= 0xDBFF) ? end - 2 : end;
    }
    for (std::size_t p = end; p >= floor; --p) {
        if (at(p - 1) == '\n') return p;
    }
    // A byte below 0x40 ends a character in UTF-8 and in every ANSI code page
    // (the second byte of a double-byte character is never that low).
    for (std::size_t p = end; p >= floor; --p) {
        if (at(p - 1) < 0x40) return p;
    }
    // Otherwise not inside a UTF-8 sequence: before the last lead byte if its
    // sequence would go on past the cut.
    std::size_t q = end - 1;
    while (q > base && end - q < 4 && (at(q) & 0xC0) == 0x80) --q;
    const unsigned char lead = at(q);
    const std::size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return end - q < len ? q : end;
}

TextReader::Status TextReader::Open(std::uint64_t fileSize, std::uint64_t limit, ReadAt read,
                                    std::size_t maxLine) {
    Close();
    read_ = std::move(read);
    maxLine_ = maxLine;
    fileSize_ = fileSize;
    cut_ = fileSize > limit;
    want_ = static_cast<std::size_t>(cut_ ? limit : fileSize);
    bytes_.reset(new (std::nothrow) unsigned char[want_ ? want_ : 1]);
    if (!bytes_) {
        done_ = true;
        return Status::NoMemory;
    }
    done_ = false;
    if (cut_ && want_ > 0) {
        // The first bytes (for the byte-order mark) and the last stretch
        // before the limit, read into their places.
        unsigned char* b = bytes_.get();
        const std::size_t headSize = std::min<std::size_t>(want_, 4);
        const std::size_t tailSize = std::min(want_, kCutSearch);
        auto readExactly = [&](std::size_t offset, std::size_t count) {
            std::size_t done = 0;
            while (done < count) {
                std::size_t got = 0;
                if (!read_(offset + done, b + offset + done, count - done, got) || got == 0) return false;
                done += got;
            }
            return true;
        };
        if (!readExactly(0, headSize) || !readExactly(want_ - tailSize, tailSize)) {
            Close();
            return Status::ReadError;
        }
        want_ = ChooseFileCut(b, headSize, b + want_ - tailSize, tailSize, want_);
    }
    lines_.Begin(bytes_.get(), want_, maxLine_);
    if (want_ == 0) Complete();
    return done_ ? Status::Done : Status::Reading;
}

TextReader::Status TextReader::ReadUpTo(std::size_t total) {
    if (done_) return Status::Done;
    total = std::min(total, want_);
    while (have_ < total) {
        const std::size_t ask = std::min(kChunk, want_ - have_);
        std::size_t got = 0;
        if (!read_(have_, bytes_.get() + have_, ask, got)) {
            Close();
            return Status::ReadError;
        }
        if (got == 0) break;  // the file became shorter while being read
        have_ += std::min(got, ask);
        lines_.Advance(have_);
    }
    if (have_ >= want_ || have_ < total) Complete();
    return done_ ? Status::Done : Status::Reading;
}

void TextReader::Complete() {
    if (have_ < want_) {
        // Shorter than announced: index what is there.
        want_ = have_;
        lines_.Begin(bytes_.get(), have_, maxLine_);
        lines_.Advance(have_);
    }
    lines_.Finish();
    done_ = true;
    read_ = nullptr;
}

void TextReader::Close() {
    lines_.Clear();
    bytes_.reset();
    read_ = nullptr;
    have_ = want_ = 0;
    fileSize_ = 0;
    cut_ = false;
    done_ = true;
}

}  // namespace text
