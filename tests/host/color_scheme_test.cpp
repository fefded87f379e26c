#include <gtest/gtest.h>

#include "platform/text/ColorScheme.h"

namespace {

using colors::MakeRgb;

// Token colours stay as they are where they are readable and move only as
// far as needed where they are not: dark, light and middle backgrounds.
TEST(ColorScheme, TokenColoursReachReadableContrastOnAnyBackground) {
    const colors::Rgb blue = MakeRgb(0, 0, 255), green = MakeRgb(0, 128, 0);
    EXPECT_EQ(colors::Readable(blue, MakeRgb(255, 255, 255)), blue);
    for (colors::Rgb bg : {MakeRgb(0, 0, 0), MakeRgb(30, 30, 30), MakeRgb(128, 128, 128), MakeRgb(0, 0, 200),
                           MakeRgb(255, 255, 224)}) {
        for (colors::Rgb c : {blue, green, MakeRgb(163, 21, 21), MakeRgb(128, 0, 160)}) {
            const colors::Rgb got = colors::Readable(c, bg);
            EXPECT_GE(colors::Contrast(got, bg), colors::kReadable) << std::hex << c << " on " << bg;
        }
    }
    // On black, blue turns lighter but stays bluish rather than white.
    const colors::Rgb onBlack = colors::Readable(blue, MakeRgb(0, 0, 0));
    EXPECT_NE(onBlack, MakeRgb(255, 255, 255));
    EXPECT_GT((onBlack >> 16) & 0xFF, onBlack & 0xFF);
}

}  // namespace
