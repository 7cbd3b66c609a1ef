#include "core/chart/dotted_routing_router.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstdint>
#include <type_traits>

namespace DottedRouting {

namespace {

constexpr double turnPenalty = 18;
constexpr double overlapPerLength = 4;
constexpr double overlapPenalty = 40;
constexpr double crossingPenalty = 80;
constexpr double portPenalty = 100;

// Starts loading the memory at `index` of an array, which may lie outside it: a hint only.
template <typename T>
void prefetchAt(const T *array, int64_t index)
{
    __builtin_prefetch(reinterpret_cast<const void *>(reinterpret_cast<uintptr_t>(array) +
                                                      static_cast<uintptr_t>(index) * sizeof(T)));
}

// A step straight back to the state a state was reached from can't be cheaper than that
// state's best cost, as no cost term is negative: its open bit, by the parent's value.
constexpr std::array<uint16_t, 12> stepBack = [] {
    std::array<uint16_t, 12> back{};
    for (int kind = 0; kind < 4; ++kind) {
        const int axis = kind < 2 ? horizontal : vertical;
        back[static_cast<size_t>(kind * 3 + axis)] = static_cast<uint16_t>(Info::open << (kind ^ 1));
    }
    return back;
}();

} // namespace

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
    m_touched[static_cast<size_t>(block / 64)] |= uint64_t(1) << (block % 64);
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
    // Starts loading the cells that the steps from `cell` read last, the rows above and
    // below, and the cell of the state likely to come out next (if known).
    void prefetch(int64_t cell, int64_t nextState) const
    {
        prefetchAt(m_records, cell + m_width);
        prefetchAt(m_records, cell - m_width);
        if (nextState >= 0) {
            const int64_t next = nextState >> stateShift;
            prefetchAt(m_records, next);
            prefetchAt(m_records, next + m_width);
            prefetchAt(m_records, next - m_width);
        }
    }
    // The cell's word.
    uint16_t info(int64_t cell, int64_t, int64_t) const { return m_records[cell].word.info; }
    // Earlier routes along the grid edge of a step from `cell` to `next`, known to be used:
    // the count is kept at the upper or left end.
    uint32_t uses(int64_t cell, int64_t next, int kind) const
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
    // Flat storage finds a step's cell as directly as the tiles find one in the same tile.
    void enter(int64_t, int64_t, int64_t) const {}
    template <int kind>
    Reached reachStep(int64_t next, int64_t nextRow, int64_t nextColumn) const
    {
        return reach(next, nextRow, nextColumn);
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
    explicit TiledCells(Router &router)
        : m_router(router), m_words(router.m_words.data()), m_width(router.m_grid.width())
    {
    }
    // As FlatCells::prefetch, for the words and the next state's tile.
    void prefetch(int64_t cell, int64_t nextState) const
    {
        if constexpr (withWords) {
            prefetchAt(m_words, cell + m_width);
            prefetchAt(m_words, cell - m_width);
        }
        if (nextState < 0)
            return;
        const int64_t next = nextState >> stateShift;
        if constexpr (withWords)
            prefetchAt(m_words, next);
        const auto [row, column] = m_router.m_divider.split(next);
        if (const SearchTile *tile = m_router.m_search.find(m_router.m_search.tileOf(row, column))) {
            const size_t offset = static_cast<size_t>(TileStore<SearchTile>::offsetOf(row, column));
            __builtin_prefetch(&tile->best[offset]);
            __builtin_prefetch(&tile->parent[offset]);
        }
    }
    uint16_t info(int64_t cell, int64_t row, int64_t column) const
    {
        if constexpr (withWords)
            return m_words[cell].info;
        return m_router.gatheredInfo(cell, row, column);
    }
    uint32_t uses(int64_t cell, int64_t next, int kind) const
    {
        if constexpr (withWords) {
            const uint8_t uses = m_words[kind == 0 || kind == 2 ? cell : next].uses[kind < 2 ? 0 : 1];
            if (uses != manyUses) [[likely]]
                return uses;
        }
        return m_router.usesFrom(cell, kind);
    }
    // Finds the tile of the state being expanded, which its steps mostly stay in.
    void enter(int64_t cell, int64_t row, int64_t column) const
    {
        const Reached here = reach(cell, row, column);
        m_here = m_last;
        m_hereOffset = static_cast<int>(here.best - m_here->best.data());
    }
    // The state being expanded; enter was called for it.
    Reached reached(int64_t, int64_t, int64_t) const
    {
        return {&m_here->best[static_cast<size_t>(m_hereOffset)], &m_here->parent[static_cast<size_t>(m_hereOffset)]};
    }
    // Where a step of the given kind from the state being expanded stores the state it reaches.
    template <int kind>
    Reached reachStep(int64_t next, int64_t nextRow, int64_t nextColumn) const
    {
        constexpr int side = TileStore<SearchTile>::side;
        constexpr int delta = kind == 0 ? 1 : kind == 1 ? -1 : kind == 2 ? side : -side;
        const int across = kind < 2 ? m_hereOffset % side : m_hereOffset / side;
        if (across != (kind % 2 == 0 ? side - 1 : 0)) [[likely]] {
            const size_t offset = static_cast<size_t>(m_hereOffset + delta);
            return {&m_here->best[offset], &m_here->parent[offset]};
        }
        return reach(next, nextRow, nextColumn);
    }
    // Most steps stay in the tile of the step before: it is looked up once.
    Reached reach(int64_t, int64_t row, int64_t column) const
    {
        const int64_t tile = m_router.m_search.tileOf(row, column);
        if (tile != m_lastTile) {
            m_last = &m_router.m_search.get(tile);
            m_lastTile = tile;
        }
        const size_t offset = static_cast<size_t>(TileStore<SearchTile>::offsetOf(row, column));
        return {&m_last->best[offset], &m_last->parent[offset]};
    }

private:
    Router &m_router;
    const CellWord *m_words;
    int64_t m_width;
    mutable int64_t m_lastTile = -1;
    mutable SearchTile *m_last = nullptr;
    mutable SearchTile *m_here = nullptr;
    mutable int m_hereOffset = 0;
};

void Router::startSearch(const std::vector<Port> &starts)
{
    if (isFlat()) {
        std::fill(m_touched.begin(), m_touched.end(), 0);
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
        m_queue.push({cost + m_estimate(column, row), start.cell << stateShift});
    }
}

std::optional<int64_t> Router::search(const std::vector<Port> &starts)
{
    if (isFlat())
        return searchWith<FlatCells>(starts);
    if (!m_words.empty())
        return searchWith<TiledCells<true>>(starts);
    return searchWith<TiledCells<false>>(starts);
}

template <typename Cells>
std::optional<int64_t> Router::searchWith(const std::vector<Port> &starts)
{
    startSearch(starts);
    const Cells cells(*this);
    const int64_t width = m_grid.width();
    const double *dx = m_dx.data();
    const double *dy = m_dy.data();
    // Counted on the way out, however the search ends.
    struct Count {
        uint64_t &expanded;
        uint64_t states = 0;
        ~Count() { expanded += states; }
    } count{m_expanded};
    for (uint32_t pops = 0; !m_queue.isEmpty(); ++pops) {
        // A long search looks now and then whether its result is still wanted.
        if (pops % 4096 == 4095 && m_stop.stop_requested()) {
            m_stopped = true;
            return std::nullopt;
        }
        const RouteQueue::Entry entry = m_queue.pop();
        const int64_t cell = entry.state >> stateShift;
        const unsigned direction = static_cast<unsigned>(entry.state) & ((1u << stateShift) - 1);
        cells.prefetch(cell, m_queue.likelyNext());
        const auto [row, column] = m_divider.split(cell);
        cells.enter(cell, row, column);
        double best;
        uint16_t deadStep = 0;
        if (direction == noDirection) {
            // A seed: two ports on one cell push it twice at the same priority.
            best = seedCost(cell);
            if (best + m_estimate(column, row) != entry.priority)
                continue;
        } else {
            // The first entry of a state to come out is its current one: the entry pushed for
            // its best cost has the least priority among them. Any later one is outdated,
            // unless the state was reached more cheaply since and so is open again.
            const Reached here = cells.reached(cell, row, column);
            uint8_t &parent = (*here.parent)[direction - 1];
            if (parent & wasExpanded)
                continue;
            assert(parent < stepBack.size());
            deadStep = stepBack[parent];
            parent |= wasExpanded;
            best = (*here.best)[direction - 1];
        }
        ++count.states;
        const uint16_t info = cells.info(cell, row, column) & ~deadStep;
        if (info & Info::goal)
            return entry.state;

        // Steps in the order of the rules: right, left, down, up. Cost terms that are zero
        // are left out: adding zero to a cost changes no bit.
        const auto tryStep = [&](auto kindTag, auto arrivalTag, int64_t next, int64_t nextRow,
                                 int64_t nextColumn) __attribute__((always_inline)) {
            constexpr int kind = decltype(kindTag)::value;
            constexpr unsigned arrival = decltype(arrivalTag)::value; // the direction, when compiled
            constexpr unsigned axis = kind < 2 ? horizontal : vertical;
            constexpr unsigned across = kind < 2 ? vertical : horizontal;
            // Both may call out (to clear a block or find a tile, to count many routes). Done
            // before the length is read and the cost summed, they let these stay in registers:
            // live across a call, a value is kept in memory and stored and loaded again between
            // the terms of a sum.
            const Reached reached = cells.template reachStep<kind>(next, nextRow, nextColumn);
            const uint32_t uses = (info & (Info::used << kind)) ? cells.uses(cell, next, kind) : 0;
            const double length = kind == 0 ? dx[nextColumn]
                                  : kind == 1 ? dx[nextColumn + 1]
                                  : kind == 2 ? dy[nextRow]
                                              : dy[nextRow + 1];
            double cost = best + length;
            if (arrival != noDirection && arrival != axis)
                cost += turnPenalty;
            if (info & (Info::used << kind))
                cost += (overlapPerLength * length + overlapPenalty) * static_cast<double>(uses);
            if (info & (Info::axes * across))
                cost += crossingPenalty;
            if (info & (Info::portFee << kind))
                cost += portPenalty;
            double &nextBest = (*reached.best)[axis - 1];
            if (cost < nextBest) {
                nextBest = cost;
                (*reached.parent)[axis - 1] = static_cast<uint8_t>(kind * 3 + static_cast<int>(arrival));
                m_queue.push({cost + m_estimate(nextColumn, nextRow), (next << stateShift) + axis});
            }
        };
        // Compiled once per direction of arrival, so that whether a step turns is known without a
        // test on each step.
        const auto steps = [&](auto arrivalTag, int64_t atRow, int64_t atColumn)
                               __attribute__((always_inline)) {
            if (info & (Info::open << 0))
                tryStep(std::integral_constant<int, 0>{}, arrivalTag, cell + 1, atRow, atColumn + 1);
            if (info & (Info::open << 1))
                tryStep(std::integral_constant<int, 1>{}, arrivalTag, cell - 1, atRow, atColumn - 1);
            if (info & (Info::open << 2))
                tryStep(std::integral_constant<int, 2>{}, arrivalTag, cell + width, atRow + 1, atColumn);
            if (info & (Info::open << 3))
                tryStep(std::integral_constant<int, 3>{}, arrivalTag, cell - width, atRow - 1, atColumn);
        };
        if (direction == horizontal)
            steps(std::integral_constant<unsigned, horizontal>{}, row, column);
        else if (direction == vertical)
            steps(std::integral_constant<unsigned, vertical>{}, row, column);
        else
            steps(std::integral_constant<unsigned, noDirection>{}, row, column);
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
        for (size_t word = 0; word < m_touched.size(); ++word) {
            for (uint64_t bits = m_touched[word]; bits != 0; bits &= bits - 1) {
                const int64_t block = static_cast<int64_t>(word * 64) + std::countr_zero(bits);
                const int64_t first = block << blockShift;
                for (int64_t cell = first; cell < std::min(first + cellsPerBlock, cells); ++cell) {
                    if (!reached(m_records[static_cast<size_t>(cell)].best))
                        continue;
                    const auto [row, column] = m_divider.split(cell);
                    tag(row, column);
                }
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

} // namespace DottedRouting
