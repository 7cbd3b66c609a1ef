#include "app/chart/window_sheets.h"

#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/chart/import_apply.h"
#include "app/entry/existing_position_picker.h"
#include "app/entry/position_editor.h"
#include "app/entry/position_group_editor.h"
#include "app/entry/quick_entry_sheet.h"
#include "app/import/spreadsheet_import_window.h"
#include "app/shell/focus_keeper.h"
#include "app/shell/organization_document.h"

namespace {

template <typename Sheet>
Sheet *present(Sheet *sheet)
{
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    FocusKeeper::giveKeyboardBackOnClose(sheet);
    sheet->open();
    return sheet;
}

} // namespace

namespace WindowSheets {

void connectSheets(ChartWindow &window)
{
    ChartView &view = window.view();
    QObject::connect(&view, &ChartView::positionEditRequested, &window,
                     [&window](const Position &position) { openPositionEditor(window, position, false); });
    QObject::connect(&view, &ChartView::positionAddRequested, &window,
                     [&window](const Position &position) { openPositionEditor(window, position, true); });
    view.setPositionEditorAvailable(true);
    QObject::connect(&view, &ChartView::addExistingRequested, &window, [&window] { openExistingPicker(window); });
    QObject::connect(&view, &ChartView::quickEntryRequested, &window, [&window] { openQuickEntry(window); });
    QObject::connect(&view, &ChartView::groupEditorRequested, &window, [&window] { openGroupEditor(window); });
    QObject::connect(&view, &ChartView::spreadsheetImportRequested, &window,
                     [&window] { openSpreadsheetImport(window); });
}

PositionEditor *openPositionEditor(ChartWindow &window, const Position &position, bool isNew)
{
    ChartView &view = window.view();
    const OrganizationArchive &archive = view.archive();
    auto *model = new PositionEditorModel(
        position, archive.organization.positions, isNew, archive.sortedSheets(), view.selectedSheetID(),
        [&view](const PositionEntryRequest &request) { return view.savePositionEntry(request); },
        [&view](const std::string &id) { view.includeFromEditor(id); }, view.dialogs());
    auto *editor = new PositionEditor(model, &window);
    // "Save & Add Another" keeps the editor open: its matches must see the charts the save
    // put people on.
    QObject::connect(&view.document(), &OrganizationDocument::archiveChanged, editor,
                     [&view, model] { model->setSheets(view.archive().sortedSheets()); });
    return present(editor);
}

ExistingPositionPicker *openExistingPicker(ChartWindow &window)
{
    ChartView &view = window.view();
    const OrganizationArchive &archive = view.archive();
    return present(new ExistingPositionPicker(
        archive.organization.positions, archive.sortedSheets(), view.selectedSheetID(),
        [&view](const std::set<std::string> &ids) { view.includeExistingPositions(ids); }, &window));
}

QuickEntrySheet *openQuickEntry(ChartWindow &window)
{
    ChartView &view = window.view();
    const OrganizationArchive &archive = view.archive();
    return present(new QuickEntrySheet(
        view.quickEntrySheetName().toStdString(), archive.organization.positions,
        archive.memberPositions(view.selectedSheetID()), view.quickEntryInitialManager(),
        [&view](const std::vector<QuickEntryRow> &rows) { return view.commitQuickEntry(rows); }, view.dialogs(),
        &window));
}

PositionGroupEditor *openGroupEditor(ChartWindow &window)
{
    ChartView &view = window.view();
    const OrganizationArchive &archive = view.archive();
    return present(new PositionGroupEditor(
        archive.organizationIn(view.selectedSheetID()).positions, archive.groups.value_or(std::vector<PositionGroup>{}),
        [&view](const std::string &name, const std::vector<std::string> &ids) { view.createGroup(name, ids); },
        [&view](const std::string &groupID) { view.removeGroup(groupID); }, &window));
}

SpreadsheetImportWindow *openSpreadsheetImport(ChartWindow &window)
{
    ChartView &view = window.view();
    if (SpreadsheetImportWindow::windowFor(&window))
        return SpreadsheetImportWindow::present(&window, {}, {}, view.dialogs());
    Organization snapshot = view.archive().organization;
    ImportFlow::ApplyAction apply = importApplyAction(window, snapshot);
    return SpreadsheetImportWindow::present(&window, std::move(snapshot), std::move(apply), view.dialogs());
}

} // namespace WindowSheets
