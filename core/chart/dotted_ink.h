#pragma once

#include "core/support/geometry.h"
#include "core/support/spatial_grid.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct DottedRoute;

// One drawable piece of dotted ink: a straight run, a rounded corner or an arrowhead.
struct DottedStroke {
    Path path;
    bool highlighted = false; // belongs to a route related to the selection
    // Phase into DottedInk::dashPattern, in chart points; 0 for corners and arrows.
    double dashPhase = 0;

    bool operator==(const DottedStroke &) const = default;
};

// The dotted lines of a chart as strokes in which every shared straight run and shared
// corner appears once, with dashes aligned to absolute chart coordinates so that collinear
// runs dash in step.
//
// Drawers stroke every path with dashPattern and the stroke's dashPhase, at
// selectedLineWidth when highlighted, else at lineWidth; arrows are filled. Pattern and
// phase are in chart points (a painter whose dashes are in line widths divides by the
// width).
struct DottedInk {
    std::vector<DottedStroke> strokes; // straight runs (horizontal lines by y, then vertical by x), then corners
    std::vector<DottedStroke> arrows;  // one per distinct tip and direction

    static constexpr std::array<double, 2> dashPattern{6, 4}; // drawn, blank
    static constexpr double dashPeriod = dashPattern[0] + dashPattern[1];
    static constexpr double lineWidth = 2.5;
    static constexpr double selectedLineWidth = 3.5;

    DottedInk() = default;
    // Highlights the pieces of routes whose manager or report is `selectedID`; none when
    // absent. Linear in the routes' points plus a sort per line.
    DottedInk(const std::vector<DottedRoute> &routes, const std::optional<std::string> &selectedID);
    // The same ink, given `earlier`, made by the constructor above from the first
    // `earlierCount` of `routes` with the same `selectedID`: only the lines, corners and
    // arrows the later routes touch are merged again, the rest is copied. Lines as they come
    // from the router thus cost what they add, not what is already drawn.
    DottedInk(const DottedInk &earlier, size_t earlierCount, const std::vector<DottedRoute> &routes,
              const std::optional<std::string> &selectedID);

    // The ink of the first `count` of `routes` with `selectedID` highlighted, given `made`:
    // that ink, made by the constructors above with `madeSelection` over the same routes.
    // Only the lines, corners and arrows of routes related to either selection are merged
    // again, the rest is copied: picking another card costs what its lines touch.
    static DottedInk reselected(const DottedInk &made, const std::optional<std::string> &madeSelection, size_t count,
                                const std::vector<DottedRoute> &routes, const std::optional<std::string> &selectedID);

    // The strokes and arrows alone: how they were made plays no part.
    bool operator==(const DottedInk &other) const { return strokes == other.strokes && arrows == other.arrows; }

    // What extending needs of the routes' pieces before merging; empty for ink made by hand.
    struct Sources;

private:
    std::shared_ptr<const Sources> m_sources;
};

// Where an ink's strokes and arrows lie, by their index, so that painting a part of the chart
// visits only what lies there.
struct DottedInkGrids {
    SpatialGrid strokes;
    SpatialGrid arrows;
    explicit DottedInkGrids(const DottedInk &ink);
};
