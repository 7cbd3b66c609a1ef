#include "core/chart/chart_layout.h"

#include "chart_test_support.h"
#include "error_of.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

using namespace ChartTest;

// The card height is checked before the ratio.
TEST(ChartLayoutBuild, RefusesBadInput)
{
    auto refusal = [](const Organization &org, std::optional<double> ratio, double height) {
        return errorOf([&] { ChartLayout::build(org, ratio, height); });
    };
    const Organization one{{position("A")}};
    const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
    for (double height : {111.99, nan})
        EXPECT_EQ(refusal(one, 0.0, height), "Chart cards must be at least 112 points tall.") << height;
    for (double ratio : {0.0, inf})
        EXPECT_EQ(refusal(one, ratio, 112), "The page layout aspect ratio must be positive.") << ratio;
    EXPECT_EQ(refusal(Organization{{position("A", "missing")}}, std::nullopt, 112),
              "A references an invalid manager: missing.");
}

// Leaf reports on screen hang in one column entered from a lane on the left; small charts
// keep the minimum size.
TEST(ChartLayoutBuild, ConnectorsAndMinimumSize)
{
    EXPECT_EQ(ChartLayout::build(Organization{{position("A")}}, 1.4, 112).size, (Size{320, 240}));
    const Organization column{{position("R"), position("A", "R"), position("B", "R"), position("C", "R")}};
    const ChartLayout layout = ChartLayout::build(column, std::nullopt, 112);
    EXPECT_EQ(frameOf(layout, "C"), Rect::make(40, 504, 240, 112));
    std::vector<ChartSegment> expected;
    for (const std::array<double, 4> &s : std::initializer_list<std::array<double, 4>>{
             {160, 152, 160, 184}, {16, 184, 160, 184}, {16, 184, 16, 560},
             {16, 272, 40, 272}, {16, 416, 40, 416}, {16, 560, 40, 560}})
        expected.push_back({{s[0], s[1]}, {s[2], s[3]}});
    EXPECT_EQ(layout.primarySegments, expected);
}

// Children by sibling order (none counts as 0), then id; nodes by id; edges in document
// order, each report's primary line before its dotted ones.
TEST(ChartLayoutBuild, OrderOfChildrenNodesAndEdges)
{
    Organization org{{position("R"), position("c", "R"), position("b", "R"), position("a", "R"), position("M")}};
    org.positions[1].siblingOrder = 2;
    org.positions[2].siblingOrder = -1;
    org.positions[3].dottedManagerIDs = {"M", "b"};
    const ChartLayout layout = ChartLayout::build(org, std::nullopt, 112);
    EXPECT_LT(frameOf(layout, "b").minY(), frameOf(layout, "a").minY());
    EXPECT_LT(frameOf(layout, "a").minY(), frameOf(layout, "c").minY());
    EXPECT_EQ(layout.nodes.front().id, "M");
    EXPECT_EQ(layout.edges, (std::vector<ChartEdge>{{"R", "c", false}, {"R", "b", false}, {"R", "a", false},
                                                    {"M", "a", true}, {"b", "a", true}}));
}

TEST(ChartLayoutBuild, HundredThousandLevelChain)
{
    Organization org{{position("P0")}};
    for (int i = 1; i < 100000; ++i)
        org.positions.push_back(position("P" + std::to_string(i), "P" + std::to_string(i - 1)));
    for (std::optional<double> ratio : {std::optional<double>(), std::optional<double>(1.4)}) {
        const ChartLayout layout = ChartLayout::build(org, ratio, 112);
        ASSERT_EQ(layout.primarySegments.size(), 99999u); // one drop from each card to the next
        EXPECT_EQ(layout.size.width, 320);
    }
}
