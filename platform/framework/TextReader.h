// Reading a script file for the preview: the bytes go into one block of
// memory in steps, and each step is indexed (text::TextLines) while it is
// still in the processor's cache, so that the first screen can be shown after
// the first step and the rest is read while the viewer stays responsive. A
// file larger than the limit is cut at a line break or at least at a character
// boundary. Portable: reading goes through a function, so that the same code
// runs over a file, over memory or over a source that returns short reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/framework/TextDecode.h"

namespace text {

// Where a text cut to `size` bytes should end so that no line or character is
// split. `head` holds the first bytes (for the byte-order mark), `tail` the
// last `tailSize` bytes before `size`. Prefers the end of the last line in the
// tail; without a line break, the end of a character in every encoding.
std::size_t ChooseFileCut(const unsigned char* head, std::size_t headSize, const unsigned char* tail,
                          std::size_t tailSize, std::size_t size);

class TextReader {
public:
    static constexpr std::size_t kChunk = 1u << 20;  // small enough to index while still in the cache
    static constexpr std::size_t kCutSearch = 1u << 20;

    // Reads up to `ask` bytes at `offset` into `into` and sets `got`; fewer
    // (even none) at the end of the file. False on a read error.
    using ReadAt =
        std::function<bool(std::uint64_t offset, unsigned char* into, std::size_t ask, std::size_t& got)>;

    enum class Status { Reading, Done, NoMemory, ReadError };

    // Starts reading a file of `fileSize` bytes, of which at most `limit` are
    // kept. Nothing is read yet except, for a cut file, where it is cut.
    Status Open(std::uint64_t fileSize, std::uint64_t limit, ReadAt read,
                std::size_t maxLine = TextLines::kDefaultMaxLine);
    // Reads on until `total` bytes are there or the text ends.
    Status ReadUpTo(std::size_t total);
    Status Step(std::size_t bytes) { return ReadUpTo(have_ + bytes); }
    void Close();

    const TextLines& Lines() const { return lines_; }
    TextLines& Lines() { return lines_; }
    bool Done() const { return done_; }
    std::size_t Have() const { return have_; }
    std::size_t Want() const { return want_; }
    bool Cut() const { return cut_; }
    std::uint64_t FileSize() const { return fileSize_; }
    // Percent of the text read so far.
    unsigned Percent() const { return want_ ? static_cast<unsigned>(have_ * 100 / want_) : 100; }

private:
    void Complete();

    ReadAt read_;
    std::unique_ptr<unsigned char[]> bytes_;
    TextLines lines_;
    std::size_t maxLine_ = TextLines::kDefaultMaxLine;
    std::uint64_t fileSize_ = 0;
    std::size_t have_ = 0;
    std::size_t want_ = 0;
    bool cut_ = false;
    bool done_ = true;
};

}  // namespace text
