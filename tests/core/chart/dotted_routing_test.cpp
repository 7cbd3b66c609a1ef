#include "core/chart/dotted_routing.h"
#include "core/chart/dotted_routing_grid.h"
#include "core/chart/dotted_routing_queue.h"
#include "core/chart/dotted_routing_router.h"

#include "chart_test_support.h"
#include "dotted_route_shape.h"

#include <gtest/gtest.h>

#include <limits>
#include <queue>
#include <random>
#include <set>

namespace {

ChartNode card(std::string id, double x, double y, double width = 200, double height = 100)
{
    return {std::move(id), Rect::make(x, y, width, height)};
}

ChartEdge dotted(std::string manager, std::string report)
{
    return {std::move(manager), std::move(report), true};
}

// A row of `count` cards 300 apart; the last one is the dotted manager of the first.
std::vector<ChartNode> row(int count)
{
    std::vector<ChartNode> nodes;
    for (int i = 0; i < count; ++i)
        nodes.push_back(card("C" + std::to_string(1000 + i), 100 + 300.0 * i, 100));
    return nodes;
}

} // namespace

// Solid edges and edges missing a card are not routed; a stop requested before the call
// gives nothing unless there was nothing to route.
TEST(DottedRouting, WhatGetsRouted)
{
    const std::vector<ChartNode> nodes{card("M", 100, 100), card("R", 500, 100)};
    EXPECT_TRUE(DottedRouting::routes(nodes, {{"M", "R", false}}).empty());
    const auto routes = DottedRouting::routes(
        nodes, {{"M", "R", false}, dotted("M", "gone"), dotted("gone", "R"), dotted("M", "R")});
    ASSERT_EQ(routes.size(), 1u);
    EXPECT_EQ(routes[0].reportID, "R");

    std::stop_source source;
    source.request_stop();
    EXPECT_EQ(DottedRouting::routes(nodes, {dotted("M", "R")}, source.get_token()), std::nullopt);
    EXPECT_EQ(DottedRouting::routes(nodes, {{"M", "R", false}}, source.get_token()), std::vector<DottedRoute>{});
}

// Exact routes where ties decide: equal straight lanes go to the upper or left one (its
// states are numbered first), a card in between is passed above, and a second line into a
// manager pays for the taken port and ends elsewhere.
TEST(DottedRouting, GoldenRoutes)
{
    struct Case {
        const char *name;
        std::vector<ChartNode> nodes;
        std::vector<ChartEdge> edges;
        std::vector<std::vector<Point>> points;
    };
    const std::vector<Case> cases{
        {"row", {card("R", 100, 100), card("M", 500, 100)}, {dotted("M", "R")}, {{{300, 138}, {500, 138}}}},
        {"column", {card("M", 100, 100), card("R", 100, 400)}, {dotted("M", "R")}, {{{188, 400}, {188, 200}}}},
        {"around",
         {card("R", 100, 100), card("B", 400, 100), card("M", 700, 100)},
         {dotted("M", "R")},
         {{{300, 138}, {314, 138}, {314, 86}, {686, 86}, {686, 138}, {700, 138}}}},
        {"second port",
         {card("M", 100, 100), card("A", 100, 400), card("B", 400, 400)},
         {dotted("M", "B"), dotted("M", "A")},
         {{{188, 400}, {188, 200}}, {{400, 438}, {386, 438}, {386, 162}, {300, 162}}}},
    };
    for (const Case &c : cases) {
        std::vector<std::vector<Point>> points;
        for (const DottedRoute &route : DottedRouting::routes(c.nodes, c.edges))
            points.push_back(route.points);
        EXPECT_EQ(points, c.points) << c.name;
    }
}

// Below 151 cards each side offers three ports; from 151 only its midpoint.
TEST(DottedRouting, LargeChartsOfferOnlySideMidpoints)
{
    for (const int count : {150, 151}) {
        std::vector<ChartNode> nodes = row(count - 2);
        nodes.push_back(card("R", 100, 400));
        nodes.push_back(card("R2", 100, 700));
        const auto routes = DottedRouting::routes(nodes, {dotted("C1000", "R"), dotted("C1000", "R2")});
        ASSERT_EQ(routes.size(), 2u) << count;
        EXPECT_EQ(routes[0].points.back(), (count == 150 ? Point{188, 200} : Point{200, 200})) << count;
        EXPECT_NE(routes[1].points.back(), routes[0].points.back()) << count;
    }
}

