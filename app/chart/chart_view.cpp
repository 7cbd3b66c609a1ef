#include "app/chart/chart_view.h"

#include "app/chart/dotted_lines_pace.h"
#include "app/chart/sheet_commands.h"
#include "app/shell/dialogs.h"
#include "app/shell/file_saving.h"
#include "app/shell/organization_document.h"

#include "core/model/chart_viewport.h"
#include "printing/file_names.h"
#include "spreadsheet/organization_workbook.h"

#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <unordered_set>
#include <utility>

static QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

static const QString paperStep = QStringLiteral("Paper & Appearance");

ChartView::ChartView(OrganizationDocument &document, Dialogs &dialogs, QObject *parent)
    : QObject(parent), m_document(document), m_dialogs(dialogs)
{
    connect(&m_document, &OrganizationDocument::archiveChanged, this, &ChartView::documentChanged);
    connect(&m_document, &OrganizationDocument::organizationChanged, this, &ChartView::organizationChanged);
    connect(&m_document, &OrganizationDocument::fileLoaded, this, &ChartView::resetFocusedView);
    routeDottedLinesPaced(m_sceneCache, this, [this] { emit dottedLinesRouted(); });
    connectCommands();
    // The window opens on the settings the document stores for the chart it shows.
    documentChanged();
}

const OrganizationArchive &ChartView::archive() const
{
    return m_document.archive();
}

bool ChartView::canEditCurrent() const
{
    const std::optional<OrganizationPlanning> &planning = archive().planning;
    return !planning || !planning->isLocked;
}

void ChartView::requireCurrentEditing() const
{
    archive().requireCurrentEditing();
}

void ChartView::showError(const QString &message)
{
    m_dialogs.alert(QStringLiteral("Organization Error"), message);
}

const OrganizationSheet *ChartView::selectedSheet() const
{
    const std::optional<std::vector<OrganizationSheet>> &sheets = archive().sheets;
    if (!sheets)
        return nullptr;
    const auto found = std::find_if(sheets->begin(), sheets->end(),
                                    [&](const OrganizationSheet &sheet) { return sheet.id == m_selectedSheetID; });
    return found == sheets->end() ? nullptr : &*found;
}

void ChartView::editShownSheet(const QString &stepName, const std::function<void(OrganizationSheet &)> &change,
                               const QString &mergeKey)
{
    m_document.edit(stepName, [&](OrganizationArchive &archive) {
        if (!archive.sheets)
            return;
        // The first sheet with the id, as selectedSheet() finds it.
        const auto shown = std::find_if(archive.sheets->begin(), archive.sheets->end(),
                                        [&](const OrganizationSheet &sheet) { return sheet.id == m_selectedSheetID; });
        if (shown != archive.sheets->end())
            change(*shown);
    }, mergeKey);
}

void ChartView::setSelectedSheetID(const std::string &id)
{
    if (id == m_selectedSheetID)
        return;
    m_selectedSheetID = id;
    emit chartChanged();
    showPrintSettings(savedPrintSettings());
    setFocusPersonID({});
    setFocusDepartment({});
    setCollapsedPositionIDs({});
    resetFocusedView();
}

void ChartView::setFocusPersonID(const std::string &id)
{
    if (id == m_focusPersonID)
        return;
    m_focusPersonID = id;
    emit chartChanged();
    if (!id.empty())
        setFocusDepartment({});
    resetFocusedView();
}

void ChartView::setFocusDepartment(const std::string &department)
{
    if (department == m_focusDepartment)
        return;
    m_focusDepartment = department;
    emit chartChanged();
    if (!department.empty())
        setFocusPersonID({});
    resetFocusedView();
}

void ChartView::setCollapsedPositionIDs(std::set<std::string> ids)
{
    if (ids == m_collapsedPositionIDs)
        return;
    m_collapsedPositionIDs = std::move(ids);
    emit chartChanged();
}

