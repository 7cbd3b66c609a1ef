#include "archive_test_support.h"
#include "position_ids.h"

#include <gtest/gtest.h>

using namespace TestDocs;

TEST(ChartOrganization, UnknownSheetShowsEverythingWithCallouts)
{
    OrganizationArchive a = archive({person("M"), person("D"), withDotted(person("R", "M"), {"D"})});
    a.sheets = std::vector{sheet("S", "Chart", {"R"})};
    const Organization all = a.organizationIn("nope");
    EXPECT_EQ(idsOf(all), (IDs{"M", "D", "R"}));
    ASSERT_TRUE(positionIn(all, "R").reportingCallout.has_value());
    EXPECT_EQ(positionIn(all, "R").reportingCallout->managers.front().positionID, "M");
}

TEST(ChartOrganization, DottedReportBringsItsManagers)
{
    OrganizationArchive a = archive({person("TOP"), person("M", "TOP"), person("D", "TOP"),
                                     withDotted(person("R", "M"), {"D"}), person("ALONE", "TOP")});
    a.sheets = std::vector{sheet("S", "Chart", {"R"}), sheet("T", "Lone", {"ALONE"}), sheet("G", "Gone", {"x", "y"})};
    const Organization shown = a.organizationIn("S");
    EXPECT_EQ(idsOf(shown), (IDs{"M", "D", "R"}));
    EXPECT_FALSE(positionIn(shown, "M").managerID.has_value());
    EXPECT_EQ(positionIn(shown, "R").managerID, "M");
    EXPECT_EQ(positionIn(shown, "R").dottedManagerIDs, (IDs{"D"}));
    EXPECT_TRUE(positionIn(shown, "R").reportingCallout.has_value());

    const Organization lone = a.organizationIn("T");
    EXPECT_EQ(idsOf(lone), (IDs{"ALONE"}));
    EXPECT_FALSE(lone.positions[0].managerID.has_value());

    EXPECT_TRUE(a.organizationIn("G").positions.empty());
    EXPECT_TRUE(a.memberPositions("G").empty());
    EXPECT_EQ(a.memberPositions("S").size(), 1u);
    EXPECT_EQ(a.memberPositions("nope").size(), 5u);
}

TEST(FocusedDepartment, SharedRootsGoToTheirOwnArea)
{
    // S reports outside to O and by dotted line to H: S and its report T form a shared area.
    // U reports outside without a dotted line into the department.
    OrganizationArchive a = archive({person("O", std::nullopt, "Olga", "Dean"), person("H"), withDotted(person("A", "H"), {"T"}),
                                     withDotted(person("S", "O"), {"H", "O"}), withDotted(person("T", "S"), {"A"}),
                                     person("U", "O")});
    OrganizationSheet x = sheet("X", "Department", {"T", "S", "A", "H", "U"});
    x.focusedDepartmentView = true;
    a.sheets = std::vector{x, sheet("Y2", "Other 2", {"O"}), sheet("Y10", "Other 10", {"O"}), sheet("N", "None", {"H"})};

    const Organization shown = a.organizationIn("X");
    EXPECT_EQ(idsOf(shown), (IDs{"H", "A", "S", "T", "U"})); // organization order
    const Position &s = positionIn(shown, "S");
    EXPECT_EQ(s.sharedReportRootID, "S");
    EXPECT_FALSE(s.managerID.has_value());
    EXPECT_EQ(s.dottedManagerIDs, (IDs{"H"}));
    ASSERT_TRUE(s.primaryManagerReference.has_value());
    EXPECT_EQ(s.primaryManagerReference->printedLabel(false), "Primary: Olga \u00B7 Other 2, Other 10");
    EXPECT_EQ(s.primaryManagerReference->printedLabel(true), "Primary: Dean \u00B7 Other 2, Other 10");
    EXPECT_TRUE(s.reportingCallout.has_value()) << "callouts come from the whole organization";

    const Position &t = positionIn(shown, "T");
    EXPECT_EQ(t.sharedReportRootID, "S");
    EXPECT_EQ(t.managerID, "S");
    EXPECT_EQ(t.dottedManagerIDs, (IDs{"A"})) << "a dotted line into the main area stays";

    EXPECT_EQ(positionIn(shown, "A").dottedManagerIDs, IDs{}) << "a dotted line into the shared area goes";
    const Position &u = positionIn(shown, "U");
    EXPECT_FALSE(u.sharedReportRootID.has_value());
    EXPECT_FALSE(u.managerID.has_value());
    EXPECT_FALSE(u.primaryManagerReference.has_value());
    EXPECT_FALSE(positionIn(shown, "H").sharedReportRootID.has_value());
}

TEST(FocusedDepartment, AllSharedShowsAPlainChart)
{
    OrganizationArchive a = archive({person("O"), withDotted(person("S", "O"), {"T"}), withDotted(person("T", "O"), {"S"})});
    OrganizationSheet x = sheet("X", "Department", {"S", "T"});
    x.focusedDepartmentView = true;
    a.sheets = std::vector{x};
    for (const Position &p : a.organizationIn("X").positions) {
        EXPECT_FALSE(p.sharedReportRootID.has_value());
        EXPECT_FALSE(p.primaryManagerReference.has_value());
        EXPECT_FALSE(p.managerID.has_value());
    }
}

TEST(PrimaryManagerLabel, NamesAndCharts)
{
    PrimaryManagerReference vacant{"M", std::nullopt, "Dean", {}};
    EXPECT_EQ(vacant.label(false), "Dean");
    EXPECT_EQ(vacant.printedLabel(true), "Primary: Dean");
    PrimaryManagerReference named{"M", "Ann", "Dean", {{"A", "Alpha"}}};
    EXPECT_EQ(named.label(false), "Ann");
    EXPECT_EQ(named.printedLabel(false), "Primary: Ann \u00B7 Alpha");
}

