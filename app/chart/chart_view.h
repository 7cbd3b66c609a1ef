#pragma once

// moc cannot parse the standard library's C++20 headers that the JSON library pulls in.
#ifndef Q_MOC_RUN
#include "core/chart/chart_scene.h"
#include "core/support/geometry.h"
#include "core/document/organization_archive.h"
#include "core/import/import_field.h"
#include "core/model/print_settings.h"
#endif

#include "app/chart/chart_search.h"
#include "app/sidebar/dropdown_option.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class Dialogs;
class OrganizationDocument;
struct PositionEntryRequest;
struct QuickEntryRow;
struct QuickEntrySaveResult;

// The header's counts of the chart shown.
struct ChartCounts {
    int64_t cards = 0; // cards drawn
    int64_t shown = 0; // the chart's positions left after collapsed branches
    int64_t total = 0; // every position of the organization
    bool operator==(const ChartCounts &) const = default;
};

// The state and shared operations of one chart window, without widgets: which chart is
// shown and how (sheet, focus, collapsed branches, expanded groups, print settings), the
// selection, the committed zoom and pan, and the edit guard every editing action runs
// first. Setters ignore equal values; those that change what the chart shows keep the rest
// of the state consistent and write changed print settings back into the document.
// Widgets read it, call it and repaint on its signals.
class ChartView : public QObject {
    Q_OBJECT
public:
    // View points kept free around a chart fitted into the canvas.
    static constexpr double fitPadding = 20;
    static constexpr double zoomStep = 1.2;

    ChartView(OrganizationDocument &document, Dialogs &dialogs, QObject *parent = nullptr);

    OrganizationDocument &document() const { return m_document; }
    const OrganizationArchive &archive() const;

    // The edit guard: false, and requireCurrentEditing throws the lock message, while
    // planning has locked Current. Editing controls are disabled while it is false.
    bool canEditCurrent() const;
    void requireCurrentEditing() const;
    // The "Organization Error" alert.
    void showError(const QString &message);

    // The chart shown: a sheet id, or empty for the entire organization. Another chart
    // brings its saved print settings and drops focus and collapsed branches.
    const std::string &selectedSheetID() const { return m_selectedSheetID; }
    void setSelectedSheetID(const std::string &id);
    // Focus on one position's subtree or on one department; each clears the other.
    const std::string &focusPersonID() const { return m_focusPersonID; }
    void setFocusPersonID(const std::string &id);
    const std::string &focusDepartment() const { return m_focusDepartment; }
    void setFocusDepartment(const std::string &department);
    const std::set<std::string> &collapsedPositionIDs() const { return m_collapsedPositionIDs; }
    void setCollapsedPositionIDs(std::set<std::string> ids);
    const std::set<std::string> &expandedGroups() const { return m_expandedGroups; }
    void setExpandedGroups(std::set<std::string> ids);

    // The working print and display settings of the chart shown. A change is written into
    // the document (the shown sheet's own settings, else the document's) while Current is
    // editable; while it is locked the change shows but is not stored. Settings the view
    // takes from the document (another chart, an undo) are never written back.
    const ChartPrintSettings &printSettings() const { return m_printSettings; }
    void setPrintSettings(const ChartPrintSettings &settings);
    // What the document stores for the chart shown: the sheet's own settings, else the
    // document's, else the preset.
    ChartPrintSettings savedPrintSettings() const;

    const std::optional<std::string> &selectedID() const { return m_selectedID; }
    void setSelectedID(const std::optional<std::string> &id);
    const std::optional<std::string> &selectedGroupID() const { return m_selectedGroupID; }
    void setSelectedGroupID(const std::optional<std::string> &id);

    bool isShowingPageBreaks() const { return m_showingPageBreaks; }
    void setShowingPageBreaks(bool showing);

    // Page title and subtitle of the chart shown: the sheet's own when a sheet is shown
    // (never the document's), else the document's. Empty text stores none. A write while
    // Current is locked is dropped without a message.
    QString pageTitle() const;
    void setPageTitle(const QString &text);
    QString pageSubtitle() const;
    void setPageSubtitle(const QString &text);

