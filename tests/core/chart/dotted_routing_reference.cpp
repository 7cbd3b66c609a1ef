#include "dotted_routing_reference.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace ReferenceRouting {

namespace {

struct Item {
    int64_t state;
    double cost;
    double priority;
};

bool orderedBefore(const Item &a, const Item &b)
{
    if (a.priority != b.priority)
        return a.priority < b.priority;
    return a.state < b.state;
}

struct RouteHeap {
    std::vector<Item> items;

    void push(Item item)
    {
        items.push_back(item);
        size_t i = items.size() - 1;
        while (i > 0) {
            const size_t parent = (i - 1) / 2;
            if (!orderedBefore(items[i], items[parent]))
                break;
            std::swap(items[i], items[parent]);
            i = parent;
        }
    }

    std::optional<Item> pop()
    {
        if (items.empty())
            return std::nullopt;
        const Item root = items.front();
        const Item last = items.back();
        items.pop_back();
        if (!items.empty()) {
            items[0] = last;
            size_t i = 0;
            while (true) {
                const size_t left = 2 * i + 1;
                const size_t right = left + 1;
                if (left >= items.size())
                    break;
                size_t picked = left;
                if (right < items.size() && orderedBefore(items[right], items[left]))
                    picked = right;
                if (!orderedBefore(items[picked], items[i]))
                    break;
                std::swap(items[picked], items[i]);
                i = picked;
            }
        }
        return root;
    }
};

struct Port {
    Point boundary;
    int64_t node;
};

std::string segmentKey(int64_t a, int64_t b)
{
    return std::to_string(std::min(a, b)) + ":" + std::to_string(std::max(a, b));
}

std::vector<double> uniqueSorted(std::vector<double> values)
{
    std::vector<double> result;
    for (double v : values) {
        if (std::find(result.begin(), result.end(), v) == result.end())
            result.push_back(v);
    }
    std::sort(result.begin(), result.end());
    return result;
}

std::optional<int64_t> indexOf(const std::vector<double> &values, double value)
{
    for (size_t i = 0; i < values.size(); ++i) {
        if (values[i] == value)
            return static_cast<int64_t>(i);
    }
    return std::nullopt;
}

Rect enlarged(const Rect &frame)
{
    return Rect::make(frame.origin.x - 14, frame.origin.y - 14, frame.size.width + 28, frame.size.height + 28);
}

} // namespace

