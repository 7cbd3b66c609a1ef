#include "core/import/column_mapping.h"
#include "core/import/import_review.h"
#include "core/support/delimited_text.h"
#include "core/support/import_sheet.h"
#include "position_ids.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

// A superintendent, an itinerant teacher split over two schools with a dotted line, an
// assistant with a sibling order and a vacancy.
Organization stored()
{
    Organization open;
    open.positions = {
        Position{.id = "A", .title = "Superintendent", .department = "Office", .employee = Employee{"00001", "Ada"},
                 .location = "District Office", .isAssistant = false},
        Position{.id = "B", .title = "Teacher", .customJobTitle = "Art Teacher", .department = "Arts",
                 .employee = Employee{"00002", "Bea"}, .managerID = "A", .dottedManagerIDs = {"D"},
                 .location = "Itinerant", .fte = 0.8, .schoolAssignments = {{"North", 0.5}, {"South", 0.3}}},
        Position{.id = "C", .title = "Secretary", .department = "Office", .employee = Employee{"00003", "Cy"},
                 .managerID = "A", .location = "North", .fte = 0.5, .isAssistant = true, .siblingOrder = 3},
        Position{.id = "D", .title = "Coordinator", .department = "Arts", .managerID = "A", .location = "South"},
    };
    return open;
}

ImportReview update(std::string_view csv, ImportMode mode = ImportMode::update,
                    ManagerReferences references = ManagerReferences::positionIDs)
{
    const ImportSheet sheet = TabularImport::csv(csv, U',');
    const ImportMapping mapping = TabularImport::suggestedMapping(TabularImport::headerCells(sheet, 0));
    return TabularImport::review(sheet, 0, mapping, references, mode, stored());
}

const char *const partialHeader = "Position ID,Employee Number,Employee Name,Pay Level,Job Title\n";

} // namespace

// Rows that repeat what is stored leave the organization as it was; an edited cell changes
// that field alone, and the department, managers, dotted lines, school split, FTE,
// assistant flag and sibling order the file does not carry stay.
TEST(ImportUpdate, UnmappedColumnsKeepTheStoredValues)
{
    const std::string same = std::string(partialHeader) +
                             "A,00001,Ada,Superintendent,Superintendent\nB,00002,Bea,Teacher,Art Teacher\n"
                             "C,00003,Cy,Secretary,Secretary\nD,,,Coordinator,Coordinator\n";
    const ImportReview unchanged = update(same);
    ASSERT_TRUE(unchanged.organization) << testing::PrintToString(unchanged.errors);
    EXPECT_THAT(unchanged.warnings, IsEmpty());
    EXPECT_EQ(*unchanged.organization, stored());

    const ImportReview edited = update(std::string(partialHeader) + "B,00002,Bea Long,Teacher II,Art Teacher\n");
    ASSERT_TRUE(edited.organization) << testing::PrintToString(edited.errors);
    EXPECT_THAT(edited.warnings, IsEmpty());
    Position expected = stored().positions[1];
    expected.employee->name = "Bea Long";
    expected.title = "Teacher II";
    EXPECT_EQ(positionIn(*edited.organization, "B"), expected);
    EXPECT_THAT(idsOf(*edited.organization), ElementsAre("A", "C", "D", "B"));
}

// Without employee columns the stored person stays, no number is generated, and only a row
// marked vacant empties the position; a mapped but blank cell still means blank.
TEST(ImportUpdate, EmployeeColumnsLeftOutKeepThePerson)
{
    const ImportReview kept = update("Position ID,Pay Level,Department\nC,Secretary,Front Office\n");
    ASSERT_TRUE(kept.organization) << testing::PrintToString(kept.errors);
    EXPECT_THAT(kept.warnings, IsEmpty());
    EXPECT_EQ(positionIn(*kept.organization, "C").employee, (Employee{"00003", "Cy"}));
    EXPECT_EQ(positionIn(*kept.organization, "C").department, "Front Office");

    const ImportReview vacated = update("Position ID,Pay Level,Vacant\nC,Secretary,Yes\nB,Teacher,No\n");
    ASSERT_TRUE(vacated.organization) << testing::PrintToString(vacated.errors);
    EXPECT_FALSE(positionIn(*vacated.organization, "C").employee);
    EXPECT_EQ(positionIn(*vacated.organization, "B").employee, (Employee{"00002", "Bea"}));

    EXPECT_THAT(update("Position ID,Employee Name,Pay Level\nC,,Secretary\n").errors,
                ElementsAre("Row 2: filled positions need employee number and name."));
}

