#include "core/dotted_ink.h"

#include "core/dotted_routing.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace {

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
};

using CornerKey = std::array<double, 6>;
using ArrowKey = std::array<double, 4>;

struct Collected {
    std::map<Axis, std::vector<Interval>> runs;
    std::map<CornerKey, bool> corners; // key -> highlighted
    std::map<ArrowKey, std::pair<Path, bool>> arrows;
};

void collectRoute(const DottedRoute &route, bool related, Collected &into)
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
                into.runs[axis].push_back({std::min(from, to), std::max(from, to), related});
            current = p;
            break;
        }
        case PathElement::Kind::quadCurveTo: {
            const Point c = element.control;
            const Point e = element.point;
            const CornerKey forward{current.x, current.y, c.x, c.y, e.x, e.y};
            const CornerKey backward{e.x, e.y, c.x, c.y, current.x, current.y};
            // The same corner drawn in either direction is one corner.
            bool &highlighted = into.corners[std::min(forward, backward)];
            highlighted = highlighted || related;
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
    auto [found, inserted] = into.arrows.try_emplace(ArrowKey{tip.x, tip.y, dx / length, dy / length});
    if (inserted)
        found->second = {route.arrowhead(), related};
    else
        found->second.second = found->second.second || related;
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
    for (const Interval &run : runs) {
        ends.push_back({run.lower, 1, run.highlighted ? 1 : 0});
        ends.push_back({run.upper, -1, run.highlighted ? -1 : 0});
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
            pieces.push_back({a, b, lit});
    }
    for (const Interval &piece : pieces)
        strokes.push_back(straightStroke(axis, piece));
}

} // namespace

DottedInk::DottedInk(const std::vector<DottedRoute> &routes, const std::optional<std::string> &selectedID)
{
    Collected collected;
    for (const DottedRoute &route : routes)
        collectRoute(route, route.isRelated(selectedID), collected);

    for (const auto &[axis, runs] : collected.runs)
        appendPieces(axis, runs, strokes);
    for (const auto &[key, highlighted] : collected.corners) {
        DottedStroke corner;
        corner.path.moveTo({key[0], key[1]});
        corner.path.quadCurveTo({key[4], key[5]}, {key[2], key[3]});
        corner.highlighted = highlighted;
        strokes.push_back(std::move(corner));
    }
    for (auto &[key, arrow] : collected.arrows)
        arrows.push_back({std::move(arrow.first), arrow.second, 0});
}
