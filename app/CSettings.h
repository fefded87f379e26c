// The hub's settings store: the six column widths of the recent projects list.
#pragma once

#include <climits>

#include "platform/services/_Settings.h"

class CSettings : public _Settings {
public:
    CSettings();
    explicit CSettings(CSysReg store);
    ~CSettings() override;

    // Any width a list column can have comes back as stored; only what is no
    // width at all (negative, not a number) gives the default.
    static constexpr int kMaxColumnWidth = INT_MAX;
};
