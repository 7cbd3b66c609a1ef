#include "planning_test_support.h"

#include "core/planning/proposal_changes.h"

#include <gtest/gtest.h>

using namespace TestDocs;

// Report lines that name a manager, where the manager itself is new to the proposal or gone
// from it: each side names its managers as that side has them.

namespace {

PlannedDocument district()
{
    return PlannedDocument(archive({person("A", std::nullopt, "Ann Park", "Superintendent"),
                                    person("B", "A", "Bo Smith"), person("C", "B", "Cy Lee")}));
}

// The report's lines from the first change section to its end.
std::string changeSections(const PlannedDocument &d)
{
    const std::string report = d.planning().report(d.proposalID);
    return report.substr(report.find("ADDED"));
}

} // namespace

TEST(ChangeWording, AManagerNewInTheProposalIsNamedAsTheProposalHasIt)
{
    PlannedDocument d = district();
    Position mo = person("M", "A", "Mo Ray", "Coordinator");
    d.proposed().push_back(mo);
    d.proposed().push_back(person("N", "M", "Ned Oak"));
    d.proposed("C").managerID = "M";
    d.proposed("C").dottedManagerIDs = {"M"};

    EXPECT_EQ(changeSections(d), "ADDED (2)\n"
                                 "Coordinator \u2014 Mo Ray [M]\n"
                                 "  Reports to: Ann Park \u2014 Superintendent [A]\n"
                                 "  Dept \u00B7 Site \u00B7 1.0 FTE\n"
                                 "Teacher \u2014 Ned Oak [N]\n"
                                 "  Reports to: Mo Ray \u2014 Coordinator [M]\n"
                                 "  Dept \u00B7 Site \u00B7 1.0 FTE\n"
                                 "\n"
                                 "DELETED (0)\n"
                                 "\n"
                                 "MOVED (1)\n"
                                 "Teacher \u2014 Cy Lee [C]\n"
                                 "  Primary manager: Bo Smith \u2014 Teacher [B] \u2192 Mo Ray \u2014 Coordinator [M]\n"
                                 "  Additional reports to: None \u2192 Mo Ray \u2014 Coordinator [M]\n"
                                 "\n"
                                 "EDITED (0)\n");
}

TEST(ChangeWording, AManagerGoneFromTheProposalIsNamedAsTheBaselineHadIt)
{
    PlannedDocument d = district();
    d.drop({"B", "C"});

    EXPECT_EQ(changeSections(d), "ADDED (0)\n"
                                 "\n"
                                 "DELETED (2)\n"
                                 "Teacher \u2014 Bo Smith [B]\n"
                                 "  Former primary manager: Ann Park \u2014 Superintendent [A]\n"
                                 "  Dept \u00B7 Site \u00B7 1.0 FTE removed\n"
                                 "Teacher \u2014 Cy Lee [C]\n"
                                 "  Former primary manager: Bo Smith \u2014 Teacher [B]\n"
                                 "  Dept \u00B7 Site \u00B7 1.0 FTE removed\n"
                                 "\n"
                                 "MOVED (0)\n"
                                 "\n"
                                 "EDITED (0)\n");

    // A position that stays while its manager goes: the old manager as the baseline had him,
    // the new one as the proposal has her.
    PlannedDocument moved = district();
    moved.proposed("C").managerID = "A";
    moved.drop({"B"});
    const std::vector<ProposalChange> changes = moved.planning().changes(moved.proposalID);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].details, std::vector<std::string>{"Primary manager: Bo Smith \u2014 Teacher [B] \u2192 "
                                                           "Ann Park \u2014 Superintendent [A]"});
}