void ChartView::setExpandedGroups(std::set<std::string> ids)
{
    if (ids == m_expandedGroups)
        return;
    m_expandedGroups = std::move(ids);
    emit chartChanged();
}

void ChartView::setPrintSettings(const ChartPrintSettings &settings)
{
    if (!showPrintSettings(settings))
        return;
    writeBackPrintSettings();
    resetFocusedView();
}

bool ChartView::showPrintSettings(const ChartPrintSettings &settings)
{
    if (settings == m_printSettings)
        return false;
    const bool modeChanged = settings.displayMode() != m_printSettings.displayMode();
    m_printSettings = settings;
    emit printSettingsChanged();
    emit chartChanged();
    // Another display mode draws other cards: a selected group card may be gone.
    if (modeChanged)
        setSelectedGroupID(std::nullopt);
    return true;
}

void ChartView::writeBackPrintSettings()
{
    if (!canEditCurrent())
        return;
    const ChartPrintSettings settings = m_printSettings;
    if (const OrganizationSheet *shown = selectedSheet()) {
        if (shown->printSettings == settings)
            return;
        editShownSheet(paperStep, [&](OrganizationSheet &sheet) { sheet.printSettings = settings; });
        return;
    }
    if (archive().printSettings == settings)
        return;
    m_document.edit(paperStep, [&](OrganizationArchive &archive) { archive.printSettings = settings; });
}

ChartPrintSettings ChartView::savedPrintSettings() const
{
    if (const OrganizationSheet *shown = selectedSheet(); shown && shown->printSettings)
        return *shown->printSettings;
    return archive().printSettings.value_or(ChartPrintSettings::departmentDesign());
}

void ChartView::setSelectedID(const std::optional<std::string> &id)
{
    if (id == m_selectedID)
        return;
    m_selectedID = id;
    emit selectionChanged();
}

void ChartView::setSelectedGroupID(const std::optional<std::string> &id)
{
    if (id == m_selectedGroupID)
        return;
    m_selectedGroupID = id;
    emit selectionChanged();
}

void ChartView::setShowingPageBreaks(bool showing)
{
    if (showing == m_showingPageBreaks)
        return;
    m_showingPageBreaks = showing;
    emit pageBreaksChanged();
}

QString ChartView::pageText(bool title) const
{
    if (const OrganizationSheet *shown = selectedSheet())
        return toQt((title ? shown->pageTitle : shown->pageSubtitle).value_or(std::string()));
    return toQt((title ? archive().pageTitle : archive().pageSubtitle).value_or(std::string()));
}

void ChartView::setPageText(bool title, const QString &text)
{
    // Empty text means none; nothing is trimmed, so a title of spaces stays as typed.
    const std::optional<std::string> value = text.isEmpty() ? std::nullopt : std::optional(text.toStdString());
    const OrganizationSheet *shown = selectedSheet();
    const std::optional<std::string> &stored = shown ? (title ? shown->pageTitle : shown->pageSubtitle)
                                                     : (title ? archive().pageTitle : archive().pageSubtitle);
    if (stored == value || !canEditCurrent())
        return;
    // Typing in the field is one step.
    const QString step = title ? QStringLiteral("Page Title") : QStringLiteral("Page Subtitle");
    if (shown) {
        editShownSheet(
            step, [&](OrganizationSheet &sheet) { (title ? sheet.pageTitle : sheet.pageSubtitle) = value; },
            step + QStringLiteral(":") + toQt(m_selectedSheetID));
        return;
    }
    m_document.edit(
        step, [&](OrganizationArchive &archive) { (title ? archive.pageTitle : archive.pageSubtitle) = value; }, step);
}

QString ChartView::pageTitle() const
{
    return pageText(true);
}

void ChartView::setPageTitle(const QString &text)
{
    setPageText(true, text);
}

QString ChartView::pageSubtitle() const
{
    return pageText(false);
}

void ChartView::setPageSubtitle(const QString &text)
{
    setPageText(false, text);
}

