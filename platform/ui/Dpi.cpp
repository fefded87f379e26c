#include "platform/ui/Dpi.h"

#include <commctrl.h>

namespace ui {

namespace {

// Newer than the oldest Windows the hub starts on, so looked up at run time.
template <class Fn>
Fn User32(const char* name) {
    static HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(user32, name))) : nullptr;
}

UINT ScreenDpi() {
    const WindowDC dc(nullptr);
    const int dpi = dc ? ::GetDeviceCaps(dc.Get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

}  // namespace

UINT DpiOf(HWND hwnd) {
    static const auto forWindow = User32<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    if (forWindow && hwnd) {
        if (const UINT dpi = forWindow(hwnd)) return dpi;
    }
    return SystemDpi();
}

UINT SystemDpi() {
    static const auto forSystem = User32<UINT(WINAPI*)()>("GetDpiForSystem");
    if (forSystem) {
        if (const UINT dpi = forSystem()) return dpi;
    }
    return ScreenDpi();
}

Icon LoadIconForDpi(HINSTANCE module, int id, UINT dpi) {
    const int size = Scale(32, dpi);
    using ScaleDown = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
    static const auto scaleDown = [] {
        HMODULE comctl = ::GetModuleHandleW(L"comctl32.dll");
        return comctl ? reinterpret_cast<ScaleDown>(
                            reinterpret_cast<void*>(::GetProcAddress(comctl, "LoadIconWithScaleDown")))
                      : nullptr;
    }();
    HICON icon = nullptr;
    if (scaleDown && SUCCEEDED(scaleDown(module, MAKEINTRESOURCEW(id), size, size, &icon)) && icon)
        return Icon(icon);
    return Icon(static_cast<HICON>(
        ::LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

void LeaveToOwnerOnDpiChange(HWND control) {
    // DCDC_DISABLE_FONT_UPDATE | DCDC_DISABLE_RELAYOUT
    static const auto set = User32<BOOL(WINAPI*)(HWND, int, int)>("SetDialogControlDpiChangeBehavior");
    if (set && control) set(control, 0x3, 0x3);
}

}  // namespace ui
