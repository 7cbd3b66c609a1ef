#include "planning_test_support.h"

#include "core/document/position_entry.h"
#include "core/planning/proposal_changes.h"

#include <gtest/gtest.h>

#include <functional>

using namespace TestDocs;

namespace {

const char *const unknownProposal = "00000000-0000-4000-8000-000000000000";

// A over B and C; C has a dotted line to B; B and C form a group; both are on chart S.
OrganizationArchive district()
{
    OrganizationArchive a = archive({person("A"), person("B", "A"), withDotted(person("C", "A"), {"B"})});
    a.sheets = std::vector{sheet("S", "Team", {"A", "B", "C"}), sheet("T", "Top", {"A"})};
    a.groups = std::vector{PositionGroup{"group-1", "Teachers", {"B", "C"}}};
    return a;
}

} // namespace

TEST(Proposals, CreatedFromTheBaselineWithTrimmedUniqueNames)
{
    OrganizationArchive a = district();
    EXPECT_EQ(errorOf([&] { a.createProposal("Plan"); }), "Lock the current organization before creating a proposal.");
    a.lockForPlanning();
    const std::string first = a.createProposal("  Plan A \n");
    a.planning->proposals[0].state.organization.positions.pop_back();

    const OrganizationArchive before = a;
    for (const char *name : {"", " \t", "plan a", " PLAN A "})
        EXPECT_EQ(errorOf([&] { a.createProposal(name); }), "Enter a unique, nonempty proposal name.") << name;
    EXPECT_EQ(a, before);

    // Proposals stay open to new ones after Current is unlocked.
    a.unlockPlanningCurrent();
    const std::string second = a.createProposal("Plan B");
    ASSERT_EQ(a.planning->proposals.size(), 2u);
    const OrganizationProposal &created = a.planning->proposals[1];
    EXPECT_EQ(created.id, second);
    EXPECT_NE(first, second);
    EXPECT_EQ(canonicalUUID(second), second);
    EXPECT_EQ(a.planning->proposals[0].name, "Plan A");
    EXPECT_EQ(created.state, a.planning->baseline) << "never a copy of another proposal";
    EXPECT_EQ(&a.planning->proposal(second), &created);
    EXPECT_EQ(errorOf([&] { a.planning->proposal(unknownProposal); }), "Select an existing proposal.");
    EXPECT_TRUE(a.revisions.empty());
}

