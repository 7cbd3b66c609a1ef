#include "core/chart/chart_layout.h"

#include "chart_test_support.h"
#include "error_of.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <map>

using namespace ChartTest;

namespace {

Organization rootWithReports(std::vector<std::string> reports)
{
    Organization org;
    org.positions.push_back(position("R"));
    for (const std::string &id : reports)
        org.positions.push_back(position(id, "R"));
    return org;
}

std::vector<ChartSegment> segments(std::initializer_list<std::array<double, 4>> list)
{
    std::vector<ChartSegment> result;
    for (const auto &s : list)
        result.push_back({{s[0], s[1]}, {s[2], s[3]}});
    return result;
}

// A root over three leaf reports on screen: a drop to the lane, the lane down the left, one
// entry into each card.
std::vector<ChartSegment> columnOfThreeConnectors()
{
    return segments({{160, 152, 160, 184},
                     {16, 184, 160, 184},
                     {16, 184, 16, 560},
                     {16, 272, 40, 272},
                     {16, 416, 40, 416},
                     {16, 560, 40, 560}});
}

} // namespace

TEST(ChartLayoutBuild, EmptyOrganizationHasMinimumSize)
{
    const ChartLayout layout = ChartLayout::build(Organization{}, std::nullopt, 112);
    EXPECT_TRUE(layout.nodes.empty());
    EXPECT_TRUE(layout.edges.empty());
    EXPECT_TRUE(layout.primarySegments.empty());
    EXPECT_EQ(layout.size, (Size{320, 240}));
}

TEST(ChartLayoutBuild, SinglePositionSitsInsideTheMargin)
{
    Organization org;
    org.positions.push_back(position("A"));
    for (std::optional<double> ratio : {std::optional<double>(), std::optional<double>(1.4)}) {
        const ChartLayout layout = ChartLayout::build(org, ratio, 112);
        ASSERT_EQ(layout.nodes.size(), 1u);
        EXPECT_EQ(layout.nodes[0].frame, Rect::make(40, 40, 240, 112));
        EXPECT_EQ(layout.size, (Size{320, 240}));
    }
}

TEST(ChartLayoutBuild, RefusesShortCardsBeforeBadRatios)
{
    Organization org;
    org.positions.push_back(position("A"));
    const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
    for (double height : {111.99, nan, inf}) {
        for (std::optional<double> ratio : {std::optional<double>(), std::optional<double>(0.0)}) {
            try {
                ChartLayout::build(org, ratio, height);
                FAIL() << height;
            } catch (const OrganizationError &e) {
                EXPECT_EQ(e.message(), "Chart cards must be at least 112 points tall.");
            }
        }
    }
    for (double ratio : {0.0, -1.0, nan, inf}) {
        try {
            ChartLayout::build(org, ratio, 112);
            FAIL() << ratio;
        } catch (const OrganizationError &e) {
            EXPECT_EQ(e.message(), "The page layout aspect ratio must be positive.");
        }
    }
    EXPECT_NO_THROW(ChartLayout::build(org, std::nullopt, 112));
}

TEST(ChartLayoutBuild, InvalidOrganizationThrowsValidationMessage)
{
    Organization org;
    org.positions.push_back(position("A", "missing"));
    try {
        ChartLayout::build(org, std::nullopt, 112);
        FAIL();
    } catch (const OrganizationError &e) {
        EXPECT_EQ(e.message(), "A references an invalid manager: missing.");
    }
}

// Three leaf reports on screen: one column under the root, entered from a lane on the left.
TEST(ChartLayoutBuild, ScreenColumnOfThreeReports)
{
    const ChartLayout layout = ChartLayout::build(rootWithReports({"A", "B", "C"}), std::nullopt, 112);
    EXPECT_EQ(frameOf(layout, "R"), Rect::make(40, 40, 240, 112));
    EXPECT_EQ(frameOf(layout, "A"), Rect::make(40, 216, 240, 112));
    EXPECT_EQ(frameOf(layout, "B"), Rect::make(40, 360, 240, 112));
    EXPECT_EQ(frameOf(layout, "C"), Rect::make(40, 504, 240, 112));
    EXPECT_EQ(layout.size, (Size{320, 656}));
    EXPECT_EQ(layout.primarySegments, columnOfThreeConnectors());
}

