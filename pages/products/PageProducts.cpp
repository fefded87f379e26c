#include "pages/products/PageProducts.h"

#include "resources/resource.h"

PageProducts::PageProducts(ui::Window* parent) : CSmDialog(IDD_PAGE_PRODUCTS, parent) {}

void PageProducts::SetUpdateVersion(const std::wstring& productName, const std::wstring& version) {
    m_updates.emplace_back(productName, version);
}

void PageProducts::RelayoutRows() { ++m_relayouts; }