// A manager walled in by overlapping cards has no path; the line after it is still routed,
// and so is everything with the memory fallbacks forced.
TEST(DottedRouting, WalledInManagerGetsNoRoute)
{
    std::vector<ChartNode> nodes{card("M", 400, 400)};
    for (int i = 0; i < 3; ++i) {
        nodes.push_back(card("T" + std::to_string(i), 300 + 150.0 * i, 300, 150, 60));
        nodes.push_back(card("U" + std::to_string(i), 300 + 150.0 * i, 540, 150, 60));
    }
    nodes.push_back(card("L", 300, 300, 60, 300));
    nodes.push_back(card("W", 590, 300, 60, 300));
    nodes.push_back(card("R", 1000, 1000));
    nodes.push_back(card("S", 1400, 1000));
    const std::vector<ChartEdge> edges{dotted("M", "R"), dotted("M", "S"), dotted("R", "S")};
    const DottedRouting::Limits tight{.bitsetCells = 0, .flatCells = 0, .flatTiles = 0, .floodBudget = 2};
    for (const DottedRouting::Limits &limits : {DottedRouting::Limits{}, tight}) {
        const auto routes = DottedRouting::routes(nodes, edges, limits);
        ASSERT_EQ(routes.size(), 1u);
        EXPECT_EQ(routes[0].managerID, "R");
        EXPECT_EQ(routes[0].reportID, "S");
    }
}

TEST(DottedRouting, OnlyDottedEdgesAreRouted)
{
    const std::vector<ChartNode> nodes{card("M", 100, 100), card("R", 500, 100)};
    EXPECT_TRUE(DottedRouting::routes(nodes, {}).empty());
    EXPECT_TRUE(DottedRouting::routes(nodes, {{"M", "R", false}}).empty());
    EXPECT_EQ(DottedRouting::routes(nodes, {{"M", "R", false}, dotted("M", "R")}).size(), 1u);
}

// A caller that lost interest before the call gets nothing, unless there was nothing to
// route anyway.
TEST(DottedRouting, StopRequestedBeforeTheCallGivesNoResult)
{
    std::stop_source source;
    source.request_stop();
    const std::vector<ChartNode> nodes{card("M", 100, 100), card("R", 500, 100)};
    EXPECT_EQ(DottedRouting::routes(nodes, {dotted("M", "R")}, source.get_token()), std::nullopt);
    EXPECT_EQ(DottedRouting::routes(nodes, {{"M", "R", false}}, source.get_token()), std::vector<DottedRoute>{});
    EXPECT_EQ(DottedRouting::routes(nodes, {dotted("M", "R")}, std::stop_token{})->size(), 1u);
}

// A router told to stop while its grid is filled gives up there (a closing window waits for
// it) and routes nothing afterwards; one left alone routes.
TEST(DottedRouting, StopRequestedWhileTheGridIsBuiltEndsTheBuild)
{
    const std::vector<ChartNode> nodes = row(40);
    std::vector<int64_t> cells;
    std::stop_source source;
    source.request_stop();
    DottedRouting::Router stopped(nodes, DottedRouting::Limits{}, source.get_token());
    EXPECT_TRUE(stopped.stopped());
    EXPECT_EQ(stopped.route(dotted("C1039", "C1000"), cells), std::nullopt);
    EXPECT_TRUE(cells.empty());

    DottedRouting::Router router(nodes, DottedRouting::Limits{}, std::stop_token{});
    EXPECT_FALSE(router.stopped());
    EXPECT_NE(router.route(dotted("C1039", "C1000"), cells), std::nullopt);
}

// Three ports per side on a small chart; the three straight lines cost the same and the
// upper one wins, its states being numbered first.
TEST(DottedRouting, NeighboursInOneRowJoinStraightOnTheUpperLane)
{
    const auto routes = DottedRouting::routes({card("R", 100, 100), card("M", 500, 100)}, {dotted("M", "R")});
    ASSERT_EQ(routes.size(), 1u);
    EXPECT_EQ(routes[0].reportID, "R");
    EXPECT_EQ(routes[0].managerID, "M");
    EXPECT_EQ(routes[0].points, (std::vector<Point>{{300, 138}, {500, 138}}));
}

TEST(DottedRouting, ManagerAboveJoinsStraightOnTheLeftLane)
{
    const auto routes = DottedRouting::routes({card("M", 100, 100), card("R", 100, 400)}, {dotted("M", "R")});
    ASSERT_EQ(routes.size(), 1u);
    EXPECT_EQ(routes[0].points, (std::vector<Point>{{188, 400}, {188, 200}}));
}

// A card in between is passed along its enlarged outline, above rather than below (the
// upper cells come first), with four turns.
TEST(DottedRouting, GoesAroundACardInBetween)
{
    const auto routes =
        DottedRouting::routes({card("R", 100, 100), card("B", 400, 100), card("M", 700, 100)}, {dotted("M", "R")});
    ASSERT_EQ(routes.size(), 1u);
    EXPECT_EQ(routes[0].points,
              (std::vector<Point>{{300, 138}, {314, 138}, {314, 86}, {686, 86}, {686, 138}, {700, 138}}));
}

