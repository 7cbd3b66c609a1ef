#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/chart/window_sheets.h"
#include "app/import/spreadsheet_import_window.h"
#include "app/shell/organization_document.h"
#include "spreadsheet/organization_workbook.h"

#include "app_test_support.h"
#include "import/import_flow_fixture.h"
#include "position_ids.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QPointer>
#include <QTemporaryDir>

using namespace AppTest;

namespace {

// A district that comes from elsewhere: a bare organization, no assistant flags but one,
// dotted managers in the order someone typed them, a third of an FTE.
const char *const bareDistrict = R"({"positions": [
  {"id": "P1", "title": "Superintendent", "department": "Office", "employee": {"id": "100", "name": "Ada Lovelace"},
   "location": "District Office", "fte": 1, "dottedManagerIDs": [], "schoolAssignments": []},
  {"id": "P2", "title": "Director", "jobTitle": "Director of Technology", "department": "Technology",
   "employee": {"id": "101", "name": "Grace Hopper"}, "managerID": "P1", "location": "District Office", "fte": 1,
   "dottedManagerIDs": [], "schoolAssignments": []},
  {"id": "P3", "title": "Engineer", "department": "Technology", "employee": {"id": "102", "name": "Alan Turing"},
   "managerID": "P2", "location": "District Office", "fte": 1, "dottedManagerIDs": ["P4", "P1"], "schoolAssignments": []},
  {"id": "P4", "title": "Coordinator", "department": "Instruction", "employee": {"id": "103", "name": "Edsger Dijkstra"},
   "managerID": "P1", "location": "District Office", "fte": 1, "dottedManagerIDs": [], "schoolAssignments": []},
  {"id": "P5", "title": "Teacher", "department": "Instruction", "managerID": "P4", "location": "Itinerant", "fte": 0.5,
   "dottedManagerIDs": [], "schoolAssignments": [{"school": "North", "fte": 0.25}, {"school": "South", "fte": 0.25}]},
  {"id": "P6", "title": "Secretary", "department": "Office", "employee": {"id": "105", "name": "Barbara Liskov"},
   "managerID": "P1", "location": "District Office", "fte": 1, "isAssistant": true, "dottedManagerIDs": [],
   "schoolAssignments": []},
  {"id": "P7", "title": "Teacher", "department": "Instruction", "employee": {"id": "106", "name": "Donald Knuth"},
   "managerID": "P4", "location": "North", "fte": 0.3333333333333333, "siblingOrder": 2,
   "dottedManagerIDs": ["P3", "P2"], "schoolAssignments": []},
  {"id": "P8", "title": "Teacher", "department": "Instruction", "employee": {"id": "107", "name": "Frances Allen"},
   "managerID": "P4", "location": "South", "fte": 1, "dottedManagerIDs": [], "schoolAssignments": []}
]})";

// The "Technology" chart lists P2 and P3 and is the one shown; the rest are on no chart.
OrganizationArchive chartedDistrict()
{
    OrganizationArchive archive = OrganizationArchive::decode(bareDistrict);
    archive.name = "Springfield District";
    archive.sheets = std::vector<OrganizationSheet>{{.id = "S-TECH", .name = "Technology", .positionIDs = {"P2", "P3"}}};
    return archive;
}

