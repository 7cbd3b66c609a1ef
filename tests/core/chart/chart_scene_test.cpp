#include "core/chart/chart_scene.h"
#include "core/document/organization_archive.h"

#include "archive_test_support.h"
#include "position_ids.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

using namespace TestDocs;

namespace {

// A superintendent over two principals with teachers; T2 also reports to P2 by dotted line.
OrganizationArchive district()
{
    OrganizationArchive archive = TestDocs::archive({
        person("S", std::nullopt, "Ann Top", "Superintendent"),
        person("P1", "S", "Bea North", "Principal"),
        person("P2", "S", "Cy South", "Principal"),
        person("T1", "P1", "Dee Young", "Teacher"),
        withDotted(person("T2", "P1", "Al Zed", "Teacher"), {"P2"}),
        vacancy("T3", "P2", "Teacher"),
    });
    archive.organization.positions[1].department = "North";
    archive.organization.positions[3].department = "North";
    archive.sheets = std::vector<OrganizationSheet>{sheet("north", "North", {"P1", "T1", "T2"}),
                                                   sheet("south", "South", {"P2", "T3", "T2"}),
                                                   sheet("all", "Everyone", {"S", "P1", "P2", "T1", "T2", "T3"})};
    return archive;
}

struct Request {
    std::string sheetID = "all";
    std::string personID;
    std::string department;
    std::set<std::string> collapsed;
    std::set<std::string> expandedGroups;
    ChartPrintSettings settings;
};

std::shared_ptr<const ChartScene> snapshot(ChartSceneCache &cache, const OrganizationArchive &archive,
                                           const Request &r = {})
{
    return cache.snapshot(archive, r.sheetID, r.personID, r.department, r.collapsed, r.expandedGroups, r.settings);
}

std::vector<std::string> idsOf(const std::vector<const Position *> &positions)
{
    std::vector<std::string> ids;
    for (const Position *p : positions)
        ids.push_back(p->id);
    return ids;
}

std::vector<std::string> sheetIDsOf(const std::vector<const OrganizationSheet *> &sheets)
{
    std::vector<std::string> ids;
    for (const OrganizationSheet *s : sheets)
        ids.push_back(s->id);
    return ids;
}

std::vector<DottedRoute> routedInPlace(const OrganizationArchive &archive)
{
    ChartSceneCache cache;
    return snapshot(cache, archive)->routes();
}

// Counts the calls a background router makes and lets a test wait for them.
class RoutedSignal {
public:
    std::function<void()> callback()
    {
        return [this] {
            std::lock_guard lock(m_mutex);
            ++m_count;
            m_changed.notify_all();
        };
    }
    bool waitFor(int count)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(60), [&] { return m_count >= count; });
    }
    int count()
    {
        std::lock_guard lock(m_mutex);
        return m_count;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_count = 0;
};

// The scene once its lines are in, however many workers report first; `seen` gets every
// scene on the way.
std::shared_ptr<const ChartScene> routedScene(ChartSceneCache &cache, RoutedSignal &routed,
                                              const OrganizationArchive &archive,
                                              std::vector<std::shared_ptr<const ChartScene>> *seen = nullptr)
{
    for (int calls = routed.count();; ++calls) {
        std::shared_ptr<const ChartScene> scene = snapshot(cache, archive);
        if (seen)
            seen->push_back(scene);
        if (!scene->routesPending() || !routed.waitFor(calls + 1))
            return scene;
    }
}

// `count` positions four to a manager; `lines` of them also report to a position far away.
OrganizationArchive manyLines(int count, int lines)
{
    Organization organization;
    for (int i = 0; i < count; ++i) {
        Position p = vacancy("P" + std::to_string(1000 + i),
                             i == 0 ? std::nullopt : std::optional<std::string>("P" + std::to_string(1000 + (i - 1) / 4)));
        if (i > 0 && i % (count / lines) == 0)
            p.dottedManagerIDs = {"P" + std::to_string(1000 + (i * 7) % (i / 2 + 1))};
        organization.positions.push_back(std::move(p));
    }
    return OrganizationArchive::make("District", organization);
}

bool isPrefix(const std::vector<DottedRoute> &part, const std::vector<DottedRoute> &whole)
{
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

} // namespace

TEST(ChartSceneCache, SameInputsGiveTheSameScene)
{
    ChartSceneCache cache;
    EXPECT_EQ(cache.buildCount(), 0);
    const OrganizationArchive archive = district();
    const auto first = snapshot(cache, archive);
    EXPECT_EQ(snapshot(cache, archive), first);
    EXPECT_EQ(cache.buildCount(), 1);
}

