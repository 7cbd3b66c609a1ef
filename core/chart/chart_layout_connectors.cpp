#include "core/chart/chart_layout_engine.h"

#include "core/model/organization.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

namespace ChartLayoutEngine {

namespace {

// Turns a polyline into segments, leaving out pieces whose two points are equal.
void appendPolyline(std::vector<ChartSegment> &out, std::initializer_list<Point> points)
{
    const Point *previous = nullptr;
    for (const Point &p : points) {
        if (previous && !(*previous == p))
            out.push_back({*previous, p});
        previous = &p;
    }
}

// Regular children of one manager that stand in a column with a sibling: a side entry
// with another side-entry sibling at the same left edge (within 0.001).
std::vector<bool> inColumn(const std::vector<uint32_t> &regular, const Placement &placement)
{
    std::vector<std::pair<double, size_t>> edges;
    for (size_t i = 0; i < regular.size(); ++i) {
        const uint32_t k = regular[i];
        if (placement.sideEntries[k] && placement.frames[k])
            edges.push_back({placement.frames[k]->minX(), i});
    }
    std::sort(edges.begin(), edges.end());
    std::vector<bool> result(regular.size(), false);
    // After sorting, the closest other edge of any entry is one of its neighbours.
    for (size_t j = 0; j < edges.size(); ++j) {
        const bool nearPrevious = j > 0 && std::abs(edges[j].first - edges[j - 1].first) < 0.001;
        const bool nearNext = j + 1 < edges.size() && std::abs(edges[j + 1].first - edges[j].first) < 0.001;
        result[edges[j].second] = nearPrevious || nearNext;
    }
    return result;
}

void managerConnectors(std::vector<ChartSegment> &out, uint32_t manager, const Tree &tree, const Metrics &m,
                       const Placement &placement)
{
    const Rect &M = *placement.frames[manager];
    const auto &routes = placement.regularRoutes[manager];
    if (routes)
        out.insert(out.end(), routes->begin(), routes->end());

    std::vector<uint32_t> regular;
    size_t leftAssistants = 0, rightAssistants = 0;
    for (uint32_t k : tree.children[manager]) {
        if (!tree.isAssistant[k]) {
            regular.push_back(k);
            continue;
        }
        const bool left = placement.frames[k] && placement.frames[k]->midX() < M.midX();
        ++(left ? leftAssistants : rightAssistants);
    }

    double top = M.maxY();
    bool anyRegularFrame = false;
    for (uint32_t k : regular) {
        if (!placement.frames[k])
            continue;
        top = anyRegularFrame ? std::min(top, placement.frames[k]->minY()) : placement.frames[k]->minY();
        anyRegularFrame = true;
    }
    const double busY = top - m.levelGap / 2;
    const std::vector<bool> column = routes ? std::vector<bool>() : inColumn(regular, placement);

    // The drop out of the manager is the same for every regular report: add it once. The
    // pieces along the bus all start at the drop, and those down one lane all start at the
    // bus, so each set is added as the one piece the merge would make of it.
    if (!routes && anyRegularFrame)
        appendPolyline(out, {{M.midX(), M.maxY()}, {M.midX(), busY}});
    double busStart = M.midX(), busEnd = M.midX();
    struct Lane {
        double x, end;
    };
    std::vector<Lane> lanes;

    size_t regularIndex = 0;
    for (uint32_t k : tree.children[manager]) {
        const bool assistant = tree.isAssistant[k];
        const size_t index = assistant ? 0 : regularIndex++;
        if (!placement.frames[k])
            continue;
        const Rect &F = *placement.frames[k];
        if (!assistant) {
            if (routes)
                continue;
            const double x = column[index] ? F.minX() - 24 : F.midX();
            busStart = std::min(busStart, x);
            busEnd = std::max(busEnd, x);
            if (column[index]) {
                auto lane = std::find_if(lanes.begin(), lanes.end(), [&](const Lane &l) { return l.x == x; });
                if (lane == lanes.end())
                    lanes.push_back({x, F.midY()});
                else
                    lane->end = std::max(lane->end, F.midY());
                appendPolyline(out, {{x, F.midY()}, {F.minX(), F.midY()}});
            } else {
                appendPolyline(out, {{x, busY}, {x, F.minY()}});
            }
            continue;
        }
        const bool left = F.midX() < M.midX();
        const double sideX = left ? M.minX() : M.maxX();
        const double trunkX = left ? M.minX() - m.spacing / 2 : M.maxX() + m.spacing / 2;
        if ((left ? leftAssistants : rightAssistants) == 1) {
            appendPolyline(out, {{sideX, M.midY()}, {trunkX, M.midY()}, {trunkX, F.midY()},
                                 {left ? F.maxX() : F.minX(), F.midY()}});
        } else {
            const double above = F.minY() - m.spacing / 2;
            appendPolyline(out, {{sideX, M.midY()}, {trunkX, M.midY()}, {trunkX, above}, {F.midX(), above},
                                 {F.midX(), F.minY()}});
        }
    }
    appendPolyline(out, {{busStart, busY}, {busEnd, busY}});
    for (const Lane &lane : lanes)
        appendPolyline(out, {{lane.x, busY}, {lane.x, lane.end}});
}

} // namespace

std::vector<ChartSegment> connectors(const Organization &organization, const Tree &tree, const Metrics &metrics,
                                     const Placement &placement)
{
    std::vector<ChartSegment> pieces;
    for (uint32_t i = 0; i < organization.positions.size(); ++i) {
        const bool connects = !tree.children[i].empty() || placement.regularRoutes[i];
        if (placement.frames[i] && connects)
            managerConnectors(pieces, i, tree, metrics, placement);
    }
    return merged(pieces);
}

std::vector<ChartSegment> merged(const std::vector<ChartSegment> &segments)
{
    struct Piece {
        bool vertical;
        double coordinate, lo, hi;
    };
    std::vector<Piece> pieces;
    pieces.reserve(segments.size());
    for (const ChartSegment &s : segments) {
        const bool horizontal = s.start.y == s.end.y;
        const double a = horizontal ? s.start.x : s.start.y;
        const double b = horizontal ? s.end.x : s.end.y;
        pieces.push_back({!horizontal, horizontal ? s.start.y : s.start.x, std::min(a, b), std::max(a, b)});
    }
    // Sorting by line and then by start gathers each line's pieces in merge order.
    std::sort(pieces.begin(), pieces.end(), [](const Piece &x, const Piece &y) {
        if (x.vertical != y.vertical)
            return y.vertical;
        if (x.coordinate != y.coordinate)
            return x.coordinate < y.coordinate;
        if (x.lo != y.lo)
            return x.lo < y.lo;
        return x.hi < y.hi;
    });
    // Horizontal segments come out in their final order already; only vertical ones need
    // sorting before the two are merged.
    std::vector<ChartSegment> horizontal, vertical;
    auto emit = [&](const Piece &line, double lo, double hi) {
        const double c = line.coordinate;
        if (line.vertical)
            vertical.push_back({{c, lo}, {c, hi}});
        else
            horizontal.push_back({{lo, c}, {hi, c}});
    };
    for (size_t i = 0; i < pieces.size();) {
        const Piece &line = pieces[i];
        double lo = line.lo, hi = line.hi;
        size_t j = i + 1;
        for (; j < pieces.size() && pieces[j].vertical == line.vertical && pieces[j].coordinate == line.coordinate;
             ++j) {
            if (pieces[j].lo <= hi) {
                hi = std::max(hi, pieces[j].hi);
                continue;
            }
            emit(line, lo, hi);
            lo = pieces[j].lo;
            hi = pieces[j].hi;
        }
        emit(line, lo, hi);
        i = j;
    }
    const auto before = [](const ChartSegment &a, const ChartSegment &b) {
        if (a.start.y != b.start.y)
            return a.start.y < b.start.y;
        if (a.start.x != b.start.x)
            return a.start.x < b.start.x;
        if (a.end.y != b.end.y)
            return a.end.y < b.end.y;
        return a.end.x < b.end.x;
    };
    std::sort(vertical.begin(), vertical.end(), before);
    std::vector<ChartSegment> result;
    result.reserve(horizontal.size() + vertical.size());
    std::merge(horizontal.begin(), horizontal.end(), vertical.begin(), vertical.end(), std::back_inserter(result),
               before);
    return result;
}

} // namespace ChartLayoutEngine
