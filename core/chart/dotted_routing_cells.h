#pragma once

// Internals of the dotted-line router: what it keeps per grid cell for one routing call and
// for one search.

#include "core/chart/dotted_routing_grid.h"

#include <array>
#include <cstdint>
#include <limits>

namespace DottedRouting {

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr int cellsPerTile = TileStore<int>::cellsPerTile;

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

} // namespace DottedRouting
