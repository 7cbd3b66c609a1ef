#include "core/model/print_settings.h"

#include "core/support/organization_error.h"

#include <algorithm>
#include <cmath>

const char *chartDisplayModeTitle(ChartDisplayMode mode)
{
    switch (mode) {
    case ChartDisplayMode::people: return "People";
    case ChartDisplayMode::positions: return "Positions (no names)";
    case ChartDisplayMode::titleCounts: return "Title counts (\u00D7N)";
    }
    return "";
}

std::optional<ChartDisplayMode> chartDisplayModeFromTitle(std::string_view title)
{
    for (ChartDisplayMode mode : allChartDisplayModes) {
        if (title == chartDisplayModeTitle(mode))
            return mode;
    }
    return std::nullopt;
}

ChartPrintSettings ChartPrintSettings::departmentDesign()
{
    ChartPrintSettings settings;
    settings.landscape = true;
    settings.pageBalancedLayout = true;
    return settings;
}

Size ChartPrintSettings::paperSize() const
{
    const double shortEdge = std::min(widthInches, heightInches) * 72;
    const double longEdge = std::max(widthInches, heightInches) * 72;
    return landscape ? Size{longEdge, shortEdge} : Size{shortEdge, longEdge};
}

void ChartPrintSettings::setShowNames(bool value)
{
    hideNames = !value;
    combineMatchingTitles = false;
}

void ChartPrintSettings::setShowPositions(bool value)
{
    showJobTitle = value;
    if (!value)
        combineMatchingTitles = false;
}

void ChartPrintSettings::setCollapseToPosition(bool value)
{
    combineMatchingTitles = value;
    if (value) {
        hideNames = true;
        showJobTitle = true;
    }
}

ChartDisplayMode ChartPrintSettings::displayMode() const
{
    if (showNames())
        return ChartDisplayMode::people;
    return combineMatchingTitles ? ChartDisplayMode::titleCounts : ChartDisplayMode::positions;
}

void ChartPrintSettings::setDisplayMode(ChartDisplayMode mode)
{
    hideNames = mode != ChartDisplayMode::people;
    if (mode != ChartDisplayMode::people)
        combineMatchingTitles = mode == ChartDisplayMode::titleCounts;
}

double ChartPrintSettings::fittedPercentage(Size chart) const
{
    ChartPrintSettings unit = *this;
    unit.scalePercent = 1;
    const ChartPagination page(Size{1, 1}, unit);
    const bool usable = std::isfinite(chart.width) && std::isfinite(chart.height) && chart.width > 0 && chart.height > 0;
    if (!usable)
        throw OrganizationError::invalid("The chart has an invalid size.");
    const double fit = std::min(page.contentRect.size.width / chart.width, page.contentRect.size.height / chart.height);
    return std::min(fit * 100 * 0.9999999999, 400.0);
}

namespace {

bool inRange(double value, double low, double high)
{
    return std::isfinite(value) && value >= low && value <= high;
}

} // namespace

namespace {

// The content rectangle and the grid of pages that cover a chart, before the page limit.
struct PageGrid {
    Rect content;
    double columns = 1;
    double rows = 1;
};

PageGrid pageGrid(Size chart, const ChartPrintSettings &settings)
{
    const bool valid = inRange(settings.widthInches, 2, 200) && inRange(settings.heightInches, 2, 200) &&
                       std::isfinite(settings.scalePercent) && settings.scalePercent > 0 &&
                       settings.scalePercent <= 400 && std::isfinite(settings.marginInches) &&
                       settings.marginInches >= 0.25 && std::isfinite(settings.overlapInches) &&
                       settings.overlapInches >= 0 && std::isfinite(chart.width) && std::isfinite(chart.height) &&
                       chart.width > 0 && chart.height > 0;
    if (!valid)
        throw OrganizationError::invalid("Use paper dimensions from 2\u2013200 inches, a positive scale up to 400%, "
                                         "and a margin of at least 0.25 inches.");

    const Size paper = settings.paperSize();
    const double m = settings.marginInches * 72;
    PageGrid grid;
    grid.content = Rect::make(m, m + 36, paper.width - 2 * m, paper.height - 2 * m - 54);
    const double cw = grid.content.size.width;
    const double chh = grid.content.size.height;
    const double o = settings.overlapInches * 72;
    if (!(o + 36 < cw && o + 36 < chh))
        throw OrganizationError::invalid("Margins and overlap leave too little room on the page.");

    const double s = settings.scalePercent / 100;
    grid.columns = std::max(1.0, std::ceil((chart.width * s - o) / (cw - o)));
    grid.rows = std::max(1.0, std::ceil((chart.height * s - o) / (chh - o)));
    return grid;
}

} // namespace

ChartPagination::ChartPagination(Size chart, const ChartPrintSettings &settings_)
    : settings(settings_)
{
    const PageGrid grid = pageGrid(chart, settings);
    contentRect = grid.content;
    const double columnCount = grid.columns;
    const double rowCount = grid.rows;
    if (rowCount * columnCount > maxPages)
        throw OrganizationError::invalid("This would create more than 500 pages. Reduce scale or increase paper size.");
    const double cw = contentRect.size.width;
    const double chh = contentRect.size.height;
    const double o = settings.overlapInches * 72;
    const double s = settings.scalePercent / 100;
    columns = static_cast<int>(columnCount);
    rows = static_cast<int>(rowCount);

    const double tiledWidth = o + columns * (cw - o);
    const double tiledHeight = o + rows * (chh - o);
    chartInset = Size{(tiledWidth - chart.width * s) / (2 * s), (tiledHeight - chart.height * s) / (2 * s)};
    tiles.reserve(static_cast<size_t>(rows * columns));
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            tiles.push_back(ChartPrintTile{
                r + 1, c + 1, Point{(cw - o) * c / s - chartInset.width, (chh - o) * r / s - chartInset.height}});
        }
    }
}

namespace PrintSettingsJson {

nlohmann::json encode(const ChartPrintSettings &s)
{
    return nlohmann::json{{"widthInches", s.widthInches},
                          {"heightInches", s.heightInches},
                          {"landscape", s.landscape},
                          {"scalePercent", s.scalePercent},
                          {"overlapInches", s.overlapInches},
                          {"marginInches", s.marginInches},
                          {"hideNames", s.hideNames},
                          {"showPayLevel", s.showPayLevel},
                          {"showJobTitle", s.showJobTitle},
                          {"combineMatchingTitles", s.combineMatchingTitles},
                          {"pageBalancedLayout", s.pageBalancedLayout}};
}

ChartPrintSettings decode(const nlohmann::json &json)
{
    JsonRead::requireObject(json, "printSettings");
    ChartPrintSettings s;
    auto number = [&](const char *key, double &field) {
        if (auto v = JsonRead::optionalNumber(json, key))
            field = *v;
    };
    auto flag = [&](const char *key, bool &field) {
        if (auto v = JsonRead::optionalBoolean(json, key))
            field = *v;
    };
    number("widthInches", s.widthInches);
    number("heightInches", s.heightInches);
    flag("landscape", s.landscape);
    number("scalePercent", s.scalePercent);
    number("overlapInches", s.overlapInches);
    number("marginInches", s.marginInches);
    flag("hideNames", s.hideNames);
    flag("showPayLevel", s.showPayLevel);
    flag("showJobTitle", s.showJobTitle);
    flag("combineMatchingTitles", s.combineMatchingTitles);
    flag("pageBalancedLayout", s.pageBalancedLayout);
    return s;
}

} // namespace PrintSettingsJson
