// The program's entry point and its process-wide objects, defined here in
// the order they must be built (and destroyed in reverse at exit).
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/CQuayletApp.h"
#include "catalogue/Catalogue.h"
#include "platform/text/CColorizer.h"
#include "platform/framework/Process.h"
#include "platform/os/Handle.h"

CQuayletApp theApp;
const std::wstring g_connectionProfilesDescription = L"Connection profiles";
CColorizer g_sharedColorizer;
const std::wstring g_siteBase = catalogue::kSiteBase;
_Settings* g_settings = nullptr;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES |
                                             ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
    ::InitCommonControlsEx(&icc);
    // The shell (file associations, file dialogs) expects an apartment thread.
    const os::ComApartment com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    theApp.InitInstance();
    return 0;
}
