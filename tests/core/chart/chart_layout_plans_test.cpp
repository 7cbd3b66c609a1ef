#include "core/chart/chart_layout_engine.h"

#include "chart_layout_reference.h"
#include "chart_test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <tuple>

using namespace ChartLayoutEngine;
using ChartTest::assistant;
using ChartTest::position;

namespace {

// The solid connectors as first described: every report its own whole polyline, merged.
std::vector<ChartSegment> plainConnectors(const Organization &org, const Tree &t, const Metrics &m,
                                          const Placement &placement)
{
    std::vector<ChartSegment> pieces;
    auto polyline = [&](std::vector<Point> points) {
        for (size_t i = 1; i < points.size(); ++i) {
            if (!(points[i - 1] == points[i]))
                pieces.push_back({points[i - 1], points[i]});
        }
    };
    for (uint32_t manager = 0; manager < org.positions.size(); ++manager) {
        if (!placement.frames[manager])
            continue;
        const Rect M = *placement.frames[manager];
        const auto &routes = placement.regularRoutes[manager];
        if (routes)
            pieces.insert(pieces.end(), routes->begin(), routes->end());
        double top = M.maxY();
        bool any = false;
        for (uint32_t k : t.children[manager]) {
            if (!t.isAssistant[k] && placement.frames[k]) {
                top = any ? std::min(top, placement.frames[k]->minY()) : placement.frames[k]->minY();
                any = true;
            }
        }
        const double busY = top - m.levelGap / 2;
        for (uint32_t k : t.children[manager]) {
            if (!placement.frames[k])
                continue;
            const Rect F = *placement.frames[k];
            if (!t.isAssistant[k]) {
                if (routes)
                    continue;
                bool column = false;
                for (uint32_t other : t.children[manager]) {
                    column = column || (other != k && !t.isAssistant[other] && placement.sideEntries[k] &&
                                        placement.sideEntries[other] && placement.frames[other] &&
                                        std::abs(placement.frames[other]->minX() - F.minX()) < 0.001);
                }
                if (column)
                    polyline({{M.midX(), M.maxY()}, {M.midX(), busY}, {F.minX() - 24, busY},
                              {F.minX() - 24, F.midY()}, {F.minX(), F.midY()}});
                else
                    polyline({{M.midX(), M.maxY()}, {M.midX(), busY}, {F.midX(), busY}, {F.midX(), F.minY()}});
                continue;
            }
            const bool left = F.midX() < M.midX();
            size_t sameSide = 0;
            for (uint32_t other : t.children[manager]) {
                if (t.isAssistant[other])
                    sameSide += (placement.frames[other] && placement.frames[other]->midX() < M.midX()) == left;
            }
            const double sideX = left ? M.minX() : M.maxX();
            const double trunkX = left ? M.minX() - m.spacing / 2 : M.maxX() + m.spacing / 2;
            if (sameSide == 1) {
                polyline({{sideX, M.midY()}, {trunkX, M.midY()}, {trunkX, F.midY()},
                          {left ? F.maxX() : F.minX(), F.midY()}});
            } else {
                const double above = F.minY() - m.spacing / 2;
                polyline({{sideX, M.midY()}, {trunkX, M.midY()}, {trunkX, above}, {F.midX(), above},
                          {F.midX(), F.minY()}});
            }
        }
    }
    return merged(pieces);
}

// Ratio 0 is the screen.
void expectSamePlacement(const Organization &org, double ratio, double height, int round)
{
    const std::string context = "round " + std::to_string(round) + " ratio " + std::to_string(ratio);
    const Tree t = tree(org);
    const std::optional<double> page = ratio > 0 ? std::optional<double>(ratio) : std::nullopt;
    const Metrics m = metrics(page, height);
    const Placement fast = place(org, t, m), slow = ReferenceLayout::place(org, t, m);
    ASSERT_EQ(fast.frames, slow.frames) << context;
    ASSERT_EQ(fast.sideEntries, slow.sideEntries) << context;
    ASSERT_EQ(fast.regularRoutes, slow.regularRoutes) << context;
    ASSERT_EQ(fast.bounds, slow.bounds) << context;
    EXPECT_EQ(assemble(org, t, m, fast), ChartLayout::build(org, page, height));
    EXPECT_EQ(assemble(org, t, m, fast).primarySegments, plainConnectors(org, t, m, fast)) << context;
}

} // namespace

