// Keeps registered children in place when their parent is resized: each child
// is anchored by its RZ_TYPE, measured from the layout it had when registered.
#pragma once

#include <windows.h>

#include <vector>

enum RZ_TYPE : int {
    RZ_MOVE_RIGHT = 1,          // moves with the right edge
    RZ_GROW_BOTH = 3,           // grows with the right and bottom edges
    RZ_GROW_RIGHT = 6,          // grows with the right edge
    RZ_MOVE_BOTTOM = 7,         // moves with the bottom edge
    RZ_MOVE_CORNER = 10,        // moves with the bottom-right corner
    RZ_BOTTOM_GROW_RIGHT = 11,  // moves with the bottom edge, grows with the right edge
};

class _ControlContainer {
public:
    virtual ~_ControlContainer() = default;

    // Registers a dialog control (by id) or any direct child window (anything else is refused).
    // SPLIT_TYPE is always 0.
    // Registering a child again replaces its anchor and layout: it is never moved twice.
    void AddControl(int id, RZ_TYPE rzType, int splitType);
    void AddControl(HWND child, RZ_TYPE rzType, int splitType);
    void AddWnd(HWND child, RZ_TYPE rzType);

    // Moves and sizes every registered child for a client area of cx by cy,
    // in one batch.
    void RepositionControls(int cx, int cy);

    // The window moved to a monitor of another DPI: the registered layout is
    // measured again in the new pixels, as the dialog manager scales it.
    void RescaleAnchors(UINT oldDpi, UINT newDpi);

    // The new rectangle of a child registered at `initial` in a parent whose
    // client area grew by (dx, dy) since registration.
    static RECT Anchor(const RECT& initial, RZ_TYPE rzType, int dx, int dy);

protected:
    virtual HWND ContainerWindow() const = 0;

private:
    struct Entry {
        HWND child;
        RZ_TYPE rzType;
        RECT initial;
        SIZE parentSize;
    };
    std::vector<Entry> m_entries;
};
