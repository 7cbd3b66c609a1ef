#include "core/chart/chart_layout_engine.h"

#include "chart_layout_reference.h"
#include "chart_test_support.h"

#include <gtest/gtest.h>

#include <random>

using namespace ChartLayoutEngine;
using ChartTest::position;

namespace {

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
}

} // namespace

// Random shapes in both modes: several roots, assistants with their own reports, callouts,
// sibling orders and ids out of order; wide charts are schools, many leaves under a few deputies.
TEST(ChartLayoutPlans, MatchesReferenceOnRandomOrganizations)
{
    std::mt19937 random(20240611);
    auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    const double ratios[] = {0, 1.0, 720.0 / 486.0, 0.6, 2.5}, heights[] = {112, 132, 148};
    for (int round = 0; round < 250; ++round) {
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
