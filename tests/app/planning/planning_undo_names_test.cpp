#include "app/planning/planning_workspace_controller.h"

#include "app/shell/organization_document.h"
#include "core/document/position_entry.h"

#include "app_test_support.h"
#include "scripted_dialogs.h"
#include "undo_steps.h"

#include <gtest/gtest.h>

// Every planning edit is one step, named in Edit ▸ Undo and Redo as the user knows it.

namespace {

const Position &positionIn(const Organization &organization, const std::string &id)
{
    for (const Position &position : organization.positions) {
        if (position.id == id)
            return position;
    }
    throw std::out_of_range(id);
}

} // namespace

TEST(PlanningUndoNames, EveryPlanningEditIsAStepOfItsOwnName)
{
    // P1 over P2 and P3; a chart "Finance" lists P1 alone.
    OrganizationArchive archive = AppTest::district(2);
    archive.sheets = std::vector{OrganizationSheet::make("Finance", {"P1"})};
    OrganizationDocument document;
    document.setArchive(archive);
    ScriptedDialogs dialogs;
    PlanningWorkspaceController controller(document, {}, dialogs);
    const auto proposed = [&]() -> const Organization & {
        return document.archive().planning->proposals.front().state.organization;
    };

    AppTest::expectOneNamedStepEach(document, {
        {"Lock Current", [&] { controller.lockCurrent(); }},
        {"Create Proposal",
         [&] {
             controller.setProposalName("Option A");
             controller.createProposal();
         }},
        {"Make Vacant in Proposal",
         [&] {
             controller.select("P3");
             dialogs.choices = {"Make Vacant in Proposal"};
             controller.requestVacancy();
         }},
        {"Edit Proposal Position",
         [&] {
             Position edited = positionIn(proposed(), "P2");
             edited.location = "Annex";
             controller.saveProposalEntry(
                 PositionEntryRequest{.position = edited, .original = positionIn(proposed(), "P2")});
         }},
        {"Delete in Proposal",
         [&] {
             controller.select("P2");
             dialogs.choices = {"Delete in Proposal"};
             controller.requestDeletion();
         }},
        {"Restore Deleted Position",
         [&] {
             controller.select("P2");
             controller.restoreSelected();
         }},
        {"Include Proposal Position",
         [&] {
             controller.setSheetID(document.archive().sheets->front().id);
             controller.includeProposalPositionFromEntry("P3");
         }},
        {"Unlock Current", [&] { controller.unlockCurrent(); }},
    });
    EXPECT_TRUE(dialogs.alerts.empty());
    EXPECT_TRUE(dialogs.exhausted());
}
