// The About box: icon, product name, version from the program's own version
// resource, the copyright years and the maker's site as a link.
#pragma once

#include <string>

#include "catalogue/Catalogue.h"
#include "platform/framework/CSmDialog.h"
#include "platform/controls/CUrlStatic.h"

class _Settings;

class CAboutDlg : public CSmDialog {
public:
    explicit CAboutDlg(ui::Window* parent);

    // extra: an optional line shown under the version (null: none); flags: reserved (0).
    void Initialize(const wchar_t* years, ZELTO_PRODUCT product, _Settings* settings, HICON icon,
                    const wchar_t* extra, int flags);

    BOOL OnInitDialog() override;
    void DoDataExchange(ui::DataExchange& dx) override;

    std::wstring NameText() const;
    std::wstring VersionText() const;
    std::wstring YearsText() const;

private:
    std::wstring m_years;
    ZELTO_PRODUCT m_product = ZP_QUAYLET;
    HICON m_icon = nullptr;  // borrowed
    std::wstring m_extra;
    CUrlStatic m_link;
};
