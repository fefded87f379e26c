// Column widths written at one DPI and read back at the same or another, over
// every width up to a few thousand pixels and the largest the list allows.
#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <vector>

#include "platform/services/ColumnWidth.h"
#include "platform/ui/Scaling.h"

namespace {

using widths::LeftWidth;

// The DPIs of Windows' scale steps, and some odd ones a monitor may report.
const unsigned kDpis[] = {72,  96,  100, 110, 120, 144, 150, 168,  192,
                          200, 216, 240, 288, 336, 384, 480, 65535};

std::vector<int> SampleWidths() {
    std::vector<int> w;
    for (int i = 0; i <= 4096; ++i) w.push_back(i);
    for (int i = 0; i < 64; ++i) {
        w.push_back(INT_MAX - i);
        w.push_back((1 << 24) + i);
        w.push_back((1 << 16) + i);
    }
    return w;
}

// What a program writes when the user leaves `pixels` at `dpi`, read back.
struct Stored {
    int units;
    std::optional<LeftWidth> left;
};
Stored Write(int pixels, unsigned dpi) {
    return {widths::In96DpiUnits(pixels, dpi),
            widths::ParseLeftWidth(widths::FormatLeftWidth({pixels, dpi}))};
}

TEST(ColumnWidth, EveryWidthComesBackAsLeftAtItsDpiAndScaledAtAnother) {
    for (const unsigned from : kDpis) {
        for (const int pixels : SampleWidths()) {
            const Stored s = Write(pixels, from);
            ASSERT_TRUE(s.left);
            // Older versions and other readers find the width in 96-dpi units.
            ASSERT_EQ(s.units, ui::Unscale(pixels, from)) << pixels << " px at " << from;
            ASSERT_EQ(widths::PixelsAt(s.units, s.left, from), pixels) << pixels << " px at " << from;
            for (const unsigned to : kDpis) {
                const long long exact = static_cast<long long>(pixels) * to;
                const long long want = std::min<long long>((exact + from / 2) / from, INT_MAX);
                ASSERT_EQ(widths::PixelsAt(s.units, s.left, to), want)
                    << pixels << " px at " << from << " read at " << to;
            }
        }
    }
}

TEST(ColumnWidth, AWidthStoredSinceByAnotherProgramWins) {
    const Stored s = Write(103, 144);
    EXPECT_EQ(s.units, 69);
    // An older version left 80 units since: the exact record is stale.
    EXPECT_EQ(widths::PixelsAt(80, s.left, 144), 120);
    // Without a record, or with one that cannot be read, the units alone.
    EXPECT_EQ(widths::PixelsAt(69, std::nullopt, 144), 104);
    EXPECT_EQ(widths::PixelsAt(69, widths::ParseLeftWidth(L"103@"), 144), 104);
}

TEST(ColumnWidth, OnlyTheExactFormIsARecord) {
    EXPECT_EQ(widths::FormatLeftWidth({103, 144}), L"103@144");
    const auto ok = widths::ParseLeftWidth(L"2147483647@65535");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->pixels, INT_MAX);
    EXPECT_EQ(ok->dpi, 65535u);
    for (const wchar_t* bad : {L"", L"@", L"103", L"103@", L"@144", L"103@0", L"-1@96", L"+1@96", L"1@+96",
                               L"01@96", L"1@096", L"2147483648@96", L"1@65536", L"1 @96", L"1@96 ",
                               L"1@96@96", L"1,5@96", L"\uFF11@96", L"99999999999@96"})
        EXPECT_FALSE(widths::ParseLeftWidth(bad)) << std::wstring(bad).size();
}

}  // namespace
