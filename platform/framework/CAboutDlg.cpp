#include "platform/framework/CAboutDlg.h"

#include "platform/framework/CSmApp.h"
#include "platform/services/CLimit.h"
#include "resources/resource.h"

CAboutDlg::CAboutDlg(ui::Window* parent) : CSmDialog(IDD_ABOUT, parent) {}

void CAboutDlg::Initialize(const wchar_t* years, ZELTO_PRODUCT product, _Settings*, HICON icon,
                           const wchar_t* extra, int) {
    m_years = years ? years : L"";
    m_product = product;
    m_icon = icon;
    m_extra = extra ? extra : L"";
}

void CAboutDlg::DoDataExchange(ui::DataExchange& dx) {
    CSmDialog::DoDataExchange(dx);
    dx.Subclass(IDC_ABOUT_LINK, m_link);
}

std::wstring CAboutDlg::NameText() const { return L"Zelto " + CLimit::ProductName(m_product); }

std::wstring CAboutDlg::VersionText() const {
    const std::wstring v = CSmApp::OwnVersionText();
    return v.empty() ? L"Version unknown" : L"Version " + v;
}

std::wstring CAboutDlg::YearsText() const { return L"Copyright \u00A9 " + m_years + L" Zerudozuz"; }

BOOL CAboutDlg::OnInitDialog() {
    CSmDialog::OnInitDialog();
    if (m_icon)
        ::SendDlgItemMessageW(m_hwnd, IDC_ABOUT_ICON, STM_SETICON, reinterpret_cast<WPARAM>(m_icon), 0);
    ::SetDlgItemTextW(m_hwnd, IDC_ABOUT_NAME, NameText().c_str());
    std::wstring version = VersionText();
    if (!m_extra.empty()) version += L"\n" + m_extra;
    ::SetDlgItemTextW(m_hwnd, IDC_ABOUT_VERSION, version.c_str());
    ::SetDlgItemTextW(m_hwnd, IDC_ABOUT_YEARS, YearsText().c_str());
    m_link.SetURL(catalogue::kSiteBase);
    ::SetWindowTextW(m_link.Hwnd(), catalogue::kSiteBase);
    ::SetWindowTextW(m_hwnd, (L"About " + NameText()).c_str());
    // OK, the default button, takes the first focus, so that Enter closes the
    // box; the link comes first in the tab order and would open the site.
    Send(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDOK)), TRUE);
    return FALSE;
}
