#include "archive_test_support.h"

#include <gtest/gtest.h>

using namespace TestDocs;

TEST(PlanningLock, RelockKeepsTheBaselineAndFailsOnlyWhileCurrentDiffers)
{
    OrganizationArchive invalid = archive({person("A", "missing")});
    EXPECT_EQ(errorOf([&] { invalid.lockForPlanning(); }), "A references an invalid manager: missing.");
    EXPECT_FALSE(invalid.planning.has_value());

    OrganizationArchive a = archive({person("A")});
    a.lockForPlanning();
    const Date lockedAt = a.planning->lockedAt;
    a.unlockPlanningCurrent();
    EXPECT_EQ(errorOf([&] { a.requireCurrentEditing(); }), "");

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
    EXPECT_TRUE(a.planning->isLocked);
}

TEST(PlanningValidation, ChecksInOrder)
{
    const Organization valid = organization({person("A")});
    const Organization invalid = organization({person("A"), person("A")});
    const std::string id1 = "11111111-1111-4111-8111-111111111111";
    const std::string id2 = "22222222-2222-4222-8222-222222222222";
    const auto proposal = [](std::string id, std::string name, Organization organization) {
        return OrganizationProposal{std::move(id), std::move(name), Date{1},
                                    PlanningSnapshot{.name = "P", .organization = std::move(organization)}};
    };
    const auto validation = [](Organization baseline, std::vector<OrganizationProposal> proposals) {
        OrganizationPlanning planning{Date{}, PlanningSnapshot{.name = "B", .organization = std::move(baseline)}, true,
                                      std::move(proposals)};
        return errorOf([&] { planning.validate(); });
    };
    // The baseline first, then every identifier, then each proposal's organization and name in turn.
    EXPECT_EQ(validation(invalid, {proposal(id1, "A", valid), proposal(id1, "B", valid)}), "Position IDs must be unique.");
    EXPECT_EQ(validation(valid, {proposal(id1, " ", valid), proposal(id1, "B", valid)}),
              "Proposal identifiers must be unique.");
    EXPECT_EQ(validation(valid, {proposal(id1, "A", invalid), proposal(id2, "", valid)}), "Position IDs must be unique.");
}
