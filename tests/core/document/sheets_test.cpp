#include "archive_test_support.h"
#include "position_ids.h"

#include <gtest/gtest.h>

using namespace TestDocs;

TEST(FocusedDepartment, SharedRootsGoToTheirOwnArea)
{
    // S reports outside to O and by dotted line to H: S and its report T form a shared area.
    OrganizationArchive a = archive({person("O", std::nullopt, "Olga", "Dean"), person("H"), withDotted(person("A", "H"), {"T"}),
                                     withDotted(person("S", "O"), {"H", "O"}), withDotted(person("T", "S"), {"A"}),
                                     person("U", "O")});
    OrganizationSheet x = sheet("X", "Department", {"T", "S", "A", "H", "U"});
    x.focusedDepartmentView = true;
    a.sheets = std::vector{x, sheet("Y2", "Other 2", {"O"}), sheet("Y10", "Other 10", {"O"}), sheet("N", "None", {"H"})};

    const Organization shown = a.organizationIn("X");
    EXPECT_EQ(idsOf(shown), (IDs{"H", "A", "S", "T", "U"}));
    const Position &s = positionIn(shown, "S");
    EXPECT_EQ(s.sharedReportRootID, "S");
    EXPECT_EQ(s.managerID, std::nullopt);
    EXPECT_EQ(s.dottedManagerIDs, (IDs{"H"}));
    EXPECT_EQ(s.primaryManagerReference.value().printedLabel(false), "Primary: Olga \u00B7 Other 2, Other 10");
    const Position &t = positionIn(shown, "T");
    EXPECT_EQ(t.sharedReportRootID, "S");
    EXPECT_EQ(t.dottedManagerIDs, (IDs{"A"})) << "a dotted line into the main area stays";
    EXPECT_EQ(positionIn(shown, "A").dottedManagerIDs, IDs{}) << "a dotted line into the shared area goes";
    EXPECT_FALSE(positionIn(shown, "U").sharedReportRootID.has_value()) << "no dotted line into the department";
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
