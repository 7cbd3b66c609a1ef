#include "core/chart_layout_engine.h"

#include "chart_layout_reference.h"
#include "chart_test_support.h"

#include <gtest/gtest.h>

#include <random>

using namespace ChartLayoutEngine;

namespace {

enum class Shape { mixed, deep, flat, assistants, wide };

// A random valid organization: several roots at times, assistants with their own reports,
// callouts, sibling orders and ids out of order.
Organization randomOrganization(std::mt19937 &random, Shape shape)
{
    auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(random) < p; };
    const int count = std::uniform_int_distribution<int>(1, shape == Shape::wide ? 40 : 26)(random);
    Organization org;
    for (int i = 0; i < count; ++i) {
        Position p = ChartTest::position("P" + std::to_string((i * 7919) % 1000 + 1000));
        if (i > 0 && !chance(0.04)) {
            int manager = 0;
            switch (shape) {
            case Shape::deep: manager = std::max(0, i - 1 - std::uniform_int_distribution<int>(0, 2)(random)); break;
            case Shape::flat: manager = std::uniform_int_distribution<int>(0, std::min(i - 1, 2))(random); break;
            case Shape::wide: manager = std::uniform_int_distribution<int>(0, std::min(i - 1, 4))(random); break;
            default: manager = std::uniform_int_distribution<int>(0, i - 1)(random); break;
            }
            p.managerID = org.positions[manager].id;
            if (chance(shape == Shape::assistants ? 0.35 : 0.08))
                p.isAssistant = true;
        }
        if (chance(0.15))
            p.reportingCallout = ReportingCallout{};
        if (chance(0.2))
            p.siblingOrder = std::uniform_int_distribution<int>(-2, 2)(random);
        org.positions.push_back(std::move(p));
    }
    std::shuffle(org.positions.begin(), org.positions.end(), random);
    return org;
}

void expectSamePlacement(const Placement &fast, const Placement &slow, const std::string &context)
{
    ASSERT_EQ(fast.frames.size(), slow.frames.size()) << context;
    for (size_t i = 0; i < fast.frames.size(); ++i) {
        ASSERT_EQ(fast.frames[i].has_value(), slow.frames[i].has_value()) << context << " position " << i;
        if (fast.frames[i]) {
            ASSERT_EQ(*fast.frames[i], *slow.frames[i]) << context << " position " << i;
        }
        ASSERT_EQ(fast.sideEntries[i], slow.sideEntries[i]) << context << " position " << i;
        ASSERT_EQ(fast.regularRoutes[i], slow.regularRoutes[i]) << context << " position " << i;
    }
    ASSERT_EQ(fast.bounds, slow.bounds) << context;
}

} // namespace

// The planner must choose exactly what the word-for-word search chooses.
TEST(ChartLayoutPlans, MatchesReferenceOnRandomOrganizations)
{
    std::mt19937 random(20240611);
    const std::optional<double> ratios[] = {std::nullopt, 1.0, 720.0 / 486.0, 0.6, 2.5};
    const double heights[] = {112, 132, 148};
    int compared = 0;
    for (int round = 0; round < 300; ++round) {
        const Shape shape = static_cast<Shape>(round % 5);
        const Organization org = randomOrganization(random, shape);
        const Tree t = tree(org);
        for (std::optional<double> ratio : {ratios[round % 5], std::optional<double>()}) {
            const Metrics m = metrics(ratio, heights[round % 3]);
            const std::string context = "round " + std::to_string(round) + (ratio ? " page" : " screen");
            const Placement fast = place(org, t, m);
            const Placement slow = ReferenceLayout::place(org, t, m);
            expectSamePlacement(fast, slow, context);
            if (testing::Test::HasFatalFailure())
                return;
            EXPECT_EQ(assemble(org, t, m, fast), ChartLayout::build(org, ratio, heights[round % 3]));
            ++compared;
        }
    }
    EXPECT_EQ(compared, 600);
}

// Side columns and row wraps only arise in page-balanced mode with reporting children.
TEST(ChartLayoutPlans, MatchesReferenceOnSideColumnsAndRowWraps)
{
    std::mt19937 random(7);
    for (int round = 0; round < 60; ++round) {
        Organization org;
        org.positions.push_back(ChartTest::position("R"));
        const int children = std::uniform_int_distribution<int>(2, 9)(random);
        for (int c = 0; c < children; ++c) {
            const std::string id = "C" + std::to_string(c);
            org.positions.push_back(ChartTest::position(id, "R"));
            const bool reports = round % 2 == 0 ? c == children / 2 : c % 3 != 1;
            if (!reports)
                continue;
            const int grandchildren = std::uniform_int_distribution<int>(1, 7)(random);
            for (int g = 0; g < grandchildren; ++g) {
                Position p = ChartTest::position(id + "-" + std::to_string(g), id);
                p.isAssistant = g == 0 && round % 4 == 1;
                org.positions.push_back(std::move(p));
            }
        }
        const Tree t = tree(org);
        for (double ratio : {0.5, 1.0, 1.4, 3.0}) {
            const Metrics m = metrics(ratio, 112);
            expectSamePlacement(place(org, t, m), ReferenceLayout::place(org, t, m),
                                "round " + std::to_string(round) + " ratio " + std::to_string(ratio));
            if (testing::Test::HasFatalFailure())
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
        org.positions.push_back(ChartTest::position("R"));
        if (round % 3 == 0)
            org.positions.push_back(ChartTest::assistant("RA", "R"));
        for (int school = between(1, 2); school > 0; --school) {
            const std::string head = "S" + std::to_string(school);
            org.positions.push_back(ChartTest::position(head, "R"));
            if (between(0, 1) == 1)
                org.positions.push_back(ChartTest::assistant(head + "A", head));
            std::vector<std::string> deputies;
            for (int d = between(1, 3); d > 0; --d) {
                deputies.push_back(head + "D" + std::to_string(d));
                org.positions.push_back(ChartTest::position(deputies.back(), head));
            }
            for (int t = between(3, 14); t > 0; --t) {
                const bool underDeputy = t % 4 == 0;
                Position p = ChartTest::position(head + "T" + std::to_string(between(10, 99)) + std::to_string(t),
                                                 underDeputy ? deputies[t % deputies.size()] : head);
                if (between(0, 5) == 0)
                    p.reportingCallout = ReportingCallout{};
                org.positions.push_back(std::move(p));
            }
        }
        const Tree t = tree(org);
        for (double ratio : {0.7, 1.4, 2.2}) {
            const Metrics m = metrics(ratio, round % 2 == 0 ? 112 : 148);
            expectSamePlacement(place(org, t, m), ReferenceLayout::place(org, t, m),
                                "round " + std::to_string(round) + " ratio " + std::to_string(ratio));
            if (testing::Test::HasFatalFailure())
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