// The checks see the merged position: a new FTE against the stored school split, a new
// manager against the stored chain.
TEST(ImportUpdate, ChecksRunOnTheMergedPosition)
{
    EXPECT_THAT(update("Position ID,Pay Level,FTE\nB,Teacher,1\n").errors,
                ElementsAre("Row 2: school assignment FTE must total the position FTE (1.0)."));
    EXPECT_THAT(update("Position ID,Pay Level,Primary Manager ID\nA,Superintendent,C\n").errors,
                ElementsAre("Row 2: primary reporting relationships contain a cycle at A."));
    // A mapped column speaks for every row, blank cells included.
    const ImportReview cleared = update("Position ID,Pay Level,Primary Manager ID,Location\nC,Secretary,,\n");
    ASSERT_TRUE(cleared.organization) << testing::PrintToString(cleared.errors);
    EXPECT_EQ(positionIn(*cleared.organization, "C").managerID, std::nullopt);
    EXPECT_EQ(positionIn(*cleared.organization, "C").location, "District Office");
    EXPECT_THAT(cleared.warnings,
                ElementsAre("“Primary Manager ID” is blank in every row: applying clears it for 1 position.",
                            "“School / District Office” is blank in every row: applying clears it for 1 position.",
                            "Row 2: location is blank; District Office will be used."));
}

// New rows and the add mode read the file alone, as before.
TEST(ImportUpdate, NewRowsAndAddingTakeOnlyTheFile)
{
    const ImportReview added = update(std::string(partialHeader) + "E,00005,Eve,Teacher,Teacher\n");
    ASSERT_TRUE(added.organization) << testing::PrintToString(added.errors);
    EXPECT_THAT(added.warnings, ElementsAre("No row matches a stored Position ID: applying adds every row as a new position.",
                                            "Row 2: location is blank; District Office will be used."));
    EXPECT_EQ(added.updatingRows, 0);
    const Position &eve = positionIn(*added.organization, "E");
    EXPECT_EQ(eve.department, "");
    EXPECT_EQ(eve.managerID, std::nullopt);
    EXPECT_EQ(eve.fte, 1);

    EXPECT_THAT(update(std::string(partialHeader) + "B,00009,Bo,Teacher,Teacher\n", ImportMode::add).errors,
                ElementsAre("Row 2: duplicate position ID B."));
}

