// A top-level window to hold a page or a control, as the main window holds
// the pages, for in-process tests and benchmarks.
#pragma once

#include <windows.h>

#include "platform/ui/Window.h"

namespace test {

class PageHost : public ui::Window {
public:
    explicit PageHost(int width = 900, int height = 800) {
        ui::Window::RegisterClass(L"QuayletTestPageHost", 0, nullptr, ::GetSysColorBrush(COLOR_BTNFACE));
        CreateEx(0, L"QuayletTestPageHost", L"host", WS_OVERLAPPEDWINDOW, RECT{0, 0, width, height}, nullptr,
                 0);
    }
};

}  // namespace test