    // Whether the shown sheet draws its focused-department view; false without a sheet.
    bool focusedDepartmentView() const;
    void setFocusedDepartmentView(bool on);

    // The chart as drawn for the current state, built again only when something that shapes
    // it changed; null when it cannot be built, with the reason in sceneError().
    std::shared_ptr<const ChartScene> chartScene() const;
    QString sceneError() const;
    // The chart a window shows first when it opens `archive` (the whole organization with the
    // settings the document stores for it), laid out on the caller's thread: a file being
    // opened has it made where it is read (see WindowOpening), and the window takes it before
    // the content.
    static std::unique_ptr<ChartSceneCache::Prepared> prepareOpeningChart(const OrganizationArchive &archive);
    void adoptOpeningChart(std::unique_ptr<ChartSceneCache::Prepared> chart) { m_sceneCache.adopt(std::move(chart)); }
    // The dotted routes this window has made, for printing and previews of its charts.
    const std::shared_ptr<DottedRouteStore> &dottedRouteStore() const { return m_sceneCache.routeStore(); }
    // The card that shows the selected position: itself, or the merged title card.
    std::optional<std::string> selectedDisplayID() const;
    // The positions a card stands for; empty without a scene.
    std::vector<Position> groupMembers(const std::string &cardID) const;
    std::set<std::string> branchMembers(const std::string &cardID) const;

    // Selects a position and makes it visible: opens the groups that hold it and unfolds
    // the branches above it.
    void selectPerson(const std::string &id);
    // A click on a card: selects it, and a merged title card as a group too.
    void selectChartPerson(const std::string &cardID);
    // Expands a position group's card, or folds an expanded group back into one card.
    void toggleGroup(const std::string &id);
    // Folds the reports of every position a card stands for, or unfolds them all when any
    // is folded.
    void toggleBranch(const std::string &cardID);
    // Shows another chart (empty: the entire organization) with nothing selected or focused.
    void openLinkedSheet(const std::string &sheetID);
    // Opens the position editor for a position after the edit guard.
    void editPosition(const Position &position);
    // Opens the editor on a new, unsaved position under `managerID` after the edit guard;
    // nothing is stored until the editor saves.
    void addPosition(const std::optional<std::string> &managerID, bool assistant);
    // Whether anything opens the position editor; the commands that would are disabled
    // until it does.
    bool isPositionEditorAvailable() const { return m_positionEditorAvailable; }
    void setPositionEditorAvailable(bool available) { m_positionEditorAvailable = available; }

    // The destructive person actions: each asks first ("Make this position vacant?",
    // "Delete this person and position?", "Remove this position from this chart only?") and
    // runs its confirmed half on acceptance. Every failure, the planning lock's included,
    // goes to the "Organization Error" alert and changes nothing.
    void requestVacancy(const Position &position);
    void makeVacantConfirmed(const std::string &id);
    // A deletion the archive refuses (reports left) is alerted without a question.
    void requestDeletion(const Position &position);
    void deleteConfirmed(const std::string &id);
    void requestRemoveFromChart();
    void removeSelectedFromChart();
    // Whether the chart shown lists the position itself, not only as reporting context.
    bool listsOnShownChart(const std::string &id) const;

    // File ▸ Import JSON…: replaces the organization with a file's, keeps everything else
    // but the groups, after the recovery version "Before importing organization". One step.
    void importOrganization();
    void importOrganizationFile(const QString &path);
    // The empty state's "Load Sample District": the sample as the organization, with no
    // recovery version; ignored while Current is locked.
    void loadSampleDistrict();
    // The header's name field; a refused or unchanged name is dropped silently, and typing
    // in the field makes one undo step.
    void setOrganizationName(const QString &name);

    // The sidebar's "Null Managers" filter.
    bool onlyNullManagers() const { return m_onlyNullManagers; }
    void setOnlyNullManagers(bool on);
    // The people listed beside the chart: the chart's positions in chart order, only those
    // without a primary manager under the filter. While the chart cannot be built, the
    // chart's organization as stored. Unfiltered, the chart's own list, shared with its scene.
    std::shared_ptr<const std::vector<Position>> sidebarPositions() const;
    // Counted once per scene; zero cards and shown without one.
    ChartCounts chartCounts() const;
    // "<cards> tiles · <shown> of <total> positions".
    static QString countsText(const ChartCounts &counts);

