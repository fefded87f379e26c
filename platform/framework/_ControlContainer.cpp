#include "platform/framework/_ControlContainer.h"

#include <algorithm>

#include "platform/ui/Moves.h"

void _ControlContainer::AddControl(int id, RZ_TYPE rzType, int splitType) {
    AddControl(::GetDlgItem(ContainerWindow(), id), rzType, splitType);
}

void _ControlContainer::AddControl(HWND child, RZ_TYPE rzType, int) { AddWnd(child, rzType); }

Follow EdgesOf(RZ_TYPE rzType) {
    switch (rzType) {
    case RZ_MOVE_RIGHT: return Follow::Left | Follow::Right;
    case RZ_GROW_BOTH: return Follow::Right | Follow::Bottom;
    case RZ_GROW_RIGHT: return Follow::Right;
    case RZ_MOVE_BOTTOM: return Follow::Top | Follow::Bottom;
    case RZ_MOVE_CORNER: return Follow::Left | Follow::Top | Follow::Right | Follow::Bottom;
    case RZ_BOTTOM_GROW_RIGHT: return Follow::Top | Follow::Bottom | Follow::Right;
    }
    return Follow::None;
}

void _ControlContainer::AddWnd(HWND child, RZ_TYPE rzType) { AddWnd(child, EdgesOf(rzType)); }

void _ControlContainer::AddWnd(HWND child, Follow edges) {
    HWND parent = ContainerWindow();
    if (!child || !parent) return;
    // The layout is kept in the parent's client coordinates, which only a direct child shares.
    if (::GetAncestor(child, GA_PARENT) != parent) return;
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    RECT client{};
    ::GetClientRect(parent, &client);
    const Entry entry{child, edges, r, {client.right, client.bottom}};
    const auto known = std::find_if(m_entries.begin(), m_entries.end(),
                                    [child](const Entry& e) { return e.child == child; });
    if (known != m_entries.end())
        *known = entry;
    else
        m_entries.push_back(entry);
}

RECT _ControlContainer::Anchor(const RECT& r, Follow edges, int dx, int dy) {
    RECT n = r;
    if (Has(edges, Follow::Left)) n.left += dx;
    if (Has(edges, Follow::Right)) n.right += dx;
    if (Has(edges, Follow::Top)) n.top += dy;
    if (Has(edges, Follow::Bottom)) n.bottom += dy;
    // Never turn a control inside out when the parent gets very small.
    if (n.right < n.left) n.right = n.left;
    if (n.bottom < n.top) n.bottom = n.top;
    return n;
}

void _ControlContainer::RepositionControls(int cx, int cy) {
    if (m_entries.empty()) return;
    ui::BatchedMoves moves(static_cast<int>(m_entries.size()));
    for (const Entry& e : m_entries) {
        if (!::IsWindow(e.child)) continue;
        const RECT n = Anchor(e.initial, e.edges, cx - e.parentSize.cx, cy - e.parentSize.cy);
        moves.Move(e.child, n.left, n.top, n.right - n.left, n.bottom - n.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void _ControlContainer::RescaleAnchors(UINT oldDpi, UINT newDpi) {
    if (!oldDpi || oldDpi == newDpi) return;
    const auto scale = [&](LONG v) {
        return ::MulDiv(v, static_cast<int>(newDpi), static_cast<int>(oldDpi));
    };
    for (Entry& e : m_entries) {
        e.initial = RECT{scale(e.initial.left), scale(e.initial.top), scale(e.initial.right),
                         scale(e.initial.bottom)};
        e.parentSize = SIZE{scale(e.parentSize.cx), scale(e.parentSize.cy)};
    }
}
