#include "core/chart/dotted_ink.h"

#include "core/chart/dotted_routing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <utility>

// The routes' pieces before merging, kept with the ink so that more routes can be added.
struct DottedInk::Sources {
    // A horizontal line (by its y) or a vertical one (by its x). Horizontal lines order first.
    struct Axis {
        bool vertical = false;
        double coordinate = 0;
        auto operator<=>(const Axis &) const = default;
    };
    struct Interval {
        double lower = 0;
        double upper = 0;
        bool highlighted = false;
        uint32_t route = 0; // of a run: the route it belongs to
    };
    struct Run {
        Axis axis;
        Interval interval;
    };
    using CornerKey = std::array<double, 6>;
    using ArrowKey = std::array<double, 4>;
    struct Corner {
        CornerKey key;
        bool highlighted;
    };
    struct Arrow {
        ArrowKey key;
        bool highlighted;
        size_t route; // the first route with this tip and direction
    };
    // The runs of one line, and where its pieces are among the strokes.
    struct Line {
        std::shared_ptr<const std::vector<Interval>> runs;
        size_t first = 0;
        size_t count = 0;
    };

    std::map<Axis, Line> lines;
    std::vector<Corner> corners; // by key, one per key
    std::vector<Arrow> arrows;   // by key, one per key
};

namespace {

using Axis = DottedInk::Sources::Axis;
using Interval = DottedInk::Sources::Interval;
using Run = DottedInk::Sources::Run;
using CornerKey = DottedInk::Sources::CornerKey;
using ArrowKey = DottedInk::Sources::ArrowKey;
using Corner = DottedInk::Sources::Corner;
using Arrow = DottedInk::Sources::Arrow;

// Everything the routes draw, sorted and merged afterwards: one sort is much cheaper than a
// tree insertion per piece when long routes bring tens of thousands of pieces.
struct Collected {
    std::vector<Run> runs;
    std::vector<Corner> corners;
    std::vector<Arrow> arrows;
};

void collectRoute(const DottedRoute &route, size_t index, bool related, Collected &into)
{
    Point current;
    for (const PathElement &element : route.path().elements) {
        switch (element.kind) {
        case PathElement::Kind::moveTo:
            current = element.point;
            break;
        case PathElement::Kind::lineTo: {
            const Point p = element.point;
            const bool horizontal = current.y == p.y;
            const Axis axis = horizontal ? Axis{false, p.y} : Axis{true, current.x};
            const double from = horizontal ? current.x : current.y;
            const double to = horizontal ? p.x : p.y;
            if (from != to)
                into.runs.push_back({axis, {std::min(from, to), std::max(from, to), related, uint32_t(index)}});
            current = p;
            break;
        }
        case PathElement::Kind::quadCurveTo: {
            const Point c = element.control;
            const Point e = element.point;
            const CornerKey forward{current.x, current.y, c.x, c.y, e.x, e.y};
            const CornerKey backward{e.x, e.y, c.x, c.y, current.x, current.y};
            // The same corner drawn in either direction is one corner.
            into.corners.push_back({std::min(forward, backward), related});
            current = e;
            break;
        }
        case PathElement::Kind::closeSubpath:
            break;
        }
    }

    if (route.points.size() < 2)
        return;
    const Point tip = route.points.back();
    const Point before = route.points[route.points.size() - 2];
    const double dx = tip.x - before.x;
    const double dy = tip.y - before.y;
    const double length = std::hypot(dx, dy);
    if (!(length > 0))
        return;
    into.arrows.push_back({ArrowKey{tip.x, tip.y, dx / length, dy / length}, related, index});
}

// Sorts by key and keeps one item per key, highlighted when any of its copies is.
template <typename Item>
void mergeByKey(std::vector<Item> &items)
{
    std::stable_sort(items.begin(), items.end(), [](const Item &a, const Item &b) { return a.key < b.key; });
    size_t kept = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        if (kept > 0 && items[kept - 1].key == items[i].key)
            items[kept - 1].highlighted = items[kept - 1].highlighted || items[i].highlighted;
        else
            items[kept++] = items[i];
    }
    items.resize(kept);
}

