#include "core/chart/dotted_routing_grid.h"

#include "chart_test_support.h"
#include "dotted_routing_reference.h"

#include <gtest/gtest.h>

namespace {

// Cards down a staircase, each 150 right of and 100 below the one before, so that every card
// adds lanes of its own: about 3n columns and 3n rows. Dotted lines join cards a few steps
// apart, some back up the staircase and some six times, so that later lines pay for the ports,
// lanes and crossings of earlier ones.
struct Staircase {
    std::vector<ChartNode> nodes;
    std::vector<ChartEdge> edges;
};

Staircase staircase(int cards)
{
    Staircase chart;
    for (int i = 0; i < cards; ++i)
        chart.nodes.push_back({"S" + std::to_string(i), Rect::make(150.0 * i, 100.0 * i, 100, 60)});
    const auto id = [&](int i) { return chart.nodes[static_cast<size_t>(i)].id; };
    for (int i : {3, cards / 2, cards - 9}) {
        for (int twice = 0; twice < 6; ++twice)
            chart.edges.push_back({id(i + 1), id(i), true});
        chart.edges.push_back({id(i + 4), id(i), true});
        chart.edges.push_back({id(i), id(i + 2), true});
    }
    chart.edges.push_back({id(cards / 2), id(cards / 2 + 1), false});
    return chart;
}

int64_t cellsOf(const Staircase &chart)
{
    std::vector<Rect> obstacles;
    for (const ChartNode &node : chart.nodes)
        obstacles.push_back(DottedRouting::obstacleOf(node.frame));
    const DottedRouting::RoutingGrid grid(obstacles, false, DottedRouting::Limits{});
    return grid.width() * grid.height();
}

void expectReferenceRoutes(const Staircase &chart, const DottedRouting::Limits &limits, const std::string &context)
{
    const std::vector<DottedRoute> expected = ReferenceRouting::routes(chart.nodes, chart.edges);
    ASSERT_EQ(expected.size(), 24u) << context;
    const std::vector<DottedRoute> actual = DottedRouting::routes(chart.nodes, chart.edges, limits);
    ASSERT_EQ(actual.size(), expected.size()) << context;
    for (size_t i = 0; i < actual.size(); ++i)
        EXPECT_EQ(actual[i], expected[i]) << context << " route " << i;
}

} // namespace

// Past 16 million cells the searches keep their state in tiles, with the cells' words in an
// array over the grid, or gathered at every step when the grid is too large for that too.
TEST(DottedRoutingLargeGrid, MoreThanSixteenMillionCellsRouteAsTheReference)
{
    const Staircase chart = staircase(1400);
    ASSERT_GT(cellsOf(chart), int64_t(1) << 24);
    expectReferenceRoutes(chart, DottedRouting::Limits{}, "words kept");
    expectReferenceRoutes(chart, DottedRouting::Limits{.wordCells = 0}, "words gathered");
}

// A grid of more than a billion cells, whose search states (four a cell) no longer fit in 32
// bits: nothing is sized by the grid's area, and the routes are still the reference's.
TEST(DottedRoutingLargeGrid, StatesBeyondThirtyTwoBits)
{
    const Staircase chart = staircase(11000);
    ASSERT_GT(cellsOf(chart) * 4, int64_t(1) << 32);
    expectReferenceRoutes(chart, DottedRouting::Limits{}, "billion cells");
}
