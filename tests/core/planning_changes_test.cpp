#include "planning_test_support.h"

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
        // Order and repetition of dotted managers are no change of their own, yet the stored
        // value differs: an edit with no lines.
        {[](PlannedDocument &d) { d.proposed("C").dottedManagerIDs = {"B", "B"}; }, {"C Edited:"}},
    };
    for (const Case &c : cases) {
        PlannedDocument d(district());
        c.edit(d);
        d.state().organization.validate();
        EXPECT_EQ(summary(d.planning().changes(d.proposalID)), c.expected);
    }
}

TEST(ProposalChanges, ChartScope)
{
    OrganizationArchive current = district();
    current.sheets = std::vector{sheet("S", "Chart", {"A", "B", "gone"}), sheet("T", "Other", {"C"})};
    PlannedDocument d(current);
    // Edits to every position; the proposal's own copy of S also lists N, and T is gone from it.
    for (Position &p : d.proposed())
        p.fte = 0.5;
    d.proposed().push_back(vacancy("N"));
    d.proposed().push_back(vacancy("M"));
    (*d.state().sheets)[0].positionIDs.push_back("N");
    (*d.state().sheets)[1].id = "U";

    const auto ids = [&](const std::string &sheetID) {
        std::vector<std::string> result;
        for (const ProposalChange &change : d.planning().changes(d.proposalID, sheetID))
            result.push_back(change.positionID);
        return result;
    };
    EXPECT_EQ(ids("S"), (std::vector<std::string>{"A", "B", "N"}));
    EXPECT_EQ(ids("T"), (std::vector<std::string>{"C"}));
    EXPECT_EQ(ids(""), (std::vector<std::string>{"A", "B", "C", "M", "N"}));
    EXPECT_EQ(errorOf([&] { d.planning().changes(d.proposalID, "U"); }), "The locked chart no longer exists.");
}
