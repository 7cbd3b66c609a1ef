#include "core/import/column_mapping.h"
#include "core/support/delimited_text.h"
#include "core/import/import_review.h"
#include "core/support/import_sheet.h"
#include "position_ids.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

using Messages = std::vector<std::string>;

struct Import {
    ImportSheet sheet;
    int headerRow = 0;
    ImportMapping mapping;
    ManagerReferences references = ManagerReferences::positionIDs;
    ImportMode mode = ImportMode::replace;
    Organization existing;

    explicit Import(std::string_view csv, int header = 0) : sheet(TabularImport::csv(csv, U',')), headerRow(header)
    {
        mapping = TabularImport::suggestedMapping(TabularImport::headerCells(sheet, headerRow));
    }

    ImportReview run() const
    {
        return TabularImport::review(sheet, headerRow, mapping, references, mode, existing);
    }
};

Position filled(std::string id, std::string number, std::optional<std::string> manager = std::nullopt)
{
    return Position{.id = std::move(id), .title = "T", .employee = Employee{number, "Person " + number},
                    .managerID = std::move(manager), .location = "North", .isAssistant = false};
}

} // namespace

TEST(ImportReview, HeaderRowOutsideTheSheetIsTheOnlyError)
{
    Import import("Position ID,Pay Level\nP-1,T");
    import.sheet.sourceIssues = {{{.row = 1, .column = 0, .value = "P-1", .message = "odd"}}};
    for (int header : {2, -1}) {
        import.headerRow = header;
        const ImportReview review = import.run();
        EXPECT_THAT(review.errors, ElementsAre("Choose a valid header row."));
        EXPECT_THAT(review.warnings, IsEmpty());
        EXPECT_FALSE(review.organization);
    }
}

TEST(ImportReview, ReaderIssuesCountWhileTheirCellIsUnchanged)
{
    Import import("Title above\nPosition ID,Pay Level\nP-1,T\nP-2,T", 1);
    import.sheet.sourceIssues = {{
        {.row = 0, .column = 0, .value = "Title above", .message = "above the header"},
        {.row = 1, .column = 1, .value = "Pay Level", .message = "header cell"},
        {.row = 2, .column = 1, .value = "#NO_SAVED_RESULT", .message = "edited since"},
        {.row = 3, .column = 0, .value = "P-2", .message = "still there"},
        {.row = 3, .column = 5, .value = "", .message = "outside the row"},
        {.row = 9, .column = 0, .value = "", .message = "outside the sheet"},
    }};
    EXPECT_THAT(import.run().errors, ElementsAre("Row 2: column 2: header cell", "Row 4: column 1: still there"));
}

TEST(ImportReview, MappingChecks)
{
    Import noPayLevel("Position ID,Name\nP-1,");
    EXPECT_THAT(noPayLevel.run().errors, ElementsAre("Map Pay Level (or a legacy Position / Title column).",
                                                     "Row 2: Pay Level is required.", "Row 2: Job Title is required."));

    Import noKey("Pay Level,Location\nT,North");
    EXPECT_THAT(noKey.run().errors, ElementsAre("Map either Employee Number or Position ID."));
    noKey.mode = ImportMode::add;
    EXPECT_THAT(noKey.run().errors, IsEmpty());
}

TEST(ImportReview, ReplaceGeneratesNoEmployeeNumbers)
{
    Import import("Position ID,Employee Name,Pay Level,Location\nP-1,Ana,T,N\nP-2,Ben,T,N");
    EXPECT_THAT(import.run().errors, ElementsAre("Row 2: filled positions need employee number and name.",
                                                 "Row 3: filled positions need employee number and name."));
}

