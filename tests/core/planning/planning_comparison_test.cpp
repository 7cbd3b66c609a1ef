#include "planning_test_support.h"

#include "core/planning/proposal_changes.h"

#include <gtest/gtest.h>

#include <map>

using namespace TestDocs;

namespace {

// A over B and C; B over D (dotted to C) and E; F at the top.
OrganizationArchive district()
{
    OrganizationArchive a = archive({person("A"), person("B", "A"), person("C", "A"),
                                     withDotted(person("D", "B"), {"C"}), vacancy("E", "B"), person("F")});
    a.sheets = std::vector{sheet("S", "B's team", {"B", "D", "E"}), sheet("T", "Top", {"A", "F"})};
    return a;
}

const Position *find(const OrganizationArchive &archive, const std::string &id)
{
    const std::vector<Position> &positions = archive.organization.positions;
    const auto it = std::find_if(positions.begin(), positions.end(), [&](const Position &p) { return p.id == id; });
    return it == positions.end() ? nullptr : &*it;
}

void deleteFromProposal(PlannedDocument &d, std::initializer_list<std::string> ids)
{
    for (const std::string &id : ids)
        std::erase_if(d.proposed(), [&](const Position &p) { return p.id == id; });
}

} // namespace

TEST(ComparisonArchive, UnchangedProposalIsItsOwnArchive)
{
    PlannedDocument d(district());
    d.state().pageTitle = "Plan title";
    EXPECT_EQ(d.planning().comparisonArchive(d.proposalID), d.state().archive());
}

TEST(ComparisonArchive, MarksEveryChangedPosition)
{
    PlannedDocument d(district());
    d.proposed("E").managerID = "C";
    d.proposed("F").fte = 0.5;
    d.proposed().push_back(vacancy("N", "F"));

    const OrganizationArchive comparison = d.planning().comparisonArchive(d.proposalID);
    ASSERT_EQ(comparison.organization.positions.size(), 7u);
    std::map<std::string, std::optional<ProposalChangeKind>> marks;
    for (const Position &p : comparison.organization.positions)
        marks[p.id] = p.proposalChange;
    using K = ProposalChangeKind;
    EXPECT_EQ(marks, (std::map<std::string, std::optional<K>>{{"A", std::nullopt},
                                                              {"B", std::nullopt},
                                                              {"C", std::nullopt},
                                                              {"D", std::nullopt},
                                                              {"E", K::moved},
                                                              {"F", K::modified},
                                                              {"N", K::added}}));
}

TEST(ComparisonArchive, DeletedSubtreeStandsWhereItStood)
{
    PlannedDocument d(district());
    deleteFromProposal(d, {"B", "D", "E"});
    (*d.state().sheets)[0].positionIDs = {};

    const OrganizationArchive comparison = d.planning().comparisonArchive(d.proposalID);
    const std::vector<Position> &positions = comparison.organization.positions;
    ASSERT_EQ(positions.size(), 6u);
    // Appended in change order, after the proposal's own positions.
    EXPECT_EQ(positions[3].id, "B");
    EXPECT_EQ(positions[4].id, "D");
    EXPECT_EQ(positions[5].id, "E");
    for (size_t i = 3; i < 6; ++i)
        EXPECT_EQ(positions[i].proposalChange, ProposalChangeKind::deleted) << positions[i].id;
    EXPECT_EQ(positions[3].managerID, "A");
    EXPECT_EQ(positions[4].managerID, "B");
    EXPECT_EQ(positions[4].dottedManagerIDs, std::vector<std::string>{}) << "dotted lines of deletions are not drawn";
    EXPECT_EQ(positions[3].employee, (Employee{"deleted-B", "Person B"}));
    EXPECT_EQ(positions[5].employee, std::nullopt);
    // Back on the proposal chart whose baseline copy listed them, and on no other.
    EXPECT_EQ((*comparison.sheets)[0].positionIDs, (std::vector<std::string>{"B", "D", "E"}));
    EXPECT_EQ((*comparison.sheets)[1].positionIDs, (std::vector<std::string>{"A", "F"}));
}

