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

inline BOOL WINAPI FreeGdiObject(HGDIOBJ h) { return ::DeleteObject(h); }
inline BOOL WINAPI FreeFont(HFONT h) { return ::DeleteObject(h); }
inline BOOL WINAPI FreeBrush(HBRUSH h) { return ::DeleteObject(h); }
inline BOOL WINAPI FreeBitmap(HBITMAP h) { return ::DeleteObject(h); }
inline BOOL WINAPI FreeIcon(HICON h) { return ::DestroyIcon(h); }
inline BOOL WINAPI FreeImageList(HIMAGELIST h) { return ::ImageList_Destroy(h); }

using Font = OwnedHandle<HFONT, FreeFont>;
using Brush = OwnedHandle<HBRUSH, FreeBrush>;
using Bitmap = OwnedHandle<HBITMAP, FreeBitmap>;
using Icon = OwnedHandle<HICON, FreeIcon>;  // only for icons made or loaded with LR_DEFAULTSIZE copies
using ImageList = OwnedHandle<HIMAGELIST, FreeImageList>;

}  // namespace ui