// The second line into a manager pays for the port the first one took, and ends elsewhere.
TEST(DottedRouting, SecondLineIntoAManagerTakesAnotherPort)
{
    const auto routes = DottedRouting::routes({card("M", 100, 100), card("A", 100, 400), card("B", 400, 400)},
                                              {dotted("M", "B"), dotted("M", "A")});
    ASSERT_EQ(routes.size(), 2u);
    // Routed in report order: A first.
    EXPECT_EQ(routes[0].reportID, "A");
    EXPECT_EQ(routes[0].points, (std::vector<Point>{{188, 400}, {188, 200}}));
    EXPECT_EQ(routes[1].points, (std::vector<Point>{{400, 438}, {386, 438}, {386, 162}, {300, 162}}));
}

TEST(DottedRouting, EdgesWithoutBothCardsGetNoRoute)
{
    const std::vector<ChartNode> nodes{card("M", 100, 100), card("R", 100, 400)};
    const auto routes =
        DottedRouting::routes(nodes, {dotted("M", "gone"), dotted("gone", "R"), dotted("M", "R"), dotted("M", "M2")});
    ASSERT_EQ(routes.size(), 1u);
    EXPECT_EQ(routes[0].reportID, "R");
}

// Cards 20 apart: the facing sides' ports lie inside the other card's clearance, so the
// line leaves over the top.
TEST(DottedRouting, PortsInsideAnotherCardsClearanceAreNotOffered)
{
    const auto routes = DottedRouting::routes({card("R", 100, 100), card("M", 320, 100)}, {dotted("M", "R")});
    ASSERT_EQ(routes.size(), 1u);
    const std::vector<Point> &points = routes[0].points;
    EXPECT_NE(points.front().x, 300);
    EXPECT_NE(points.back().x, 320);
    EXPECT_TRUE(DottedRouteShape::onOutline(points.front(), Rect::make(100, 100, 200, 100)));
    EXPECT_TRUE(DottedRouteShape::onOutline(points.back(), Rect::make(320, 100, 200, 100)));
}

// On laid-out charts: pieces horizontal or vertical, no three points on one line, ends on
// the two cards' outlines, nothing through a card or (away from the ends) its clearance,
// the same points on every run.
TEST(DottedRouting, RoutesKeepTheirShapeOnRandomCharts)
{
    std::mt19937 random(4242);
    const auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int round = 0; round < 30; ++round) {
        const int count = round % 5 == 4 ? 170 : between(3, 60);
        Organization org;
        for (int i = 0; i < count; ++i) {
            Position p = ChartTest::position("P" + std::to_string(i));
            if (i > 0)
                p.managerID = "P" + std::to_string(between(std::max(0, i - 5), i - 1));
            if (i > 2 && between(0, 5) == 0)
                p.dottedManagerIDs.push_back("P" + std::to_string(between(0, i - 2)));
            org.positions.push_back(std::move(p));
        }
        const ChartLayout layout = ChartLayout::build(
            org.withReportingCallouts(), round % 2 ? std::optional<double>(1.3) : std::nullopt, 112);
        const std::vector<ChartNode> nodes = layout.routingNodes();
        const auto routes = DottedRouting::routes(nodes, layout.edges);
        ASSERT_EQ(routes, DottedRouting::routes(nodes, layout.edges));
        for (const DottedRoute &route : routes)
            DottedRouteShape::expectGoodShape(route, nodes, "round " + std::to_string(round) + " " + route.reportID);
    }
}

// Corners rounded by 8, or by half the shorter piece; the arrowhead's tip is the last point.
TEST(DottedRoute, PathAndArrowhead)
{
    using K = PathElement::Kind;
    const DottedRoute route{"M", "R", {{0, 0}, {100, 0}, {100, 10}, {200, 10}}};
    EXPECT_EQ(route.path().elements, (std::vector<PathElement>{{K::moveTo, {0, 0}, {}},
                                                               {K::lineTo, {95, 0}, {}},
                                                               {K::quadCurveTo, {100, 5}, {100, 0}},
                                                               {K::lineTo, {100, 5}, {}},
                                                               {K::quadCurveTo, {105, 10}, {100, 10}},
                                                               {K::lineTo, {200, 10}, {}}}));
    EXPECT_EQ(DottedRoute({"M", "R", {{0, 0}, {100, 0}, {100, 100}}}).path().elements[1],
              (PathElement{K::lineTo, {92, 0}, {}}));
    EXPECT_TRUE(DottedRoute{}.path().isEmpty());

    EXPECT_EQ(DottedRoute({"M", "R", {{50, 0}, {50, 100}}}).arrowhead().elements,
              (std::vector<PathElement>{{K::moveTo, {50, 100}, {}},
                                        {K::lineTo, {46, 92}, {}},
                                        {K::lineTo, {54, 92}, {}},
                                        {K::closeSubpath, {}, {}}}));
    EXPECT_TRUE(DottedRoute({"M", "R", {{50, 0}, {50, 0}}}).arrowhead().isEmpty());
}

