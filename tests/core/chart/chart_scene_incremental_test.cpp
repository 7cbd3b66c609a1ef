#include "core/chart/chart_scene.h"
#include "core/document/organization_archive.h"
#include "core/model/employee_directory.h"

#include "random_edits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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
    ChartPrintPresentation presentation;
    bool operator==(const SceneContent &) const = default;
};

SceneContent contentOf(const ChartScene &scene)
{
    SceneContent content{scene.layout(), scene.presentation().organization, scene.scopedOrganization(),
                         scene.visibleOrganization(), scene.routes(), {}, {}, {}, scene.presentation()};
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
    const std::vector<OrganizationSheet> sheets = archive.sortedSheets();
    std::map<std::string, std::set<std::string>> sheetIDs;
    for (const OrganizationSheet &sheet : sheets)
        sheetIDs[sheet.id].insert(sheet.positionIDs.begin(), sheet.positionIDs.end());
    for (auto &[card, list] : members) {
        list = EmployeeDirectory::sorted(list);
        for (const Position *p : list) {
            content.members[card].push_back(p->id);
            if (managers.contains(p->id))
                content.managers.insert(card);
        }
        for (const OrganizationSheet &sheet : sheets) {
            const std::set<std::string> &ids = sheetIDs[sheet.id];
            const auto listed = [&](const std::string &id) { return ids.contains(id); };
            const bool linked = listed(card) || std::any_of(list.begin(), list.end(),
                                                             [&](const Position *p) { return listed(p->id); });
            if (sheet.id != sheetID && linked)
                content.linkedSheets[card].push_back(sheet.id);
        }
    }
}

