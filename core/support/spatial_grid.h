#pragma once

#include "core/support/geometry.h"

#include <cstdint>
#include <optional>
#include <vector>

// Rectangles filed by the cells of a square grid over their bounds, so that a look-up of an
// area visits what lies near it rather than every rectangle: a repaint of a few tiles of a
// 20,000-card chart touches the cards and strokes that lie there. Immutable once made.
class SpatialGrid {
public:
    SpatialGrid() = default;
    // `bounds` by index; a null rectangle is filed nowhere and never found.
    explicit SpatialGrid(const std::vector<Rect> &bounds);

    // The indices, ascending, of the rectangles that may meet `area`: every one that does,
    // and some that lie near it. None when `area` covers most of the grid, where going over
    // every rectangle costs less than sorting what the cells hold.
    std::optional<std::vector<uint32_t>> near(const Rect &area) const;

private:
    double m_left = 0;
    double m_top = 0;
    double m_cell = 1;
    int m_columns = 0;
    int m_rows = 0;
    size_t m_count = 0;              // rectangles filed or not, by index
    std::vector<uint32_t> m_starts;  // cell (row by row) -> its first entry; one more at the end
    std::vector<uint32_t> m_entries; // the indices filed in each cell, ascending
};
