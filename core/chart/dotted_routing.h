#pragma once

#include "core/chart/chart_layout.h"
#include "core/support/geometry.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

// One routed dotted reporting line: an orthogonal polyline from the report's card to the
// dotted-line manager's card, where the arrow points in.
struct DottedRoute {
    std::string managerID; // the end with the arrow
    std::string reportID;  // the start
    // From a point on the report card's outline to a point on the manager card's outline.
    // Every piece is horizontal or vertical; no three consecutive points share an x or a y.
    std::vector<Point> points;

    // The polyline with corners rounded to 8 points (less between short pieces). Built on
    // every call.
    Path path() const;
    // A closed triangle, 8 long and 8 wide, whose tip is the last point; empty with fewer
    // than two points or when the last two coincide.
    Path arrowhead() const;
    // True when `id` names either end; a missing id relates to nothing.
    bool isRelated(const std::optional<std::string> &id) const
    {
        return id && (*id == managerID || *id == reportID);
    }

    bool operator==(const DottedRoute &) const = default;
};

namespace DottedRouting {

// Routes every dotted edge around the cards, in ascending (reportID, managerID) order, on a
// grid made from the card outlines. Routes of one call remember the ports, grid edges and
// crossings used before them, so later lines avoid them. Solid edges are ignored; an edge
// whose cards are missing, whose cards offer no port, or that has no path gets no route.
// Node ids must be unique. Deterministic to the point.
//
// Cost: the grid is built once per call; each route is then a best-first search whose work
// grows with the grid area between its two cards, as every cheaper-looking detour must be
// ruled out, at some 30-60 ns a state. A line across a 5,000-position chart takes some
// 25 ms; on a 20,000-position chart 20 ms to half a second, all 1,000 lines of its screen
// layout some 2.5 minutes; a line between neighbours takes microseconds. Memory: 24 bytes a
// grid cell up to 16M cells; above, 4 bytes a cell plus some 20 bytes a cell a search
// touches. A line with no path costs a small flood when the manager is walled in, and a
// search of the reachable area once per walled-off part otherwise.
std::vector<DottedRoute> routes(const std::vector<ChartNode> &nodes, const std::vector<ChartEdge> &edges);

// As above, for a caller that may lose interest: returns nothing soon after `stop` is
// requested, so a search on another thread can be abandoned when the chart changes.
std::optional<std::vector<DottedRoute>> routes(const std::vector<ChartNode> &nodes,
                                               const std::vector<ChartEdge> &edges, std::stop_token stop);

// Routing one line at a time, for callers that show lines as they come or keep the lines
// of an earlier call. A route depends only on the nodes and on the lines routed before it,
// so the first k steps of two calls with equal nodes and equal first k edges are equal.

// The dotted edges of `edges`, in the order they are routed.
std::vector<ChartEdge> routingOrder(const std::vector<ChartEdge> &edges);

// One edge routed: its route, if it got one, and the grid cells the route ran through,
// which is what it leaves in the memory that later routes pay for.
struct Step {
    std::optional<DottedRoute> route;
    std::vector<int64_t> cells;
    bool operator==(const Step &) const = default;
};

// Routes ordered[steps.size()] onwards (edges in routingOrder), appending one step per edge
// and calling `routed` after each. `steps` must be the steps of these nodes and of the
// first steps.size() edges: they are replayed into the memory first (cheap next to any
// search). Returns false, leaving the steps done so far, once `stop` is requested.
bool routeOn(const std::vector<ChartNode> &nodes, const std::vector<ChartEdge> &ordered, std::vector<Step> &steps,
             std::stop_token stop = {}, const std::function<void(const std::vector<Step> &)> &routed = {});

// The routes of the steps, in order.
std::vector<DottedRoute> routesOf(const std::vector<Step> &steps);

// Edges routed in this process so far, by any caller; for diagnostics and tests.
uint64_t edgesRouted();
// Search states expanded (taken from the open list while current) in this process so far;
// the measure of a search's work, fixed by the nodes and edges, for the benchmarks.
uint64_t statesExpanded();

} // namespace DottedRouting
