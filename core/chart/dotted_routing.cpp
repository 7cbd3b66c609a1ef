#include "core/chart/dotted_routing.h"

#include "core/chart/dotted_routing_grid.h"
#include "core/chart/dotted_routing_queue.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string_view>
#include <tuple>
#include <unordered_map>

namespace DottedRouting {

namespace {

constexpr size_t denseBelow = 151; // nodes; larger charts get the sparse grid
constexpr double turnPenalty = 18;
constexpr double overlapPerLength = 4;
constexpr double overlapPenalty = 40;
constexpr double crossingPenalty = 80;
constexpr double portPenalty = 100;

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr int cellsPerTile = TileStore<int>::cellsPerTile;

std::atomic<uint64_t> edgesRoutedSoFar{0};
std::atomic<uint64_t> statesExpandedSoFar{0};

// Directions of arrival, and the axes recorded per cell: 1 horizontal, 2 vertical.
constexpr uint8_t noDirection = 0;
constexpr uint8_t horizontal = 1;
constexpr uint8_t vertical = 2;
constexpr uint8_t usedPort = 4; // cell flag: an earlier route started or ended here

// Reachability tags of cells: unknown, in an area too large to flood, else the number of a
// closed area (whole connected parts of the grid, found by a flood or a failed search).
constexpr uint32_t unknownArea = 0;
constexpr uint32_t openArea = 1;

struct Port {
    Point boundary; // on the card's outline
    int64_t cell;   // where the grid search starts or ends
};

// One cell's best costs and parents in one route's search, for the states that arrived
// horizontally (index 0) or vertically (index 1). States without a direction are only the
// seeds, kept apart.
struct SearchNode {
    std::array<double, 2> best;
    std::array<uint8_t, 2> parent; // step kind * 3 + the parent's direction
    uint32_t generation;           // the search that set best, in flat storage
};

// Search nodes in 16 x 16 tiles, for grids too large for flat storage.
struct SearchTile {
    int64_t index = 0;
    std::array<SearchNode, cellsPerTile> nodes;
    void reset(int64_t tile)
    {
        index = tile;
        for (SearchNode &node : nodes)
            node.best = {infinity, infinity};
    }
};

struct FreeMemory {
    void operator()(void *memory) const { std::free(memory); }
};

struct Seed {
    int64_t cell;
    double cost;
};

// What earlier routes of the call left behind, and reachability; kept for the whole call.
struct CellTile {
    std::array<uint32_t, cellsPerTile> rightUses; // routes along the grid edge to the right
    std::array<uint32_t, cellsPerTile> downUses;  // routes along the grid edge below
    std::array<uint32_t, cellsPerTile> area;
    std::array<uint8_t, cellsPerTile> flags; // axes used, usedPort
    void reset(int64_t)
    {
        rightUses.fill(0);
        downUses.fill(0);
        area.fill(unknownArea);
        flags.fill(0);
    }
};

// What the search needs to know about a cell, in one word. Steps are numbered in the order
// they are tried: 0 right, 1 left, 2 down, 3 up.
namespace Info {
constexpr uint16_t open = 1;          // << step: the grid edge that way is open
constexpr uint16_t axes = 1 << 4;     // * horizontal or vertical: an axis used here
constexpr uint16_t goal = 1 << 6;     // a goal cell of the current route
constexpr uint16_t used = 1 << 8;     // << step: earlier routes ran along that grid edge
constexpr uint16_t portFee = 1 << 12; // << step: that neighbour is a goal and a used port
} // namespace Info

// One routing call: the grid, the cards' ports, and the memory that routes share.
class Router {
public:
    Router(const std::vector<ChartNode> &nodes, const Limits &limits, std::stop_token stop);
    // The edge's route, with the path's grid cells put in `cells` (empty without a route).
    std::optional<DottedRoute> route(const ChartEdge &edge, std::vector<int64_t> &cells);
    // What an earlier route of these nodes left in the memory, as if it had been routed here.
    void replay(const std::vector<int64_t> &cells)
    {
        if (!cells.empty())
            remember(cells);
    }
    bool stopped() const { return m_stopped; }

private:
    struct Step {
        int64_t row;
        int64_t column;
        int64_t cell;
        uint8_t kind; // 0 right, 1 left, 2 down, 3 up
        uint8_t axis;
        uint32_t uses; // earlier routes along this grid edge
    };

