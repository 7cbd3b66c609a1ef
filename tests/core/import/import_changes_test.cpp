#include "core/import/column_mapping.h"
#include "core/import/import_changes.h"
#include "core/import/import_review.h"
#include "core/support/delimited_text.h"
#include "core/support/import_sheet.h"
#include "position_ids.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

using testing::ElementsAre;

namespace {

// As a bare organization file holds a position: no assistant flag, no sibling order, dotted
// managers in the order someone typed them.
Position stored()
{
    return Position{.id = "P-7", .title = "Teacher", .department = "Science", .employee = Employee{"0042", "Ana Lee"},
                    .managerID = "P-1", .dottedManagerIDs = {"P-3", "P-2"}, .location = "North", .fte = 1.0 / 3,
                    .schoolAssignments = {{"North", 1.0 / 6}, {"South", 1.0 / 6}}};
}

} // namespace

// What the import reads back from an exported row differs from the stored position only in
// form; every edit a row can carry still counts.
TEST(ImportChanges, OnlyWhatAUserSeesCounts)
{
    struct Case {
        const char *name;
        std::function<void(Position &)> edit;
        bool unchanged;
        std::function<void(Position &)> before = [](Position &) {}; // the stored side, when it differs
    };
    const std::vector<Case> cases = {
        {"as the import builds it", [](Position &p) { p.isAssistant = false; }, true},
        {"dotted managers sorted", [](Position &p) { p.dottedManagerIDs = {"P-2", "P-3"}; }, true},
        {"dotted managers repeated", [](Position &p) { p.dottedManagerIDs = {"P-2", "P-3", "P-2"}; }, true},
        {"job title spelled out", [](Position &p) { p.setJobTitle("Teacher"); }, true},
        {"sibling order 0", [](Position &p) { p.siblingOrder = 0; }, true},
        {"blank primary manager", [](Position &p) { p.managerID.reset(); }, true,
         [](Position &p) { p.managerID = " "; }},
        {"texts trimmed", [](Position &p) { p.department = " Science "; p.employee->name = "Ana Lee\n"; }, true},
        {"FTE as a spreadsheet keeps it",
         [](Position &p) {
             p.fte = 0.333333333333333;
             p.schoolAssignments = {{"North", 0.166666666666667}, {"South", 0.166666666666667}};
         },
         true},
        {"display-only fields", [](Position &p) { p.reportingCallout = ReportingCallout{}; }, true},

        {"assistant", [](Position &p) { p.isAssistant = true; }, false},
        {"another dotted manager", [](Position &p) { p.dottedManagerIDs = {"P-2"}; }, false},
        {"another job title", [](Position &p) { p.setJobTitle("Lead Teacher"); }, false},
        {"sibling order", [](Position &p) { p.siblingOrder = 1; }, false},
        {"no primary manager", [](Position &p) { p.managerID.reset(); }, false},
        {"name", [](Position &p) { p.employee->name = "Ana Lee-Park"; }, false},
        {"employee number", [](Position &p) { p.employee->id = "42"; }, false},
        {"vacated", [](Position &p) { p.employee.reset(); }, false},
        {"blank location filled in", [](Position &p) { p.location = "District Office"; }, false,
         [](Position &p) { p.location = ""; }},
        {"FTE", [](Position &p) { p.fte = 0.33; }, false},
        {"schools swapped", [](Position &p) { std::swap(p.schoolAssignments[0].school, p.schoolAssignments[1].school); }, false},
        {"group card count", [](Position &p) { p.groupMemberCount = 2; }, false},
        {"another id", [](Position &p) { p.id = "P-8"; }, false},
    };
    for (const Case &c : cases) {
        Position before = stored();
        c.before(before);
        Position after = stored();
        c.edit(after);
        EXPECT_EQ(TabularImport::isUnchanged(before, after), c.unchanged) << c.name;
        EXPECT_EQ(TabularImport::isUnchanged(after, before), c.unchanged) << c.name;
    }
}

// Updating from rows that show positions as stored leaves them as stored and in their place;
// a changed row still replaces its position, which moves to the end.
TEST(ImportChanges, UpdateKeepsUnchangedPositionsAsStored)
{
    Organization open;
    open.positions = {
        Position{.id = "A", .title = "Principal", .employee = Employee{"1", "Ada"}, .location = "North"},
        Position{.id = "B", .title = "Teacher", .employee = Employee{"2", "Bea"}, .managerID = "A",
                 .dottedManagerIDs = {"C", "A"}, .location = "North"},
        Position{.id = "C", .title = "Teacher", .employee = Employee{"3", "Cy"}, .managerID = "A", .location = "North",
                 .isAssistant = true},
        Position{.id = "D", .title = "Teacher", .employee = Employee{"4", "Dee"}, .managerID = "A", .location = "North"},
    };
    ImportSheet sheet = TabularImport::csv("Position ID,Employee Number,Employee Name,Pay Level,Primary Manager ID,"
                                           "Dotted Manager IDs,Location,Assistant\n"
                                           "D,4,Dee,Teacher,A,,North,No\n"
                                           "B,2,Bea,Teacher,A,C:A,North,No\n"
                                           "C,3,Cy,Teacher,A,,North,Yes\n"
                                           "A,1,Ada,Principal,,,North,No\n",
                                           U',');
    const ImportMapping mapping = TabularImport::suggestedMapping(TabularImport::headerCells(sheet, 0));
    const auto review = [&] {
        return TabularImport::review(sheet, 0, mapping, ManagerReferences::positionIDs, ImportMode::update, open);
    };
    ImportReview unchanged = review();
    ASSERT_TRUE(unchanged.organization) << testing::PrintToString(unchanged.errors);
    EXPECT_EQ(*unchanged.organization, open);

    sheet.rows[2][2] = "Bea Ray"; // B
    sheet.rows.push_back({"E", "5", "Eve", "Teacher", "A", "", "North", "No"});
    const ImportReview edited = review();
    ASSERT_TRUE(edited.organization) << testing::PrintToString(edited.errors);
    EXPECT_THAT(idsOf(*edited.organization), ElementsAre("A", "C", "D", "B", "E"));
    EXPECT_EQ(edited.organization->positions[0], open.positions[0]);
    EXPECT_EQ(edited.organization->positions[3].employee->name, "Bea Ray");
    EXPECT_EQ(edited.organization->positions[3].dottedManagerIDs, (std::vector<std::string>{"A", "C"}));
}
