#include "core/chart/chart_layout.h"

#include "core/chart/reporting_callouts.h"
#include "core/model/organization.h"
#include "core/model/print_settings.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <string_view>
#include <unordered_set>
#include <utility>

namespace {

constexpr double gridGap = 32;
constexpr size_t maxColumns = 12;
constexpr double regionGap = 24;     // between the main chart and the region
constexpr double regionHeader = 64;  // title and legend band at the region's top
constexpr double regionInset = 20;   // from the layout's sides, and below the region
constexpr double sharedCardExtra = 36;

// Copies of `positions` whose reporting lines to positions outside the list are cut.
Organization subset(const std::vector<const Position *> &positions)
{
    std::unordered_set<std::string_view> ids;
    ids.reserve(positions.size());
    for (const Position *p : positions)
        ids.insert(p->id);
    Organization result;
    result.positions.reserve(positions.size());
    for (const Position *p : positions) {
        Position copy = *p;
        if (copy.managerID && !ids.contains(*copy.managerID))
            copy.managerID.reset();
        std::erase_if(copy.dottedManagerIDs, [&](const std::string &m) { return !ids.contains(m); });
        result.positions.push_back(std::move(copy));
    }
    return result;
}

Rect drawnBounds(const ChartLayout &layout)
{
    Rect bounds = Rect::null();
    for (const ChartNode &node : layout.nodes)
        bounds = bounds.unionWith(node.frame);
    for (const ChartSegment &s : layout.primarySegments) {
        const Rect line = Rect::make(std::min(s.start.x, s.end.x), std::min(s.start.y, s.end.y),
                                     std::abs(s.end.x - s.start.x), std::abs(s.end.y - s.start.y));
        bounds = bounds.unionWith(line);
    }
    return bounds;
}

ChartSegment shifted(const ChartSegment &s, double dx, double dy)
{
    return {{s.start.x + dx, s.start.y + dy}, {s.end.x + dx, s.end.y + dy}};
}

// Column widths, row heights and the page-fit score of the shared charts in c columns.
struct Grid {
    size_t columns = 1;
    std::vector<double> widths, heights;
    double width = 0, height = 0, score = 0;

    Grid(const std::vector<Rect> &bounds, size_t c, double mainW, double mainH, double ratio) : columns(c)
    {
        const size_t rows = (bounds.size() + c - 1) / c;
        widths.assign(c, 0);
        heights.assign(rows, 0);
        for (size_t k = 0; k < bounds.size(); ++k) {
            widths[k % c] = std::max(widths[k % c], bounds[k].width());
            heights[k / c] = std::max(heights[k / c], bounds[k].height());
        }
        for (double w : widths)
            width += w;
        width += gridGap * static_cast<double>(c - 1);
        for (double h : heights)
            height += h;
        height += gridGap * static_cast<double>(rows - 1);
        const double totalW = std::max(width + 80, mainW);
        const double totalH = mainH + height + 124;
        score = std::max(totalH, totalW / ratio) + totalH * 1e-6;
    }

