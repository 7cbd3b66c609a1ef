#pragma once

#include "core/support/geometry.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct Organization;
struct ChartPrintSettings;
namespace ChartLayoutEngine {
class PlacementMemo;
}

// One card of a laid-out chart: the position's id and its rectangle in chart points.
struct ChartNode {
    std::string id;
    Rect frame;
    bool operator==(const ChartNode &) const = default;
};

// One reporting line: solid for the primary manager, dotted for an additional one.
struct ChartEdge {
    std::string managerID;
    std::string reportID;
    bool dotted = false;
    bool operator==(const ChartEdge &) const = default;
};

// A straight piece of a solid connector; always horizontal or vertical.
struct ChartSegment {
    Point start;
    Point end;
    bool operator==(const ChartSegment &) const = default;
};

// A titled box drawn behind part of a chart.
struct ChartRegion {
    Rect frame;
    std::string title;
    std::string subtitle;
    bool operator==(const ChartRegion &) const = default;
};

// A chart laid out in chart points: origin top left, y downwards, 40 points of margin.
struct ChartLayout {
    std::vector<ChartNode> nodes;              // sorted by id
    std::vector<ChartEdge> edges;              // every reporting line, whether drawn or not
    std::vector<ChartSegment> primarySegments; // solid connectors, merged and sorted
    Size size{320, 240};                       // never smaller than 320 x 240
    std::vector<ChartRegion> regions;

    // The cards plus one obstacle over each region's title band, for the dotted-line router.
    std::vector<ChartNode> routingNodes() const;

    // Lays out a validated organization; `targetAspectRatio` (page width / height) selects
    // the page-balanced mode, none the screen mode. Throws what validate() throws, or
    // OrganizationError for a card height below 112 or a ratio that is not positive.
    // Near-linear: a 20,000-position district takes about 60 ms on screen and about 110 ms
    // page-balanced (5,000 positions: about 25 ms). Deep chains use no native recursion.
    static ChartLayout build(const Organization &organization, std::optional<double> targetAspectRatio,
                             double cardHeight);

    // As build, but positions carrying a sharedReportRootID are laid out as small charts
    // in a titled region below the department's own chart. Without such positions the
    // result is exactly build's.
    static ChartLayout focusedDepartment(const Organization &organization, std::optional<double> targetAspectRatio,
                                         double cardHeight);

    bool operator==(const ChartLayout &) const = default;
};

// Lays out the charts of one view as ChartLayout does, keeping the arrangement of every
// subtree for the next call: a chart that differs from the last one in a few cards is
// planned again only along the paths from those cards to the top, with the very same
// result. For one thread at a time.
class ChartLayoutMemo {
public:
    ChartLayoutMemo();
    ChartLayoutMemo(const ChartLayoutMemo &) = delete;
    ChartLayoutMemo &operator=(const ChartLayoutMemo &) = delete;
    // A memo filled on one thread goes on on another; the one moved from is used no more.
    ChartLayoutMemo(ChartLayoutMemo &&) noexcept;
    ChartLayoutMemo &operator=(ChartLayoutMemo &&) noexcept;
    ~ChartLayoutMemo();

    // settings.layout(organization); `validated` when the caller has just validated it.
    ChartLayout layout(const Organization &organization, const ChartPrintSettings &settings, bool validated = false);
    // ChartLayout::build.
    ChartLayout build(const Organization &organization, std::optional<double> targetAspectRatio, double cardHeight);

private:
    // `callouts`, by position, says which cards carry one; without it the positions say.
    ChartLayout build(const Organization &organization, std::optional<double> targetAspectRatio, double cardHeight,
                      bool validated, const std::vector<bool> *callouts);

    std::unique_ptr<ChartLayoutEngine::PlacementMemo> m_placement;
};
