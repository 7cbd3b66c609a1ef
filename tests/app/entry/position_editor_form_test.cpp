#include "position_editor_fixture.h"

#include <gtest/gtest.h>

using namespace EditorTest;

namespace {

using Editor = EditorFixture;

// A principal at North High in Instruction, and an empty-located Science director.
std::vector<Position> school()
{
    Position principal = pos("P-1", "Principal", "Ana Ruiz", {}, "Instruction", "North High");
    Position director = pos("P-2", "Director", "Bo Chen", {}, "Science", "");
    Position teacher = pos("P-3", "Teacher", "Cy Diaz", "P-1", "Instruction", "North High");
    teacher.employee->id = "0042";
    return {principal, director, teacher};
}

TEST_F(Editor, LoadsNewEditedAndVacantEntries)
{
    // A new entry takes its manager's location over the prepared one; its location keeps following.
    PositionEditorModel &added = open(pos("P-9", "Teacher", "", "P-1", "", "Annex"), school(), true);
    EXPECT_TRUE(added.isCreating());
    EXPECT_EQ(added.title(), "Add Position");
    EXPECT_EQ(added.position().location, "North High");
    EXPECT_EQ(added.position().department, "Instruction");
    EXPECT_FALSE(added.locationWasEdited());
    EXPECT_FALSE(added.departmentWasEdited());
    EXPECT_EQ(added.employeeNumber(), "0043");
    EXPECT_TRUE(added.wantsNameFocus());

    // An edit keeps its own number and marks a department that differs from the manager's.
    Position moved = school()[2];
    moved.department = "Arts";
    moved.location = "South High";
    std::vector<Position> positions = school();
    positions[2] = moved;
    PositionEditorModel &edited = open(moved, positions, false);
    EXPECT_EQ(edited.title(), "Edit Position & Employee");
    EXPECT_EQ(edited.employeeNumber(), "0042");
    EXPECT_EQ(edited.employeeName(), "Cy Diaz");
    EXPECT_TRUE(edited.departmentWasEdited());
    EXPECT_TRUE(edited.locationWasEdited());
    ASSERT_TRUE(edited.original());
    EXPECT_EQ(*edited.original(), moved);

    // A vacancy with an empty department takes the manager's, unedited, and is offered the next number.
    Position vacancy = pos("P-4", "Teacher", "", "P-2");
    positions.push_back(vacancy);
    PositionEditorModel &vacant = open(vacancy, positions, false);
    EXPECT_TRUE(vacant.isVacant());
    EXPECT_EQ(vacant.employeeName(), "");
    EXPECT_EQ(vacant.employeeNumber(), "0043");
    EXPECT_EQ(vacant.position().department, "Science");
    EXPECT_FALSE(vacant.departmentWasEdited());
    EXPECT_FALSE(vacant.wantsNameFocus());
}

TEST_F(Editor, ShowsEachControlOnlyInItsMode)
{
    struct Case {
        const char *name;
        bool isNew;
        bool vacant;
        bool manager;
        PositionEditorVisibility expected;
    };
    const Case cases[] = {
        {"new person", true, false, true,
         {.employeeName = true, .useManagerButton = true, .vacancyPanel = true, .employeeNumber = true,
          .positionIDEditable = true}},
        {"new vacancy", true, true, false, {.quantity = true, .vacancyPanel = true, .positionIDEditable = true}},
        {"edited person", false, false, false, {.employeeName = true, .employeeNumber = true, .startNewEntry = true}},
        {"edited vacancy", false, true, true, {.useManagerButton = true, .startNewEntry = true}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        // A vacant Teacher elsewhere matches every entry titled Teacher.
        std::vector<Position> positions = school();
        positions.push_back(pos("P-5", "Teacher"));
        Position entry = pos("P-8", "Teacher", c.vacant ? "" : "Zed Young", c.manager ? std::optional<std::string>("P-2") : std::nullopt);
        if (!c.isNew)
            positions.push_back(entry);
        PositionEditorModel &editor = open(entry, positions, c.isNew);
        editor.setVacant(c.vacant);
        EXPECT_EQ(editor.visibility(), c.expected);
    }
}

TEST_F(Editor, PeoplePanelFollowsTheVacantToggleAndKeepsTheName)
{
    PositionEditorModel &editor = open(pos("P-8", "Teacher"), school(), true);
    editor.setEmployeeName("Cy Dia");
    ASSERT_TRUE(editor.visibility().peoplePanel);
    editor.setVacant(true);
    EXPECT_FALSE(editor.visibility().peoplePanel);
    EXPECT_FALSE(editor.visibility().employeeName);
    editor.setVacant(false);
    EXPECT_EQ(editor.employeeName(), "Cy Dia");
    EXPECT_EQ(editor.peoplePanel().rows.size(), 1u);
}

TEST_F(Editor, ManagerOptionsFollowOneStrictOrder)
{
    // Texts equal but for case keep their first appearance; equal texts go by plain id order.
    std::vector<Position> positions = {pos("P-2", "Teacher", "Ann"), pos("P-1", "teacher", "Bea"),
                                       pos("P-0", "Teacher", "Cal"), pos("P-9", "Aide"), pos("P-10", "Aide", "Dee", {}, "", "West"),
                                       pos("P-SELF", "Aide")};
    PositionEditorModel &editor = open(positions.back(), positions, false);
    std::vector<std::string> ids;
    for (const DropdownOption &option : editor.managerOptions())
        ids.push_back(option.id.toStdString());
    EXPECT_EQ(ids, (std::vector<std::string>{"", "P-10", "P-9", "P-0", "P-2", "P-1"}));
    const std::vector<DropdownOption> options = editor.managerOptions();
    EXPECT_EQ(options[0], (DropdownOption{"", "None — top-level position", ""}));
    EXPECT_EQ(options[1], (DropdownOption{"P-10", "Aide — Dee", "P-10 ·  · West"}));
    EXPECT_EQ(options[2].title, "Aide — Vacant");
}

TEST_F(Editor, ChoosingAManagerFillsOnlyFieldsNotTypedInto)
{
    std::vector<Position> positions = school();
    positions.push_back(pos("P-5", "Head", "Di Eng", {}, "Science", "North High"));
    PositionEditorModel &editor = open(pos("P-8", "Teacher"), positions, true);
    editor.selectManager("P-5");
    EXPECT_EQ(editor.position().department, "Science");
    EXPECT_EQ(editor.position().location, "North High");
    // A manager without a location changes only the department.
    editor.selectManager("P-2");
    EXPECT_EQ(editor.position().location, "North High");

    // A typed department stays; the location still follows the manager.
    editor.setDepartment("Arts");
    editor.selectManager("P-1");
    EXPECT_EQ(editor.position().department, "Arts");
    EXPECT_EQ(editor.position().location, "North High");
    // Emptied, the typed field is filled again by the next choice.
    editor.setDepartment("");
    editor.selectManager("P-5");
    EXPECT_EQ(editor.position().department, "Science");

    editor.setDepartment("Arts");
    editor.setLocation("Annex");
    editor.useManagersDepartmentAndLocation();
    EXPECT_EQ(editor.position().department, "Science");
    EXPECT_EQ(editor.position().location, "North High");
    EXPECT_FALSE(editor.departmentWasEdited());

    // "None" removes the manager and leaves the fields alone.
    editor.selectManager("");
    EXPECT_FALSE(editor.position().managerID);
    EXPECT_EQ(editor.managerSelection(), "");
    EXPECT_EQ(editor.position().department, "Science");
    EXPECT_FALSE(editor.visibility().useManagerButton);
}

TEST_F(Editor, JobTitleFollowsThePayLevelUntilADifferentTextIsTyped)
{
    PositionEditorModel &editor = open(pos("P-8", "Teacher"), school(), true);
    editor.setJobTitle("Teacher");
    EXPECT_FALSE(editor.position().customJobTitle);
    editor.setPayLevel("Aide");
    EXPECT_EQ(editor.position().jobTitle(), "Aide");
    EXPECT_EQ(editor.jobTitleStatus(), "Job Title follows Pay Level.");

    editor.setJobTitle("Lead Aide");
    editor.setPayLevel("Teacher");
    EXPECT_EQ(editor.position().jobTitle(), "Lead Aide");
    EXPECT_EQ(editor.jobTitleStatus(), "Customized Job Title.");
    editor.matchPayLevel();
    EXPECT_EQ(editor.position().jobTitle(), "Teacher");

    // Clearing the field is a custom empty title, which saving refuses.
    editor.setJobTitle("");
    EXPECT_EQ(editor.position().customJobTitle, "");
    EXPECT_EQ(editor.jobTitleStatus(), "Customized Job Title.");
}

TEST_F(Editor, CompletionListsHoldDistinctExactValuesInCollatedOrder)
{
    std::vector<Position> positions = {pos("P-1", "teacher", "", {}, "  "), pos("P-2", "Teacher"), pos("P-3", ""),
                                       pos("P-4", "Teacher"), pos("P-5", "Aide")};
    positions[4].customJobTitle = "Classroom Aide";
    PositionEditorModel &editor = open(pos("P-9", "X"), positions, true);
    using Field = PositionEditorModel::CompletionField;
    EXPECT_EQ(editor.completions(Field::payLevel), (QStringList{"Aide", "Teacher", "teacher"}));
    EXPECT_EQ(editor.completions(Field::jobTitle), (QStringList{"Classroom Aide", "Teacher", "teacher"}));
    EXPECT_EQ(editor.completions(Field::department), QStringList{"  "});
}

TEST_F(Editor, AdditionalManagersOfferOnlyNewChoicesAndRemoveEveryOccurrence)
{
    std::vector<Position> positions = school();
    Position entry = pos("P-8", "Teacher", "Zed Young", "P-1");
    entry.dottedManagerIDs = {"P-2", "GONE", "P-2"};
    positions.push_back(entry);
    PositionEditorModel &editor = open(entry, positions, false);
    // Neither itself, its primary manager nor a dotted manager is offered.
    std::vector<DropdownOption> options = editor.additionalManagerOptions();
    ASSERT_EQ(options.size(), 1u);
    EXPECT_EQ(options[0].id, "P-3");
    for (const char *choice : {"", "P-8", "P-1", "P-2", "NOPE"}) {
        editor.setAdditionalManagerID(choice);
        EXPECT_FALSE(editor.canAddAdditionalManager()) << choice;
    }
    EXPECT_EQ(editor.additionalManagerLabel("P-2"), "Director — Bo Chen");
    EXPECT_EQ(editor.additionalManagerLabel("GONE"), "GONE");

    editor.removeAdditionalManager("P-2");
    EXPECT_EQ(editor.position().dottedManagerIDs, std::vector<std::string>{"GONE"});
    editor.setAdditionalManagerID("P-3");
    editor.addAdditionalManager();
    editor.setAdditionalManagerID("P-2");
    editor.addAdditionalManager();
    EXPECT_EQ(editor.position().dottedManagerIDs, (std::vector<std::string>{"GONE", "P-3", "P-2"}));
    EXPECT_EQ(editor.additionalManagerID(), "");
    // A choice that became the primary manager meanwhile is not added.
    editor.removeAdditionalManager("P-3");
    editor.setAdditionalManagerID("P-3");
    editor.selectManager("P-3");
    editor.addAdditionalManager();
    EXPECT_EQ(editor.position().dottedManagerIDs, (std::vector<std::string>{"GONE", "P-2"}));
}

TEST_F(Editor, SchoolRowsAreKnownByTheirOwnIds)
{
    Position entry = pos("P-8", "Teacher", "Zed Young", "P-1", "", "North High");
    entry.schoolAssignments = {{"Oak", 0.5}, {"Oak", 0.5}};
    std::vector<Position> positions = school();
    positions.push_back(entry);
    PositionEditorModel &editor = open(entry, positions, false);
    ASSERT_EQ(editor.schoolAllocations().size(), 2u);
    const SchoolAllocationDraft first = editor.schoolAllocations()[0];
    EXPECT_NE(first.id, editor.schoolAllocations()[1].id);

    editor.setSchoolAssignment(first.id, {"Elm", 0.25});
    EXPECT_EQ(editor.schoolAllocations()[0].assignment, (SchoolAssignment{"Elm", 0.25}));
    editor.removeSchoolAllocation(first.id);
    // The removed row's field neither writes nor reads the surviving row.
    editor.setSchoolAssignment(first.id, {"Pine", 1});
    EXPECT_EQ(editor.schoolAllocations().size(), 1u);
    EXPECT_EQ(editor.schoolAllocations()[0].assignment, (SchoolAssignment{"Oak", 0.5}));
    EXPECT_EQ(editor.schoolAssignment(first.id, first.assignment), first.assignment);

    editor.addSchoolAllocation();
    EXPECT_EQ(editor.position().location, "Itinerant");
    EXPECT_TRUE(editor.locationWasEdited());
    EXPECT_EQ(editor.schoolAllocations().back().assignment, (SchoolAssignment{"", 0.5}));
    // The location no longer follows a manager.
    editor.selectManager("P-1");
    EXPECT_EQ(editor.position().location, "Itinerant");
}

TEST_F(Editor, AdvancedFieldsStoreWhatTheControlsMean)
{
    PositionEditorModel &editor = open(school()[2], school(), false);
    editor.setPositionID("P-OTHER");
    EXPECT_EQ(editor.position().id, "P-3");
    editor.setSiblingOrder(-2);
    EXPECT_EQ(editor.position().siblingOrder, -2);
    editor.setSiblingOrder(0);
    EXPECT_FALSE(editor.position().siblingOrder);
    editor.setAssistant(true);
    editor.setAssistant(false);
    EXPECT_EQ(editor.position().isAssistant, false);
}

TEST_F(Editor, StartNewEntryPreparesABlankEntryFromTheCurrentOne)
{
    Position entry = school()[2];
    entry.schoolAssignments = {{"Oak", 1}};
    std::vector<Position> positions = school();
    positions[2] = entry;
    PositionEditorModel &editor = open(entry, positions, false);
    editor.setAdvancedOpen(true);
    editor.startNewEntry();
    EXPECT_TRUE(editor.isCreating());
    EXPECT_EQ(editor.title(), "Add Position");
    EXPECT_FALSE(editor.visibility().startNewEntry);
    EXPECT_EQ(editor.employeeName(), "");
    EXPECT_EQ(editor.employeeNumber(), "0043");
    EXPECT_TRUE(editor.schoolAllocations().empty());
    EXPECT_EQ(editor.position().title, "Teacher");
    EXPECT_EQ(editor.position().managerID, "P-1");
    EXPECT_NE(editor.position().id, "P-3");
}

} // namespace

TEST_F(Editor, AnEditKeepsItsIdAndZeroOrderMeansNone)
{
    PositionEditorModel &editor = open(school()[2], school(), false);
    editor.setPositionID("P-OTHER");
    EXPECT_EQ(editor.position().id, "P-3");
    editor.setSiblingOrder(0);
    EXPECT_FALSE(editor.position().siblingOrder);
}

TEST_F(Editor, TogglingVacantKeepsTheTypedName)
{
    PositionEditorModel &editor = open(pos("P-8", "Teacher"), school(), true);
    editor.setEmployeeName("Cy Dia");
    editor.setVacant(true);
    editor.setVacant(false);
    EXPECT_EQ(editor.employeeName(), "Cy Dia");
    EXPECT_EQ(editor.peoplePanel().rows.size(), 1u);
}
