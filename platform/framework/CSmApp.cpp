#include "platform/framework/CSmApp.h"

#include <shellapi.h>

#include <memory>
#include <optional>

#include "platform/os/Os.h"
#include "platform/services/CLimit.h"
#include "platform/ui/Window.h"

namespace {
CSmApp* g_instance = nullptr;

std::wstring UrlEncode(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if ((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'.' ||
            c == L'-' || c == L'_') {
            out.push_back(c);
        } else {
            wchar_t buffer[8];
            swprintf(buffer, 8, L"%%%02X", static_cast<unsigned>(c & 0xFF));
            out += buffer;
        }
    }
    return out;
}
}  // namespace

CSmApp::CSmApp() : m_previous(g_instance) { g_instance = this; }

CSmApp::~CSmApp() {
    if (g_instance == this) g_instance = m_previous;
}

CSmApp* CSmApp::Instance() { return g_instance; }

void CSmApp::Initialize(ZELTO_PRODUCT product, _Settings* settings, const wchar_t*) {
    m_product = product;
    m_settings = settings;
}

void CSmApp::Terminate() {
    m_mainWnd = nullptr;
    m_settings = nullptr;
}

int CSmApp::DoCommand(WPARAM id) {
    HWND owner = m_mainWnd ? m_mainWnd->Hwnd() : nullptr;
    if (id >= static_cast<WPARAM>(catalogue::kToolsCommandBase)) {
        if (auto product = catalogue::ProductFromToolsCommand(static_cast<int>(id))) {
            CLimit::RunProduct(*product, owner, L"");
            return 1;
        }
    }
    if (id == static_cast<WPARAM>(kSupportCommand)) {
        const std::wstring subject = L"Zelto " + CLimit::ProductName(m_product) + L" " + OwnVersionText();
        const std::wstring url =
            std::wstring(L"mailto:") + catalogue::kSupportMail + L"?subject=" + UrlEncode(subject);
        ::ShellExecuteW(owner, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        return 1;
    }
    return 0;
}

std::wstring CSmApp::ProgramFolder() { return os::ProgramFolder(); }

std::wstring CSmApp::HelpTarget(const wchar_t* page) {
    const std::wstring local = ProgramFolder() + L"\\help\\" + page;
    if (::GetFileAttributesW(local.c_str()) != INVALID_FILE_ATTRIBUTES) return local;
    return std::wstring(catalogue::kSiteBase) + CLimit::MakeSiteDirectory(ZP_QUAYLET) + L"help/" + page;
}

void CSmApp::ShowHtmlHelp(HWND window, const wchar_t* page) {
    const std::wstring target = HelpTarget(page);
    ::ShellExecuteW(window, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::wstring CSmApp::OwnVersionText() {
    const std::optional<os::FixedVersion> v = os::OwnFixedVersion();
    if (!v) return L"";
    wchar_t text[64];
    swprintf(text, 64, L"%u.%02u.%02u", HIWORD(v->productVersionMS), LOWORD(v->productVersionMS),
             HIWORD(v->productVersionLS));
    return text;
}
