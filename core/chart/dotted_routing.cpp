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
#include <type_traits>
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

// A search state is cell * 4 + direction here: the same order as cell * 3 + direction,
// without a division to take it apart.
constexpr int stateShift = 2;

// Reachability tags of cells: unknown, in an area too large to flood, else the number of a
// closed area (whole connected parts of the grid, found by a flood or a failed search).
constexpr uint32_t unknownArea = 0;
constexpr uint32_t openArea = 1;

struct Port {
    Point boundary; // on the card's outline
    int64_t cell;   // where the grid search starts or ends
};

// The best costs of a cell's states that arrived horizontally (index 0) or vertically (1).
// Seeds, the states without a direction, are few and kept apart.
using BestCosts = std::array<double, 2>;
// Per direction as for BestCosts: how the state was reached, as step kind * 3 + the parent's
// direction, and whether it was expanded since (the open list keeps outdated entries of a
// state; an entry that comes out after its state was expanded is one of them).
using Parents = std::array<uint8_t, 2>;
constexpr uint8_t wasExpanded = 0x80;

// Search state in 16 x 16 tiles, for grids too large for flat storage.
struct SearchTile {
    int64_t index = 0;
    std::array<BestCosts, cellsPerTile> best;
    std::array<Parents, cellsPerTile> parent;
    void reset(int64_t tile)
    {
        index = tile;
        best.fill({infinity, infinity});
    }
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

// What a search step reads of a cell, kept for the whole call: its word, and the counts of
// earlier routes along the grid edges to its right and below, up to `manyUses`, from where
// the exact count is in the tiles.
//
// A cell in flat storage holds it with the cell's search state, so that a step finds all it
// needs in one place. The best costs and parents belong to the current search only while
// the cell's block carries its stamp.
struct CellWord {
    uint16_t info = 0;
    std::array<uint8_t, 2> uses{}; // right, down
};
struct CellRecord {
    BestCosts best;
    CellWord word;
    Parents parent;
};
static_assert(sizeof(CellRecord) == 24);
constexpr uint8_t manyUses = 255;

// Flat search state is reset in blocks of this many cells (one stretch of a row): a block is
// cleared when the search first reaches into it, found by its generation stamp.
constexpr int blockShift = 6;
constexpr int64_t cellsPerBlock = int64_t(1) << blockShift;

// The nearest goal point by Manhattan distance, two points at a time; the points are padded
// to whole groups of four by repeating one, so the loop needs no tail. Every sum is the one
// a point-by-point loop makes, and the least of them is exact.
class Estimate {
public:
    void clear() { m_count = 0; }
    bool contains(Point p) const
    {
        for (size_t i = 0; i < m_count; ++i) {
            if (x(i) == p.x && y(i) == p.y)
                return true;
        }
        return false;
    }
    void add(Point p)
    {
        x(m_count) = p.x;
        y(m_count) = p.y;
        ++m_count;
    }
    // Called after the last add; at least one point was added.
    void pad()
    {
        m_groups = (m_count + 3) / 4;
        for (size_t i = m_count; i < m_groups * 4; ++i) {
            x(i) = x(0);
            y(i) = y(0);
        }
    }
    [[gnu::always_inline]] double operator()(double atX, double atY) const
    {
        const Pair px{atX, atX};
        const Pair py{atY, atY};
        Pair least = distance(0, px, py);
        least = min(least, distance(1, px, py));
        for (size_t group = 1; group < m_groups; ++group) {
            least = min(least, distance(2 * group, px, py));
            least = min(least, distance(2 * group + 1, px, py));
        }
        return least[0] < least[1] ? least[0] : least[1];
    }

private:
    using Pair = double __attribute__((vector_size(16)));
    using Bits = uint64_t __attribute__((vector_size(16)));
    static constexpr size_t most = 12; // three ports a side, each its own point

    static Pair abs(Pair v) { return reinterpret_cast<Pair>(reinterpret_cast<Bits>(v) & ~Bits{1ull << 63, 1ull << 63}); }
    static Pair min(Pair a, Pair b) { return a < b ? a : b; }
    Pair distance(size_t pair, Pair px, Pair py) const { return abs(px - m_x[pair]) + abs(py - m_y[pair]); }
    double &x(size_t i) { return m_x[i / 2][i % 2]; }
    double &y(size_t i) { return m_y[i / 2][i % 2]; }
    double x(size_t i) const { return m_x[i / 2][i % 2]; }
    double y(size_t i) const { return m_y[i / 2][i % 2]; }