TEST(ChartLayoutBuild, ScreenSingleReportIsOneDrop)
{
    const ChartLayout layout = ChartLayout::build(rootWithReports({"A"}), std::nullopt, 112);
    EXPECT_EQ(layout.primarySegments, segments({{160, 152, 160, 216}}));
}

TEST(ChartLayoutBuild, ScreenNeverStacksMoreThanFour)
{
    const ChartLayout layout = ChartLayout::build(rootWithReports({"A", "B", "C", "D", "E"}), std::nullopt, 112);
    std::map<double, int> perColumn;
    for (const ChartNode &node : layout.nodes) {
        if (node.id != "R")
            ++perColumn[node.frame.minX()];
    }
    for (const auto &[x, count] : perColumn)
        EXPECT_LE(count, 4) << x;
    EXPECT_GE(perColumn.size(), 2u);
}

TEST(ChartLayoutBuild, PageBalancedThreeReportsFormTwoPlusOne)
{
    const ChartLayout layout = ChartLayout::build(rootWithReports({"A", "B", "C"}), 1.0, 112);
    EXPECT_EQ(frameOf(layout, "R"), Rect::make(184, 40, 240, 112));
    EXPECT_EQ(frameOf(layout, "A"), Rect::make(40, 192, 240, 112));
    EXPECT_EQ(frameOf(layout, "B"), Rect::make(40, 328, 240, 112));
    EXPECT_EQ(frameOf(layout, "C"), Rect::make(328, 192, 240, 112));
    EXPECT_EQ(layout.size, (Size{608, 480}));
}

TEST(ChartLayoutBuild, AssistantBesideTheManager)
{
    Organization org = rootWithReports({"A", "B"});
    org.positions.push_back(assistant("X", "R"));

    const ChartLayout screen = ChartLayout::build(org, std::nullopt, 112);
    EXPECT_EQ(frameOf(screen, "R"), Rect::make(40, 40, 240, 112));
    EXPECT_EQ(frameOf(screen, "X"), Rect::make(312, 96, 240, 112));
    EXPECT_EQ(frameOf(screen, "A"), Rect::make(40, 272, 240, 112));
    EXPECT_EQ(frameOf(screen, "B"), Rect::make(40, 416, 240, 112));
    EXPECT_EQ(screen.size, (Size{592, 568}));

    const ChartLayout page = ChartLayout::build(org, 1.0, 112);
    EXPECT_EQ(frameOf(page, "X"), Rect::make(40, 96, 240, 112));
    EXPECT_EQ(frameOf(page, "R"), Rect::make(304, 40, 240, 112));
    EXPECT_EQ(frameOf(page, "A"), Rect::make(304, 248, 240, 112));
    EXPECT_EQ(frameOf(page, "B"), Rect::make(304, 384, 240, 112));
    EXPECT_EQ(page.size, (Size{584, 536}));
}

// A lone assistant on one side is entered from the side, two on one side from the top.
TEST(ChartLayoutBuild, AssistantConnectors)
{
    Organization one;
    one.positions = {position("R"), assistant("X", "R")};
    const ChartLayout single = ChartLayout::build(one, std::nullopt, 112);
    EXPECT_EQ(frameOf(single, "X"), Rect::make(312, 96, 240, 112));
    EXPECT_EQ(single.primarySegments, segments({{280, 96, 296, 96}, {296, 96, 296, 152}, {296, 152, 312, 152}}));

    Organization two;
    two.positions = {position("R"), assistant("X", "R"), assistant("Y", "R")};
    const ChartLayout pair = ChartLayout::build(two, std::nullopt, 112);
    EXPECT_EQ(frameOf(pair, "X"), Rect::make(312, 96, 240, 112));
    EXPECT_EQ(frameOf(pair, "Y"), Rect::make(608, 96, 240, 112));
    // Along the trunk to 16 above the assistants, then down into the top of each.
    EXPECT_EQ(pair.primarySegments, segments({{296, 80, 728, 80},
                                              {296, 80, 296, 96},
                                              {432, 80, 432, 96},
                                              {728, 80, 728, 96},
                                              {280, 96, 296, 96}}));
}

TEST(ChartLayoutBuild, PageBalancedLoneAssistantGoesLeft)
{
    Organization org;
    org.positions = {position("R"), assistant("X", "R")};
    const ChartLayout layout = ChartLayout::build(org, 1.0, 112);
    EXPECT_EQ(frameOf(layout, "X"), Rect::make(40, 96, 240, 112));
    EXPECT_EQ(frameOf(layout, "R"), Rect::make(304, 40, 240, 112));
}

