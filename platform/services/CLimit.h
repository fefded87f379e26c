// Product information of the suite: names, descriptions, registry and web
// locations, and starting a product.
#pragma once

#include <windows.h>

#include <string>

#include "catalogue/Catalogue.h"

class CLimit {
public:
    static std::wstring ProductName(ZELTO_PRODUCT id);
    // Starts with three characters ("is ") that the products page drops.
    static std::wstring ProductDescr(ZELTO_PRODUCT id);
    // The product's key below HKEY_CURRENT_USER, e.g. Software\Zerudozuz\RowFoundry.
    static std::wstring MakeRegPath(ZELTO_PRODUCT id);
    // The product's folder below the site base address, ending in a slash.
    static std::wstring MakeSiteDirectory(ZELTO_PRODUCT id);
    // The installed executable recorded under the product's key ("ExePath"), or empty.
    static std::wstring InstalledExe(ZELTO_PRODUCT id);
    // Starts the installed product with the arguments; when it is not
    // installed, offers its download page. True when a process was started.
    static bool RunProduct(ZELTO_PRODUCT id, HWND parent, const std::wstring& arguments);
};
