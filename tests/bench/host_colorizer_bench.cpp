// Throughput of the preview's portable core on a large script: indexing the
// lines of raw bytes, decoding them, colouring visible lines, and scanning
// the colouring state through the whole text (what a jump to the end costs).
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/text/CColorizer.h"
#include "platform/text/TextDecode.h"

namespace {

double Ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main() {
    std::string block;
    for (int i = 0; block.size() < (1u << 20); ++i) {
        block += "SELECT c.name, o.total FROM customers c JOIN orders o ON o.id = c.id -- row " +
                 std::to_string(i) + "\r\n\tWHERE o.note = 'it''s' AND o.total > 12.5 /* check */\r\n";
    }
    std::string text;
    while (text.size() < (100u << 20)) text += block;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());

    CColorizer colorizer;
    colorizer.SetKeywords({L"SELECT", L"FROM", L"JOIN", L"ON", L"WHERE", L"AND"});
    colorizer.SetHighlighting(1);

    auto t0 = std::chrono::steady_clock::now();
    text::TextLines lines;
    lines.Assign(bytes, text.size());
    const double index = Ms(t0);

    t0 = std::chrono::steady_clock::now();
    std::wstring line;
    std::size_t units = 0;
    for (std::size_t i = 0; i < lines.LineCount(); ++i) {
        lines.GetLine(i, line);
        units += line.size();
    }
    const double decode = Ms(t0);

    t0 = std::chrono::steady_clock::now();
    ColorStateCache cache;
    cache.Reset(lines.LineCount());
    const auto state = cache.StateAt(lines.LineCount() - 1, colorizer,
                                     [&](std::size_t n, std::wstring& out, bool& ends, wchar_t& follow) {
                                         lines.GetLine(n, out, &ends);
                                         follow = lines.FollowingUnit(n);
                                     });
    const double scan = Ms(t0);

    t0 = std::chrono::steady_clock::now();
    std::vector<CColorizer::Span> spans;
    CColorizer::State s = CColorizer::State::Code;
    for (std::size_t i = 0; i < 60; ++i) {
        lines.GetLine(i, line);
        spans.clear();
        s = colorizer.ColorizeLine(line.data(), line.size(), s, spans);
    }
    const double screen = Ms(t0);

    std::printf("100 MB script, %zu lines, %zu code units\n", lines.LineCount(), units);
    std::printf("  index lines (UTF-8 check included): %8.1f ms  (%.0f MB/s)\n", index, 100.0 / index * 1000);
    std::printf("  decode every line:                  %8.1f ms\n", decode);
    std::printf("  scan states to the last line:       %8.1f ms  (state %d)\n", scan,
                static_cast<int>(state));
    std::printf("  colour one screen (60 lines):       %8.3f ms\n", screen);
    return 0;
}
