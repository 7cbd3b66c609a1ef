#pragma once

// Internals of the dotted-line router, shared with its tests: the routing grid and the
// per-cell storage of one routing call.

#include "core/chart/dotted_routing.h"
#include "core/chart/dotted_routing_arrays.h"
#include "core/support/geometry.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <stop_token>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>


namespace DottedRouting {

// Where the router trades memory for speed. The defaults suit any chart; tests lower them
// to run the fallbacks on small charts.
struct Limits {
    // Up to this many cells, blocked grid edges are bitsets; above, sorted runs per row.
    int64_t bitsetCells = int64_t(1) << 27;
    // Up to this many cells, a search keeps its per-cell state in arrays over the whole grid
    // (24 bytes a cell); above, in 16 x 16 tiles, as many as it touches.
    int64_t flatCells = int64_t(1) << 24;
    // Up to this many 16 x 16 tiles, tiles are found in a flat table; above, by hashing.
    int64_t flatTiles = int64_t(1) << 24;
    // Cells a flood from a manager's ports visits before it takes the area as open.
    int64_t floodBudget = 1024;
    // Past flatCells and up to this many cells, what a search step reads of a cell is kept in
    // an array over the whole grid (4 bytes a cell); above, it is gathered at every step.
    int64_t wordCells = int64_t(1) << 26;
};

// As routes(nodes, edges), with the given limits. The result never depends on them.
std::vector<DottedRoute> routes(const std::vector<ChartNode> &nodes, const std::vector<ChartEdge> &edges,
                                const Limits &limits);
std::optional<std::vector<DottedRoute>> routes(const std::vector<ChartNode> &nodes,
                                               const std::vector<ChartEdge> &edges, const Limits &limits,
                                               std::stop_token stop);
bool routeOn(const std::vector<ChartNode> &nodes, const std::vector<ChartEdge> &ordered, std::vector<Step> &steps,
             std::stop_token stop, const std::function<void(const std::vector<Step> &)> &routed,
             const Limits &limits);

// Bit `i` of a bitset kept in words.
inline bool bitAt(const std::vector<uint64_t> &bits, int64_t i)
{
    return ((bits[static_cast<size_t>(i / 64)] >> (i % 64)) & 1) != 0;
}

// A card's frame grown by the clearance: the obstacle the routes go around, and the ring on
// which its ports lie.
inline Rect obstacleOf(const Rect &frame)
{
    return frame.insetBy(-14, -14);
}

// The lanes (x of every column, y of every row) and which grid edges cross an obstacle. A
// cell is row * width + column.
class RoutingGrid {
public:
    RoutingGrid(const std::vector<Rect> &obstacles, bool dense, const Limits &limits);

    int64_t width() const { return static_cast<int64_t>(m_xs.size()); }
    int64_t height() const { return static_cast<int64_t>(m_ys.size()); }
    double x(int64_t column) const { return m_xs[static_cast<size_t>(column)]; }
    double y(int64_t row) const { return m_ys[static_cast<size_t>(row)]; }
    const std::vector<double> &xs() const { return m_xs; }
    const std::vector<double> &ys() const { return m_ys; }
    // The column or row whose coordinate is exactly this value.
    std::optional<int64_t> column(double x) const;
    std::optional<int64_t> row(double y) const;

    // The grid edge from (column, row) to (column + 1, row).
    bool blocksRight(int64_t row, int64_t column) const { return test(right, row, column); }
    // The grid edge from (column, row) to (column, row + 1).
    bool blocksDown(int64_t row, int64_t column) const { return test(down, row, column); }
    // The grid point lies strictly inside an obstacle.
    bool isInside(int64_t row, int64_t column) const { return test(inside, row, column); }
    // blocksRight or blocksDown of a whole row, a bit per column; bits past the last column
    // are left as they come.
    void rowBlocksRight(int64_t row, std::vector<uint64_t> &bits) const { rowBits(right, row, bits); }
    void rowBlocksDown(int64_t row, std::vector<uint64_t> &bits) const { rowBits(down, row, bits); }

private:
    enum Kind { right, down, inside };
    using Runs = std::vector<std::pair<int64_t, int64_t>>; // [begin, end) columns, sorted, disjoint

    void mark(Kind kind, int64_t rowBegin, int64_t rowEnd, int64_t columnBegin, int64_t columnEnd);
    bool test(Kind kind, int64_t row, int64_t column) const;
    void rowBits(Kind kind, int64_t row, std::vector<uint64_t> &bits) const;