    std::array<Pair, most / 2> m_x{};
    std::array<Pair, most / 2> m_y{};
    size_t m_count = 0;
    size_t m_groups = 0;
};

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
    // Where a step stores the state it reaches.
    struct Reached {
        BestCosts *best;
        Parents *parent;
    };

    bool isFlat() const { return !m_records.empty(); }
    // The cell's word when words are kept, else null (they are gathered instead).
    CellWord *wordOf(int64_t cell)
    {
        if (isFlat())
            return &m_records[static_cast<size_t>(cell)].word;
        return m_words.empty() ? nullptr : &m_words[static_cast<size_t>(cell)];
    }
    const std::vector<Port> &portsOf(size_t node);
    int stepsFrom(int64_t row, int64_t column, int64_t cell, std::array<Step, 4> &steps) const;
    const CellTile *cellTile(int64_t row, int64_t column) const;
    uint8_t flagsAt(int64_t row, int64_t column) const;
    uint32_t areaAt(int64_t row, int64_t column) const;
    uint32_t usesFrom(int64_t cell, int step) const;
    bool isGoal(int64_t cell) const;
    double seedCost(int64_t cell) const;
    void flood(int64_t cell);
    bool mayConnect(const std::vector<Port> &starts);
    void setGoals(const std::vector<Port> &goals);
    void startSearch(const std::vector<Port> &starts);
    class FlatCells;
    template <bool withWords>
    class TiledCells;
    uint16_t openSteps(int64_t row, int64_t column) const;
    uint16_t gatheredInfo(int64_t cell, int64_t row, int64_t column) const;
    void clearBlock(int64_t block);
    template <typename Cells>
    [[gnu::noinline]] std::optional<int64_t> search(const std::vector<Port> &starts);
    void closeExploredArea();
    std::vector<int64_t> pathTo(int64_t goalState) const;
    void remember(const std::vector<int64_t> &cells);

    Limits m_limits;
    std::vector<Rect> m_frames;
    std::unordered_map<std::string_view, size_t> m_nodeIndex;
    bool m_dense;
    RoutingGrid m_grid;
    // The lengths of the grid edges into column c (xs[c] - xs[c - 1]) at index c, and 0
    // before the first and after the last column; likewise for rows.
    std::vector<double> m_dx;
    std::vector<double> m_dy;
    std::vector<std::optional<std::vector<Port>>> m_ports;
    TileStore<CellTile> m_cells;
    CellDivider m_divider;
    RouteQueue m_queue;
    std::vector<Seed> m_seeds;
    uint32_t m_nextArea = openArea + 1;
    std::stop_token m_stop;
    bool m_stopped = false;
    // Flat storage over the whole grid when it fits.
    std::vector<CellRecord> m_records;
    // Words alone otherwise, while the grid is not too large for them.
    std::vector<CellWord> m_words;
    std::vector<uint32_t> m_stamps;       // per block: the search that last cleared it
    std::vector<int64_t> m_touchedBlocks; // blocks of the current search
    std::vector<int64_t> m_marked;        // cells with goal bits of the current route
    uint32_t m_generation = 0;
    // Tiled storage otherwise.
    TileStore<SearchTile> m_search;
    // The current route's goal.
    std::vector<int64_t> m_goalCells;
    Estimate m_estimate;
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
    std::vector<double> gaps{0};
    for (size_t i = 0; i + 1 < values.size(); ++i)
        gaps.push_back(values[i + 1] - values[i]);
    gaps.push_back(0);
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
    try {
        if (cells <= m_limits.flatCells) {
            m_records.resize(static_cast<size_t>(cells));
            m_stamps.assign(static_cast<size_t>((cells + cellsPerBlock - 1) >> blockShift), 0);
        } else if (cells <= m_limits.wordCells) {
            m_words.resize(static_cast<size_t>(cells));
        }
    } catch (const std::bad_alloc &) {
        // The tiles will do, and the words are gathered.
        m_records = {};
        m_stamps = {};
        m_words = {};
    }
    for (int64_t row = 0, cell = 0; row < height && (isFlat() || !m_words.empty()); ++row) {
        for (int64_t column = 0; column < width; ++column, ++cell)
            wordOf(cell)->info = openSteps(row, column);
    }
}