// A spreadsheet program that read "00002" as a number gives back "2", and a padded column
// turns "2" into "00002": a row of the person's position then renumbers them, any other row
// adds a second person, in either mode. Each such row says which way and what applying
// does, and is counted for the summary; another number or a new one is no such case.
TEST(ImportUpdate, EmployeeNumbersThatDifferOnlyByLeadingZerosAreFlagged)
{
    const ImportReview review = update(std::string(partialHeader) +
                                       "A,1,Ada,Superintendent,Superintendent\nB,002,Bea,Teacher,Art Teacher\n"
                                       "C,30,Cy,Secretary,Secretary\nE,5,Eve,Teacher,Teacher\n");
    ASSERT_TRUE(review.organization) << testing::PrintToString(review.errors);
    EXPECT_THAT(review.warnings,
                ElementsAre("Row 2: employee number 1 lost the leading zeros of 00001 (a spreadsheet program may have "
                            "read it as a number); applying changes 00001 to 1.",
                            "Row 3: employee number 002 differs from the stored 00002 only by leading zeros; "
                            "applying changes 00002 to 002.",
                            "Row 5: location is blank; District Office will be used."));
    EXPECT_EQ(review.leadingZeroRows, 2);
    EXPECT_EQ(positionIn(*review.organization, "A").employee->id, "1"); // a warning, not a refusal

    Organization padded = stored();
    padded.positions[0].employee->id = "1";
    const auto reviewOfPadded = [&](std::string_view csv, ImportMode mode) {
        const ImportSheet sheet = TabularImport::csv(csv, U',');
        const ImportMapping mapping = TabularImport::suggestedMapping(TabularImport::headerCells(sheet, 0));
        return TabularImport::review(sheet, 0, mapping, ManagerReferences::positionIDs, mode, padded);
    };
    const ImportReview more =
        reviewOfPadded(std::string(partialHeader) + "A,0001,Ada,Superintendent,Superintendent\n", ImportMode::update);
    EXPECT_THAT(more.warnings, ElementsAre("Row 2: employee number 0001 has leading zeros the stored 1 does not; "
                                           "applying changes 1 to 0001."));
    EXPECT_EQ(more.leadingZeroRows, 1);

    // Elsewhere than on the person's own position, updating or adding: a second person.
    const ImportReview moved = update(std::string(partialHeader) + "D,0003,Cyrus,Coordinator,Coordinator\n");
    ASSERT_TRUE(moved.organization) << testing::PrintToString(moved.errors);
    EXPECT_THAT(moved.warnings, ElementsAre("Row 2: employee number 0003 differs from the stored 00003 only by "
                                            "leading zeros; applying keeps 00003 and adds 0003 as another person."));
    const ImportReview adding =
        update(std::string(partialHeader) + "E,1,Eve,Teacher,Teacher\nF,00001,Fay,Teacher,Teacher\n", ImportMode::add);
    EXPECT_THAT(adding.errors, ElementsAre("Row 3: duplicate employee number 00001."));
    EXPECT_THAT(adding.warnings, ElementsAre("Row 2: employee number 1 lost the leading zeros of 00001 (a spreadsheet "
                                             "program may have read it as a number); applying keeps 00001 and adds 1 "
                                             "as another person.",
                                             "Row 2: location is blank; District Office will be used.",
                                             "Row 3: location is blank; District Office will be used."));
    EXPECT_EQ(adding.leadingZeroRows, 1);
    const ImportReview addingPadded =
        reviewOfPadded(std::string(partialHeader) + "E,01,Eve,Teacher,Teacher\n", ImportMode::add);
    EXPECT_EQ(addingPadded.warnings.front(), "Row 2: employee number 01 has leading zeros the stored 1 does not; "
                                               "applying keeps 1 and adds 01 as another person.");
    EXPECT_EQ(addingPadded.leadingZeroRows, 1);
    // Replacing, the stored person goes and the row's comes in their place.
    const ImportReview replacing = update(std::string(partialHeader) + "E,1,Eve,Teacher,Teacher\n", ImportMode::replace);
    EXPECT_THAT(replacing.warnings, ElementsAre("Row 2: employee number 1 lost the leading zeros of 00001 (a "
                                                "spreadsheet program may have read it as a number); applying "
                                                "replaces 00001 with 1.",
                                                "Row 2: location is blank; District Office will be used."));
    EXPECT_EQ(replacing.leadingZeroRows, 1);
}

