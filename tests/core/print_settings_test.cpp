#include "core/print_settings.h"
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
    const struct {
        const char *name;
        std::function<void(ChartPrintSettings &)> change;
        std::string message;
    } cases[] = {
        {"smallest paper, largest scale",
         [](auto &s) { s.widthInches = 2; s.marginInches = 0.25; s.overlapInches = 0; s.scalePercent = 400; }, ""},
        {"width NaN", [](auto &s) { s.widthInches = NAN; }, badSettings},
        {"margin 0.24", [](auto &s) { s.marginInches = 0.24; }, badSettings},
        {"infinite overlap", [](auto &s) { s.overlapInches = INFINITY; }, badSettings},
        {"overlap just leaves room", [](auto &s) { s.overlapInches = 6.99; }, ""},
        {"overlap reaches the content width", [](auto &s) { s.overlapInches = 7; }, noRoom},
    };
    for (const auto &c : cases)
        EXPECT_EQ(paginationProblem(Size{100, 100}, changed(c.change)), c.message) << c.name;
    EXPECT_EQ(paginationProblem(Size{10, INFINITY}), badSettings);

    const ChartPrintSettings noOverlap = changed([](auto &s) { s.overlapInches = 0; });
    EXPECT_EQ(ChartPagination(Size{20 * 540, 25 * 666}, noOverlap).tiles.size(), 500u);
    EXPECT_EQ(paginationProblem(Size{501 * 540, 1}, noOverlap), tooManyPages);
    EXPECT_EQ(paginationProblem(Size{1e300, 1e300}, noOverlap), tooManyPages);
}

TEST(FittedPercentage, FitsOnePageAndReportsBadPaperBeforeBadChart)
{
    // The stored scale plays no part.
    EXPECT_EQ(changed([](auto &s) { s.scalePercent = 0; }).fittedPercentage(Size{1080, 666}), 50 * 0.9999999999);
    EXPECT_EQ(ChartPrintSettings{}.fittedPercentage(Size{1, 1}), 400);
    EXPECT_EQ(errorOf([] { ChartPrintSettings{}.fittedPercentage(Size{10, NAN}); }), "The chart has an invalid size.");
    EXPECT_EQ(errorOf([] { changed([](auto &s) { s.widthInches = 1; }).fittedPercentage(Size{0, 10}); }), badSettings);
}

TEST(PrintSettings, JsonRoundTripsAndMissingKeysTakeDefaults)
{
    EXPECT_EQ(PrintSettingsJson::decode(nlohmann::json{{"landscape", true}, {"pageBalancedLayout", true}, {"scalePercent", nullptr}}),
              ChartPrintSettings::departmentDesign());
    const ChartPrintSettings odd = changed([](auto &s) { s.widthInches = 0.1; s.hideNames = true; s.showJobTitle = false; });
    EXPECT_EQ(PrintSettingsJson::decode(nlohmann::json::parse(PrintSettingsJson::encode(odd).dump())), odd);
}
