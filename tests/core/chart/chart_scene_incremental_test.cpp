#include "core/chart/chart_scene.h"
#include "core/document/organization_archive.h"
#include "core/model/employee_directory.h"

#include "random_edits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

// Everything a scene offers, in comparable form.
struct SceneContent {
    ChartLayout layout;
    Organization cards;
    Organization scoped;
    Organization visible;
    std::vector<DottedRoute> routes;
    std::map<std::string, std::vector<std::string>> members;
    std::map<std::string, std::vector<std::string>> linkedSheets;
    std::set<std::string> managers;
    bool operator==(const SceneContent &) const = default;
};

SceneContent contentOf(const ChartScene &scene)
{
    SceneContent content{scene.layout(), scene.presentation().organization, scene.scopedOrganization(),
                         scene.visibleOrganization(), scene.routes(), {}, {}, {}};
    for (const auto &[id, members] : scene.members()) {
        for (const Position *member : members)
            content.members[id].push_back(member->id);
    }
    for (const auto &[id, sheets] : scene.linkedSheets()) {
        for (const OrganizationSheet *sheet : sheets)
            content.linkedSheets[id].push_back(sheet->id);
    }
    content.managers.insert(scene.managersWithReports().begin(), scene.managersWithReports().end());
    return content;
}

// The scene, or the message of its refusal.
std::variant<SceneContent, std::string> build(ChartSceneCache &cache, const OrganizationArchive &archive,
                                              const std::string &sheetID, const std::set<std::string> &collapsed,
                                              const ChartPrintSettings &settings)
{
    try {
        return contentOf(*cache.snapshot(archive, sheetID, "", "", collapsed, {}, settings));
    } catch (const OrganizationError &error) {
        return error.message();
    }
}

// The card -> positions, card -> other charts and managing cards of a scene, worked out
// plainly from its steps.
void collectPlainly(SceneContent &content, const OrganizationArchive &archive, const std::string &sheetID,
                    const ChartPrintPresentation &presentation)
{
    std::map<std::string, std::vector<const Position *>> members;
    for (const Position &card : presentation.organization.positions)
        members[card.id];
    for (const Position &p : content.visible.positions) {
        const auto card = presentation.positionIDs.find(p.id);
        members[card == presentation.positionIDs.end() ? p.id : card->second].push_back(&p);
    }
    for (const PositionGroup &group : archive.groups.value_or(std::vector<PositionGroup>{})) {
        if (!members.contains(group.id))
            continue;
        members[group.id].clear();
        for (const Position &p : content.scoped.positions) {
            if (std::find(group.memberIDs.begin(), group.memberIDs.end(), p.id) != group.memberIDs.end())
                members[group.id].push_back(&p);
        }
    }
    std::set<std::string> managers;
    for (const Position &p : content.scoped.positions) {
        if (p.managerID)
            managers.insert(*p.managerID);
    }
    for (auto &[card, list] : members) {
        list = EmployeeDirectory::sorted(list);
        for (const Position *p : list) {
            content.members[card].push_back(p->id);
            if (managers.contains(p->id))
                content.managers.insert(card);
        }
        for (const OrganizationSheet &sheet : archive.sortedSheets()) {
            const auto listed = [&](const std::string &id) {
                return std::find(sheet.positionIDs.begin(), sheet.positionIDs.end(), id) != sheet.positionIDs.end();
            };
            const bool linked = listed(card) || std::any_of(list.begin(), list.end(),
                                                             [&](const Position *p) { return listed(p->id); });
            if (sheet.id != sheetID && linked)
                content.linkedSheets[card].push_back(sheet.id);
        }
    }
}

} // namespace

// A cache that saw every edit before (and may lend the last layout) gives what a cache
// seeing the document for the first time gives, refusals included.
TEST(ChartSceneCache, SceneAfterEachEditEqualsAFreshBuild)
{
    for (unsigned seed = 1; seed <= 4; ++seed) {
        std::mt19937 random(seed);
        OrganizationArchive archive = RandomEdits::district(random, 40);
        const std::string sheetID = seed % 2 ? std::string() : archive.sheets->front().id;
        ChartPrintSettings settings;
        settings.pageBalancedLayout = seed > 2;
        std::set<std::string> collapsed;
        if (seed == 3)
            collapsed.insert("P2");
        ChartSceneCache kept;
        for (int edit = 0; edit < 150; ++edit) {
            OrganizationArchive next = archive;
            RandomEdits::apply(next, random);
            ChartSceneCache fresh;
            const auto expected = build(fresh, next, sheetID, collapsed, settings);
            ASSERT_EQ(build(kept, next, sheetID, collapsed, settings), expected) << "seed " << seed << ", edit " << edit;
            // An edit the organization refuses is not kept, as the archive's own checks would.
            if (std::holds_alternative<SceneContent>(expected))
                archive = std::move(next);
        }
    }
}

