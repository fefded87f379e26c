// The window layer's own promises: an exception never crosses a window
// procedure (reported once, result 0), a derived map entry runs before the
// base's, a notification is reflected only to a real child, and a bound
// control gets its own notifications through its map.
#include <stdexcept>
#include <vector>

#include "platform/ui/Controls.h"
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

// A control class: its own notification comes back to it, the wheel passes on.
class Probe : public ui::Control {
public:
    static const ui::MessageMap* ThisMessageMap() {
        static const ui::MessageEntry entries[] = {
            ui::OnReflectedNotify(NM_CLICK, &Probe::OnClick),
            ui::OnCommandRange(10, 12, 0, &Probe::OnRange),
        };
        static const ui::MessageMap map(ui::Control::ThisMessageMap(), entries);
        return &map;
    }
    const ui::MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    LRESULT OnClick(NMHDR* hdr) {
        from = hdr->hwndFrom;
        return 42;
    }
    bool OnRange(UINT id) {
        ids.push_back(id);
        return id != 11;  // 11 is left to the rest of the map
    }
    HWND from = nullptr;
    std::vector<UINT> ids;
};

TEST_F(WindowLayerTest, BoundControlGetsItsOwnNotificationsThroughItsMap) {
    Base parent;
    ASSERT_TRUE(parent.Make());
    Probe control;
    ASSERT_TRUE(control.CreateControl(L"STATIC", L"", WS_CHILD, RECT{0, 0, 20, 20}, parent.Hwnd(), 9));
    NMHDR click{control.Hwnd(), 9, static_cast<UINT>(NM_CLICK)};
    EXPECT_EQ(parent.Send(WM_NOTIFY, 9, reinterpret_cast<LPARAM>(&click)), 42);
    EXPECT_EQ(control.from, control.Hwnd());
    control.from = nullptr;
    NMHDR other{control.Hwnd(), 9, static_cast<UINT>(NM_DBLCLK)};
    EXPECT_EQ(parent.Send(WM_NOTIFY, 9, reinterpret_cast<LPARAM>(&other)), 0);
    EXPECT_EQ(control.from, nullptr);
    // Both ends of a range belong to it; a declined id goes on; another code does not match.
    for (UINT id : {9u, 10u, 11u, 12u, 13u}) EXPECT_EQ(control.OnCommand(id, 0), id == 10 || id == 12) << id;
    EXPECT_FALSE(control.OnCommand(MAKEWPARAM(10, 1), 0));
    EXPECT_EQ(control.ids, (std::vector<UINT>{10, 11, 12}));
}

class Wheel : public Base {
public:
    static const ui::MessageMap* ThisMessageMap() {
        static const ui::MessageEntry entries[] = {ui::OnWheel(WM_MOUSEWHEEL, &Wheel::OnTurn)};
        static const ui::MessageMap map(Base::ThisMessageMap(), entries);
        return &map;
    }
    const ui::MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    bool OnTurn(UINT k, int d, POINT p) {
        keys = k, delta = d, pt = p;
        ++turns;
        return use;
    }
    bool use = true;
    UINT keys = 0;
    int delta = 0, turns = 0;
    POINT pt{};
};

TEST_F(WindowLayerTest, WheelArgumentsKeepTheirSignAndAnUnusedWheelGoesToTheParent) {
    Wheel parent;
    ASSERT_TRUE(parent.Make());
    Wheel child;
    ASSERT_TRUE(child.Make(parent.Hwnd()));
    child.use = false;
    // Turned towards the user, with the pointer left of and above the screen's origin.
    EXPECT_EQ(child.Send(WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, static_cast<WORD>(-2 * WHEEL_DELTA)),
                         MAKELPARAM(-5, -7)),
              0);
    for (const Wheel* w : {&child, &parent}) {
        EXPECT_EQ(w->turns, 1);
        EXPECT_EQ(w->keys, static_cast<UINT>(MK_CONTROL));
        EXPECT_EQ(w->delta, -2 * WHEEL_DELTA);
        EXPECT_EQ(w->pt.x, -5);
        EXPECT_EQ(w->pt.y, -7);
    }
}

}  // namespace