TEST(ImportReview, AddGeneratesEmployeeNumbersAndIDs)
{
    Import import("Employee Number,Employee Name,Pay Level,Location\n0100,Cy,T,N\n,Ana,T,N\n,Ben,T,N");
    import.mode = ImportMode::add;
    import.existing.positions = {filled("P-0101", "0099")};
    const ImportReview review = import.run();
    EXPECT_THAT(review.errors, IsEmpty());
    EXPECT_THAT(review.warnings, ElementsAre("Row 3: generated employee number 0101.", "Row 4: generated employee number 0102."));
    ASSERT_TRUE(review.organization);
    EXPECT_THAT(idsOf(*review.organization), ElementsAre("P-0101", "P-0100", "P-0101-2", "P-0102"));
    EXPECT_EQ(positionIn(*review.organization, "P-0101-2").employee, (Employee{"0101", "Ana"}));
}

TEST(ImportReview, GeneratedIDsSkipEveryIDInPlay)
{
    // P-5 is supplied further down, so the generated id for number 5 moves on; a vacant
    // row without an id is named after its sheet row.
    Import import("Position ID,Employee Number,Employee Name,Pay Level,Location,Vacant\n"
                  ",5,Ana,T,N,\nP-5,6,Ben,T,N,\nP-5-2,7,Cy,T,N,\n,,,T,N,yes\n,,,T,N,\n,,,T,N,");
    const ImportReview review = import.run();
    ASSERT_TRUE(review.organization) << testing::PrintToString(review.errors);
    EXPECT_THAT(idsOf(*review.organization), ElementsAre("P-5-3", "P-5", "P-5-2", "VACANT-ROW-5", "VACANT-ROW-6", "VACANT-ROW-7"));
}

TEST(ImportReview, ModesMergeWithTheOpenOrganization)
{
    Organization open;
    open.positions = {filled("A", "1"), filled("B", "2", "A"), filled("C", "3", "A")};
    open.positions[1].setJobTitle("Lead Teacher");
    const char *csv = "Position ID,Employee Number,Employee Name,Pay Level,Primary Manager ID,Location\n"
                      "B,2,Bea,T2,A,South\nD,4,Dan,T,B,South";

    Import add(csv);
    add.mode = ImportMode::add;
    add.existing = open;
    EXPECT_THAT(add.run().errors, ElementsAre("Row 2: duplicate position ID B.", "Row 2: duplicate employee number 2."));

    Import update = add;
    update.mode = ImportMode::update;
    const ImportReview updated = update.run();
    ASSERT_TRUE(updated.organization) << testing::PrintToString(updated.errors);
    // The replaced position moves behind the untouched ones and keeps its custom job title.
    EXPECT_THAT(idsOf(*updated.organization), ElementsAre("A", "C", "B", "D"));
    const Position &b = positionIn(*updated.organization, "B");
    EXPECT_EQ(b.title, "T2");
    EXPECT_EQ(b.jobTitle(), "Lead Teacher");
    EXPECT_EQ(b.employee, (Employee{"2", "Bea"}));
    EXPECT_EQ(b.location, "South");

    Import replace = add;
    replace.mode = ImportMode::replace;
    EXPECT_THAT(replace.run().errors, ElementsAre("Row 2: manager ID A was not found. Check the reference type and mapped columns."));
}

TEST(ImportReview, UpdateWithAMappedJobTitleColumnNeedsIt)
{
    Import import("Position ID,Employee Number,Employee Name,Pay Level,Job Title,Location\nB,2,Bea,T2,,N");
    import.mode = ImportMode::update;
    import.existing.positions = {filled("B", "2")};
    import.existing.positions[0].setJobTitle("Lead Teacher");
    EXPECT_THAT(import.run().errors, ElementsAre("Row 2: Job Title is required."));
}

