#include "position_editor_fixture.h"

#include "core/document/organization_archive.h"

#include <gtest/gtest.h>

using namespace EditorTest;

namespace {

using EditorSave = EditorFixture;
using Outcome = PositionEditorModel::SaveOutcome;
using Mode = PositionEditorModel::SaveMode;

std::vector<Position> district()
{
    return {pos("P-1", "Principal", "Ana Ruiz", {}, "Instruction", "North High"),
            pos("P-2", "Teacher", "Kim Lee", "P-1", "Instruction", "North High")};
}

TEST_F(EditorSave, RefusesMissingTitlesAndNamesBeforeCallingTheSave)
{
    struct Case {
        const char *payLevel;
        std::optional<const char *> jobTitle;
        const char *name;
        const char *message;
    };
    const Case cases[] = {
        {" \n", std::nullopt, "Zoe Park", "Enter a Pay Level and Job Title."},
        {"Teacher", " ", "Zoe Park", "Enter a Pay Level and Job Title."},
        {"Teacher", std::nullopt, "  ", "Enter an employee name or mark the position vacant."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        PositionEditorModel &editor = open(pos("P-9", "Teacher"), district(), true);
        editor.setPayLevel(c.payLevel);
        if (c.jobTitle)
            editor.setJobTitle(*c.jobTitle);
        editor.setEmployeeName(c.name);
        EXPECT_EQ(editor.save(Mode::close), Outcome::invalid);
        EXPECT_EQ(editor.errorMessage(), c.message);
        EXPECT_EQ(editor.employeeName(), c.name);
    }
    EXPECT_TRUE(requests.empty());
}

// An FTE beyond what any position holds is refused where it is typed; one a stored file
// already holds does not stand in the way of other edits of that position.
TEST_F(EditorSave, AnFteBeyondTheLimitIsRefusedOnlyWhenTyped)
{
    PositionEditorModel &typed = open(pos("P-9", "Teacher", "Zoe Park"), district(), true);
    typed.setFte(1000.5);
    EXPECT_EQ(typed.save(Mode::close), Outcome::invalid);
    EXPECT_EQ(typed.errorMessage(), "P-9 needs an FTE of at most 1,000.");
    typed.setFte(1000);
    EXPECT_EQ(typed.save(Mode::close), Outcome::closed);

    std::vector<Position> stored = district();
    stored[1].fte = 1e308;
    PositionEditorModel &edit = open(stored[1], stored, false);
    edit.setEmployeeName("Kim Lee-Park");
    EXPECT_EQ(edit.save(Mode::close), Outcome::closed);
    edit.setFte(5000);
    EXPECT_EQ(edit.save(Mode::close), Outcome::invalid);
    EXPECT_EQ(edit.errorMessage(), "P-2 needs an FTE of at most 1,000.");
    EXPECT_EQ(requests.size(), 2u);
}

TEST_F(EditorSave, BuildsTheRequestFromTheForm)
{
    PositionEditorModel &editor = open(pos(" P-9 ", "Teacher"), district(), true);
    editor.setPayLevel("  Teacher ");
    editor.setEmployeeName(" Zoe Park ");
    editor.setEmployeeNumber(" 77 ");
    editor.setDepartment(" Arts ");
    editor.setQuantity(4); // only a new vacancy counts its quantity
    editor.setAdditionalManagerID("P-2");
    editor.addAdditionalManager();
    editor.setAdditionalManagerID("P-1");
    editor.addAdditionalManager();
    editor.addSchoolAllocation();
    EXPECT_EQ(editor.save(Mode::close), Outcome::closed);
    ASSERT_EQ(requests.size(), 1u);
    const PositionEntryRequest &request = requests[0];
    EXPECT_EQ(request.position.id, "P-9");
    EXPECT_EQ(request.position.title, "Teacher");
    EXPECT_EQ(request.position.department, " Arts ");
    EXPECT_EQ(request.position.employee, (Employee{"77", "Zoe Park"}));
    EXPECT_EQ(request.position.dottedManagerIDs, (std::vector<std::string>{"P-1", "P-2"}));
    EXPECT_EQ(request.position.schoolAssignments, (std::vector<SchoolAssignment>{{"", 0.5}}));
    EXPECT_EQ(request.quantity, 1);
    EXPECT_FALSE(request.original);
    EXPECT_EQ(closes, 1);

    // An edit keeps its stored id exactly; a vacant edit still saves one position.
    Position spaced = pos(" P-8 ", "Aide", "", "P-1");
    std::vector<Position> positions = district();
    positions.push_back(spaced);
    PositionEditorModel &edit = open(spaced, positions, false);
    edit.setQuantity(3);
    EXPECT_EQ(edit.saveButtonTitle(), "Save");
    edit.save(Mode::close);
    EXPECT_EQ(requests.back().position.id, " P-8 ");
    EXPECT_FALSE(requests.back().position.employee);
    EXPECT_EQ(requests.back().quantity, 1);
    EXPECT_EQ(requests.back().original, spaced);
}

TEST_F(EditorSave, AnExactNameAsksBeforeCreatingASecondPerson)
{
    PositionEditorModel &editor = open(pos("P-9", "Teacher"), district(), true);
    editor.setEmployeeName("kim  LEE");
    dialogs.choices.push_back("Review Existing Matches");
    EXPECT_EQ(editor.save(Mode::close), Outcome::reviewingMatches);
    EXPECT_TRUE(requests.empty());
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].title, "This name already exists. Create a different person?");
    EXPECT_EQ(dialogs.questions[0].buttons, (QStringList{"Save as a Different Person", "Review Existing Matches"}));

