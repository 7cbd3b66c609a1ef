#include "core/chart/dotted_routing_grid.h"

#include "chart_test_support.h"
#include "dotted_routing_reference.h"

#include <gtest/gtest.h>

#include <random>

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

// A laid-out organization with dotted lines between random positions.
Chart randomLayout(std::mt19937 &random, int count, bool pageBalanced)
{
    const auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    Organization org;
    for (int i = 0; i < count; ++i) {
        Position p = ChartTest::position("P" + std::to_string(i));
        if (i > 0)
            p.managerID = org.positions[static_cast<size_t>(between(std::max(0, i - 6), i - 1))].id;
        org.positions.push_back(std::move(p));
    }
    for (int d = between(1, 8); d > 0; --d) {
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

bool onOutline(Point p, const Rect &r)
{
    const bool onVertical = (p.x == r.minX() || p.x == r.maxX()) && r.minY() <= p.y && p.y <= r.maxY();
    const bool onHorizontal = (p.y == r.minY() || p.y == r.maxY()) && r.minX() <= p.x && p.x <= r.maxX();
    return onVertical || onHorizontal;
}

// Whether an axis-parallel segment passes through the open inside of a rectangle.
bool entersInside(Point a, Point b, const Rect &r)
{
    if (a.y == b.y)
        return r.minY() < a.y && a.y < r.maxY() && std::max(a.x, b.x) > r.minX() && std::min(a.x, b.x) < r.maxX();
    return r.minX() < a.x && a.x < r.maxX() && std::max(a.y, b.y) > r.minY() && std::min(a.y, b.y) < r.maxY();
}

// Shapes the reference itself could get wrong: pieces horizontal or vertical, no three
// points on one line, ends on the two cards' outlines, nothing through a card or (away
// from the ends) its clearance.
void expectGoodShapes(const Chart &chart, const std::string &context)
{
    const auto frameOf = [&](const std::string &id) {
        return std::find_if(chart.nodes.begin(), chart.nodes.end(), [&](const ChartNode &n) { return n.id == id; })
            ->frame;
    };
    for (const DottedRoute &route : DottedRouting::routes(chart.nodes, chart.edges)) {
        const std::vector<Point> &p = route.points;
        ASSERT_GE(p.size(), 2u) << context;
        EXPECT_TRUE(onOutline(p.front(), frameOf(route.reportID))) << context;
        EXPECT_TRUE(onOutline(p.back(), frameOf(route.managerID))) << context;
        for (size_t i = 0; i + 1 < p.size(); ++i) {
            EXPECT_TRUE(p[i] != p[i + 1] && (p[i].x == p[i + 1].x || p[i].y == p[i + 1].y)) << context;
            if (i + 2 < p.size()) {
                EXPECT_FALSE((p[i].x == p[i + 1].x && p[i + 1].x == p[i + 2].x) ||
                             (p[i].y == p[i + 1].y && p[i + 1].y == p[i + 2].y))
                    << context;
            }
            for (const ChartNode &node : chart.nodes) {
                EXPECT_FALSE(entersInside(p[i], p[i + 1], node.frame)) << context << " through " << node.id;
                if (i > 0 && i + 2 < p.size()) {
                    EXPECT_FALSE(entersInside(p[i], p[i + 1], DottedRouting::obstacleOf(node.frame))) << context;
                }
            }
        }
    }
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
