// The application: builds the settings store, registers the hub as product 14,
// runs the main window modally and tears everything down in reverse order.
#pragma once

#include <memory>

#include "platform/framework/CSmApp.h"

class CQuayletDlg;
class CSettings;

class CQuayletApp : public CSmApp {
public:
    CQuayletApp();
    ~CQuayletApp() override;

    // Start-up; always returns FALSE so that the process ends afterwards.
    BOOL InitInstance() override;

protected:
    // Seams for tests: the real program builds the real objects and runs the
    // window modally.
    virtual std::unique_ptr<CSettings> CreateSettings();
    virtual std::unique_ptr<CQuayletDlg> CreateMainWindow();
    virtual void RunMainWindow(CQuayletDlg& window);
};
