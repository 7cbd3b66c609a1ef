#include "archive_test_support.h"
#include "position_ids.h"

#include <gtest/gtest.h>

using namespace TestDocs;

TEST(DeletionRefusal, ListsSixReportsInNaturalIdOrderAndCountsEachOnce)
{
    OrganizationArchive a = archive({person("BOSS"), person("OTHER")});
    for (int i = 1; i <= 12; ++i) {
        const std::string id = "R" + std::to_string(i);
        a.organization.positions.push_back(i % 2 ? person(id, "BOSS", "Name " + id)
                                                  : withDotted(person(id, "OTHER", "Name " + id), {"BOSS"}));
    }
    EXPECT_EQ(errorOf([&] { a.organization.requirePositionDeletion("BOSS"); }),
              "Cannot delete: 12 position(s) still report here. Move all primary and additional/dotted reports "
              "first, including reports on other charts.\n\n"
              "Name R1 \u2014 Teacher [R1]\nName R2 \u2014 Teacher [R2]\nName R3 \u2014 Teacher [R3]\n"
              "Name R4 \u2014 Teacher [R4]\nName R5 \u2014 Teacher [R5]\nName R6 \u2014 Teacher [R6]\n"
              "\u2026and 6 more.");
}

TEST(DeletionWarning, NamesOtherChartsInDisplayOrder)
{
    OrganizationArchive a = archive({person("M", std::nullopt, "Ann Lee", "Principal"), vacancy("V", std::nullopt, "Aide")});
    a.sheets = std::vector{sheet("S10", "Chart 10", {"M"}), sheet("S2", "Chart 2", {"M"}), sheet("CUR", "Here", {"M"}),
                           sheet("X", "Elsewhere", {"V"})};
    EXPECT_EQ(a.positionDeletionWarning("M", "CUR"),
              "Ann Lee \u2014 Principal [M] will be deleted from the entire organization and every chart.\n\n"
              "Also shown on these charts: Chart 2, Chart 10. It will be deleted from those charts too.");
    EXPECT_EQ(a.positionDeletionWarning("V", "X"),
              "Vacant position \u2014 Aide [V] will be deleted from the entire organization and every chart.\n\n"
              "This position is not on any other chart.");
}

TEST(DeletePosition, RemovesThePositionEverywhereAfterARecoveryVersion)
{
    OrganizationArchive a = archive({person("M"), person("A", "M"), person("B", "M"), person("C", "M"),
                                     person("D", "M", "", "Counselor")});
    a.groups = std::vector{PositionGroup{"g2", "Two", {"A", "D"}}, PositionGroup{"g3", "Three", {"B", "C", "D"}}};
    a.sheets = std::vector{sheet("S", "Chart", {"D", "M", "D"})};
    const Organization before = a.organization;
    a.deletePosition("D");
    ASSERT_EQ(a.revisions.size(), 1u);
    EXPECT_EQ(a.revisions[0]->note, "Before deleting Counselor");
    EXPECT_EQ(a.revisions[0]->organization.toOrganization(), before);
    EXPECT_EQ(a.organization.positions.size(), 4u);
    ASSERT_EQ(a.groups->size(), 1u) << "a group left with one member goes";
    EXPECT_EQ((*a.groups)[0].memberIDs, (IDs{"B", "C"}));
    EXPECT_EQ((*a.sheets)[0].positionIDs, (IDs{"M"}));
}

TEST(AddPositions, QuantityRulesAndNumbering)
{
    OrganizationArchive a = archive({person("M"), vacancy("V-2")});
    a.sheets = std::vector{sheet("S", "Chart", {"M"})};
    const OrganizationArchive before = a;
    EXPECT_EQ(errorOf([&] { a.addPositions(vacancy("V"), 0, std::nullopt); }), "Quantity must be a whole number from 1 to 1,000.");
    EXPECT_EQ(errorOf([&] { a.addPositions(person("P"), 2, std::nullopt); }),
              "Quantity greater than 1 is only allowed for vacant positions.");
    EXPECT_EQ(errorOf([&] { a.addPositions(vacancy("M"), 1, std::nullopt); }),
              "Position ID M already exists. Enter a unique Position ID.");
    EXPECT_EQ(a, before);
    a.addPositions(vacancy("V", "M"), 3, std::string("S"));
    EXPECT_EQ(idsOf(a.organization), (IDs{"M", "V-2", "V", "V-3", "V-4"}));
    EXPECT_EQ(a.sheet("S")->positionIDs, (IDs{"M", "V", "V-3", "V-4"}));
    a.addPositions(vacancy("X"), 1000, std::nullopt);
    EXPECT_EQ(a.organization.positions.size(), 1005u);
}
