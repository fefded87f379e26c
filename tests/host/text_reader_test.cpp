#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/framework/TextReader.h"

namespace {

using text::Encoding;
using Status = text::TextReader::Status;

// A file in memory that answers each read with at most a few bytes fewer than
// asked, as a real file may, and counts reads past what it holds.
struct MemoryFile {
    std::string bytes;
    std::size_t shortBy = 0;
    text::TextReader::ReadAt Reader() {
        return [this](std::uint64_t offset, unsigned char* into, std::size_t ask, std::size_t& got) {
            const std::size_t at = static_cast<std::size_t>(offset);
            got = at >= bytes.size() ? 0 : std::min(ask, bytes.size() - at);
            if (got > 1 + shortBy) got -= shortBy;
            std::copy_n(bytes.data() + at, got, into);
            return true;
        };
    }
};

std::vector<std::wstring> AllLines(const text::TextLines& t) {
    std::vector<std::wstring> lines(t.LineCount());
    for (std::size_t i = 0; i < t.LineCount(); ++i) t.GetLine(i, lines[i]);
    return lines;
}

// Read in steps over short reads, the text is indexed as if it had been
// there whole.
TEST(TextReader, StepsOverShortReadsGiveTheWholeText) {
    MemoryFile file;
    for (int i = 0; file.bytes.size() < 3 * text::TextReader::kChunk; ++i)
        file.bytes += "select " + std::to_string(i) + (i % 7 ? "\r\n" : "\r");
    file.shortBy = 3;
    text::TextReader reader;
    ASSERT_EQ(reader.Open(file.bytes.size(), 1ull << 40, file.Reader()), Status::Reading);
    EXPECT_EQ(reader.ReadUpTo(1000), Status::Reading);
    EXPECT_GE(reader.Have(), 1000u);
    while (reader.Step(text::TextReader::kChunk / 3) == Status::Reading) {
    }
    ASSERT_TRUE(reader.Done());
    text::TextLines whole;
    whole.Assign(reinterpret_cast<const unsigned char*>(file.bytes.data()), file.bytes.size());
    EXPECT_EQ(AllLines(reader.Lines()), AllLines(whole));
}

// A file cut to the limit without a line break near it is cut between
// characters, so a UTF-8 text stays UTF-8; UTF-16 keeps its pairs.
TEST(TextReader, ACutFallsBetweenCharacters) {
    MemoryFile file;
    for (int i = 0; i < 400; ++i) file.bytes += "\xE2\x82\xAC";  // the euro sign, no line break
    text::TextReader reader;
    for (std::uint64_t limit : {100u, 101u, 102u}) {
        reader.Open(file.bytes.size(), limit, file.Reader());
        reader.ReadUpTo(reader.Want());
        ASSERT_TRUE(reader.Done());
        EXPECT_TRUE(reader.Cut());
        EXPECT_EQ(reader.Want(), limit / 3 * 3) << limit;
        EXPECT_EQ(reader.Lines().GetEncoding(), Encoding::Utf8);
    }
    file.bytes = std::string("\xFF\xFE", 2);
    for (int i = 0; i < 50; ++i) file.bytes += std::string("\x3D\xD8\x00\xDE", 4);
    reader.Open(file.bytes.size(), 12, file.Reader());
    EXPECT_EQ(reader.Want(), 10u);
    // A line break near the limit wins.
    file.bytes = "select 1;\nselect 2;\n" + std::string(100, 'x');
    reader.Open(file.bytes.size(), 50, file.Reader());
    EXPECT_EQ(reader.Want(), 20u);
}

// A file that turns out shorter than it said keeps what was read.
TEST(TextReader, AFileThatShrinksKeepsWhatWasRead) {
    MemoryFile file;
    file.bytes = "select 1\nselect 2\n";
    text::TextReader reader;
    reader.Open(1000, 1ull << 40, file.Reader());
    EXPECT_EQ(reader.ReadUpTo(1000), Status::Done);
    EXPECT_EQ(reader.Want(), file.bytes.size());
    EXPECT_EQ(AllLines(reader.Lines()), (std::vector<std::wstring>{L"select 1", L"select 2", L""}));
}

}  // namespace
