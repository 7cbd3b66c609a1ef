#include "planning_test_support.h"

#include "core/document/position_entry.h"

#include <gtest/gtest.h>

#include <functional>

using namespace TestDocs;

namespace {

const char *const unknownProposal = "00000000-0000-4000-8000-000000000000";
const char *const baselineMessage = "That Position ID belongs to the locked baseline. Use a new Position ID.";

OrganizationArchive district()
{
    OrganizationArchive a = archive({person("A"), person("B", "A"), vacancy("V-2", "A")});
    a.sheets = std::vector{sheet("S", "Team", {"A", "B"})};
    a.checkpoint("Saved before planning");
    return a;
}

PositionEntryRequest newEntry(Position position, int quantity = 1)
{
    return PositionEntryRequest{.position = std::move(position), .quantity = quantity, .includeOnSheet = true};
}

// Everything of the document but its proposals.
OrganizationArchive withoutProposals(OrganizationArchive a)
{
    a.planning->proposals.clear();
    return a;
}

} // namespace

TEST(ProposalEntry, NewEntryGoesIntoTheProposalOnly)
{
    PlannedDocument d(district());
    const OrganizationArchive before = d.archive;

    const std::vector<Position> saved = d.archive.saveProposalEntry(newEntry(vacancy("N", "A"), 2), d.proposalID, "S");
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved[0].id, "N");
    EXPECT_EQ(saved[1].id, "N-2");
    EXPECT_EQ(d.proposed().size(), 5u);
    EXPECT_EQ((*d.state().sheets)[0].positionIDs, (std::vector<std::string>{"A", "B", "N", "N-2"}));
    // Current, its versions, the baseline and the lock are exactly as they were.
    EXPECT_EQ(withoutProposals(d.archive), withoutProposals(before));
}

TEST(ProposalEntry, WorksWhileCurrentIsUnlocked)
{
    PlannedDocument d(district());
    d.archive.unlockPlanningCurrent();
    d.archive.saveProposalEntry(newEntry(person("N", "A")), d.proposalID, std::nullopt);
    EXPECT_EQ(d.proposed().back().id, "N");
    EXPECT_EQ(d.archive.organization, district().organization);
}

TEST(ProposalEntry, EditOfABaselinePositionIsAllowed)
{
    PlannedDocument d(district());
    Position edited = d.proposed("B");
    edited.fte = 0.5;
    const PositionEntryRequest request{.position = edited, .original = d.proposed("B"), .quantity = 1};
    EXPECT_EQ(d.archive.saveProposalEntry(request, d.proposalID, std::nullopt), std::vector<Position>{edited});
    EXPECT_EQ(d.proposed("B"), edited);
    EXPECT_EQ(d.archive.revisions.size(), 1u) << "no version for a proposal edit";
}

TEST(ProposalEntry, Refusals)
{
    PlannedDocument d(district());
    // B was deleted from the proposal, and so was V-2, the first free number after V.
    std::erase_if(d.proposed(), [](const Position &p) { return p.id == "B" || p.id == "V-2"; });
    d.state().sheets->front().positionIDs = {"A"};
    d.archive.createProposal("Other");
    d.archive.planning->proposals[1].state.sheets.reset();
    const std::string id = d.proposalID;
    const std::string other = d.planning().proposals[1].id;
    const OrganizationArchive before = d.archive;

    struct Case {
        const char *what;
        std::function<void(OrganizationArchive &)> save;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"id of a deleted baseline position", [&](auto &a) { a.saveProposalEntry(newEntry(person("B", "A")), id, "S"); },
         baselineMessage},
        {"numbered copy with a baseline id",
         [&](auto &a) { a.saveProposalEntry(newEntry(vacancy("V", "A"), 3), id, "S"); }, baselineMessage},
        // The request is not even looked at.
        {"unknown proposal", [](auto &a) { a.saveProposalEntry(newEntry(vacancy("N"), 0), unknownProposal, "S"); },
         "Select an existing proposal."},
        {"chart the proposal does not have",
         [&](auto &a) { a.saveProposalEntry(newEntry(vacancy("N")), other, "S"); },
         "The selected chart no longer exists. Reopen the editor."},
        {"id the proposal holds", [&](auto &a) { a.saveProposalEntry(newEntry(vacancy("A")), id, "S"); },
         "Position ID A already exists. Enter a unique Position ID."},
        {"edit of a changed position",
         [&](auto &a) {
             Position stale = person("A");
             stale.fte = 2;
             a.saveProposalEntry(PositionEntryRequest{.position = stale, .original = stale}, id, std::nullopt);
         },
         "This position changed or no longer exists. Reopen the editor before saving."},
        {"include on an unknown chart", [&](auto &a) { a.includeProposalPositionFromEntry("A", other, "S"); },
         "Select a department sheet first."},
        {"include of an unknown position", [&](auto &a) { a.includeProposalPositionFromEntry("B", id, "S"); },
         "A selected position no longer exists. Reopen the picker."},
        {"include, unknown proposal", [](auto &a) { a.includeProposalPositionFromEntry("A", unknownProposal, "S"); },
         "Select an existing proposal."},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(errorOf([&] { c.save(d.archive); }), c.message) << c.what;
        EXPECT_EQ(d.archive, before) << c.what;
    }

    OrganizationArchive unplanned = district();
    EXPECT_EQ(errorOf([&] { unplanned.saveProposalEntry(newEntry(vacancy("N")), id, std::nullopt); }),
              "Lock the current organization first.");
    EXPECT_EQ(errorOf([&] { unplanned.includeProposalPositionFromEntry("A", id, "S"); }),
              "Lock the current organization first.");
}

TEST(ProposalEntry, IncludeListsAnExistingPositionOnTheProposalChart)
{
    PlannedDocument d(district());
    const OrganizationArchive before = d.archive;
    d.archive.includeProposalPositionFromEntry("V-2", d.proposalID, "S");
    d.archive.includeProposalPositionFromEntry("A", d.proposalID, "S");
    EXPECT_EQ((*d.state().sheets)[0].positionIDs, (std::vector<std::string>{"A", "B", "V-2"}));
    EXPECT_EQ(withoutProposals(d.archive), withoutProposals(before));
}
