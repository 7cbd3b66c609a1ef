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

    OrganizationArchive fresh = archive({person("A")});
    fresh.checkpoint("one");
    fresh.checkpoint("two");
    EXPECT_EQ(numbers(fresh), (std::vector<int64_t>{1, 2}));
    EXPECT_EQ(fresh.revisions[1]->note, "two");
    EXPECT_EQ(fresh.revisions[1]->organization.toOrganization(), fresh.organization);
    EXPECT_EQ(fresh.setBaseline(), 2u);
    EXPECT_TRUE(fresh.revisions.empty());
}

TEST(SavedVersions, RestoreKeepsVersionsOnBothSides)
{
    OrganizationArchive a = archive({person("A")});
    a.sheets = std::vector{sheet("S", "Chart", {"A"})};
    a.checkpoint("v1");
    a.organization.positions.push_back(person("B", "A"));
    a.sheets.reset();
    a.name = "Renamed";
    a.checkpoint("v2");
    const OrganizationRevision v2 = *a.revisions[1];
    a.organization.positions.push_back(person("C", "A"));
    a.checkpoint("v3");
    const Organization beforeRestore = a.organization;
    a.lockForPlanning();
    a.unlockPlanningCurrent();
    const auto planning = a.planning;

    a.restore(v2.id);
    ASSERT_EQ(numbers(a), (std::vector<int64_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(a.revisions[3]->note, "Before restoring version 2");
    EXPECT_EQ(a.revisions[3]->organization.toOrganization(), beforeRestore);
    EXPECT_EQ(a.revisions[4]->note, "Restored version 2");
    EXPECT_EQ(a.organization, v2.organization.toOrganization());
    EXPECT_EQ(a.name, "Renamed");
    EXPECT_FALSE(a.sheets.has_value());
    EXPECT_EQ(a.planning, planning);

    OrganizationRevision content = *a.revisions[4];
    content.id = v2.id;
    content.number = v2.number;
    content.date = v2.date;
    content.note = v2.note;
    EXPECT_EQ(content, v2);
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

TEST(SavedVersions, RefusalsAddNoVersion)
{
    OrganizationArchive a = archive({person("A")});
    a.checkpoint("v1");
    const std::string id = a.revisions[0]->id;

    struct Case {
        const char *what;
        Operation prepare;
        Operation action;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"locked", [](OrganizationArchive &x) { x.lockForPlanning(); }, [&](OrganizationArchive &x) { x.restore(id); },
         lockedMessage()},
        {"unknown id", [](OrganizationArchive &) {}, [](OrganizationArchive &x) { x.restore(makeUUID()); },
         "That version is no longer available."},
        {"invalid version", [](OrganizationArchive &x) {
             OrganizationRevision bad = *x.revisions[0];
             bad.organization = FrozenOrganization(organization({person("A", "A")}));
             x.revisions[0] = bad;
         }, [&](OrganizationArchive &x) { x.restore(id); }, "A references an invalid manager: A."},
        {"invalid current on restore", [](OrganizationArchive &x) { x.organization.positions[0].fte = -1; },
         [&](OrganizationArchive &x) { x.restore(id); }, "A needs a positive FTE."},
        {"invalid current on checkpoint", [](OrganizationArchive &x) { x.organization.positions[0].fte = -1; },
         [](OrganizationArchive &x) { x.checkpoint("n"); }, "A needs a positive FTE."},
        {"invalid current on baseline", [](OrganizationArchive &x) { x.organization.positions[0].fte = -1; },
         [](OrganizationArchive &x) { x.setBaseline(); }, "A needs a positive FTE."},
        {"number at the limit", [](OrganizationArchive &x) { x.revisions.push_back(numbered(INT64_MAX)); },
         [](OrganizationArchive &x) { x.checkpoint("n"); },
         "The version number cannot go any higher. Set a baseline to start a new version history."},
        {"restore one below the limit",
         [](OrganizationArchive &x) { x.revisions.push_back(numbered(INT64_MAX - 1)); },
         [&](OrganizationArchive &x) { x.restore(id); },
         "The version number cannot go any higher. Set a baseline to start a new version history."},
    };
    for (const Case &c : cases) {
        OrganizationArchive x = a;
        c.prepare(x);
        const OrganizationArchive before = x;
        EXPECT_EQ(errorOf([&] { c.action(x); }), c.message) << c.what;
        EXPECT_EQ(x, before) << c.what;
    }
    OrganizationArchive empty = archive({});
    EXPECT_EQ(empty.setBaseline(), 0u);
}

// Versions hold unchanged positions once, however many versions there are.
TEST(SavedVersions, UnchangedPositionsAreShared)
{
    OrganizationArchive a = archive({person("A"), person("B", "A"), person("C", "A")});
    a.checkpoint("v1");
    a.organization.positions[1].department = "Changed";
    std::swap(a.organization.positions[0], a.organization.positions[2]);
    a.checkpoint("v2");
    const FrozenOrganization &v1 = a.revisions[0]->organization;
    const FrozenOrganization &v2 = a.revisions[1]->organization;
    EXPECT_EQ(&v1[0], &v2[2]); // A moved but is the same value
    EXPECT_NE(&v1[1], &v2[1]);
    EXPECT_EQ(v2[1].department, "Changed");

    const OrganizationArchive copy = a;
    EXPECT_TRUE(copy.revisions[0].isSameInstance(a.revisions[0]));
}

// Undo puts a frozen organization back into the working one in its place: whatever the
// working positions (the same, some changed, one more or fewer, another order, repeated
// ids), the result is the frozen organization.
TEST(SavedVersions, AFrozenOrganizationRestoredInPlaceEqualsItsCopy)
{
    const Organization frozenFrom = organization({person("A"), person("B", "A"), person("C", "A"), person("D", "C")});
    const FrozenOrganization frozen(frozenFrom);
    const auto changed = [](Position p) {
        p.department = "Changed";
        return p;
    };
    const std::vector<Organization> workings = {
        frozenFrom,
        organization({person("A"), changed(person("B", "A")), person("C", "A"), person("D", "C")}),
        organization({person("A"), person("C", "A"), person("D", "C")}),
        organization({person("A"), changed(person("C", "A")), person("D", "C")}),
        organization({person("A"), person("N"), person("B", "A"), person("C", "A"), person("D", "C")}),
        organization({person("A"), person("B", "A"), changed(person("C", "A")), person("D", "C"), person("N")}),
        organization({person("A"), person("B", "A"), person("C", "A")}),
        organization({person("B", "A"), person("C", "A"), person("D", "C")}),
        organization({person("A"), person("B", "A"), person("N"), person("M"), person("C", "A"), person("D", "C")}),
        organization({person("D", "C"), changed(person("C", "A")), person("B", "A"), person("A")}),
        organization({person("B", "A"), person("B"), person("A"), person("A", "D")}),
        organization({}),
    };
    for (size_t i = 0; i < workings.size(); ++i) {
        Organization working = workings[i];
        frozen.restoreInto(working);
        EXPECT_EQ(working, frozenFrom) << i;
        EXPECT_TRUE(frozen.holds(working)) << i;
        EXPECT_EQ(frozen.holds(workings[i]), workings[i] == frozenFrom) << i;
    }
    Organization grown = frozenFrom;
    FrozenOrganization().restoreInto(grown);
    EXPECT_TRUE(grown.positions.empty());
}
