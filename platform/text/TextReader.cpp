#include "platform/text/TextReader.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

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

// What the reader and its worker share. The worker sets everything above
// `abandoned` and reads into `bytes` past `available`; the reader looks at
// the block only below `available`, taken under the lock.
struct TextReader::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    Status failure = Status::Reading;  // NoMemory, OpenError or ReadError once failed
    std::uint32_t error = 0;
    bool opened = false;  // size, want, cut and bytes are set
    bool ended = false;   // `available` is all there will be
    std::uint64_t size = 0;
    std::size_t want = 0;
    bool cut = false;
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t available = 0;
    bool abandoned = false;
    bool notified = false;  // news on its way that ReadUpTo has not taken up yet
    Notify notify;

    // Under the lock.
    void Tell() {
        changed.notify_all();
        if (notify && !notified) {
            notified = true;
            notify();
        }
    }
    // False when the reader has given the work up.
    bool Publish(const std::function<void()>& change) {
        const std::lock_guard<std::mutex> lock(mutex);
        if (abandoned) return false;
        change();
        Tell();
        return true;
    }
};

namespace {

constexpr std::uint32_t kEndOfFile = 38;  // the system's code for a read past the end

// Reading threads wait a while for the next script after their read, since
// making a thread costs a few milliseconds on some systems, as much as
// reading the first screen. A thread blocked in a read is simply not free: a
// new one is made for the next script.
class Workers {
public:
    static void Run(std::function<void()> job) {
        Workers& w = Instance();
        {
            const std::lock_guard<std::mutex> lock(w.mutex_);
            if (w.idle_ > 0) {
                --w.idle_;  // this thread takes the job
                w.jobs_.push_back(std::move(job));
                w.queued_.notify_one();
                return;
            }
        }
        std::thread([job = std::move(job)]() mutable {
            job();
            job = nullptr;  // what it holds goes now, not when the thread ends
            Instance().Serve();
        }).detach();
    }

private:
    static Workers& Instance() {
        // Never destroyed: threads may still wait on it when the program ends.
        static Workers* const workers = new Workers;
        return *workers;
    }
    void Serve() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            ++idle_;
            if (!queued_.wait_for(lock, std::chrono::seconds(30), [&] { return !jobs_.empty(); })) {
                --idle_;
                return;
            }
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            job = nullptr;
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<std::function<void()>> jobs_;
    int idle_ = 0;
};

// Reads exactly `count` bytes at `offset`; 0 or the error code (a file that
// ends early counts as a failed read).
std::uint32_t ReadExactly(const TextReader::ReadAt& read, unsigned char* into, std::size_t offset,
                          std::size_t count) {
    for (std::size_t done = 0; done < count;) {
        std::size_t got = 0;
        if (const std::uint32_t error = read(offset + done, into + done, count - done, got)) return error;
        if (got == 0) return kEndOfFile;
        done += got;
    }
    return 0;
}

}  // namespace

void TextReader::Run(const std::shared_ptr<Shared>& s, const OpenSource& open, std::uint64_t limit) {
    const Source source = open();
    auto fail = [&](Status status, std::uint32_t error) {
        s->Publish([&] {
            s->failure = status;
            s->error = error;
            s->size = source.size;
            s->ended = true;
        });
    };
    if (source.error || !source.read) return fail(Status::OpenError, source.error);
    const bool cut = source.size > limit;
    std::size_t want = static_cast<std::size_t>(cut ? limit : source.size);
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[want ? want : 1]);
    if (!block) return fail(Status::NoMemory, 0);
    unsigned char* b = block.get();
    if (cut && want > 0) {
        // The first bytes (for the byte-order mark) and the last stretch
        // before the limit, read into their places.
        const std::size_t headSize = std::min<std::size_t>(want, 4);
        const std::size_t tailSize = std::min(want, kCutSearch);
        std::uint32_t error = ReadExactly(source.read, b, 0, headSize);
        if (!error) error = ReadExactly(source.read, b, want - tailSize, tailSize);
        if (error) return fail(Status::ReadError, error);
        want = ChooseFileCut(b, headSize, b + want - tailSize, tailSize, want);
    }
    const bool going = s->Publish([&] {
        s->opened = true;
        s->size = source.size;
        s->want = want;
        s->cut = cut;
        s->bytes = std::move(block);
    });
    std::size_t have = 0;
    while (going && have < want) {
        const std::size_t ask = std::min(kChunk, want - have);
        std::size_t got = 0;
        if (const std::uint32_t error = source.read(have, b + have, ask, got))
            return fail(Status::ReadError, error);
        if (got == 0) break;  // the file became shorter while being read
        have += std::min(got, ask);
        if (!s->Publish([&] { s->available = have; })) return;
    }
    s->Publish([&] { s->ended = true; });
}

