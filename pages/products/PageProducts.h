#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/framework/CSmDialog.h"

class PageProducts : public CSmDialog {
public:
    explicit PageProducts(ui::Window* parent);
    void SetUpdateVersion(const std::wstring& productName, const std::wstring& version);
    void RelayoutRows();

    std::vector<std::pair<std::wstring, std::wstring>> m_updates;
    int m_relayouts = 0;
};