// What may change without a rebuild, and what must rebuild.
TEST(ChartSceneCache, RebuildsOnlyWhenAnInputChanges)
{
    struct Case {
        const char *name;
        bool rebuilds;
        std::function<void(OrganizationArchive &, Request &)> change;
    };
    const std::vector<Case> cases{
        {"scale", false, [](auto &, auto &r) { r.settings.scalePercent = 55; }},
        {"document name", false, [](auto &a, auto &) { a.name = "Other"; }},
        {"page title", false, [](auto &a, auto &) { a.pageTitle = "Title"; }},
        {"page subtitle", false, [](auto &a, auto &) { a.pageSubtitle = "Subtitle"; }},
        {"document settings", false, [](auto &a, auto &) { a.printSettings = ChartPrintSettings{}; }},
        {"saved version", false, [](auto &a, auto &) { a.checkpoint("Saved"); }},
        {"planning", false, [](auto &a, auto &) { a.lockForPlanning(); }},
        {"landscape", true, [](auto &, auto &r) { r.settings.landscape = true; }},
        {"hide names", true, [](auto &, auto &r) { r.settings.hideNames = true; }},
        {"margin", true, [](auto &, auto &r) { r.settings.marginInches = 1; }},
        {"position", true, [](auto &a, auto &) { a.organization.positions[3].location = "Elsewhere"; }},
        {"display-only field", true,
         [](auto &a, auto &) { a.organization.positions[3].proposalChange = ProposalChangeKind::added; }},
        {"sheet", true, [](auto &a, auto &) { (*a.sheets)[0].name = "Northern"; }},
        {"no sheets", true, [](auto &a, auto &) { a.sheets.reset(); }},
        {"groups", true, [](auto &a, auto &) { a.groups = std::vector<PositionGroup>{}; }},
        {"sheet id", true, [](auto &, auto &r) { r.sheetID = "north"; }},
        {"person", true, [](auto &, auto &r) { r.personID = "P1"; }},
        {"department", true, [](auto &, auto &r) { r.department = "North"; }},
        {"collapsed", true, [](auto &, auto &r) { r.collapsed = {"P1"}; }},
        {"expanded group", true, [](auto &, auto &r) { r.expandedGroups = {"group-1"}; }},
    };
    for (const Case &c : cases) {
        ChartSceneCache cache;
        OrganizationArchive archive = district();
        Request request;
        const auto before = snapshot(cache, archive, request);
        c.change(archive, request);
        EXPECT_EQ(snapshot(cache, archive, request) != before, c.rebuilds) << c.name;
        EXPECT_EQ(cache.buildCount(), c.rebuilds ? 2 : 1) << c.name;
    }
}

TEST(ChartSceneCache, FailedBuildKeepsThePreviousScene)
{
    ChartSceneCache cache;
    const OrganizationArchive good = district();
    const auto scene = snapshot(cache, good);
    OrganizationArchive broken = good;
    broken.organization.positions[0].managerID = "T1"; // a cycle
    const std::string message = errorOf([&] { snapshot(cache, broken); });
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(message, errorOf([&] { broken.organization.validate(); }));
    EXPECT_EQ(cache.buildCount(), 1);
    EXPECT_EQ(snapshot(cache, good), scene);
    EXPECT_EQ(cache.buildCount(), 1);
}

// Cards first, lines when routed; an edit that moves no card keeps the lines at once, and
// one made while the worker routes keeps the worker.
TEST(ChartSceneCache, BackgroundRoutingShowsCardsFirstThenTheLines)
{
    const OrganizationArchive archive = district();
    const std::vector<DottedRoute> expected = routedInPlace(archive);
    ASSERT_EQ(expected.size(), 1u);
    OrganizationArchive renamed = archive;
    renamed.organization.positions[3].employee->name = "Dee Elder";

    for (const bool editWhileRouting : {false, true}) {
        RoutedSignal routed;
        ChartSceneCache cache;
        cache.routeInBackground(routed.callback(), std::chrono::milliseconds(0));
        const auto first = snapshot(cache, archive);
        EXPECT_TRUE(first->routesPending());
        EXPECT_TRUE(first->routes().empty());
        EXPECT_EQ(first->layout().nodes.size(), 6u);
        if (editWhileRouting) {
            snapshot(cache, renamed);
            ASSERT_TRUE(routed.waitFor(1)); // one call is all the window gets
            const auto scene = snapshot(cache, renamed);
            EXPECT_FALSE(scene->routesPending());
            EXPECT_EQ(scene->routes(), expected);
            EXPECT_EQ(scene->position("T1")->employee->name, "Dee Elder");
            continue;
        }
        ASSERT_TRUE(routed.waitFor(1));
        const auto second = snapshot(cache, archive);
        EXPECT_NE(second, first);
        EXPECT_FALSE(second->routesPending());
        EXPECT_EQ(second->routes(), expected);
        EXPECT_EQ(snapshot(cache, archive), second);
        EXPECT_EQ(cache.buildCount(), 2);
        const auto third = snapshot(cache, renamed);
        EXPECT_NE(third, second);
        EXPECT_FALSE(third->routesPending());
        EXPECT_EQ(third->routes(), expected);
    }
}