// What the scene holds is what the projections, the presentation and the layout give when
// called one after the other on their own, refusals included, whatever the cache reused.
TEST(ChartSceneCache, SceneAfterEachEditEqualsItsStepsTakenOneByOne)
{
    for (unsigned seed = 11; seed <= 20; ++seed) {
        std::mt19937 random(seed);
        OrganizationArchive archive = RandomEdits::district(random, 40);
        if (seed % 3 == 0)
            archive.groups = std::vector{PositionGroup::make("Pair", {"P5", "P6", "P7"})};
        const std::string sheetID = seed % 5 == 2 ? archive.sheets->front().id : std::string();
        ChartPrintSettings settings;
        settings.pageBalancedLayout = seed % 2 == 0;
        settings.hideNames = seed >= 16;
        settings.combineMatchingTitles = seed != 17;
        std::set<std::string> collapsed;
        if (seed % 4 == 1)
            collapsed.insert("P3");
        ChartSceneCache cache;
        for (int edit = 0; edit < 120; ++edit) {
            OrganizationArchive next = archive;
            RandomEdits::apply(next, random);
            std::variant<SceneContent, std::string> expected;
            try {
                const Organization scoped = next.organizationIn(sheetID);
                const Organization visible = PositionGroup::project(
                    scoped.hidingDescendants(collapsed), next.groups.value_or(std::vector<PositionGroup>{}), {});
                const ChartPrintPresentation presentation(visible, settings);
                SceneContent content{settings.layout(presentation.organization), presentation.organization,
                                     scoped, visible, {}, {}, {}, {}};
                collectPlainly(content, next, sheetID, presentation);
                expected = std::move(content);
            } catch (const OrganizationError &error) {
                expected = error.message();
            }
            auto got = build(cache, next, sheetID, collapsed, settings);
            if (SceneContent *content = std::get_if<SceneContent>(&got))
                content->routes.clear(); // routed as the scene cache tests show
            ASSERT_EQ(got, expected) << "seed " << seed << ", edit " << edit;
            if (std::holds_alternative<SceneContent>(expected))
                archive = std::move(next);
        }
    }
}

// A window numbers the contents of its document: the same number is the same content, so
// the cache does not compare it again; another number is another content, built without
// comparing (and without keeping a copy to compare with). Without numbers it compares.
TEST(ChartSceneCache, SameContentRevisionIsTakenAtItsWord)
{
    std::mt19937 random(5);
    OrganizationArchive archive = RandomEdits::district(random, 12);
    ChartSceneCache cache;
    const ChartPrintSettings settings;
    const auto first = cache.snapshot(archive, "", "", "", {}, {}, settings, 7);
    archive.organization.positions[3].employee = Employee{"77", "Zed New"};
    EXPECT_EQ(cache.snapshot(archive, "", "", "", {}, {}, settings, 7), first);
    const auto second = cache.snapshot(archive, "", "", "", {}, {}, settings, 8);
    EXPECT_NE(second, first);
    EXPECT_EQ(second->position(archive.organization.positions[3].id)->employee->name, "Zed New");
    const auto third = cache.snapshot(archive, "", "", "", {}, {}, settings, 9);
    EXPECT_NE(third, second);
    EXPECT_EQ(&third->layout(), &second->layout());
    EXPECT_EQ(cache.buildCount(), 3);

    const auto unnumbered = cache.snapshot(archive, "", "", "", {}, {}, settings);
    EXPECT_EQ(cache.snapshot(archive, "", "", "", {}, {}, settings), unnumbered);
    archive.organization.positions[3].employee.reset();
    EXPECT_NE(cache.snapshot(archive, "", "", "", {}, {}, settings), unnumbered);
    EXPECT_EQ(cache.buildCount(), 5);
}
