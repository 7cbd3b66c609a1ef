#include "core/chart/chart_layout.h"
#include "core/model/print_settings.h"

#include "archive_test_support.h"
#include "chart_test_support.h"
#include "error_of.h"

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

const ChartRegion &onlyRegion(const ChartLayout &layout)
{
    EXPECT_EQ(layout.regions.size(), 1u);
    return layout.regions.front();
}

} // namespace

// The shared charts sit in a region below the main chart, with cards 36 taller; the main
// chart is centred across a layout that a wide group widens.
TEST(ChartLayoutFocused, SharedGroupsSitInARegionBelow)
{
    EXPECT_EQ(ChartLayout::focusedDepartment(department(0), 1.4, 112), ChartLayout::build(department(0), 1.4, 112));
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

TEST(ChartLayoutFocused, WithoutSharedPositionsItIsTheOrdinaryLayout)
{
    const Organization org = department(0);
    for (std::optional<double> ratio : {std::optional<double>(), std::optional<double>(1.4)})
        EXPECT_EQ(ChartLayout::focusedDepartment(org, ratio, 112), ChartLayout::build(org, ratio, 112));
    EXPECT_EQ(ChartLayout::focusedDepartment(Organization{}, std::nullopt, 112).size, (Size{320, 240}));
}

TEST(ChartLayoutFocused, OneSharedGroupSitsCentredInTheRegion)
{
    const Organization org = department(1);
    const ChartLayout layout = ChartLayout::focusedDepartment(org, std::nullopt, 112);
    Organization mainOnly;
    mainOnly.positions.assign(org.positions.begin(), org.positions.begin() + 3);
    const ChartLayout main = ChartLayout::build(mainOnly, std::nullopt, 112);

    const ChartRegion &region = onlyRegion(layout);
    EXPECT_EQ(region.title, "Shared reporting \u2014 additional oversight");
    EXPECT_EQ(region.subtitle, "Dashed lines show additional reports. Primary managers are referenced on the cards.");
    const double y0 = main.size.height + 24;
    EXPECT_EQ(region.frame.minY(), y0);
    EXPECT_EQ(region.frame.minX(), 20);
    EXPECT_EQ(region.frame.width(), layout.size.width - 40);
    EXPECT_EQ(layout.size.height, region.frame.maxY() + 20);

    // The shared chart's cards are 36 taller, its top card 64 below the region's top and
    // centred across the layout.
    const Rect root = frameOf(layout, "S00");
    EXPECT_EQ(root.height(), 148);
    EXPECT_EQ(root.minY(), y0 + 64);
    EXPECT_EQ(frameOf(layout, "S00-0").height(), 148);
    EXPECT_EQ(frameOf(layout, "H"), frameOf(main, "H").offsetBy((layout.size.width - main.size.width) / 2, 0));
    EXPECT_EQ(region.frame.height(), frameOf(layout, "S00-0").maxY() - root.minY() + 88);

    // The dotted line from the shared root up to the head is among the edges.
    EXPECT_NE(std::find(layout.edges.begin(), layout.edges.end(), ChartEdge{"H", "S00", true}), layout.edges.end());
    EXPECT_TRUE(std::is_sorted(layout.nodes.begin(), layout.nodes.end(),
                               [](const ChartNode &a, const ChartNode &b) { return a.id < b.id; }));
}

TEST(ChartLayoutFocused, ThirteenGroupsUseAtMostTwelveColumnsInRootOrder)
{
    const ChartLayout layout = ChartLayout::focusedDepartment(department(13), std::nullopt, 112);
    std::vector<Rect> roots;
    for (int g = 0; g < 13; ++g)
        roots.push_back(frameOf(layout, groupID(g)));
    // Rows fill left to right, top to bottom.
    size_t firstRow = 1;
    while (firstRow < roots.size() && roots[firstRow].minY() == roots[0].minY()) {
        EXPECT_GT(roots[firstRow].minX(), roots[firstRow - 1].minX());
        ++firstRow;
    }
    EXPECT_LE(firstRow, 12u);
    EXPECT_LT(firstRow, 13u);
    EXPECT_GT(roots[firstRow].minY(), roots[0].minY());
    EXPECT_EQ(roots[firstRow].minX(), roots[0].minX());
}

TEST(ChartLayoutFocused, WideGroupWidensTheLayoutAndCentresTheMain)
{
    const ChartLayout layout = ChartLayout::focusedDepartment(department(1, 6), std::nullopt, 112);
    Organization mainOnly = department(0);
    const ChartLayout main = ChartLayout::build(mainOnly, std::nullopt, 112);
    ASSERT_GT(layout.size.width, main.size.width);
    const double shift = (layout.size.width - main.size.width) / 2;
    EXPECT_EQ(frameOf(layout, "H"), frameOf(main, "H").offsetBy(shift, 0));
    EXPECT_EQ(onlyRegion(layout).frame.width(), layout.size.width - 40);
}

TEST(ChartLayoutFocused, ErrorsPropagate)
{
    EXPECT_THROW(ChartLayout::focusedDepartment(department(1), std::nullopt, 100), OrganizationError);
    Organization broken = department(1);
    broken.positions[1].managerID = "gone";
    EXPECT_THROW(ChartLayout::focusedDepartment(broken, std::nullopt, 112), OrganizationError);
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
    try {
        settings.layout(org);
        FAIL();
    } catch (const OrganizationError &e) {
        EXPECT_EQ(e.message(),
                  "Use paper dimensions from 2–200 inches, a positive scale up to 400%, and a margin of at least 0.25 inches.");
    }
    settings.pageBalancedLayout = false; // the paper only matters for page balancing
    EXPECT_NO_THROW(settings.layout(org));
}

// A focused-department chart from the document lays its shared reports out in the region.
TEST(ChartLayoutFocused, DocumentChartInFocusedView)
{
    using namespace TestDocs;
    OrganizationArchive doc = archive({person("T"), person("H", "T"), person("H1", "H"), person("O", "T"),
                                       withDotted(person("S", "O"), {"H"}), person("S1", "S")});
    OrganizationSheet chart = sheet("dept", "Department", {"H", "H1", "S", "S1"});
    chart.focusedDepartmentView = true;
    doc.sheets = std::vector<OrganizationSheet>{chart};

    const ChartLayout layout = ChartPrintSettings{}.layout(doc.organizationIn("dept"));
    const ChartRegion &region = onlyRegion(layout);
    EXPECT_TRUE(region.frame.contains(frameOf(layout, "S").origin));
    EXPECT_TRUE(region.frame.contains(frameOf(layout, "S1").origin));
    EXPECT_FALSE(region.frame.contains(frameOf(layout, "H").origin));
    EXPECT_NE(std::find(layout.edges.begin(), layout.edges.end(), ChartEdge{"H", "S", true}), layout.edges.end());
}