TEST(ChartSceneCache, SmallChartRoutedWithinTheWaitNeedsNoWorker)
{
    const OrganizationArchive archive = district();
    RoutedSignal routed;
    ChartSceneCache cache;
    cache.routeInBackground(routed.callback(), std::chrono::minutes(1));
    const auto scene = snapshot(cache, archive);
    EXPECT_EQ(scene->routes(), routedInPlace(archive));
    EXPECT_EQ(cache.buildCount(), 1);
    EXPECT_EQ(routed.count(), 0);
}

TEST(ChartSceneCache, LinesRoutedWithinTheWaitComeWithTheScene)
{
    const OrganizationArchive archive = district();
    const std::vector<DottedRoute> expected = routedInPlace(archive);

    RoutedSignal routed;
    ChartSceneCache cache;
    cache.routeInBackground(routed.callback(), std::chrono::minutes(1));
    const auto scene = snapshot(cache, archive);
    EXPECT_FALSE(scene->routesPending());
    EXPECT_EQ(scene->routes(), expected);
    EXPECT_EQ(snapshot(cache, archive), scene);
    EXPECT_EQ(cache.buildCount(), 1);
    EXPECT_EQ(routed.count(), 0); // no worker was needed
}

TEST(ChartSceneCache, EditThatMovesNoCardWhileRoutingKeepsTheWorker)
{
    const OrganizationArchive archive = district();
    const std::vector<DottedRoute> expected = routedInPlace(archive);

    RoutedSignal routed;
    ChartSceneCache cache;
    cache.routeInBackground(routed.callback(), std::chrono::milliseconds(0));
    EXPECT_TRUE(snapshot(cache, archive)->routesPending());
    OrganizationArchive renamed = archive;
    renamed.organization.positions[3].employee->name = "Dee Elder";
    // Whether or not the worker is done by now, the window gets the lines: in the scene at
    // once when the store had them all (the worker is then stopped unheard), or in one call
    // of `routed`.
    if (snapshot(cache, renamed)->routesPending()) {
        ASSERT_TRUE(routed.waitFor(1));
    }
    EXPECT_LE(routed.count(), 1);
    const auto scene = snapshot(cache, renamed);
    EXPECT_FALSE(scene->routesPending());
    EXPECT_EQ(scene->routes(), expected);
    EXPECT_EQ(scene->position("T1")->employee->name, "Dee Elder");
}

TEST(ChartSceneCache, ChangeWhileRoutingGetsTheLinesOfTheNewChart)
{
    const OrganizationArchive archive = district();
    OrganizationArchive moved = archive;
    moved.organization.positions[4].managerID = "P2"; // T2 under its dotted-line manager's peer
    moved.organization.positions[4].dottedManagerIDs = {"P1"};
    const std::vector<DottedRoute> expected = routedInPlace(moved);
    ASSERT_EQ(expected.size(), 1u);
    EXPECT_EQ(expected[0].managerID, "P1");

    RoutedSignal routed;
    ChartSceneCache cache;
    cache.routeInBackground(routed.callback(), std::chrono::milliseconds(0));
    // Back and forth faster than the workers finish; a late one must not win.
    for (int i = 0; i < 10; ++i) {
        snapshot(cache, archive);
        snapshot(cache, moved);
    }
    std::vector<std::shared_ptr<const ChartScene>> seen;
    const auto scene = routedScene(cache, routed, moved, &seen);
    EXPECT_FALSE(scene->routesPending());
    EXPECT_EQ(scene->routes(), expected);
    for (const auto &shown : seen)
        EXPECT_TRUE(isPrefix(shown->routes(), expected)); // never a line of the older chart
    EXPECT_EQ(snapshot(cache, moved), scene);
}

// Lines come in as they are routed: each scene on the way shows the same cards (the very
// same layout object) and lines that stay as they are in the final scene.
TEST(ChartSceneCache, LinesArriveOneByOneAndStayAsTheyWere)
{
    const OrganizationArchive archive = manyLines(160, 16);
    const std::vector<DottedRoute> expected = routedInPlace(archive);
    ASSERT_GE(expected.size(), 12u);
    RoutedSignal routed;
    ChartSceneCache cache;
    cache.routeInBackground(routed.callback(), std::chrono::milliseconds(0));
    std::vector<std::shared_ptr<const ChartScene>> seen;
    const auto scene = routedScene(cache, routed, archive, &seen);
    EXPECT_EQ(scene->routes(), expected);
    for (const auto &shown : seen) {
        EXPECT_EQ(&shown->layout(), &seen.front()->layout());
        EXPECT_TRUE(isPrefix(shown->routes(), expected));
        EXPECT_EQ(shown->ink(std::nullopt)->arrows.size() > 0, !shown->routes().empty());
    }
}

