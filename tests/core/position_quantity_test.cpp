#include "archive_test_support.h"
#include "position_ids.h"

#include <gtest/gtest.h>

using namespace TestDocs;

namespace {

using IDs = std::vector<std::string>;

} // namespace

TEST(AddPositions, QuantityRules)
{
    const Organization base = organization({person("M")});
    struct Case {
        Position position;
        int quantity;
        std::string message;
    };
    const std::vector<Case> cases = {
        {vacancy("V"), 0, "Quantity must be a whole number from 1 to 1,000."},
        {vacancy("V"), -1, "Quantity must be a whole number from 1 to 1,000."},
        {vacancy("V"), 1001, "Quantity must be a whole number from 1 to 1,000."},
        {person("P"), 2, "Quantity greater than 1 is only allowed for vacant positions."},
        {vacancy("M"), 1, "Position ID M already exists. Enter a unique Position ID."},
        {vacancy("V", "missing"), 3, "V references an invalid manager: missing."},
        {[] { Position p = vacancy("V"); p.fte = 0; return p; }(), 1, "V needs a positive FTE."},
        {vacancy("V"), 1000, ""},
        {person("P"), 1, ""},
        {vacancy("m"), 1, ""}, // ids compare exactly
    };
    for (const Case &c : cases) {
        Organization o = base;
        EXPECT_EQ(errorOf([&] { o.addPositions(c.position, c.quantity); }), c.message) << c.quantity;
        if (!c.message.empty())
            EXPECT_EQ(o, base);
        else
            EXPECT_EQ(o.positions.size(), 1u + static_cast<size_t>(c.quantity));
    }
}

TEST(AddPositions, NumbersCopiesPastTakenIds)
{
    Organization o = organization({person("M"), vacancy("V-2")});
    const std::vector<Position> added = o.addPositions(vacancy("V", "M"), 3);
    EXPECT_EQ(idsOf(added), (IDs{"V", "V-3", "V-4"}));
    EXPECT_EQ(idsOf(o.positions), (IDs{"M", "V-2", "V", "V-3", "V-4"}));
    EXPECT_EQ(added[2].managerID, "M");
}

TEST(AddPositions, ArchiveListsNewIdsOnTheChart)
{
    OrganizationArchive a = archive({person("M")});
    a.sheets = std::vector{sheet("S", "Chart", {"M"})};
    const std::vector<Position> added = a.addPositions(vacancy("V", "M"), 2, std::string("S"));
    EXPECT_EQ(idsOf(added), (IDs{"V", "V-2"}));
    EXPECT_EQ(a.sheet("S")->positionIDs, (IDs{"M", "V", "V-2"}));
    EXPECT_TRUE(a.revisions.empty()) << "callers save the recovery version";

    a.addPositions(vacancy("W"), 1, std::nullopt);
    EXPECT_EQ(a.sheet("S")->positionIDs.size(), 3u);

    const OrganizationArchive before = a;
    EXPECT_EQ(errorOf([&] { a.addPositions(vacancy("X"), 1, std::string("gone")); }),
              "The selected chart no longer exists.");
    EXPECT_EQ(errorOf([&] { a.addPositions(vacancy("V"), 1, std::string("S")); }),
              "Position ID V already exists. Enter a unique Position ID.");
    a.lockForPlanning();
    EXPECT_EQ(errorOf([&] { a.addPositions(vacancy("X"), 0, std::string("gone")); }), lockedMessage());
    a.planning.reset();
    EXPECT_EQ(a, before);
}
