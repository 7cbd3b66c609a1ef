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

OrganizationRevision numbered(int64_t number)
{
    OrganizationRevision revision;
    revision.id = makeUUID();
    revision.number = number;
    return revision;
}

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

TEST(SavedVersions, RefusalsAddNoVersion)
{
    OrganizationArchive a = archive({person("A")});
    a.checkpoint("v1");
    const std::string id = a.revisions[0]->id;
    const std::string limit = "The version number cannot go any higher. Set a baseline to start a new version history.";
    const struct {
        const char *what;
        Operation prepare, action;
        std::string message;
    } cases[] = {
        {"invalid version", [](auto &x) {
             OrganizationRevision bad = *x.revisions[0];
             bad.organization = FrozenOrganization(organization({person("A", "A")}));
             x.revisions[0] = bad;
         },
         [&](auto &x) { x.restore(id); }, "A references an invalid manager: A."},
        {"invalid current", [](auto &x) { x.organization.positions[0].fte = -1; }, [](auto &x) { x.checkpoint("n"); },
         "A needs a positive FTE."},
        {"number at the limit", [](auto &x) { x.revisions.push_back(numbered(INT64_MAX)); },
         [](auto &x) { x.checkpoint("n"); }, limit},
        {"restore needs two numbers", [](auto &x) { x.revisions.push_back(numbered(INT64_MAX - 1)); },
         [&](auto &x) { x.restore(id); }, limit},
    };
    for (const auto &c : cases) {
        OrganizationArchive x = a;
        c.prepare(x);
        const OrganizationArchive before = x;
        EXPECT_EQ(errorOf([&] { c.action(x); }), c.message) << c.what;
        EXPECT_EQ(x, before) << c.what;
    }
}
