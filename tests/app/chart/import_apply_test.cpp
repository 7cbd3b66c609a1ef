#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/chart/import_apply.h"
#include "app/chart/window_sheets.h"
#include "app/import/spreadsheet_import_window.h"
#include "app/shell/organization_document.h"

#include "app_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>

using namespace AppTest;

namespace {

const std::string closedMessage =
    "The original chart was closed. Save a correction draft and reopen it from the chart you want to import into.";
const std::string staleMessage =
    "The chart changed while the import window was open. Save a correction draft, close this window, and reopen "
    "the draft to validate against the updated chart.";

// P1 manages P2 to P4. "Science" lists P1 and P2, "Arts" lists P3, "Music" nothing; P4 is
// on no chart. Two groups.
OrganizationArchive chartedDistrict()
{
    OrganizationArchive archive = district(3);
    archive.sheets = std::vector<OrganizationSheet>{
        {"S-SCI", "Science", {"P1", "P2"}}, {"S-ART", "Arts", {"P3"}}, {"S-MUS", "Music", {}}};
    archive.groups = std::vector<PositionGroup>{{"G1", "Pair", {"P2", "P3"}}, {"G2", "Other", {"P3", "P4"}}};
    return archive;
}

std::string refusal(const std::function<void()> &run)
{
    try {
        run();
    } catch (const OrganizationError &error) {
        return error.message();
    }
    return "(accepted)";
}

TEST(ApplyImport, ChartsFollowTheMode)
{
    const OrganizationArchive before = chartedDistrict();
    const Organization &snapshot = before.organization;
    // The import keeps P1 and P2, changes P4's pay level, and brings P6 and P5 (in that order).
    Organization imported = snapshot;
    imported.positions[3].title = "Principal";
    imported.positions.push_back(person("P6", "Sixth", "P1"));
    imported.positions.push_back(person("P5", "Fifth", "P1"));

    struct Case {
        const char *name;
        ImportMode mode;
        std::string sheetID;
        std::optional<std::vector<std::string>> science; // absent: no charts at all
        std::string note;
    };
    const std::vector<Case> cases = {
        // New, changed and unlisted, in import order; P3 stays on Arts only.
        {"add on a chart", ImportMode::add, "S-SCI", std::vector<std::string>{"P1", "P2", "P4", "P6", "P5"},
         "Before adding imported people"},
        {"update on a chart", ImportMode::update, "S-SCI", std::vector<std::string>{"P1", "P2", "P4", "P6", "P5"},
         "Before updating imported people"},
        {"add on the entire organization", ImportMode::add, "", std::vector<std::string>{"P1", "P2"},
         "Before adding imported people"},
        {"add on a chart that is gone", ImportMode::add, "S-GONE", std::vector<std::string>{"P1", "P2"},
         "Before adding imported people"},
        {"replace", ImportMode::replace, "S-SCI", std::nullopt, "Before Excel / CSV replacement"},
    };
    for (const Case &c : cases) {
        const OrganizationArchive after = applyImport(before, snapshot, imported, c.mode, c.sheetID);
        EXPECT_EQ(after.organization, imported) << c.name;
        EXPECT_EQ(revisionNotes(after), std::vector<std::string>{c.note}) << c.name;
        if (!c.science) {
            EXPECT_FALSE(after.sheets) << c.name;
            EXPECT_FALSE(after.groups) << c.name;
            continue;
        }
        ASSERT_TRUE(after.sheets) << c.name;
        EXPECT_EQ(after.sheets->at(0).positionIDs, *c.science) << c.name;
        EXPECT_EQ(after.sheets->at(1).positionIDs, std::vector<std::string>{"P3"}) << c.name;
        EXPECT_EQ(after.groups, before.groups) << c.name;
    }
}

// A position the import only wrote in another form (an explicit "not an assistant", dotted
// managers sorted) is no change and stays off the chart; a real change still goes on it.
TEST(ApplyImport, OnlyRealChangesGoOnTheChart)
{
    OrganizationArchive before = chartedDistrict();
    before.organization.positions[3].dottedManagerIDs = {"P3", "P2"};
    const Organization &snapshot = before.organization;
    Organization imported = snapshot;
    imported.positions[3].isAssistant = false;
    imported.positions[3].dottedManagerIDs = {"P2", "P3"};
    for (ImportMode mode : {ImportMode::add, ImportMode::update}) {
        const OrganizationArchive after = applyImport(before, snapshot, imported, mode, "S-MUS");
        EXPECT_EQ(after.sheets->at(2).positionIDs, std::vector<std::string>{}) << importModeLabel(mode);
    }
    imported.positions[3].isAssistant = true;
    EXPECT_EQ(applyImport(before, snapshot, imported, ImportMode::update, "S-MUS").sheets->at(2).positionIDs,
              std::vector<std::string>{"P4"});
}

TEST(ApplyImport, RefusalsLeaveTheArchiveAsItWas)
{
    const OrganizationArchive before = chartedDistrict();
    Organization imported = before.organization;
    imported.positions.push_back(person("P9", "Ninth", "P1"));

    // Staleness compares the stored organization: any field of any position counts.
    Organization snapshot = before.organization;
    snapshot.positions[2].fte = 0.5;
    EXPECT_EQ(refusal([&] { applyImport(before, snapshot, imported, ImportMode::add, "S-SCI"); }), staleMessage);

    OrganizationArchive locked = before;
    locked.lockForPlanning();
    EXPECT_EQ(refusal([&] { applyImport(locked, locked.organization, imported, ImportMode::replace, ""); }),
              "Current organization is locked. Open Planning & Proposals to edit a named proposal instead.");

    // An organization that fails validation: its message, and no version saved.
    Organization invalid = imported;
    invalid.positions.back().managerID = "NOBODY";
    OrganizationArchive target = before;
    const std::string message =
        refusal([&] { target = applyImport(before, before.organization, invalid, ImportMode::update, "S-SCI"); });
    EXPECT_NE(message, "(accepted)");
    EXPECT_EQ(target, before);
}

class ImportIntoWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = new ChartWindow(new OrganizationDocument, dialogs);
        window->document()->setArchive(chartedDistrict());
    }
    void TearDown() override
    {
        EXPECT_TRUE(dialogs.exhausted());
        if (SpreadsheetImportWindow *imports = SpreadsheetImportWindow::windowFor(window))
            delete imports;
        delete window;
        deleteClosedWindows();
    }
    ChartView &view() const { return window->view(); }
    const OrganizationArchive &archive() const { return window->document()->archive(); }

    ScriptedDialogs dialogs;
    QPointer<ChartWindow> window;
};