// The scene of the chart worked out step by step on its own, or the message of its refusal;
// without routes.
std::variant<SceneContent, std::string> builtPlainly(const OrganizationArchive &archive, const std::string &sheetID,
                                                     const std::string &personID, const std::string &department,
                                                     const std::set<std::string> &collapsed,
                                                     const ChartPrintSettings &settings)
{
    try {
        Organization scoped = archive.organizationIn(sheetID);
        if (!personID.empty()) {
            scoped = scoped.focused({personID});
        } else if (!department.empty()) {
            std::set<std::string> ids;
            for (const Position &p : scoped.positions) {
                if (p.department == department)
                    ids.insert(p.id);
            }
            scoped = scoped.focused(ids);
        }
        const Organization visible = PositionGroup::project(
            scoped.hidingDescendants(collapsed), archive.groups.value_or(std::vector<PositionGroup>{}), {});
        const ChartPrintPresentation presentation(visible, settings);
        SceneContent content{settings.layout(presentation.organization), presentation.organization,
                             scoped, visible, {}, {}, {}, {}, presentation};
        collectPlainly(content, archive, sheetID, presentation);
        return content;
    } catch (const OrganizationError &error) {
        return error.message();
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
            const auto expected = builtPlainly(next, sheetID, "", "", collapsed, settings);
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
// the cache does not compare it again; another number does compare it, once.
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
    EXPECT_EQ(cache.snapshot(archive, "", "", "", {}, {}, settings, 9), second);
    EXPECT_EQ(cache.buildCount(), 2);
    // Once compared, number 9 stands for that content too.
    archive.organization.positions[3].employee.reset();
    EXPECT_EQ(cache.snapshot(archive, "", "", "", {}, {}, settings, 9), second);
    EXPECT_NE(cache.snapshot(archive, "", "", "", {}, {}, settings, 10), second);
}

namespace {

Position &positionOf(OrganizationArchive &archive, const std::string &id)
{
    auto &positions = archive.organization.positions;
    return *std::find_if(positions.begin(), positions.end(), [&](const Position &p) { return p.id == id; });
}

std::vector<std::string> reportsOf(const OrganizationArchive &archive, const std::string &id)
{
    std::vector<std::string> reports;
    for (const Position &p : archive.organization.positions) {
        if (p.managerID == id)
            reports.push_back(p.id);
    }
    return reports;
}

// Takes a position away as the document does: its reports go to its manager, and no line
// or chart names it any more.
void remove(OrganizationArchive &archive, const std::string &id)
{
    const std::optional<std::string> above = positionOf(archive, id).managerID;
    for (Position &p : archive.organization.positions) {
        if (p.managerID == id)
            p.managerID = above;
        std::erase(p.dottedManagerIDs, id);
    }
    std::erase_if(archive.organization.positions, [&](const Position &p) { return p.id == id; });
    for (OrganizationSheet &sheet : *archive.sheets)
        std::erase(sheet.positionIDs, id);
}

// The edits a window makes, each as one step: named, with the change it makes.
std::vector<std::pair<std::string, std::function<void(OrganizationArchive &)>>> editsOfEachKind()
{
    return {
        {"rename", [](OrganizationArchive &a) { positionOf(a, "P7").employee = Employee{"9001", "Ada New"}; }},
        {"make vacant", [](OrganizationArchive &a) { positionOf(a, "P12").employee.reset(); }},
        // P3 is named on the callouts of the positions with a dotted line to it.
        {"rename a manager called out", [](OrganizationArchive &a) { positionOf(a, "P3").employee = Employee{"9002", "Bo Callout"}; }},
        {"callout added", [](OrganizationArchive &a) { positionOf(a, "P40").dottedManagerIDs.push_back("P3"); }},
        {"callout dropped", [](OrganizationArchive &a) { positionOf(a, "P40").dottedManagerIDs.clear(); }},
        {"delete leaf",
         [](OrganizationArchive &a) {
             for (auto p = a.organization.positions.rbegin(); p != a.organization.positions.rend(); ++p) {
                 if (reportsOf(a, p->id).empty() && p->dottedManagerIDs.empty()) {
                     remove(a, p->id);
                     return;
                 }
             }
         }},
        {"delete manager", [](OrganizationArchive &a) { remove(a, "P9"); }},
        {"move", [](OrganizationArchive &a) { positionOf(a, "P11").managerID = "P1"; }},
        {"sibling order and assistant",
         [](OrganizationArchive &a) {
             positionOf(a, "P20").siblingOrder = 3;
             positionOf(a, "P21").isAssistant = true;
         }},
        {"chart listing changed", [](OrganizationArchive &a) { a.sheets->front().positionIDs.push_back("P1"); }},
        {"another chart",
         [](OrganizationArchive &a) { a.sheets->push_back(OrganizationSheet::make("Some", {"P1", "P5", "P7"})); }},
        {"group added", [](OrganizationArchive &a) { a.groups = std::vector{PositionGroup::make("Pair", reportsOf(a, "P1"))}; }},
        {"group dropped", [](OrganizationArchive &a) { a.groups.reset(); }},
    };
}

} // namespace

// Large charts build a scene's parts on several threads, and an edit keeps the layout, the
// routes and the grids of the scene before when it can: after each kind of edit, and after
// going back to an earlier document, the scene equals one built by a cache that never saw
// the chart, in every chart and focus a window shows.
TEST(ChartSceneCache, LargeChartAfterEachKindOfEditEqualsAFreshBuild)
{
    std::mt19937 random(3);
    OrganizationArchive start = RandomEdits::district(random, 2100);
    // A few dotted lines are enough to have callouts; each one more is routed at every move.
    for (Position &p : start.organization.positions) {
        if (p.id != "P40")
            p.dottedManagerIDs.clear();
    }
    for (const char *id : {"P30", "P31", "P32", "P50"})
        positionOf(start, id).dottedManagerIDs = {"P3"};
    OrganizationSheet focusedDepartment = OrganizationSheet::make("Department", reportsOf(start, "P1"));
    focusedDepartment.positionIDs.push_back("P1");
    focusedDepartment.focusedDepartmentView = true;
    start.sheets->push_back(focusedDepartment);

    struct View {
        std::string name, sheetID, personID, department;
        std::set<std::string> collapsed;
        bool hideNames = false;
    };
    const std::vector<View> views{
        {"whole chart", "", "", "", {}, false},
        {"names hidden", "", "", "", {}, true},
        {"a chart of its own", start.sheets->front().id, "", "", {}, false},
        {"a focused department", start.sheets->back().id, "", "", {}, false},
        {"a person's branch, collapsed below", "", "P1", "", {"P4"}, false},
        {"a department, names hidden", "", "", "Teaching", {}, true},
    };
    auto store = std::make_shared<DottedRouteStore>();
    for (const View &view : views) {
        ChartPrintSettings settings;
        settings.hideNames = view.hideNames;
        ChartSceneCache kept(store);
        uint64_t revision = 0;
        const auto sceneOf = [&](ChartSceneCache &cache, const OrganizationArchive &archive,
                                 std::optional<uint64_t> number) -> std::variant<SceneContent, std::string> {
            try {
                return contentOf(*cache.snapshot(archive, view.sheetID, view.personID, view.department,
                                                 view.collapsed, {}, settings, number));
            } catch (const OrganizationError &error) {
                return error.message();
            }
        };
        const auto check = [&](const OrganizationArchive &archive, const std::string &step) {
            ChartSceneCache fresh(store);
            const auto expected = sceneOf(fresh, archive, std::nullopt);
            ASSERT_TRUE(std::holds_alternative<SceneContent>(expected)) << view.name << ", after " << step;
            auto got = sceneOf(kept, archive, ++revision);
            EXPECT_TRUE(got == expected) << view.name << ", after " << step;
            std::get<SceneContent>(got).routes.clear();
            EXPECT_TRUE(got == builtPlainly(archive, view.sheetID, view.personID, view.department, view.collapsed,
                                            settings))
                << view.name << ", after " << step << ", taken step by step";
        };
        OrganizationArchive archive = start;
        check(archive, "opening");
        OrganizationArchive earlier;
        for (const auto &[step, edit] : editsOfEachKind()) {
            if (step == "delete leaf")
                earlier = archive;
            edit(archive);
            check(archive, step);
        }
        check(earlier, "undo back to before the deletes");
        check(archive, "redo");
        // Cards the chart refuses (checked on another thread when it shows names) are refused
        // alike, and the next edit builds on as before.
        OrganizationArchive refused = archive;
        positionOf(refused, "P8").fte = 0;
        ChartSceneCache fresh(store);
        const auto refusal = sceneOf(fresh, refused, std::nullopt);
        EXPECT_TRUE(sceneOf(kept, refused, ++revision) == refusal) << view.name;
        if (view.sheetID.empty() && view.personID.empty() && view.department.empty()) {
            EXPECT_TRUE(std::holds_alternative<std::string>(refusal)) << view.name;
        }
        check(archive, "a refused edit");
    }
}
