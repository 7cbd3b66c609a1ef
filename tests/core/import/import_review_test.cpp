#include "core/import/column_mapping.h"
#include "core/support/delimited_text.h"
#include "core/import/import_review.h"
#include "core/support/import_sheet.h"
#include "position_ids.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;

namespace {

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

TEST(ImportReview, ReaderIssuesCountWhileTheirCellIsUnchanged)
{
    Import import("Title above\nPosition ID,Pay Level\nP-1,T\nP-2,T", 1);
    import.sheet.sourceIssues = {{
        {.row = 1, .column = 1, .value = "Pay Level", .message = "header cell"},
        {.row = 2, .column = 1, .value = "#NO_SAVED_RESULT", .message = "edited since"},
        {.row = 3, .column = 0, .value = "P-2", .message = "still there"},
    }};
    EXPECT_THAT(import.run().errors, ElementsAre("Row 2: column 2: header cell", "Row 4: column 1: still there"));
}

// Managers named by employee number, here on a later row.
TEST(ImportReview, BuildsPositionsFromCells)
{
    Import import("Position ID,Employee Number,Employee Name,Pay Level,Job Title,Department,Location,FTE,"
                  "Assistant,Sibling Order,School Allocations (School=FTE; ...),Reports To\n"
                  "P-1, 7 ,  Ana Lee ,T1,Teacher,Math,,0.5,YES,+2,North=0.25; South = 0.25;,8\n"
                  "P-2,8,Bo,T1,T1,,N,,,,,\n");
    import.references = ManagerReferences::employeeNumbers;
    const ImportReview review = import.run();
    ASSERT_TRUE(review.organization) << testing::PrintToString(review.errors);
    const Position expected{
        .id = "P-1", .title = "T1", .customJobTitle = "Teacher", .department = "Math",
        .employee = Employee{"7", "Ana Lee"}, .managerID = "P-2", .location = "Itinerant", .fte = 0.5,
        .schoolAssignments = {{"North", 0.25}, {"South", 0.25}}, .isAssistant = true, .siblingOrder = 2,
    };
    EXPECT_EQ(review.organization->positions[0], expected);
}

TEST(ImportReview, CellProblemsNameTheirRow)
{
    auto errors = [](const char *cells) {
        return Import(std::string("Position ID,Pay Level,Location,Vacant,Employee Number,Employee Name,FTE,"
                                  "School Allocations\nP-1,T,N,") + cells).run().errors;
    };
    EXPECT_THAT(errors("yes,9,Ana,,"),
                ElementsAre("Row 2: vacant positions cannot contain an employee. Clear the employee fields or mark it filled."));
    EXPECT_THAT(errors(",,,\"1,5\","), ElementsAre("Row 2: FTE must be a positive number."));
    const std::string allocations = "Row 2: school allocations must use School=FTE; School=FTE.";
    EXPECT_THAT(errors(",,,,A;=0.5;B=;A=0.5; ;B=0.5"), ElementsAre(allocations, allocations, allocations, allocations));
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

TEST(ImportReview, ModesMergeWithTheOpenOrganization)
{
    Import add("Position ID,Employee Number,Employee Name,Pay Level,Primary Manager ID,Location\n"
               "B,2,Bea,T2,A,South\nD,4,Dan,T,B,South");
    add.mode = ImportMode::add;
    add.existing.positions = {filled("A", "1"), filled("B", "2", "A"), filled("C", "3", "A")};
    add.existing.positions[1].setJobTitle("Lead Teacher");
    EXPECT_THAT(add.run().errors, ElementsAre("Row 2: duplicate position ID B.", "Row 2: duplicate employee number 2."));

    Import update = add;
    update.mode = ImportMode::update;
    const ImportReview updated = update.run();
    ASSERT_TRUE(updated.organization) << testing::PrintToString(updated.errors);
    // The replaced position moves behind the untouched ones and keeps its custom job title.
    EXPECT_THAT(idsOf(*updated.organization), ElementsAre("A", "C", "B", "D"));
    EXPECT_EQ(positionIn(*updated.organization, "B").jobTitle(), "Lead Teacher");
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

TEST(ImportReview, ReportingLoopsAndSelfReports)
{
    Import import("Position ID,Pay Level,Location,Reports To,Dotted Manager IDs\n"
                  "A,T,N,B,\nB,T,N,A,\nD,T,N,,D\nE,T,N,E,");
    EXPECT_THAT(import.run().errors, ElementsAre("Row 2: primary reporting relationships contain a cycle at A.",
                                                 "Row 3: primary reporting relationships contain a cycle at B.",
                                                 "Row 4: a position cannot report to itself.",
                                                 "Row 5: a position cannot report to itself.",
                                                 "Row 5: primary reporting relationships contain a cycle at E."));
    // A later holder of an id meets itself on its own chain.
    EXPECT_THAT(Import("Position ID,Pay Level,Location,Reports To\nX,T,N,\nM,T,N,X\nX,T,N,M").run().errors,
                ElementsAre("Row 4: duplicate position ID X.", "Row 4: primary reporting relationships contain a cycle at X."));
}

TEST(ImportReview, MessagesFollowTheStepsRowByRow)
{
    Import import("Position ID,Employee Number,Employee Name,Pay Level,Location,Reports To,Vacant\n"
                  "P-1,1,Ana,,N,nobody,maybe\n\nP-1,1,Ben,T,,,\n");
    import.mode = ImportMode::add;
    const ImportReview review = import.run();
    EXPECT_THAT(review.errors, ElementsAre("Row 2: Vacant must be Yes/No or True/False.",
                                           "Row 2: Pay Level is required.", "Row 2: Job Title is required.",
                                           "Row 4: duplicate position ID P-1.", "Row 4: duplicate employee number 1.",
                                           "Row 2: manager ID nobody was not found. Check the reference type and mapped columns."));
    EXPECT_THAT(review.warnings, ElementsAre("Row 4: location is blank; District Office will be used."));
    EXPECT_THAT(Import("Position ID,Name\nP-1,").run().errors,
                ElementsAre("Map Pay Level (or a legacy Position / Title column).", "Row 2: Pay Level is required.",
                            "Row 2: Job Title is required."));

    // Rules the rows cannot see are checked on the merged model, once the rows are sound.
    Import sound("Position ID,Employee Number,Employee Name,Pay Level,Location\nN,9,Ann,T,N");
    sound.mode = ImportMode::add;
    sound.existing.positions = {filled("A", "1", "B"), filled("B", "2", "A")};
    EXPECT_THAT(sound.run().errors, ElementsAre("Primary reporting relationships contain a cycle at A."));
}