    dialogs.choices.push_back("Save as a Different Person");
    EXPECT_EQ(editor.save(Mode::close), Outcome::closed);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].position.employee->name, "kim  LEE");

    // Renaming the person of an occupied position never asks.
    std::vector<Position> positions = district();
    positions.push_back(pos("P-3", "Teacher", "Bo Chen", "P-1"));
    PositionEditorModel &rename = open(positions.back(), positions, false);
    rename.setEmployeeName("Kim Lee");
    EXPECT_EQ(rename.save(Mode::close), Outcome::closed);
}

TEST_F(EditorSave, SaveAndAddAnotherStartsTheNextEntryFromTheSavedOne)
{
    saved = [](const PositionEntryRequest &request) {
        std::vector<Position> copies;
        for (int i = 1; i <= request.quantity; ++i) {
            copies.push_back(request.position);
            copies.back().id += i == 1 ? "" : "-" + std::to_string(i);
        }
        return copies;
    };
    PositionEditorModel &editor = open(pos("P-9", "Coach", "", "P-1"), district(), true);
    editor.setVacant(true);
    editor.setQuantity(3);
    EXPECT_EQ(editor.saveButtonTitle(), "Create 3 Vacant Positions");
    editor.setJobTitle("Head Coach");
    editor.setAdvancedOpen(true);
    EXPECT_EQ(editor.save(Mode::addAnother), Outcome::continued);
    EXPECT_EQ(requests[0].quantity, 3);
    EXPECT_EQ(editor.successMessage(), "Saved 3 position(s). Ready for the next entry.");
    EXPECT_TRUE(editor.isCreating());
    EXPECT_TRUE(editor.isVacant());
    EXPECT_FALSE(editor.isAdvancedOpen());
    EXPECT_EQ(editor.quantity(), 1);
    EXPECT_EQ(editor.position().jobTitle(), "Head Coach");
    EXPECT_EQ(editor.position().location, "North High");
    EXPECT_EQ(editor.entryPositions().size(), 5u);
    // The saved positions are offered at once.
    EXPECT_TRUE(editor.completions(PositionEditorModel::CompletionField::jobTitle).contains("Head Coach"));
    EXPECT_EQ(closes, 0);

    // After a person the next entry expects a person again; an edit is replaced in the list.
    saved = nullptr;
    PositionEditorModel &edit = open(district()[1], district(), false);
    edit.setEmployeeName("Kim Lee-Park");
    EXPECT_EQ(edit.save(Mode::addAnother), Outcome::continued);
    EXPECT_FALSE(edit.isVacant());
    EXPECT_TRUE(edit.isCreating());
    EXPECT_EQ(edit.entryPositions().size(), 2u);
    EXPECT_EQ(edit.entryPositions().back().employee->name, "Kim Lee-Park");
}

TEST_F(EditorSave, AFailedSaveKeepsTheFormAndRetries)
{
    PositionEditorModel &editor = open(pos("P-9", "Teacher"), district(), true);
    editor.setEmployeeName("Zoe Park");
    saveError = "Current organization is locked. Open Planning & Proposals to edit a named proposal instead.";
    EXPECT_EQ(editor.save(Mode::close), Outcome::failed);
    EXPECT_EQ(editor.errorMessage(), QString::fromStdString(saveError));
    EXPECT_EQ(editor.employeeName(), "Zoe Park");
    EXPECT_EQ(closes, 0);
    saveError.clear();
    EXPECT_EQ(editor.save(Mode::close), Outcome::closed);
    EXPECT_EQ(requests.size(), 2u);
}

