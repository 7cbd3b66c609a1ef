#include "core/chart/dotted_route_store.h"
#include "core/chart/dotted_routing_grid.h"

#include "chart_test_support.h"
#include "dotted_route_shape.h"
#include "dotted_routing_reference.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <random>

#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

struct Chart {
    std::vector<ChartNode> nodes;
    std::vector<ChartEdge> edges;
};

// Cards dropped at random, on whole and half points, often closer than the clearance or
// overlapping, so that ports get dropped and cards get walled in; edges include solid
// ones, missing cards and repeated pairs.
Chart randomCards(std::mt19937 &random, int count, double unit = 0.5)
{
    const auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    Chart chart;
    const int span = 180 * static_cast<int>(std::sqrt(count)) + 200;
    for (int i = 0; i < count; ++i) {
        const double x = between(0, static_cast<int>(span / unit)) * unit;
        const double y = between(0, static_cast<int>(span / unit)) * unit;
        chart.nodes.push_back({"N" + std::to_string(between(0, 9)) + "-" + std::to_string(i),
                               Rect::make(x, y, between(20, 240) + unit, between(20, 140) - unit)});
    }
    const int edges = between(1, 12);
    for (int e = 0; e < edges; ++e) {
        const auto pick = [&]() -> std::string {
            if (between(0, 15) == 0)
                return "missing";
            return chart.nodes[static_cast<size_t>(between(0, count - 1))].id;
        };
        chart.edges.push_back({pick(), pick(), between(0, 5) != 0});
    }
    return chart;
}

// A laid-out organization with dotted lines between random positions: `dotted` tries, or
// one to eight.
Chart randomLayout(std::mt19937 &random, int count, bool pageBalanced, int dotted = 0)
{
    const auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    Organization org;
    for (int i = 0; i < count; ++i) {
        Position p = ChartTest::position("P" + std::to_string(i));
        if (i > 0)
            p.managerID = org.positions[static_cast<size_t>(between(std::max(0, i - 6), i - 1))].id;
        org.positions.push_back(std::move(p));
    }
    for (int d = dotted ? dotted : between(1, 8); d > 0; --d) {
        Position &p = org.positions[static_cast<size_t>(between(1, count - 1))];
        const std::string &other = org.positions[static_cast<size_t>(between(0, count - 1))].id;
        if (other != p.id && p.managerID != other &&
            std::find(p.dottedManagerIDs.begin(), p.dottedManagerIDs.end(), other) == p.dottedManagerIDs.end())
            p.dottedManagerIDs.push_back(other);
    }
    const ChartLayout layout =
        ChartLayout::build(org.withReportingCallouts(), pageBalanced ? std::optional<double>(1.4) : std::nullopt, 112);
    return {layout.routingNodes(), layout.edges};
}

void expectSameRoutes(const Chart &chart, const std::string &context)
{
    const std::vector<DottedRoute> expected = ReferenceRouting::routes(chart.nodes, chart.edges);
    const DottedRouting::Limits fallbacks{.bitsetCells = 0, .flatCells = 0, .flatTiles = 0, .floodBudget = 3};
    const DottedRouting::Limits flatOnRuns{.bitsetCells = 0, .floodBudget = 3};
    for (const DottedRouting::Limits &limits : {DottedRouting::Limits{}, fallbacks, flatOnRuns}) {
        const std::vector<DottedRoute> actual = DottedRouting::routes(chart.nodes, chart.edges, limits);
        ASSERT_EQ(actual.size(), expected.size()) << context;
        for (size_t i = 0; i < actual.size(); ++i)
            ASSERT_EQ(actual[i], expected[i]) << context << " route " << i << "\n  got " << actual[i] << "\n want "
                                              << expected[i];
    }
}

void expectGoodShapes(const Chart &chart, const std::string &context)
{
    for (const DottedRoute &route : DottedRouting::routes(chart.nodes, chart.edges))
        DottedRouteShape::expectGoodShape(route, chart.nodes, context);
}

} // namespace