// Random shapes in both modes: several roots, assistants with their own reports, callouts,
// sibling orders and ids out of order; wide charts are schools, many leaves under a few deputies.
TEST(ChartLayoutPlans, MatchesReferenceOnRandomOrganizations)
{
    std::mt19937 random(20240611);
    auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    const double ratios[] = {0, 1.0, 720.0 / 486.0, 0.6, 2.5}, heights[] = {112, 132, 148};
    for (int round = 0; round < 300; ++round) {
        const int shape = round % 5; // mixed, deep, flat, many assistants, wide
        Organization org;
        for (int i = 0, count = between(1, shape == 4 ? 40 : 26); i < count; ++i) {
            Position p = position("P" + std::to_string((i * 7919) % 1000 + 1000));
            if (i > 0 && between(0, 24) > 0) {
                const int manager = shape == 1 ? std::max(0, i - 1 - between(0, 2))
                                    : shape == 2 ? between(0, std::min(i - 1, 2))
                                    : shape == 4 ? between(0, std::min(i - 1, 4))
                                                 : between(0, i - 1);
                p.managerID = org.positions[manager].id;
                p.isAssistant = between(0, 99) < (shape == 3 ? 35 : 8);
            }
            if (between(0, 19) < 3)
                p.reportingCallout = ReportingCallout{};
            if (between(0, 4) == 0)
                p.siblingOrder = between(-2, 2);
            org.positions.push_back(std::move(p));
        }
        std::shuffle(org.positions.begin(), org.positions.end(), random);
        for (double ratio : {ratios[round % 5], 0.0}) {
            expectSamePlacement(org, ratio, heights[round % 3], round);
            if (testing::Test::HasFailure())
                return;
        }
    }
}

// Side columns and row wraps only arise in page-balanced mode with reporting children.
TEST(ChartLayoutPlans, MatchesReferenceOnSideColumnsAndRowWraps)
{
    std::mt19937 random(7);
    for (int round = 0; round < 60; ++round) {
        Organization org;
        org.positions.push_back(position("R"));
        const int children = std::uniform_int_distribution<int>(2, 9)(random);
        for (int c = 0; c < children; ++c) {
            const std::string id = "C" + std::to_string(c);
            org.positions.push_back(position(id, "R"));
            const bool reports = round % 2 == 0 ? c == children / 2 : c % 3 != 1;
            if (!reports)
                continue;
            const int grandchildren = std::uniform_int_distribution<int>(1, 7)(random);
            for (int g = 0; g < grandchildren; ++g) {
                Position p = position(id + "-" + std::to_string(g), id);
                p.isAssistant = g == 0 && round % 4 == 1;
                org.positions.push_back(std::move(p));
            }
        }
        for (double ratio : {0.5, 1.0, 1.4, 3.0}) {
            expectSamePlacement(org, ratio, 112, round);
            if (testing::Test::HasFailure())
                return;
        }
    }
}

// Managers with many leaf reports around a few reporting ones, as in schools: several
// combinations share the same stacks, stack sizes repeat shapes, and callouts make stacks
// of uneven height.
TEST(ChartLayoutPlans, MatchesReferenceOnManyLeavesBesideReportingChildren)
{
    std::mt19937 random(5150);
    auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int round = 0; round < 40; ++round) {
        Organization org;
        org.positions.push_back(position("R"));
        if (round % 3 == 0)
            org.positions.push_back(assistant("RA", "R"));
        for (int school = between(1, 2); school > 0; --school) {
            const std::string head = "S" + std::to_string(school);
            org.positions.push_back(position(head, "R"));
            if (between(0, 1) == 1)
                org.positions.push_back(assistant(head + "A", head));
            std::vector<std::string> deputies;
            for (int d = between(1, 3); d > 0; --d) {
                deputies.push_back(head + "D" + std::to_string(d));
                org.positions.push_back(position(deputies.back(), head));
            }
            for (int t = between(3, 14); t > 0; --t) {
                const bool underDeputy = t % 4 == 0;
                Position p = position(head + "T" + std::to_string(between(10, 99)) + std::to_string(t),
                                                 underDeputy ? deputies[t % deputies.size()] : head);
                if (between(0, 5) == 0)
                    p.reportingCallout = ReportingCallout{};
                org.positions.push_back(std::move(p));
            }
        }
        for (double ratio : {0.7, 1.4, 2.2}) {
            expectSamePlacement(org, ratio, round % 2 == 0 ? 112 : 148, round);
            if (testing::Test::HasFailure())
                return;
        }
    }
}