TEST(SortedSheets, NaturalNameOrderThenId)
{
    OrganizationArchive a = archive({});
    EXPECT_TRUE(a.sortedSheets().empty());
    a.sheets = std::vector{sheet("b", "Chart 10", {}), sheet("z", "chart 2", {}), sheet("d", "Same", {}),
                           sheet("c", "Same", {})};
    IDs order;
    for (const OrganizationSheet &s : a.sortedSheets())
        order.push_back(s.id);
    EXPECT_EQ(order, (IDs{"z", "b", "c", "d"}));
}

TEST(RenameSheet, TrimsAndRefusesDuplicates)
{
    OrganizationArchive a = archive({});
    a.sheets = std::vector{sheet("A", "Alpha", {}), sheet("B", "Beta", {})};
    a.renameSheet("A", "  ALPHA \n");
    EXPECT_EQ(a.sheet("A")->name, "ALPHA");
    EXPECT_EQ(errorOf([&] { a.renameSheet("B", "alpha"); }), "Another chart already has that name.");
    EXPECT_EQ(errorOf([&] { a.renameSheet("B", " "); }), "Select a chart and enter a nonempty name.");
    EXPECT_EQ(errorOf([&] { a.renameSheet("C", "Gamma"); }), "Select a chart and enter a nonempty name.");
}

TEST(IncludePositions, AppendsNewIdsInOrder)
{
    OrganizationArchive a = archive({person("A"), person("B"), person("C"), person("D")});
    a.sheets = std::vector{sheet("S", "Chart", {"C"})};
    a.includePositions({"D", "C", "A"}, "S");
    EXPECT_EQ(a.sheet("S")->positionIDs, (IDs{"C", "A", "D"}));
    EXPECT_EQ(errorOf([&] { a.includePositions({"B", "gone"}, "S"); }),
              "A selected position no longer exists. Reopen the picker.");
    EXPECT_EQ(errorOf([&] { a.includePositions({"B"}, "T"); }), "Select a department sheet first.");
    a.includePositions({}, "S");
    EXPECT_EQ(a.sheet("S")->positionIDs.size(), 3u);
}

TEST(RenameSheet, NamesCompareTrimmedAndCaseFolded)
{
    OrganizationArchive a = archive({});
    a.sheets = std::vector{sheet("b", "Chart", {}), sheet("c", "Same", {})};
    EXPECT_EQ(errorOf([&] { a.renameSheet("b", " SAME \n"); }), "Another chart already has that name.");
}

TEST(QuickAdd, AddsAnOccupiedPositionWithTheNextNumbers)
{
    Position twelve = person("P-12");
    twelve.employee->id = "12";
    OrganizationArchive a = archive({twelve, person("P-13"), person("P-13-2")}); // E-P-13 is not a number
    a.sheets = std::vector{sheet("S", "Chart", {})};
    const Position added = a.quickAdd(" Ann Lee ", " Teacher ", " Math ", std::string("P-12"), " North ", "S");
    EXPECT_EQ(added.id, "P-13-3");
    EXPECT_EQ(added.employee, (Employee{"13", "Ann Lee"}));
    EXPECT_EQ(added.location, "North");
    EXPECT_EQ(a.sheet("S")->positionIDs, (IDs{"P-13-3"}));
}

TEST(QuickAdd, AddsAnOccupiedPositionWithTheNextNumber)
{
    Position twelve = person("P-12");
    twelve.employee->id = "11";
    OrganizationArchive a = archive({twelve});
    a.sheets = std::vector{sheet("S", "Chart", {})};
    const Position added = a.quickAdd(" Ann Lee ", " Teacher ", " Math ", std::string("P-12"), " North ", "S");
    EXPECT_EQ(added.id, "P-12-2");
    EXPECT_EQ(added.employee, (Employee{"12", "Ann Lee"}));
    EXPECT_EQ(added.jobTitle(), "Teacher");
    EXPECT_TRUE(added.jobTitleFollowsPayLevel());
    EXPECT_EQ(added.department, "Math");
    EXPECT_EQ(added.location, "North");
    EXPECT_EQ(added.isAssistant, std::optional(false));
    EXPECT_EQ(a.organization.positions.back(), added);
    EXPECT_EQ(a.sheet("S")->positionIDs, (IDs{"P-12-2"}));

    Position taken = person("P-13");
    a.organization.positions.push_back(taken); // employee number E-P-13 is not numeric
    a.organization.positions.push_back(person("P-13-2"));
    EXPECT_EQ(a.quickAdd("Bo", "Aide", "", std::nullopt, "", "S").id, "P-13-3");
}

TEST(QuickAdd, Refusals)
{
    OrganizationArchive a = archive({person("A")});
    a.sheets = std::vector{sheet("S", "Chart", {})};
    const OrganizationArchive before = a;
    EXPECT_EQ(errorOf([&] { a.quickAdd(" ", "T", "", std::nullopt, "", "unknown"); }),
              "Enter an employee name and title.");
    EXPECT_EQ(errorOf([&] { a.quickAdd("N", "T", "", std::nullopt, "", "unknown"); }),
              "Choose a sheet before adding people.");
    EXPECT_EQ(errorOf([&] { a.quickAdd("N", "T", "", std::string("missing"), "", "S"); }),
              "P-1 references an invalid manager: missing.");
    EXPECT_EQ(a, before);
}
