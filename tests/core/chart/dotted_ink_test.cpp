#include "core/chart/dotted_ink.h"
#include "core/chart/dotted_routing.h"

#include "chart_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <set>

namespace {

using K = PathElement::Kind;

DottedRoute route(std::string manager, std::string report, std::vector<Point> points)
{
    return {std::move(manager), std::move(report), std::move(points)};
}

Path line(Point from, Point to)
{
    Path path;
    path.moveTo(from);
    path.lineTo(to);
    return path;
}

// Strokes as (from, to, highlighted, phase) for the straight ones.
struct StraightRun {
    Point from;
    Point to;
    bool highlighted;
    double phase;
    bool operator==(const StraightRun &) const = default;
};

std::ostream &operator<<(std::ostream &out, const StraightRun &run)
{
    return out << run.from << "-" << run.to << (run.highlighted ? " lit" : "") << " phase " << run.phase;
}

std::vector<StraightRun> runsOf(const DottedInk &ink)
{
    std::vector<StraightRun> runs;
    for (const DottedStroke &stroke : ink.strokes) {
        if (stroke.path.elements.size() == 2 && stroke.path.elements[1].kind == K::lineTo)
            runs.push_back({stroke.path.elements[0].point, stroke.path.elements[1].point, stroke.highlighted,
                            stroke.dashPhase});
    }
    return runs;
}

// The ink rules word for word: breakpoints per line and the covering runs of every span.
DottedInk literalInk(const std::vector<DottedRoute> &routes, const std::optional<std::string> &selectedID)
{
    struct Interval {
        double lower, upper;
        bool highlighted;
    };
    std::map<std::pair<bool, double>, std::vector<Interval>> lines; // (vertical, coordinate)
    std::map<std::vector<double>, std::pair<Path, bool>> corners, arrows;
    for (const DottedRoute &r : routes) {
        const bool related = selectedID && (*selectedID == r.managerID || *selectedID == r.reportID);
        Point current;
        for (const PathElement &e : r.path().elements) {
            if (e.kind == K::lineTo) {
                const bool horizontal = current.y == e.point.y;
                const double a = horizontal ? current.x : current.y, b = horizontal ? e.point.x : e.point.y;
                if (a != b)
                    lines[{!horizontal, horizontal ? e.point.y : current.x}].push_back(
                        {std::min(a, b), std::max(a, b), related});
            } else if (e.kind == K::quadCurveTo) {
                const std::vector<double> key = std::min(
                    std::vector{current.x, current.y, e.control.x, e.control.y, e.point.x, e.point.y},
                    std::vector{e.point.x, e.point.y, e.control.x, e.control.y, current.x, current.y});
                Path corner;
                corner.moveTo({key[0], key[1]});
                corner.quadCurveTo({key[4], key[5]}, {key[2], key[3]});
                corners[key] = {corner, related || corners[key].second};
            }
            current = e.point;
        }
        if (r.points.size() >= 2) {
            const Point tip = r.points.back(), before = r.points[r.points.size() - 2];
            const double length = std::hypot(tip.x - before.x, tip.y - before.y);
            if (length > 0) {
                const std::vector<double> key{tip.x, tip.y, (tip.x - before.x) / length, (tip.y - before.y) / length};
                arrows[key] = {r.arrowhead(), related || arrows[key].second};
            }
        }
    }
    DottedInk ink;
    for (const auto &[axis, intervals] : lines) {
        std::set<double> breaks;
        for (const Interval &i : intervals)
            breaks.insert({i.lower, i.upper});
        const std::vector<double> b(breaks.begin(), breaks.end());
        std::vector<Interval> pieces;
        for (size_t k = 0; k + 1 < b.size(); ++k) {
            bool covered = false, lit = false;
            for (const Interval &i : intervals) {
                covered = covered || (i.lower < b[k + 1] && b[k] < i.upper);
                lit = lit || (i.lower < b[k + 1] && b[k] < i.upper && i.highlighted);
            }
            if (covered && !pieces.empty() && pieces.back().upper == b[k] && pieces.back().highlighted == lit)
                pieces.back().upper = b[k + 1];
            else if (covered)
                pieces.push_back({b[k], b[k + 1], lit});
        }
        for (const Interval &p : pieces) {
            const Path path = axis.first ? line({axis.second, p.lower}, {axis.second, p.upper})
                                         : line({p.lower, axis.second}, {p.upper, axis.second});
            ink.strokes.push_back({path, p.highlighted, std::fmod(p.lower, 10)});
        }
    }
    for (const auto &[key, corner] : corners)
        ink.strokes.push_back({corner.first, corner.second, 0});
    for (const auto &[key, arrow] : arrows)
        ink.arrows.push_back({arrow.first, arrow.second, 0});
    return ink;
}

} // namespace

