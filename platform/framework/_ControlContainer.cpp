#include "platform/framework/_ControlContainer.h"

#include <algorithm>

void _ControlContainer::AddControl(int id, RZ_TYPE rzType, int splitType) {
    AddControl(::GetDlgItem(ContainerWindow(), id), rzType, splitType);
}

void _ControlContainer::AddControl(HWND child, RZ_TYPE rzType, int) { AddWnd(child, rzType); }

void _ControlContainer::AddWnd(HWND child, RZ_TYPE rzType) {
    HWND parent = ContainerWindow();
    if (!child || !parent) return;
    // The layout is kept in the parent's client coordinates, which only a direct child shares.
    if (::GetAncestor(child, GA_PARENT) != parent) return;
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    RECT client{};
    ::GetClientRect(parent, &client);
    const Entry entry{child, rzType, r, {client.right, client.bottom}};
    const auto known = std::find_if(m_entries.begin(), m_entries.end(),
                                    [child](const Entry& e) { return e.child == child; });
    if (known != m_entries.end())
        *known = entry;
    else
        m_entries.push_back(entry);
}

RECT _ControlContainer::Anchor(const RECT& r, RZ_TYPE rzType, int dx, int dy) {
    RECT n = r;
    switch (rzType) {
    case RZ_MOVE_RIGHT: OffsetRect(&n, dx, 0); break;
    case RZ_GROW_BOTH:
        n.right += dx;
        n.bottom += dy;
        break;
    case RZ_GROW_RIGHT: n.right += dx; break;
    case RZ_MOVE_BOTTOM: OffsetRect(&n, 0, dy); break;
    case RZ_MOVE_CORNER: OffsetRect(&n, dx, dy); break;
    case RZ_BOTTOM_GROW_RIGHT:
        OffsetRect(&n, 0, dy);
        n.right += dx;
        break;
    default: break;
    }
    // Never turn a control inside out when the parent gets very small.
    if (n.right < n.left) n.right = n.left;
    if (n.bottom < n.top) n.bottom = n.top;
    return n;
}

void _ControlContainer::RepositionControls(int cx, int cy) {
    if (m_entries.empty()) return;
    HDWP batch = ::BeginDeferWindowPos(static_cast<int>(m_entries.size()));
    for (const Entry& e : m_entries) {
        if (!::IsWindow(e.child)) continue;
        const RECT n = Anchor(e.initial, e.rzType, cx - e.parentSize.cx, cy - e.parentSize.cy);
        const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
        if (batch)
            batch = ::DeferWindowPos(batch, e.child, nullptr, n.left, n.top, n.right - n.left,
                                     n.bottom - n.top, flags);
        else
            ::SetWindowPos(e.child, nullptr, n.left, n.top, n.right - n.left, n.bottom - n.top, flags);
    }
    if (batch) ::EndDeferWindowPos(batch);
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
