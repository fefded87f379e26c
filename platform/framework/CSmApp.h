// The suite's application base: knows which product it is, serves the Tools
// commands and the support command, and opens help pages.
#pragma once

#include <windows.h>

#include <string>

#include "catalogue/Catalogue.h"

class _Settings;
namespace ui {
class Window;
}

class CSmApp {
public:
    CSmApp();
    virtual ~CSmApp();
    CSmApp(const CSmApp&) = delete;
    CSmApp& operator=(const CSmApp&) = delete;

    // The one application object of the process (the most recently constructed).
    static CSmApp* Instance();

    // The program's start-up; returns false so that the process ends afterwards.
    virtual BOOL InitInstance() = 0;

    virtual void Initialize(ZELTO_PRODUCT product, _Settings* settings, const wchar_t* extra);
    void SetMainWnd(ui::Window* window) { m_mainWnd = window; }
    ui::Window* MainWnd() const { return m_mainWnd; }
    ZELTO_PRODUCT Product() const { return m_product; }
    _Settings* Settings() const { return m_settings; }

    // Sees every main-window command first. Nonzero: handled. Serves the Tools
    // commands (25000 + product: start that product) and 1007 (support e-mail).
    virtual int DoCommand(WPARAM id);

    // Opens a help page: help\<page> beside the program when present, else the
    // page on the maker's site.
    static void ShowHtmlHelp(HWND window, const wchar_t* page);
    // Where ShowHtmlHelp goes for a page, without opening it.
    static std::wstring HelpTarget(const wchar_t* page);

    virtual void Terminate();

    // The program's own product version as "major.minor.build", from its version resource.
    static std::wstring OwnVersionText();
    // The folder of the running program, without a trailing backslash.
    static std::wstring ProgramFolder();

private:
    ZELTO_PRODUCT m_product = ZP_QUAYLET;
    _Settings* m_settings = nullptr;
    ui::Window* m_mainWnd = nullptr;
    CSmApp* m_previous = nullptr;
};

// The command that writes to technical support.
constexpr int kSupportCommand = 1007;