TEST(ComparisonArchive, DeletedEmployeeNumberAvoidsNumbersInUse)
{
    PlannedDocument d(district());
    deleteFromProposal(d, {"D"});
    d.proposed("A").employee->id = "deleted-D";
    d.proposed("C").employee->id = "deleted-D_";

    const OrganizationArchive comparison = d.planning().comparisonArchive(d.proposalID);
    const Position *deleted = find(comparison, "D");
    ASSERT_NE(deleted, nullptr);
    EXPECT_EQ(deleted->employee, (Employee{"deleted-D__", "Person D"}));
}

TEST(ComparisonArchive, DeletedPositionOnAChartTheProposalDropped)
{
    PlannedDocument d(district());
    deleteFromProposal(d, {"F"});
    d.state().sheets->erase(d.state().sheets->begin() + 1);

    const OrganizationArchive comparison = d.planning().comparisonArchive(d.proposalID);
    ASSERT_NE(find(comparison, "F"), nullptr);
    EXPECT_EQ(comparison.sheets->size(), 1u);
    EXPECT_EQ((*comparison.sheets)[0].positionIDs, (std::vector<std::string>{"B", "D", "E"}));
}

TEST(ComparisonArchive, UnknownProposal)
{
    PlannedDocument d(district());
    EXPECT_EQ(errorOf([&] { d.planning().comparisonArchive("nope"); }), "Select an existing proposal.");
}

TEST(ComparisonArchive, MarksChangesAndDeletedSubtreeStandsWhereItStood)
{
    // A over B and C; B over D (dotted to C) and E; F at the top.
    OrganizationArchive current = archive({person("A"), person("B", "A"), person("C", "A"),
                                           withDotted(person("D", "B"), {"C"}), vacancy("E", "B"), person("F")});
    current.sheets = std::vector{sheet("S", "B's team", {"B", "D", "E"}), sheet("T", "Top", {"A", "F"})};
    PlannedDocument d(current);
    d.drop({"B", "D", "E"});
    d.proposed("F").managerID = "C";
    d.proposed().push_back(vacancy("N", "F"));
    // Deleted positions get numbers no remaining position uses.
    d.proposed("C").employee->id = "deleted-B";
    d.proposed("F").employee->id = "deleted-B_";

    const OrganizationArchive comparison = d.planning().comparisonArchive(d.proposalID);
    const std::vector<Position> &positions = comparison.organization.positions;
    // Deletions are appended in change order, after the proposal's own positions.
    EXPECT_EQ(idsOf(positions), (IDs{"A", "C", "F", "N", "B", "D", "E"}));
    using K = ProposalChangeKind;
    const std::vector<std::optional<K>> marks = {std::nullopt, K::modified, K::moved, K::added,
                                                 K::deleted,   K::deleted,  K::deleted};
    for (size_t i = 0; i < positions.size(); ++i)
        EXPECT_EQ(positions[i].proposalChange, marks[i]) << positions[i].id;
    EXPECT_EQ(positions[5].dottedManagerIDs, IDs{}) << "dotted lines of deletions are not drawn";
    EXPECT_EQ(positions[4].employee, (Employee{"deleted-B__", "Person B"}));
    // Back on the proposal chart whose baseline copy listed them, and on no other.
    EXPECT_EQ((*comparison.sheets)[0].positionIDs, (IDs{"B", "D", "E"}));
    EXPECT_EQ((*comparison.sheets)[1].positionIDs, (IDs{"A", "F"}));
    (*d.state().sheets)[1].id = "U"; // a chart of the proposal the lock never had
    EXPECT_EQ(errorOf([&] { d.planning().changes(d.proposalID, "U"); }), "The locked chart no longer exists.");
}