// Every route point for point as the word-for-word router finds it, on both grids and with
// every memory fallback forced.
TEST(DottedRoutingReference, SameRoutesOnRandomCards)
{
    std::mt19937 random(7321);
    for (int round = 0; round < 70; ++round) {
        const int count = round % 10 == 9 ? 151 + round % 40 : 2 + round % 40;
        expectSameRoutes(randomCards(random, count), "cards round " + std::to_string(round));
        if (testing::Test::HasFatalFailure())
            return;
    }
}

TEST(DottedRoutingReference, SameRoutesOnRandomLayouts)
{
    std::mt19937 random(9917);
    for (int round = 0; round < 40; ++round) {
        const int count = round % 4 == 3 ? 160 + round : 3 + round * 3;
        const Chart chart = randomLayout(random, count, round % 2 == 0);
        expectSameRoutes(chart, "layout round " + std::to_string(round));
        expectGoodShapes(chart, "layout round " + std::to_string(round));
        if (testing::Test::HasFatalFailure())
            return;
    }
}

// Coordinates that are not sums of halves: costs round, and the result must still agree.
TEST(DottedRoutingReference, SameRoutesWithUnevenCoordinates)
{
    std::mt19937 random(5150);
    for (int round = 0; round < 30; ++round) {
        const double unit = round % 2 ? 1.0 / 3 : 0.1;
        expectSameRoutes(randomCards(random, 2 + round % 30, unit), "uneven round " + std::to_string(round));
        if (testing::Test::HasFatalFailure())
            return;
    }
}

