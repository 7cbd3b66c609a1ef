#pragma once

// Internals of the dotted-line router: one routing call.

#include "core/chart/dotted_routing.h"
#include "core/chart/dotted_routing_cells.h"
#include "core/chart/dotted_routing_grid.h"
#include "core/chart/dotted_routing_queue.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace DottedRouting {

struct Port {
    Point boundary; // on the card's outline
    int64_t cell;   // where the grid search starts or ends
};

struct Seed {
    int64_t cell;
    double cost;
};

// The Manhattan distance from a grid point to the nearest goal point, from tables made per
// route over the grid's columns and rows. The goal points are gathered into groups whose
// distance splits into a part per column and a part per row (see prepare), so a step reads
// one entry of each table per two groups; an odd group count is padded with the first.
class Estimate {
public:
    void clear() { m_count = 0; }
    bool contains(Point p) const
    {
        return std::find(m_points.begin(), m_points.begin() + static_cast<std::ptrdiff_t>(m_count), p) !=
               m_points.begin() + static_cast<std::ptrdiff_t>(m_count);
    }
    void add(Point p) { m_points[m_count++] = p; }
    // Called after the last add, with the grid's lines; at least one point was added.
    void prepare(const std::vector<double> &xs, const std::vector<double> &ys);
    [[gnu::always_inline]] double operator()(int64_t column, int64_t row) const
    {
        const Pair *across = &m_columns[static_cast<size_t>(column) * m_pairs];
        const Pair *down = &m_rows[static_cast<size_t>(row) * m_pairs];
        Pair least = across[0] + down[0];
        for (size_t pair = 1; pair < m_pairs; ++pair)
            least = min(least, across[pair] + down[pair]);
        return least[0] < least[1] ? least[0] : least[1];
    }

private:
    using Pair = double __attribute__((vector_size(16)));
    static constexpr size_t most = 12; // three ports a side, each its own point

    static Pair min(Pair a, Pair b) { return a < b ? a : b; }

    std::array<Point, most> m_points{};
    size_t m_count = 0;
    size_t m_pairs = 0;
    std::vector<Pair> m_columns; // per column, its distance to each group, in pairs
    std::vector<Pair> m_rows;
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
    // States the searches expanded since the last call.
    uint64_t takeExpanded() { return std::exchange(m_expanded, 0); }

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
    void fillWords();
    uint16_t gatheredInfo(int64_t cell, int64_t row, int64_t column) const;
    void clearBlock(int64_t block);
    // The goal state of the cheapest path from the starts to the goal set by setGoals, if
    // any; nothing either once stopped.
    std::optional<int64_t> search(const std::vector<Port> &starts);
    template <typename Cells>
    [[gnu::noinline]] std::optional<int64_t> searchWith(const std::vector<Port> &starts);
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
    uint64_t m_expanded = 0;
    // Flat storage over the whole grid when it fits.
    GridArray<CellRecord> m_records;
    // Words alone otherwise, while the grid is not too large for them.
    GridArray<CellWord> m_words;
    std::vector<uint32_t> m_stamps;       // per block: the search that last cleared it
    std::vector<uint64_t> m_touched;      // per block, a bit: cleared by the current search
    std::vector<int64_t> m_marked;        // cells with goal bits of the current route
    uint32_t m_generation = 0;
    // Tiled storage otherwise.
    TileStore<SearchTile> m_search;
    // The current route's goal.
    std::vector<int64_t> m_goalCells;
    Estimate m_estimate;
};

} // namespace DottedRouting
