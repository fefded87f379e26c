#pragma once

#include "platform/framework/CSmDialog.h"

class PageLibrary : public CSmDialog {
public:
    explicit PageLibrary(ui::Window* parent);
};