// Random routes on a coarse grid: they share runs, corners and tips, run both ways, repeat
// points and cross zero.
std::vector<DottedRoute> randomRoutes(std::mt19937 &random, int most)
{
    const auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    std::vector<DottedRoute> routes;
    for (int r = between(0, most); r > 0; --r) {
        DottedRoute route{"M" + std::to_string(between(0, 3)), "R" + std::to_string(between(0, 3)), {}};
        Point p{between(-2, 8) * 7.0, between(-2, 8) * 7.0};
        route.points.push_back(p);
        for (int s = between(0, 5); s > 0; --s) {
            (s % 2 ? p.x : p.y) = between(-2, 8) * 7.0;
            route.points.push_back(p);
        }
        routes.push_back(std::move(route));
    }
    return routes;
}

std::optional<std::string> randomSelection(std::mt19937 &random)
{
    const int pick = std::uniform_int_distribution<int>(0, 5)(random);
    return pick < 2 ? std::nullopt : std::optional<std::string>("R" + std::to_string(pick - 2));
}

// With and without a selection.
TEST(DottedInk, MatchesTheRulesOnRandomRoutes)
{
    std::mt19937 random(314);
    for (int round = 0; round < 200; ++round) {
        const std::vector<DottedRoute> routes = randomRoutes(random, 6);
        const std::optional<std::string> selected = randomSelection(random);
        ASSERT_EQ(DottedInk(routes, selected), literalInk(routes, selected)) << "round " << round;
    }
}

// Ink extended batch by batch, as lines come from the router, is the ink made at once:
// the same strokes in the same order, so the same pixels.
TEST(DottedInk, ExtendedBatchByBatchEqualsMadeAtOnce)
{
    std::mt19937 random(2718);
    for (int round = 0; round < 200; ++round) {
        const std::vector<DottedRoute> all = randomRoutes(random, 12);
        const std::optional<std::string> selected = randomSelection(random);
        std::vector<DottedRoute> routes;
        DottedInk ink({}, selected);
        while (routes.size() < all.size()) {
            const size_t before = routes.size();
            const size_t batch = std::uniform_int_distribution<size_t>(0, 3)(random);
            for (size_t i = 0; i < batch && routes.size() < all.size(); ++i)
                routes.push_back(all[routes.size()]);
            ink = DottedInk(ink, before, routes, selected);
            ASSERT_EQ(ink, DottedInk(routes, selected)) << "round " << round << " after " << routes.size();
        }
        // Extending by nothing, or what was not made by the router's rules, starts afresh.
        EXPECT_EQ(DottedInk(ink, routes.size(), routes, selected), ink);
        DottedInk byHand;
        byHand.strokes.push_back({Path(), false, 0});
        EXPECT_EQ(DottedInk(byHand, 0, routes, selected), DottedInk(routes, selected));
    }
}

// Ink lit again for another selection, made at once or batch by batch, then extended, is the
// ink made at once for that selection.
TEST(DottedInk, ReselectedEqualsMadeForTheSelection)
{
    std::mt19937 random(1618);
    for (int round = 0; round < 300; ++round) {
        const std::vector<DottedRoute> all = randomRoutes(random, 12);
        const std::optional<std::string> first = randomSelection(random);
        const std::optional<std::string> second = randomSelection(random);
        const size_t count = std::uniform_int_distribution<size_t>(0, all.size())(random);
        const std::vector<DottedRoute> some(all.begin(), all.begin() + ptrdiff_t(count));
        DottedInk made = round % 2 ? DottedInk(some, first) : DottedInk(DottedInk({}, first), 0, some, first);
        DottedInk lit = DottedInk::reselected(made, first, count, all, second);
        ASSERT_EQ(lit, DottedInk(some, second)) << "round " << round;
        ASSERT_EQ(DottedInk(lit, count, all, second), DottedInk(all, second)) << "round " << round;
        // And back, over ink that was itself lit again.
        ASSERT_EQ(DottedInk::reselected(lit, second, count, all, first), DottedInk(some, first)) << "round " << round;
    }
    // Ink not made by the router's rules is made afresh.
    DottedInk byHand;
    byHand.strokes.push_back({Path(), false, 0});
    std::mt19937 again(7);
    const std::vector<DottedRoute> routes = randomRoutes(again, 8);
    EXPECT_EQ(DottedInk::reselected(byHand, std::nullopt, routes.size(), routes, "R1"), DottedInk(routes, "R1"));
}