DottedStroke straightStroke(const Axis &axis, const Interval &piece)
{
    DottedStroke stroke;
    if (axis.vertical) {
        stroke.path.moveTo({axis.coordinate, piece.lower});
        stroke.path.lineTo({axis.coordinate, piece.upper});
    } else {
        stroke.path.moveTo({piece.lower, axis.coordinate});
        stroke.path.lineTo({piece.upper, axis.coordinate});
    }
    stroke.highlighted = piece.highlighted;
    // Phase from the absolute coordinate, so collinear runs dash in step.
    stroke.dashPhase = std::fmod(piece.lower, DottedInk::dashPeriod);
    return stroke;
}

// Merges the runs on one line into pieces: overlapping or touching runs with the same
// highlight become one piece, a gap or a change of highlight starts a new one. A sweep over
// the sorted ends, counting the runs open between two consecutive ends.
void appendPieces(const Axis &axis, const std::vector<Interval> &runs, std::vector<DottedStroke> &strokes)
{
    struct End {
        double at;
        int open;        // +1 where a run starts, -1 where it ends
        int highlighted; // the same for related runs only
    };
    std::vector<End> ends;
    ends.reserve(runs.size() * 2);
    for (const Interval &i : runs) {
        ends.push_back({i.lower, 1, i.highlighted ? 1 : 0});
        ends.push_back({i.upper, -1, i.highlighted ? -1 : 0});
    }
    std::sort(ends.begin(), ends.end(), [](const End &a, const End &b) { return a.at < b.at; });

    std::vector<Interval> pieces;
    int open = 0;
    int highlighted = 0;
    for (size_t i = 0; i < ends.size();) {
        const double a = ends[i].at;
        for (; i < ends.size() && ends[i].at == a; ++i) {
            open += ends[i].open;
            highlighted += ends[i].highlighted;
        }
        if (i == ends.size() || open == 0)
            continue;
        const double b = ends[i].at;
        const bool lit = highlighted > 0;
        if (!pieces.empty() && pieces.back().upper == a && pieces.back().highlighted == lit)
            pieces.back().upper = b;
        else
            pieces.push_back({a, b, lit, 0});
    }
    for (const Interval &piece : pieces)
        strokes.push_back(straightStroke(axis, piece));
}

// The runs of `collected` in groups of one line each, by line.
template <typename Each>
void forEachLine(std::vector<Run> &runs, const Each &each)
{
    std::sort(runs.begin(), runs.end(), [](const Run &a, const Run &b) { return a.axis < b.axis; });
    for (auto first = runs.begin(); first != runs.end();) {
        const auto last = std::find_if(first, runs.end(), [&](const Run &r) { return r.axis != first->axis; });
        std::vector<Interval> intervals;
        intervals.reserve(static_cast<size_t>(last - first));
        for (auto run = first; run != last; ++run)
            intervals.push_back(run->interval);
        each(first->axis, std::move(intervals));
        first = last;
    }
}

DottedStroke cornerStroke(const Corner &c)
{
    DottedStroke corner;
    corner.path.moveTo({c.key[0], c.key[1]});
    corner.path.quadCurveTo({c.key[4], c.key[5]}, {c.key[2], c.key[3]});
    corner.highlighted = c.highlighted;
    return corner;
}

// `kept` with `added` after it, merged as mergeByKey does: of equal keys the kept item stays,
// highlighted when either is.
template <typename Item>
std::vector<Item> mergedAfter(const std::vector<Item> &kept, const std::vector<Item> &added)
{
    std::vector<Item> merged;
    merged.reserve(kept.size() + added.size());
    merged.insert(merged.end(), kept.begin(), kept.end());
    merged.insert(merged.end(), added.begin(), added.end());
    mergeByKey(merged);
    return merged;
}

} // namespace

