// Owned handles: both failure values count as empty, a move hands the handle
// over exactly once, and a scoped selection puts the previous object back.
#include <gtest/gtest.h>

#include "platform/os/Handle.h"
#include "platform/ui/Gdi.h"

namespace {

TEST(HandleTest, BothFailureValuesAreEmptyAndNeverClosed) {
    os::KernelHandle none(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(none);
    EXPECT_EQ(none.Release(), nullptr);
    os::FindHandle noSearch(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(noSearch);  // leaving scope must not call FindClose on it
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
