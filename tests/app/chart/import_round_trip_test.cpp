#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/chart/window_sheets.h"
#include "app/import/correction_grid.h"
#include "app/import/spreadsheet_import_window.h"
#include "app/shell/organization_document.h"
#include "spreadsheet/organization_workbook.h"

#include "app_test_support.h"
#include "import/import_flow_fixture.h"
#include "position_ids.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QLabel>
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

// Thirty positions with every field a partial file can leave out: departments, managers,
// dotted lines, school splits, FTEs, an assistant, sibling orders, custom job titles and
// vacancies; employee numbers of five digits. The "Schools" chart lists the leaders.
OrganizationArchive thirtyPositionDistrict()
{
    Organization organization;
    for (int i = 1; i <= 30; ++i) {
        const std::string number = std::string(i < 10 ? "0000" : "000") + std::to_string(i);
        Position p{.id = "P" + std::to_string(i), .title = i == 1 ? "Superintendent" : i <= 5 ? "Principal" : "Teacher",
                   .department = i == 1 ? "Office" : i <= 5 ? "Schools" : "Instruction",
                   .employee = Employee{number, "Person " + number}, .location = "School " + std::to_string(i % 5)};
        if (i > 1)
            p.managerID = i <= 5 ? "P1" : "P" + std::to_string(2 + i % 4);
        if (i > 5 && i % 5 == 0) {
            p.location = "Itinerant";
            p.fte = 0.5;
            p.schoolAssignments = {{"North", 0.25}, {"South", 0.25}};
        }
        if (i > 5 && i % 7 == 0)
            p.dottedManagerIDs = {"P1"};
        if (i > 5 && i % 6 == 0)
            p.employee.reset();
        if (i % 4 == 0)
            p.setJobTitle("Lead " + p.title);
        if (i % 3 == 0)
            p.siblingOrder = i;
        p.isAssistant = i == 6;
        organization.positions.push_back(std::move(p));
    }
    OrganizationArchive archive{.name = "Thirty", .organization = std::move(organization)};
    archive.sheets = std::vector<OrganizationSheet>{{.id = "S-SCHOOLS", .name = "Schools", .positionIDs = {"P1", "P2", "P3", "P4", "P5"}}};
    return archive;
}

// The file a user makes with only the columns to change: every position, as stored.
std::string partialFile(const Organization &organization)
{
    std::string csv = "Position ID,Employee Number,Employee Name,Pay Level,Job Title\n";
    for (const Position &p : organization.positions) {
        csv += p.id + "," + (p.employee ? p.employee->id + "," + p.employee->name : std::string(",")) + "," + p.title +
               "," + p.jobTitle() + "\n";
    }
    return csv;
}

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
        QPointer<SpreadsheetImportWindow> imports = reviewing(path, tab, mode);
        ImportFlow &flow = imports->flow();
        const bool applies = flow.canPressPrimary();
        if (applies)
            flow.pressPrimary();
        if (imports)
            imports->close();
        deleteClosedWindows();
        return applies;
    }

    // The import window opened from the chart window, showing the review of one tab of
    // `path` in `mode`.
    QPointer<SpreadsheetImportWindow> reviewing(const QString &path, const std::string &tab, ImportMode mode)
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
        return imports;
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

// A file of five columns, in update mode, changes what it carries and nothing else: the
// department, managers, dotted lines, school splits, FTE, assistant and sibling order of
// each position stay, and only the two edited positions go on the chart shown.
TEST_F(ImportRoundTrip, APartialFileChangesOnlyWhatItCarries)
{
    window->document()->setArchive(thirtyPositionDistrict());
    window->view().setSelectedSheetID("S-SCHOOLS");
    const Organization before = archive().organization;
    Organization edited = before;
    edited.positions[7].employee->name = "Renamed Person"; // P8
    edited.positions[11].title = "Senior Teacher";          // P12
    const QString path = dir.filePath("partial.csv");
    writeBytes(path, QByteArray::fromStdString(partialFile(edited)));

    QPointer<SpreadsheetImportWindow> imports = reviewing(path, "CSV", ImportMode::update);
    ImportFlow &flow = imports->flow();
    EXPECT_EQ(flow.countsText().toStdString(), "30 rows · 0 errors · 0 warnings");
    ASSERT_TRUE(flow.canPressPrimary()) << testing::PrintToString(flow.review()->errors);
    flow.pressPrimary();
    deleteClosedWindows();

    const Organization &now = archive().organization;
    ASSERT_EQ(now.positions.size(), before.positions.size());
    for (const Position &stored : before.positions) {
        Position expected = stored;
        if (stored.id == "P8")
            expected.employee->name = "Renamed Person";
        if (stored.id == "P12")
            expected.title = "Senior Teacher";
        EXPECT_EQ(positionIn(now, stored.id), expected) << stored.id;
    }
    EXPECT_EQ(chart(), (std::vector<std::string>{"P1", "P2", "P3", "P4", "P5", "P8", "P12"}));
}

