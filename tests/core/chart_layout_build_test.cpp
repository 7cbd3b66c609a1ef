#include "core/chart_layout.h"

#include "chart_test_support.h"
#include "error_of.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

using namespace ChartTest;

namespace {

std::vector<ChartSegment> segments(std::initializer_list<std::array<double, 4>> list)
{
    std::vector<ChartSegment> result;
    for (const auto &s : list)
        result.push_back({{s[0], s[1]}, {s[2], s[3]}});
    return result;
}

} // namespace

TEST(ChartLayoutBuild, SmallChartsKeepTheMinimumSize)
{
    EXPECT_EQ(ChartLayout::build(Organization{}, std::nullopt, 112).size, (Size{320, 240}));
    const Organization one{{position("A")}};
    const ChartLayout layout = ChartLayout::build(one, 1.4, 112);
    EXPECT_EQ(layout.nodes.at(0).frame, Rect::make(40, 40, 240, 112));
    EXPECT_EQ(layout.size, (Size{320, 240}));
}

// The card height is checked before the ratio.
TEST(ChartLayoutBuild, RefusesBadInput)
{
    auto refusal = [](const Organization &org, std::optional<double> ratio, double height) {
        return errorOf([&] { ChartLayout::build(org, ratio, height); });
    };
    const Organization one{{position("A")}};
    const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
    for (double height : {111.99, nan, inf})
        EXPECT_EQ(refusal(one, 0.0, height), "Chart cards must be at least 112 points tall.") << height;
    for (double ratio : {0.0, -1.0, nan, inf})
        EXPECT_EQ(refusal(one, ratio, 112), "The page layout aspect ratio must be positive.") << ratio;
    EXPECT_EQ(refusal(Organization{{position("A", "missing")}}, std::nullopt, 112),
              "A references an invalid manager: missing.");
}

// Leaf reports on screen hang in one column entered from a lane on the left; a lone
// assistant is entered from the side, two from a line above them.
TEST(ChartLayoutBuild, Connectors)
{
    const Organization column{{position("R"), position("A", "R"), position("B", "R"), position("C", "R")}};
    const ChartLayout layout = ChartLayout::build(column, std::nullopt, 112);
    EXPECT_EQ(frameOf(layout, "C"), Rect::make(40, 504, 240, 112));
    EXPECT_EQ(layout.primarySegments, segments({{160, 152, 160, 184},
                                                {16, 184, 160, 184},
                                                {16, 184, 16, 560},
                                                {16, 272, 40, 272},
                                                {16, 416, 40, 416},
                                                {16, 560, 40, 560}}));

    const Organization one{{position("R"), assistant("X", "R")}};
    EXPECT_EQ(ChartLayout::build(one, std::nullopt, 112).primarySegments,
              segments({{280, 96, 296, 96}, {296, 96, 296, 152}, {296, 152, 312, 152}}));
    const Organization two{{position("R"), assistant("X", "R"), assistant("Y", "R")}};
    EXPECT_EQ(ChartLayout::build(two, std::nullopt, 112).primarySegments,
              segments({{296, 80, 728, 80}, {296, 80, 296, 96}, {432, 80, 432, 96}, {728, 80, 728, 96},
                        {280, 96, 296, 96}}));
}

// Children by sibling order (none counts as 0), then id; nodes by id; edges in document
// order, each report's primary line before its dotted ones.
TEST(ChartLayoutBuild, OrderOfChildrenNodesAndEdges)
{
    Organization org{{position("R"), position("d", "R"), position("c", "R"), position("b", "R"),
                      position("a", "R"), position("M")}};
    org.positions[1].siblingOrder = 2;
    org.positions[3].siblingOrder = -1;
    org.positions[4].dottedManagerIDs = {"M", "b"};
    const ChartLayout layout = ChartLayout::build(org, std::nullopt, 112);
    EXPECT_LT(frameOf(layout, "b").minY(), frameOf(layout, "a").minY());
    EXPECT_LT(frameOf(layout, "a").minY(), frameOf(layout, "c").minY());
    EXPECT_LT(frameOf(layout, "c").minY(), frameOf(layout, "d").minY());
    std::vector<std::string> ids;
    for (const ChartNode &node : layout.nodes)
        ids.push_back(node.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"M", "R", "a", "b", "c", "d"}));
    EXPECT_EQ(layout.edges, (std::vector<ChartEdge>{{"R", "d", false}, {"R", "c", false}, {"R", "b", false},
                                                    {"R", "a", false}, {"M", "a", true}, {"b", "a", true}}));
}

TEST(ChartLayoutBuild, RoutingNodesAddHeaderObstacles)
{
    ChartLayout layout;
    layout.nodes = {{"__shared_area_header_0", Rect::make(0, 0, 10, 10)}};
    layout.regions = {{Rect::make(20, 100, 500, 300), "T", "S"}, {Rect::make(20, 500, 300, 100), "T", "S"}};
    const std::vector<ChartNode> nodes = layout.routingNodes();
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(nodes[1].id, "__shared_area_header_0_");
    EXPECT_EQ(nodes[1].frame, Rect::make(32, 108, 476, 42));
    EXPECT_EQ(nodes[2].id, "__shared_area_header_1");
}

TEST(ChartLayoutBuild, HundredThousandLevelChain)
{
    Organization org{{position("P0")}};
    for (int i = 1; i < 100000; ++i)
        org.positions.push_back(position("P" + std::to_string(i), "P" + std::to_string(i - 1)));
    for (std::optional<double> ratio : {std::optional<double>(), std::optional<double>(1.4)}) {
        const ChartLayout layout = ChartLayout::build(org, ratio, 112);
        ASSERT_EQ(layout.primarySegments.size(), 99999u); // one drop from each card to the next
        EXPECT_EQ(layout.primarySegments.back().start.x, 160);
        EXPECT_EQ(layout.size.width, 320);
    }
}
