#include "core/chart_layout.h"
#include "core/print_settings.h"

#include "archive_test_support.h"
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
            Position c = position(r.id + "-" + std::to_string(k), r.id);
            c.sharedReportRootID = r.id;
            org.positions.push_back(c);
        }
    }
    return org;
}

} // namespace

TEST(ChartLayoutFocused, WithoutSharedPositionsItIsTheOrdinaryLayout)
{
    for (std::optional<double> ratio : {std::optional<double>(), std::optional<double>(1.4)})
        EXPECT_EQ(ChartLayout::focusedDepartment(department(0), ratio, 112),
                  ChartLayout::build(department(0), ratio, 112));
}

// The shared charts sit in a region below the main chart, with cards 36 taller; the main
// chart is centred across a layout that a wide group widens.
TEST(ChartLayoutFocused, SharedGroupsSitInARegionBelow)
{
    const ChartLayout main = ChartLayout::build(department(0), std::nullopt, 112);
    for (int extra : {0, 6}) {
        const ChartLayout layout = ChartLayout::focusedDepartment(department(1, extra), std::nullopt, 112);
        ASSERT_EQ(layout.regions.size(), 1u);
        const ChartRegion &region = layout.regions.front();
        EXPECT_EQ(region.title, "Shared reporting \u2014 additional oversight");
        EXPECT_EQ(region.subtitle,
                  "Dashed lines show additional reports. Primary managers are referenced on the cards.");
        EXPECT_EQ(region.frame.minY(), main.size.height + 24);
        EXPECT_EQ(region.frame.minX(), 20);
        EXPECT_EQ(region.frame.width(), layout.size.width - 40);
        EXPECT_EQ(layout.size.height, region.frame.maxY() + 20);
        EXPECT_EQ(extra > 0, layout.size.width > main.size.width);
        EXPECT_EQ(frameOf(layout, "H"), frameOf(main, "H").offsetBy((layout.size.width - main.size.width) / 2, 0));

        const Rect root = frameOf(layout, "S00"), report = frameOf(layout, "S00-0");
        EXPECT_EQ(root.height(), 148);
        EXPECT_EQ(report.height(), 148);
        EXPECT_EQ(root.minY(), region.frame.minY() + 64);
        if (extra == 0) {
            EXPECT_EQ(region.frame.height(), report.maxY() - root.minY() + 88);
        }
        EXPECT_NE(std::find(layout.edges.begin(), layout.edges.end(), ChartEdge{"H", "S00", true}), layout.edges.end());
    }
}

// Groups fill rows of at most twelve, left to right, top to bottom.
TEST(ChartLayoutFocused, ThirteenGroupsWrapAfterTwelve)
{
    const ChartLayout layout = ChartLayout::focusedDepartment(department(13), std::nullopt, 112);
    std::vector<Rect> roots;
    for (int g = 0; g < 13; ++g)
        roots.push_back(frameOf(layout, groupID(g)));
    size_t firstRow = 1;
    for (; firstRow < roots.size() && roots[firstRow].minY() == roots[0].minY(); ++firstRow)
        EXPECT_GT(roots[firstRow].minX(), roots[firstRow - 1].minX());
    EXPECT_LE(firstRow, 12u);
    EXPECT_GT(roots[firstRow].minY(), roots[0].minY());
    EXPECT_EQ(roots[firstRow].minX(), roots[0].minX());
}

TEST(ChartPrintSettingsLayout, CardHeightRatioAndCallouts)
{
    Organization org = department(0);
    org.positions[2].dottedManagerIDs = {"H1"}; // H2 now has two managers: a callout
    const Organization withCallouts = org.withReportingCallouts();

    ChartPrintSettings settings;
    EXPECT_EQ(settings.layout(org), ChartLayout::build(withCallouts, std::nullopt, 112));
    EXPECT_EQ(frameOf(settings.layout(org), "H2").height(), 136);
    settings.showPayLevel = true;
    EXPECT_EQ(frameOf(settings.layout(org), "H1").height(), 132);

    settings = ChartPrintSettings{};
    settings.widthInches = 11;
    settings.heightInches = 8.5;
    settings.landscape = true;
    settings.pageBalancedLayout = true;
    EXPECT_EQ(settings.layout(org), ChartLayout::build(withCallouts, 720.0 / 486.0, 112));
    settings.widthInches = 1;
    EXPECT_EQ(errorOf([&] { settings.layout(org); }), "Use paper dimensions from 2–200 inches, a positive scale up "
                                                      "to 400%, and a margin of at least 0.25 inches.");
    settings.pageBalancedLayout = false; // the paper only matters for page balancing
    EXPECT_NO_THROW(settings.layout(org));
}

// A focused-department sheet of the document lays its shared reports out in the region.
TEST(ChartLayoutFocused, DocumentChartInFocusedView)
{
    using namespace TestDocs;
    OrganizationArchive doc = archive({person("T"), person("H", "T"), person("O", "T"),
                                       withDotted(person("S", "O"), {"H"}), person("S1", "S")});
    doc.sheets = std::vector<OrganizationSheet>{sheet("dept", "Department", {"H", "S", "S1"})};
    doc.sheets->front().focusedDepartmentView = true;
    const ChartLayout layout = ChartPrintSettings{}.layout(doc.organizationIn("dept"));
    ASSERT_EQ(layout.regions.size(), 1u);
    EXPECT_TRUE(layout.regions[0].frame.contains(frameOf(layout, "S1").origin));
    EXPECT_FALSE(layout.regions[0].frame.contains(frameOf(layout, "H").origin));
}
