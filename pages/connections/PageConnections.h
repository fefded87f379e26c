#pragma once

#include "platform/framework/CSmDialog.h"

class PageConnections : public CSmDialog {
public:
    explicit PageConnections(ui::Window* parent);
};
