// Feeds arbitrary bytes through the preview's path: encoding detection, the
// line index (whole and as the bytes arrive in chunks into a partly filled
// buffer), decoding, and colouring line by line (with what follows a cut),
// and checks that spans stay inside their line and in order, that the quick
// state scan and the state cache agree with colouring from the top.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/text/CColorizer.h"
#include "platform/text/TextDecode.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks the line length limit, so that cutting is exercised.
    const std::size_t maxLine = 16 + data[0] % 64;
    const std::size_t chunk = 1 + data[0] % 13;
    ++data;
    --size;

    static const CColorizer colorizer = [] {
        CColorizer c;
        c.SetKeywords({L"SELECT", L"from", L"GROUP BY", L"x"});
        c.SetHighlighting(1);
        return c;
    }();

    text::TextLines lines;
    lines.Assign(data, size, maxLine);
    Check(lines.LineCount() >= 1);

    std::vector<CColorizer::State> states;
    states.push_back(CColorizer::State::Code);
    std::wstring line;
    std::vector<CColorizer::Span> spans;
    for (std::size_t i = 0; i < lines.LineCount(); ++i) {
        bool endsLine = true;
        lines.GetLine(i, line, &endsLine);
        const auto bytes = lines.GetLineBytes(i);
        Check(bytes.begin <= bytes.end && bytes.end <= size);
        spans.clear();
        const wchar_t follow = lines.FollowingUnit(i);
        const auto next =
            colorizer.ColorizeSegment(line.data(), line.size(), states.back(), endsLine, &spans, follow);
        std::size_t last = 0;
        for (const auto& s : spans) {
            Check(s.length > 0 && s.start >= last && s.start + s.length <= line.size());
            last = s.start + s.length;
        }
        Check(colorizer.ScanLine(line.data(), line.size(), states.back(), endsLine, follow) == next);
        Check(endsLine || next != CColorizer::State::LineComment || !spans.empty());
        Check(!endsLine || next != CColorizer::State::LineComment);
        states.push_back(next);
    }

    // Indexing the same bytes as they arrive in chunks gives the same lines:
    // as a reader fills its buffer, the bytes not yet read are something else
    // (zeros as in fresh memory, or line breaks), so looking past what has
    // arrived shows.
    std::vector<unsigned char> buffer(size, (chunk & 1) ? '\n' : '\0');
    text::TextLines streamed;
    streamed.Begin(buffer.data(), size, maxLine);
    for (std::size_t have = 0; have < size;) {
        const std::size_t next = have + chunk < size ? have + chunk : size;
        for (std::size_t i = have; i < next; ++i) buffer[i] = data[i];
        have = next;
        streamed.Advance(have);
    }
    streamed.Finish();
    Check(streamed.LineCount() == lines.LineCount() && streamed.GetEncoding() == lines.GetEncoding());
    std::wstring other;
    for (std::size_t i = 0; i < lines.LineCount(); ++i) {
        lines.GetLine(i, line);
        streamed.GetLine(i, other);
        Check(line == other);
    }

    ColorStateCache cache;
    cache.Reset(lines.LineCount());
    const ColorStateCache::LineSource source = [&](std::size_t n, std::wstring& out, bool& ends,
                                                   wchar_t& follow) {
        lines.GetLine(n, out, &ends);
        follow = lines.FollowingUnit(n);
    };
    const std::size_t probes[] = {lines.LineCount(), lines.LineCount() / 2, 0, lines.LineCount() / 3};
    for (std::size_t p : probes) Check(cache.StateAt(p, colorizer, source) == states[p]);
    return 0;
}