TEST(ImportReview, BuildsPositionsFromCells)
{
    Import import("Position ID,Employee Number,Employee Name,Pay Level,Job Title,Department,Location,FTE,"
                  "Assistant,Sibling Order,School Allocations (School=FTE; ...)\n"
                  "P-1, 7 ,  Ana Lee ,T1,Teacher,Math,,0.5,YES,+2,North=0.25; South = 0.25;\n"
                  "P-2,,,T1,T1,,,,,,\n");
    const ImportReview review = import.run();
    ASSERT_TRUE(review.organization) << testing::PrintToString(review.errors);
    EXPECT_THAT(review.warnings, ElementsAre("Row 3: location is blank; District Office will be used."));
    const Position expected{
        .id = "P-1", .title = "T1", .customJobTitle = "Teacher", .department = "Math",
        .employee = Employee{"7", "Ana Lee"}, .location = "Itinerant", .fte = 0.5,
        .schoolAssignments = {{"North", 0.25}, {"South", 0.25}}, .isAssistant = true, .siblingOrder = 2,
    };
    EXPECT_EQ(review.organization->positions[0], expected);
    const Position vacancy{.id = "P-2", .title = "T1", .location = "District Office", .fte = 1, .isAssistant = false};
    EXPECT_EQ(review.organization->positions[1], vacancy);
}

TEST(ImportReview, CellProblemsNameTheirRow)
{
    struct Case {
        const char *cells; // Vacant,Employee Number,Employee Name,FTE,Sibling Order,School Allocations,Assistant
        Messages errors;
    };
    const Case cases[] = {
        {"Filled,,,,,,", {"Row 2: filled positions need employee number and name."}},
        {"maybe,,,,,,", {"Row 2: Vacant must be Yes/No or True/False."}},
        {"yes,9,Ana,,,,", {"Row 2: vacant positions cannot contain an employee. Clear the employee fields or mark it filled."}},
        {",,,0.5,,,", {}},
        {",,,1,5,,", {}},
        {",,,\"1,5\",,,", {"Row 2: FTE must be a positive number."}},
        {",,,0,,,", {"Row 2: FTE must be a positive number."}},
        {",,,-1,,,", {"Row 2: FTE must be a positive number."}},
        {",,,inf,,,", {"Row 2: FTE must be a positive number."}},
        {",,,0x1p-1,,,", {"Row 2: FTE must be a positive number."}},
        // No position holds more than a thousand full-time people: a larger FTE is a slip.
        {",,,1e308,,,", {"Row 2: FTE must be at most 1,000."}},
        {",,,1000,,,", {}},
        {",,,,1.5,,", {"Row 2: sibling order must be a whole number."}},
        {",,,,,,perhaps", {"Row 2: Assistant must be Yes/No or True/False."}},
        {",,,,,A=0.5;B=0.5,", {}},
        {",,,,,A=0.5;B=0.5;,", {}},
        {",,,,,A=0.4;B=0.5,", {"Row 2: school assignment FTE must total the position FTE (1.0)."}},
        {",,,,,A;=0.5;B=;A=0.5; ;B=0.5,",
         {"Row 2: school allocations must use School=FTE; School=FTE.", "Row 2: school allocations must use School=FTE; School=FTE.",
          "Row 2: school allocations must use School=FTE; School=FTE.", "Row 2: school allocations must use School=FTE; School=FTE."}},
        {",,,,,A=x,", {"Row 2: school allocations must use School=FTE; School=FTE."}},
    };
    for (const Case &c : cases) {
        Import import(std::string("Position ID,Pay Level,Location,Vacant,Employee Number,Employee Name,FTE,"
                                  "Sibling Order,School Allocations,Assistant\nP-1,T,N,") + c.cells);
        EXPECT_EQ(import.run().errors, c.errors) << c.cells;
    }
}

