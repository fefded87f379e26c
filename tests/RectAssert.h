// One way to compare rectangles in tests: EXPECT_RECT_EQ(actual, expected)
// and ASSERT_RECT_EQ, whose failure shows both rectangles' four edges, and a
// stream operator so that a rectangle can be added to any failure message.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <ostream>

// In the global namespace, beside RECT itself, so that gtest and ADL find it.
inline std::ostream& operator<<(std::ostream& out, const RECT& r) {
    return out << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}

namespace test {

inline ::testing::AssertionResult RectsEqual(const char* actualText, const char* expectedText,
                                             const RECT& actual, const RECT& expected) {
    if (actual.left == expected.left && actual.top == expected.top && actual.right == expected.right &&
        actual.bottom == expected.bottom)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << actualText << " is " << actual << ", " << expectedText << " is " << expected;
}

// The rectangle of width w and height h whose top left corner is (x, y).
constexpr RECT RectAt(LONG x, LONG y, LONG w, LONG h) { return RECT{x, y, x + w, y + h}; }

}  // namespace test

#define EXPECT_RECT_EQ(actual, expected) EXPECT_PRED_FORMAT2(::test::RectsEqual, actual, expected)
#define ASSERT_RECT_EQ(actual, expected) ASSERT_PRED_FORMAT2(::test::RectsEqual, actual, expected)