// A closing save puts the saved position among the working positions; the lists made from
// them are built when next asked for, never from the positions before the save.
TEST_F(EditorSave, AClosingSaveLeavesListsThatShowTheSavedPosition)
{
    PositionEditorModel &editor = open(district()[1], district(), false);
    const auto managerLabels = [&] {
        std::vector<std::string> labels;
        for (const DropdownOption &option : editor.managerOptions())
            labels.push_back(option.title.toStdString());
        return labels;
    };
    EXPECT_EQ(managerLabels(), (std::vector<std::string>{"None — top-level position", "Principal — Ana Ruiz"}));
    EXPECT_TRUE(editor.completions(PositionEditorModel::CompletionField::department).contains("Instruction"));
    const int built = editor.listBuildCount();

    editor.setEmployeeName("Kim Lee-Park");
    editor.setJobTitle("Lead Teacher");
    editor.setDepartment("Science");
    const uint64_t version = editor.entryVersion();
    EXPECT_EQ(editor.save(Mode::close), Outcome::closed);
    EXPECT_TRUE(editor.hasClosed());
    EXPECT_EQ(closes, 1);
    EXPECT_GT(editor.entryVersion(), version);
    EXPECT_EQ(editor.listBuildCount(), built) << "nothing asked for the lists yet";
    ASSERT_EQ(editor.entryPositions().size(), 2u);
    EXPECT_EQ(editor.entryPositions().back().employee->name, "Kim Lee-Park");

    editor.load(pos("P-9", "Coach", "", "P-1"), std::nullopt, true);
    EXPECT_FALSE(editor.hasClosed());
    EXPECT_EQ(managerLabels(), (std::vector<std::string>{"None — top-level position", "Lead Teacher — Kim Lee-Park",
                                                         "Principal — Ana Ruiz"}));
    EXPECT_TRUE(editor.completions(PositionEditorModel::CompletionField::department).contains("Science"));
    EXPECT_TRUE(editor.completions(PositionEditorModel::CompletionField::jobTitle).contains("Lead Teacher"));
    EXPECT_EQ(editor.listBuildCount(), built + 1);
    EXPECT_EQ(editor.additionalManagerLabel("P-2"), "Lead Teacher — Kim Lee-Park");
}

// Through the document's own save: its refusals reach the form unchanged.
class EditorArchiveSave : public EditorFixture {
protected:
    PositionEditorModel &openOn(const Position &position, bool isNew)
    {
        saved = [this](const PositionEntryRequest &request) { return archive.savePositionEntry(request, "S-1"); };
        return open(position, archive.organization.positions, isNew, *archive.sheets, "S-1");
    }
    OrganizationArchive archive = [] {
        OrganizationArchive a;
        a.organization.positions = district();
        a.sheets = std::vector<OrganizationSheet>{{"S-1", "Science", {"P-1", "P-2"}}};
        return a;
    }();
};

TEST_F(EditorArchiveSave, TheDocumentRefusesBadValuesAndDrawnCards)
{
    PositionEditorModel &editor = openOn(pos("P-9", "Coach", "", "P-1"), true);
    editor.setVacant(true);
    editor.setQuantity(0);
    EXPECT_EQ(editor.save(Mode::close), Outcome::failed);
    EXPECT_EQ(editor.errorMessage(), "Quantity must be a whole number from 1 to 1,000.");
    editor.setQuantity(2);
    editor.setFte(0);
    editor.save(Mode::close);
    EXPECT_EQ(editor.errorMessage(), "P-9 needs a positive FTE.");
    editor.setFte(1);
    editor.addSchoolAllocation();
    editor.setSchoolAssignment(editor.schoolAllocations()[0].id, {"Oak", 0.6});
    editor.save(Mode::close);
    EXPECT_EQ(editor.errorMessage(), "School assignment FTE must total P-9's position FTE.");
    editor.addSchoolAllocation();
    editor.setSchoolAssignment(editor.schoolAllocations()[1].id, {"Elm", 0.4});
    EXPECT_EQ(editor.save(Mode::close), Outcome::closed);
    EXPECT_EQ(archive.organization.positions.size(), 4u);
    EXPECT_EQ(archive.sheets->at(0).positionIDs, (std::vector<std::string>{"P-1", "P-2", "P-9", "P-9-2"}));

    // A card drawn with a reporting callout is not the stored position: the save is refused.
    Position card = archive.organization.positions[1];
    card.reportingCallout = ReportingCallout{};
    PositionEditorModel &stale = openOn(card, false);
    stale.setEmployeeName("Kim Lee-Park");
    EXPECT_EQ(stale.save(Mode::close), Outcome::failed);
    EXPECT_EQ(stale.errorMessage(), "This position changed or no longer exists. Reopen the editor before saving.");
    EXPECT_EQ(archive.organization.positions[1].employee->name, "Kim Lee");
}

} // namespace
