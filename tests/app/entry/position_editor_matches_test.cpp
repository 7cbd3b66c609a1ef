#include "position_editor_fixture.h"

#include <gtest/gtest.h>

using namespace EditorTest;

namespace {

using EditorMatches = EditorFixture;

// Five people named Lee (one on the chart S-1), a manager, and two vacant Teachers.
std::vector<Position> district()
{
    std::vector<Position> positions = {pos("P-1", "Principal", "Ana Ruiz", {}, "Instruction", "North High")};
    for (int i = 2; i <= 6; ++i)
        positions.push_back(pos("P-" + std::to_string(i), "Teacher", "Kim Lee " + std::to_string(i), "P-1"));
    positions.push_back(pos("P-7", "Teacher", "", "P-1", "Instruction", "North High"));
    positions.push_back(pos("P-8", "Teacher", "", "MISSING"));
    return positions;
}

std::vector<OrganizationSheet> charts()
{
    return {{"S-1", "Science", {"P-2"}}, {"S-2", "Arts", {"P-2", "P-3"}}};
}

TEST_F(EditorMatches, PanelsShowThreeRowsAndCountTheRest)
{
    PositionEditorModel &editor = open(pos("P-9", "Teacher", "", "P-1"), district(), true, charts(), "S-1");
    editor.setEmployeeName("Lee");
    PositionMatchPanel people = editor.peoplePanel();
    EXPECT_EQ(people.rows.size(), 3u);
    EXPECT_EQ(people.countLine, "5 matches. Type more of the name to narrow the list.");
    editor.setEmployeeName("Kim Lee 2");
    EXPECT_TRUE(editor.peoplePanel().countLine.isEmpty());

    // Two vacancies, the one with the same manager, department and location first.
    PositionMatchPanel vacancies = editor.vacancyPanel();
    ASSERT_EQ(vacancies.rows.size(), 2u);
    EXPECT_EQ(vacancies.rows[0].positionID, "P-7");
    EXPECT_TRUE(vacancies.countLine.isEmpty());
    EXPECT_TRUE(vacancies.rows[0].includeTitle.isEmpty());
}

TEST_F(EditorMatches, SummaryLinesNameManagerChartsAndNumber)
{
    PositionEditorModel &editor = open(pos("P-9", "Teacher"), district(), true, charts(), "S-1");
    editor.setEmployeeName("Kim Lee 2");
    ASSERT_FALSE(editor.peopleMatches().empty());
    EXPECT_EQ(editor.matchSummary(editor.peopleMatches()[0]),
              (std::array<QString, 4>{"Kim Lee 2 — Teacher", "Same name — verify identity ·  · ",
                                      "Manager: Ana Ruiz · Charts: Science, Arts", "Position P-2 · Employee E2"}));
    const PositionEntryMatch unknown = editor.vacancyMatches().back();
    ASSERT_EQ(unknown.id(), "P-8");
    EXPECT_EQ(editor.matchSummary(unknown)[2], "Manager: None · Charts: No sheet");
    EXPECT_EQ(editor.matchSummary(unknown)[3], "Position P-8 · Employee Unfilled");
}

TEST_F(EditorMatches, IncludeButtonDependsOnTheChartAndTheCallback)
{
    struct Case {
        const char *sheetID;
        bool withInclude;
        QString title;
        bool enabled;
    };
    const Case cases[] = {
        {"S-1", true, "Already on This Chart", false},
        {"S-2", true, "Add to This Chart", true},
        {"S-GONE", true, "Add to This Chart", true},
        {"", true, "", false},
        {"S-1", false, "", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sheetID);
        PositionEditorModel &editor = open(pos("P-9", "Teacher"), district(), true,
                                           {{"S-1", "Science", {"P-2"}}, {"S-2", "Arts", {"P-3"}}}, c.sheetID,
                                           c.withInclude);
        editor.setEmployeeName("Kim Lee 2");
        const PositionMatchPanel people = editor.peoplePanel();
        ASSERT_EQ(people.rows.size(), 1u);
        EXPECT_EQ(people.rows[0].includeTitle, c.title);
        EXPECT_EQ(people.rows[0].includeEnabled, c.enabled);
    }
}

TEST_F(EditorMatches, EditExistingSwitchesTheEditorToThatPerson)
{
    PositionEditorModel &editor = open(pos("P-9", "Teacher"), district(), true);
    editor.setEmployeeName("Kim Lee 3");
    editor.editExisting("P-3");
    EXPECT_FALSE(editor.isCreating());
    EXPECT_EQ(editor.position().id, "P-3");
    EXPECT_EQ(editor.employeeNumber(), "E3");
    // Its own row leaves the panel; no vacancy panel while editing.
    EXPECT_TRUE(editor.peopleMatches().empty());
    EXPECT_FALSE(editor.visibility().vacancyPanel);
}

TEST_F(EditorMatches, FillingAVacancyKeepsTheTypedPerson)
{
    PositionEditorModel &editor = open(pos("P-9", "Teacher"), district(), true, charts(), "S-1");
    editor.setEmployeeName("Zoe Park");
    editor.setEmployeeNumber("777");
    EXPECT_EQ(editor.vacancyButtonTitle(), "Fill This Vacancy");
    editor.useVacancy("P-7");
    EXPECT_EQ(editor.position().id, "P-7");
    EXPECT_EQ(editor.position().location, "North High");
    EXPECT_EQ(editor.employeeName(), "Zoe Park");
    EXPECT_EQ(editor.employeeNumber(), "777");
    EXPECT_FALSE(editor.isVacant());
    EXPECT_TRUE(editor.isIncludingOnSheet());
    EXPECT_TRUE(editor.visibility().includeNote);

    // A vacant entry takes the vacancy as it is, and without a chart nothing is placed.
    PositionEditorModel &vacant = open(pos("P-9", "Teacher"), district(), true);
    vacant.setVacant(true);
    EXPECT_EQ(vacant.vacancyButtonTitle(), "Use Existing Vacancy");
    vacant.useVacancy("P-7");
    EXPECT_TRUE(vacant.isVacant());
    EXPECT_EQ(vacant.original(), district()[6]);
    EXPECT_FALSE(vacant.isIncludingOnSheet());
}

TEST_F(EditorMatches, AddToThisChartClosesOrShowsTheRefusal)
{
    PositionEditorModel &editor = open(pos("P-9", "Teacher"), district(), true, charts(), "S-2");
    editor.setEmployeeName("Zoe");
    includeError = "The selected chart no longer exists. Reopen the editor.";
    editor.addToThisChart("P-4");
    EXPECT_EQ(closes, 0);
    EXPECT_EQ(editor.errorMessage(), "The selected chart no longer exists. Reopen the editor.");
    EXPECT_EQ(editor.employeeName(), "Zoe");

    includeError.clear();
    editor.addToThisChart("P-4");
    EXPECT_EQ(included, std::vector<std::string>{"P-4"});
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(requests.empty());
}

} // namespace