// The same file after a spreadsheet program read the employee numbers as numbers: each
// such row is named and the summary counts them before anything is applied.
TEST_F(ImportRoundTrip, EmployeeNumbersWithoutTheirLeadingZerosAreCountedBeforeApplying)
{
    window->document()->setArchive(thirtyPositionDistrict());
    Organization stripped = archive().organization;
    for (int i : {0, 1, 12}) // P1, P2, P13
        stripped.positions[i].employee->id = std::to_string(i + 1);
    const QString path = dir.filePath("stripped.csv");
    writeBytes(path, QByteArray::fromStdString(partialFile(stripped)));

    QPointer<SpreadsheetImportWindow> imports = reviewing(path, "CSV", ImportMode::update);
    ImportFlow &flow = imports->flow();
    EXPECT_EQ(flow.countsText().toStdString(),
              "30 rows · 0 errors · 3 warnings · 3 employee numbers differ only by leading zeros");
    EXPECT_EQ(flow.rowMessages(13, ImportMessageKind::warning),
              std::vector<std::string>{"Row 14: employee number 13 lost the leading zeros of 00013 (a spreadsheet "
                                       "program may have read it as a number); applying changes 00013 to 13."});
    flow.setCell(13, 1, "00013");
    flow.setCell(2, 1, "00002");
    EXPECT_EQ(flow.countsText().toStdString(), "30 rows · 0 errors · 1 warnings · 1 employee number differs only by "
                                               "leading zeros");
    imports->close();
    deleteClosedWindows();
}

namespace {

// The thirty positions with Position IDs of five digits, as a district keeps them.
OrganizationArchive paddedDistrict()
{
    const auto padded = [](const std::string &id) { return std::string(6 - id.size(), '0') + id.substr(1); };
    OrganizationArchive district = thirtyPositionDistrict();
    for (Position &p : district.organization.positions) {
        p.id = padded(p.id);
        if (p.managerID)
            p.managerID = padded(*p.managerID);
        for (std::string &dotted : p.dottedManagerIDs)
            dotted = padded(dotted);
    }
    district.sheets.reset();
    return district;
}

// The district as a spreadsheet program gives it back, ids and employee numbers read as numbers.
Organization withoutLeadingZeros(Organization organization)
{
    for (Position &p : organization.positions) {
        p.id = std::to_string(std::stoi(p.id));
        if (p.employee)
            p.employee->id = std::to_string(std::stoi(p.employee->id));
    }
    return organization;
}

} // namespace

