// Owned handles: both failure values count as empty, a move hands the handle
// over exactly once, and a scoped selection puts the previous object back.
#include <gtest/gtest.h>

#include <utility>

#include "platform/os/Handle.h"
#include "platform/ui/Gdi.h"

namespace {

// Counts the closes instead of making them.
struct CountingTraits {
    using Handle = HANDLE;
    static inline int closed = 0;
    static void Close(HANDLE) { ++closed; }
};
using CountingHandle = os::UniqueHandle<CountingTraits>;

TEST(HandleTest, BothFailureValuesAreEmptyAndNeverClosed) {
    CountingTraits::closed = 0;
    {
        CountingHandle invalid(INVALID_HANDLE_VALUE), null(nullptr);
        EXPECT_FALSE(invalid);
        EXPECT_FALSE(null);
        invalid.Reset();
        null.Reset(INVALID_HANDLE_VALUE);
        CountingHandle moved(std::move(null));
        EXPECT_EQ(moved.Release(), nullptr);
    }
    EXPECT_EQ(CountingTraits::closed, 0);
    {
        CountingHandle some(reinterpret_cast<HANDLE>(8));
        EXPECT_TRUE(some);
    }
    EXPECT_EQ(CountingTraits::closed, 1);
}

TEST(HandleTest, MoveHandsOverOnceAndCloses) {
    HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(raw, nullptr);
    {
        os::KernelHandle first(raw);
        os::KernelHandle second(std::move(first));
        EXPECT_FALSE(first);
        ASSERT_TRUE(second);
        EXPECT_EQ(second.Get(), raw);
        os::KernelHandle third;
        third = std::move(second);
        EXPECT_EQ(third.Get(), raw);
        DWORD flags = 0;
        EXPECT_TRUE(::GetHandleInformation(raw, &flags));
    }
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(raw, &flags));  // closed exactly when the last owner went
}

TEST(HandleTest, ScopedSelectPutsThePreviousObjectBack) {
    ui::MemoryDC dc(::CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    const HGDIOBJ before = ::GetCurrentObject(dc.Get(), OBJ_PEN);
    ui::Pen pen(::CreatePen(PS_SOLID, 1, RGB(1, 2, 3)));
    ASSERT_TRUE(pen);
    {
        ui::ScopedSelect select(dc.Get(), pen.Get());
        EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_PEN), pen.Get());
    }
    EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_PEN), before);
}

}  // namespace
