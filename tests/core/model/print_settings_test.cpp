#include "core/model/print_settings.h"
#include "error_of.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace {

const std::string badSettings =
    "Use paper dimensions from 2\u2013200 inches, a positive scale up to 400%, and a margin of at least 0.25 inches.";
const std::string noRoom = "Margins and overlap leave too little room on the page.";
const std::string tooManyPages = "This would create more than 500 pages. Reduce scale or increase paper size.";
const std::string badChart = "The chart has an invalid size.";
const double notANumber = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

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

TEST(Pagination, DefaultAndLandscapePaper)
{
    const ChartPagination portrait(Size{100, 100}, ChartPrintSettings{});
    EXPECT_EQ(ChartPrintSettings{}.paperSize(), (Size{612, 792}));
    EXPECT_EQ(portrait.contentRect, Rect::make(36, 72, 540, 666));

    // Width and height given either way round; the orientation decides.
    for (const Size paper : {Size{11, 8.5}, Size{8.5, 11}}) {
        ChartPrintSettings settings;
        settings.widthInches = paper.width;
        settings.heightInches = paper.height;
        settings.landscape = true;
        EXPECT_EQ(settings.paperSize(), (Size{792, 612}));
        EXPECT_EQ(ChartPagination(Size{1, 1}, settings).contentRect, Rect::make(36, 72, 720, 486));
    }
}

TEST(Pagination, TilesOverlapAndCentreTheChart)
{
    const ChartPagination pagination(Size{1000, 600}, ChartPrintSettings{});
    EXPECT_EQ(pagination.columns, 2);
    EXPECT_EQ(pagination.rows, 1);
    EXPECT_EQ(pagination.chartInset, (Size{31, 33}));
    ASSERT_EQ(pagination.tiles.size(), 2u);
    EXPECT_EQ(pagination.tiles[0], (ChartPrintTile{1, 1, Point{-31, -33}}));
    EXPECT_EQ(pagination.tiles[1], (ChartPrintTile{1, 2, Point{491, -33}}));

    // At 50% the same chart fits one page; the inset is in chart points.
    const ChartPagination half(Size{1000, 600}, changed([](auto &s) { s.scalePercent = 50; }));
    EXPECT_EQ(half.columns, 1);
    EXPECT_EQ(half.chartInset, (Size{40, 366}));

    // Tiles are row-major.
    const ChartPagination grid(Size{1000, 1300}, ChartPrintSettings{});
    ASSERT_EQ(grid.tiles.size(), 4u);
    EXPECT_EQ(grid.tiles[1].row, 1);
    EXPECT_EQ(grid.tiles[1].column, 2);
    EXPECT_EQ(grid.tiles[2].row, 2);
    EXPECT_EQ(grid.tiles[2].column, 1);
    EXPECT_DOUBLE_EQ(grid.tiles[2].chartOrigin.y - grid.tiles[0].chartOrigin.y, 648);
}

TEST(Pagination, RangeOfSettings)
{
    using Change = std::function<void(ChartPrintSettings &)>;
    const struct {
        const char *name;
        Change change;
        std::string message;
    } cases[] = {
        {"width 2", [](auto &s) { s.widthInches = 2; s.marginInches = 0.25; s.overlapInches = 0; }, ""},
        {"height 200", [](auto &s) { s.heightInches = 200; }, ""},
        {"scale 400", [](auto &s) { s.scalePercent = 400; }, ""},
        {"margin 0.25", [](auto &s) { s.marginInches = 0.25; }, ""},
        {"overlap 0", [](auto &s) { s.overlapInches = 0; }, ""},
        {"width 1.99", [](auto &s) { s.widthInches = 1.99; }, badSettings},
        {"height 200.01", [](auto &s) { s.heightInches = 200.01; }, badSettings},
        {"width NaN", [](auto &s) { s.widthInches = notANumber; }, badSettings},
        {"scale 0", [](auto &s) { s.scalePercent = 0; }, badSettings},
        {"scale 400.01", [](auto &s) { s.scalePercent = 400.01; }, badSettings},
        {"scale infinite", [](auto &s) { s.scalePercent = inf; }, badSettings},
        {"margin 0.24", [](auto &s) { s.marginInches = 0.24; }, badSettings},
        {"margin NaN", [](auto &s) { s.marginInches = notANumber; }, badSettings},
        {"negative overlap", [](auto &s) { s.overlapInches = -0.01; }, badSettings},
        {"infinite overlap", [](auto &s) { s.overlapInches = inf; }, badSettings},
        {"overlap just leaves room", [](auto &s) { s.overlapInches = 6.99; }, ""},
        {"overlap reaches the content width", [](auto &s) { s.overlapInches = 7; }, noRoom},
        {"margins leave no content", [](auto &s) { s.widthInches = 2; s.marginInches = 0.75; s.overlapInches = 0; },
         noRoom},
    };
    for (const auto &c : cases)
        EXPECT_EQ(paginationProblem(Size{100, 100}, changed(c.change)), c.message) << c.name;

    for (const Size chart : {Size{0, 10}, Size{10, -1}, Size{notANumber, 10}, Size{10, inf}})
        EXPECT_EQ(paginationProblem(chart, ChartPrintSettings{}), badSettings);
}

