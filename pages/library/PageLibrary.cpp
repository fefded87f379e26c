#include "pages/library/PageLibrary.h"

#include "resources/resource.h"

PageLibrary::PageLibrary(ui::Window* parent) : CSmDialog(IDD_PAGE_LIBRARY, parent) {}