TEST(DottedRoute, RelatesToEitherEnd)
{
    const DottedRoute route{"M", "R", {{0, 0}, {10, 0}}};
    EXPECT_TRUE(route.isRelated(std::string("M")));
    EXPECT_TRUE(route.isRelated(std::string("R")));
    EXPECT_FALSE(route.isRelated(std::string("X")));
    EXPECT_FALSE(route.isRelated(std::nullopt));
}

TEST(DottedRoute, PathRoundsCornersByEightOrHalfTheShorterPiece)
{
    using K = PathElement::Kind;
    const DottedRoute route{"M", "R", {{0, 0}, {100, 0}, {100, 10}, {200, 10}}};
    const Path path = route.path();
    const std::vector<PathElement> expected{
        {K::moveTo, {0, 0}, {}},
        {K::lineTo, {95, 0}, {}},
        {K::quadCurveTo, {100, 5}, {100, 0}},
        {K::lineTo, {100, 5}, {}},
        {K::quadCurveTo, {105, 10}, {100, 10}},
        {K::lineTo, {200, 10}, {}},
    };
    EXPECT_EQ(path.elements, expected);

    const std::vector<PathElement> wide{
        {K::moveTo, {0, 0}, {}},
        {K::lineTo, {92, 0}, {}},
        {K::quadCurveTo, {100, 8}, {100, 0}},
        {K::lineTo, {100, 100}, {}},
    };
    EXPECT_EQ(DottedRoute({"M", "R", {{0, 0}, {100, 0}, {100, 100}}}).path().elements, wide);
    EXPECT_TRUE(DottedRoute{}.path().isEmpty());
    EXPECT_EQ(DottedRoute({"M", "R", {{3, 4}}}).path().elements, (std::vector<PathElement>{{K::moveTo, {3, 4}, {}}}));
}

TEST(DottedRoute, ArrowheadPointsIntoTheManager)
{
    using K = PathElement::Kind;
    const DottedRoute down{"M", "R", {{50, 0}, {50, 100}}};
    const std::vector<PathElement> expected{
        {K::moveTo, {50, 100}, {}},
        {K::lineTo, {46, 92}, {}},
        {K::lineTo, {54, 92}, {}},
        {K::closeSubpath, {}, {}},
    };
    EXPECT_EQ(down.arrowhead().elements, expected);
    EXPECT_TRUE(DottedRoute({"M", "R", {{50, 0}}}).arrowhead().isEmpty());
    EXPECT_TRUE(DottedRoute({"M", "R", {{50, 0}, {50, 0}}}).arrowhead().isEmpty());
}

// The queue pops exactly what a binary heap ordered by (priority, state) pops, also when
// an entry comes in below the last one popped, except that an entry equal to one popped
// before may be left out (the search skips or harmlessly repeats such an entry).
TEST(DottedRoutingQueue, PopsInPriorityThenStateOrder)
{
    using Entry = DottedRouting::RouteQueue::Entry;
    const auto later = [](const Entry &a, const Entry &b) {
        return a.priority != b.priority ? a.priority > b.priority : a.state > b.state;
    };
    for (const int64_t bound : {int64_t(64), std::numeric_limits<int64_t>::max()}) {
        std::mt19937 random(99);
        DottedRouting::RouteQueue queue;
        // Left over from an earlier use.
        queue.reset(bound);
        queue.push({1, 3});
        queue.push({2, 5});
        queue.reset(bound);
        std::priority_queue<Entry, std::vector<Entry>, decltype(later)> reference(later);
        double floor = 0;
        std::set<std::pair<double, int64_t>> popped;
        for (int step = 0; step < 20000 || !queue.isEmpty(); ++step) {
            if (step < 20000 && (reference.empty() || random() % 3 != 0)) {
                const bool below = random() % 50 == 0;
                const double priority = below ? floor * 0.5 : floor + (random() % 40) * 0.25;
                const Entry entry{priority, static_cast<int64_t>(random() % 64)};
                queue.push(entry);
                reference.push(entry);
                continue;
            }
            ASSERT_FALSE(queue.isEmpty()) << step;
            const Entry got = queue.pop();
            if (popped.contains({got.priority, got.state}) && (reference.empty() || !(reference.top() == got)))
                continue; // a repeat, already taken from the reference
            ASSERT_EQ(got, reference.top()) << step;
            while (!reference.empty() && reference.top() == got)
                reference.pop();
            floor = got.priority;
            popped.insert({got.priority, got.state});
        }
        EXPECT_TRUE(reference.empty());
    }
}