    const std::vector<Port> &portsOf(size_t node);
    int stepsFrom(int64_t row, int64_t column, int64_t cell, std::array<Step, 4> &steps) const;
    const CellTile *cellTile(int64_t row, int64_t column) const;
    uint8_t flagsAt(int64_t row, int64_t column) const;
    uint32_t areaAt(int64_t row, int64_t column) const;
    uint32_t usesFrom(int64_t cell, int step) const;
    bool isGoal(int64_t cell) const;
    double estimate(double x, double y) const;
    double seedCost(int64_t cell) const;
    void flood(int64_t cell);
    bool mayConnect(const std::vector<Port> &starts);
    void setGoals(const std::vector<Port> &goals);
    template <bool flat>
    uint16_t infoAt(int64_t cell, int64_t row, int64_t column) const;
    template <bool flat>
    SearchNode *foundNode(int64_t cell, int64_t row, int64_t column);
    template <bool flat>
    SearchNode &node(int64_t cell, int64_t row, int64_t column);
    template <bool flat>
    std::optional<int64_t> search(const std::vector<Port> &starts);
    void closeExploredArea();
    std::vector<int64_t> pathTo(int64_t goalState);
    void remember(const std::vector<int64_t> &cells);

    Limits m_limits;
    std::vector<Rect> m_frames;
    std::unordered_map<std::string_view, size_t> m_nodeIndex;
    bool m_dense;
    RoutingGrid m_grid;
    std::vector<double> m_dx; // xs[c + 1] - xs[c]
    std::vector<double> m_dy; // ys[r + 1] - ys[r]
    std::vector<std::optional<std::vector<Port>>> m_ports;
    TileStore<CellTile> m_cells;
    CellDivider m_divider;
    RouteQueue m_queue;
    std::vector<Seed> m_seeds;
    uint32_t m_nextArea = openArea + 1;
    std::stop_token m_stop;
    bool m_stopped = false;
    // Flat storage over the whole grid when it fits: calloc leaves untouched pages unmapped,
    // so memory still follows the area the searches explore.
    std::unique_ptr<SearchNode[], FreeMemory> m_nodes;
    std::vector<uint16_t> m_info;
    std::vector<int64_t> m_touched; // cells with a node of the current search
    std::vector<int64_t> m_marked;  // cells with goal bits of the current route
    uint32_t m_generation = 0;
    // Tiled storage otherwise.
    TileStore<SearchTile> m_search;
    // The current route's goal.
    std::vector<int64_t> m_goalCells;
    std::vector<Point> m_goalPoints; // without repeats
};

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
    std::vector<double> gaps;
    for (size_t i = 0; i + 1 < values.size(); ++i)
        gaps.push_back(values[i + 1] - values[i]);
    return gaps;
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
    if (cells > m_limits.flatCells)
        return;
    m_nodes.reset(static_cast<SearchNode *>(std::calloc(static_cast<size_t>(cells), sizeof(SearchNode))));
    if (!m_nodes)
        return; // the tiles will do
    m_info.resize(static_cast<size_t>(cells));
    for (int64_t row = 0, cell = 0; row < height; ++row) {
        for (int64_t column = 0; column < width; ++column, ++cell) {
            uint16_t info = 0;
            if (column + 1 < width && !m_grid.blocksRight(row, column))
                info |= Info::open << 0;
            if (column >= 1 && !m_grid.blocksRight(row, column - 1))
                info |= Info::open << 1;
            if (row + 1 < height && !m_grid.blocksDown(row, column))
                info |= Info::open << 2;
            if (row >= 1 && !m_grid.blocksDown(row - 1, column))
                info |= Info::open << 3;
            m_info[static_cast<size_t>(cell)] = info;
        }
    }
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
    int count = 0;
    if (column + 1 < width && !m_grid.blocksRight(row, column))
        steps[count++] = {row, column + 1, cell + 1, 0, horizontal, usesFrom(cell, 0)};
    if (column >= 1 && !m_grid.blocksRight(row, column - 1))
        steps[count++] = {row, column - 1, cell - 1, 1, horizontal, usesFrom(cell, 1)};
    if (row + 1 < m_grid.height() && !m_grid.blocksDown(row, column))
        steps[count++] = {row + 1, column, cell + width, 2, vertical, usesFrom(cell, 2)};
    if (row >= 1 && !m_grid.blocksDown(row - 1, column))
        steps[count++] = {row - 1, column, cell - width, 3, vertical, usesFrom(cell, 3)};
    return count;
}

bool Router::isGoal(int64_t cell) const
{
    return std::find(m_goalCells.begin(), m_goalCells.end(), cell) != m_goalCells.end();
}

double Router::estimate(double x, double y) const
{
    double best = infinity;
    for (const Point &goal : m_goalPoints)
        best = std::min(best, std::abs(x - goal.x) + std::abs(y - goal.y));
    return best;
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
        m_info[static_cast<size_t>(cell)] &= static_cast<uint16_t>(~(Info::goal | Info::portFee * 15));
    m_marked.clear();
    m_goalCells.clear();
    m_goalPoints.clear();
    for (const Port &goal : goals) {
        if (isGoal(goal.cell))
            continue;
        m_goalCells.push_back(goal.cell);
        const auto [row, column] = m_divider.split(goal.cell);
        const Point at{m_grid.x(column), m_grid.y(row)};
        if (std::find(m_goalPoints.begin(), m_goalPoints.end(), at) == m_goalPoints.end())
            m_goalPoints.push_back(at);
        if (m_info.empty())
            continue;
        const auto mark = [&](int64_t cell, uint16_t bits) {
            m_info[static_cast<size_t>(cell)] |= bits;
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
}

// The search's view of a cell: from the flat word, or gathered from the grid and the tiles.
template <bool flat>
uint16_t Router::infoAt(int64_t cell, int64_t row, int64_t column) const
{
    if constexpr (flat)
        return m_info[static_cast<size_t>(cell)];
    std::array<Step, 4> steps;
    const int count = stepsFrom(row, column, cell, steps);
    uint16_t info = static_cast<uint16_t>((flagsAt(row, column) & (horizontal | vertical)) * Info::axes);
    if (isGoal(cell))
        info |= Info::goal;
    for (int i = 0; i < count; ++i) {
        const Step &step = steps[static_cast<size_t>(i)];
        info |= static_cast<uint16_t>(Info::open << step.kind);
        if (step.uses)
            info |= static_cast<uint16_t>(Info::used << step.kind);
        if (isGoal(step.cell) && (flagsAt(step.row, step.column) & usedPort))
            info |= static_cast<uint16_t>(Info::portFee << step.kind);
    }
    return info;
}

// The node of a cell reached by the current search, else null.
template <bool flat>
SearchNode *Router::foundNode(int64_t cell, int64_t row, int64_t column)
{
    if constexpr (flat) {
        SearchNode &node = m_nodes[static_cast<size_t>(cell)];
        return node.generation == m_generation ? &node : nullptr;
    }
    SearchTile *tile = const_cast<SearchTile *>(m_search.find(m_search.tileOf(row, column)));
    return tile ? &tile->nodes[static_cast<size_t>(TileStore<SearchTile>::offsetOf(row, column))] : nullptr;
}

// The node of a cell, made unreached when the current search has not reached it yet.
template <bool flat>
SearchNode &Router::node(int64_t cell, int64_t row, int64_t column)
{
    if constexpr (flat) {
        SearchNode &node = m_nodes[static_cast<size_t>(cell)];
        if (node.generation != m_generation) {
            node.generation = m_generation;
            node.best = {infinity, infinity};
            m_touched.push_back(cell);
        }
        return node;
    }
    return m_search.get(m_search.tileOf(row, column)).nodes[static_cast<size_t>(TileStore<SearchTile>::offsetOf(row, column))];
}

template <bool flat>
std::optional<int64_t> Router::search(const std::vector<Port> &starts)
{
    if constexpr (flat) {
        m_touched.clear();
        if (++m_generation == 0) {
            std::fill_n(m_nodes.get(), m_info.size(), SearchNode{});
            m_generation = 1;
        }
    } else {
        m_search.startOver();
    }
    m_queue.reset(m_grid.width() * m_grid.height() * 3);
    m_seeds.clear();
    for (const Port &start : starts) {
        const auto [row, column] = m_divider.split(start.cell);
        const double cost = (flagsAt(row, column) & usedPort) ? portPenalty : 0;
        // A later port on the same cell sets the same cost again.
        if (seedCost(start.cell) == infinity)
            m_seeds.push_back({start.cell, cost});
        m_queue.push({cost + estimate(m_grid.x(column), m_grid.y(row)), start.cell * 3});
    }

    const int64_t width = m_grid.width();
    const double *xs = m_grid.xs().data();
    const double *ys = m_grid.ys().data();
    uint64_t expanded = 0;
    struct Count {
        uint64_t &expanded;
        ~Count() { statesExpandedSoFar.fetch_add(expanded, std::memory_order_relaxed); }
    } count{expanded};
    for (uint32_t pops = 0; !m_queue.isEmpty(); ++pops) {
        // A long search looks now and then whether its result is still wanted.
        if (pops % 4096 == 4095 && m_stop.stop_requested()) {
            m_stopped = true;
            return std::nullopt;
        }
        const RouteQueue::Entry entry = m_queue.pop();
        const int64_t cell = entry.state / 3;
        const uint8_t direction = static_cast<uint8_t>(entry.state - cell * 3);
        const auto [row, column] = m_divider.split(cell);
        double best = infinity;
        if (direction == noDirection) {
            best = seedCost(cell);
        } else if (const SearchNode *found = foundNode<flat>(cell, row, column)) {
            best = found->best[direction - 1u];
        }
        // The entry is current when it was pushed for the best cost, which gives the same
        // priority bit for bit. A stale entry of equal priority and state stands in for the
        // current one, which sits at the same place in the order.
        const double x = xs[column];
        const double y = ys[row];
        if (best == infinity || best + estimate(x, y) != entry.priority)
            continue; // outdated: the state was reached more cheaply since
        ++expanded;
        const uint16_t info = infoAt<flat>(cell, row, column);
        if (info & Info::goal)
            return entry.state;
        // Cost terms that are zero are left out: adding zero to a cost changes no bit.
        const auto tryStep = [&](int kind, int64_t next, int64_t nextRow, int64_t nextColumn, double length,
                                 double nextX, double nextY) {
            const uint8_t axis = kind < 2 ? horizontal : vertical;
            double cost = best + length;
            if (direction != noDirection && direction != axis)
                cost += turnPenalty;
            if (info & (Info::used << kind))
                cost += (overlapPerLength * length + overlapPenalty) * static_cast<double>(usesFrom(cell, kind));
            if (info & (Info::axes * (axis == horizontal ? vertical : horizontal)))
                cost += crossingPenalty;
            if (info & (Info::portFee << kind))
                cost += portPenalty;
            SearchNode &reached = node<flat>(next, nextRow, nextColumn);
            double &nextBest = reached.best[axis - 1u];
            if (cost < nextBest) {
                nextBest = cost;
                reached.parent[axis - 1u] = static_cast<uint8_t>(kind * 3 + direction);
                m_queue.push({cost + estimate(nextX, nextY), next * 3 + axis});
            }
        };
        if (info & (Info::open << 0))
            tryStep(0, cell + 1, row, column + 1, m_dx[static_cast<size_t>(column)], xs[column + 1], y);
        if (info & (Info::open << 1))
            tryStep(1, cell - 1, row, column - 1, m_dx[static_cast<size_t>(column - 1)], xs[column - 1], y);
        if (info & (Info::open << 2))
            tryStep(2, cell + width, row + 1, column, m_dy[static_cast<size_t>(row)], x, ys[row + 1]);
        if (info & (Info::open << 3))
            tryStep(3, cell - width, row - 1, column, m_dy[static_cast<size_t>(row - 1)], x, ys[row - 1]);
    }
    return std::nullopt;
}

// After a failed search every cell reachable from its starts was reached: they form whole
// connected parts of the grid, which later routes can test in constant time.
void Router::closeExploredArea()
{
    const uint32_t area = m_nextArea++;
    const auto tag = [&](int64_t row, int64_t column) {
        m_cells.get(m_cells.tileOf(row, column)).area[TileStore<CellTile>::offsetOf(row, column)] = area;
    };
    if (m_nodes) {
        for (int64_t cell : m_touched) {
            const auto [row, column] = m_divider.split(cell);
            tag(row, column);
        }
    } else {
        m_search.forEachTile([&](const SearchTile &tile) {
            for (int offset = 0; offset < cellsPerTile; ++offset) {
                const std::array<double, 2> &best = tile.nodes[static_cast<size_t>(offset)].best;
                if (best[0] == infinity && best[1] == infinity)
                    continue;
                const auto [row, column] = m_search.cellOf(tile.index, offset);
                tag(row, column);
            }
        });
    }
    for (const Seed &seed : m_seeds) {
        const auto [row, column] = m_divider.split(seed.cell);
        tag(row, column);
    }
}

std::vector<int64_t> Router::pathTo(int64_t goalState)
{
    const int64_t width = m_grid.width();
    const int64_t parentOffset[4] = {-1, 1, -width, width};
    std::vector<int64_t> cells;
    for (int64_t state = goalState;;) {
        const int64_t cell = state / 3;
        cells.push_back(cell);
        if (state % 3 == noDirection)
            break; // a seed
        const auto [row, column] = m_divider.split(cell);
        const SearchNode *found = m_nodes ? foundNode<true>(cell, row, column) : foundNode<false>(cell, row, column);
        const uint8_t parent = found->parent[static_cast<size_t>(state % 3 - 1)];
        state = (cell + parentOffset[parent / 3]) * 3 + parent % 3;
    }
    std::reverse(cells.begin(), cells.end());
    return cells;
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
        if (!m_info.empty())
            m_info[static_cast<size_t>(cell)] |= bits;
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
            ++tile.rightUses[lowerOffset];
            addInfo(lower, Info::used << 0);
            addInfo(lower + 1, Info::used << 1);
        } else {
            ++tile.downUses[lowerOffset];
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

std::optional<DottedRoute> Router::route(const ChartEdge &edge, std::vector<int64_t> &cells)
{
    cells.clear();
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
    const std::optional<int64_t> goalState = m_nodes ? search<true>(starts) : search<false>(starts);
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

} // namespace

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
    for (const Step &step : steps)
        router.replay(step.cells);
    while (steps.size() < ordered.size()) {
        // Short routes never reach the search's own check.
        if (stop.stop_requested())
            return false;
        Step step;
        step.route = router.route(ordered[steps.size()], step.cells);
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
