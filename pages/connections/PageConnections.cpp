#include "pages/connections/PageConnections.h"

#include "resources/resource.h"

PageConnections::PageConnections(ui::Window* parent) : CSmDialog(IDD_PAGE_CONNECTIONS, parent) {}