TEST(ChartLayoutBuild, PageBalancedSplitsTwoAssistants)
{
    Organization org;
    org.positions = {position("R"), assistant("X", "R"), assistant("Y", "R")};
    const ChartLayout layout = ChartLayout::build(org, 1.0, 112);
    EXPECT_EQ(frameOf(layout, "X"), Rect::make(40, 96, 240, 112));
    EXPECT_EQ(frameOf(layout, "R"), Rect::make(304, 40, 240, 112));
    EXPECT_EQ(frameOf(layout, "Y"), Rect::make(568, 96, 240, 112));
}

TEST(ChartLayoutBuild, SiblingOrderThenID)
{
    Organization org;
    org.positions.push_back(position("R"));
    auto child = [](std::string id, std::optional<int64_t> order) {
        Position p = position(std::move(id), "R");
        p.siblingOrder = order;
        return p;
    };
    org.positions.push_back(child("d", 2));
    org.positions.push_back(child("c", 0));
    org.positions.push_back(child("b", std::nullopt));
    org.positions.push_back(child("a", -1));
    // One screen column lists the children top to bottom in child order.
    const ChartLayout layout = ChartLayout::build(org, std::nullopt, 112);
    EXPECT_LT(frameOf(layout, "a").minY(), frameOf(layout, "b").minY());
    EXPECT_LT(frameOf(layout, "b").minY(), frameOf(layout, "c").minY());
    EXPECT_LT(frameOf(layout, "c").minY(), frameOf(layout, "d").minY());
}

TEST(ChartLayoutBuild, EdgesAndNodeOrder)
{
    Organization org;
    org.positions.push_back(position("Z"));
    org.positions.push_back(position("M"));
    Position p = position("A", "Z");
    p.dottedManagerIDs = {"M", "Z2"};
    org.positions.push_back(position("Z2"));
    org.positions.push_back(p);
    const ChartLayout layout = ChartLayout::build(org, std::nullopt, 112);
    ASSERT_EQ(layout.nodes.size(), 4u);
    EXPECT_EQ(layout.nodes[0].id, "A");
    EXPECT_EQ(layout.nodes[1].id, "M");
    EXPECT_EQ(layout.nodes[2].id, "Z");
    EXPECT_EQ(layout.nodes[3].id, "Z2");
    EXPECT_EQ(layout.edges, (std::vector<ChartEdge>{{"Z", "A", false}, {"M", "A", true}, {"Z2", "A", true}}));
}

TEST(ChartLayoutBuild, CalloutAddsBandToCardHeight)
{
    Organization org;
    org.positions.push_back(position("A"));
    org.positions[0].reportingCallout = ReportingCallout{};
    const ChartLayout layout = ChartLayout::build(org, std::nullopt, 132);
    EXPECT_EQ(layout.nodes[0].frame, Rect::make(40, 40, 240, 156));
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

// Leaf reports on screen hang in one column entered from a lane on the left; small charts
// keep the minimum size.
TEST(ChartLayoutBuild, ConnectorsAndMinimumSize)
{
    EXPECT_EQ(ChartLayout::build(Organization{{position("A")}}, 1.4, 112).size, (Size{320, 240}));
    const Organization column{{position("R"), position("A", "R"), position("B", "R"), position("C", "R")}};
    const ChartLayout layout = ChartLayout::build(column, std::nullopt, 112);
    EXPECT_EQ(frameOf(layout, "C"), Rect::make(40, 504, 240, 112));
    EXPECT_EQ(layout.primarySegments, columnOfThreeConnectors());
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

TEST(ChartLayoutBuild, HundredThousandLevelChain)
{
    Organization org;
    org.positions.reserve(100000);
    org.positions.push_back(position("P0"));
    for (int i = 1; i < 100000; ++i)
        org.positions.push_back(position("P" + std::to_string(i), "P" + std::to_string(i - 1)));
    for (std::optional<double> ratio : {std::optional<double>(), std::optional<double>(1.4)}) {
        const ChartLayout layout = ChartLayout::build(org, ratio, 112);
        ASSERT_EQ(layout.nodes.size(), 100000u);
        // One drop between each card and the next, all on one vertical line.
        ASSERT_EQ(layout.primarySegments.size(), 99999u);
        EXPECT_EQ(layout.primarySegments.back().start.x, 160);
        EXPECT_EQ(layout.size.width, 320);
    }
}