void TextReader::Start(OpenSource open, std::uint64_t limit, Notify notify, std::size_t maxLine) {
    Close();
    maxLine_ = maxLine;
    done_ = false;
    shared_ = std::make_shared<Shared>();
    shared_->notify = std::move(notify);
    try {
        Workers::Run([shared = shared_, open = std::move(open), limit] { Run(shared, open, limit); });
    } catch (const std::system_error& e) {
        shared_->failure = Status::OpenError;
        shared_->error = static_cast<std::uint32_t>(e.code().value());
        shared_->ended = true;
    }
}

TextReader::Status TextReader::ReadUpTo(std::size_t total) {
    if (done_ || !shared_) return Status::Done;
    std::size_t available = 0;
    bool ended = false;
    Status failure = Status::Reading;
    {
        const std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->notified = false;
        failure = shared_->failure;
        error_ = shared_->error;
        if (failure == Status::Reading && !shared_->opened) return Status::Opening;
        fileSize_ = shared_->size;
        if (!begun_) {
            want_ = shared_->want;
            cut_ = shared_->cut;
            bytes_ = shared_->bytes.get();
        }
        available = shared_->available;
        ended = shared_->ended;
    }
    if (failure != Status::Reading) {
        // What was read is not shown: the text would end somewhere in the middle.
        const std::uint64_t size = fileSize_;
        Close();
        fileSize_ = size;
        return failure;
    }
    if (!begun_) {
        begun_ = true;
        lines_.Begin(bytes_, want_, maxLine_);
    }
    const std::size_t upTo = std::min(total, available);
    if (upTo > have_) {
        have_ = upTo;
        lines_.Advance(have_);
    }
    if (have_ >= want_ || (ended && have_ >= available)) Complete();
    return done_ ? Status::Done : Status::Reading;
}

bool TextReader::WaitFor(std::size_t bytes, long long ms) const {
    if (done_ || !shared_) return true;
    Shared& s = *shared_;
    std::unique_lock<std::mutex> lock(s.mutex);
    auto ready = [&] {
        return s.failure != Status::Reading || s.ended ||
               (s.opened && s.available >= std::min(bytes, s.want));
    };
    if (ms < 0) {
        s.changed.wait(lock, ready);
        return true;
    }
    return s.changed.wait_for(lock, std::chrono::milliseconds(ms), ready);
}

void TextReader::Complete() {
    if (have_ < want_) {
        // Shorter than announced: index what is there.
        want_ = have_;
        lines_.Begin(bytes_, have_, maxLine_);
        lines_.Advance(have_);
    }
    lines_.Finish();
    done_ = true;
}

void TextReader::Close() {
    if (shared_) {
        const std::lock_guard<std::mutex> lock(shared_->mutex);
        // The worker stops at its next step and tells nobody any more.
        shared_->abandoned = true;
        shared_->notify = nullptr;
    }
    lines_.Clear();
    shared_.reset();
    bytes_ = nullptr;
    have_ = want_ = 0;
    fileSize_ = 0;
    cut_ = false;
    begun_ = false;
    done_ = true;
}

}  // namespace text