// Each scene on the way extends the ink of the one before it; every one of them equals the
// ink made at once from its lines, with or without a selection.
TEST(ChartSceneCache, InkOfLinesAsTheyComeEqualsInkMadeAtOnce)
{
    const OrganizationArchive archive = manyLines(160, 16);
    for (const std::optional<std::string> &selection : {std::optional<std::string>(), std::optional<std::string>("P1000")}) {
        RoutedSignal routed;
        ChartSceneCache cache;
        cache.routeInBackground(routed.callback(), std::chrono::milliseconds(0));
        std::vector<std::shared_ptr<const ChartScene>> seen;
        routedScene(cache, routed, archive, &seen);
        for (const auto &shown : seen)
            EXPECT_EQ(*shown->ink(selection), DottedInk(shown->routes(), selection));
        // An edit that moves no card keeps the ink it drew.
        OrganizationArchive renamed = archive;
        renamed.organization.positions[3].employee = Employee{"E1", "Dee Elder"};
        const auto edited = snapshot(cache, renamed);
        ASSERT_EQ(&edited->layout(), &seen.back()->layout());
        EXPECT_EQ(edited->ink(selection), seen.back()->ink(selection));
        // Another card picked then: its ink is that drawn, lit again.
        const std::optional<std::string> other = selection ? std::nullopt : std::optional<std::string>("P1001");
        EXPECT_EQ(*edited->ink(other), DottedInk(edited->routes(), other));
        EXPECT_EQ(*edited->ink(selection), DottedInk(edited->routes(), selection));
    }
}

// The window draws each scene as its lines come in, and selects someone half-way: the ink
// made ahead for the next scenes follows the selection drawn, and equals the ink made at once.
TEST(ChartSceneCache, InkMadeAheadFollowsTheSelectionDrawn)
{
    const OrganizationArchive archive = manyLines(160, 16);
    RoutedSignal routed;
    ChartSceneCache cache;
    cache.routeInBackground(routed.callback(), std::chrono::milliseconds(0));
    std::vector<std::pair<std::shared_ptr<const ChartScene>, std::optional<std::string>>> drawn;
    for (int calls = routed.count();; ++calls) {
        const auto scene = snapshot(cache, archive);
        std::optional<std::string> selection;
        if (!drawn.empty())
            selection = "P1000";
        scene->ink(selection);
        drawn.emplace_back(scene, selection);
        if (!scene->routesPending() || !routed.waitFor(calls + 1))
            break;
    }
    ASSERT_FALSE(drawn.back().first->routesPending());
    for (const auto &[scene, selection] : drawn) {
        EXPECT_EQ(*scene->ink(selection), DottedInk(scene->routes(), selection));
        // The grids made with the ink ahead find what grids made over the ink now find.
        std::shared_ptr<const DottedInkGrids> grids;
        for (int waited = 0; !(grids = scene->inkGridsIfMade(selection)) && waited < 20000; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(grids);
        const DottedInkGrids anew(*scene->ink(selection));
        const Size size = scene->layout().size;
        for (int i = 0; i < 8; ++i) {
            const Rect area{{size.width * i / 8, size.height * (i % 3) / 3}, {size.width / 5, size.height / 2}};
            EXPECT_EQ(grids->strokes.near(area), anew.strokes.near(area));
            EXPECT_EQ(grids->arrows.near(area), anew.arrows.near(area));
        }
    }
}

// A chart of 400 positions shown with all its lines routed in the background, and the same
// chart with a card moved (as a Delete or a change of manager moves them).
struct RoutedChart {
    const OrganizationArchive archive = manyLines(400, 40);
    const OrganizationArchive moved = [this] {
        OrganizationArchive edited = archive;
        edited.organization.positions[5].managerID = "P1002";
        return edited;
    }();
    RoutedSignal routed;
    ChartSceneCache cache;
    std::shared_ptr<const ChartScene> shown;

    RoutedChart()
    {
        cache.routeInBackground(routed.callback(), std::chrono::milliseconds(0));
        shown = routedScene(cache, routed, archive);
    }
};

// Undo after an edit that moved the cards: the earlier layout's lines are in the store and
// show at once, and the lines of the layout no longer shown stop routing.
TEST(ChartSceneCache, BackToARoutedLayoutShowsItsLinesAndStopsTheOtherRouting)
{
    RoutedChart chart;
    ChartSceneCache &cache = chart.cache;
    const OrganizationArchive &archive = chart.archive;
    const auto before = chart.shown;
    ASSERT_FALSE(before->routesPending());

    ASSERT_TRUE(snapshot(cache, chart.moved)->routesPending());
    const auto undone = snapshot(cache, archive);
    EXPECT_FALSE(undone->routesPending());
    EXPECT_EQ(undone->routes(), before->routes());
    EXPECT_FALSE(cache.isRouting());
}

// A closing window does not wait for its router to wind up, but news being given as it
// closes is waited for, and none comes after.
TEST(ChartSceneCache, NoNewsAfterTheCacheIsGone)
{
    std::mutex mutex;
    std::condition_variable changed;
    int calls = 0;
    bool open = false;
    auto cache = std::make_unique<ChartSceneCache>();
    cache->routeInBackground(
        [&] {
            std::unique_lock lock(mutex);
            ++calls;
            changed.notify_all();
            changed.wait(lock, [&] { return open; });
        },
        std::chrono::milliseconds(0));
    ASSERT_TRUE(snapshot(*cache, district())->routesPending());
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(60), [&] { return calls == 1; }));
    }

    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        cache.reset();
        stopped = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(stopped); // the news under way still runs
    {
        const std::lock_guard lock(mutex);
        open = true;
    }
    changed.notify_all();
    stopper.join();
    const std::lock_guard lock(mutex);
    EXPECT_EQ(calls, 1);
}