    // "Entire organization", then the sheets by name with their counts of positions.
    std::vector<DropdownOption> sheetOptions() const;
    // What a print of the chart shown covers, in words.
    QString printScope() const;

    // Committed zoom and pan of the canvas: a chart point p shows at p * zoom + pan.
    double zoom() const { return m_zoom; }
    void setZoom(double zoom);
    Size pan() const { return m_pan; }
    void setPan(Size pan);
    // The visible canvas in view points, kept current by the canvas; a pending fit runs as
    // soon as the size allows it.
    Size viewportSize() const { return m_viewportSize; }
    void setViewportSize(Size size);
    bool isFitRequested() const { return m_fitRequested; }

    // Fits the whole chart into the visible canvas; stays pending while there is no chart
    // or the canvas is too small to hold it.
    void fitToWindow();
    void zoomIn();
    void zoomOut();
    void resetView();

    // On the next turn of the event loop: keeps the selection only while the chart still
    // shows it, then fits the chart.
    void resetFocusedView();

    // Saves the organization as an .xlsx workbook where the user chooses: the shown chart
    // only, or every chart. Changes nothing in the document; failures are alerted.
    enum class WorkbookScope { shownChart, allCharts };
    void exportWorkbook(WorkbookScope scope);

    // ---- Window commands: search, centring, chart creation and rename, and the commands
    // of the header and toolbar whose dialogs the window wires (chart_view_commands.cpp) ----
    Dialogs &dialogs() const { return m_dialogs; }

    const QString &searchText() const { return m_searchText; }
    void setSearchText(const QString &text);
    // The Find popup's content for the current text, searched again only after the text,
    // the document or the chart shown changed, never per redraw.
    const SearchResults &searchResults() const;
    bool isShowingSearch() const { return m_showingSearch; }
    void setShowingSearch(bool showing);
    // A chosen result: shows the entire organization when the chart shown lacks it, drops a
    // focus that hides it, closes the results and selects it on the next event-loop turn.
    void chooseSearchResult(const std::string &id);

    // Pans so that the position's card is centred, zoom unchanged; does nothing without a
    // canvas size, a scene or the card.
    void centerPerson(const std::string &id);
    // Drops a pending fit at once and centres on the next event-loop turn.
    void requestCenterPerson(const std::string &id);

    // "New Sheet…": asks for the name, then createSheet; failures are alerted.
    void requestNewSheet();
    // Adds a chart named `name` (trimmed) with the positions of the department of that name
    // (any letter case) that are on no chart yet, in organization order, and shows it. One
    // undo step, no recovery version. Throws OrganizationError and then changes nothing.
    void createSheet(const QString &name);
    // The rename button: asks for the shown chart's new name, then renameShownChart.
    void requestRenameChart();
    void renameShownChart(const QString &name);

