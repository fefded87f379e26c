#pragma once

#include "platform/framework/CSmDialog.h"

class PageProjects : public CSmDialog {
public:
    explicit PageProjects(ui::Window* parent);
};