namespace {

std::shared_ptr<const DottedRoutingKey> keyOf(const std::vector<ChartNode> &nodes, const std::vector<ChartEdge> &edges)
{
    return std::make_shared<const DottedRoutingKey>(DottedRoutingKey{nodes, DottedRouting::routingOrder(edges)});
}

// Routes `key` through the store and returns how many edges it routed to get there.
uint64_t routedThrough(DottedRouteStore &store, const std::shared_ptr<const DottedRoutingKey> &key,
                       std::optional<std::vector<DottedRoute>> *routes = nullptr, std::stop_token stop = {},
                       const std::function<void(const DottedRoutingProgress &)> &routed = {})
{
    const uint64_t before = DottedRouting::edgesRouted();
    std::optional<std::vector<DottedRoute>> made = store.route(key, std::move(stop), routed);
    if (routes)
        *routes = std::move(made);
    return DottedRouting::edgesRouted() - before;
}

bool isPrefix(const std::vector<DottedRoute> &part, const std::vector<DottedRoute> &whole)
{
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

} // namespace

// Every report of a job is a prefix of the reference's routes, reports only grow, and the
// last is all of them.
TEST(DottedRoutingReference, PublishedLinesAreFinalLines)
{
    std::mt19937 random(4411);
    for (int round = 0; round < 8; ++round) {
        const Chart chart = randomLayout(random, 30 + round * 10, round % 2 == 0, 12);
        const std::vector<DottedRoute> expected = ReferenceRouting::routes(chart.nodes, chart.edges);
        std::mutex mutex;
        std::condition_variable woken;
        bool news = false;
        DottedRoutingJob job(std::make_shared<DottedRouteStore>(), keyOf(chart.nodes, chart.edges), [&] {
            std::lock_guard lock(mutex);
            news = true;
            woken.notify_all();
        });
        std::vector<DottedRoutingProgress> seen;
        while (seen.empty() || !seen.back().isComplete()) {
            std::unique_lock lock(mutex);
            ASSERT_TRUE(woken.wait_for(lock, std::chrono::seconds(60), [&] { return news; }));
            news = false;
            lock.unlock();
            seen.push_back(job.progress());
        }
        for (size_t i = 0; i < seen.size(); ++i) {
            EXPECT_TRUE(isPrefix(seen[i].routes, expected)) << "round " << round << " report " << i;
            if (i > 0) {
                EXPECT_GE(seen[i].done, seen[i - 1].done);
            }
        }
        EXPECT_EQ(seen.back().routes, expected) << "round " << round;
    }
}

// An equal key reuses the stored routes without routing; when only the dotted edges
// changed, routing starts at the first changed edge in routing order, also after a stop
// part-way; a moved card routes everything again. Every result is the reference's.
TEST(DottedRoutingReference, StoreReusesAndRestartsExactly)
{
    std::mt19937 random(2718);
    const auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int round = 0; round < 16; ++round) {
        const std::string context = "round " + std::to_string(round);
        Chart chart = randomLayout(random, 20 + round * 6, round % 2 == 1, 10);
        DottedRouteStore store;
        const auto key = keyOf(chart.nodes, chart.edges);
        const size_t total = key->edges.size();
        std::optional<std::vector<DottedRoute>> routes;
        EXPECT_EQ(routedThrough(store, key, &routes), total) << context;
        ASSERT_EQ(routes, ReferenceRouting::routes(chart.nodes, chart.edges)) << context;
        EXPECT_EQ(routedThrough(store, keyOf(chart.nodes, chart.edges), &routes), 0u) << context;
        EXPECT_EQ(store.find(*key), routes) << context;
        // Found again, the routes are shared, not copied anew.
        const std::shared_ptr<const std::vector<DottedRoute>> shared = store.findShared(*key);
        ASSERT_TRUE(shared) << context;
        EXPECT_EQ(*shared, routes) << context;
        EXPECT_EQ(store.findShared(*keyOf(chart.nodes, chart.edges)), shared) << context;

        // Edit the dotted edges: drop one, add one, or turn one around.
        Chart edited = chart;
        std::vector<ChartEdge> dotted = key->edges;
        const size_t at = static_cast<size_t>(between(0, static_cast<int>(total) - 1));
        switch (round % 3) {
        case 0:
            dotted.erase(dotted.begin() + static_cast<ptrdiff_t>(at));
            break;
        case 1:
            dotted.push_back({chart.nodes[static_cast<size_t>(between(0, static_cast<int>(chart.nodes.size()) - 1))].id,
                              chart.nodes[static_cast<size_t>(between(0, static_cast<int>(chart.nodes.size()) - 1))].id,
                              true});
            break;
        default:
            std::swap(dotted[at].managerID, dotted[at].reportID);
        }
        edited.edges = dotted;
        const auto editedKey = keyOf(edited.nodes, edited.edges);
        const size_t same = static_cast<size_t>(
            std::mismatch(key->edges.begin(), key->edges.end(), editedKey->edges.begin(), editedKey->edges.end())
                .first -
            key->edges.begin());
        const std::vector<DottedRoute> expected = ReferenceRouting::routes(edited.nodes, edited.edges);
        if (store.find(*editedKey)) // an edit that changed nothing
            continue;

        // Stopped after some lines, then asked again: it goes on from where it stopped.
        const size_t stopAfter = same + (editedKey->edges.size() - same) / 2;
        std::stop_source stop;
        std::vector<DottedRoute> shown;
        routedThrough(store, editedKey, &routes, stop.get_token(), [&](const DottedRoutingProgress &progress) {
            shown = progress.routes;
            if (progress.done >= stopAfter)
                stop.request_stop();
        });
        const bool stopped = !routes;
        EXPECT_TRUE(isPrefix(shown, expected)) << context;
        const uint64_t rest = routedThrough(store, editedKey, &routes);
        ASSERT_EQ(routes, expected) << context;
        EXPECT_EQ(rest, editedKey->edges.size() - (stopped ? std::max(stopAfter, same) : editedKey->edges.size()))
            << context;

        // A moved card shares no memory with the stored routes.
        Chart moved = edited;
        moved.nodes.front().frame = moved.nodes.front().frame.offsetBy(7, 0);
        EXPECT_FALSE(store.find(*keyOf(moved.nodes, moved.edges))) << context;
        EXPECT_EQ(routedThrough(store, keyOf(moved.nodes, moved.edges), &routes), editedKey->edges.size())
            << context;
        EXPECT_EQ(routes, ReferenceRouting::routes(moved.nodes, moved.edges)) << context;
    }
}

