#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/text/TextReader.h"

namespace {

using text::Encoding;
using text::TextReader;
using Status = TextReader::Status;

// A file in memory that answers each read with at most a few bytes fewer than
// asked, as a real file may, and may claim to be larger than it is. The
// worker gets its own share of the bytes.
struct MemoryFile {
    std::string bytes;
    std::size_t shortBy = 0;
    std::uint64_t claimedSize = 0;  // 0: the real size
    TextReader::OpenSource Opener() const {
        auto data = std::make_shared<const std::string>(bytes);
        const std::size_t by = shortBy;
        const std::uint64_t size = claimedSize ? claimedSize : bytes.size();
        return [data, by, size] {
            TextReader::Source source;
            source.size = size;
            source.read = [data, by](std::uint64_t offset, unsigned char* into, std::size_t ask,
                                     std::size_t& got) -> std::uint32_t {
                const std::size_t at = static_cast<std::size_t>(offset);
                got = at >= data->size() ? 0 : std::min(ask, data->size() - at);
                if (got > 1 + by) got -= by;
                std::copy_n(data->data() + at, got, into);
                return 0;
            };
            return source;
        };
    }
};

// Takes everything up as the preview does: each chunk as soon as it is there.
Status ReadAll(TextReader& reader) {
    Status status = Status::Done;
    while (!reader.Done()) {
        reader.WaitFor(reader.Have() + TextReader::kChunk, -1);
        status = reader.ReadUpTo(reader.Have() + TextReader::kChunk);
    }
    return status;
}

std::vector<std::wstring> AllLines(const text::TextLines& t) {
    std::vector<std::wstring> lines(t.LineCount());
    for (std::size_t i = 0; i < t.LineCount(); ++i) t.GetLine(i, lines[i]);
    return lines;
}

// A gate a worker's open or read waits at until the test opens it; shared,
// so that a worker that outlives the test's reader still finds it.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    bool reached = false;
    void Pass() {
        std::unique_lock<std::mutex> lock(mutex);
        reached = true;
        changed.notify_all();
        changed.wait(lock, [&] { return open; });
    }
    void Open() {
        const std::lock_guard<std::mutex> lock(mutex);
        open = true;
        changed.notify_all();
    }
    bool WaitReached() {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [&] { return reached; });
    }
};

// Read in steps over short reads, the text is indexed as if it had been
// there whole.
TEST(TextReader, StepsOverShortReadsGiveTheWholeText) {
    MemoryFile file;
    for (int i = 0; file.bytes.size() < 3 * TextReader::kChunk; ++i)
        file.bytes += "select " + std::to_string(i) + (i % 7 ? "\r\n" : "\r");
    file.shortBy = 3;
    TextReader reader;
    reader.Start(file.Opener(), 1ull << 40);
    ASSERT_TRUE(reader.WaitFor(1000, -1));
    EXPECT_EQ(reader.ReadUpTo(1000), Status::Reading);
    EXPECT_EQ(reader.Have(), 1000u);
    while (!reader.Done()) {
        reader.WaitFor(reader.Have() + TextReader::kChunk / 3, -1);
        reader.Step(TextReader::kChunk / 3);
    }
    text::TextLines whole;
    whole.Assign(reinterpret_cast<const unsigned char*>(file.bytes.data()), file.bytes.size());
    EXPECT_EQ(AllLines(reader.Lines()), AllLines(whole));
}

// A file cut to the limit without a line break near it is cut between
// characters, so a UTF-8 text stays UTF-8; UTF-16 keeps its pairs.
TEST(TextReader, ACutFallsBetweenCharacters) {
    MemoryFile file;
    for (int i = 0; i < 400; ++i) file.bytes += "\xE2\x82\xAC";  // the euro sign, no line break
    TextReader reader;
    for (std::uint64_t limit : {100u, 101u, 102u}) {
        reader.Start(file.Opener(), limit);
        EXPECT_EQ(ReadAll(reader), Status::Done);
        EXPECT_TRUE(reader.Cut());
        EXPECT_EQ(reader.Want(), limit / 3 * 3) << limit;
        EXPECT_EQ(reader.Lines().GetEncoding(), Encoding::Utf8);
    }
    file.bytes = std::string("\xFF\xFE", 2);
    for (int i = 0; i < 50; ++i) file.bytes += std::string("\x3D\xD8\x00\xDE", 4);
    reader.Start(file.Opener(), 12);
    ReadAll(reader);
    EXPECT_EQ(reader.Want(), 10u);
    // A line break near the limit wins.
    file.bytes = "select 1;\nselect 2;\n" + std::string(100, 'x');
    reader.Start(file.Opener(), 50);
    ReadAll(reader);
    EXPECT_EQ(reader.Want(), 20u);
}

// A file that turns out shorter than it said keeps what was read.
TEST(TextReader, AFileThatShrinksKeepsWhatWasRead) {
    MemoryFile file;
    file.bytes = "select 1\nselect 2\n";
    file.claimedSize = 1000;
    TextReader reader;
    reader.Start(file.Opener(), 1ull << 40);
    EXPECT_EQ(ReadAll(reader), Status::Done);
    EXPECT_EQ(reader.Want(), file.bytes.size());
    EXPECT_EQ(AllLines(reader.Lines()), (std::vector<std::wstring>{L"select 1", L"select 2", L""}));
}