std::vector<DottedRoute> routes(const std::vector<ChartNode> &nodes, const std::vector<ChartEdge> &edges)
{
    std::vector<ChartEdge> dotted;
    for (const ChartEdge &edge : edges) {
        if (edge.dotted)
            dotted.push_back(edge);
    }
    std::sort(dotted.begin(), dotted.end(), [](const ChartEdge &a, const ChartEdge &b) {
        if (a.reportID != b.reportID)
            return a.reportID < b.reportID;
        return a.managerID < b.managerID;
    });
    if (dotted.empty())
        return {};

    std::unordered_map<std::string, Rect> frames;
    for (const ChartNode &node : nodes)
        frames[node.id] = node.frame;
    std::vector<Rect> obstacles;
    for (const ChartNode &node : nodes)
        obstacles.push_back(enlarged(node.frame));
    const bool dense = nodes.size() < 151;

    std::vector<double> xsRaw;
    std::vector<double> ysRaw;
    for (const Rect &o : obstacles) {
        if (dense) {
            for (double x : {o.minX() - 6, o.minX(), o.midX() - 12, o.midX(), o.midX() + 12, o.maxX(), o.maxX() + 6})
                xsRaw.push_back(x);
            for (double y : {o.minY() - 6, o.minY(), o.midY() - 12, o.midY(), o.midY() + 12, o.maxY(), o.maxY() + 6})
                ysRaw.push_back(y);
        } else {
            for (double x : {o.minX(), o.midX(), o.maxX()})
                xsRaw.push_back(x);
            for (double y : {o.minY(), o.midY(), o.maxY()})
                ysRaw.push_back(y);
        }
    }
    const std::vector<double> xs = uniqueSorted(xsRaw);
    const std::vector<double> ys = uniqueSorted(ysRaw);
    const int64_t width = static_cast<int64_t>(xs.size());
    const int64_t height = static_cast<int64_t>(ys.size());
    const auto gridPoint = [&](int64_t cell) { return Point{xs[cell % width], ys[cell / width]}; };

    // Grid edges as (smaller cell, larger cell) pairs, packed into one number.
    std::unordered_set<int64_t> blocked;
    const int64_t cells = width * height;
    const auto edgeKey = [&](int64_t a, int64_t b) { return a * cells + b; };
    for (const Rect &o : obstacles) {
        const int64_t i0 = *indexOf(xs, o.minX());
        const int64_t i1 = *indexOf(xs, o.maxX());
        const int64_t j0 = *indexOf(ys, o.minY());
        const int64_t j1 = *indexOf(ys, o.maxY());
        for (int64_t r = j0 + 1; r < j1; ++r) {
            for (int64_t c = i0; c < i1; ++c)
                blocked.insert(edgeKey(r * width + c, r * width + c + 1));
        }
        for (int64_t c = i0 + 1; c < i1; ++c) {
            for (int64_t r = j0; r < j1; ++r)
                blocked.insert(edgeKey(r * width + c, (r + 1) * width + c));
        }
    }

    const auto portsOf = [&](const Rect &frame) {
        const Rect ring = enlarged(frame);
        std::vector<Port> ports;
        const std::vector<double> offsets = dense ? std::vector<double>{0, -12, 12} : std::vector<double>{0};
        for (double d : offsets) {
            const std::pair<Point, Point> candidates[] = {
                {{frame.midX() + d, frame.minY()}, {ring.midX() + d, ring.minY()}},
                {{frame.maxX(), frame.midY() + d}, {ring.maxX(), ring.midY() + d}},
                {{frame.midX() + d, frame.maxY()}, {ring.midX() + d, ring.maxY()}},
                {{frame.minX(), frame.midY() + d}, {ring.minX(), ring.midY() + d}},
            };
            for (const auto &[boundary, at] : candidates) {
                bool inside = false;
                for (const Rect &o : obstacles) {
                    if (o.minX() < at.x && at.x < o.maxX() && o.minY() < at.y && at.y < o.maxY())
                        inside = true;
                }
                const std::optional<int64_t> c = indexOf(xs, at.x);
                const std::optional<int64_t> r = indexOf(ys, at.y);
                if (inside || !c || !r)
                    continue;
                ports.push_back({boundary, *r * width + *c});
            }
        }
        return ports;
    };

    std::unordered_set<int64_t> usedPorts;
    std::unordered_map<std::string, int> segmentUses;
    std::unordered_map<int64_t, std::set<int>> axesPerCell;

    std::vector<DottedRoute> result;
    for (const ChartEdge &edge : dotted) {
        if (!frames.contains(edge.reportID) || !frames.contains(edge.managerID))
            continue;
        const std::vector<Port> starts = portsOf(frames[edge.reportID]);
        const std::vector<Port> goals = portsOf(frames[edge.managerID]);
        if (starts.empty() || goals.empty())
            continue;
        std::set<int64_t> goalCells;
        for (const Port &g : goals)
            goalCells.insert(g.node);
        const auto estimate = [&](int64_t cell) {
            const Point p = gridPoint(cell);
            double best = std::numeric_limits<double>::infinity();
            for (const Port &g : goals) {
                const Point q = gridPoint(g.node);
                best = std::min(best, std::abs(p.x - q.x) + std::abs(p.y - q.y));
            }
            return best;
        };

        std::unordered_map<int64_t, double> bestCost;
        std::unordered_map<int64_t, int64_t> parent;
        RouteHeap heap;
        for (const Port &start : starts) {
            const double cost = usedPorts.contains(start.node) ? 100 : 0;
            bestCost[start.node * 3] = cost;
            heap.push({start.node * 3, cost, cost + estimate(start.node)});
        }
        std::optional<int64_t> goalState;
        while (const std::optional<Item> item = heap.pop()) {
            const auto known = bestCost.find(item->state);
            if (known == bestCost.end() || known->second != item->cost)
                continue;
            const int64_t cell = item->state / 3;
            const int64_t direction = item->state % 3;
            if (goalCells.contains(cell)) {
                goalState = item->state;
                break;
            }
            const int64_t column = cell % width;
            const int64_t row = cell / width;
            std::vector<std::pair<int64_t, int>> neighbours;
            if (column + 1 < width && !blocked.contains(edgeKey(cell, cell + 1)))
                neighbours.push_back({cell + 1, 1});
            if (column >= 1 && !blocked.contains(edgeKey(cell - 1, cell)))
                neighbours.push_back({cell - 1, 1});
            if (row + 1 < height && !blocked.contains(edgeKey(cell, cell + width)))
                neighbours.push_back({cell + width, 2});
            if (row >= 1 && !blocked.contains(edgeKey(cell - width, cell)))
                neighbours.push_back({cell - width, 2});
            for (const auto &[next, axis] : neighbours) {
                const Point a = gridPoint(cell);
                const Point b = gridPoint(next);
                const double length = std::abs(b.x - a.x) + std::abs(b.y - a.y);
                const auto uses = segmentUses.find(segmentKey(cell, next));
                const double overlaps = uses == segmentUses.end() ? 0 : uses->second;
                const auto axes = axesPerCell.find(cell);
                const double crossing = axes != axesPerCell.end() && axes->second.contains(axis == 1 ? 2 : 1) ? 80 : 0;
                const double port = goalCells.contains(next) && usedPorts.contains(next) ? 100 : 0;
                const double turn = direction != 0 && direction != axis ? 18 : 0;
                const double newCost = item->cost + length + turn + (4 * length + 40) * overlaps + crossing + port;
                const int64_t state = next * 3 + axis;
                const auto previous = bestCost.find(state);
                if (previous == bestCost.end() || newCost < previous->second) {
                    bestCost[state] = newCost;
                    parent[state] = item->state;
                    heap.push({state, newCost, newCost + estimate(next)});
                }
            }
        }
        if (!goalState)
            continue;

        std::vector<int64_t> cells;
        for (int64_t state = *goalState;;) {
            cells.push_back(state / 3);
            const auto up = parent.find(state);
            if (up == parent.end())
                break;
            state = up->second;
        }
        std::reverse(cells.begin(), cells.end());

        usedPorts.insert(cells.front());
        usedPorts.insert(cells.back());
        for (size_t i = 0; i + 1 < cells.size(); ++i) {
            const int64_t a = cells[i];
            const int64_t b = cells[i + 1];
            segmentUses[segmentKey(a, b)] += 1;
            const int axis = a / width == b / width ? 1 : 2;
            axesPerCell[a].insert(axis);
            axesPerCell[b].insert(axis);
        }

        Point startBoundary;
        for (const Port &p : starts) {
            if (p.node == cells.front()) {
                startBoundary = p.boundary;
                break;
            }
        }
        Point goalBoundary;
        for (const Port &p : goals) {
            if (p.node == cells.back()) {
                goalBoundary = p.boundary;
                break;
            }
        }
        std::vector<Point> raw{startBoundary};
        for (int64_t cell : cells)
            raw.push_back(gridPoint(cell));
        raw.push_back(goalBoundary);
        std::vector<Point> points;
        for (const Point &p : raw) {
            if (!points.empty() && points.back() == p)
                continue;
            while (points.size() >= 2) {
                const Point &a = points[points.size() - 2];
                const Point &b = points.back();
                if ((a.x == b.x && b.x == p.x) || (a.y == b.y && b.y == p.y))
                    points.pop_back();
                else
                    break;
            }
            points.push_back(p);
        }
        result.push_back({edge.managerID, edge.reportID, points});
    }
    return result;
}

} // namespace ReferenceRouting