// Two consumers asking for the same lines at once route them once; the one that waited gets
// the same routes, and a waiter that is stopped gives up at once.
TEST(DottedRoutingReference, ConcurrentConsumersRouteOnce)
{
    std::mt19937 random(3301);
    const Chart chart = randomLayout(random, 120, false, 14);
    const auto key = keyOf(chart.nodes, chart.edges);
    const std::vector<DottedRoute> expected = ReferenceRouting::routes(chart.nodes, chart.edges);
    auto store = std::make_shared<DottedRouteStore>();
    const uint64_t before = DottedRouting::edgesRouted();
    std::optional<std::vector<DottedRoute>> here;
    {
        DottedRoutingJob job(store, key, [] {});
        here = store->route(keyOf(chart.nodes, chart.edges));
        while (!job.isFinished())
            std::this_thread::yield();
        EXPECT_EQ(job.progress().routes, expected);
    }
    EXPECT_EQ(here, expected);
    EXPECT_EQ(DottedRouting::edgesRouted() - before, key->edges.size());
}

namespace {

// A window's background job, held inside its first report (after its first line) until an
// output has asked for lines.
class HeldBackgroundJob {
public:
    HeldBackgroundJob(std::shared_ptr<DottedRouteStore> store, std::shared_ptr<const DottedRoutingKey> key)
        : job(std::move(store), std::move(key), [this] {
              std::unique_lock lock(m_mutex);
              if (!m_held) {
                  m_held = true;
                  m_woken.notify_all();
                  m_woken.wait(lock, [&] { return m_released; });
              }
          })
    {
    }

    bool waitUntilHeld()
    {
        std::unique_lock lock(m_mutex);
        return m_woken.wait_for(lock, std::chrono::seconds(60), [&] { return m_held; });
    }

    // Lets the job go on once `asking` is set. The output reaches the store's wait a moment
    // after it says so; nothing outside the store shows when.
    void releaseOnceAsked(const std::atomic<bool> &asking)
    {
        while (!asking)
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        {
            std::lock_guard lock(m_mutex);
            m_released = true;
        }
        m_woken.notify_all();
    }

