#include "core/chart/dotted_routing.h"

#include "core/chart/dotted_routing_router.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <unordered_map>

namespace DottedRouting {

namespace {

constexpr size_t denseBelow = 151; // nodes; larger charts get the sparse grid

std::atomic<uint64_t> edgesRoutedSoFar{0};
std::atomic<uint64_t> statesExpandedSoFar{0};

std::vector<Rect> obstaclesOf(const std::vector<ChartNode> &nodes)
{
    std::vector<Rect> result;
    result.reserve(nodes.size());
    for (const ChartNode &node : nodes)
        result.push_back(obstacleOf(node.frame));
    return result;
}

std::vector<double> gapsBetween(const std::vector<double> &values)
{
    std::vector<double> gaps{0};
    for (size_t i = 0; i + 1 < values.size(); ++i)
        gaps.push_back(values[i + 1] - values[i]);
    gaps.push_back(0);
    return gaps;
}

// Appends a point, dropping repeats and the middle of three points on one line.
void appendSimplified(std::vector<Point> &points, Point p)
{
    if (!points.empty() && points.back() == p)
        return;
    while (points.size() >= 2) {
        const Point a = points[points.size() - 2];
        const Point b = points.back();
        if (!((a.x == b.x && b.x == p.x) || (a.y == b.y && b.y == p.y)))
            break;
        points.pop_back();
    }
    points.push_back(p);
}

Point boundaryAt(const std::vector<Port> &ports, int64_t cell)
{
    return std::find_if(ports.begin(), ports.end(), [&](const Port &port) { return port.cell == cell; })->boundary;
}

// Info::open bits of the steps right, left, down and up that are open.
uint16_t openBits(bool right, bool left, bool down, bool up)
{
    return static_cast<uint16_t>((right ? Info::open << 0 : 0) | (left ? Info::open << 1 : 0) |
                                 (down ? Info::open << 2 : 0) | (up ? Info::open << 3 : 0));
}

} // namespace

void Estimate::prepare(const std::vector<double> &xs, const std::vector<double> &ys)
{
    // Points at every crossing of some lines (rows or columns) with some positions along
    // them. Their least distance is the least across to a line plus the least along, which
    // is the least of the points' own sums, as adding a term keeps the order of doubles.
    struct Group {
        bool onRows; // the lines are rows, a y each, and the positions x's
        std::vector<double> lines;
        std::vector<double> along; // ascending
    };
    // Lines of two points or more on one axis, then the points left on the other; lines with
    // the same positions join. Rows or columns first, whichever makes fewer groups.
    const auto groupsOf = [&](bool rowsFirst) {
        std::vector<Group> groups;
        std::array<bool, most> taken{};
        for (const bool onRows : {rowsFirst, !rowsFirst}) {
            const auto lineOf = [&](size_t i) { return onRows ? m_points[i].y : m_points[i].x; };
            for (size_t i = 0; i < m_count; ++i) {
                if (taken[i])
                    continue;
                Group group{onRows, {lineOf(i)}, {}};
                for (size_t j = i; j < m_count; ++j) {
                    if (!taken[j] && lineOf(j) == lineOf(i))
                        group.along.push_back(onRows ? m_points[j].x : m_points[j].y);
                }
                if (group.along.size() < 2 && onRows == rowsFirst)
                    continue;
                for (size_t j = i; j < m_count; ++j)
                    taken[j] = taken[j] || lineOf(j) == lineOf(i);
                std::sort(group.along.begin(), group.along.end());
                const auto same = std::find_if(groups.begin(), groups.end(), [&](const Group &other) {
                    return other.onRows == onRows && other.along == group.along;
                });
                if (same != groups.end())
                    same->lines.push_back(group.lines[0]);
                else
                    groups.push_back(std::move(group));
            }
        }
        return groups;
    };
    std::vector<Group> groups = groupsOf(true);
    if (std::vector<Group> byColumns = groupsOf(false); byColumns.size() < groups.size())
        groups = std::move(byColumns);
    m_pairs = (groups.size() + 1) / 2;
    const auto nearest = [](double at, const std::vector<double> &to) {
        double least = std::fabs(at - to[0]);
        for (size_t i = 1; i < to.size(); ++i)
            least = std::min(least, std::fabs(at - to[i]));
        return least;
    };
    const auto fill = [&](std::vector<Pair> &table, const std::vector<double> &lines, bool rows) {
        table.resize(lines.size() * m_pairs);
        for (size_t at = 0; at < lines.size(); ++at) {
            for (size_t g = 0; g < 2 * m_pairs; ++g) {
                // An odd group out is paired with the first again.
                const Group &group = groups[g < groups.size() ? g : 0];
                table[at * m_pairs + g / 2][g % 2] = nearest(lines[at], group.onRows == rows ? group.lines : group.along);
            }
        }
    };
    fill(m_columns, xs, false);
    fill(m_rows, ys, true);
}

Router::Router(const std::vector<ChartNode> &nodes, const Limits &limits, std::stop_token stop)
    : m_limits(limits),
      m_dense(nodes.size() < denseBelow),
      m_grid(obstaclesOf(nodes), m_dense, limits),
      m_dx(gapsBetween(m_grid.xs())),
      m_dy(gapsBetween(m_grid.ys())),
      m_ports(nodes.size()),
      m_cells(m_grid.width(), m_grid.height(), limits),
      m_divider(m_grid.width(), m_grid.width() * m_grid.height()),
      m_stop(std::move(stop)),
      m_search(m_grid.width(), m_grid.height(), limits)
{
    m_frames.reserve(nodes.size());
    m_nodeIndex.reserve(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        m_frames.push_back(nodes[i].frame);
        m_nodeIndex[nodes[i].id] = i;
    }
    const int64_t width = m_grid.width();
    const int64_t height = m_grid.height();
    const int64_t cells = width * height;
    try {
        if (cells <= m_limits.flatCells) {
            m_records = GridArray<CellRecord>(static_cast<size_t>(cells));
            m_stamps.assign(static_cast<size_t>((cells + cellsPerBlock - 1) >> blockShift), 0);
            m_touched.assign((m_stamps.size() + 63) / 64, 0);
        } else if (cells <= m_limits.wordCells) {
            m_words = GridArray<CellWord>(static_cast<size_t>(cells));
        }
    } catch (const std::bad_alloc &) {
        // The tiles will do, and the words are gathered.
        m_records = {};
        m_stamps = {};
        m_touched = {};
        m_words = {};
    }
    if (isFlat() || !m_words.empty())
        fillWords();
}

// The open steps of every cell, as openSteps finds them, a row at a time from the grid's bits.
void Router::fillWords()
{
    const int64_t width = m_grid.width();
    const int64_t height = m_grid.height();
    std::vector<uint64_t> right;
    std::vector<uint64_t> down;
    std::vector<uint64_t> above; // blocksDown of the row above
    for (int64_t row = 0; row < height; ++row) {
        // Filling a large grid takes a noticeable time: a caller that lost interest
        // (a window closing) is not kept waiting for it.
        if (m_stop.stop_requested()) {
            m_stopped = true;
            return;
        }
        m_grid.rowBlocksRight(row, right);
        std::swap(above, down);
        m_grid.rowBlocksDown(row, down);
        for (int64_t column = 0; column < width; ++column) {
            wordOf(row * width + column)->info =
                openBits(column + 1 < width && !bitAt(right, column), column >= 1 && !bitAt(right, column - 1),
                         row + 1 < height && !bitAt(down, column), row >= 1 && !bitAt(above, column));
        }
    }
}

// The steps open from a cell, as Info::open bits.
uint16_t Router::openSteps(int64_t row, int64_t column) const
{
    return openBits(column + 1 < m_grid.width() && !m_grid.blocksRight(row, column),
                    column >= 1 && !m_grid.blocksRight(row, column - 1),
                    row + 1 < m_grid.height() && !m_grid.blocksDown(row, column),
                    row >= 1 && !m_grid.blocksDown(row - 1, column));
}

const std::vector<Port> &Router::portsOf(size_t node)
{
    if (m_ports[node])
        return *m_ports[node];
    const Rect frame = m_frames[node];
    const Rect ring = obstacleOf(frame);
    std::vector<Port> ports;
    const auto offer = [&](Point boundary, Point at) {
        const std::optional<int64_t> column = m_grid.column(at.x);
        const std::optional<int64_t> row = m_grid.row(at.y);
        if (!column || !row || m_grid.isInside(*row, *column))
            return;
        ports.push_back({boundary, *row * m_grid.width() + *column});
    };
    const std::vector<double> offsets = m_dense ? std::vector<double>{0, -12, 12} : std::vector<double>{0};
    for (double d : offsets) {
        offer({frame.midX() + d, frame.minY()}, {ring.midX() + d, ring.minY()});
        offer({frame.maxX(), frame.midY() + d}, {ring.maxX(), ring.midY() + d});
        offer({frame.midX() + d, frame.maxY()}, {ring.midX() + d, ring.maxY()});
        offer({frame.minX(), frame.midY() + d}, {ring.minX(), ring.midY() + d});
    }
    return *(m_ports[node] = std::move(ports));
}

const CellTile *Router::cellTile(int64_t row, int64_t column) const
{
    return m_cells.find(m_cells.tileOf(row, column));
}

uint8_t Router::flagsAt(int64_t row, int64_t column) const
{
    const CellTile *tile = cellTile(row, column);
    return tile ? tile->flags[TileStore<CellTile>::offsetOf(row, column)] : 0;
}

uint32_t Router::areaAt(int64_t row, int64_t column) const
{
    const CellTile *tile = cellTile(row, column);
    return tile ? tile->area[TileStore<CellTile>::offsetOf(row, column)] : unknownArea;
}

// Earlier routes along the grid edge from a cell in the direction of a step.
uint32_t Router::usesFrom(int64_t cell, int step) const
{
    const int64_t lower = step == 0 || step == 2 ? cell : cell - (step == 1 ? 1 : m_grid.width());
    const auto [row, column] = m_divider.split(lower);
    const CellTile *tile = cellTile(row, column);
    if (!tile)
        return 0;
    const int offset = TileStore<CellTile>::offsetOf(row, column);
    return step < 2 ? tile->rightUses[offset] : tile->downUses[offset];
}

// The open grid edges from a cell, in the order the search must try them: right, left,
// down, up.
int Router::stepsFrom(int64_t row, int64_t column, int64_t cell, std::array<Step, 4> &steps) const
{
    const int64_t width = m_grid.width();
    const uint16_t open = openSteps(row, column);
    int count = 0;
    if (open & (Info::open << 0))
        steps[count++] = {row, column + 1, cell + 1, 0, horizontal, usesFrom(cell, 0)};
    if (open & (Info::open << 1))
        steps[count++] = {row, column - 1, cell - 1, 1, horizontal, usesFrom(cell, 1)};
    if (open & (Info::open << 2))
        steps[count++] = {row + 1, column, cell + width, 2, vertical, usesFrom(cell, 2)};
    if (open & (Info::open << 3))
        steps[count++] = {row - 1, column, cell - width, 3, vertical, usesFrom(cell, 3)};
    return count;
}

bool Router::isGoal(int64_t cell) const
{
    return std::find(m_goalCells.begin(), m_goalCells.end(), cell) != m_goalCells.end();
}

double Router::seedCost(int64_t cell) const
{
    for (const Seed &seed : m_seeds) {
        if (seed.cell == cell)
            return seed.cost;
    }
    return infinity;
}

// Tags the area around a manager's port cell: a closed area when a flood exhausts it within
// the budget, else open. A manager walled in by other cards then costs one small flood
// instead of a search over the whole grid.
void Router::flood(int64_t cell)
{
    const int64_t width = m_grid.width();
    if (areaAt(cell / width, cell % width) != unknownArea)
        return;
    const uint32_t area = m_nextArea++;
    const auto tag = [&](int64_t row, int64_t column, uint32_t value) {
        m_cells.get(m_cells.tileOf(row, column)).area[TileStore<CellTile>::offsetOf(row, column)] = value;
    };
    std::vector<int64_t> visited{cell};
    tag(cell / width, cell % width, area);
    bool open = false;
    std::array<Step, 4> steps;
    for (size_t next = 0; next < visited.size() && !open; ++next) {
        const int64_t here = visited[next];
        const int count = stepsFrom(here / width, here % width, here, steps);
        for (int i = 0; i < count && !open; ++i) {
            const uint32_t seen = areaAt(steps[i].row, steps[i].column);
            if (seen == area)
                continue;
            if (seen != unknownArea || static_cast<int64_t>(visited.size()) >= m_limits.floodBudget) {
                open = true;
                break;
            }
            tag(steps[i].row, steps[i].column, area);
            visited.push_back(steps[i].cell);
        }
    }
    if (open) {
        for (int64_t v : visited)
            tag(v / width, v % width, openArea);
    }
}

// False only when no path can exist: a closed area holds whole connected parts of the grid,
// so a start outside a goal's closed area (or inside one that holds no goal) cannot reach it.
bool Router::mayConnect(const std::vector<Port> &starts)
{
    const int64_t width = m_grid.width();
    for (int64_t goal : m_goalCells)
        flood(goal);
    for (const Port &start : starts) {
        const uint32_t from = areaAt(start.cell / width, start.cell % width);
        for (int64_t goal : m_goalCells) {
            const uint32_t to = areaAt(goal / width, goal % width);
            if (to > openArea ? from == to : from <= openArea)
                return true;
        }
    }
    return false;
}

void Router::setGoals(const std::vector<Port> &goals)
{
    const int64_t width = m_grid.width();
    const int64_t height = m_grid.height();
    for (int64_t cell : m_marked)
        wordOf(cell)->info &= static_cast<uint16_t>(~(Info::goal | Info::portFee * 15));
    m_marked.clear();
    m_goalCells.clear();
    m_estimate.clear();
    for (const Port &goal : goals) {
        if (isGoal(goal.cell))
            continue;
        m_goalCells.push_back(goal.cell);
        const auto [row, column] = m_divider.split(goal.cell);
        const Point at{m_grid.x(column), m_grid.y(row)};
        if (!m_estimate.contains(at))
            m_estimate.add(at);
        if (!wordOf(goal.cell))
            continue;
        const auto mark = [&](int64_t cell, uint16_t bits) {
            wordOf(cell)->info |= bits;
            m_marked.push_back(cell);
        };
        mark(goal.cell, Info::goal);
        if (!(flagsAt(row, column) & usedPort))
            continue;
        // Each neighbour learns that the step from it into the goal pays the port fee.
        if (column >= 1)
            mark(goal.cell - 1, Info::portFee << 0);
        if (column + 1 < width)
            mark(goal.cell + 1, Info::portFee << 1);
        if (row >= 1)
            mark(goal.cell - width, Info::portFee << 2);
        if (row + 1 < height)
            mark(goal.cell + width, Info::portFee << 3);
    }
    m_estimate.prepare(m_grid.xs(), m_grid.ys());
}

void Router::remember(const std::vector<int64_t> &cells)
{
    const int64_t width = m_grid.width();
    const auto at = [&](int64_t cell) -> std::pair<CellTile &, int> {
        const int64_t row = cell / width;
        const int64_t column = cell % width;
        return {m_cells.get(m_cells.tileOf(row, column)), TileStore<CellTile>::offsetOf(row, column)};
    };
    const auto addInfo = [&](int64_t cell, uint16_t bits) {
        if (CellWord *word = wordOf(cell))
            word->info |= bits;
    };
    const auto countUse = [&](int64_t lower, int axis, uint32_t uses) {
        if (CellWord *word = wordOf(lower))
            word->uses[axis] = static_cast<uint8_t>(std::min<uint32_t>(uses, manyUses));
    };
    for (int64_t end : {cells.front(), cells.back()}) {
        auto [tile, offset] = at(end);
        tile.flags[offset] |= usedPort;
    }
    for (size_t i = 0; i + 1 < cells.size(); ++i) {
        const int64_t a = cells[i];
        const int64_t b = cells[i + 1];
        const uint8_t axis = a / width == b / width ? horizontal : vertical;
        const int64_t lower = std::min(a, b);
        auto [tile, lowerOffset] = at(lower);
        if (axis == horizontal) {
            countUse(lower, 0, ++tile.rightUses[lowerOffset]);
            addInfo(lower, Info::used << 0);
            addInfo(lower + 1, Info::used << 1);
        } else {
            countUse(lower, 1, ++tile.downUses[lowerOffset]);
            addInfo(lower, Info::used << 2);
            addInfo(lower + width, Info::used << 3);
        }
        for (int64_t end : {a, b}) {
            auto [endTile, offset] = at(end);
            endTile.flags[offset] |= axis;
            addInfo(end, static_cast<uint16_t>(Info::axes * axis));
        }
    }
}

std::optional<DottedRoute> Router::route(const ChartEdge &edge, std::vector<int64_t> &cells)
{
    cells.clear();
    if (m_stopped)
        return std::nullopt;
    const auto report = m_nodeIndex.find(edge.reportID);
    const auto manager = m_nodeIndex.find(edge.managerID);
    if (report == m_nodeIndex.end() || manager == m_nodeIndex.end())
        return std::nullopt;
    const std::vector<Port> &starts = portsOf(report->second);
    const std::vector<Port> &goals = portsOf(manager->second);
    if (starts.empty() || goals.empty())
        return std::nullopt;

    const int64_t width = m_grid.width();
    setGoals(goals);
    if (!mayConnect(starts))
        return std::nullopt;
    const std::optional<int64_t> goalState = search(starts);
    if (m_stopped)
        return std::nullopt;
    if (!goalState) {
        closeExploredArea();
        return std::nullopt;
    }
    cells = pathTo(*goalState);
    remember(cells);

    DottedRoute route{edge.managerID, edge.reportID, {}};
    appendSimplified(route.points, boundaryAt(starts, cells.front()));
    for (int64_t cell : cells)
        appendSimplified(route.points, {m_grid.x(cell % width), m_grid.y(cell / width)});
    appendSimplified(route.points, boundaryAt(goals, cells.back()));
    return route;
}

std::vector<ChartEdge> routingOrder(const std::vector<ChartEdge> &edges)
{
    std::vector<ChartEdge> dotted;
    for (const ChartEdge &edge : edges) {
        if (edge.dotted)
            dotted.push_back(edge);
    }
    // Earlier routes take the better lanes and ports, so the order is part of the result.
    std::stable_sort(dotted.begin(), dotted.end(), [](const ChartEdge &a, const ChartEdge &b) {
        return std::tie(a.reportID, a.managerID) < std::tie(b.reportID, b.managerID);
    });
    return dotted;
}

bool routeOn(const std::vector<ChartNode> &nodes, const std::vector<ChartEdge> &ordered, std::vector<Step> &steps,
             std::stop_token stop, const std::function<void(const std::vector<Step> &)> &routed,
             const Limits &limits)
{
    if (steps.size() >= ordered.size())
        return true;
    if (stop.stop_requested())
        return false;
    Router router(nodes, limits, stop);
    if (router.stopped())
        return false;
    for (const Step &step : steps)
        router.replay(step.cells);
    while (steps.size() < ordered.size()) {
        // Short routes never reach the search's own check.
        if (stop.stop_requested())
            return false;
        Step step;
        step.route = router.route(ordered[steps.size()], step.cells);
        statesExpandedSoFar.fetch_add(router.takeExpanded(), std::memory_order_relaxed);
        if (router.stopped())
            return false;
        edgesRoutedSoFar.fetch_add(1, std::memory_order_relaxed);
        steps.push_back(std::move(step));
        if (routed)
            routed(steps);
    }
    return true;
}

std::vector<DottedRoute> routesOf(const std::vector<Step> &steps)
{
    std::vector<DottedRoute> result;
    result.reserve(steps.size());
    for (const Step &step : steps) {
        if (step.route)
            result.push_back(*step.route);
    }
    return result;
}

uint64_t edgesRouted()
{
    return edgesRoutedSoFar.load(std::memory_order_relaxed);
}

uint64_t statesExpanded()
{
    return statesExpandedSoFar.load(std::memory_order_relaxed);
}

std::optional<std::vector<DottedRoute>> routes(const std::vector<ChartNode> &nodes,
                                               const std::vector<ChartEdge> &edges, const Limits &limits,
                                               std::stop_token stop)
{
    std::vector<Step> steps;
    if (!routeOn(nodes, routingOrder(edges), steps, std::move(stop), {}, limits))
        return std::nullopt;
    return routesOf(steps);
}

std::vector<DottedRoute> routes(const std::vector<ChartNode> &nodes, const std::vector<ChartEdge> &edges,
                                const Limits &limits)
{
    return *routes(nodes, edges, limits, {});
}

std::vector<DottedRoute> routes(const std::vector<ChartNode> &nodes, const std::vector<ChartEdge> &edges)
{
    return routes(nodes, edges, Limits{});
}

std::optional<std::vector<DottedRoute>> routes(const std::vector<ChartNode> &nodes,
                                               const std::vector<ChartEdge> &edges, std::stop_token stop)
{
    return routes(nodes, edges, Limits{}, std::move(stop));
}

bool routeOn(const std::vector<ChartNode> &nodes, const std::vector<ChartEdge> &ordered, std::vector<Step> &steps,
             std::stop_token stop, const std::function<void(const std::vector<Step> &)> &routed)
{
    return routeOn(nodes, ordered, steps, std::move(stop), routed, Limits{});
}

} // namespace DottedRouting
