#include "core/model/print_settings.h"
#include "error_of.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

const std::string badSettings =
    "Use paper dimensions from 2\u2013200 inches, a positive scale up to 400%, and a margin of at least 0.25 inches.";
const std::string noRoom = "Margins and overlap leave too little room on the page.";
const std::string tooManyPages = "This would create more than 500 pages. Reduce scale or increase paper size.";

ChartPrintSettings changed(std::function<void(ChartPrintSettings &)> change)
{
    ChartPrintSettings settings;
    change(settings);
    return settings;
}

std::string paginationProblem(Size chart, const ChartPrintSettings &settings = {})
{
    return errorOf([&] { (void)ChartPagination(chart, settings); });
}

} // namespace

TEST(Pagination, TilesOverlapAndCentreTheChart)
{
    const ChartPagination pagination(Size{1000, 600}, ChartPrintSettings{});
    EXPECT_EQ(pagination.chartInset, (Size{31, 33}));
    ASSERT_EQ(pagination.tiles.size(), 2u);
    EXPECT_EQ(pagination.tiles[1], (ChartPrintTile{1, 2, Point{491, -33}}));
    // At 50% the same chart fits one page; the inset is in chart points.
    EXPECT_EQ(ChartPagination(Size{1000, 600}, changed([](auto &s) { s.scalePercent = 50; })).chartInset, (Size{40, 366}));
}

TEST(Pagination, RangeOfSettingsAndAtMost500Pages)
{
    auto problem = [](std::function<void(ChartPrintSettings &)> change) {
        return paginationProblem(Size{100, 100}, changed(change));
    };
    EXPECT_EQ(problem([](auto &s) { s.widthInches = 2; s.marginInches = 0.25; s.overlapInches = 0; s.scalePercent = 400; }), "");
    EXPECT_EQ(problem([](auto &s) { s.widthInches = NAN; }), badSettings);
    EXPECT_EQ(problem([](auto &s) { s.overlapInches = 6.99; }), "");
    EXPECT_EQ(problem([](auto &s) { s.overlapInches = 7; }), noRoom);
    EXPECT_EQ(paginationProblem(Size{10, INFINITY}), badSettings);

    const ChartPrintSettings noOverlap = changed([](auto &s) { s.overlapInches = 0; });
    EXPECT_EQ(ChartPagination(Size{20 * 540, 25 * 666}, noOverlap).tiles.size(), 500u);
    EXPECT_EQ(paginationProblem(Size{501 * 540, 1}, noOverlap), tooManyPages);
    EXPECT_EQ(paginationProblem(Size{1e300, 1e300}, noOverlap), tooManyPages);
}

TEST(PrintSettings, JsonRoundTripsAndMissingKeysTakeDefaults)
{
    EXPECT_EQ(PrintSettingsJson::decode(nlohmann::json{{"landscape", true}, {"pageBalancedLayout", true}, {"scalePercent", nullptr}}),
              ChartPrintSettings::departmentDesign());
    const ChartPrintSettings odd = changed([](auto &s) { s.widthInches = 0.1; s.hideNames = true; s.showJobTitle = false; });
    EXPECT_EQ(PrintSettingsJson::decode(nlohmann::json::parse(PrintSettingsJson::encode(odd).dump())), odd);
}