    void waitUntilFinished() const
    {
        while (!job.isFinished())
            std::this_thread::yield();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_woken;
    bool m_held = false;
    bool m_released = false;

public:
    DottedRoutingJob job;
};

} // namespace

// Output the user waits for does not wait behind a window's background routing of the same
// lines: that one gives way within a line, the output goes on from where it got and counts
// from its start, every line is routed once, and the background job still ends with all of
// them.
TEST(DottedRoutingReference, OutputGoesBeforeBackgroundRouting)
{
    std::mt19937 random(5077);
    const Chart chart = randomLayout(random, 160, false, 20);
    const auto key = keyOf(chart.nodes, chart.edges);
    const size_t total = key->edges.size();
    ASSERT_GE(total, 4u);
    const std::vector<DottedRoute> expected = ReferenceRouting::routes(chart.nodes, chart.edges);
    auto store = std::make_shared<DottedRouteStore>();
    const uint64_t before = DottedRouting::edgesRouted();

    HeldBackgroundJob background(store, key);
    ASSERT_TRUE(background.waitUntilHeld());
    std::vector<size_t> counted;
    std::atomic<bool> asking = false;
    auto output = std::async(std::launch::async, [&] {
        const auto same = keyOf(chart.nodes, chart.edges);
        asking = true;
        return store->route(same, {}, [&](const DottedRoutingProgress &progress) { counted.push_back(progress.done); },
                            DottedRouteStore::Turn::first);
    });
    background.releaseOnceAsked(asking);
    EXPECT_EQ(output.get(), expected);
    ASSERT_FALSE(counted.empty());
    EXPECT_LT(counted.front(), total) << "the output waited for the background routing";
    EXPECT_EQ(counted.back(), total);
    EXPECT_TRUE(std::is_sorted(counted.begin(), counted.end()));
    background.waitUntilFinished();
    EXPECT_EQ(background.job.progress().routes, expected);
    EXPECT_EQ(DottedRouting::edgesRouted() - before, total);
}

// Output of other lines than a window's does not route beside it: the window's background
// routing gives way (one routing grid at a time, each hundreds of megabytes on a large
// chart), routes nothing while the output routes, and then goes on to the same routes.
TEST(DottedRoutingReference, OutputOfOtherLinesPausesBackgroundRouting)
{
    std::mt19937 random(6211);
    const Chart shown = randomLayout(random, 160, false, 20);
    const Chart printed = randomLayout(random, 160, true, 20);
    const auto shownKey = keyOf(shown.nodes, shown.edges);
    ASSERT_GE(shownKey->edges.size(), 4u);
    const std::vector<DottedRoute> expected = ReferenceRouting::routes(shown.nodes, shown.edges);
    auto store = std::make_shared<DottedRouteStore>();

    HeldBackgroundJob background(store, shownKey);
    ASSERT_TRUE(background.waitUntilHeld());
    std::atomic<bool> asking = false;
    std::vector<size_t> backgroundDone; // the window's count at each line of the output
    auto output = std::async(std::launch::async, [&] {
        asking = true;
        return store->route(
            keyOf(printed.nodes, printed.edges), {},
            [&](const DottedRoutingProgress &) {
                backgroundDone.push_back(background.job.progress().done);
                // Time for a router beside this one to show.
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            },
            DottedRouteStore::Turn::first);
    });
    background.releaseOnceAsked(asking);
    EXPECT_EQ(output.get(), ReferenceRouting::routes(printed.nodes, printed.edges));
    ASSERT_GE(backgroundDone.size(), 4u);
    EXPECT_EQ(backgroundDone.front(), backgroundDone.back()) << "the window routed beside the output";
    EXPECT_LT(backgroundDone.back(), shownKey->edges.size());
    background.waitUntilFinished();
    EXPECT_EQ(background.job.progress().routes, expected);
}

#if defined(__linux__)
// A preview's routing, which the user waits for, keeps the window's priority; only the
// window's background routing gives the window the processor first.
TEST(DottedRoutingReference, OnlyBackgroundJobsYieldTheProcessor)
{
    const auto niceness = [] { return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())); };
    const int ours = niceness();
    if (ours >= 10)
        GTEST_SKIP() << "the tests already run in the background";
    const std::vector<ChartNode> nodes{{"A", Rect::make(0, 0, 100, 60)}, {"B", Rect::make(300, 200, 100, 60)}};
    const std::vector<ChartEdge> edges{{"A", "B", true}};
    for (const auto turn : {DottedRouteStore::Turn::first, DottedRouteStore::Turn::background}) {
        std::promise<int> routedAt;
        bool told = false; // news comes on the job's thread only
        DottedRoutingJob job(std::make_shared<DottedRouteStore>(), keyOf(nodes, edges), [&] {
            if (!std::exchange(told, true))
                routedAt.set_value(niceness());
        }, turn);
        auto seen = routedAt.get_future();
        ASSERT_EQ(seen.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        if (turn == DottedRouteStore::Turn::first)
            EXPECT_EQ(seen.get(), ours);
        else
            EXPECT_GE(seen.get(), 10);
    }
}
#endif
