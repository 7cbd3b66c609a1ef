#include "planning_test_support.h"

#include "core/planning/change_report.h"
#include "core/planning/proposal_changes.h"

#include <gtest/gtest.h>

#include <functional>

using namespace TestDocs;

namespace {

// Top A; B and C report to A; C has a custom job title and a dotted line to B.
OrganizationArchive district()
{
    Position c = person("C", "A", "Cy Lee");
    c.setJobTitle("Coach");
    c.dottedManagerIDs = {"B"};
    return archive({person("A", std::nullopt, "Ann Park", "Superintendent"), person("B", "A", "Bo Smith"), c});
}

// Each change as "<id> <kind>: <detail> | <detail>".
std::vector<std::string> summary(const std::vector<ProposalChange> &changes)
{
    std::vector<std::string> out;
    for (const ProposalChange &change : changes) {
        std::string line = change.positionID + " " + proposalChangeKindLabel(change.kind) + ":";
        for (size_t i = 0; i < change.details.size(); ++i)
            line += (i == 0 ? " " : " | ") + change.details[i];
        out.push_back(line);
    }
    return out;
}

} // namespace

TEST(ProposalChanges, KindsAndDetails)
{
    struct Case {
        std::function<void(PlannedDocument &)> edit;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {[](PlannedDocument &d) {
             d.proposed("B").managerID = "C";
             d.proposed("B").setJobTitle("Coach");
         },
         {"B Moved: Primary manager: Ann Park \u2014 Superintendent [A] \u2192 Cy Lee \u2014 Coach [C] | "
          "Job Title: Teacher \u2192 Coach | Job Title follow-Pay-Level setting changed."}},
        {[](PlannedDocument &d) {
             d.proposed("C").dottedManagerIDs.clear();
             d.drop({"B"});
         },
         {"B Deleted: Former primary manager: Ann Park \u2014 Superintendent [A] | Dept \u00B7 Site \u00B7 1.0 FTE removed",
          "C Edited: Additional reports to: Bo Smith \u2014 Teacher [B] \u2192 None"}},
        // Order and repetition of dotted managers are no change of their own, yet the stored value differs.
        {[](PlannedDocument &d) { d.proposed("C").dottedManagerIDs = {"B", "B"}; }, {"C Edited:"}},
    };
    for (const Case &c : cases) {
        PlannedDocument d(district());
        c.edit(d);
        d.state().organization.validate();
        EXPECT_EQ(summary(d.planning().changes(d.proposalID)), c.expected);
    }
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

TEST(ChangeReport, OneChangeOfEachKind)
{
    OrganizationArchive current = archive({person("A", std::nullopt, "Ann Park", "Superintendent"),
                                           person("B", "A", "Bo Smith"), person("C", "A", "Cy Lee"),
                                           vacancy("D", "A")});
    current.name = "Lakeside Schools";
    PlannedDocument d(current);
    const Date lockTime{763650300}; // 14 March 2025, 13:05 UTC
    d.archive.planning->lockedAt = lockTime;
    d.proposed("B").fte = 0.5;
    d.proposed("C").managerID = "B";
    d.drop({"D"});
    d.proposed().push_back(person("E", "C", "Eli Young"));

    const std::string expected = "Proposal: Plan\n"
                                 "Organization: Lakeside Schools\n"
                                 "Chart: Entire organization\n"
                                 "Compared with lock: " + ChangeReport::lockTimeText(lockTime) + "\n"
                                 "Positions: 4 \u2192 4\n"
                                 "FTE: 4.0 \u2192 3.5\n"
                                 "\n"
                                 "ADDED (1)\n"
                                 "Teacher \u2014 Eli Young [E]\n"
                                 "  Reports to: Cy Lee \u2014 Teacher [C]\n"
                                 "  Dept \u00B7 Site \u00B7 1.0 FTE\n"
                                 "\n"
                                 "DELETED (1)\n"
                                 "Teacher \u2014 Vacant [D]\n"
                                 "  Former primary manager: Ann Park \u2014 Superintendent [A]\n"
                                 "  Dept \u00B7 Site \u00B7 1.0 FTE removed\n"
                                 "\n"
                                 "MOVED (1)\n"
                                 "Teacher \u2014 Cy Lee [C]\n"
                                 "  Primary manager: Ann Park \u2014 Superintendent [A] \u2192 Bo Smith \u2014 Teacher [B]\n"
                                 "\n"
                                 "EDITED (1)\n"
                                 "Teacher \u2014 Bo Smith [B]\n"
                                 "  FTE: 1.0 \u2192 0.5\n";
    EXPECT_EQ(d.planning().report(d.proposalID), expected);
    EXPECT_EQ(ChangeReport::lockTimeText(lockTime, "en_US", "America/New_York"), "3/14/2025, 9:05\u202FAM");
    EXPECT_EQ(ChangeReport::totalFTEText(0.1 + 0.2), "0.3") << "sums of tenths read as people count them";
}
