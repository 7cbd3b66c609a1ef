#include "app/chart/window_opening.h"

#include "app/chart/chart_view.h"
#include "core/document/organization_archive.h"

std::unique_ptr<WindowOpening> WindowOpening::prepare(const OrganizationArchive &archive)
{
    auto opening = std::make_unique<WindowOpening>();
    opening->chart = ChartView::prepareOpeningChart(archive);
    // The list orders the chart's people, whose names are the organization's.
    EmployeeDirectory::sorted(archive.organization.positions, &opening->sidebarKeys);
    return opening;
}