    Point cell(size_t k) const
    {
        const size_t column = k % columns, row = k / columns;
        double x = gridGap * static_cast<double>(column), y = gridGap * static_cast<double>(row);
        for (size_t j = 0; j < column; ++j)
            x += widths[j];
        for (size_t i = 0; i < row; ++i)
            y += heights[i];
        return {x, y};
    }
};

// The department's chart laid out by `buildMain` (given a validated organization), the shared
// charts by ChartLayout::build.
template <typename BuildMain>
ChartLayout focused(const Organization &organization, std::optional<double> targetAspectRatio, double cardHeight,
                    bool validated, BuildMain buildMain)
{
    using Layout = ChartLayout;
    if (!validated)
        organization.validate();
    std::vector<const Position *> main;
    std::map<std::string, std::vector<const Position *>> groups; // by root id, ascending
    for (const Position &p : organization.positions) {
        if (p.sharedReportRootID)
            groups[*p.sharedReportRootID].push_back(&p);
        else
            main.push_back(&p);
    }
    if (groups.empty())
        return buildMain(organization);

    // Built even when empty, so that bad card heights and ratios are refused alike.
    const ChartLayout mainLayout = buildMain(subset(main));
    const double mainW = main.empty() ? 0 : mainLayout.size.width;
    const double mainH = main.empty() ? 0 : mainLayout.size.height;

    std::vector<ChartLayout> groupLayouts;
    std::vector<Rect> bounds;
    for (const auto &[root, members] : groups) {
        groupLayouts.push_back(Layout::build(subset(members), targetAspectRatio, cardHeight + sharedCardExtra));
        bounds.push_back(drawnBounds(groupLayouts.back()));
    }

    const double ratio = targetAspectRatio.value_or(1.4);
    Grid grid(bounds, 1, mainW, mainH, ratio);
    for (size_t c = 2; c <= std::min(bounds.size(), maxColumns); ++c) {
        Grid candidate(bounds, c, mainW, mainH, ratio);
        if (candidate.score < grid.score)
            grid = std::move(candidate);
    }

    const double W = std::max(grid.width + 80, mainW);
    ChartLayout result;
    const double mainShift = (W - mainW) / 2;
    for (const ChartNode &node : mainLayout.nodes)
        result.nodes.push_back({node.id, node.frame.offsetBy(mainShift, 0)});
    for (const ChartSegment &s : mainLayout.primarySegments)
        result.primarySegments.push_back(shifted(s, mainShift, 0));

    const double y0 = mainH + regionGap;
    for (size_t k = 0; k < groupLayouts.size(); ++k) {
        const Point cell = grid.cell(k);
        const double dx = (W - grid.width) / 2 + cell.x - bounds[k].minX();
        const double dy = y0 + regionHeader + cell.y - bounds[k].minY();
        for (const ChartNode &node : groupLayouts[k].nodes)
            result.nodes.push_back({node.id, node.frame.offsetBy(dx, dy)});
        for (const ChartSegment &s : groupLayouts[k].primarySegments)
            result.primarySegments.push_back(shifted(s, dx, dy));
    }
    std::sort(result.nodes.begin(), result.nodes.end(),
              [](const ChartNode &a, const ChartNode &b) { return a.id < b.id; });

    for (const Position &p : organization.positions) {
        if (p.managerID)
            result.edges.push_back({*p.managerID, p.id, false});
        for (const std::string &dotted : p.dottedManagerIDs)
            result.edges.push_back({dotted, p.id, true});
    }
    result.regions.push_back({Rect::make(regionInset, y0, W - 2 * regionInset, grid.height + 88),
                              "Shared reporting \u2014 additional oversight",
                              "Dashed lines show additional reports. Primary managers are referenced on the cards."});
    result.size = {W, y0 + grid.height + 88 + regionInset};
    return result;
}

// The card height and page ratio of a chart's layout.
std::pair<double, std::optional<double>> layoutArguments(const ChartPrintSettings &settings)
{
    const double cardHeight = settings.showPayLevel ? 132 : 112;
    std::optional<double> ratio;
    if (settings.pageBalancedLayout) {
        ChartPrintSettings page = settings;
        page.scalePercent = 1;
        const Rect content = ChartPagination({1, 1}, page).contentRect;
        ratio = content.width() / content.height();
    }
    return {cardHeight, ratio};
}

} // namespace

ChartLayout ChartLayout::focusedDepartment(const Organization &organization, std::optional<double> targetAspectRatio,
                                           double cardHeight)
{
    return focused(organization, targetAspectRatio, cardHeight, false, [&](const Organization &main) {
        return build(main, targetAspectRatio, cardHeight);
    });
}

ChartLayout ChartPrintSettings::layout(const Organization &organization) const
{
    const auto [cardHeight, ratio] = layoutArguments(*this);
    return ChartLayout::focusedDepartment(organization.withReportingCallouts(), ratio, cardHeight);
}

ChartLayout ChartLayoutMemo::layout(const Organization &organization, const ChartPrintSettings &settings,
                                    bool validated)
{
    // Plain names: a lambda below takes them, which some compilers refuse for bindings.
    const std::pair<double, std::optional<double>> arguments = layoutArguments(settings);
    const double cardHeight = arguments.first;
    const std::optional<double> ratio = arguments.second;
    const bool shared = std::any_of(organization.positions.begin(), organization.positions.end(),
                                    [](const Position &p) { return p.sharedReportRootID.has_value(); });
    if (shared) {
        const Organization withCallouts = organization.withReportingCallouts();
        return focused(withCallouts, ratio, cardHeight, validated, [&](const Organization &main) {
            return build(main, ratio, cardHeight, false, nullptr); // a part, checked on its own as build does
        });
    }
    // Of the callouts the layout needs only which cards have one.
    if (!validated)
        organization.validate();
    const std::vector<bool> callouts = ReportingCallouts::present(organization);
    return build(organization, ratio, cardHeight, true, &callouts);
}
