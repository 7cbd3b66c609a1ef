#include "archive_test_support.h"

#include <gtest/gtest.h>

using namespace TestDocs;

namespace {

std::vector<int64_t> numbers(const OrganizationArchive &a)
{
    std::vector<int64_t> result;
    for (const auto &revision : a.revisions)
        result.push_back(revision->number);
    return result;
}

OrganizationRevision numbered(int64_t number) { return OrganizationRevision{.id = makeUUID(), .number = number}; }

} // namespace

TEST(SavedVersions, NumberingFollowsTheLastVersion)
{
    OrganizationArchive a = archive({person("A")});
    a.revisions = {numbered(3), numbered(1)};
    a.checkpoint("next");
    EXPECT_EQ(numbers(a), (std::vector<int64_t>{3, 1, 2}));
    EXPECT_EQ(a.setBaseline(), 3u);
    a.checkpoint("again");
    EXPECT_EQ(numbers(a), (std::vector<int64_t>{1}));
}

TEST(SavedVersions, RestoreKeepsVersionsOnBothSides)
{
    OrganizationArchive a = archive({person("A")});
    a.checkpoint("v1");
    a.organization.positions.push_back(person("B", "A"));
    a.checkpoint("v2");
    const OrganizationRevision v2 = *a.revisions[1];
    a.organization.positions.push_back(person("C", "A"));
    const Organization beforeRestore = a.organization;
    a.restore(v2.id);
    ASSERT_EQ(numbers(a), (std::vector<int64_t>{1, 2, 3, 4}));
    EXPECT_EQ(a.revisions[2]->note, "Before restoring version 2");
    EXPECT_EQ(a.revisions[2]->organization.toOrganization(), beforeRestore);
    EXPECT_EQ(a.revisions[3]->note, "Restored version 2");
    EXPECT_EQ(a.organization, v2.organization.toOrganization());
}

// Near the highest number a checkpoint still fits, but a restore needs two numbers.
TEST(SavedVersions, NumberLimitRefusesAndAddsNoVersion)
{
    const std::string limit = "The version number cannot go any higher. Set a baseline to start a new version history.";
    OrganizationArchive a = archive({person("A")});
    a.checkpoint("v1");
    a.revisions.push_back(numbered(INT64_MAX - 1));
    const OrganizationArchive before = a;
    EXPECT_EQ(errorOf([&] { a.restore(a.revisions[0]->id); }), limit);
    EXPECT_EQ(a, before);
    a.checkpoint("last");
    EXPECT_EQ(errorOf([&] { a.checkpoint("n"); }), limit);
    EXPECT_EQ(numbers(a), (std::vector<int64_t>{1, INT64_MAX - 1, INT64_MAX}));
}