bool ChartView::focusedDepartmentView() const
{
    const OrganizationSheet *shown = selectedSheet();
    return shown && shown->isFocusedDepartmentView();
}

void ChartView::setFocusedDepartmentView(bool on)
{
    if (!canEditCurrent() || !selectedSheet())
        return;
    editShownSheet(QStringLiteral("Focused Department View"),
                   [&](OrganizationSheet &sheet) { sheet.focusedDepartmentView = on; });
    setSelectedGroupID(std::nullopt);
    resetFocusedView();
}

std::shared_ptr<const ChartScene> ChartView::chartScene() const
{
    try {
        std::shared_ptr<const ChartScene> scene =
            m_sceneCache.snapshot(archive(), m_selectedSheetID, m_focusPersonID, m_focusDepartment,
                                  m_collapsedPositionIDs, m_expandedGroups, m_printSettings, m_document.revision());
        m_sceneError.clear();
        return scene;
    } catch (const OrganizationError &error) {
        m_sceneError = toQt(error.message());
        return nullptr;
    }
}

std::unique_ptr<ChartSceneCache::Prepared> ChartView::prepareOpeningChart(const OrganizationArchive &archive)
{
    // What savedPrintSettings() gives with no chart selected.
    return ChartSceneCache::prepare(archive, {}, archive.printSettings.value_or(ChartPrintSettings::departmentDesign()));
}

QString ChartView::sceneError() const
{
    return m_sceneError;
}

std::optional<std::string> ChartView::selectedDisplayID() const
{
    if (!m_selectedID)
        return std::nullopt;
    // Without a scene no card shows anything.
    const std::shared_ptr<const ChartScene> scene = chartScene();
    if (!scene)
        return std::nullopt;
    const auto &cards = scene->presentation().positionIDs;
    const auto found = cards.find(*m_selectedID);
    if (found == cards.end())
        return std::nullopt;
    return found->second;
}

std::vector<Position> ChartView::groupMembers(const std::string &cardID) const
{
    const std::shared_ptr<const ChartScene> scene = chartScene();
    if (!scene)
        return {};
    std::vector<Position> members;
    for (const Position *member : scene->membersOf(cardID))
        members.push_back(*member);
    return members;
}

std::set<std::string> ChartView::branchMembers(const std::string &cardID) const
{
    std::set<std::string> ids;
    if (const std::shared_ptr<const ChartScene> scene = chartScene()) {
        for (const Position *member : scene->membersOf(cardID))
            ids.insert(member->id);
    }
    return ids;
}

void ChartView::selectPerson(const std::string &id)
{
    std::set<std::string> expanded = m_expandedGroups;
    if (const auto &groups = archive().groups) {
        for (const PositionGroup &group : *groups) {
            if (std::find(group.memberIDs.begin(), group.memberIDs.end(), id) != group.memberIDs.end())
                expanded.insert(group.id);
        }
    }
    setExpandedGroups(std::move(expanded));
    std::set<std::string> collapsed = m_collapsedPositionIDs;
    for (const std::string &ancestor : archive().organization.ancestors(id))
        collapsed.erase(ancestor);
    setCollapsedPositionIDs(std::move(collapsed));
    setSelectedGroupID(std::nullopt);
    setSelectedID(id);
}

void ChartView::selectChartPerson(const std::string &cardID)
{
    selectPerson(cardID);
    const std::shared_ptr<const ChartScene> scene = chartScene();
    if (!scene)
        return;
    const auto &counts = scene->presentation().counts;
    const auto count = counts.find(cardID);
    if (count != counts.end() && count->second > 1)
        setSelectedGroupID(cardID);
}

void ChartView::toggleGroup(const std::string &id)
{
    std::set<std::string> expanded = m_expandedGroups;
    if (!expanded.erase(id))
        expanded.insert(id);
    setExpandedGroups(std::move(expanded));
    setSelectedGroupID(std::nullopt);
    setSelectedID(std::nullopt);
    resetFocusedView();
}

