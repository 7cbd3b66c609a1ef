#include "planning_test_support.h"

#include "core/position_entry.h"

#include <gtest/gtest.h>

using namespace TestDocs;

namespace {

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

TEST(ProposalEntry, EntriesGoIntoTheProposalOnly)
{
    PlannedDocument d(district());
    const OrganizationArchive before = d.archive;

    const std::vector<Position> saved = d.archive.saveProposalEntry(newEntry(vacancy("N", "A"), 2), d.proposalID, "S");
    EXPECT_EQ(idsOf(saved), (std::vector<std::string>{"N", "N-2"}));
    d.archive.includeProposalPositionFromEntry("V-2", d.proposalID, "S");
    EXPECT_EQ((*d.state().sheets)[0].positionIDs, (std::vector<std::string>{"A", "B", "N", "N-2", "V-2"}));

    Position edited = d.proposed("B");
    edited.fte = 0.5;
    d.archive.saveProposalEntry({.position = edited, .original = d.proposed("B")}, d.proposalID, std::nullopt);
    EXPECT_EQ(d.proposed("B"), edited);
    // Current, its versions, the baseline and the lock are exactly as they were.
    EXPECT_EQ(withoutProposals(d.archive), withoutProposals(before));
}

TEST(ProposalEntry, BaselineIdsAndMissingChartsAreRefused)
{
    PlannedDocument d(district());
    // B was deleted from the proposal, and so was V-2, the first free number after V.
    d.drop({"B", "V-2"});
    d.state().sheets.reset();
    const OrganizationArchive before = d.archive;
    const std::vector<std::tuple<PositionEntryRequest, std::optional<std::string>, std::string>> cases = {
        {newEntry(person("B", "A")), std::nullopt, baselineMessage},
        {newEntry(vacancy("V", "A"), 3), std::nullopt, baselineMessage},
        {newEntry(vacancy("N")), "S", "The selected chart no longer exists. Reopen the editor."},
    };
    for (const auto &[request, sheetID, message] : cases) {
        EXPECT_EQ(errorOf([&] { d.archive.saveProposalEntry(request, d.proposalID, sheetID); }), message)
            << request.position.id;
        EXPECT_EQ(d.archive, before);
    }
}
