// The window layer's own promises: an exception never crosses a window
// procedure (reported once, result 0), a derived map entry runs before the
// base's, and a notification is reflected only to a real child.
#include <stdexcept>

#include "platform/ui/Window.h"
#include "tests/win/WinTestSupport.h"

namespace {

class Base : public ui::Window {
public:
    static const ui::MessageMap* ThisMessageMap() {
        static const ui::MessageEntry entries[] = {ui::OnMessage(WM_USER + 1, &Base::OnProbe)};
        static const ui::MessageMap map(ui::Window::ThisMessageMap(), entries);
        return &map;
    }
    const ui::MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    bool OnProbe(ui::Message& m) {
        m.result = 1;
        return true;
    }
    bool Make(HWND parent = nullptr) {
        ui::Window::RegisterClass(L"QuayletLayerTest", 0, nullptr, nullptr);
        return CreateEx(0, L"QuayletLayerTest", L"", parent ? WS_CHILD : WS_OVERLAPPED, RECT{0, 0, 50, 50},
                        parent, 7);
    }
};

class Derived : public Base {
public:
    static const ui::MessageMap* ThisMessageMap() {
        static const ui::MessageEntry entries[] = {
            ui::OnMessage(WM_USER + 1, &Derived::OnProbeFirst),
            ui::OnMessage(WM_USER + 2, &Derived::OnThrow),
            ui::OnMessage(ui::kReflectedCommand, &Derived::OnReflected),
        };
        static const ui::MessageMap map(Base::ThisMessageMap(), entries);
        return &map;
    }
    const ui::MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    bool OnProbeFirst(ui::Message& m) {
        m.result = 2;
        return true;
    }
    bool OnThrow(ui::Message&) { throw std::runtime_error("probe failed"); }
    bool OnReflected(ui::Message& m) {
        ++reflected;
        m.result = 0;
        return true;
    }
    int reflected = 0;
};

// Records what the typed entries hand over.
class Typed : public Base {
public:
    static const ui::MessageMap* ThisMessageMap() {
        static const ui::MessageEntry entries[] = {
            ui::OnMouse(WM_LBUTTONDOWN, &Typed::OnButton),
            ui::OnKey(WM_KEYDOWN, &Typed::OnKeyDown),
            ui::OnScroll(WM_VSCROLL, &Typed::OnVScroll),
            ui::OnSize(&Typed::OnSizeChange),
        };
        static const ui::MessageMap map(Base::ThisMessageMap(), entries);
        return &map;
    }
    const ui::MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    void OnButton(UINT k, POINT p) { keys = k, pt = p; }
    void OnKeyDown(UINT v, UINT r, UINT f) { vk = v, repeat = r, flags = f; }
    void OnVScroll(UINT c, int p, HWND b) { code = c, pos = p, bar = b; }
    void OnSizeChange(UINT, int x, int y) { cx = x, cy = y; }
    UINT keys = 0, vk = 0, repeat = 0, flags = 0, code = 0;
    POINT pt{};
    int pos = 0, cx = 0, cy = 0;
    HWND bar = reinterpret_cast<HWND>(1);
};

class WindowLayerTest : public WinTest {};

TEST_F(WindowLayerTest, TypedEntriesUnpackTheArgumentsAndAnswerZero) {
    Typed w;
    ASSERT_TRUE(w.Make());
    // A captured pointer left of and above the window has negative coordinates.
    EXPECT_EQ(w.Send(WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(-3, -40)), 0);
    EXPECT_EQ(w.keys, static_cast<UINT>(MK_LBUTTON | MK_SHIFT));
    EXPECT_EQ(w.pt.x, -3);
    EXPECT_EQ(w.pt.y, -40);
    EXPECT_EQ(w.Send(WM_KEYDOWN, VK_NEXT, MAKELPARAM(2, KF_EXTENDED | 0x51)), 0);
    EXPECT_EQ(w.vk, static_cast<UINT>(VK_NEXT));
    EXPECT_EQ(w.repeat, 2u);
    EXPECT_EQ(w.flags, static_cast<UINT>(KF_EXTENDED | 0x51));
    // Scroll positions are unsigned 16 bits.
    EXPECT_EQ(w.Send(WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 40000), 0), 0);
    EXPECT_EQ(w.code, static_cast<UINT>(SB_THUMBPOSITION));
    EXPECT_EQ(w.pos, 40000);
    EXPECT_EQ(w.bar, nullptr);
    w.Send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 480));
    EXPECT_EQ(w.cx, 640);
    EXPECT_EQ(w.cy, 480);
}

TEST_F(WindowLayerTest, ThrowingHandlerIsReportedOnceAndAnswersZero) {
    Derived w;
    ASSERT_TRUE(w.Make());
    EXPECT_EQ(w.Send(WM_USER + 2, 5, 5), 0);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_NE(Boxes()[0].text.find(L"probe failed"), std::wstring::npos);
    EXPECT_TRUE(::IsWindow(w.Hwnd()));  // the window lives on
}

TEST_F(WindowLayerTest, DerivedEntryRunsBeforeTheBaseEntry) {
    Derived derived;
    Base base;
    ASSERT_TRUE(derived.Make());
    ASSERT_TRUE(base.Make());
    EXPECT_EQ(derived.Send(WM_USER + 1), 2);
    EXPECT_EQ(base.Send(WM_USER + 1), 1);
}

TEST_F(WindowLayerTest, CommandIsReflectedOnlyToARealChild) {
    Base parent;
    ASSERT_TRUE(parent.Make());
    Derived child;
    ASSERT_TRUE(child.Make(parent.Hwnd()));
    Derived stranger;  // a bound window that is not the parent's child
    ASSERT_TRUE(stranger.Make());
    parent.Send(WM_COMMAND, MAKEWPARAM(7, BN_CLICKED), reinterpret_cast<LPARAM>(child.Hwnd()));
    parent.Send(WM_COMMAND, MAKEWPARAM(7, BN_CLICKED), reinterpret_cast<LPARAM>(stranger.Hwnd()));
    EXPECT_EQ(child.reflected, 1);
    EXPECT_EQ(stranger.reflected, 0);
}

}  // namespace