    // Commands whose dialogs the window wires: each emits its signal after the edit guard.
    // A command is unavailable, and its controls disabled, while nothing is connected to
    // its signal. "Spreadsheet" asks for a new chart first while no chart is shown.
    enum class WindowCommand { addExisting, quickEntry, groupEditor, spreadsheetImport, planning };
    bool isCommandAvailable(WindowCommand command) const;
    void requestAddExisting();
    void requestQuickEntry();
    void requestGroupEditor();
    void requestSpreadsheetImport();
    void requestPlanning();
    // ---- The sheets' save paths (chart_view_sheets.cpp) ----
    // What the window's sheets call to change the document. Each runs the edit guard first,
    // is one undo step, reads the document and the chart shown as they are when it runs,
    // and throws OrganizationError (the lock message included) back to the sheet, which
    // shows it; the document is then as it was, saved versions included.
    // The position editor: lists an existing position on the chart shown and selects it.
    void includeFromEditor(const std::string &positionID);
    // The position editor's save on the chart shown (none for the entire organization);
    // selects the first saved position while the chart shows it, else nothing.
    std::vector<Position> savePositionEntry(const PositionEntryRequest &request);
    // The existing-position picker: lists the positions on the chart shown.
    void includeExistingPositions(const std::set<std::string> &ids);
    // The group editor: a new presentation group, or a group taken away (no saved version,
    // nothing validated; its expanded state is forgotten).
    void createGroup(const std::string &name, const std::vector<std::string> &memberIDs);
    void removeGroup(const std::string &groupID);
    // Quick entry on the chart shown: the version "Before spreadsheet edits" and the commit
    // in one write. Remembers the manager of the last saved position for the chart.
    QuickEntrySaveResult commitQuickEntry(const std::vector<QuickEntryRow> &rows);
    // What quick entry opens with: the chart's name ("Sheet" without one) and the manager
    // id new rows start with (the one last saved there, else the chart's last position's).
    QString quickEntrySheetName() const;
    std::string quickEntryInitialManager() const;
    // A reviewed spreadsheet import, checked against the organization the import window was
    // opened with (see import_apply.h); the charts follow the mode, the view starts afresh.
    void applyImport(const Organization &snapshot, const Organization &imported, ImportMode mode);
    // ---- end of the sheets' save paths ----

signals:
    void chartChanged(); // sheet, focus, collapsed, expanded or print settings
    void dottedLinesRouted(); // chartScene() now gives more of its dotted lines, or all
    void printSettingsChanged();
    void selectionChanged();
    void pageBreaksChanged();
    void zoomChanged();
    void panChanged();
    // A fit, a reset or a centring set the zoom and pan, maybe to what they were: the canvas
    // shows them even so, over a wheel step of its own not committed yet.
    void cameraRequested();
    // A zoom step is about to start from the zoom and pan: the canvas commits a wheel step
    // of its own first, so that the step starts from what shows.
    void zoomStepRequested();
    void viewportSizeChanged();
    // The editor should open on this position (the stored one when it still exists).
    void positionEditRequested(const Position &position);
    // The editor should open on this new position.
    void positionAddRequested(const Position &position);
    void sidebarFilterChanged();
    // Window commands (see above).
    void searchChanged(); // the text, the results or whether they show
    void addExistingRequested();
    void quickEntryRequested();
    void groupEditorRequested();
    void spreadsheetImportRequested();
    void planningRequested();

private:
    void connectCommands();
    // Runs `action`; an OrganizationError goes to the "Organization Error" alert (false).
    bool alertFailure(const std::function<void()> &action);
    bool passesEditGuard();
    void documentChanged();
    void organizationChanged();
    // Draws the chart with `settings` without storing them; false when they are the same.
    bool showPrintSettings(const ChartPrintSettings &settings);
    void writeBackPrintSettings();
    void scheduleFit();
    void dropHiddenSelection();
    void setFitRequested(bool requested);
    const OrganizationSheet *selectedSheet() const;
    void editShownSheet(const QString &stepName, const std::function<void(OrganizationSheet &)> &change,
                        const QString &mergeKey = {});
    QString pageText(bool title) const;
    void setPageText(bool title, const QString &text);

    OrganizationDocument &m_document;
    Dialogs &m_dialogs;
    mutable ChartSceneCache m_sceneCache;
    mutable QString m_sceneError;

    std::string m_selectedSheetID;
    std::string m_focusPersonID;
    std::string m_focusDepartment;
    std::set<std::string> m_collapsedPositionIDs;
    std::set<std::string> m_expandedGroups;
    ChartPrintSettings m_printSettings = ChartPrintSettings::departmentDesign();
    std::optional<std::string> m_selectedID;
    std::optional<std::string> m_selectedGroupID;
    bool m_showingPageBreaks = false;

    double m_zoom = 1;
    Size m_pan;
    Size m_viewportSize;
    bool m_fitRequested = true;
    bool m_fitScheduled = false;

    bool m_positionEditorAvailable = false;
    // Quick entry's last manager per chart id; kept for the window's life.
    std::map<std::string, std::string> m_previousManagers;
    bool m_onlyNullManagers = false;
    mutable const ChartScene *m_countedScene = nullptr;
    mutable std::shared_ptr<const ChartScene> m_countedSceneHold;
    mutable ChartCounts m_counts;

    QString m_searchText;
    bool m_showingSearch = false;
    mutable std::optional<SearchResults> m_searchResults; // none: to be searched again
};
