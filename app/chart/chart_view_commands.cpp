// ChartView's window commands: search, centring, chart creation and rename, and the
// requests of the header and toolbar whose dialogs the window wires.
#include "app/chart/chart_view.h"

#include "app/chart/sheet_commands.h"
#include "app/shell/dialogs.h"
#include "app/shell/organization_document.h"

#include "core/model/chart_viewport.h"

#include <QMetaMethod>
#include <QMetaObject>
#include <QPointer>

#include <algorithm>

static QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

void ChartView::connectCommands()
{
    // The results depend on the organization and on the chart shown (the off-chart line).
    auto stale = [this] {
        m_searchResults.reset();
        if (m_showingSearch)
            emit searchChanged();
    };
    connect(&m_document, &OrganizationDocument::archiveChanged, this, stale);
    connect(this, &ChartView::chartChanged, this, stale);
}

bool ChartView::alertFailure(const std::function<void()> &action)
{
    try {
        action();
        return true;
    } catch (const OrganizationError &error) {
        showError(toQt(error.message()));
        return false;
    }
}

bool ChartView::passesEditGuard()
{
    return alertFailure([this] { requireCurrentEditing(); });
}

void ChartView::setSearchText(const QString &text)
{
    if (text == m_searchText)
        return;
    m_searchText = text;
    m_searchResults.reset();
    emit searchChanged();
}

const SearchResults &ChartView::searchResults() const
{
    if (!m_searchResults) {
        const OrganizationArchive &current = archive();
        m_searchResults = searchResultRows(current.organization, m_searchText.toStdString(),
                                           current.organizationIn(m_selectedSheetID));
    }
    return *m_searchResults;
}

void ChartView::setShowingSearch(bool showing)
{
    if (showing == m_showingSearch)
        return;
    m_showingSearch = showing;
    emit searchChanged();
}

void ChartView::chooseSearchResult(const std::string &id)
{
    const auto has = [&](const Organization &organization) {
        return std::any_of(organization.positions.begin(), organization.positions.end(),
                           [&](const Position &position) { return position.id == id; });
    };
    if (!has(archive().organizationIn(m_selectedSheetID)))
        setSelectedSheetID({});
    const std::shared_ptr<const ChartScene> scene = chartScene();
    if (!scene || !has(scene->scopedOrganization())) {
        setFocusPersonID({});
        setFocusDepartment({});
    }
    setShowingSearch(false);
    // After the popup has closed and the chart settled.
    QMetaObject::invokeMethod(this, [this, id] { selectPerson(id); }, Qt::QueuedConnection);
}

void ChartView::centerPerson(const std::string &id)
{
    if (!(m_viewportSize.width > 0) || !(m_viewportSize.height > 0))
        return;
    const std::shared_ptr<const ChartScene> scene = chartScene();
    if (!scene)
        return;
    const auto card = scene->presentation().positionIDs.find(id);
    if (card == scene->presentation().positionIDs.end())
        return;
    const std::vector<ChartNode> &nodes = scene->layout().nodes;
    const auto node = std::find_if(nodes.begin(), nodes.end(), [&](const ChartNode &n) { return n.id == card->second; });
    if (node == nodes.end())
        return;
    setPan(ChartViewport::centeredOffset(node->frame, m_zoom, m_viewportSize));
    emit cameraRequested();
}

void ChartView::requestCenterPerson(const std::string &id)
{
    setFitRequested(false);
    QMetaObject::invokeMethod(this, [this, id] { centerPerson(id); }, Qt::QueuedConnection);
}

void ChartView::requestNewSheet()
{
    if (!passesEditGuard())
        return;
    if (const std::optional<QString> name =
            m_dialogs.askTextWithMessage(SheetCommands::newSheetTitle(), SheetCommands::newSheetMessage(),
                                         QStringLiteral("Department / sheet name"), QString(),
                                         QStringLiteral("Create")))
        alertFailure([&] { createSheet(*name); });
}

void ChartView::createSheet(const QString &name)
{
    requireCurrentEditing();
    std::string id;
    m_document.edit(QStringLiteral("New Sheet"), [&](OrganizationArchive &next) {
        OrganizationSheet sheet = SheetCommands::newSheet(next, name.toStdString());
        id = sheet.id;
        if (!next.sheets)
            next.sheets.emplace();
        next.sheets->push_back(std::move(sheet));
    });
    setSelectedSheetID(id);
}

void ChartView::requestRenameChart()
{
    if (!passesEditGuard())
        return;
    const OrganizationSheet *shown = selectedSheet();
    if (const std::optional<QString> name =
            m_dialogs.askTextWithMessage(SheetCommands::renameTitle(), SheetCommands::renameMessage(),
                                         QStringLiteral("Chart name"), shown ? toQt(shown->name) : QString(),
                                         QStringLiteral("Rename")))
        alertFailure([&] { renameShownChart(*name); });
}

void ChartView::renameShownChart(const QString &name)
{
    requireCurrentEditing();
    m_document.edit(QStringLiteral("Rename Chart"),
                    [&](OrganizationArchive &next) { next.renameSheet(m_selectedSheetID, name.toStdString()); });
}

bool ChartView::isCommandAvailable(WindowCommand command) const
{
    switch (command) {
    case WindowCommand::addExisting:
        return isSignalConnected(QMetaMethod::fromSignal(&ChartView::addExistingRequested));
    case WindowCommand::quickEntry:
        return isSignalConnected(QMetaMethod::fromSignal(&ChartView::quickEntryRequested));
    case WindowCommand::groupEditor:
        return isSignalConnected(QMetaMethod::fromSignal(&ChartView::groupEditorRequested));
    case WindowCommand::spreadsheetImport:
        return isSignalConnected(QMetaMethod::fromSignal(&ChartView::spreadsheetImportRequested));
    case WindowCommand::planning:
        return isSignalConnected(QMetaMethod::fromSignal(&ChartView::planningRequested));
    }
    return false;
}

void ChartView::requestAddExisting()
{
    if (m_selectedSheetID.empty() || !passesEditGuard())
        return;
    emit addExistingRequested();
}

void ChartView::requestQuickEntry()
{
    // On the entire organization the user first names the chart the rows go on.
    if (m_selectedSheetID.empty()) {
        requestNewSheet();
        return;
    }
    if (passesEditGuard())
        emit quickEntryRequested();
}

void ChartView::requestGroupEditor()
{
    if (passesEditGuard())
        emit groupEditorRequested();
}

void ChartView::requestSpreadsheetImport()
{
    if (passesEditGuard())
        emit spreadsheetImportRequested();
}

void ChartView::requestPlanning()
{
    emit planningRequested();
}
