#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text/CColorizer.h"

namespace {

using Kind = CColorizer::TokenKind;
using State = CColorizer::State;

CColorizer MakeColorizer() {
    CColorizer c;
    c.SetKeywords({L"select", L"FROM", L"Where", L"GROUP BY", L"not-a-word", L"", L"  ORDER  "});
    c.SetHighlighting(1);
    return c;
}

// The line rendered as the text of its spans, "kind:text" joined by '|'.
std::wstring Render(const CColorizer& c, const std::wstring& line, State in = State::Code,
                    State* outState = nullptr) {
    std::vector<CColorizer::Span> spans;
    const State out = c.ColorizeLine(line.data(), line.size(), in, spans);
    if (outState) *outState = out;
    static const wchar_t* names[] = {L"K", L"S", L"I", L"C", L"N"};
    std::wstring r;
    std::uint32_t last = 0;
    for (const auto& s : spans) {
        EXPECT_GE(s.start, last) << "spans overlap or are out of order";
        EXPECT_LE(s.start + s.length, line.size());
        EXPECT_GT(s.length, 0u);
        last = s.start + s.length;
        if (!r.empty()) r += L"|";
        r += names[static_cast<int>(s.kind)];
        r += L":" + line.substr(s.start, s.length);
    }
    return r;
}

TEST(Colorizer, KeywordsMatchWholeWordsWithoutCase) {
    const CColorizer c = MakeColorizer();
    EXPECT_EQ(Render(c, L"SeLeCt a FROM b where x"), L"K:SeLeCt|K:FROM|K:where");
    // Each word of a multi-word entry, and a blank-padded entry, count.
    EXPECT_EQ(Render(c, L"group by order"), L"K:group|K:by|K:order");
    // Longer or shorter words, and words glued to other word characters, do not.
    EXPECT_EQ(Render(c, L"selected sel _select select_ @select #from from$"), L"");
    EXPECT_TRUE(c.IsKeyword(L"from", 4));
    EXPECT_FALSE(c.IsKeyword(L"not-a-word", 10));
    EXPECT_FALSE(c.IsKeyword(L"", 0));
    // Punctuation and operators separate words.
    EXPECT_EQ(Render(c, L"(select)*from,where;"), L"K:select|K:from|K:where");
    // Letters beyond ASCII belong to the word, so no keyword is found inside.
    EXPECT_EQ(Render(c, L"s\u00e9lect select\u00e9"), L"");
}

TEST(Colorizer, HighlightingOffOrNoKeywords) {
    CColorizer c;
    c.SetKeywords({L"select"});
    std::vector<CColorizer::Span> spans;
    const std::wstring line = L"select '/* open";
    EXPECT_EQ(c.ColorizeLine(line.data(), line.size(), State::String, spans), State::Code);
    EXPECT_TRUE(spans.empty());
    c.SetHighlighting(1);
    EXPECT_EQ(Render(c, line), L"K:select|S:'/* open");
    c.SetKeywords({});
    EXPECT_EQ(Render(c, L"select 1"), L"N:1");
    c.SetHighlighting(0);
    EXPECT_EQ(Render(c, L"select 1"), L"");
}

TEST(Colorizer, StringsAndQuotedIdentifiers) {
    const CColorizer c = MakeColorizer();
    EXPECT_EQ(Render(c, L"select 'it''s' from t"), L"K:select|S:'it''s'|K:from");
    EXPECT_EQ(Render(c, L"''"), L"S:''");
    EXPECT_EQ(Render(c, L"''''x"), L"S:''''");
    EXPECT_EQ(Render(c, L"N'unicode' n'x' an'y'"), L"S:N'unicode'|S:n'x'|S:'y'");
    EXPECT_EQ(Render(c, L"\"select \"\"x\"\"\" [from]]x] [a'b]"),
              L"I:\"select \"\"x\"\"\"|I:[from]]x]|I:[a'b]");
    // Comment markers inside strings and identifiers are text.
    EXPECT_EQ(Render(c, L"'--x' \"/*\" [--] select"), L"S:'--x'|I:\"/*\"|I:[--]|K:select");
    // A quote inside brackets or double quotes does not open a string.
    State out;
    EXPECT_EQ(Render(c, L"[it's] \"don't\" from", State::Code, &out), L"I:[it's]|I:\"don't\"|K:from");
    EXPECT_EQ(out, State::Code);
}

TEST(Colorizer, ConstructsSpanningLines) {
    const CColorizer c = MakeColorizer();
    State s;
    EXPECT_EQ(Render(c, L"select 'first", State::Code, &s), L"K:select|S:'first");
    EXPECT_EQ(s, State::String);
    EXPECT_EQ(Render(c, L"middle select", s, &s), L"S:middle select");
    EXPECT_EQ(s, State::String);
    EXPECT_EQ(Render(c, L"", s, &s), L"");
    EXPECT_EQ(s, State::String);
    EXPECT_EQ(Render(c, L"x'' end' from", s, &s), L"S:x'' end'|K:from");
    EXPECT_EQ(s, State::Code);

    EXPECT_EQ(Render(c, L"\"a", State::Code, &s), L"I:\"a");
    EXPECT_EQ(s, State::QuotedIdentifier);
    EXPECT_EQ(Render(c, L"b\" from", s, &s), L"I:b\"|K:from");
    EXPECT_EQ(Render(c, L"[a", State::Code, &s), L"I:[a");
    EXPECT_EQ(s, State::BracketIdentifier);
    EXPECT_EQ(Render(c, L"]]]select", s, &s), L"I:]]]|K:select");
    EXPECT_EQ(s, State::Code);
}

TEST(Colorizer, Comments) {
    const CColorizer c = MakeColorizer();
    State s;
    EXPECT_EQ(Render(c, L"select 1 -- from 'x /*", State::Code, &s), L"K:select|N:1|C:-- from 'x /*");
    EXPECT_EQ(s, State::Code);
    EXPECT_EQ(Render(c, L"a-b - -1"), L"N:1");
    EXPECT_EQ(Render(c, L"/* a */select/**/from/*/ x */"), L"C:/* a */|K:select|C:/**/|K:from|C:/*/ x */");
    EXPECT_EQ(Render(c, L"select /* open 'x", State::Code, &s), L"K:select|C:/* open 'x");
    EXPECT_EQ(s, State::BlockComment);
    EXPECT_EQ(Render(c, L"-- still */ from", s, &s), L"C:-- still */|K:from");
    EXPECT_EQ(s, State::Code);
    // "/*/" does not close the comment it opens, nor does a lone '*'.
    EXPECT_EQ(Render(c, L"/*/", State::Code, &s), L"C:/*/");
    EXPECT_EQ(s, State::BlockComment);
    EXPECT_EQ(Render(c, L"*", s, &s), L"C:*");
    EXPECT_EQ(s, State::BlockComment);
    EXPECT_EQ(Render(c, L"/ */", s, &s), L"C:/ */");
    EXPECT_EQ(s, State::Code);
}

TEST(Colorizer, Numbers) {
    const CColorizer c = MakeColorizer();
    EXPECT_EQ(Render(c, L"12 1.5 .5 1e-3 2E+10 0x1F 7."), L"N:12|N:1.5|N:.5|N:1e-3|N:2E+10|N:0x1F|N:7.");
    // Names that contain or start with digits are not numbers.
    EXPECT_EQ(Render(c, L"t1 x2y 1abc 2nd 0xZZ"), L"");
    // An exponent marker without digits makes the whole a name.
    EXPECT_EQ(Render(c, L"1e+ 3e"), L"");
    EXPECT_EQ(Render(c, L"a.b 1.2.3"), L"N:1.2|N:.3");
    EXPECT_EQ(Render(c, L"-5+x"), L"N:5");
}

TEST(Colorizer, SegmentsOfACutLineCarryAnOpenLineComment) {
    const CColorizer c = MakeColorizer();
    std::vector<CColorizer::Span> spans;
    const std::wstring a = L"select -- comment";
    State s = c.ColorizeSegment(a.data(), a.size(), State::Code, false, &spans);
    EXPECT_EQ(s, State::LineComment);
    const std::wstring b = L" from 'x";
    spans.clear();
    s = c.ColorizeSegment(b.data(), b.size(), s, false, &spans);
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(spans[0].kind, Kind::Comment);
    EXPECT_EQ(spans[0].length, b.size());
    EXPECT_EQ(s, State::LineComment);
    EXPECT_EQ(c.ScanLine(b.data(), b.size(), s, true), State::Code);
}

// Per unit: the kind colouring gives it (0 plain), colouring `line` in two
// segments cut at `cut` (the whole line when cut is its size).
std::vector<int> KindsCutAt(const CColorizer& c, const std::wstring& line, std::size_t cut, State& out) {
    std::vector<int> kinds(line.size(), 0);
    std::vector<CColorizer::Span> spans;
    const wchar_t follow = cut < line.size() ? line[cut] : 0;
    State s = c.ColorizeSegment(line.data(), cut, State::Code, cut == line.size(), &spans, follow);
    EXPECT_EQ(c.ScanLine(line.data(), cut, State::Code, cut == line.size(), follow), s) << cut;
    for (const auto& span : spans) std::fill_n(kinds.begin() + span.start, span.length, 1 + int(span.kind));
    spans.clear();
    const State in = s;
    s = c.ColorizeSegment(line.data() + cut, line.size() - cut, in, true, &spans);
    EXPECT_EQ(c.ScanLine(line.data() + cut, line.size() - cut, in, true), s) << cut;
    for (const auto& span : spans)
        std::fill_n(kinds.begin() + static_cast<std::ptrdiff_t>(cut + span.start), span.length,
                    1 + int(span.kind));
    out = s;
    return kinds;
}

// A line cut for length is coloured as if it were whole, also where
// the cut splits "--", "/*", "*/" or a doubled quote.
TEST(Colorizer, ACutNeverChangesTheColours) {
    const CColorizer c = MakeColorizer();
    for (const std::wstring line : {L"a-- b", L"x/* y */z select", L"/*/ select */ 1", L"'it''s' select",
                                    L"[a]]b] \"q\"\"r\" 1", L"N'x' select 1-1 /**/ 2", L"/* a **/ select"}) {
        State whole;
        const std::vector<int> expected = KindsCutAt(c, line, line.size(), whole);
        for (std::size_t cut = 1; cut < line.size(); ++cut) {
            // Cuts are made after blanks where they can be; inside a word only
            // in a line of nothing else, where the word is no keyword.
            if (CColorizer::IsWordChar(line[cut - 1]) && CColorizer::IsWordChar(line[cut])) continue;
            State state;
            EXPECT_EQ(KindsCutAt(c, line, cut, state), expected) << line.c_str() << " cut at " << cut;
            EXPECT_EQ(state, whole) << cut;
        }
    }
}

// The state at any line, found through the cache in any order, equals the
// state reached by colouring every line from the top.
TEST(Colorizer, StateCacheResumesAnywhere) {
    const CColorizer c = MakeColorizer();
    std::vector<std::wstring> lines;
    const wchar_t* pieces[] = {L"select 'a", L"b' /* c", L"d */ [e", L"f] \"g",
                               L"h\" -- i",  L"plain 1", L"'x''",    L"y'"};
    for (int i = 0; i < 3000; ++i) lines.push_back(pieces[(i * 7 + i / 5) % 8]);
    std::vector<State> expected(lines.size() + 1);
    expected[0] = State::Code;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::vector<CColorizer::Span> spans;
        expected[i + 1] = c.ColorizeLine(lines[i].data(), lines[i].size(), expected[i], spans);
    }
    int fetched = 0;
    ColorStateCache cache;
    cache.Reset(lines.size());
    const ColorStateCache::LineSource source = [&](std::size_t n, std::wstring& out, bool& ends, wchar_t&) {
        ++fetched;
        out = lines.at(n);
        ends = true;
    };
    // A jump far ahead, then back, then single steps.
    for (std::size_t line : {2999u, 5u, 700u, 256u, 257u, 2048u, 3000u, 0u}) {
        EXPECT_EQ(cache.StateAt(line, c, source), expected[line]) << line;
    }
    EXPECT_EQ(cache.CheckpointCount(), 3000 / ColorStateCache::kInterval + 1);
    // Once passed, any line costs at most one interval of scanning.
    fetched = 0;
    EXPECT_EQ(cache.StateAt(2815, c, source), expected[2815]);
    EXPECT_LE(fetched, static_cast<int>(ColorStateCache::kInterval));
    // Beyond the end: the state after the last line.
    EXPECT_EQ(cache.StateAt(99999, c, source), expected[3000]);
    cache.Reset(0);
    EXPECT_EQ(cache.StateAt(10, c, source), State::Code);
}

}  // namespace