// An undo or redo back to one of the last charts shown takes its cards and layout as they
// were, not laid out again; what is kept stays bounded.
TEST(ChartSceneCache, BackToAChartShownBeforeTakesItAsItWas)
{
    RoutedChart chart;
    ChartSceneCache &cache = chart.cache;
    const auto before = chart.shown;
    const auto moved = snapshot(cache, chart.moved);
    ASSERT_NE(&moved->layout(), &before->layout());

    const auto undone = snapshot(cache, chart.archive);
    EXPECT_EQ(&undone->layout(), &before->layout());
    EXPECT_EQ(&undone->presentation(), &before->presentation());
    EXPECT_FALSE(undone->routesPending());
    const auto redone = snapshot(cache, chart.moved);
    EXPECT_EQ(&redone->layout(), &moved->layout());
    EXPECT_EQ(snapshot(cache, chart.archive)->presentation().organization, before->presentation().organization);

    // Collapsed and expanded again: the same chart back.
    Request collapsed;
    collapsed.collapsed = {chart.archive.organization.positions[1].id};
    EXPECT_NE(&snapshot(cache, chart.archive, collapsed)->layout(), &before->layout());
    EXPECT_EQ(&snapshot(cache, chart.archive)->layout(), &before->layout());

    // Charts whose lines were never all routed give way first: four of them later, the
    // routed chart is still there, with its ink.
    const std::shared_ptr<const DottedInk> none = before->ink(std::nullopt);
    const auto otherThan = [&](int i) {
        OrganizationArchive other = chart.archive;
        other.organization.positions[size_t(5 + i)].managerID = "P1003";
        return other;
    };
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(snapshot(cache, otherThan(i))->routesPending());
    const auto routed = snapshot(cache, chart.archive);
    EXPECT_EQ(&routed->layout(), &before->layout());
    EXPECT_EQ(routed->ink(std::nullopt), none);

    // What is kept stays bounded: four other charts later the first is laid out anew, as it was.
    ChartSceneCache plain;
    const auto first = snapshot(plain, chart.archive);
    for (int i = 0; i < 4; ++i)
        snapshot(plain, otherThan(i));
    const auto again = snapshot(plain, chart.archive);
    EXPECT_NE(&again->layout(), &first->layout());
    EXPECT_EQ(again->layout(), first->layout());
}

// The ink of no selection, else of the selection before, is kept: a Delete of the selected
// card (which clears the selection) undone, or a click back to a card, draws with it as it
// was, not lit anew.
// A chart laid out on another thread is shown as it was made, for its own inputs and content
// only; its lines are routed by the cache that shows it.
TEST(ChartSceneCache, APreparedChartIsShownWithoutBeingLaidOutAgain)
{
    const OrganizationArchive archive = district();
    const auto prepared = [&] {
        std::unique_ptr<ChartSceneCache::Prepared> chart;
        std::thread([&] { chart = ChartSceneCache::prepare(archive, "all", {}); }).join();
        return chart;
    };

    ChartSceneCache other;
    std::unique_ptr<ChartSceneCache::Prepared> chart = prepared();
    ASSERT_NE(chart, nullptr);
    const ChartLayout *layout = &chart->layout();
    other.adopt(std::move(chart));
    OrganizationArchive edited = archive;
    edited.organization.positions[3].title = "Coach";
    EXPECT_NE(&snapshot(other, edited)->layout(), layout) << "another content";

    ChartSceneCache cache;
    chart = prepared();
    layout = &chart->layout();
    cache.adopt(std::move(chart));
    EXPECT_NE(&snapshot(cache, archive, {.sheetID = "north"})->layout(), layout) << "another chart";
    const std::shared_ptr<const ChartScene> scene = snapshot(cache, archive);
    EXPECT_EQ(&scene->layout(), layout);
    ChartSceneCache fresh;
    const std::shared_ptr<const ChartScene> built = snapshot(fresh, archive);
    EXPECT_EQ(scene->presentation().organization, built->presentation().organization);
    EXPECT_EQ(scene->routes(), built->routes());

    OrganizationArchive broken = archive;
    broken.organization.positions[1].managerID = "P1";
    EXPECT_EQ(ChartSceneCache::prepare(broken, "all", {}), nullptr);
}

