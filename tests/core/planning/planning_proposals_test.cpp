#include "planning_test_support.h"

#include "core/document/position_entry.h"

#include <gtest/gtest.h>

using namespace TestDocs;

namespace {

// A over B and C; C has a dotted line to B; B and C form a group; both are on chart S.
OrganizationArchive district()
{
    OrganizationArchive a = archive({person("A"), person("B", "A"), withDotted(person("C", "A"), {"B"})});
    a.sheets = std::vector{sheet("S", "Team", {"A", "B", "C"}), sheet("T", "Top", {"A"})};
    a.groups = std::vector{PositionGroup{"group-1", "Teachers", {"B", "C"}}};
    return a;
}

} // namespace

TEST(PlanningLock, RelockKeepsTheBaselineAndFailsOnlyWhileCurrentDiffers)
{
    OrganizationArchive invalid = archive({person("A", "missing")});
    EXPECT_EQ(errorOf([&] { invalid.lockForPlanning(); }), "A references an invalid manager: missing.");
    EXPECT_FALSE(invalid.planning.has_value());

    OrganizationArchive a = archive({person("A")});
    a.lockForPlanning();
    const Date lockedAt = a.planning->lockedAt;
    a.unlockPlanningCurrent();
    OrganizationArchive changed = a;
    changed.pageTitle = "New";
    const OrganizationArchive before = changed;
    EXPECT_EQ(errorOf([&] { changed.lockForPlanning(); }),
              "Current has changed since this planning baseline. Existing proposals remain tied to the original "
              "lock; use a separate organization file for a new planning cycle.");
    EXPECT_EQ(changed, before);

    a.checkpoint("Saved version");
    a.lockForPlanning();
    EXPECT_EQ(a.planning->lockedAt, lockedAt);
}

TEST(Proposals, CreatedFromTheBaselineWithTrimmedUniqueNames)
{
    OrganizationArchive a = district();
    EXPECT_EQ(errorOf([&] { a.createProposal("Plan"); }), "Lock the current organization before creating a proposal.");
    a.lockForPlanning();
    a.createProposal("  Plan A \n");
    a.planning->proposals[0].state.organization.positions.pop_back();

    const OrganizationArchive before = a;
    EXPECT_EQ(errorOf([&] { a.createProposal(" PLAN A "); }), "Enter a unique, nonempty proposal name.");
    EXPECT_EQ(a, before);
    a.createProposal("Plan B");
    EXPECT_EQ(a.planning->proposals[0].name, "Plan A");
    EXPECT_EQ(a.planning->proposals[1].state, a.planning->baseline) << "never a copy of another proposal";
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