TEST(Proposals, RestoreBringsBackTheLockedPosition)
{
    PlannedDocument d(district());
    // The proposal drops B, then C, with C's dotted line to B.
    d.proposed("C").dottedManagerIDs.clear();
    std::erase_if(d.proposed(), [](const Position &p) { return p.id == "B" || p.id == "C"; });
    for (OrganizationSheet &s : *d.state().sheets)
        std::erase(s.positionIDs, "B"), std::erase(s.positionIDs, "C");
    d.state().groups = std::vector<PositionGroup>{};
    d.archive.unlockPlanningCurrent();

    d.archive.restoreProposalPosition("C", d.proposalID);
    // B is not back yet: C keeps its manager A but loses the dotted line.
    Position expectedC = withDotted(person("C", "A"), {});
    EXPECT_EQ(d.proposed().back(), expectedC);
    EXPECT_EQ((*d.state().sheets)[0].positionIDs, (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ((*d.state().sheets)[1].positionIDs, (std::vector<std::string>{"A"}));
    EXPECT_EQ(d.state().groups, std::vector<PositionGroup>{}) << "groups are left alone";

    d.archive.restoreProposalPosition("B", d.proposalID);
    EXPECT_EQ(d.proposed().back(), person("B", "A"));
    EXPECT_EQ(errorOf([&] { d.archive.restoreProposalPosition("B", d.proposalID); }),
              "This position is already active in the proposal.");
    EXPECT_TRUE(d.archive.revisions.empty());
    EXPECT_EQ(d.archive.organization, d.planning().baseline.organization) << "Current is untouched";
}

TEST(Proposals, RestoreUnderADeletedManagerComesBackAtTheTop)
{
    PlannedDocument d(district());
    d.proposed("C").dottedManagerIDs.clear();
    d.proposed().clear();
    d.state().sheets.reset();

    d.archive.restoreProposalPosition("B", d.proposalID);
    EXPECT_EQ(d.proposed().back().managerID, std::nullopt);
    d.archive.restoreProposalPosition("A", d.proposalID);
    EXPECT_EQ(d.proposed().front().managerID, std::nullopt) << "restoring the manager later does not re-attach";
    EXPECT_FALSE(d.state().sheets.has_value());
}

TEST(Proposals, RestoreRefusals)
{
    PlannedDocument d(district());
    std::erase_if(d.proposed(), [](const Position &p) { return p.id == "C"; });
    // Another position now holds C's employee number, so C cannot come back.
    d.proposed("B").employee->id = "E-C";

    const OrganizationArchive before = d.archive;
    struct Case {
        std::string id;
        std::string proposalID;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"X", unknownProposal, "This position is not in the locked baseline."},
        {"A", unknownProposal, "Select an existing proposal."},
        {"A", d.proposalID, "This position is already active in the proposal."},
        {"C", d.proposalID,
         "Employee number E-C is already assigned to another position. Enter a unique employee number."},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(errorOf([&] { d.archive.restoreProposalPosition(c.id, c.proposalID); }), c.message) << c.id;
        EXPECT_EQ(d.archive, before) << c.id;
    }

    OrganizationArchive unplanned = district();
    EXPECT_EQ(errorOf([&] { unplanned.restoreProposalPosition("A", unknownProposal); }),
              "This position is not in the locked baseline.");
}

TEST(Proposals, DeleteRemovesFromChartsAndBreaksTwoMemberGroups)
{
    OrganizationArchive current = district();
    current.organization.positions.push_back(person("D", "A"));
    current.groups = std::vector{PositionGroup{"group-1", "Pair", {"B", "D"}},
                                 PositionGroup{"group-2", "Trio", {"A", "C", "D"}}};
    PlannedDocument d(current);
    d.proposed("C").dottedManagerIDs.clear();
    d.archive.unlockPlanningCurrent();

    d.archive.deleteProposalPosition("D", d.proposalID);
    EXPECT_EQ(d.state().groups, (std::vector<PositionGroup>{PositionGroup{"group-2", "Trio", {"A", "C"}}}));
    d.archive.deleteProposalPosition("B", d.proposalID);
    EXPECT_EQ((*d.state().sheets)[0].positionIDs, (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(d.proposed().size(), 2u);
    EXPECT_TRUE(d.archive.revisions.empty());
    EXPECT_EQ(d.archive.organization, current.organization) << "Current is untouched";
    EXPECT_EQ(d.planning().baseline.organization, current.organization);

    // A position the proposal added and then deleted leaves no trace in the changes.
    d.proposed().push_back(vacancy("N", "A"));
    d.archive.deleteProposalPosition("N", d.proposalID);
    const std::vector<ProposalChange> changes = d.planning().changes(d.proposalID);
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[2].positionID, "D");
}

TEST(Proposals, MakeVacantKeepsEverythingElse)
{
    PlannedDocument d(district());
    const PlanningSnapshot before = d.state();
    d.archive.makeProposalPositionVacant("B", d.proposalID);
    PlanningSnapshot expected = before;
    expected.organization.positions[1].employee.reset();
    EXPECT_EQ(d.state(), expected);
    EXPECT_TRUE(d.archive.revisions.empty()) << "the recovery version stays in the throwaway archive";
    EXPECT_EQ(d.archive.organization, district().organization);
}

TEST(Proposals, DeleteAndVacancyRefusals)
{
    PlannedDocument d(district());
    d.archive.createProposal("Other");
    const OrganizationArchive before = d.archive;
    struct Case {
        const char *what;
        std::function<void(OrganizationArchive &)> edit;
        std::string message;
    };
    const std::string id = d.proposalID;
    const std::vector<Case> cases = {
        {"delete, unknown proposal", [](auto &a) { a.deleteProposalPosition("C", unknownProposal); },
         "Select an existing proposal."},
        {"delete, unknown position", [&](auto &a) { a.deleteProposalPosition("X", id); },
         "This position no longer exists."},
        {"delete, position with reports", [&](auto &a) { a.deleteProposalPosition("B", id); },
         "Cannot delete: 1 position(s) still report here. Move all primary and additional/dotted reports first, "
         "including reports on other charts.\n\nPerson C \u2014 Teacher [C]"},
        {"vacancy, unknown proposal", [](auto &a) { a.makeProposalPositionVacant("C", unknownProposal); },
         "Select an existing proposal."},
        {"vacancy, unknown position", [&](auto &a) { a.makeProposalPositionVacant("X", id); },
         "This position no longer exists."},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(errorOf([&] { c.edit(d.archive); }), c.message) << c.what;
        EXPECT_EQ(d.archive, before) << c.what;
    }
    d.archive.makeProposalPositionVacant("C", id);
    EXPECT_EQ(errorOf([&] { d.archive.makeProposalPositionVacant("C", id); }), "This position is already vacant.");

    OrganizationArchive unplanned = district();
    EXPECT_EQ(errorOf([&] { unplanned.deleteProposalPosition("C", unknownProposal); }),
              "Lock the current organization first.");
    EXPECT_EQ(errorOf([&] { unplanned.makeProposalPositionVacant("C", unknownProposal); }),
              "Lock the current organization first.");
}

TEST(Proposals, RestoreBringsBackTheLockedPositionWithoutLinesToDeletedOnes)
{
    PlannedDocument d(district());
    d.drop({"A", "B", "C"});
    d.archive.unlockPlanningCurrent();

    d.archive.restoreProposalPosition("C", d.proposalID);
    d.archive.restoreProposalPosition("A", d.proposalID);
    EXPECT_EQ(d.proposed()[0], withDotted(person("C"), {})) << "restoring the manager later does not re-attach";
    EXPECT_EQ((*d.state().sheets)[0].positionIDs, (IDs{"C", "A"}));
    EXPECT_EQ(d.archive.organization, d.planning().baseline.organization) << "Current is untouched";
}

TEST(Proposals, RefusalsChangeNothingAndEditsLeaveCurrentAlone)
{
    PlannedDocument d(district());
    d.drop({"C"});
    // Another position now holds C's employee number, so C cannot come back.
    d.proposed("B").employee->id = "E-C";
    const std::string id = d.proposalID;
    const OrganizationArchive before = d.archive;
    const auto refused = [&](auto edit) {
        const std::string message = errorOf(edit);
        EXPECT_EQ(d.archive, before) << message;
        return message;
    };
    EXPECT_EQ(refused([&] { d.archive.restoreProposalPosition("C", id); }),
              "Employee number E-C is already assigned to another position. Enter a unique employee number.");
    EXPECT_EQ(refused([&] { d.archive.restoreProposalPosition("A", id); }),
              "This position is already active in the proposal.");
    EXPECT_EQ(refused([&] { d.archive.makeProposalPositionVacant("B", "nope"); }), "Select an existing proposal.");
    // "B" belongs to the locked baseline; the chart T is gone from the proposal.
    (*d.archive.planning->proposals[0].state.sheets).pop_back();
    const OrganizationArchive trimmed = d.archive;
    const auto entry = [](Position p) { return PositionEntryRequest{.position = p, .includeOnSheet = true}; };
    EXPECT_EQ(errorOf([&] { d.archive.saveProposalEntry(entry(vacancy("C", "A")), id, std::nullopt); }),
              "That Position ID belongs to the locked baseline. Use a new Position ID.");
    EXPECT_EQ(errorOf([&] { d.archive.saveProposalEntry(entry(vacancy("N")), id, "T"); }),
              "The selected chart no longer exists. Reopen the editor.");
    EXPECT_EQ(d.archive, trimmed);

    d.archive.makeProposalPositionVacant("B", id);
    d.archive.deleteProposalPosition("B", id);
    EXPECT_EQ(idsOf(d.proposed()), IDs{"A"});
    const std::vector<Position> saved = d.archive.saveProposalEntry(
        {.position = vacancy("N", "A"), .quantity = 2, .includeOnSheet = true}, id, "S");
    EXPECT_EQ(idsOf(saved), (IDs{"N", "N-2"}));
    EXPECT_EQ((*d.state().sheets)[0].positionIDs, (IDs{"A", "N", "N-2"}));
    EXPECT_EQ(d.archive.organization, district().organization) << "Current is untouched";
    EXPECT_TRUE(d.archive.revisions.empty()) << "the recovery version stays in the throwaway archive";
}