// The same for Position IDs, whose rows match nothing then and add every position a second
// time: each row names both ids, which way they differ and what applying does, and is
// counted, adding as well as updating; a file of which no row updates a stored position
// says so before it is applied.
TEST(ImportUpdate, PositionIDsThatDifferOnlyByLeadingZerosAreFlagged)
{
    Organization open;
    open.positions = {
        Position{.id = "0001", .title = "Superintendent", .location = "District Office"},
        Position{.id = "0002", .title = "Teacher", .managerID = "0001", .location = "North"},
        Position{.id = "0010", .title = "Teacher", .managerID = "0001", .location = "North"},
        Position{.id = "17", .title = "Teacher", .managerID = "0001", .location = "North"},
    };
    const auto review = [&](std::string_view csv, ImportMode mode) {
        const ImportSheet sheet = TabularImport::csv(csv, U',');
        const ImportMapping mapping = TabularImport::suggestedMapping(TabularImport::headerCells(sheet, 0));
        return TabularImport::review(sheet, 0, mapping, ManagerReferences::positionIDs, mode, open);
    };
    const std::string header = "Position ID,Pay Level,Location\n";
    const char *const lostOne = "Row 2: position ID 1 lost the leading zeros of 0001 (a spreadsheet program may have "
                                "read it as a number); applying keeps 0001 and adds 1 as another position.";

    const ImportReview some = review(header + "1,Superintendent,District Office\n002,Teacher,North\n0010,Teacher,North\n"
                                              "11,Teacher,North\n00017,Teacher,North\n",
                                     ImportMode::update);
    ASSERT_TRUE(some.organization) << testing::PrintToString(some.errors);
    EXPECT_THAT(some.warnings,
                ElementsAre(lostOne,
                            "Row 3: position ID 002 differs from the stored 0002 only by leading zeros; applying keeps "
                            "0002 and adds 002 as another position.",
                            "Row 6: position ID 00017 has leading zeros the stored 17 does not; applying keeps 17 and "
                            "adds 00017 as another position."));
    EXPECT_EQ(some.leadingZeroIDRows, 3);
    EXPECT_EQ(some.updatingRows, 1);

    const ImportReview none = review(header + "1,Superintendent,District Office\n2,Teacher,North\n", ImportMode::update);
    ASSERT_TRUE(none.organization) << testing::PrintToString(none.errors);
    ASSERT_EQ(none.warnings.size(), 3u);
    EXPECT_EQ(none.warnings[0], "No row matches a stored Position ID: applying adds every row as a new position.");
    EXPECT_EQ(none.leadingZeroIDRows, 2);
    EXPECT_EQ(none.organization->positions.size(), 6u); // still added when applied: a warning, not a refusal

    const ImportReview adding = review(header + "1,Superintendent,District Office\n0017,Teacher,North\n", ImportMode::add);
    ASSERT_TRUE(adding.organization) << testing::PrintToString(adding.errors);
    EXPECT_THAT(adding.warnings, ElementsAre(lostOne, "Row 3: position ID 0017 has leading zeros the stored 17 does "
                                                      "not; applying keeps 17 and adds 0017 as another position."));
    EXPECT_EQ(adding.leadingZeroIDRows, 2);
    // A duplicate is refused as such, without a word on zeros.
    const ImportReview duplicate = review(header + "0001,Superintendent,District Office\n", ImportMode::add);
    EXPECT_THAT(duplicate.errors, ElementsAre("Row 2: duplicate position ID 0001."));
    EXPECT_EQ(duplicate.leadingZeroIDRows, 0);
}

// A mapped column blank in every row still clears what it feeds, but the review first says
// for how many stored positions; a column with one value, or blank where nothing is
// stored, says nothing. A blank FTE over a stored one is named on its row.
TEST(ImportUpdate, BlankColumnsThatClearStoredFieldsAreSaid)
{
    const ImportReview cleared = update("Position ID,Pay Level,Primary Manager ID,Dotted Manager IDs,FTE\n"
                                        "C,Secretary,,,\nD,Coordinator,,,\n");
    ASSERT_TRUE(cleared.organization) << testing::PrintToString(cleared.errors);
    EXPECT_THAT(cleared.warnings,
                ElementsAre("“Primary Manager ID” is blank in every row: applying clears it for 2 positions.",
                            "“FTE” is blank in every row: applying clears it for 1 position.",
                            "Row 2: FTE is blank; 0.5 becomes 1."));
    EXPECT_EQ(positionIn(*cleared.organization, "C").managerID, std::nullopt);
    EXPECT_EQ(positionIn(*cleared.organization, "C").fte, 1);
    EXPECT_EQ(positionIn(*cleared.organization, "D").managerID, std::nullopt);

    const ImportReview partly = update("Position ID,Pay Level,Primary Manager ID\nC,Secretary,\nD,Coordinator,A\n");
    ASSERT_TRUE(partly.organization) << testing::PrintToString(partly.errors);
    EXPECT_THAT(partly.warnings, IsEmpty());
    EXPECT_EQ(positionIn(*partly.organization, "C").managerID, std::nullopt);
}
