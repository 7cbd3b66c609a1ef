#include "app/print/print_sheet_opener.h"

#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/print/chart_print_sheet.h"
#include "app/print/chart_printer.h"
#include "app/shell/organization_document.h"

#include <algorithm>

const OrganizationArchive *ChartViewPrintHost::archive() const
{
    return &m_view.archive();
}

void ChartViewPrintHost::commitSettings(const ChartPrintSettings &settings)
{
    // Equal settings are ignored there, so the first preview does not mark the document modified.
    m_view.setPrintSettings(settings);
}

QString ChartViewPrintHost::pageTitle() const
{
    return m_view.pageTitle();
}

void ChartViewPrintHost::setPageTitle(const QString &text)
{
    m_view.setPageTitle(text);
}

QString ChartViewPrintHost::pageSubtitle() const
{
    return m_view.pageSubtitle();
}

void ChartViewPrintHost::setPageSubtitle(const QString &text)
{
    m_view.setPageSubtitle(text);
}

void ChartViewPrintHost::endHeadingEdit()
{
    m_view.document().endMerge();
}

std::shared_ptr<DottedRouteStore> ChartViewPrintHost::routeStore() const
{
    return m_view.dottedRouteStore();
}

namespace PrintSheetOpener {

PrintSheetModel::Input inputFor(const ChartView &view)
{
    PrintSheetModel::Input input;
    if (const std::shared_ptr<const ChartScene> scene = view.chartScene())
        input.organization = scene->visibleOrganization();
    const OrganizationArchive &archive = view.archive();
    input.title = archive.name;
    if (archive.sheets) {
        const auto shown = std::find_if(archive.sheets->begin(), archive.sheets->end(), [&](const OrganizationSheet &sheet) {
            return sheet.id == view.selectedSheetID();
        });
        if (shown != archive.sheets->end())
            input.title = shown->name;
    }
    input.scope = view.printScope().toStdString();
    input.settings = view.printSettings();
    return input;
}

ChartPrintSheet *open(ChartWindow &window, Dialogs &dialogs)
{
    ChartView &view = window.view();
    auto *host = new ChartViewPrintHost(view);
    auto printer = std::make_unique<SystemChartPrinter>();
    auto model = std::make_unique<PrintSheetModel>(inputFor(view), *host, dialogs, *printer);
    auto *sheet = new ChartPrintSheet(std::move(model), std::move(printer), &window);
    // A child of the sheet outlives the model that the sheet's members hold.
    host->setParent(sheet);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->open();
    return sheet;
}

} // namespace PrintSheetOpener
