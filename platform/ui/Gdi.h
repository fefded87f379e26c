// Owning handle types. An owner frees its handle exactly once; a raw HFONT,
// HBRUSH or HICON elsewhere is a borrowed handle that nobody frees.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <utility>

namespace ui {

template <class Handle, BOOL(WINAPI* Free)(Handle)>
class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(Handle h) : m_handle(h) {}
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    OwnedHandle(OwnedHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.m_handle, nullptr));
        return *this;
    }
    ~OwnedHandle() { Reset(); }

    Handle Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }
    void Reset(Handle h = nullptr) {
        if (m_handle) Free(m_handle);
        m_handle = h;
    }
    Handle Release() { return std::exchange(m_handle, nullptr); }

private:
    Handle m_handle = nullptr;
};

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