// A file that cannot be opened, and one whose read fails half-way, say so
// with the system's error code, and nothing of the half is kept.
TEST(TextReader, FailuresCarryTheSystemsErrorCode) {
    TextReader reader;
    reader.Start([] { return TextReader::Source{5, 0, nullptr}; }, 1000);
    EXPECT_EQ(ReadAll(reader), Status::OpenError);
    EXPECT_EQ(reader.Error(), 5u);
    EXPECT_TRUE(reader.Done());

    auto data = std::make_shared<std::string>(3 * TextReader::kChunk, 'x');
    reader.Start(
        [data] {
            TextReader::Source source;
            source.size = data->size();
            source.read = [data](std::uint64_t offset, unsigned char* into, std::size_t ask,
                                 std::size_t& got) -> std::uint32_t {
                if (offset >= TextReader::kChunk) return 59;  // an unexpected network error
                got = std::min<std::size_t>(ask, TextReader::kChunk - static_cast<std::size_t>(offset));
                std::copy_n(data->data(), got, into);
                return 0;
            };
            return source;
        },
        1ull << 40);
    EXPECT_EQ(ReadAll(reader), Status::ReadError);
    EXPECT_EQ(reader.Error(), 59u);
    EXPECT_EQ(reader.Lines().LineCount(), 0u);
}

// An open or a read that does not return holds only the worker: the reader
// says what it knows, gives the work up at once, hears no more of it, and the
// worker ends on its own when its call returns.
TEST(TextReader, AReadThatDoesNotReturnIsGivenUpWithoutWaiting) {
    auto news = std::make_shared<std::atomic<int>>(0);
    auto notify = [news] { ++*news; };
    auto gate = std::make_shared<Gate>();
    auto ended = std::make_shared<std::atomic<bool>>(false);
    TextReader reader;
    reader.Start(
        [gate, ended] {
            gate->Pass();
            *ended = true;
            return TextReader::Source{2, 0, nullptr};
        },
        1000, notify);
    ASSERT_TRUE(gate->WaitReached());
    EXPECT_EQ(reader.ReadUpTo(1000), Status::Opening);
    EXPECT_FALSE(reader.WaitFor(1, 50));
    EXPECT_FALSE(reader.Done());
    reader.Close();
    EXPECT_TRUE(reader.Done());
    gate->Open();
    while (!*ended) std::this_thread::yield();

    // Half-way: the first chunk is shown, the second never comes.
    auto second = std::make_shared<Gate>();
    auto data = std::make_shared<std::string>(2 * TextReader::kChunk, 'y');
    auto reads = std::make_shared<std::atomic<int>>(0);
    auto open = [second, data, reads] {
        TextReader::Source source;
        source.size = data->size();
        source.read = [second, data, reads](std::uint64_t offset, unsigned char* into, std::size_t ask,
                                            std::size_t& got) -> std::uint32_t {
            if (offset > 0) second->Pass();
            got = ask;
            std::copy_n(data->data(), got, into);
            ++*reads;
            return 0;
        };
        return source;
    };
    {
        TextReader halfway;
        halfway.Start(open, 1ull << 40, notify);
        ASSERT_TRUE(second->WaitReached());
        EXPECT_EQ(halfway.ReadUpTo(2 * TextReader::kChunk), Status::Reading);
        EXPECT_EQ(halfway.Have(), TextReader::kChunk);
        EXPECT_GE(*news, 1);
    }  // given up while the worker waits in its read
    const int heard = *news;
    second->Open();
    while (*reads < 2) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(*news, heard);
}

// Reading threads wait for the next file after a read: one blocked in a read
// never holds up the next file, and a finished one keeps nothing of the file
// it read.
TEST(TextReader, AThreadBlockedInAReadHoldsUpNoOtherFileAndAFreeOneKeepsNothing) {
    auto gate = std::make_shared<Gate>();
    TextReader blocked;
    blocked.Start(
        [gate] {
            gate->Pass();
            return TextReader::Source{2, 0, nullptr};
        },
        1000);
    ASSERT_TRUE(gate->WaitReached());
    for (int i = 0; i < 3; ++i) {
        MemoryFile file;
        file.bytes = "select " + std::to_string(i);
        auto token = std::make_shared<int>(i);  // held by the file's source while it is read
        auto opener = file.Opener();
        TextReader reader;
        reader.Start([opener, token] { return opener(); }, 1000);
        ASSERT_TRUE(reader.WaitFor(1000, 10000)) << "waited behind the blocked read";
        EXPECT_EQ(ReadAll(reader), Status::Done);
        EXPECT_EQ(AllLines(reader.Lines()), std::vector<std::wstring>{L"select " + std::to_wstring(i)});
        reader.Close();
        for (int wait = 0; wait < 1000 && token.use_count() > 1; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(token.use_count(), 1) << "a free thread still holds the file it read";
    }
    gate->Open();
}

}  // namespace