TEST(DottedInk, NoRoutesNoInk)
{
    const DottedInk ink({}, std::string("P1"));
    EXPECT_TRUE(ink.strokes.empty());
    EXPECT_TRUE(ink.arrows.empty());
}

// Overlapping and touching runs on one line become one stroke; a gap starts another.
TEST(DottedInk, SharedRunsAreDrawnOnce)
{
    const DottedInk ink({route("M", "A", {{0, 50}, {100, 50}}), route("M", "B", {{60, 50}, {150, 50}}),
                         route("M", "C", {{150, 50}, {170, 50}}), route("M", "D", {{200, 50}, {230, 50}})},
                        std::nullopt);
    EXPECT_EQ(runsOf(ink), (std::vector<StraightRun>{{{0, 50}, {170, 50}, false, 0}, {{200, 50}, {230, 50}, false, 0}}));
}

// Only B is related: the shared stretch is lit and splits from A's own part.
TEST(DottedInk, SelectionLightsItsShareOfARun)
{
    const DottedInk ink({route("M", "A", {{0, 50}, {100, 50}}), route("N", "B", {{50, 50}, {150, 50}})},
                        std::string("B"));
    EXPECT_EQ(runsOf(ink), (std::vector<StraightRun>{{{0, 50}, {50, 50}, false, 0}, {{50, 50}, {150, 50}, true, 0}}));
    ASSERT_EQ(ink.arrows.size(), 2u);
    EXPECT_FALSE(ink.arrows[0].highlighted); // tip (100, 50) sorts first
    EXPECT_TRUE(ink.arrows[1].highlighted);
}

// Phases follow the absolute position, so collinear runs dash in step.
TEST(DottedInk, DashPhaseFromAbsoluteCoordinates)
{
    const DottedInk ink({route("M", "A", {{23, 0}, {28, 0}}), route("M", "B", {{33, 0}, {40, 0}}),
                         route("M", "C", {{-3, 10}, {5, 10}}), route("M", "D", {{7, 30}, {7, 47}})},
                        std::nullopt);
    const std::vector<StraightRun> expected{
        {{23, 0}, {28, 0}, false, 3},
        {{33, 0}, {40, 0}, false, 3},
        {{-3, 10}, {5, 10}, false, -3},
        {{7, 30}, {7, 47}, false, 0},
    };
    EXPECT_EQ(runsOf(ink), expected);
}

// Horizontal lines by y, then vertical lines by x, then corners; a corner drawn in either
// direction is kept once.
TEST(DottedInk, CornersOnceInEitherDirection)
{
    const DottedInk ink({route("M", "A", {{0, 0}, {100, 0}, {100, 100}}),
                         route("A", "M", {{100, 100}, {100, 0}, {0, 0}})},
                        std::string("M"));
    ASSERT_EQ(ink.strokes.size(), 3u);
    EXPECT_EQ(ink.strokes[0].path, line({0, 0}, {92, 0}));
    EXPECT_EQ(ink.strokes[1].path, line({100, 8}, {100, 100}));
    EXPECT_EQ(ink.strokes[1].dashPhase, 8);
    Path corner;
    corner.moveTo({92, 0});
    corner.quadCurveTo({100, 8}, {100, 0});
    EXPECT_EQ(ink.strokes[2].path, corner);
    EXPECT_EQ(ink.strokes[2].dashPhase, 0);
    for (const DottedStroke &stroke : ink.strokes)
        EXPECT_TRUE(stroke.highlighted);
    EXPECT_EQ(ink.arrows.size(), 2u); // opposite tips
}

TEST(DottedInk, OneArrowPerTipAndDirection)
{
    const DottedInk ink({route("M", "A", {{0, 50}, {100, 50}}), route("M", "B", {{40, 50}, {100, 50}})},
                        std::string("B"));
    ASSERT_EQ(ink.arrows.size(), 1u);
    EXPECT_TRUE(ink.arrows[0].highlighted);
    EXPECT_EQ(ink.arrows[0].path, route("M", "A", {{0, 50}, {100, 50}}).arrowhead());
}

TEST(DottedInk, NoArrowWithoutALastPiece)
{
    const DottedInk ink({route("M", "A", {{0, 50}}), route("M", "B", {{0, 50}, {100, 50}, {100, 50}})},
                        std::nullopt);
    EXPECT_TRUE(ink.arrows.empty());
}
