// Keeps registered children in place when their parent is resized: each edge
// of a child either keeps its distance from the parent's left or top edge or
// follows the parent's right or bottom edge, measured from the layout it had
// when registered.
#pragma once

#include <windows.h>

#include <vector>

// Which edges of a child follow the parent's right (left, right) or bottom
// (top, bottom) edge; the others stay where they are.
enum class Follow : unsigned {
    None = 0,
    Left = 1,
    Top = 2,
    Right = 4,
    Bottom = 8,
};
constexpr Follow operator|(Follow a, Follow b) {
    return static_cast<Follow>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool Has(Follow set, Follow edge) {
    return (static_cast<unsigned>(set) & static_cast<unsigned>(edge)) != 0;
}

// The anchor kinds the pages register with, each a set of following edges.
enum RZ_TYPE : int {
    RZ_MOVE_RIGHT = 1,          // moves with the right edge
    RZ_GROW_BOTH = 3,           // grows with the right and bottom edges
    RZ_GROW_RIGHT = 6,          // grows with the right edge
    RZ_MOVE_BOTTOM = 7,         // moves with the bottom edge
    RZ_MOVE_CORNER = 10,        // moves with the bottom-right corner
    RZ_BOTTOM_GROW_RIGHT = 11,  // moves with the bottom edge, grows with the right edge
};
// The edges an anchor kind moves; an unknown kind moves none.
Follow EdgesOf(RZ_TYPE rzType);

class _ControlContainer {
public:
    virtual ~_ControlContainer() = default;

    // Registers a dialog control (by id) or any direct child window (anything else is refused).
    // The third argument is the splitter kind of the interface the pages are
    // written against; this container has no splitters, so it is always 0 and not used.
    // Registering a child again replaces its anchor and layout: it is never moved twice.
    void AddControl(int id, RZ_TYPE rzType, int splitType);
    void AddControl(HWND child, RZ_TYPE rzType, int splitType);
    void AddWnd(HWND child, RZ_TYPE rzType);
    void AddWnd(HWND child, Follow edges);

    // Moves and sizes every registered child for a client area of cx by cy,
    // in one batch.
    void RepositionControls(int cx, int cy);

    // The window moved to a monitor of another DPI: the registered layout is
    // measured again in the new pixels, as the dialog manager scales it.
    void RescaleAnchors(UINT oldDpi, UINT newDpi);

    // The new rectangle of a child registered at `initial` in a parent whose
    // client area grew by (dx, dy) since registration.
    static RECT Anchor(const RECT& initial, Follow edges, int dx, int dy);

protected:
    virtual HWND ContainerWindow() const = 0;

private:
    struct Entry {
        HWND child;
        Follow edges;
        RECT initial;
        SIZE parentSize;
    };
    std::vector<Entry> m_entries;
};
