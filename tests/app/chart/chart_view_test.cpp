#include "app/chart/chart_view.h"
#include "app/shell/organization_document.h"
#include "app_test_support.h"
#include "scripted_dialogs.h"
#include <QTemporaryDir>
#include "core/model/chart_viewport.h"
#include "spreadsheet/xlsx_reader.h"

#include "chart_fixtures.h"
#include "error_of.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>

using namespace AppTest;

namespace {

// A district with two charts: "Science" lists P2 and a deleted position, "Arts" lists P3.
OrganizationArchive chartedDistrict()
{
    OrganizationArchive archive = district(3);
    archive.organization.positions[2].department = "Arts";
    archive.sheets = std::vector<OrganizationSheet>{{"S-SCI", "Science", {"P2", "GONE"}}, {"S-ART", "Arts", {"P3"}}};
    archive.pageTitle = "District title";
    return archive;
}

// The charted district with a vacant "Counselor" V1 under P1.
OrganizationArchive withCounselorVacancy()
{
    OrganizationArchive archive = chartedDistrict();
    Position vacancy = person("V1", "", "P1");
    vacancy.employee.reset();
    vacancy.customJobTitle = "Counselor";
    archive.organization.positions.push_back(vacancy);
    return archive;
}

using ChartViewState = ChartViewFixture;

const char *const lockMessage = "Current organization is locked. Open Planning & Proposals to edit a named proposal instead.";

OrganizationArchive lockedForPlanning(OrganizationArchive archive)
{
    archive.lockForPlanning();
    return archive;
}

// Lets the fit and the selection check that follow a change run.
void settle()
{
    QCoreApplication::processEvents();
}

TEST_F(ChartViewState, NewDocument)
{
    EXPECT_EQ(view.sheetOptions(), (std::vector<DropdownOption>{{"", "Entire organization", ""}}));
    EXPECT_EQ(view.printScope(), "Entire organization");
    EXPECT_EQ(view.savedPrintSettings(), ChartPrintSettings::departmentDesign());
    EXPECT_EQ(view.printSettings(), ChartPrintSettings::departmentDesign());
    EXPECT_TRUE(view.canEditCurrent());
    EXPECT_EQ(view.zoom(), 1);
    EXPECT_TRUE(view.isFitRequested());
    EXPECT_FALSE(document.isModified());
}

TEST_F(ChartViewState, EditGuardFollowsThePlanningLock)
{
    open(district());
    EXPECT_NO_THROW(view.requireCurrentEditing());
    open(lockedForPlanning(document.archive()));
    EXPECT_FALSE(view.canEditCurrent());
    EXPECT_EQ(errorOf([&] { view.requireCurrentEditing(); }), lockMessage);
}

TEST_F(ChartViewState, PageTitleBelongsToTheChartShown)
{
    open(chartedDistrict());
    EXPECT_EQ(view.pageTitle(), "District title");
    view.setSelectedSheetID("S-SCI");
    // A chart never falls back to the document's title.
    EXPECT_EQ(view.pageTitle(), "");
    view.setPageTitle("Science staff");
    EXPECT_EQ(document.archive().sheets->at(0).pageTitle, "Science staff");
    EXPECT_EQ(document.archive().pageTitle, "District title");
    view.setPageTitle("");
    EXPECT_EQ(document.archive().sheets->at(0).pageTitle, std::nullopt);
    EXPECT_EQ(view.pageTitle(), "");
    view.setPageSubtitle("  ");
    EXPECT_EQ(document.archive().sheets->at(0).pageSubtitle, "  ");
}

TEST_F(ChartViewState, LockedEditsOfPageTextsAndFocusedViewAreDroppedSilently)
{
    open(chartedDistrict());
    view.setSelectedSheetID("S-SCI");
    open(lockedForPlanning(document.archive()));
    const OrganizationArchive before = document.archive();
    view.setPageTitle("Typed while locked");
    view.setFocusedDepartmentView(true);
    view.setSelectedSheetID("");
    view.setPageSubtitle("Also typed");
    EXPECT_EQ(document.archive(), before);
    EXPECT_EQ(view.pageTitle(), "District title");
    EXPECT_TRUE(dialogs.alerts.empty());
}

TEST_F(ChartViewState, FocusedDepartmentViewNeedsASheet)
{
    open(chartedDistrict());
    view.setFocusedDepartmentView(true);
    EXPECT_FALSE(view.focusedDepartmentView());
    view.setSelectedSheetID("S-ART");
    view.setSelectedGroupID("group-1");
    view.setFocusedDepartmentView(true);
    EXPECT_TRUE(view.focusedDepartmentView());
    EXPECT_EQ(document.archive().sheets->at(1).focusedDepartmentView, true);
    EXPECT_EQ(view.selectedGroupID(), std::nullopt);
}

TEST_F(ChartViewState, PrintScope)
{
    OrganizationArchive archive = withCounselorVacancy();
    open(archive);
    view.setSelectedSheetID("S-SCI");
    EXPECT_EQ(view.printScope(), "Science");
    view.setFocusDepartment("Instruction");
    EXPECT_EQ(view.printScope(), "Instruction and subordinates");
    view.setFocusPersonID("V1");
    EXPECT_EQ(view.focusDepartment(), "");
    EXPECT_EQ(view.printScope(), "Counselor and subordinates");
    view.setFocusPersonID("P1");
    EXPECT_EQ(view.printScope(), "Ada Lovelace and subordinates");
    view.setFocusDepartment("Arts");
    EXPECT_EQ(view.focusPersonID(), "");
}

TEST_F(ChartViewState, PrintSettingsAreWrittenToTheChartShown)
{
    open(chartedDistrict());
    view.setSelectedSheetID("S-SCI");
    // The shown chart had no settings of its own and the document none either: nothing to store.
    EXPECT_FALSE(document.isModified());
    ChartPrintSettings changed = view.printSettings();
    changed.showPayLevel = true;
    view.setPrintSettings(changed);
    EXPECT_EQ(document.archive().sheets->at(0).printSettings, changed);
    EXPECT_EQ(document.archive().sheets->at(1).printSettings, std::nullopt);
    EXPECT_EQ(document.archive().printSettings, std::nullopt);

    document.setModified(false);
    view.setPrintSettings(changed);
    EXPECT_FALSE(document.isModified());

    view.setSelectedSheetID("");
    EXPECT_EQ(view.printSettings(), ChartPrintSettings::departmentDesign());
    view.setPrintSettings(changed);
    EXPECT_EQ(document.archive().printSettings, changed);
}

// Settings taken from the document are shown, never stored again: showing a chart is no edit.
TEST_F(ChartViewState, ChartWithoutOwnSettingsShowsTheDocumentsWithoutStoringThem)
{
    OrganizationArchive archive = chartedDistrict();
    ChartPrintSettings documentSettings;
    documentSettings.scalePercent = 50;
    archive.printSettings = documentSettings;
    ChartPrintSettings scienceSettings;
    scienceSettings.scalePercent = 75;
    archive.sheets->at(0).printSettings = scienceSettings;
    open(archive);
    EXPECT_EQ(view.printSettings(), documentSettings);
    view.setSelectedSheetID("S-ART");
    // Equal to what was shown: nothing to store.
    EXPECT_FALSE(document.isModified());
    view.setSelectedSheetID("S-SCI");
    EXPECT_EQ(view.printSettings(), scienceSettings);
    EXPECT_FALSE(document.isModified());
    view.setSelectedSheetID("S-ART");
    EXPECT_EQ(view.printSettings(), documentSettings);
    EXPECT_EQ(document.archive().sheets->at(1).printSettings, std::nullopt);
    EXPECT_FALSE(document.isModified());
    EXPECT_FALSE(document.canUndo());
}

TEST_F(ChartViewState, LockedSettingsShowButAreNotStored)
{
    open(lockedForPlanning(chartedDistrict()));
    ChartPrintSettings changed = view.printSettings();
    changed.hideNames = true;
    view.setPrintSettings(changed);
    EXPECT_EQ(view.printSettings(), changed);
    EXPECT_EQ(document.archive().printSettings, std::nullopt);
    // The next change of the document brings back what it stores.
    OrganizationArchive renamed = document.archive();
    renamed.name = "Renamed";
    document.setArchive(renamed);
    EXPECT_EQ(view.printSettings(), ChartPrintSettings::departmentDesign());
}

TEST_F(ChartViewState, AnotherChartDropsFocusAndCollapsedBranches)
{
    open(chartedDistrict());
    view.setFocusPersonID("P1");
    view.setCollapsedPositionIDs({"P1"});
    view.setSelectedSheetID("S-SCI");
    EXPECT_EQ(view.focusPersonID(), "");
    EXPECT_TRUE(view.collapsedPositionIDs().empty());
}

TEST_F(ChartViewState, AnotherDisplayModeClearsTheGroupSelection)
{
    view.setSelectedGroupID("P2");
    ChartPrintSettings jobTitle = view.printSettings();
    jobTitle.showJobTitle = false; // still showing people
    view.setPrintSettings(jobTitle);
    view.setSelectedGroupID("P2");
    ChartPrintSettings noNames = view.printSettings();
    noNames.hideNames = true;
    view.setPrintSettings(noNames);
    EXPECT_EQ(view.selectedGroupID(), std::nullopt);
}

TEST_F(ChartViewState, FocusThatNoLongerExistsIsDropped)
{
    open(chartedDistrict());
    view.setFocusPersonID("P3");
    OrganizationArchive archive = document.archive();
    archive.organization.positions.erase(archive.organization.positions.begin() + 2);
    document.setArchive(archive);
    EXPECT_EQ(view.focusPersonID(), "");

    view.setFocusDepartment("Instruction");
    archive = document.archive();
    for (Position &position : archive.organization.positions)
        position.department = "Central Office";
    document.setArchive(archive);
    EXPECT_EQ(view.focusDepartment(), "");
}

TEST_F(ChartViewState, ZoomCommands)
{
    struct Case {
        double from;
        bool in;
        double to;
    };
    for (const Case &c : {Case{2.8, true, 3.0}, Case{3.0, true, 3.0}, Case{1.0, false, 1 / 1.2},
                          Case{0.011, false, 0.01}, Case{0.005, false, 0.005}}) {
        view.setZoom(c.from);
        c.in ? view.zoomIn() : view.zoomOut();
        EXPECT_DOUBLE_EQ(view.zoom(), c.to) << c.from;
    }
    view.setPan(Size{5, 6});
    view.resetView();
    EXPECT_EQ(view.zoom(), 1);
    EXPECT_EQ(view.pan(), Size{});
    EXPECT_TRUE(view.isFitRequested());
}

TEST_F(ChartViewState, ErrorsShowInTheOrganizationErrorAlert)
{
    view.showError("Enter a sheet name.");
    ASSERT_EQ(dialogs.alerts.size(), 1u);
    EXPECT_EQ(dialogs.alerts[0].title, "Organization Error");
    EXPECT_EQ(dialogs.alerts[0].message, "Enter a sheet name.");
}

TEST_F(ChartViewState, FitWaitsForAUsableCanvas)
{
    open(district(3));
    view.setViewportSize(Size{0, 0});
    EXPECT_TRUE(view.isFitRequested());
    view.setViewportSize(Size{40, 600}); // no wider than the padding on both sides
    EXPECT_TRUE(view.isFitRequested());
    view.setViewportSize(Size{1000, 700});
    EXPECT_FALSE(view.isFitRequested());
    const auto fit = ChartViewport::fit(view.chartScene()->layout().size, Size{1000, 700}, 20);
    EXPECT_EQ(view.zoom(), fit->scale);
    EXPECT_EQ(view.pan(), fit->offset);
    // Later resizes keep what the user sees.
    view.setViewportSize(Size{500, 300});
    EXPECT_EQ(view.zoom(), fit->scale);
    // A change of chart fits again on the next turn.
    view.setFocusPersonID("P2");
    EXPECT_TRUE(view.isFitRequested());
    settle();
    EXPECT_FALSE(view.isFitRequested());
    EXPECT_EQ(view.zoom(), ChartViewport::fit(view.chartScene()->layout().size, Size{500, 300}, 20)->scale);
}

TEST_F(ChartViewState, WithoutAChartAFitStaysPending)
{
    OrganizationArchive broken = district(2);
    broken.organization.positions[0].managerID = "P2"; // a cycle: no chart can be built
    document.setArchive(broken);
    view.setViewportSize(Size{800, 600});
    view.fitToWindow();
    EXPECT_TRUE(view.isFitRequested());
    EXPECT_EQ(view.chartScene(), nullptr);
    EXPECT_FALSE(view.sceneError().isEmpty());
    EXPECT_EQ(view.zoom(), 1);
}

TEST_F(ChartViewState, SelectionSurvivesOnlyWhileShown)
{
    open(district(3));
    settle();
    view.setSelectedID("P3");
    EXPECT_EQ(view.selectedDisplayID(), "P3");
    view.setFocusPersonID("P1");
    settle();
    EXPECT_EQ(view.selectedID(), "P3");
    view.setFocusPersonID("P2");
    settle();
    EXPECT_EQ(view.selectedID(), std::nullopt);
    view.setSelectedID("NOWHERE");
    EXPECT_EQ(view.selectedDisplayID(), std::nullopt);
}

TEST_F(ChartViewState, SelectingAPersonMakesItVisible)
{
    OrganizationArchive archive = district(3);
    archive.groups = std::vector<PositionGroup>{{"group-A", "Team", {"P2", "P3"}}};
    open(archive);
    view.setCollapsedPositionIDs({"P1", "P4"});
    view.setSelectedGroupID("group-A");
    view.selectPerson("P3");
    EXPECT_EQ(view.expandedGroups(), std::set<std::string>{"group-A"});
    EXPECT_EQ(view.collapsedPositionIDs(), std::set<std::string>{"P4"});
    EXPECT_EQ(view.selectedGroupID(), std::nullopt);
    EXPECT_EQ(view.selectedID(), "P3");

    view.toggleGroup("group-A");
    EXPECT_TRUE(view.expandedGroups().empty());
    EXPECT_EQ(view.selectedID(), std::nullopt);
}

TEST_F(ChartViewState, BranchToggleFoldsAllOrUnfoldsAll)
{
    open(district(3));
    view.toggleBranch("P1");
    EXPECT_EQ(view.collapsedPositionIDs(), view.branchMembers("P1"));
    EXPECT_TRUE(view.collapsedPositionIDs().contains("P1"));
    view.toggleBranch("P1");
    EXPECT_TRUE(view.collapsedPositionIDs().empty());
    // A card without members changes nothing but still asks for a fit.
    settle();
    view.toggleBranch("NOWHERE");
    EXPECT_TRUE(view.collapsedPositionIDs().empty());
    EXPECT_TRUE(view.isFitRequested());
}

TEST_F(ChartViewState, LinkedSheetOpensWithNothingSelectedOrFocused)
{
    open(chartedDistrict());
    view.setFocusDepartment("Instruction");
    view.setSelectedID("P2");
    view.openLinkedSheet("S-SCI");
    EXPECT_EQ(view.selectedSheetID(), "S-SCI");
    EXPECT_EQ(view.selectedID(), std::nullopt);
    EXPECT_EQ(view.focusDepartment(), "");
    view.openLinkedSheet("");
    EXPECT_EQ(view.selectedSheetID(), "");
}

TEST_F(ChartViewState, EditingGoesThroughTheGuard)
{
    open(district(2));
    std::vector<Position> requested;
    QObject::connect(&view, &ChartView::positionEditRequested,
                     [&](const Position &position) { requested.push_back(position); });
    Position shown = document.archive().organization.positions[1];
    shown.reportingCallout = ReportingCallout{}; // the card's copy carries display-only fields
    view.editPosition(shown);
    ASSERT_EQ(requested.size(), 1u);
    EXPECT_EQ(requested[0], document.archive().organization.positions[1]);

    open(lockedForPlanning(document.archive()));
    view.editPosition(shown);
    EXPECT_EQ(requested.size(), 1u);
    ASSERT_EQ(dialogs.alerts.size(), 1u);
    EXPECT_EQ(dialogs.alerts[0].message, lockMessage);
}

TEST_F(ChartViewState, WorkbookIsNamedAfterTheOrganizationAndWrittenWhole)
{
    OrganizationArchive archive = chartedDistrict();
    archive.name = "North/South District";
    open(archive);
    view.setSelectedSheetID("S-SCI");
    const OrganizationArchive before = document.archive();

    dialogs.filesToSave.push_back(std::nullopt);
    view.exportWorkbook(ChartView::WorkbookScope::shownChart);
    EXPECT_EQ(dialogs.proposedSavePaths, QStringList{"North-South District.xlsx"});

    const QString path = dir.filePath("chart.xlsx");
    dialogs.filesToSave.push_back(path);
    view.exportWorkbook(ChartView::WorkbookScope::shownChart);
    // Only the shown chart's tab follows the instructions.
    std::vector<std::string> tabs;
    for (const ImportSheet &sheet : XlsxReader::read(readBytes(path)))
        tabs.push_back(sheet.name);
    EXPECT_EQ(tabs, (std::vector<std::string>{"Instructions", "Science"}));
    EXPECT_EQ(document.archive(), before);
    EXPECT_FALSE(document.isModified());
    EXPECT_TRUE(dialogs.alerts.empty());
}

TEST_F(ChartViewState, ChartNamesPrintScopeSettingsAndFocus)
{
    OrganizationArchive archive = withCounselorVacancy();
    open(archive);
    // Sorted by name, counting only the positions that still exist.
    EXPECT_EQ(view.sheetOptions(), (std::vector<DropdownOption>{{"", "Entire organization", ""},
                                                                {"S-ART", "Arts", "1 positions"},
                                                                {"S-SCI", "Science", "1 positions"}}));
    view.setSelectedSheetID("S-SCI");
    EXPECT_EQ(view.printScope(), "Science");
    // Settings go to the chart shown, not to the district.
    ChartPrintSettings changed = view.printSettings();
    changed.showPayLevel = true;
    view.setPrintSettings(changed);
    EXPECT_EQ(document.archive().sheets->at(0).printSettings, changed);
    EXPECT_EQ(document.archive().printSettings, archive.printSettings);
    view.setFocusDepartment("Instruction");
    EXPECT_EQ(view.printScope(), "Instruction and subordinates");
    view.setFocusPersonID("V1");
    EXPECT_EQ(view.printScope(), "Counselor and subordinates");
    // A focus whose position is gone is dropped.
    archive.organization.positions.pop_back();
    document.setArchive(archive);
    EXPECT_EQ(view.focusPersonID(), "");
}

TEST_F(ChartViewState, WorkbookIsNamedAfterTheOrganizationAndAFailedWriteIsAlerted)
{
    OrganizationArchive archive = chartedDistrict();
    archive.name = "North/South District";
    open(archive);
    dialogs.filesToSave.push_back(dir.filePath("missing folder/all.xlsx"));
    view.exportWorkbook(ChartView::WorkbookScope::allCharts);
    EXPECT_EQ(dialogs.proposedSavePaths, QStringList{"North-South District.xlsx"});
    ASSERT_EQ(dialogs.alerts.size(), 1u);
    EXPECT_EQ(dialogs.alerts[0].title, "Organization Error");
    EXPECT_TRUE(dialogs.alerts[0].message.startsWith("The file “all.xlsx” could not be saved"));
    EXPECT_FALSE(QFile::exists(dir.filePath("missing folder/all.xlsx")));
    EXPECT_FALSE(document.isModified());
}

} // namespace

TEST_F(ChartViewState, ALockedDocumentRefusesEveryEdit)
{
    OrganizationArchive archive = chartedDistrict();
    archive.lockForPlanning();
    open(archive);
    view.setSelectedSheetID("S-SCI");
    const OrganizationArchive before = document.archive();
    EXPECT_FALSE(view.canEditCurrent());

    // Typed texts are dropped silently; the editor is refused aloud.
    view.setPageTitle("Typed while locked");
    view.setFocusedDepartmentView(true);
    view.editPosition(document.archive().organization.positions[1]);
    EXPECT_EQ(document.archive(), before);
    ASSERT_EQ(dialogs.alerts.size(), 1u);
    EXPECT_EQ(dialogs.alerts[0].message,
              "Current organization is locked. Open Planning & Proposals to edit a named proposal instead.");
}