DottedInk::DottedInk(const std::vector<DottedRoute> &routes, const std::optional<std::string> &selectedID)
{
    Collected collected;
    for (size_t i = 0; i < routes.size(); ++i)
        collectRoute(routes[i], i, routes[i].isRelated(selectedID), collected);

    auto sources = std::make_shared<Sources>();
    forEachLine(collected.runs, [&](const Axis &axis, std::vector<Interval> runs) {
        const size_t first = strokes.size();
        appendPieces(axis, runs, strokes);
        sources->lines.emplace_hint(sources->lines.end(), axis,
                                    Sources::Line{std::make_shared<const std::vector<Interval>>(std::move(runs)),
                                                  first, strokes.size() - first});
    });

    mergeByKey(collected.corners);
    for (const Corner &c : collected.corners)
        strokes.push_back(cornerStroke(c));

    // Equal keys mean the same tip and direction, hence the same triangle.
    mergeByKey(collected.arrows);
    for (const Arrow &a : collected.arrows)
        arrows.push_back({routes[a.route].arrowhead(), a.highlighted, 0});

    sources->corners = std::move(collected.corners);
    sources->arrows = std::move(collected.arrows);
    m_sources = std::move(sources);
}

DottedInk::DottedInk(const DottedInk &earlier, size_t earlierCount, const std::vector<DottedRoute> &routes,
                     const std::optional<std::string> &selectedID)
{
    if (!earlier.m_sources || earlierCount > routes.size()) {
        *this = DottedInk(routes, selectedID);
        return;
    }
    if (earlierCount == routes.size()) {
        *this = earlier;
        return;
    }
    const Sources &before = *earlier.m_sources;
    Collected collected;
    for (size_t i = earlierCount; i < routes.size(); ++i)
        collectRoute(routes[i], i, routes[i].isRelated(selectedID), collected);

    // The lines the new routes run on, merged again with their earlier runs.
    std::map<Axis, std::vector<DottedStroke>> changed;
    auto sources = std::make_shared<Sources>();
    sources->lines = before.lines;
    forEachLine(collected.runs, [&](const Axis &axis, std::vector<Interval> runs) {
        Sources::Line &line = sources->lines[axis];
        if (line.runs)
            runs.insert(runs.begin(), line.runs->begin(), line.runs->end());
        appendPieces(axis, runs, changed[axis]);
        line.runs = std::make_shared<const std::vector<Interval>>(std::move(runs));
    });
    strokes.reserve(earlier.strokes.size() + collected.runs.size() + collected.corners.size());
    for (auto &[axis, line] : sources->lines) {
        const size_t first = strokes.size();
        if (const auto pieces = changed.find(axis); pieces != changed.end()) {
            strokes.insert(strokes.end(), std::make_move_iterator(pieces->second.begin()),
                           std::make_move_iterator(pieces->second.end()));
        } else {
            const auto from = earlier.strokes.begin() + static_cast<ptrdiff_t>(line.first);
            strokes.insert(strokes.end(), from, from + static_cast<ptrdiff_t>(line.count));
        }
        line.first = first;
        line.count = strokes.size() - first;
    }

    sources->corners = mergedAfter(before.corners, collected.corners);
    for (const Corner &c : sources->corners)
        strokes.push_back(cornerStroke(c));

    sources->arrows = mergedAfter(before.arrows, collected.arrows);
    arrows.reserve(sources->arrows.size());
    for (const Arrow &a : sources->arrows)
        arrows.push_back({routes[a.route].arrowhead(), a.highlighted, 0});
    m_sources = std::move(sources);
}

namespace {

// The flag of each item of `items` (sorted by key, one per key) whose key `changed` holds
// (merged as mergeByKey does) set to the flag there.
template <typename Item>
void setHighlights(std::vector<Item> &items, std::vector<Item> changed)
{
    mergeByKey(changed);
    auto at = items.begin();
    for (const Item &item : changed) {
        at = std::lower_bound(at, items.end(), item.key, [](const Item &a, const auto &key) { return a.key < key; });
        if (at != items.end() && at->key == item.key)
            at->highlighted = item.highlighted;
    }
}

} // namespace

