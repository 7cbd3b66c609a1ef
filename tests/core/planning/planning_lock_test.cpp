#include "archive_test_support.h"

#include <gtest/gtest.h>

using namespace TestDocs;

namespace {

const char *const relockMessage =
    "Current has changed since this planning baseline. Existing proposals remain tied to the original lock; use "
    "a separate organization file for a new planning cycle.";

OrganizationProposal proposal(std::string id, std::string name, Organization organization)
{
    return OrganizationProposal{std::move(id), std::move(name), Date{1},
                                PlanningSnapshot{.name = "P", .organization = std::move(organization)}};
}

} // namespace

TEST(PlanningLock, GateRefusesOnlyWhileLocked)
{
    OrganizationArchive a = archive({person("A")});
    EXPECT_EQ(errorOf([&] { a.requireCurrentEditing(); }), "");
    a.lockForPlanning();
    EXPECT_EQ(errorOf([&] { a.requireCurrentEditing(); }), lockedMessage());
    a.unlockPlanningCurrent();
    EXPECT_EQ(errorOf([&] { a.requireCurrentEditing(); }), "");
}

TEST(PlanningLock, FirstLockFreezesCurrentAndRelockKeepsIt)
{
    OrganizationArchive a = archive({person("A")});
    a.pageTitle = "Title";
    a.lockForPlanning();
    ASSERT_TRUE(a.planning.has_value());
    EXPECT_TRUE(a.planning->isLocked);
    EXPECT_EQ(a.planning->baseline, PlanningSnapshot::make(a));
    const Date lockedAt = a.planning->lockedAt;

    a.unlockPlanningCurrent();
    a.lockForPlanning();
    EXPECT_EQ(a.planning->lockedAt, lockedAt);
    EXPECT_TRUE(a.planning->isLocked);
}

TEST(PlanningLock, RelockFailsOnlyWhileCurrentDiffersFromTheBaseline)
{
    OrganizationArchive a = archive({person("A")});
    a.lockForPlanning();
    a.unlockPlanningCurrent();

    // Each change to Current's content blocks the relock until it is put back.
    const std::vector<std::function<void(OrganizationArchive &)>> changes = {
        [](OrganizationArchive &x) { x.pageTitle = "New"; },
        [](OrganizationArchive &x) { x.name = "Renamed"; },
        [](OrganizationArchive &x) { x.groups = std::vector<PositionGroup>{}; },
        [](OrganizationArchive &x) { x.printSettings = ChartPrintSettings{}; },
    };
    for (const auto &change : changes) {
        OrganizationArchive changed = a;
        change(changed);
        const OrganizationArchive before = changed;
        EXPECT_EQ(errorOf([&] { changed.lockForPlanning(); }), relockMessage);
        EXPECT_EQ(changed, before);
    }

    OrganizationArchive versioned = a;
    versioned.checkpoint("Saved version");
    EXPECT_EQ(errorOf([&] { versioned.lockForPlanning(); }), "");
}

TEST(PlanningLock, InvalidCurrentIsNotLocked)
{
    OrganizationArchive a = archive({person("A", "missing")});
    EXPECT_EQ(errorOf([&] { a.lockForPlanning(); }), "A references an invalid manager: missing.");
    EXPECT_FALSE(a.planning.has_value());
}

TEST(PlanningSnapshotConversion, ArchiveDropsVersionsAndPlanning)
{
    OrganizationArchive a = archive({person("A")});
    a.sheets = std::vector{sheet("S", "Chart", {"A"})};
    a.pageSubtitle = "Sub";
    a.checkpoint("v1");
    a.lockForPlanning();

    OrganizationArchive expected = a;
    expected.revisions.clear();
    expected.planning.reset();
    EXPECT_EQ(PlanningSnapshot::make(a).archive(), expected);
}

TEST(PlanningValidation, ChecksInOrder)
{
    const Organization valid = organization({person("A")});
    const Organization invalid = organization({person("A"), person("A")});
    const std::string id1 = "11111111-1111-4111-8111-111111111111";
    const std::string id2 = "22222222-2222-4222-8222-222222222222";

    struct Case {
        const char *what;
        Organization baseline;
        std::vector<OrganizationProposal> proposals;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"valid", valid, {proposal(id1, "A", valid), proposal(id2, "B", valid)}, ""},
        {"baseline first", invalid, {proposal(id1, "A", valid), proposal(id1, "B", valid)}, "Position IDs must be unique."},
        {"ids before names", valid, {proposal(id1, " ", valid), proposal(id1, "B", valid)},
         "Proposal identifiers must be unique."},
        {"blank name", valid, {proposal(id1, " \n", valid)}, "Every proposal needs a unique, nonempty name."},
        {"names ignore case and spaces", valid, {proposal(id1, "Plan", valid), proposal(id2, " PLAN ", valid)},
         "Every proposal needs a unique, nonempty name."},
        {"first organization before second name", valid, {proposal(id1, "A", invalid), proposal(id2, "", valid)},
         "Position IDs must be unique."},
    };
    for (const Case &c : cases) {
        OrganizationPlanning planning{Date{}, PlanningSnapshot{.name = "B", .organization = c.baseline}, true,
                                      c.proposals};
        EXPECT_EQ(errorOf([&] { planning.validate(); }), c.message) << c.what;
    }
}

TEST(PlanningLock, RelockKeepsTheBaselineAndFailsOnlyWhileCurrentDiffers)
{
    OrganizationArchive invalid = archive({person("A", "missing")});
    EXPECT_EQ(errorOf([&] { invalid.lockForPlanning(); }), "A references an invalid manager: missing.");
    EXPECT_FALSE(invalid.planning.has_value());

    OrganizationArchive a = archive({person("A")});
    a.lockForPlanning();
    const Date lockedAt = a.planning->lockedAt;
    a.unlockPlanningCurrent();
    OrganizationArchive changed = a;
    changed.pageTitle = "New";
    const OrganizationArchive before = changed;
    EXPECT_EQ(errorOf([&] { changed.lockForPlanning(); }),
              "Current has changed since this planning baseline. Existing proposals remain tied to the original "
              "lock; use a separate organization file for a new planning cycle.");
    EXPECT_EQ(changed, before);

    a.checkpoint("Saved version");
    a.lockForPlanning();
    EXPECT_EQ(a.planning->lockedAt, lockedAt);
}