// The same district with Position IDs of five digits, its file re-saved by a spreadsheet
// program that read ids and employee numbers as numbers: no row updates its position, and
// the review says so and names each row before anything is applied. Adding, the same rows
// would add every position and person a second time, out of sight of the duplicate checks.
TEST_F(ImportRoundTrip, PositionIDsWithoutTheirLeadingZerosAreSaidBeforeApplying)
{
    const OrganizationArchive district = paddedDistrict();
    window->document()->setArchive(district);
    const QString path = dir.filePath("stripped.csv");
    writeBytes(path, QByteArray::fromStdString(partialFile(withoutLeadingZeros(district.organization))));

    QPointer<SpreadsheetImportWindow> imports = reviewing(path, "CSV", ImportMode::add);
    ImportFlow &flow = imports->flow();
    // 30 ids, 25 people (5 vacancies) and 30 blank locations.
    EXPECT_EQ(flow.countsText().toStdString(), "30 rows · 0 errors · 85 warnings · 30 position IDs differ only by "
                                               "leading zeros · 25 employee numbers differ only by leading zeros");
    EXPECT_EQ(flow.rowMessages(13, ImportMessageKind::warning),
              (std::vector<std::string>{"Row 14: position ID 13 lost the leading zeros of 00013 (a spreadsheet program "
                                        "may have read it as a number); applying keeps 00013 and adds 13 as another "
                                        "position.",
                                        "Row 14: employee number 13 lost the leading zeros of 00013 (a spreadsheet "
                                        "program may have read it as a number); applying keeps 00013 and adds 13 as "
                                        "another person.",
                                        "Row 14: location is blank; District Office will be used."}));
    EXPECT_TRUE(flow.canPressPrimary()); // warnings never block

    flow.setMode(ImportMode::update);
    // One more for the whole file.
    EXPECT_EQ(flow.countsText().toStdString(), "30 rows · 0 errors · 86 warnings · 30 position IDs differ only by "
                                               "leading zeros · 25 employee numbers differ only by leading zeros");
    EXPECT_EQ(flow.review()->warnings.front(),
              "No row matches a stored Position ID: applying adds every row as a new position.");
    flow.setCell(13, 0, "00013");
    flow.setCell(13, 1, "00013");
    EXPECT_EQ(flow.countsText().toStdString(), "30 rows · 0 errors · 82 warnings · 29 position IDs differ only by "
                                               "leading zeros · 24 employee numbers differ only by leading zeros");
    imports->close();
    deleteClosedWindows();
}

// Replacing the district with its file re-saved by a spreadsheet program renumbers every
// position and person: the review names and counts each before anything is applied, on a
// line that wraps inside the window; Apply does what it said and Undo brings the numbers back.
TEST_F(ImportRoundTrip, ReplacingWithoutTheLeadingZerosIsSaidBeforeApplying)
{
    const OrganizationArchive district = paddedDistrict();
    window->document()->setArchive(district);
    const QString path = dir.filePath("stripped.csv");
    const Organization stripped = withoutLeadingZeros(district.organization);
    writeBytes(path, QByteArray::fromStdString(partialFile(stripped)));

    QPointer<SpreadsheetImportWindow> imports = reviewing(path, "CSV", ImportMode::replace);
    ImportFlow &flow = imports->flow();
    // 30 ids, 25 people (5 vacancies) and 30 blank locations.
    EXPECT_EQ(flow.countsText().toStdString(), "30 rows · 0 errors · 85 warnings · 30 position IDs differ only by "
                                               "leading zeros · 25 employee numbers differ only by leading zeros");
    EXPECT_EQ(flow.rowMessages(13, ImportMessageKind::warning).front(),
              "Row 14: position ID 13 lost the leading zeros of 00013 (a spreadsheet program may have read it as a "
              "number); applying replaces 00013 with 13.");

    // Twice the type, as where the line holds 20,000-row counts in a larger font.
    QFont larger = imports->font();
    larger.setPointSizeF(larger.pointSizeF() * 2);
    imports->setFont(larger);
    imports->resize(SpreadsheetImportWindow::defaultWidth, SpreadsheetImportWindow::defaultHeight);
    QCoreApplication::processEvents();
    const QLabel *counts = imports->correctionGrid()->countsLabel();
    EXPECT_EQ(counts->text(), flow.countsText());
    EXPECT_LE(counts->mapTo(imports.data(), QPoint(counts->width(), 0)).x(), imports->width());
    EXPECT_GE(counts->height(), counts->heightForWidth(counts->width()));

    ASSERT_TRUE(flow.canPressPrimary()); // warnings never block
    flow.pressPrimary();
    deleteClosedWindows();
    EXPECT_EQ(archive().organization.positions.size(), stripped.positions.size());
    for (const Position &p : stripped.positions)
        EXPECT_EQ(positionIn(archive().organization, p.id).employee, p.employee) << p.id;
    window->document()->undo();
    EXPECT_EQ(archive().organization, district.organization);
}