    std::vector<double> m_xs;
    std::vector<double> m_ys;
    bool m_useBits = true;
    std::array<std::vector<uint64_t>, 3> m_bits;
    std::array<std::vector<Runs>, 3> m_runs; // per row, when the grid is too large for bits
};

// Division by the grid width without a divide instruction while cells fit in 32 bits.
class CellDivider {
public:
    explicit CellDivider(int64_t width, int64_t cells)
        : m_width(static_cast<uint64_t>(width)),
          m_magic(width > 1 ? UINT64_MAX / static_cast<uint64_t>(width) + 1 : 0),
          m_fast(width > 1 && cells * 3 < (int64_t(1) << 32))
    {
    }
    // Row and column of a cell.
    std::pair<int64_t, int64_t> split(int64_t cell) const
    {
        const uint64_t n = static_cast<uint64_t>(cell);
        uint64_t row;
        if (m_fast)
            row = static_cast<uint64_t>((static_cast<unsigned __int128>(m_magic) * n) >> 64);
        else
            row = n / m_width;
        return {static_cast<int64_t>(row), static_cast<int64_t>(n - row * m_width)};
    }

private:
    uint64_t m_width;
    uint64_t m_magic;
    bool m_fast;
};

// Per-cell values in 16 x 16 tiles that are allocated on first use, so memory follows the
// cells a call touches, not the size of the grid. startOver() forgets every tile at once
// and keeps their memory for reuse. `Tile` provides cells() and reset().
template <typename Tile>
class TileStore {
public:
    static constexpr int side = 16;
    static constexpr int cellsPerTile = side * side;

    TileStore(int64_t width, int64_t height, const Limits &limits)
        : m_tilesAcross((width + side - 1) / side)
    {
        const int64_t tiles = m_tilesAcross * ((height + side - 1) / side);
        m_hashed = tiles > limits.flatTiles;
        if (!m_hashed)
            m_table.resize(static_cast<size_t>(tiles));
    }

    // Rows and columns are not negative: shifts and masks, no signed division.
    int64_t tileOf(int64_t row, int64_t column) const
    {
        return static_cast<int64_t>(static_cast<uint64_t>(row) / side * static_cast<uint64_t>(m_tilesAcross) +
                                    static_cast<uint64_t>(column) / side);
    }
    static int offsetOf(int64_t row, int64_t column)
    {
        return static_cast<int>(static_cast<uint64_t>(row) % side * side + static_cast<uint64_t>(column) % side);
    }
    // The row and column of a cell given by its tile and offset.
    std::pair<int64_t, int64_t> cellOf(int64_t tile, int offset) const
    {
        return {(tile / m_tilesAcross) * side + offset / side, (tile % m_tilesAcross) * side + offset % side};
    }

    // The tile when it was used since the last startOver, else null.
    const Tile *find(int64_t tile) const
    {
        if (m_hashed) {
            auto found = m_hashedTable.find(tile);
            return found == m_hashedTable.end() ? nullptr : found->second;
        }
        const Entry &entry = m_table[static_cast<size_t>(tile)];
        return entry.generation == m_generation ? entry.tile : nullptr;
    }
    Tile &get(int64_t tile)
    {
        if (const Tile *found = find(tile))
            return const_cast<Tile &>(*found);
        if (m_used == m_pool.size())
            addToPool();
        Tile &fresh = *m_pool[m_used++];
        fresh.reset(tile);
        if (m_hashed)
            m_hashedTable.emplace(tile, &fresh);
        else
            m_table[static_cast<size_t>(tile)] = {&fresh, m_generation};
        return fresh;
    }
    void startOver()
    {
        m_used = 0;
        m_hashedTable.clear();
        if (++m_generation == 0) {
            std::fill(m_table.begin(), m_table.end(), Entry{});
            m_generation = 1;
        }
    }
    // Every tile used since the last startOver, in the order of first use.
    template <typename Visit>
    void forEachTile(Visit visit) const
    {
        for (size_t slot = 0; slot < m_used; ++slot)
            visit(*m_pool[slot]);
    }

private:
    struct Entry {
        Tile *tile = nullptr;
        uint32_t generation = 0;
    };

    // Tiles come in slabs that double up to 2 MB, which may then live in huge pages.
    void addToPool()
    {
        if (m_slabs.empty() || m_slabUsed == m_slabs.back().size()) {
            const size_t most = std::max<size_t>(1, (size_t(2) << 20) / sizeof(Tile));
            m_slabs.emplace_back(std::min(most, std::max<size_t>(16, m_pool.size())));
            m_slabUsed = 0;
        }
        m_pool.push_back(&m_slabs.back()[m_slabUsed++]);
    }

    int64_t m_tilesAcross;
    bool m_hashed = false;
    uint32_t m_generation = 1;
    size_t m_used = 0;
    std::vector<Entry> m_table;
    std::unordered_map<int64_t, Tile *> m_hashedTable;
    std::vector<Tile *> m_pool;
    std::vector<GridArray<Tile>> m_slabs;
    size_t m_slabUsed = 0;
};

} // namespace DottedRouting