TEST(ChartSceneCache, TheInkOfNoSelectionOrOfTheOneBeforeIsKept)
{
    RoutedChart chart;
    ChartSceneCache &cache = chart.cache;
    const auto scene = chart.shown;
    ASSERT_FALSE(scene->routesPending());
    const std::string card = scene->routes().front().reportID;
    const std::string other = scene->routes().back().reportID;
    const std::string third = scene->routes()[scene->routes().size() / 2].reportID;
    ASSERT_NE(third, card);
    ASSERT_NE(third, other);

    // A click back, with nothing picked before.
    const std::shared_ptr<const DottedInk> lit = scene->ink(card);
    const std::shared_ptr<const DottedInk> none = scene->ink(std::nullopt);
    EXPECT_EQ(scene->ink(card), lit);
    // Other cards keep the ink of no selection as the spare.
    EXPECT_EQ(*scene->ink(other), DottedInk(scene->routes(), other));
    EXPECT_EQ(*scene->ink(third), DottedInk(scene->routes(), third));
    EXPECT_EQ(scene->ink(std::nullopt), none);
    const std::shared_ptr<const DottedInk> thirdLit = scene->ink(third);
    EXPECT_EQ(scene->ink(third), thirdLit);

    // The third card deleted while selected, then undone: the ink of no selection comes back
    // with the layout.
    ASSERT_TRUE(snapshot(cache, chart.moved)->routesPending());
    const auto undone = snapshot(cache, chart.archive);
    ASSERT_FALSE(undone->routesPending());
    EXPECT_EQ(undone->ink(std::nullopt), none);
    EXPECT_EQ(undone->ink(third), thirdLit);
    EXPECT_EQ(*undone->ink(std::nullopt), DottedInk(undone->routes(), std::nullopt));
}

// Lines stopped halfway give way before a chart routed whole: its undo after edits whose
// routing was cut short still finds its lines.
TEST(DottedRouteStore, RoutesStoppedHalfwayGiveWayFirst)
{
    const auto keyOf = [](const OrganizationArchive &archive) {
        ChartSceneCache cache;
        return std::make_shared<const DottedRoutingKey>(DottedRoutingKey::of(snapshot(cache, archive)->layout()));
    };
    DottedRouteStore store(2);
    const OrganizationArchive whole = manyLines(160, 16);
    const auto wholeKey = keyOf(whole);
    ASSERT_TRUE(store.route(wholeKey));
    for (int i = 0; i < 3; ++i) {
        OrganizationArchive edited = whole;
        edited.organization.positions[size_t(5 + i)].managerID = "P1002";
        std::stop_source stop;
        EXPECT_FALSE(store.route(keyOf(edited), stop.get_token(), [&](const DottedRoutingProgress &progress) {
            if (progress.done > 0)
                stop.request_stop();
        }));
    }
    EXPECT_TRUE(store.findShared(*wholeKey));
}

// Whatever routed a chart's lines, every consumer of the store takes them while the key is
// equal; a moved card or another layout routes again, and a dotted line added last in
// routing order routes that line only.
TEST(ChartSceneCache, RoutesSharedThroughTheStore)
{
    OrganizationArchive archive = manyLines(60, 6);
    // Two dotted managers give the card its callout band already, so a third moves nothing.
    archive.organization.positions[50].dottedManagerIDs.push_back("P1020");
    ChartSceneCache window;
    const auto shown = snapshot(window, archive);
    ASSERT_FALSE(shown->routes().empty());

    OrganizationArchive moved = archive;
    moved.organization.positions[5].managerID = "P1002";
    OrganizationArchive lastLine = archive;
    lastLine.organization.positions[50].dottedManagerIDs.push_back("P1030");
    Request otherLayout;
    otherLayout.settings = ChartPrintSettings::departmentDesign();
    struct Case {
        const char *name;
        const OrganizationArchive &archive;
        Request request;
        uint64_t routedEdges; // 0: reused; max: all of its dotted edges
    };
    const uint64_t all = std::numeric_limits<uint64_t>::max();
    const std::vector<Case> cases{
        {"same chart", archive, {}, 0},
        {"renamed only", archive, {.sheetID = "", .collapsed = {}}, 0},
        {"moved card", moved, {}, all},
        {"other layout", archive, otherLayout, all},
        {"line added last", lastLine, {}, 1},
    };
    for (const Case &c : cases) {
        ChartSceneCache other(window.routeStore());
        const uint64_t before = DottedRouting::edgesRouted();
        const auto scene = snapshot(other, c.archive, c.request);
        const uint64_t routedEdges = DottedRouting::edgesRouted() - before;
        size_t dotted = 0;
        for (const ChartEdge &edge : scene->layout().edges)
            dotted += edge.dotted;
        EXPECT_EQ(routedEdges, c.routedEdges == all ? dotted : c.routedEdges) << c.name;
        ChartSceneCache alone;
        EXPECT_EQ(scene->routes(), snapshot(alone, c.archive, c.request)->routes()) << c.name;
    }
}