void ChartView::toggleBranch(const std::string &cardID)
{
    const std::set<std::string> members = branchMembers(cardID);
    std::set<std::string> collapsed = m_collapsedPositionIDs;
    const bool anyCollapsed =
        std::any_of(members.begin(), members.end(), [&](const std::string &id) { return collapsed.contains(id); });
    for (const std::string &id : members) {
        if (anyCollapsed)
            collapsed.erase(id);
        else
            collapsed.insert(id);
    }
    setCollapsedPositionIDs(std::move(collapsed));
    resetFocusedView();
}

void ChartView::openLinkedSheet(const std::string &sheetID)
{
    setSelectedID(std::nullopt);
    setSelectedGroupID(std::nullopt);
    setFocusPersonID({});
    setFocusDepartment({});
    setSelectedSheetID(sheetID);
}

void ChartView::editPosition(const Position &position)
{
    try {
        requireCurrentEditing();
    } catch (const OrganizationError &error) {
        showError(toQt(error.message()));
        return;
    }
    const auto &positions = archive().organization.positions;
    const auto stored = std::find_if(positions.begin(), positions.end(),
                                     [&](const Position &candidate) { return candidate.id == position.id; });
    emit positionEditRequested(stored == positions.end() ? position : *stored);
}

std::vector<DropdownOption> ChartView::sheetOptions() const
{
    std::vector<DropdownOption> options{{QString(), QStringLiteral("Entire organization"), QString()}};
    const OrganizationArchive &current = archive();
    const std::vector<OrganizationSheet> sheets = current.sortedSheets();
    // Asked on every edit: the ids are gathered only when there are charts to count.
    std::unordered_set<std::string_view> existing;
    if (!sheets.empty()) {
        existing.reserve(current.organization.positions.size());
        for (const Position &position : current.organization.positions)
            existing.insert(position.id);
    }
    for (const OrganizationSheet &sheet : sheets) {
        // A sheet may still list positions deleted since; only the living ones count.
        const auto count = std::count_if(sheet.positionIDs.begin(), sheet.positionIDs.end(),
                                         [&](const std::string &id) { return existing.contains(id); });
        options.push_back({toQt(sheet.id), toQt(sheet.name), QString("%1 positions").arg(count)});
    }
    return options;
}

QString ChartView::printScope() const
{
    const OrganizationArchive &current = archive();
    const auto &positions = current.organization.positions;
    const auto focused = std::find_if(positions.begin(), positions.end(),
                                      [&](const Position &position) { return position.id == m_focusPersonID; });
    if (focused != positions.end()) {
        const std::string &who = focused->employee ? focused->employee->name : focused->jobTitle();
        return toQt(who) + QStringLiteral(" and subordinates");
    }
    if (!m_focusDepartment.empty())
        return toQt(m_focusDepartment) + QStringLiteral(" and subordinates");
    if (const OrganizationSheet *shown = selectedSheet())
        return toQt(shown->name);
    return QStringLiteral("Entire organization");
}

void ChartView::setZoom(double zoom)
{
    if (zoom == m_zoom)
        return;
    m_zoom = zoom;
    emit zoomChanged();
}

void ChartView::setPan(Size pan)
{
    if (pan == m_pan)
        return;
    m_pan = pan;
    emit panChanged();
}

void ChartView::setViewportSize(Size size)
{
    if (size != m_viewportSize) {
        m_viewportSize = size;
        emit viewportSizeChanged();
    }
    // A fit asked for before the canvas had a usable size happens now; a fitted chart
    // keeps its zoom and pan through later resizes.
    if (m_fitRequested)
        fitToWindow();
}

