#pragma once

#include "app/print/print_sheet_model.h"

class ChartPrintSheet;
class ChartView;
class ChartWindow;
class Dialogs;

// The print sheet over a chart window: the chart as the window shows it (scoped, focused,
// collapsed and grouped), its name, scope and settings, with the document, the settings
// and the page headings bound to the window's ChartView.
namespace PrintSheetOpener {

PrintSheetModel::Input inputFor(const ChartView &view);
// Opens the sheet window-modal over `window` and returns it; it deletes itself when closed.
ChartPrintSheet *open(ChartWindow &window, Dialogs &dialogs);

} // namespace PrintSheetOpener

// The window's side of the sheet's bindings.
class ChartViewPrintHost final : public QObject, public PrintSheetHost {
public:
    explicit ChartViewPrintHost(ChartView &view, QObject *parent = nullptr) : QObject(parent), m_view(view) {}

    const OrganizationArchive *archive() const override;
    void commitSettings(const ChartPrintSettings &settings) override;
    QString pageTitle() const override;
    void setPageTitle(const QString &text) override;
    QString pageSubtitle() const override;
    void setPageSubtitle(const QString &text) override;
    void endHeadingEdit() override;
    std::shared_ptr<DottedRouteStore> routeStore() const override;

private:
    ChartView &m_view;
};