TEST(Pagination, AtMost500Pages)
{
    const ChartPrintSettings noOverlap = changed([](auto &s) { s.overlapInches = 0; });
    EXPECT_EQ(paginationProblem(Size{20 * 540, 25 * 666}, noOverlap), "");
    EXPECT_EQ(ChartPagination(Size{20 * 540, 25 * 666}, noOverlap).tiles.size(), 500u);
    EXPECT_EQ(paginationProblem(Size{501 * 540, 1}, noOverlap), tooManyPages);
    EXPECT_EQ(paginationProblem(Size{1e300, 1e300}, noOverlap), tooManyPages);
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

TEST(FittedPercentage, FitsOnePage)
{
    const ChartPrintSettings settings;
    EXPECT_EQ(settings.fittedPercentage(Size{1080, 666}), 50 * 0.9999999999);
    EXPECT_EQ(settings.fittedPercentage(Size{1, 1}), 400);
    // The stored scale plays no part.
    EXPECT_EQ(changed([](auto &s) { s.scalePercent = 0; }).fittedPercentage(Size{1080, 666}), 50 * 0.9999999999);
}

TEST(FittedPercentage, BadPaperIsReportedBeforeBadChart)
{
    auto problem = [](const ChartPrintSettings &settings, Size chart) {
        return errorOf([&] { (void)settings.fittedPercentage(chart); });
    };
    EXPECT_EQ(problem(ChartPrintSettings{}, Size{0, 10}), badChart);
    EXPECT_EQ(problem(ChartPrintSettings{}, Size{10, notANumber}), badChart);
    EXPECT_EQ(problem(changed([](auto &s) { s.widthInches = 1; }), Size{0, 10}), badSettings);
}

TEST(PrintSettings, DisplaySwitchesKeepNamesAndCollapsedTitlesApart)
{
    ChartPrintSettings settings;
    settings.setCollapseToPosition(true);
    EXPECT_TRUE(settings.hideNames);
    EXPECT_EQ(settings.displayMode(), ChartDisplayMode::titleCounts);
    settings.setShowNames(true);
    EXPECT_FALSE(settings.combineMatchingTitles);
    EXPECT_EQ(settings.displayMode(), ChartDisplayMode::people);

    settings.combineMatchingTitles = true;
    settings.setDisplayMode(ChartDisplayMode::people);
    EXPECT_TRUE(settings.combineMatchingTitles);
    settings.setDisplayMode(ChartDisplayMode::positions);
    EXPECT_TRUE(settings.hideNames);
    EXPECT_FALSE(settings.combineMatchingTitles);

    settings.setCollapseToPosition(true);
    settings.setShowPositions(false);
    EXPECT_FALSE(settings.combineMatchingTitles);
    EXPECT_FALSE(settings.showJobTitle);
}

TEST(PrintSettings, DisplayModeTitles)
{
    for (ChartDisplayMode mode : allChartDisplayModes)
        EXPECT_EQ(chartDisplayModeFromTitle(chartDisplayModeTitle(mode)), mode);
    EXPECT_STREQ(chartDisplayModeTitle(ChartDisplayMode::titleCounts), "Title counts (\u00D7N)");
    EXPECT_FALSE(chartDisplayModeFromTitle("people").has_value());
}

TEST(PrintSettings, JsonMissingKeysTakeDefaults)
{
    EXPECT_EQ(PrintSettingsJson::decode(nlohmann::json::object()), ChartPrintSettings{});
    const ChartPrintSettings read = PrintSettingsJson::decode(
        nlohmann::json{{"landscape", true}, {"pageBalancedLayout", true}, {"scalePercent", nullptr}});
    EXPECT_EQ(read, ChartPrintSettings::departmentDesign());

    ChartPrintSettings odd = changed([](auto &s) { s.widthInches = 0.1; s.hideNames = true; s.showJobTitle = false; });
    const nlohmann::json json = PrintSettingsJson::encode(odd);
    EXPECT_EQ(json.size(), 11u);
    EXPECT_EQ(PrintSettingsJson::decode(nlohmann::json::parse(json.dump())), odd);
}
