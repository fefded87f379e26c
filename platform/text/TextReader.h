// Reading a script file for the preview: a worker thread opens the file and
// reads its bytes into one block of memory, and the viewer indexes them
// (text::TextLines) in steps as they arrive, soon enough to find them still
// in the processor's cache, so that the first screen can be shown after the
// first step and the rest is taken up while the viewer stays responsive. The
// viewer itself never waits for the file: a share or a disk that stops
// answering holds only the worker. A file larger than the limit is cut at a
// line break or at least at a character boundary. Portable: opening and
// reading go through functions, so that the same code runs over a file, over
// memory or over a source that returns short reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/text/TextDecode.h"

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
    // (even none) at the end of the file. 0, or the system's error code of a
    // read that failed.
    using ReadAt = std::function<std::uint32_t(std::uint64_t offset, unsigned char* into, std::size_t ask,
                                               std::size_t& got)>;
    // What opening a file gave: its size and how to read it, or the system's
    // error code (nonzero) when it could not be opened or sized.
    struct Source {
        std::uint32_t error = 0;
        std::uint64_t size = 0;
        ReadAt read;
    };
    using OpenSource = std::function<Source()>;
    // Told on the worker that there is news (opened, more bytes, the end, a
    // failure); it must not block. Not called again until ReadUpTo has run.
    using Notify = std::function<void()>;

    enum class Status { Opening, Reading, Done, NoMemory, OpenError, ReadError };

    TextReader() = default;
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;
    ~TextReader() { Close(); }

    // Starts reading on a worker thread: the source is opened and sized, a
    // text over `limit` bytes is cut (only its first bytes and the stretch
    // before the limit are read for that), then the bytes are read in order
    // into one block. Giving up (Close, the next Start, destruction) never
    // waits: a worker blocked in a read keeps its own share of the block and
    // the source and ends whenever the read returns, and nothing it read is
    // used any more.
    void Start(OpenSource open, std::uint64_t limit, Notify notify = nullptr,
               std::size_t maxLine = TextLines::kDefaultMaxLine);
    // Indexes what the worker has read, up to `total` bytes; never waits.
    // Opening until the source is open and sized; a failure closes the reader
    // (Error() says why).
    Status ReadUpTo(std::size_t total);
    Status Step(std::size_t bytes) { return ReadUpTo(have_ + bytes); }
    // Waits up to `ms` milliseconds (negative: without end) until the worker
    // has read `bytes` bytes, all it will read, or failed; true when so.
    bool WaitFor(std::size_t bytes, long long ms) const;
    void Close();

    const TextLines& Lines() const { return lines_; }
    TextLines& Lines() { return lines_; }
    // Nothing being read: closed, read to the end, or failed.
    bool Done() const { return done_; }
    // The source is open and sized, and its lines are being indexed.
    bool Opened() const { return begun_; }
    std::size_t Have() const { return have_; }
    std::size_t Want() const { return want_; }
    bool Cut() const { return cut_; }
    std::uint64_t FileSize() const { return fileSize_; }
    // The system's error code of the last OpenError or ReadError.
    std::uint32_t Error() const { return error_; }
    // Percent of the text read so far.
    unsigned Percent() const { return want_ ? static_cast<unsigned>(have_ * 100 / want_) : 100; }

private:
    struct Shared;
    static void Run(const std::shared_ptr<Shared>& shared, const OpenSource& open, std::uint64_t limit);
    void Complete();

    std::shared_ptr<Shared> shared_;
    unsigned char* bytes_ = nullptr;  // the shared block, once opened
    TextLines lines_;
    std::size_t maxLine_ = TextLines::kDefaultMaxLine;
    std::uint64_t fileSize_ = 0;
    std::size_t have_ = 0;
    std::size_t want_ = 0;
    std::uint32_t error_ = 0;
    bool cut_ = false;
    bool begun_ = false;
    bool done_ = true;
};

}  // namespace text