TEST(ChartScene, CardsLayoutAndDottedRoutes)
{
    ChartSceneCache cache;
    const auto scene = snapshot(cache, district());
    EXPECT_EQ(idsOf(scene->presentation().organization), (std::vector<std::string>{"S", "P1", "P2", "T1", "T2", "T3"}));
    EXPECT_EQ(scene->layout().nodes.size(), 6u);
    ASSERT_EQ(scene->routes().size(), 1u);
    EXPECT_EQ(scene->routes()[0].managerID, "P2");
    EXPECT_EQ(scene->routes()[0].reportID, "T2");
    ASSERT_NE(scene->position("T2"), nullptr);
    EXPECT_EQ(scene->position("T2")->employee->name, "Al Zed");
    EXPECT_EQ(scene->position("nobody"), nullptr);
    for (const Position &card : scene->presentation().organization.positions) {
        EXPECT_EQ(idsOf(scene->membersOf(card.id)), std::vector<std::string>{card.id});
        EXPECT_TRUE(scene->linkedSheets().contains(card.id));
    }
    EXPECT_EQ(scene->managersWithReports(), (std::unordered_set<std::string>{"S", "P1", "P2"}));
}

TEST(ChartScene, PersonFocusWinsOverDepartment)
{
    ChartSceneCache cache;
    const OrganizationArchive archive = district();
    EXPECT_EQ(idsOf(snapshot(cache, archive, {.personID = "P2", .department = "North"})->scopedOrganization()),
              (std::vector<std::string>{"P2", "T3"}));
    EXPECT_EQ(idsOf(snapshot(cache, archive, {.department = "North"})->scopedOrganization()),
              (std::vector<std::string>{"P1", "T1", "T2"}));
    // Matched exactly: another case or surrounding blanks focus on nothing.
    for (const char *department : {"north", " North"}) {
        const auto scene = snapshot(cache, archive, {.department = department});
        EXPECT_TRUE(scene->scopedOrganization().positions.empty()) << department;
        EXPECT_TRUE(scene->presentation().organization.positions.empty()) << department;
        EXPECT_TRUE(scene->routes().empty()) << department;
    }
}

// A collapsed card keeps its card and still counts as having reports.
TEST(ChartScene, CollapsedSubtreeKeepsItsManager)
{
    ChartSceneCache cache;
    const auto scene = snapshot(cache, district(), {.collapsed = {"P1"}});
    EXPECT_EQ(idsOf(scene->visibleOrganization()), (std::vector<std::string>{"S", "P1", "P2", "T3"}));
    EXPECT_EQ(scene->scopedOrganization().positions.size(), 6u);
    EXPECT_TRUE(scene->hasReports("P1"));
    EXPECT_FALSE(scene->hasReports("T3"));
    EXPECT_TRUE(scene->routes().empty()); // T2 is hidden
}

// A collapsed group's card stands for the group's people, in person order.
TEST(ChartScene, CollapsedGroupStandsForItsMembers)
{
    OrganizationArchive archive = district();
    archive.addGroup("Teachers", {"T2", "T1"});
    const std::string groupID = archive.groups->front().id;
    ChartSceneCache cache;
    const auto scene = snapshot(cache, archive);
    ASSERT_NE(scene->position(groupID), nullptr);
    EXPECT_EQ(scene->position("T1"), nullptr);
    EXPECT_EQ(idsOf(scene->membersOf(groupID)), (std::vector<std::string>{"T1", "T2"})); // Young before Zed
    EXPECT_EQ(sheetIDsOf(scene->linkedSheetsOf(groupID)), (std::vector<std::string>{"north", "south"}));

    const auto expanded = snapshot(cache, archive, {.expandedGroups = {groupID}});
    EXPECT_EQ(expanded->position(groupID), nullptr);
    EXPECT_EQ(idsOf(expanded->membersOf("T2")), std::vector<std::string>{"T2"});
}

// With names hidden, matching peers become one card that stands for all of them.
TEST(ChartScene, CollapsedTitlesStandForTheirPositions)
{
    OrganizationArchive archive = district();
    archive.organization.positions[4].dottedManagerIDs.clear();
    archive.organization.positions[4].department = "North";
    Request request;
    request.settings.hideNames = true;
    ChartSceneCache cache;
    const auto scene = snapshot(cache, archive, request);
    EXPECT_EQ(scene->presentation().organization.positions.size(), 5u);
    EXPECT_EQ(scene->position("T2"), nullptr);
    EXPECT_EQ(idsOf(scene->membersOf("T1")), (std::vector<std::string>{"T1", "T2"}));
    EXPECT_EQ(idsOf(scene->membersOf("T3")), std::vector<std::string>{"T3"});
}

