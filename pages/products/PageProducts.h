#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/framework/CSmDialog.h"

class PageProducts : public CSmDialog {
public:
    explicit PageProducts(ui::Window* parent);
    // Virtual so that tests can observe the main window's calls.
    virtual void SetUpdateVersion(const std::wstring& productName, const std::wstring& version);
    virtual void RelayoutRows();

    std::vector<std::pair<std::wstring, std::wstring>> m_updates;
    int m_relayouts = 0;
};