TEST(ImportReview, ManagersResolveByEmployeeNumberOrPositionID)
{
    const char *csv = "Position ID,Employee Number,Employee Name,Pay Level,Location,Reports To,Dotted Manager IDs\n"
                      "P-1,10,Ana,T,N,20,\nP-2,20,Ben,T,N,,\nP-3,30,Cy,T,N,P-1,P-2 : P-1: P-2::";
    Import byNumber(csv);
    byNumber.references = ManagerReferences::employeeNumbers;
    EXPECT_THAT(byNumber.run().errors,
                ElementsAre("Row 4: manager ID P-1 was not found. Check the reference type and mapped columns.",
                            "Row 4: manager ID P-2 was not found. Check the reference type and mapped columns.",
                            "Row 4: manager ID P-1 was not found. Check the reference type and mapped columns.",
                            "Row 4: manager ID P-2 was not found. Check the reference type and mapped columns."));

    Import byPosition(csv);
    byPosition.sheet.rows[1][5] = "P-2";
    const ImportReview review = byPosition.run();
    ASSERT_TRUE(review.organization) << testing::PrintToString(review.errors);
    EXPECT_EQ(review.organization->positions[0].managerID, "P-2");
    EXPECT_THAT(review.organization->positions[2].dottedManagerIDs, ElementsAre("P-1", "P-2"));

    Import forward(csv);
    forward.references = ManagerReferences::employeeNumbers;
    forward.sheet.rows[3][5] = "10";
    forward.sheet.rows[3][6] = "20:99";
    EXPECT_THAT(forward.run().errors,
                ElementsAre("Row 4: manager ID 99 was not found. Check the reference type and mapped columns."));
    forward.sheet.rows[3][6] = "";
    const ImportReview resolved = forward.run();
    ASSERT_TRUE(resolved.organization);
    // Row 2 names a person on a later row.
    EXPECT_EQ(resolved.organization->positions[0].managerID, "P-2");
}

TEST(ImportReview, ReportingLoopsAndSelfReports)
{
    Import import("Position ID,Pay Level,Location,Reports To,Dotted Manager IDs\n"
                  "A,T,N,B,\nB,T,N,A,\nC,T,N,A,\nD,T,N,,D\nE,T,N,E,");
    EXPECT_THAT(import.run().errors, ElementsAre("Row 2: primary reporting relationships contain a cycle at A.",
                                                 "Row 3: primary reporting relationships contain a cycle at B.",
                                                 "Row 4: primary reporting relationships contain a cycle at A.",
                                                 "Row 5: a position cannot report to itself.",
                                                 "Row 6: a position cannot report to itself.",
                                                 "Row 6: primary reporting relationships contain a cycle at E."));
}

TEST(ImportReview, LaterHolderOfAnIDMeetsItselfOnItsChain)
{
    Import import("Position ID,Pay Level,Location,Reports To\nX,T,N,\nM,T,N,X\nX,T,N,M");
    EXPECT_THAT(import.run().errors, ElementsAre("Row 4: duplicate position ID X.",
                                                 "Row 4: primary reporting relationships contain a cycle at X."));
}

TEST(ImportReview, ModelRulesTheRowsCannotSeeComeLast)
{
    Import import("Position ID,Employee Number,Employee Name,Pay Level,Location\nN,9,Ann,T,N");
    import.mode = ImportMode::add;
    import.existing.positions = {filled("A", "1", "B"), filled("B", "2", "A")};
    EXPECT_THAT(import.run().errors, ElementsAre("Primary reporting relationships contain a cycle at A."));
}

TEST(ImportReview, MessagesFollowTheStepsRowByRow)
{
    Import import("Position ID,Employee Number,Employee Name,Pay Level,Location,Reports To,Vacant\n"
                  "P-1,1,Ana,,N,nobody,maybe\n"
                  "\n"
                  "P-1,1,Ben,T,,,\n");
    import.mode = ImportMode::add;
    const ImportReview review = import.run();
    EXPECT_THAT(review.errors, ElementsAre("Row 2: Vacant must be Yes/No or True/False.",
                                           "Row 2: Pay Level is required.", "Row 2: Job Title is required.",
                                           "Row 4: duplicate position ID P-1.", "Row 4: duplicate employee number 1.",
                                           "Row 2: manager ID nobody was not found. Check the reference type and mapped columns."));
    EXPECT_THAT(review.warnings, ElementsAre("Row 4: location is blank; District Office will be used."));
}