TEST_F(ImportIntoWindow, AppliesAsOneStepAndStartsTheViewAfresh)
{
    // The chart shown has paper settings of its own, which go with it.
    window->document()->edit([](OrganizationArchive &a) {
        ChartPrintSettings own = ChartPrintSettings::departmentDesign();
        own.showPayLevel = !own.showPayLevel;
        a.sheets->at(0).printSettings = own;
    });
    view().setSelectedSheetID("S-SCI");
    view().setExpandedGroups({"G1"});
    view().setSelectedID("P2");
    view().setFocusPersonID("P1");
    view().setCollapsedPositionIDs({"P1"});
    const OrganizationArchive before = archive();
    const ImportFlow::ApplyAction apply = importApplyAction(*window, before.organization);
    const size_t steps = window->document()->history().undoCount();

    Organization imported = before.organization;
    imported.positions.push_back(person("P5", "Fifth", "P1"));
    apply(imported, ImportMode::replace);

    EXPECT_EQ(archive().organization, imported);
    EXPECT_FALSE(archive().sheets);
    EXPECT_EQ(view().selectedSheetID(), "");
    EXPECT_TRUE(view().expandedGroups().empty());
    EXPECT_TRUE(view().collapsedPositionIDs().empty());
    EXPECT_EQ(view().focusPersonID(), "");
    EXPECT_EQ(view().selectedID(), std::nullopt);
    EXPECT_EQ(window->document()->history().undoCount(), steps + 1);
    EXPECT_EQ(view().printSettings(), ChartPrintSettings::departmentDesign());
    window->document()->undo();
    EXPECT_EQ(archive(), before);

    // The snapshot is fixed: after the undo the document equals it again, but any other
    // change since makes every later apply refuse.
    window->document()->edit([](OrganizationArchive &a) { a.organization.positions[1].department = "Science"; });
    EXPECT_EQ(refusal([&] { apply(imported, ImportMode::add); }), staleMessage);
}

TEST_F(ImportIntoWindow, RefusesOnceTheChartWindowIsClosed)
{
    const ImportFlow::ApplyAction apply = importApplyAction(*window, archive().organization);
    Organization imported = archive().organization;
    imported.positions.push_back(person("P5", "Fifth", "P1"));

    // Closed, and not yet deleted.
    window->closeWithoutAsking();
    EXPECT_EQ(refusal([&] { apply(imported, ImportMode::add); }), closedMessage);
    deleteClosedWindows();
    ASSERT_TRUE(window.isNull());
    EXPECT_EQ(refusal([&] { apply(imported, ImportMode::add); }), closedMessage);
}

// Through the import window, as users apply: a replacement of the district by three rows.
void applyStaffSheet(ImportFlow &flow)
{
    flow.loadSheets({ImportSheet{.name = "Staff",
                                 .rows = {{"Employee Number", "Employee Name", "Pay Level", "Supervisor ID"},
                                          {"E10", "Ada", "Superintendent", ""},
                                          {"E11", "Grace", "Principal", "E10"},
                                          {"E12", "Alan", "Teacher", "E11"}},
                                 .sourceIssues = std::vector<ImportCellIssue>()}});
    flow.showStep(ImportFlow::Step::corrections);
    flow.setMode(ImportMode::replace);
    ASSERT_TRUE(flow.canPressPrimary());
    flow.pressPrimary();
}

TEST_F(ImportIntoWindow, OneImportWindowPerChartWindowKeepsItsFirstSnapshot)
{
    QPointer<SpreadsheetImportWindow> first = WindowSheets::openSpreadsheetImport(*window);
    const OrganizationArchive before = archive();
    window->document()->edit([](OrganizationArchive &a) { a.organization.positions[1].department = "Science"; });
    const OrganizationArchive edited = archive();
    // Asking again only brings the first forward; applying still refuses, and it stays open.
    EXPECT_EQ(WindowSheets::openSpreadsheetImport(*window), first);
    applyStaffSheet(first->flow());
    EXPECT_EQ(first->flow().errorMessage(), QString::fromStdString(staleMessage));
    EXPECT_EQ(archive(), edited);

    first->close();
    deleteClosedWindows();
    ASSERT_TRUE(first.isNull());
    QPointer<SpreadsheetImportWindow> fresh = WindowSheets::openSpreadsheetImport(*window);
    applyStaffSheet(fresh->flow());
    QApplication::processEvents();
    deleteClosedWindows();
    EXPECT_TRUE(fresh.isNull());
    EXPECT_EQ(archive().organization.positions.size(), 3u);
    EXPECT_EQ(revisionNotes(archive()), std::vector<std::string>{"Before Excel / CSV replacement"});
}

} // namespace
