#include "core/chart_layout_engine.h"

#include "core/organization.h"

#include <algorithm>
#include <cmath>
#include <map>
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
            if (column[index]) {
                const double lane = F.minX() - 24;
                appendPolyline(out, {{M.midX(), M.maxY()}, {M.midX(), busY}, {lane, busY}, {lane, F.midY()},
                                     {F.minX(), F.midY()}});
            } else {
                appendPolyline(out, {{M.midX(), M.maxY()}, {M.midX(), busY}, {F.midX(), busY}, {F.midX(), F.minY()}});
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
}

} // namespace

std::vector<ChartSegment> connectors(const Organization &organization, const Tree &tree, const Metrics &metrics,
                                     const Placement &placement)
{
    std::vector<ChartSegment> pieces;
    for (uint32_t i = 0; i < organization.positions.size(); ++i) {
        if (placement.frames[i])
            managerConnectors(pieces, i, tree, metrics, placement);
    }
    return merged(pieces);
}

std::vector<ChartSegment> merged(const std::vector<ChartSegment> &segments)
{
    // Key: (vertical?, coordinate) so that the map order is deterministic.
    std::map<std::pair<bool, double>, std::vector<std::pair<double, double>>> byAxis;
    for (const ChartSegment &s : segments) {
        const bool horizontal = s.start.y == s.end.y;
        const double coordinate = horizontal ? s.start.y : s.start.x;
        const double a = horizontal ? s.start.x : s.start.y;
        const double b = horizontal ? s.end.x : s.end.y;
        byAxis[{!horizontal, coordinate}].push_back({std::min(a, b), std::max(a, b)});
    }
    std::vector<ChartSegment> result;
    for (auto &[axis, intervals] : byAxis) {
        std::stable_sort(intervals.begin(), intervals.end(),
                         [](const auto &x, const auto &y) { return x.first < y.first; });
        const bool horizontal = !axis.first;
        const double c = axis.second;
        auto emit = [&](double lo, double hi) {
            if (horizontal)
                result.push_back({{lo, c}, {hi, c}});
            else
                result.push_back({{c, lo}, {c, hi}});
        };
        double lo = intervals.front().first, hi = intervals.front().second;
        for (size_t i = 1; i < intervals.size(); ++i) {
            if (intervals[i].first <= hi) {
                hi = std::max(hi, intervals[i].second);
                continue;
            }
            emit(lo, hi);
            lo = intervals[i].first;
            hi = intervals[i].second;
        }
        emit(lo, hi);
    }
    std::sort(result.begin(), result.end(), [](const ChartSegment &a, const ChartSegment &b) {
        if (a.start.y != b.start.y)
            return a.start.y < b.start.y;
        if (a.start.x != b.start.x)
            return a.start.x < b.start.x;
        if (a.end.y != b.end.y)
            return a.end.y < b.end.y;
        return a.end.x < b.end.x;
    });
    return result;
}

} // namespace ChartLayoutEngine