TEST(ImportReview, NoRowsBelowTheHeader)
{
    Import import("Position ID,Pay Level\n , \n");
    EXPECT_THAT(import.run().errors, ElementsAre("No position rows were found after the header."));
}

TEST(ImportRowFilter, KeepsNonBlankRowsBelowTheHeader)
{
    Import import("Notes\nPosition ID,Employee Number,Employee Name,Pay Level,Location,Reports To\n"
                  "A,1,Ana,T,N,\n\n,,,,,\nB,2,Ben,,,A\nC,3,Cy,T,,A\n",
                  1);
    const ImportReview review = import.run();
    auto rows = [&](ImportRowFilter filter) {
        return TabularImport::filteredRows(import.sheet, import.headerRow, import.mapping, review, filter);
    };
    EXPECT_THAT(rows(ImportRowFilter::all), ElementsAre(2, 5, 6));
    EXPECT_THAT(rows(ImportRowFilter::errors), ElementsAre(5));
    EXPECT_THAT(rows(ImportRowFilter::warnings), ElementsAre(5, 6));
    EXPECT_THAT(rows(ImportRowFilter::nullManagers), ElementsAre(2));
    import.mapping.erase(ImportField::manager);
    EXPECT_THAT(rows(ImportRowFilter::nullManagers), ElementsAre(2, 5, 6));
}

TEST(ImportRowFilter, IssueRowsNeedAWholeNumberBeforeTheColon)
{
    const auto rows = TabularImport::issueRows({"Row 3: a", "Row 12: b", "Row x: c", "Row : d", "Rows 4: e", "Row 5"});
    EXPECT_EQ(rows, (std::unordered_set<int>{3, 12}));
}

TEST(ImportReview, AddGeneratesEmployeeNumbersAndIDsThatSkipEveryIDInPlay)
{
    Import import("Employee Number,Employee Name,Pay Level,Location\n0100,Cy,T,N\n,Ana,T,N\n,Ben,T,N");
    import.mode = ImportMode::add;
    import.existing.positions = {filled("P-0101", "0099")};
    const ImportReview review = import.run();
    EXPECT_THAT(review.warnings, ElementsAre("Row 3: generated employee number 0101.", "Row 4: generated employee number 0102."));
    ASSERT_TRUE(review.organization);
    EXPECT_THAT(idsOf(*review.organization), ElementsAre("P-0101", "P-0100", "P-0101-2", "P-0102"));
}

// "Café" with a precomposed letter and with a combining accent is one id.
TEST(ImportReview, CanonicallyEquivalentIdsAreOneId)
{
    Import import("Position ID,Employee Number,Employee Name,Pay Level,Primary Manager ID\n"
                  "Cafe\u0301,1,Ana,T,\nB,2,Bo,T,Caf\u00e9\nCaf\u00e9,3,Cy,T,");
    EXPECT_THAT(import.run().errors, ElementsAre("Row 4: duplicate position ID Caf\u00e9."));
    import.sheet.rows.pop_back();
    const ImportReview review = import.run();
    ASSERT_TRUE(review.organization) << testing::PrintToString(review.errors);
    EXPECT_EQ(review.organization->positions[1].managerID, "Caf\u00e9");

    Import update("Position ID,Employee Number,Employee Name,Pay Level\nCafe\u0301,1,Ana,T2");
    update.mode = ImportMode::update;
    update.existing.positions = {filled("Caf\u00e9", "1")};
    const ImportReview updated = update.run();
    ASSERT_TRUE(updated.organization) << testing::PrintToString(updated.errors);
    EXPECT_THAT(idsOf(*updated.organization), ElementsAre("Caf\u00e9"));
}
