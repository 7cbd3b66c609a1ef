#include "core/chart/chart_layout.h"
#include "core/model/print_settings.h"

#include "error_of.h"
#include "chart_test_support.h"

#include <gtest/gtest.h>

using namespace ChartTest;

namespace {

std::string groupID(int g)
{
    return "S" + std::string(g < 10 ? "0" : "") + std::to_string(g);
}

// A department head with two reports, and `groups` shared roots (each with one report)
// that answer to someone off the chart and report by dotted line to the head.
Organization department(int groups, int extraReportsInFirstGroup = 0)
{
    Organization org{{position("H"), position("H1", "H"), position("H2", "H")}};
    for (int g = 0; g < groups; ++g) {
        Position r = position(groupID(g));
        r.dottedManagerIDs = {"H"};
        r.sharedReportRootID = r.id;
        org.positions.push_back(r);
        for (int k = 0; k <= (g == 0 ? extraReportsInFirstGroup : 0); ++k) {
            org.positions.push_back(position(r.id + "-" + std::to_string(k), r.id));
            org.positions.back().sharedReportRootID = r.id;
        }
    }
    return org;
}

} // namespace

// The shared charts sit in a region below the main chart, with cards 36 taller; the main
// chart is centred across a layout that a wide group widens.
TEST(ChartLayoutFocused, SharedGroupsSitInARegionBelow)
{
    EXPECT_EQ(ChartLayout::focusedDepartment(department(0), 1.4, 112), ChartLayout::build(department(0), 1.4, 112));
    const ChartLayout main = ChartLayout::build(department(0), std::nullopt, 112);
    const ChartLayout layout = ChartLayout::focusedDepartment(department(1), std::nullopt, 112);
    ASSERT_EQ(layout.regions.size(), 1u);
    const Rect region = layout.regions.front().frame;
    EXPECT_EQ(layout.regions.front().title, "Shared reporting \u2014 additional oversight");
    EXPECT_EQ(region, Rect::make(20, main.size.height + 24, layout.size.width - 40, region.height()));
    EXPECT_EQ(layout.size.height, region.maxY() + 20);
    const Rect root = frameOf(layout, "S00"), report = frameOf(layout, "S00-0");
    EXPECT_EQ(root.height(), 148);
    EXPECT_EQ(root.minY(), region.minY() + 64);
    EXPECT_EQ(region.height(), report.maxY() - root.minY() + 88);

    const ChartLayout wide = ChartLayout::focusedDepartment(department(1, 6), std::nullopt, 112);
    EXPECT_GT(wide.size.width, main.size.width);
    EXPECT_EQ(frameOf(wide, "H"), frameOf(main, "H").offsetBy((wide.size.width - main.size.width) / 2, 0));
}

// Callouts make cards taller; a bad paper size only matters when balancing for the page.
TEST(ChartPrintSettingsLayout, CalloutsAndPageRatio)
{
    Organization org = department(0);
    org.positions[2].dottedManagerIDs = {"H1"}; // H2 now has two managers: a callout
    ChartPrintSettings settings;
    EXPECT_EQ(frameOf(settings.layout(org), "H2").height(), 136);
    settings.widthInches = 11;
    settings.heightInches = 8.5;
    settings.landscape = true;
    settings.pageBalancedLayout = true;
    EXPECT_EQ(settings.layout(org), ChartLayout::build(org.withReportingCallouts(), 720.0 / 486.0, 112));
    settings.widthInches = 1;
    EXPECT_THROW(settings.layout(org), OrganizationError);
    settings.pageBalancedLayout = false;
    EXPECT_NO_THROW(settings.layout(org));
}
