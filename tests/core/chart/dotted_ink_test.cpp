#include "core/chart/dotted_ink.h"
#include "core/chart/dotted_routing.h"

#include "chart_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <set>

namespace {

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
            if (e.kind == PathElement::Kind::lineTo) {
                const bool horizontal = current.y == e.point.y;
                const double a = horizontal ? current.x : current.y, b = horizontal ? e.point.x : e.point.y;
                if (a != b)
                    lines[{!horizontal, horizontal ? e.point.y : current.x}].push_back(
                        {std::min(a, b), std::max(a, b), related});
            } else if (e.kind == PathElement::Kind::quadCurveTo) {
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
            Path path;
            path.moveTo(axis.first ? Point{axis.second, p.lower} : Point{p.lower, axis.second});
            path.lineTo(axis.first ? Point{axis.second, p.upper} : Point{p.upper, axis.second});
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

// Random routes on a coarse grid share runs, corners and tips, run both ways, repeat points
// and cross zero, with and without a selection.
TEST(DottedInk, MatchesTheRulesOnRandomRoutes)
{
    std::mt19937 random(314);
    const auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int round = 0; round < 200; ++round) {
        std::vector<DottedRoute> routes;
        for (int r = between(0, 6); r > 0; --r) {
            DottedRoute route{"M" + std::to_string(between(0, 3)), "R" + std::to_string(between(0, 3)), {}};
            Point p{between(-2, 8) * 7.0, between(-2, 8) * 7.0};
            route.points.push_back(p);
            for (int s = between(0, 5); s > 0; --s) {
                (s % 2 ? p.x : p.y) = between(-2, 8) * 7.0;
                route.points.push_back(p);
            }
            routes.push_back(std::move(route));
        }
        const std::optional<std::string> selected =
            between(0, 2) == 0 ? std::nullopt : std::optional<std::string>("R" + std::to_string(between(0, 3)));
        ASSERT_EQ(DottedInk(routes, selected), literalInk(routes, selected)) << "round " << round;
    }
}
