// The hub's settings store: the six column widths of the recent projects list.
#pragma once

#include "platform/services/_Settings.h"

class CSettings : public _Settings {
public:
    CSettings();
    explicit CSettings(CSysReg store);
    ~CSettings() override;

    // Widths outside this range are treated as corrupt and give the default.
    static constexpr int kMaxColumnWidth = 4096;
};
