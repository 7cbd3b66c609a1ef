#pragma once

#include "core/support/geometry.h"
#include "core/support/json_read.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ChartLayout;
struct Organization;

// The three ways a chart shows people.
enum class ChartDisplayMode { people, positions, titleCounts };
inline constexpr ChartDisplayMode allChartDisplayModes[] = {ChartDisplayMode::people, ChartDisplayMode::positions,
                                                            ChartDisplayMode::titleCounts};
const char *chartDisplayModeTitle(ChartDisplayMode mode);
std::optional<ChartDisplayMode> chartDisplayModeFromTitle(std::string_view title);

// How a chart is shown and printed: paper, scale, margins, overlap and the card options.
struct ChartPrintSettings {
    double widthInches = 8.5;
    double heightInches = 11;
    bool landscape = false;
    double scalePercent = 100;
    double overlapInches = 0.25;
    double marginInches = 0.5;
    bool hideNames = false;
    bool showPayLevel = false;
    bool showJobTitle = true;
    bool combineMatchingTitles = true;
    bool pageBalancedLayout = false;

    // Landscape and page-balanced: where chart windows and planning start.
    static ChartPrintSettings departmentDesign();

    // Paper in points, long edge across when landscape.
    Size paperSize() const;

    bool showNames() const { return !hideNames; }
    void setShowNames(bool value);
    bool showPositions() const { return showJobTitle; }
    void setShowPositions(bool value);
    bool collapseToPosition() const { return hideNames && combineMatchingTitles; }
    void setCollapseToPosition(bool value);
    ChartDisplayMode displayMode() const;
    void setDisplayMode(ChartDisplayMode mode);

    // The largest scale in percent (at most 400) at which `chart` fits on one page.
    // Throws OrganizationError for bad paper or a chart without a usable size.
    double fittedPercentage(Size chart) const;

    // The chart's layout with these card options (defined with the layout engine).
    ChartLayout layout(const Organization &organization) const;

    bool operator==(const ChartPrintSettings &) const = default;
};

// One printed page of a tiled chart.
struct ChartPrintTile {
    int row = 1;    // 1-based
    int column = 1; // 1-based
    Point chartOrigin; // chart point, before scaling, at the content rectangle's top-left
    bool operator==(const ChartPrintTile &) const = default;
};

// A laid-out chart cut into a grid of overlapping pages.
struct ChartPagination {
    ChartPrintSettings settings;
    Rect contentRect; // in page points
    int rows = 1;
    int columns = 1;
    std::vector<ChartPrintTile> tiles; // row-major
    Size chartInset;                   // chart points that centre the chart in the tiled area

    // The most pages a chart is cut into.
    static constexpr int maxPages = 500;

    // Throws OrganizationError for bad paper, no printable room, or more than maxPages pages.
    ChartPagination(Size chart, const ChartPrintSettings &settings);
};

namespace PrintSettingsJson {
nlohmann::json encode(const ChartPrintSettings &settings);
// Every key is optional; a missing key takes its default.
ChartPrintSettings decode(const nlohmann::json &json);
} // namespace PrintSettingsJson