void ChartView::fitToWindow()
{
    const std::shared_ptr<const ChartScene> scene = chartScene();
    const std::optional<ChartViewport> fitted =
        scene ? ChartViewport::fit(scene->layout().size, m_viewportSize, fitPadding) : std::nullopt;
    if (!fitted) {
        setFitRequested(true);
        return;
    }
    setZoom(fitted->scale);
    setPan(fitted->offset);
    setFitRequested(false);
    emit cameraRequested();
}

void ChartView::zoomIn()
{
    emit zoomStepRequested();
    setZoom(std::min(m_zoom * zoomStep, ChartViewport::maximumScale));
}

void ChartView::zoomOut()
{
    emit zoomStepRequested();
    // A fit of a very large chart may already be below the limit: leave it there.
    setZoom(std::max(m_zoom / zoomStep, std::min(m_zoom, ChartViewport::minimumZoomScale)));
}

void ChartView::resetView()
{
    setZoom(1);
    setPan(Size{});
    emit cameraRequested();
}

void ChartView::setFitRequested(bool requested)
{
    m_fitRequested = requested;
}

void ChartView::scheduleFit()
{
    if (m_fitScheduled)
        return;
    m_fitScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            // Settled on the next turn: one change of chart often sets several fields, and
            // the chart is built once for the state they leave, not for each step.
            m_fitScheduled = false;
            dropHiddenSelection();
            fitToWindow();
        },
        Qt::QueuedConnection);
}

void ChartView::resetFocusedView()
{
    setSelectedGroupID(std::nullopt);
    setFitRequested(true);
    scheduleFit();
}

void ChartView::dropHiddenSelection()
{
    if (!m_selectedID)
        return;
    const std::shared_ptr<const ChartScene> scene = chartScene();
    const auto shown = [&](const Position &position) { return position.id == *m_selectedID; };
    if (!scene || std::none_of(scene->visibleOrganization().positions.begin(),
                               scene->visibleOrganization().positions.end(), shown))
        setSelectedID(std::nullopt);
}

void ChartView::documentChanged()
{
    // An undo or a restored version may take away the chart shown: show the entire
    // organization then, so that the picker and the drawing agree.
    if (!m_selectedSheetID.empty()) {
        const auto &sheets = archive().sheets;
        const bool sheetExists = sheets && std::any_of(sheets->begin(), sheets->end(), [&](const OrganizationSheet &sheet) {
            return sheet.id == m_selectedSheetID;
        });
        if (!sheetExists) {
            setSelectedSheetID({});
            return;
        }
    }
    // Settings changed in the document (or left unstored while Current was locked) give
    // way to what the document now stores for the chart shown. They are only shown: stored
    // again, an undo would become a change of its own and take away the redo.
    if (showPrintSettings(savedPrintSettings()))
        resetFocusedView();
}

void ChartView::organizationChanged()
{
    const auto &positions = archive().organization.positions;
    const bool personExists = std::any_of(positions.begin(), positions.end(),
                                          [&](const Position &position) { return position.id == m_focusPersonID; });
    if (!personExists)
        setFocusPersonID({});
    const bool departmentExists = std::any_of(positions.begin(), positions.end(), [&](const Position &position) {
        return position.department == m_focusDepartment;
    });
    if (!departmentExists)
        setFocusDepartment({});
}

void ChartView::exportWorkbook(WorkbookScope scope)
{
    // Named after the organization, whatever the document's file is called.
    const QString proposed = FileNames::fitted(SheetCommands::safeFileName(toQt(archive().name)), QStringLiteral(".xlsx"));
    const std::optional<QString> path = m_dialogs.fileToSave(QStringLiteral("Excel Workbook (*.xlsx)"), proposed);
    if (!path || path->isEmpty())
        return;
    try {
        const std::optional<std::string> sheetID =
            scope == WorkbookScope::shownChart ? std::optional(m_selectedSheetID) : std::nullopt;
        OrganizationWorkbook::save(archive(), sheetID, FileSaving::localPath(*path));
    } catch (const OrganizationError &error) {
        showError(toQt(error.message()));
    }
}