DottedInk DottedInk::reselected(const DottedInk &made, const std::optional<std::string> &madeSelection, size_t count,
                                const std::vector<DottedRoute> &routes, const std::optional<std::string> &selectedID)
{
    if (!made.m_sources || count > routes.size())
        return DottedInk(std::vector<DottedRoute>(routes.begin(), routes.begin() + ptrdiff_t(std::min(count, routes.size()))),
                         selectedID);
    if (madeSelection == selectedID)
        return made;
    // Only pieces of routes related to either selection can be lit otherwise; every copy of
    // such a piece lit in the new ink belongs to one of them.
    Collected collected;
    for (size_t i = 0; i < count; ++i) {
        if (routes[i].isRelated(madeSelection) || routes[i].isRelated(selectedID))
            collectRoute(routes[i], i, routes[i].isRelated(selectedID), collected);
    }
    const Sources &before = *made.m_sources;
    auto sources = std::make_shared<Sources>();
    sources->lines = before.lines;
    std::map<Axis, std::vector<DottedStroke>> changed;
    forEachLine(collected.runs, [&](const Axis &axis, const std::vector<Interval> &) {
        const auto found = sources->lines.find(axis);
        if (found == sources->lines.end() || !found->second.runs)
            return;
        Sources::Line &line = found->second;
        std::vector<Interval> runs = *line.runs;
        for (Interval &run : runs)
            run.highlighted = routes[run.route].isRelated(selectedID);
        appendPieces(axis, runs, changed[axis]);
        line.runs = std::make_shared<const std::vector<Interval>>(std::move(runs));
    });

    DottedInk ink;
    ink.strokes.reserve(made.strokes.size() + collected.runs.size());
    for (auto &[axis, line] : sources->lines) {
        const size_t first = ink.strokes.size();
        if (const auto pieces = changed.find(axis); pieces != changed.end()) {
            ink.strokes.insert(ink.strokes.end(), std::make_move_iterator(pieces->second.begin()),
                               std::make_move_iterator(pieces->second.end()));
        } else {
            const auto from = made.strokes.begin() + static_cast<ptrdiff_t>(line.first);
            ink.strokes.insert(ink.strokes.end(), from, from + static_cast<ptrdiff_t>(line.count));
        }
        line.first = first;
        line.count = ink.strokes.size() - first;
    }

    // Corners and arrows keep their keys, hence their places: only flags change.
    sources->corners = before.corners;
    setHighlights(sources->corners, std::move(collected.corners));
    const size_t firstCorner = made.strokes.size() - before.corners.size();
    ink.strokes.insert(ink.strokes.end(), made.strokes.begin() + ptrdiff_t(firstCorner), made.strokes.end());
    for (size_t c = 0; c < sources->corners.size(); ++c)
        ink.strokes[ink.strokes.size() - sources->corners.size() + c].highlighted = sources->corners[c].highlighted;

    sources->arrows = before.arrows;
    setHighlights(sources->arrows, std::move(collected.arrows));
    ink.arrows = made.arrows;
    for (size_t a = 0; a < sources->arrows.size(); ++a)
        ink.arrows[a].highlighted = sources->arrows[a].highlighted;
    ink.m_sources = std::move(sources);
    return ink;
}

namespace {

std::vector<Rect> boundsOf(const std::vector<DottedStroke> &strokes)
{
    std::vector<Rect> bounds;
    bounds.reserve(strokes.size());
    for (const DottedStroke &stroke : strokes)
        bounds.push_back(stroke.path.controlBounds());
    return bounds;
}

} // namespace

DottedInkGrids::DottedInkGrids(const DottedInk &ink) : strokes(boundsOf(ink.strokes)), arrows(boundsOf(ink.arrows))
{
}
