#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/text/TextDecode.h"

namespace {

using text::Encoding;

std::vector<unsigned char> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

text::Detected Detect(const std::string& s) {
    return text::DetectEncoding(reinterpret_cast<const unsigned char*>(s.data()), s.size());
}

// UTF-16 code units of a text given as code units.
std::wstring Units(std::initializer_list<unsigned> units) {
    std::wstring w;
    for (unsigned u : units) w.push_back(static_cast<wchar_t>(u));
    return w;
}

std::vector<std::wstring> AllLines(const text::TextLines& t) {
    std::vector<std::wstring> lines;
    std::wstring line;
    for (std::size_t i = 0; i < t.LineCount(); ++i) {
        t.GetLine(i, line);
        lines.push_back(line);
    }
    return lines;
}

TEST(TextDecode, DetectsByteOrderMarksAndValidUtf8) {
    EXPECT_EQ(Detect("\xEF\xBB\xBFselect").encoding, Encoding::Utf8);
    EXPECT_EQ(Detect("\xEF\xBB\xBFselect").bomSize, 3u);
    EXPECT_EQ(Detect(std::string("\xFF\xFEs\0", 4)).encoding, Encoding::Utf16LE);
    EXPECT_EQ(Detect(std::string("\xFF\xFE", 2)).bomSize, 2u);
    EXPECT_EQ(Detect(std::string("\xFE\xFF\0s", 4)).encoding, Encoding::Utf16BE);
    EXPECT_EQ(Detect("").encoding, Encoding::Utf8);
    EXPECT_EQ(Detect("plain ascii").encoding, Encoding::Utf8);
    EXPECT_EQ(Detect("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80").encoding, Encoding::Utf8);
    // A BOM-less file with a broken BOM is not taken as UTF-8 with a BOM.
    EXPECT_EQ(Detect("\xEF\xBBx").encoding, Encoding::Ansi);
}

TEST(TextDecode, InvalidUtf8IsTakenAsAnsi) {
    const char* invalid[] = {
        "caf\xE9",               // Latin-1 e acute
        "\xC0\x80",              // overlong NUL
        "\xE0\x80\xAF",          // overlong slash
        "\xED\xA0\x80",          // UTF-16 surrogate
        "\xF4\x90\x80\x80",      // beyond U+10FFFF
        "\xF8\x88\x80\x80\x80",  // five-byte form
        "12345678\xC3",          // sequence cut at the end, after a fast ASCII run
        "\x80",                  // lone continuation byte
        "\xE2\x82",              // truncated three-byte form
    };
    for (const char* s : invalid) {
        EXPECT_EQ(Detect(s).encoding, Encoding::Ansi) << s;
        EXPECT_FALSE(text::IsValidUtf8(reinterpret_cast<const unsigned char*>(s), std::string(s).size()));
    }
    EXPECT_TRUE(text::IsValidUtf8(reinterpret_cast<const unsigned char*>("\xF4\x8F\xBF\xBF"), 4));
}

TEST(TextDecode, DecodesToUtf16CodeUnits) {
    std::wstring out;
    const auto utf8 = Bytes("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    text::DecodeUtf8(utf8.data(), utf8.size(), out);
    EXPECT_EQ(out, Units({'a', 0xE9, 0x20AC, 0xD83D, 0xDE00}));
    // Each byte outside a valid sequence becomes one replacement character.
    out.clear();
    const auto bad = Bytes("x\xE2\x82y\xFF");
    text::DecodeUtf8(bad.data(), bad.size(), out);
    EXPECT_EQ(out, Units({'x', 0xFFFD, 0xFFFD, 'y', 0xFFFD}));

    out.clear();
    const unsigned char le[] = {'a', 0, 0x3D, 0xD8, 0x00, 0xDE, 'z'};
    text::DecodeUtf16(le, sizeof le, false, out);
    EXPECT_EQ(out, Units({'a', 0xD83D, 0xDE00, 0xFFFD}));
    out.clear();
    const unsigned char be[] = {0, 'a', 0x20, 0xAC};
    text::DecodeUtf16(be, sizeof be, true, out);
    EXPECT_EQ(out, Units({'a', 0x20AC}));
}

TEST(TextDecode, LineBreaksOfEveryKind) {
    const auto data = Bytes("one\r\ntwo\nthree\rfour\r\r\nsix\n");
    text::TextLines t;
    t.Assign(data.data(), data.size());
    EXPECT_EQ(AllLines(t), (std::vector<std::wstring>{L"one", L"two", L"three", L"four", L"", L"six", L""}));
    EXPECT_EQ(t.LongestLine(), 5u);

    const auto empty = Bytes("");
    t.Assign(empty.data(), 0);
    EXPECT_EQ(t.LineCount(), 1u);
    std::wstring line = L"stale";
    t.GetLine(0, line);
    EXPECT_EQ(line, L"");
    t.GetLine(5, line);  // past the end
    EXPECT_EQ(line, L"");

    const auto noBreak = Bytes("\xEF\xBB\xBFselect 1");
    t.Assign(noBreak.data(), noBreak.size());
    EXPECT_EQ(AllLines(t), std::vector<std::wstring>{L"select 1"});
}

TEST(TextDecode, Utf16LinesSkipTheMarkAndKeepUnits) {
    // "a\r\n" U+1F600 "\n" "b" in UTF-16LE with its mark, and the same in BE.
    const unsigned char le[] = {0xFF, 0xFE, 'a',  0,    '\r', 0, '\n', 0,
                                0x3D, 0xD8, 0x00, 0xDE, '\n', 0, 'b',  0};
    text::TextLines t;
    t.Assign(le, sizeof le);
    EXPECT_EQ(t.GetEncoding(), Encoding::Utf16LE);
    EXPECT_EQ(AllLines(t), (std::vector<std::wstring>{L"a", Units({0xD83D, 0xDE00}), L"b"}));
    const unsigned char be[] = {0xFE, 0xFF, 0, 'a', 0, '\r', 0, '\n', 0x0A, 0x0D, 0, 'b'};
    t.Assign(be, sizeof be);
    // U+0A0D is a character, not a break.
    EXPECT_EQ(AllLines(t), (std::vector<std::wstring>{L"a", Units({0x0A0D, 'b'})}));
    // A stray odd byte at the end survives as a replacement character.
    const unsigned char odd[] = {0xFF, 0xFE, 'a', 0, '\n', 0, 'b'};
    t.Assign(odd, sizeof odd);
    EXPECT_EQ(AllLines(t), (std::vector<std::wstring>{L"a", Units({0xFFFD})}));
}

TEST(TextDecode, ControlCharactersAndNulBytesAreVisible) {
    const auto data = Bytes(std::string("a\0b\tc\x01\x7F\n\0", 9));
    text::TextLines t;
    t.Assign(data.data(), data.size());
    const std::wstring dot(1, text::kControlSymbol);
    EXPECT_EQ(AllLines(t), (std::vector<std::wstring>{L"a" + dot + L"b\tc" + dot + dot, dot}));
}

TEST(TextDecode, AnsiGoesThroughTheConverter) {
    const auto data = Bytes("caf\xE9\nx");
    text::TextLines t;
    t.Assign(data.data(), data.size());
    EXPECT_EQ(t.GetEncoding(), Encoding::Ansi);
    EXPECT_EQ(AllLines(t), (std::vector<std::wstring>{Units({'c', 'a', 'f', 0xE9}), L"x"}));
    std::vector<std::size_t> calls;
    t.SetAnsiConverter([&](const unsigned char*, std::size_t n, std::wstring& out) {
        calls.push_back(n);
        out += L"converted";
    });
    EXPECT_EQ(AllLines(t), (std::vector<std::wstring>{L"converted", L"converted"}));
    EXPECT_EQ(calls, (std::vector<std::size_t>{4, 1}));
}

TEST(TextDecode, LongLinesAreCutWithoutSplittingWordsOrCharacters) {
    text::TextLines t;
    // Cut after the last blank before the limit, so the word stays whole.
    const auto words = Bytes("select aaaa bbbbbbbbbbbbbbbbbbbb\nnext");
    t.Assign(words.data(), words.size(), 16);
    EXPECT_EQ(AllLines(t),
              (std::vector<std::wstring>{L"select aaaa ", L"bbbbbbbbbbbbbbbb", L"bbbb", L"next"}));
    EXPECT_FALSE(t.GetLineBytes(0).endsLine);
    EXPECT_FALSE(t.GetLineBytes(1).endsLine);
    EXPECT_TRUE(t.GetLineBytes(2).endsLine);
    // A line of exactly the limit followed by its break is not cut.
    const auto exact = Bytes("0123456789abcdef\r\nx");
    t.Assign(exact.data(), exact.size(), 16);
    EXPECT_EQ(AllLines(t), (std::vector<std::wstring>{L"0123456789abcdef", L"x"}));
    // A UTF-8 sequence is never split.
    std::string euros;
    for (int i = 0; i < 11; ++i) euros += "\xE2\x82\xAC";
    const auto e = Bytes(euros);
    t.Assign(e.data(), e.size(), 16);
    std::wstring joined;
    for (const auto& line : AllLines(t)) {
        EXPECT_EQ(line.find(static_cast<wchar_t>(0xFFFD)), std::wstring::npos);
        joined += line;
    }
    EXPECT_EQ(joined, std::wstring(11, static_cast<wchar_t>(0x20AC)));
    // Nor is a UTF-16 surrogate pair.
    std::vector<unsigned char> pairs = {0xFF, 0xFE, 'x', 0};
    for (int i = 0; i < 20; ++i) pairs.insert(pairs.end(), {0x3D, 0xD8, 0x00, 0xDE});
    t.Assign(pairs.data(), pairs.size(), 16);
    std::wstring all;
    for (const auto& line : AllLines(t)) {
        ASSERT_FALSE(line.empty());
        EXPECT_FALSE(line.back() >= 0xD800 && line.back() <= 0xDBFF);
        all += line;
    }
    EXPECT_EQ(all.size(), 41u);
}

TEST(TextDecode, RandomAccessMatchesReadingInOrder) {
    std::string s;
    for (int i = 0; i < 1000; ++i) {
        s += "line " + std::to_string(i);
        s += (i % 3 == 0) ? "\r\n" : (i % 3 == 1 ? "\n" : "\r");
        if (i % 97 == 0) s += std::string(50, 'w');  // some lines cut for length
    }
    const auto data = Bytes(s);
    text::TextLines t;
    t.Assign(data.data(), data.size(), 32);
    const std::vector<std::wstring> ordered = AllLines(t);
    ASSERT_GT(ordered.size(), 1000u);
    std::wstring line;
    for (std::size_t i : {ordered.size() - 1, std::size_t{0}, std::size_t{33}, std::size_t{31},
                          std::size_t{32}, std::size_t{500}, std::size_t{499}, std::size_t{501}}) {
        t.GetLine(i, line);
        EXPECT_EQ(line, ordered[i]) << i;
    }
}

TEST(TextDecode, NothingButLineBreaksStaysSmall) {
    const std::vector<unsigned char> breaks(100000, '\n');
    text::TextLines t;
    t.Assign(breaks.data(), breaks.size());
    EXPECT_EQ(t.LineCount(), 100001u);
    std::wstring line = L"x";
    t.GetLine(77777, line);
    EXPECT_EQ(line, L"");
    EXPECT_EQ(t.GetLineBytes(100000).begin, 100000u);
}

}  // namespace

namespace {

// Streams `data` into a buffer as a reader does: the bytes not yet read are
// something else (`unread`), so an index that looks past what it was given
// goes wrong.
void Stream(text::TextLines& t, std::vector<unsigned char>& buffer, const std::vector<unsigned char>& data,
            std::size_t chunk, std::size_t maxLine, unsigned char unread) {
    buffer.assign(data.size(), unread);
    t.Begin(buffer.data(), buffer.size(), maxLine);
    for (std::size_t have = 0; have < data.size();) {
        const std::size_t next = std::min(data.size(), have + chunk);
        for (std::size_t i = have; i < next; ++i) buffer[i] = data[i];
        have = next;
        t.Advance(have);
    }
    t.Finish();
}

// Indexing as the bytes arrive, in chunks of any size, gives the same lines as
// indexing them all at once, decided only from the bytes already there.
TEST(TextDecode, StreamedIndexingMatchesWholeIndexing) {
    std::string s = "select 1;\r\n";
    for (int i = 0; i < 300; ++i) s += "word" + std::to_string(i) + (i % 40 == 0 ? "\n" : " ");
    const std::string variants[] = {
        s,
        "\xEF\xBB\xBF" + s,
        s + "caf\xE9",  // ANSI only at the very end: lines already cut must be cut again
        std::string("\xFF\xFE", 2) + std::string("a\0\n\0b\0", 6),
        "",
        "x",
        // A CR right at the length limit, then a LF or another byte.
        std::string(24, 'a') + "\r\nb",
        std::string(24, 'a') + "\r\rb",
        std::string(23, 'a') + "\r" + std::string(30, 'd'),
    };
    for (const std::string& v : variants) {
        const auto data = Bytes(v);
        text::TextLines whole;
        whole.Assign(data.data(), data.size(), 24);
        for (std::size_t chunk : {1u, 2u, 7u, 25u, 26u, 64u}) {
            for (unsigned char unread : {'\0', '\n'}) {
                text::TextLines streamed;
                std::vector<unsigned char> buffer;
                Stream(streamed, buffer, data, chunk, 24, unread);
                EXPECT_EQ(streamed.GetEncoding(), whole.GetEncoding()) << v;
                EXPECT_EQ(AllLines(streamed), AllLines(whole)) << v << " in chunks of " << chunk;
            }
        }
    }
    const auto ansi = Bytes(variants[2]);
    text::TextLines t;
    t.Assign(ansi.data(), ansi.size(), 24);
    EXPECT_EQ(t.GetEncoding(), Encoding::Ansi);
    EXPECT_EQ(AllLines(t).back().back(), static_cast<wchar_t>(0xE9));
}

// The encoding is decided from the first bytes, before the rest is there, and
// changed once when a later byte proves it wrong.
TEST(TextDecode, EncodingIsDecidedEarlyAndChangedOnlyByProof) {
    std::string body;
    while (body.size() < 3 * text::TextLines::kDecideBytes) body += "select 1 from t\n";
    const std::size_t chunk = text::TextLines::kDecideBytes / 2;
    const auto early = Bytes("caf\xE9\n" + body);
    text::TextLines t;
    std::vector<unsigned char> buffer(early.begin(), early.end());
    t.Begin(buffer.data(), buffer.size());
    t.Advance(text::TextLines::kDecideBytes);
    EXPECT_EQ(t.GetEncoding(), Encoding::Ansi);
    std::wstring line;
    t.GetLine(0, line);
    EXPECT_EQ(line, Units({'c', 'a', 'f', 0xE9}));

    const auto late = Bytes(body + "caf\xE9");
    buffer.assign(late.begin(), late.end());
    t.Begin(buffer.data(), buffer.size());
    t.Advance(2 * chunk + 1);
    EXPECT_EQ(t.GetEncoding(), Encoding::Utf8);
    EXPECT_EQ(t.EncodingChanges(), 0u);
    t.Advance(buffer.size());
    t.Finish();
    EXPECT_EQ(t.GetEncoding(), Encoding::Ansi);
    EXPECT_EQ(t.EncodingChanges(), 1u);
}

// What is copied is the text as it is in the file.
TEST(TextDecode, CopyKeepsControlsAndLineBreaksAsWritten) {
    const auto data = Bytes(std::string("a\x01\0b\r\nc\rd\ne", 12) + "fghijklmnopqrstuvwxyz0123");
    text::TextLines t;
    t.Assign(data.data(), data.size(), 16);
    std::wstring out;
    EXPECT_EQ(text::CopyRange(t, {0, 0}, {4, 99}, 1000, out), text::CopyResult::Copied);
    EXPECT_EQ(out, std::wstring(L"a\x01\0b\r\nc\rd\ne", 12) + L"fghijklmnopqrstuvwxyz0123");
    // Backwards gives the same; a part of a line.
    EXPECT_EQ(text::CopyRange(t, {1, 1}, {0, 1}, 1000, out), text::CopyResult::Copied);
    EXPECT_EQ(out, std::wstring(L"\x01\0b\r\nc", 6));
    // Only the seam of the line cut for length: nothing, and no complaint.
    ASSERT_EQ(t.LineCount(), 5u);
    const std::size_t cutEnd = t.GetLineBytes(3).end - t.GetLineBytes(3).begin;
    EXPECT_EQ(text::CopyRange(t, {3, cutEnd}, {4, 0}, 1000, out), text::CopyResult::Nothing);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(text::CopyRange(t, {0, 0}, {4, 99}, 10, out), text::CopyResult::TooLarge);
    EXPECT_TRUE(out.empty());
}

// A copy made a line at a time gives the text exactly in every encoding,
// within memory worked out before it starts, and is refused one unit past the limit.
TEST(TextDecode, CopyInStepsGivesTheTextInEveryEncoding) {
    const std::wstring text = Units({'s', 0xE9, 0x20AC, '\r', '\n', 0xD834, 0xDD1E, 1, '\r', '\n', '\n'}) +
                              std::wstring(40, L'x') + L"\r" + Units({0x4E2D, 0x6587, '\t'});
    std::string utf8, le("\xFF\xFE", 2), be("\xFE\xFF", 2);
    for (const wchar_t u : text) {
        le += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
        be += {static_cast<char>(u >> 8), static_cast<char>(u & 0xFF)};
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned u = static_cast<unsigned>(text[i]);
        unsigned c = u;
        if (u >= 0xD800 && u < 0xDC00) c = 0x10000 + ((u - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
        } else if (c < 0x10000) {
            utf8 += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                     static_cast<char>(0x80 | (c & 0x3F))};
        } else {
            utf8 += {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
                     static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        }
    }
    for (const std::string& bytes : {utf8, le, be}) {
        const auto data = Bytes(bytes);
        text::TextLines t;
        t.Assign(data.data(), data.size(), 16);
        ASSERT_GT(t.LineCount(), 5u);
        const text::TextPos end{t.LineCount() - 1, 99};
        text::RangeCopier copier(t, {0, 0}, end, text.size());
        std::wstring out(copier.Capacity(), L'?');
        int steps = 1;
        while (!copier.Step(out.data(), 1)) ++steps;
        EXPECT_EQ(copier.Result(), text::CopyResult::Copied);
        EXPECT_EQ(out.substr(0, copier.Size()), text);
        EXPECT_EQ(steps, static_cast<int>(t.LineCount()));
        EXPECT_EQ(text::CopyRange(t, {0, 0}, end, text.size() - 1, out), text::CopyResult::TooLarge);
    }
}

}  // namespace
