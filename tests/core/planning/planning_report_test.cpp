#include "planning_test_support.h"

#include "core/planning/change_report.h"

#include <gtest/gtest.h>

using namespace TestDocs;

namespace {

// 14 March 2025, 13:05 UTC.
const Date lockTime{763650300};

PlannedDocument lockedDistrict()
{
    OrganizationArchive current = archive({person("A", std::nullopt, "Ann Park", "Superintendent"),
                                           person("B", "A", "Bo Smith"), person("C", "A", "Cy Lee"),
                                           vacancy("D", "A")});
    current.name = "Lakeside Schools";
    current.sheets = std::vector{sheet("S", "Teaching", {"A", "B"})};
    PlannedDocument d(current);
    d.archive.planning->lockedAt = lockTime;
    return d;
}

// The ADDED section of a proposal whose one new position is Eli Young under Cy Lee.
const char *const addedEli = "ADDED (1)\n"
                             "Teacher \u2014 Eli Young [E]\n"
                             "  Reports to: Cy Lee \u2014 Teacher [C]\n"
                             "  Dept \u00B7 Site \u00B7 1.0 FTE\n";

// The lines every report of this district opens with, up to the counts.
std::string heading(const std::string &chart)
{
    return "Proposal: Plan\nOrganization: Lakeside Schools\nChart: " + chart + "\nCompared with lock: " +
           ChangeReport::lockTimeText(lockTime) + "\n";
}

} // namespace

TEST(ChangeReport, SmallProposal)
{
    PlannedDocument d = lockedDistrict();
    d.proposed("C").fte = 0.5;
    d.proposed("D").fte = 0.5;
    std::erase_if(d.proposed(), [](const Position &p) { return p.id == "A"; });
    d.proposed("B").managerID.reset();
    d.proposed("C").managerID.reset();
    d.proposed("D").managerID = "C";
    d.proposed().push_back(person("E", "C", "Eli Young"));

    const std::string expected = heading("Entire organization") +
                                 "Positions: 4 \u2192 4\n"
                                 "FTE: 4.0 \u2192 3.0\n"
                                 "\n" +
                                 std::string(addedEli) +
                                 "\n"
                                 "DELETED (1)\n"
                                 "Superintendent \u2014 Ann Park [A]\n"
                                 "  Former primary manager: No primary manager\n"
                                 "  Dept \u00B7 Site \u00B7 1.0 FTE removed\n"
                                 "\n"
                                 "MOVED (3)\n"
                                 "Teacher \u2014 Bo Smith [B]\n"
                                 "  Primary manager: Ann Park \u2014 Superintendent [A] \u2192 No primary manager\n"
                                 "Teacher \u2014 Cy Lee [C]\n"
                                 "  Primary manager: Ann Park \u2014 Superintendent [A] \u2192 No primary manager\n"
                                 "  FTE: 1.0 \u2192 0.5\n"
                                 "Teacher \u2014 Vacant [D]\n"
                                 "  Primary manager: Ann Park \u2014 Superintendent [A] \u2192 Cy Lee \u2014 Teacher [C]\n"
                                 "  FTE: 1.0 \u2192 0.5\n"
                                 "\n"
                                 "EDITED (0)\n";
    EXPECT_EQ(d.planning().report(d.proposalID), expected);
}

TEST(ChangeReport, NoChanges)
{
    PlannedDocument d = lockedDistrict();
    const std::string expected = heading("Teaching") +
                                 "Positions: 2 \u2192 2\n"
                                 "FTE: 2.0 \u2192 2.0\n"
                                 "\n"
                                 "ADDED (0)\n\n"
                                 "DELETED (0)\n\n"
                                 "MOVED (0)\n\n"
                                 "EDITED (0)\n\n"
                                 "No changes from the locked baseline.";
    EXPECT_EQ(d.planning().report(d.proposalID, "S"), expected);
}

TEST(ChangeReport, ChartReportCountsAndListsOnlyItsPositions)
{
    PlannedDocument d = lockedDistrict();
    d.proposed("B").employee.reset();
    d.proposed("C").fte = 0.5;
    d.proposed().push_back(vacancy("N", "A"));
    (*d.state().sheets)[0].positionIDs.push_back("N");

    const std::string report = d.planning().report(d.proposalID, "S");
    EXPECT_NE(report.find("Positions: 2 \u2192 3\nFTE: 2.0 \u2192 3.0\n"), std::string::npos) << report;
    EXPECT_NE(report.find("EDITED (1)\nTeacher \u2014 Vacant [B]\n  Employee: Bo Smith [E-B] \u2192 Vacant\n"),
              std::string::npos)
        << report;
    EXPECT_EQ(report.find("[C]"), std::string::npos) << report;
    EXPECT_EQ(errorOf([&] { d.planning().report(d.proposalID, "X"); }), "The locked chart no longer exists.");
    EXPECT_EQ(errorOf([&] { d.planning().report("nope"); }), "Select an existing proposal.");
}

TEST(ChangeReport, FTESumsOfTenthsReadAsPeopleCountThem)
{
    OrganizationArchive current = archive({});
    for (int i = 0; i < 10; ++i) {
        Position p = vacancy("P" + std::to_string(i));
        p.fte = 0.1;
        current.organization.positions.push_back(p);
    }
    PlannedDocument d(current);
    d.proposed().pop_back();
    const std::string report = d.planning().report(d.proposalID);
    EXPECT_NE(report.find("\nFTE: 1.0 \u2192 0.9\n"), std::string::npos) << report;
    EXPECT_EQ(ChangeReport::totalFTEText(0.1 + 0.2), "0.3");
    EXPECT_EQ(ChangeReport::totalFTEText(12), "12.0");
}

TEST(ChangeReport, LockTimeInTheUsersLocaleAndZone)
{
    EXPECT_EQ(ChangeReport::lockTimeText(lockTime, "en_US", "America/New_York"), "3/14/2025, 9:05\u202FAM");
    EXPECT_EQ(ChangeReport::lockTimeText(lockTime, "de_DE", "Europe/Berlin"), "14.3.2025, 14:05");
}

TEST(ChangeReport, OneChangeOfEachKind)
{
    PlannedDocument d = lockedDistrict();
    d.proposed("B").fte = 0.5;
    d.proposed("C").managerID = "B";
    d.drop({"D"});
    d.proposed().push_back(person("E", "C", "Eli Young"));

    const std::string expected = heading("Entire organization") +
                                 "Positions: 4 \u2192 4\n"
                                 "FTE: 4.0 \u2192 3.5\n"
                                 "\n" +
                                 std::string(addedEli) +
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
