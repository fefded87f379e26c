#include "pages/projects/PageProjects.h"

#include "resources/resource.h"

PageProjects::PageProjects(ui::Window* parent) : CSmDialog(IDD_PAGE_PROJECTS, parent) {}
