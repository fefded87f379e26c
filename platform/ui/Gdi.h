// Owning handle types. An owner frees its handle exactly once; a raw HFONT,
// HBRUSH or HICON elsewhere is a borrowed handle that nobody frees.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "platform/os/Handle.h"

#include <utility>

namespace ui {

// A GDI or common-controls handle freed by `Free`, in the program's one
// ownership template.
template <class H, BOOL(WINAPI* Free)(H)>
struct FreedBy {
    using Handle = H;
    static bool Close(H h) { return Free(h) != FALSE; }
};
template <class H, BOOL(WINAPI* Free)(H)>
using OwnedHandle = os::UniqueHandle<FreedBy<H, Free>>;

inline BOOL WINAPI FreeFont(HFONT h) { return ::DeleteObject(h); }
inline BOOL WINAPI FreeBrush(HBRUSH h) { return ::DeleteObject(h); }
inline BOOL WINAPI FreeBitmap(HBITMAP h) { return ::DeleteObject(h); }
inline BOOL WINAPI FreeIcon(HICON h) { return ::DestroyIcon(h); }
inline BOOL WINAPI FreeImageList(HIMAGELIST h) { return ::ImageList_Destroy(h); }
inline BOOL WINAPI FreePen(HPEN h) { return ::DeleteObject(h); }
inline BOOL WINAPI FreeMemoryDC(HDC h) { return ::DeleteDC(h); }

using Font = OwnedHandle<HFONT, FreeFont>;
using Brush = OwnedHandle<HBRUSH, FreeBrush>;
using Bitmap = OwnedHandle<HBITMAP, FreeBitmap>;
using Icon = OwnedHandle<HICON, FreeIcon>;  // only for icons made or loaded with LR_DEFAULTSIZE copies
using ImageList = OwnedHandle<HIMAGELIST, FreeImageList>;
using Pen = OwnedHandle<HPEN, FreePen>;
// A device context made with CreateCompatibleDC.
using MemoryDC = OwnedHandle<HDC, FreeMemoryDC>;

// A window's device context from GetDC, released to that window.
class WindowDC {
public:
    explicit WindowDC(HWND hwnd) : m_hwnd(hwnd), m_dc(::GetDC(hwnd)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (m_dc) ::ReleaseDC(m_hwnd, m_dc);
    }
    HDC Get() const { return m_dc; }
    explicit operator bool() const { return m_dc != nullptr; }

private:
    HWND m_hwnd;
    HDC m_dc;
};

// BeginPaint and EndPaint of one WM_PAINT, so that no path leaves the window
// unvalidated or the paint structure open.
class PaintDC {
public:
    explicit PaintDC(HWND hwnd) : m_hwnd(hwnd), m_dc(::BeginPaint(hwnd, &m_ps)) {}
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    ~PaintDC() { ::EndPaint(m_hwnd, &m_ps); }
    HDC Get() const { return m_dc; }

private:
    HWND m_hwnd;
    PAINTSTRUCT m_ps{};
    HDC m_dc;
};

// Selects a GDI object into a device context for one scope and puts the
// previous one back, so that an owned object is never deleted while selected.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(object ? ::SelectObject(dc, object) : nullptr) {}
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;
    ~ScopedSelect() {
        if (m_old) ::SelectObject(m_dc, m_old);
    }

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

}  // namespace ui