class ImportRoundTrip : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = new ChartWindow(new OrganizationDocument, dialogs);
        window->document()->setArchive(chartedDistrict());
        window->view().setSelectedSheetID("S-TECH");
    }
    void TearDown() override
    {
        EXPECT_TRUE(dialogs.exhausted());
        if (SpreadsheetImportWindow *imports = SpreadsheetImportWindow::windowFor(window))
            imports->close();
        deleteClosedWindows();
        delete window;
        deleteClosedWindows();
    }

    const OrganizationArchive &archive() const { return window->document()->archive(); }

    QString exported(const OrganizationArchive &from, const QString &name)
    {
        const QString path = dir.filePath(name);
        writeBytes(path, OrganizationWorkbook::write(from));
        return path;
    }

    // Opens the import window from the chart window, as the menu does, and reviews one tab
    // of `path` in `mode`. Applies when the review allows it; says whether it did.
    bool import(const QString &path, const std::string &tab, ImportMode mode)
    {
        QPointer<SpreadsheetImportWindow> imports = WindowSheets::openSpreadsheetImport(*window);
        ImportFlow &flow = imports->flow();
        flow.load(path);
        ImportTest::settle(flow);
        flow.setSheetName(tab);
        flow.setMode(mode);
        flow.showStep(ImportFlow::Step::corrections);
        ImportTest::settle(flow);
        EXPECT_EQ(flow.errorMessage(), std::nullopt);
        const bool applies = flow.canPressPrimary();
        if (applies)
            flow.pressPrimary();
        if (imports)
            imports->close();
        deleteClosedWindows();
        return applies;
    }

    std::vector<std::string> chart() const { return archive().sheets->at(0).positionIDs; }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    ChartWindow *window = nullptr;
};

} // namespace

// Exported and read back unchanged, the workbook changes no position and puts none on the
// chart shown, whichever tab comes back; "Add" refuses the ids that are there already.
TEST_F(ImportRoundTrip, AnUnchangedWorkbookChangesNothing)
{
    const OrganizationArchive before = archive();
    const QString path = exported(before, "district.xlsx");
    for (const std::string tab : {"Technology", "Unassigned"}) {
        EXPECT_TRUE(import(path, tab, ImportMode::update)) << tab;
        EXPECT_EQ(archive().organization, before.organization) << tab;
        EXPECT_EQ(chart(), (std::vector<std::string>{"P2", "P3"})) << tab;

        EXPECT_FALSE(import(path, tab, ImportMode::add)) << tab;
        EXPECT_EQ(archive().organization, before.organization) << tab;
        EXPECT_EQ(chart(), (std::vector<std::string>{"P2", "P3"})) << tab;
    }
    // Each update left its recovery version, and nothing else.
    EXPECT_EQ(revisionNotes(archive()),
              std::vector<std::string>(2, "Before updating imported people"));
}

// With real edits, exactly the edited and the new rows count: they are replaced or added and
// go on the chart shown; every other position stays as stored.
TEST_F(ImportRoundTrip, OnlyEditedAndNewRowsCount)
{
    const OrganizationArchive before = archive();
    OrganizationArchive edited = before;
    Organization &positions = edited.organization;
    positions.positions[6].department = "Mathematics"; // P7
    positions.positions[7].employee->name = "Frances E. Allen"; // P8
    Position added = positions.positions[7];
    added.id = "P9";
    added.employee = Employee{.id = "108", .name = "Margaret Hamilton"};
    positions.positions.push_back(added);

    ASSERT_TRUE(import(exported(edited, "edited.xlsx"), "Unassigned", ImportMode::update));
    EXPECT_EQ(chart(), (std::vector<std::string>{"P2", "P3", "P7", "P8", "P9"}));
    const Organization &now = archive().organization;
    EXPECT_EQ(idsOf(now), (std::vector<std::string>{"P1", "P2", "P3", "P4", "P5", "P6", "P7", "P8", "P9"}));
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(now.positions[i], before.organization.positions[i]) << now.positions[i].id;
    EXPECT_EQ(positionIn(now, "P7").department, "Mathematics");
    EXPECT_EQ(positionIn(now, "P8").employee->name, "Frances E. Allen");

    // Adding: only the new person, who gets an id of her own.
    const QString path = dir.filePath("new.csv");
    writeBytes(path, "Employee Number,Employee Name,Pay Level,Department,Primary Manager ID,Location\n"
                     "109,Katherine Johnson,Teacher,Instruction,P4,North\n");
    ASSERT_TRUE(import(path, "CSV", ImportMode::add));
    EXPECT_EQ(chart(), (std::vector<std::string>{"P2", "P3", "P7", "P8", "P9", "P-109"}));
}