TEST(ChartScene, CardsRoutesFocusAndCollapse)
{
    ChartSceneCache cache;
    const OrganizationArchive archive = district();
    const auto scene = snapshot(cache, archive);
    EXPECT_EQ(idsOf(scene->presentation().organization), (std::vector<std::string>{"S", "P1", "P2", "T1", "T2", "T3"}));
    ASSERT_EQ(scene->routes().size(), 1u);
    EXPECT_EQ(scene->routes()[0].managerID, "P2");
    EXPECT_EQ(scene->position("T2")->employee->name, "Al Zed");
    EXPECT_EQ(scene->position("nobody"), nullptr);
    EXPECT_EQ(scene->managersWithReports(), (std::unordered_set<std::string>{"S", "P1", "P2"}));

    // A person's focus wins over a department's; departments match exactly.
    EXPECT_EQ(idsOf(snapshot(cache, archive, {.personID = "P2", .department = "North"})->scopedOrganization()),
              (std::vector<std::string>{"P2", "T3"}));
    EXPECT_EQ(idsOf(snapshot(cache, archive, {.department = "North"})->scopedOrganization()),
              (std::vector<std::string>{"P1", "T1", "T2"}));
    EXPECT_TRUE(snapshot(cache, archive, {.department = "north"})->presentation().organization.positions.empty());

    // A collapsed card stays and still has reports; the hidden report's line goes.
    const auto collapsed = snapshot(cache, archive, {.collapsed = {"P1"}});
    EXPECT_EQ(idsOf(collapsed->visibleOrganization()), (std::vector<std::string>{"S", "P1", "P2", "T3"}));
    EXPECT_TRUE(collapsed->hasReports("P1"));
    EXPECT_TRUE(collapsed->routes().empty());
}

// A collapsed group's card, and a card of matching titles with names hidden, stand for
// their people in person order.
TEST(ChartScene, CardsThatStandForSeveralPositions)
{
    OrganizationArchive archive = district();
    archive.addGroup("Teachers", {"T2", "T1"});
    const std::string groupID = archive.groups->front().id;
    ChartSceneCache cache;
    const auto grouped = snapshot(cache, archive);
    EXPECT_EQ(grouped->position("T1"), nullptr);
    EXPECT_EQ(idsOf(grouped->membersOf(groupID)), (std::vector<std::string>{"T1", "T2"})); // Young before Zed
    EXPECT_EQ(sheetIDsOf(grouped->linkedSheetsOf(groupID)), (std::vector<std::string>{"north", "south"}));
    EXPECT_EQ(snapshot(cache, archive, {.expandedGroups = {groupID}})->position(groupID), nullptr);

    OrganizationArchive peers = district();
    peers.organization.positions[4].dottedManagerIDs.clear();
    peers.organization.positions[4].department = "North";
    Request hidden;
    hidden.settings.hideNames = true;
    const auto titles = snapshot(cache, peers, hidden);
    EXPECT_EQ(titles->position("T2"), nullptr);
    EXPECT_EQ(idsOf(titles->membersOf("T1")), (std::vector<std::string>{"T1", "T2"}));
}

// Other charts that show a card's people, by name; never the chart shown.
TEST(ChartScene, LinkedSheets)
{
    ChartSceneCache cache;
    const OrganizationArchive archive = district();
    const auto all = snapshot(cache, archive);
    EXPECT_EQ(sheetIDsOf(all->linkedSheetsOf("T2")), (std::vector<std::string>{"north", "south"}));
    EXPECT_TRUE(all->linkedSheetsOf("S").empty());

    const auto north = snapshot(cache, archive, {.sheetID = "north"});
    EXPECT_EQ(sheetIDsOf(north->linkedSheetsOf("T2")), (std::vector<std::string>{"all", "south"}));
    EXPECT_EQ(sheetIDsOf(north->linkedSheetsOf("T1")), std::vector<std::string>{"all"});

    OrganizationArchive bare = archive;
    bare.sheets.reset();
    const auto whole = snapshot(cache, bare, {.sheetID = ""});
    for (const Position &card : whole->presentation().organization.positions)
        EXPECT_TRUE(whole->linkedSheetsOf(card.id).empty()) << card.id;
    EXPECT_EQ(whole->linkedSheets().size(), 6u);
}

TEST(ChartScene, InkIsKeptForTheLastSelection)
{
    ChartSceneCache cache;
    const auto scene = snapshot(cache, district());
    const auto none = scene->ink(std::nullopt);
    EXPECT_EQ(scene->ink(std::nullopt), none);
    EXPECT_FALSE(none->strokes.empty());
    const auto selected = scene->ink(std::string("T2"));
    EXPECT_NE(selected, none);
    EXPECT_EQ(scene->ink(std::string("T2")), selected);
    EXPECT_TRUE(selected->strokes.front().highlighted);
    EXPECT_EQ(*scene->ink(std::nullopt), *none);
}
