#include "planning_test_support.h"

#include <gtest/gtest.h>

using namespace TestDocs;

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
    EXPECT_EQ(idsOf(positions), (std::vector<std::string>{"A", "C", "F", "N", "B", "D", "E"}));
    using K = ProposalChangeKind;
    const std::vector<std::optional<K>> marks = {std::nullopt, K::modified, K::moved, K::added,
                                                 K::deleted,   K::deleted,  K::deleted};
    for (size_t i = 0; i < positions.size(); ++i)
        EXPECT_EQ(positions[i].proposalChange, marks[i]) << positions[i].id;
    EXPECT_EQ(positions[4].managerID, "A");
    EXPECT_EQ(positions[5].managerID, "B");
    EXPECT_EQ(positions[5].dottedManagerIDs, std::vector<std::string>{}) << "dotted lines of deletions are not drawn";
    EXPECT_EQ(positions[4].employee, (Employee{"deleted-B__", "Person B"}));
    EXPECT_EQ(positions[6].employee, std::nullopt);
    // Back on the proposal chart whose baseline copy listed them, and on no other.
    EXPECT_EQ((*comparison.sheets)[0].positionIDs, (std::vector<std::string>{"B", "D", "E"}));
    EXPECT_EQ((*comparison.sheets)[1].positionIDs, (std::vector<std::string>{"A", "F"}));
}
