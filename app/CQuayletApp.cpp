#include "app/CQuayletApp.h"

#include "app/CQuayletDlg.h"
#include "app/CSettings.h"
#include "platform/framework/Process.h"

CQuayletApp::CQuayletApp() = default;
CQuayletApp::~CQuayletApp() = default;

std::unique_ptr<CSettings> CQuayletApp::CreateSettings() { return std::make_unique<CSettings>(); }
std::unique_ptr<CQuayletDlg> CQuayletApp::CreateMainWindow() { return std::make_unique<CQuayletDlg>(); }
void CQuayletApp::RunMainWindow(CQuayletDlg& window) { window.DoModal(); }

BOOL CQuayletApp::InitInstance() {
    // The settings store exists before the framework and any window, and goes
    // only after the main window and its pages are gone.
    std::unique_ptr<CSettings> settings = CreateSettings();
    g_settings = settings.get();
    Initialize(ZP_QUAYLET, settings.get(), nullptr);

    std::unique_ptr<CQuayletDlg> mainWindow = CreateMainWindow();
    SetMainWnd(mainWindow.get());
    RunMainWindow(*mainWindow);

    mainWindow.reset();
    SetMainWnd(nullptr);
    settings.reset();
    g_settings = nullptr;
    Terminate();
    return FALSE;
}