// The steps open from a cell, as Info::open bits.
uint16_t Router::openSteps(int64_t row, int64_t column) const
{
    uint16_t open = 0;
    if (column + 1 < m_grid.width() && !m_grid.blocksRight(row, column))
        open |= Info::open << 0;
    if (column >= 1 && !m_grid.blocksRight(row, column - 1))
        open |= Info::open << 1;
    if (row + 1 < m_grid.height() && !m_grid.blocksDown(row, column))
        open |= Info::open << 2;
    if (row >= 1 && !m_grid.blocksDown(row - 1, column))
        open |= Info::open << 3;
    return open;
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
    m_estimate.pad();
}

// The search's word of a cell, gathered from the grid and the tiles.
uint16_t Router::gatheredInfo(int64_t cell, int64_t row, int64_t column) const
{
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

// Makes a block of flat storage unreached by the current search.
void Router::clearBlock(int64_t block)
{
    m_stamps[static_cast<size_t>(block)] = m_generation;
    m_touchedBlocks.push_back(block);
    const size_t first = static_cast<size_t>(block << blockShift);
    const size_t end = std::min(first + static_cast<size_t>(cellsPerBlock), m_records.size());
    for (size_t i = first; i < end; ++i)
        m_records[i].best = {infinity, infinity};
}

// The search's access to the cells in flat storage, through pointers held for one search.
class Router::FlatCells {
public:
    explicit FlatCells(Router &router)
        : m_router(router), m_records(router.m_records.data()), m_stamps(router.m_stamps.data()),
          m_generation(router.m_generation), m_width(router.m_grid.width())
    {
    }
    // Starts loading the rows above and below, which the steps from the cell read last.
    void prefetch(int64_t cell) const
    {
        __builtin_prefetch(m_records + cell + m_width);
        __builtin_prefetch(m_records + cell - m_width);
    }
    // The cell's word.
    uint16_t info(int64_t cell, int64_t, int64_t) const { return m_records[cell].word.info; }
    // Earlier routes along the grid edge of a step from `cell` to `next`: the count is kept
    // at the upper or left end.
    uint32_t uses(int64_t cell, int64_t next, int kind, uint16_t) const
    {
        const uint8_t uses = m_records[kind == 0 || kind == 2 ? cell : next].word.uses[kind < 2 ? 0 : 1];
        if (uses == manyUses) [[unlikely]]
            return m_router.usesFrom(cell, kind);
        return uses;
    }
    // Where the search keeps the states of a cell it has reached.
    Reached reached(int64_t cell, int64_t, int64_t) const { return {&m_records[cell].best, &m_records[cell].parent}; }
    // The same, made unreached when the search has not reached the cell's block yet.
    Reached reach(int64_t cell, int64_t, int64_t) const
    {
        if (m_stamps[cell >> blockShift] != m_generation) [[unlikely]]
            m_router.clearBlock(cell >> blockShift);
        return {&m_records[cell].best, &m_records[cell].parent};
    }

private:
    Router &m_router;
    CellRecord *m_records;
    const uint32_t *m_stamps;
    uint32_t m_generation;
    int64_t m_width;
};

// The search's access to the cells for grids too large for flat storage: search state in
// the tiles, words from their flat array or, for grids too large for that too, gathered from
// the grid and the tiles.
template <bool withWords>
class Router::TiledCells {
public:
    explicit TiledCells(Router &router) : m_router(router), m_words(router.m_words.data()) {}
    void prefetch(int64_t) const {}
    uint16_t info(int64_t cell, int64_t row, int64_t column) const
    {
        if constexpr (withWords)
            return m_words[cell].info;
        return m_router.gatheredInfo(cell, row, column);
    }
    uint32_t uses(int64_t cell, int64_t next, int kind, uint16_t info) const
    {
        if constexpr (withWords) {
            const uint8_t uses = m_words[kind == 0 || kind == 2 ? cell : next].uses[kind < 2 ? 0 : 1];
            if (uses != manyUses) [[likely]]
                return uses;
        }
        return (info & (Info::used << kind)) ? m_router.usesFrom(cell, kind) : 0;
    }
    Reached reached(int64_t, int64_t row, int64_t column) const
    {
        SearchTile &tile = *const_cast<SearchTile *>(m_router.m_search.find(m_router.m_search.tileOf(row, column)));
        const size_t offset = static_cast<size_t>(TileStore<SearchTile>::offsetOf(row, column));
        return {&tile.best[offset], &tile.parent[offset]};
    }
    Reached reach(int64_t, int64_t row, int64_t column) const
    {
        SearchTile &tile = m_router.m_search.get(m_router.m_search.tileOf(row, column));
        const size_t offset = static_cast<size_t>(TileStore<SearchTile>::offsetOf(row, column));
        return {&tile.best[offset], &tile.parent[offset]};
    }

private:
    Router &m_router;
    const CellWord *m_words;
};

void Router::startSearch(const std::vector<Port> &starts)
{
    if (isFlat()) {
        m_touchedBlocks.clear();
        if (++m_generation == 0) {
            std::fill(m_stamps.begin(), m_stamps.end(), 0);
            m_generation = 1;
        }
    } else {
        m_search.startOver();
    }
    m_queue.reset((m_grid.width() * m_grid.height()) << stateShift);
    m_seeds.clear();
    for (const Port &start : starts) {
        const auto [row, column] = m_divider.split(start.cell);
        const double cost = (flagsAt(row, column) & usedPort) ? portPenalty : 0;
        // A later port on the same cell sets the same cost again.
        if (seedCost(start.cell) == infinity)
            m_seeds.push_back({start.cell, cost});
        m_queue.push({cost + m_estimate(m_grid.x(column), m_grid.y(row)), start.cell << stateShift});
    }
}

template <typename Cells>
std::optional<int64_t> Router::search(const std::vector<Port> &starts)
{
    startSearch(starts);
    const Cells cells(*this);
    const int64_t width = m_grid.width();
    const double *xs = m_grid.xs().data();
    const double *ys = m_grid.ys().data();
    const double *dx = m_dx.data();
    const double *dy = m_dy.data();
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
        const int64_t cell = entry.state >> stateShift;
        const unsigned direction = static_cast<unsigned>(entry.state) & ((1u << stateShift) - 1);
        cells.prefetch(cell);
        const auto [row, column] = m_divider.split(cell);
        const double x = xs[column];
        const double y = ys[row];
        double best;
        if (direction == noDirection) {
            // A seed: two ports on one cell push it twice at the same priority.
            best = seedCost(cell);
            if (best + m_estimate(x, y) != entry.priority)
                continue;
        } else {
            // The first entry of a state to come out is its current one: the entry pushed for
            // its best cost has the least priority among them. Any later one is outdated,
            // unless the state was reached more cheaply since and so is open again.
            const Reached here = cells.reached(cell, row, column);
            uint8_t &parent = (*here.parent)[direction - 1];
            if (parent & wasExpanded)
                continue;
            parent |= wasExpanded;
            best = (*here.best)[direction - 1];
        }
        ++expanded;
        const uint16_t info = cells.info(cell, row, column);
        if (info & Info::goal)
            return entry.state;

        // The four steps (right, left, down, up) side by side, each cost summed term by term
        // in the order of the rules, a missing term adding zero, which changes no bit: which
        // step is cheaper than its target's best cost is anyone's guess, and branches on it
        // and on the terms would be mispredicted as often as not. A closed step aims at the
        // cell itself and is masked out.
        const std::array<int64_t, 4> next{cell + 1, cell - 1, cell + width, cell - width};
        std::array<Reached, 4> to;
        std::array<double, 4> uses;
#pragma GCC unroll 4
        for (int kind = 0; kind < 4; ++kind) {
            const bool open = info & (Info::open << kind);
            const int64_t at = open ? next[kind] : cell;
            to[kind] = cells.reach(at, open ? row + (kind == 2) - (kind == 3) : row,
                                   open ? column + (kind == 0) - (kind == 1) : column);
            uses[kind] = static_cast<double>(cells.uses(cell, at, kind, info));
        }
        // Per direction of arrival: the turn paid by a horizontal and by a vertical step.
        static constexpr double turns[3][2] = {{0, 0}, {0, turnPenalty}, {turnPenalty, 0}};
        static constexpr double crossing[2] = {0, crossingPenalty};
        static constexpr double port[2] = {0, portPenalty};
        const auto bit = [&](uint16_t mask) { return (info & mask) ? 1 : 0; };
        using Two = double __attribute__((vector_size(16)));
        const Two length[2] = {Two{dx[column + 1], dx[column]}, Two{dy[row + 1], dy[row]}};
        const Two turn[2] = {Two{1, 1} * turns[direction][0], Two{1, 1} * turns[direction][1]};
        const Two across[2] = {Two{1, 1} * crossing[bit(Info::axes * vertical)],
                               Two{1, 1} * crossing[bit(Info::axes * horizontal)]};
        const Two fee[2] = {Two{port[bit(Info::portFee << 0)], port[bit(Info::portFee << 1)]},
                            Two{port[bit(Info::portFee << 2)], port[bit(Info::portFee << 3)]}};
        const Two usesOf[2] = {Two{uses[0], uses[1]}, Two{uses[2], uses[3]}};
        const Two targetBest[2] = {Two{(*to[0].best)[0], (*to[1].best)[0]}, Two{(*to[2].best)[1], (*to[3].best)[1]}};
        std::array<double, 4> costs;
        unsigned better = 0;
#pragma GCC unroll 2
        for (int pair = 0; pair < 2; ++pair) {
            Two cost = best + length[pair];
            cost += turn[pair];
            cost += (overlapPerLength * length[pair] + overlapPenalty) * usesOf[pair];
            cost += across[pair];
            cost += fee[pair];
            costs[2 * pair] = cost[0];
            costs[2 * pair + 1] = cost[1];
            better |= (cost[0] < targetBest[pair][0] ? 1u : 0u) << (2 * pair);
            better |= (cost[1] < targetBest[pair][1] ? 2u : 0u) << (2 * pair);
        }
        for (better &= info & 15u; better != 0; better &= better - 1) {
            const int kind = std::countr_zero(better);
            const unsigned axis = kind < 2 ? horizontal : vertical;
            (*to[kind].best)[axis - 1] = costs[kind];
            (*to[kind].parent)[axis - 1] = static_cast<uint8_t>(kind * 3 + static_cast<int>(direction));
            const double nextX = kind < 2 ? xs[column + 1 - 2 * kind] : x;
            const double nextY = kind < 2 ? y : ys[row + 5 - 2 * kind];
            m_queue.push({costs[kind] + m_estimate(nextX, nextY), (next[kind] << stateShift) + axis});
        }
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
    const auto reached = [](const BestCosts &best) { return best[0] != infinity || best[1] != infinity; };
    if (isFlat()) {
        const int64_t cells = static_cast<int64_t>(m_records.size());
        for (int64_t block : m_touchedBlocks) {
            const int64_t first = block << blockShift;
            for (int64_t cell = first; cell < std::min(first + cellsPerBlock, cells); ++cell) {
                if (!reached(m_records[static_cast<size_t>(cell)].best))
                    continue;
                const auto [row, column] = m_divider.split(cell);
                tag(row, column);
            }
        }
    } else {
        m_search.forEachTile([&](const SearchTile &tile) {
            for (int offset = 0; offset < cellsPerTile; ++offset) {
                if (!reached(tile.best[static_cast<size_t>(offset)]))
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

std::vector<int64_t> Router::pathTo(int64_t goalState) const
{
    const int64_t width = m_grid.width();
    const int64_t parentOffset[4] = {-1, 1, -width, width};
    std::vector<int64_t> cells;
    for (int64_t state = goalState;;) {
        const int64_t cell = state >> stateShift;
        const unsigned direction = static_cast<unsigned>(state) & ((1u << stateShift) - 1);
        cells.push_back(cell);
        if (direction == noDirection)
            break; // a seed
        uint8_t parent;
        if (isFlat()) {
            parent = m_records[static_cast<size_t>(cell)].parent[direction - 1];
        } else {
            const auto [row, column] = m_divider.split(cell);
            const SearchTile *tile = m_search.find(m_search.tileOf(row, column));
            parent = tile->parent[static_cast<size_t>(TileStore<SearchTile>::offsetOf(row, column))][direction - 1];
        }
        parent &= static_cast<uint8_t>(~wasExpanded);
        state = ((cell + parentOffset[parent / 3]) << stateShift) + parent % 3;
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
    std::optional<int64_t> goalState;
    if (isFlat())
        goalState = search<FlatCells>(starts);
    else if (!m_words.empty())
        goalState = search<TiledCells<true>>(starts);
    else
        goalState = search<TiledCells<false>>(starts);
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
