#include "core/chart/chart_layout.h"
#include "core/chart/chart_scene.h"
#include "core/chart/dotted_route_store.h"
#include "core/chart/dotted_routing.h"
#include "core/document/organization_archive.h"
#include "core/model/print_settings.h"

#include "district_generator.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace {

// A dotted line on one position in twenty.
constexpr int dottedEvery = 20;

const Organization &district(int size)
{
    return BenchDistrict::district(size, dottedEvery);
}

ChartPrintSettings settingsFor(bool pageBalanced)
{
    return pageBalanced ? ChartPrintSettings::departmentDesign() : ChartPrintSettings{};
}

void countDottedLines(benchmark::State &state, const ChartLayout &layout, size_t routed)
{
    size_t dotted = 0;
    for (const ChartEdge &edge : layout.edges)
        dotted += edge.dotted ? 1 : 0;
    state.counters["cards"] = static_cast<double>(layout.nodes.size());
    state.counters["dotted"] = static_cast<double>(dotted);
    state.counters["routed"] = static_cast<double>(routed);
}

// The search's work: states expanded per dotted line, and the time each took.
void countStates(benchmark::State &state, uint64_t statesBefore, size_t lines)
{
    const double states = static_cast<double>(DottedRouting::statesExpanded() - statesBefore);
    const double rounds = static_cast<double>(state.iterations());
    state.counters["statesPerLine"] = lines ? states / rounds / static_cast<double>(lines) : 0;
    state.counters["secondsPerState"] =
        benchmark::Counter(states, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Routing alone, on a layout made once: range(0) positions, range(1) page-balanced.
void routing(benchmark::State &state)
{
    const ChartLayout layout = settingsFor(state.range(1) != 0).layout(district(static_cast<int>(state.range(0))));
    const std::vector<ChartNode> nodes = layout.routingNodes();
    size_t routed = 0;
    const uint64_t statesBefore = DottedRouting::statesExpanded();
    for (auto _ : state) {
        const std::vector<DottedRoute> routes = DottedRouting::routes(nodes, layout.edges);
        routed = routes.size();
        benchmark::DoNotOptimize(routes.data());
    }
    countDottedLines(state, layout, routed);
    countStates(state, statesBefore, DottedRouting::routingOrder(layout.edges).size());
}

// The first range(2) dotted lines of a large chart, for the cost of one line where routing
// them all would take minutes.
void routingFirstLines(benchmark::State &state)
{
    const ChartLayout layout = settingsFor(state.range(1) != 0).layout(district(static_cast<int>(state.range(0))));
    const std::vector<ChartNode> nodes = layout.routingNodes();
    std::vector<ChartEdge> edges;
    for (const ChartEdge &edge : layout.edges) {
        if (edge.dotted && static_cast<int64_t>(edges.size()) < state.range(2))
            edges.push_back(edge);
    }
    size_t routed = 0;
    const uint64_t statesBefore = DottedRouting::statesExpanded();
    for (auto _ : state) {
        const std::vector<DottedRoute> routes = DottedRouting::routes(nodes, edges);
        routed = routes.size();
        benchmark::DoNotOptimize(routes.data());
    }
    countDottedLines(state, layout, routed);
    countStates(state, statesBefore, edges.size());
}

// A whole scene from the document, as an edit makes the window rebuild it.
void sceneBuild(benchmark::State &state)
{
    const OrganizationArchive archive =
        OrganizationArchive::make("District", district(static_cast<int>(state.range(0))));
    const ChartPrintSettings settings = settingsFor(state.range(1) != 0);
    std::shared_ptr<const ChartScene> scene;
    for (auto _ : state) {
        ChartSceneCache cache;
        scene = cache.snapshot(archive, "", "", "", {}, {}, settings);
        benchmark::DoNotOptimize(scene.get());
    }
    countDottedLines(state, scene->layout(), scene->routes().size());
}

// What an edit costs before the window can draw the cards, with the dotted lines routed on
// a worker thread as the window does.
void sceneShown(benchmark::State &state)
{
    const OrganizationArchive archive =
        OrganizationArchive::make("District", district(static_cast<int>(state.range(0))));
    const ChartPrintSettings settings = settingsFor(state.range(1) != 0);
    for (auto _ : state) {
        auto cache = std::make_unique<ChartSceneCache>();
        cache->routeInBackground([] {});
        benchmark::DoNotOptimize(cache->snapshot(archive, "", "", "", {}, {}, settings).get());
        state.PauseTiming();
        cache.reset(); // stops the worker
        state.ResumeTiming();
    }
}

// An edit that moves no card (a person's name): the scene is rebuilt, the routes are kept.
void sceneAfterRename(benchmark::State &state)
{
    OrganizationArchive archive = OrganizationArchive::make("District", district(static_cast<int>(state.range(0))));
    const ChartPrintSettings settings;
    ChartSceneCache cache;
    cache.snapshot(archive, "", "", "", {}, {}, settings);
    int round = 0;
    for (auto _ : state) {
        archive.organization.positions[2].title = "Director " + std::to_string(++round % 2);
        benchmark::DoNotOptimize(cache.snapshot(archive, "", "", "", {}, {}, settings).get());
    }
}

// One edit and its undo, in turn, on the itinerant district as a window sees them (lines
// routed on a worker, each content numbered): 0 renames a person, 1 makes a position vacant
// (both leave the cards in place), 2 deletes a leaf (the cards move).
void sceneAfterEdit(benchmark::State &state)
{
    const int size = static_cast<int>(state.range(0));
    const OrganizationArchive before =
        OrganizationArchive::make("District", BenchDistrict::plainItinerantDistrict(size));
    OrganizationArchive after = before;
    const std::string leaf = BenchDistrict::occupiedLeaf(before.organization);
    auto &positions = after.organization.positions;
    const auto edited = std::find_if(positions.begin(), positions.end(), [&](const Position &p) { return p.id == leaf; });
    switch (state.range(1)) {
    case 0: edited->employee->name += " Renamed"; break;
    case 1: edited->employee.reset(); break;
    default: positions.erase(edited); break;
    }
    const ChartPrintSettings settings;
    ChartSceneCache cache;
    cache.routeInBackground([] {}, std::chrono::milliseconds(0));
    uint64_t revision = 1;
    cache.snapshot(before, "", "", "", {}, {}, settings, revision);
    for (auto _ : state) {
        ++revision;
        const OrganizationArchive &shown = revision % 2 ? before : after;
        benchmark::DoNotOptimize(cache.snapshot(shown, "", "", "", {}, {}, settings, revision).get());
    }
}

// Redrawing with unchanged inputs: one comparison of the document with the last one.
void sceneUnchanged(benchmark::State &state)
{
    const OrganizationArchive archive =
        OrganizationArchive::make("District", district(static_cast<int>(state.range(0))));
    ChartSceneCache cache;
    const ChartPrintSettings settings;
    cache.snapshot(archive, "", "", "", {}, {}, settings);
    for (auto _ : state)
        benchmark::DoNotOptimize(cache.snapshot(archive, "", "", "", {}, {}, settings).get());
}

// The ink of the scene's routes for a new selection.
void ink(benchmark::State &state)
{
    const ChartLayout layout = ChartPrintSettings{}.layout(district(static_cast<int>(state.range(0))));
    const std::vector<DottedRoute> routes = DottedRouting::routes(layout.routingNodes(), layout.edges);
    for (auto _ : state)
        benchmark::DoNotOptimize(DottedInk(routes, std::string("P-1")).strokes.data());
}

// The same ink lit for another card: what a click on it costs.
void inkOfAnotherSelection(benchmark::State &state)
{
    const ChartLayout layout = ChartPrintSettings{}.layout(district(static_cast<int>(state.range(0))));
    const std::vector<DottedRoute> routes = DottedRouting::routes(layout.routingNodes(), layout.edges);
    const std::optional<std::string> made = routes.front().reportID;
    const std::optional<std::string> picked = routes.back().reportID;
    const DottedInk ink(routes, made);
    for (auto _ : state)
        benchmark::DoNotOptimize(DottedInk::reselected(ink, made, routes.size(), routes, picked).strokes.data());
}

// Lets a benchmark wait for a background router's news.
class News {
public:
    std::function<void()> callback()
    {
        return [this] {
            std::lock_guard lock(m_mutex);
            ++m_count;
            m_woken.notify_all();
        };
    }
    void waitPast(int count)
    {
        std::unique_lock lock(m_mutex);
        m_woken.wait(lock, [&] { return m_count > count; });
    }
    int count()
    {
        std::lock_guard lock(m_mutex);
        return m_count;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_woken;
    int m_count = 0;
};

// The window's scene once at least one dotted line shows, asking again at each news.
std::shared_ptr<const ChartScene> sceneWithALine(ChartSceneCache &cache, News &news, const OrganizationArchive &archive,
                                                 const ChartPrintSettings &settings)
{
    for (;;) {
        const int seen = news.count();
        std::shared_ptr<const ChartScene> scene = cache.snapshot(archive, "", "", "", {}, {}, settings);
        if (!scene->routes().empty() || !scene->routesPending())
            return scene;
        news.waitPast(seen);
    }
}

// From an edit that moves cards to the first dotted line on screen, in a window routing on
// a worker thread: the cards' scene, the routing grid, the first route, the scene with it.
void firstLineShown(benchmark::State &state)
{
    const OrganizationArchive archive =
        OrganizationArchive::make("District", district(static_cast<int>(state.range(0))));
    const ChartPrintSettings settings = settingsFor(state.range(1) != 0);
    for (auto _ : state) {
        News news;
        auto cache = std::make_unique<ChartSceneCache>();
        cache->routeInBackground(news.callback());
        benchmark::DoNotOptimize(sceneWithALine(*cache, news, archive, settings).get());
        state.PauseTiming();
        cache.reset();
        state.ResumeTiming();
    }
}

// Closing the window (or editing again) while its lines are being routed: the worker is
// stopped and waited for.
void stopWhileRouting(benchmark::State &state)
{
    const OrganizationArchive archive =
        OrganizationArchive::make("District", district(static_cast<int>(state.range(0))));
    const ChartPrintSettings settings = settingsFor(state.range(1) != 0);
    for (auto _ : state) {
        state.PauseTiming();
        News news;
        auto cache = std::make_unique<ChartSceneCache>();
        cache->routeInBackground(news.callback());
        sceneWithALine(*cache, news, archive, settings);
        state.ResumeTiming();
        cache.reset();
    }
}

// The routes of a window whose lines are all routed (made once, outside the timing).
struct RoutedWindow {
    OrganizationArchive archive;
    ChartSceneCache cache;
    std::shared_ptr<const ChartScene> scene;

    explicit RoutedWindow(int positions)
        : archive(OrganizationArchive::make("District", district(positions))),
          scene(cache.snapshot(archive, "", "", "", {}, {}, ChartPrintSettings{}))
    {
    }
    static RoutedWindow &of(int positions)
    {
        static std::map<int, std::unique_ptr<RoutedWindow>> made;
        std::unique_ptr<RoutedWindow> &window = made[positions];
        if (!window)
            window = std::make_unique<RoutedWindow>(positions);
        return *window;
    }
};

// What exporting the chart a window shows spends on its dotted lines: its key, found in the
// window's store. The routing counter stays at zero.
void exportLinesFromWindow(benchmark::State &state)
{
    RoutedWindow &window = RoutedWindow::of(static_cast<int>(state.range(0)));
    const uint64_t before = DottedRouting::edgesRouted();
    for (auto _ : state) {
        const DottedRoutingKey key = DottedRoutingKey::of(window.scene->layout());
        benchmark::DoNotOptimize(window.cache.routeStore()->find(key)->data());
    }
    state.counters["routedEdges"] = static_cast<double>(DottedRouting::edgesRouted() - before);
}

// One dotted line added last in routing order, the cards unmoved: routing starts from that
// line (each round adds a line to another manager).
void lineAddedLate(benchmark::State &state)
{
    RoutedWindow &window = RoutedWindow::of(static_cast<int>(state.range(0)));
    const DottedRoutingKey shown = DottedRoutingKey::of(window.scene->layout());
    const std::vector<ChartNode> &cards = window.scene->layout().nodes;
    const std::string last = std::max_element(cards.begin(), cards.end(), [](const ChartNode &a, const ChartNode &b) {
                                 return a.id < b.id;
                             })->id;
    const uint64_t before = DottedRouting::edgesRouted();
    static size_t round = 0; // on across the runs, so no round finds an earlier one's key
    for (auto _ : state) {
        auto key = std::make_shared<DottedRoutingKey>(shown);
        key->edges.push_back({cards[++round * 7 % cards.size()].id, last, true});
        key->edges = DottedRouting::routingOrder(key->edges);
        benchmark::DoNotOptimize(window.cache.routeStore()->route(key)->data());
    }
    state.counters["routedEdges"] = benchmark::Counter(static_cast<double>(DottedRouting::edgesRouted() - before),
                                                       benchmark::Counter::kAvgIterations);
}

} // namespace

// Routing every dotted line of a 20,000-position chart takes minutes (run once each); its
// first lines give the cost per line.
BENCHMARK(routing)
    ->ArgsProduct({{1000, 5000}, {0, 1}})
    ->ArgNames({"positions", "pageBalanced"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(routing)
    ->ArgsProduct({{20000}, {0, 1}})
    ->ArgNames({"positions", "pageBalanced"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(routingFirstLines)
    ->ArgsProduct({{20000}, {0, 1}, {50}})
    ->ArgNames({"positions", "pageBalanced", "lines"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(sceneBuild)
    ->ArgsProduct({{1000, 5000}, {0, 1}})
    ->ArgNames({"positions", "pageBalanced"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(sceneShown)
    ->ArgsProduct({{1000, 5000, 20000}, {0, 1}})
    ->ArgNames({"positions", "pageBalanced"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(sceneAfterRename)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(sceneAfterEdit)
    ->ArgsProduct({{20000}, {0, 1, 2}})
    ->ArgNames({"positions", "edit"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(sceneUnchanged)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(ink)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(inkOfAnotherSelection)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(firstLineShown)
    ->ArgsProduct({{5000, 20000}, {0, 1}})
    ->ArgNames({"positions", "pageBalanced"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(stopWhileRouting)
    ->ArgsProduct({{5000, 20000}, {0}})
    ->ArgNames({"positions", "pageBalanced"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(exportLinesFromWindow)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(lineAddedLate)->Arg(5000)->Unit(benchmark::kMillisecond);