TEST(ChartLayoutPlans, RankingKeepsInputOrderForNearTies)
{
    EXPECT_EQ(ranked({3, 1, 2}), (std::vector<size_t>{1, 2, 0}));
    EXPECT_EQ(ranked({1 + 5e-7, 1, 0.5}), (std::vector<size_t>{2, 0, 1}));
    EXPECT_EQ(ranked({}), std::vector<size_t>{});
}

TEST(ChartLayoutPlans, MergedJoinsTouchingPiecesAndDropsRepeats)
{
    const std::vector<ChartSegment> pieces = {
        {{0, 10}, {5, 10}}, {{5, 10}, {9, 10}}, {{9, 10}, {2, 10}}, {{3, 0}, {3, 4}}, {{3, 6}, {3, 4}}, {{3, 7}, {3, 8}}};
    EXPECT_EQ(merged(pieces), (std::vector<ChartSegment>{{{3, 0}, {3, 6}}, {{3, 7}, {3, 8}}, {{0, 10}, {9, 10}}}));
}

// Random pieces on a few lines, merged as first described: grouped by line, joined in
// order of their lower ends, and all sorted at the end.
TEST(ChartLayoutPlans, MergedMatchesAPlainMergeOnRandomPieces)
{
    std::mt19937 random(31);
    auto between = [&](int lo, int hi) { return double(std::uniform_int_distribution<int>(lo, hi)(random)); };
    for (int round = 0; round < 200; ++round) {
        std::vector<ChartSegment> pieces;
        for (int i = 0, n = int(between(0, 40)); i < n; ++i) {
            const double line = between(0, 6), a = between(0, 20), b = between(0, 20);
            if (a == b)
                continue;
            pieces.push_back(between(0, 1) ? ChartSegment{{a, line}, {b, line}} : ChartSegment{{line, a}, {line, b}});
        }
        std::map<std::pair<bool, double>, std::vector<std::pair<double, double>>> lines;
        for (const ChartSegment &s : pieces) {
            const bool horizontal = s.start.y == s.end.y;
            const double a = horizontal ? s.start.x : s.start.y, b = horizontal ? s.end.x : s.end.y;
            lines[{horizontal, horizontal ? s.start.y : s.start.x}].push_back({std::min(a, b), std::max(a, b)});
        }
        std::vector<ChartSegment> expected;
        for (auto &[line, intervals] : lines) {
            std::stable_sort(intervals.begin(), intervals.end(),
                             [](const auto &x, const auto &y) { return x.first < y.first; });
            std::vector<std::pair<double, double>> joined;
            for (const auto &interval : intervals) {
                if (!joined.empty() && interval.first <= joined.back().second)
                    joined.back().second = std::max(joined.back().second, interval.second);
                else
                    joined.push_back(interval);
            }
            for (const auto &[lo, hi] : joined) {
                expected.push_back(line.first ? ChartSegment{{lo, line.second}, {hi, line.second}}
                                              : ChartSegment{{line.second, lo}, {line.second, hi}});
            }
        }
        std::sort(expected.begin(), expected.end(), [](const ChartSegment &a, const ChartSegment &b) {
            return std::tie(a.start.y, a.start.x, a.end.y, a.end.x) < std::tie(b.start.y, b.start.x, b.end.y, b.end.x);
        });
        ASSERT_EQ(merged(pieces), expected) << "round " << round;
    }
}
