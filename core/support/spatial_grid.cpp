#include "core/support/spatial_grid.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {

// Cells no smaller than this many points: a card or a screenful then spans a few of them.
constexpr double smallestCell = 64;

struct CellSpan {
    int left, top, right, bottom; // inclusive
};

} // namespace

SpatialGrid::SpatialGrid(const std::vector<Rect> &bounds)
{
    Rect all = Rect::null();
    size_t filed = 0;
    for (const Rect &r : bounds) {
        if (r.isNull())
            continue;
        all = all.unionWith(r);
        ++filed;
    }
    if (filed == 0)
        return;
    m_count = bounds.size();
    // About one rectangle per cell over the whole area.
    const double area = std::max(1.0, all.width()) * std::max(1.0, all.height());
    m_cell = std::max(smallestCell, std::sqrt(area / double(filed)));
    m_left = all.minX();
    m_top = all.minY();
    m_columns = int(std::floor(all.width() / m_cell)) + 1;
    m_rows = int(std::floor(all.height() / m_cell)) + 1;
    const auto spanOf = [&](const Rect &r) {
        const auto column = [&](double x) { return std::clamp(int(std::floor((x - m_left) / m_cell)), 0, m_columns - 1); };
        const auto row = [&](double y) { return std::clamp(int(std::floor((y - m_top) / m_cell)), 0, m_rows - 1); };
        return CellSpan{column(r.minX()), row(r.minY()), column(r.maxX()), row(r.maxY())};
    };
    // Counted first, then filed: one allocation for all cells.
    std::vector<uint32_t> counts(size_t(m_columns) * size_t(m_rows) + 1, 0);
    for (const Rect &r : bounds) {
        if (r.isNull())
            continue;
        const CellSpan span = spanOf(r);
        for (int y = span.top; y <= span.bottom; ++y) {
            for (int x = span.left; x <= span.right; ++x)
                ++counts[size_t(y) * size_t(m_columns) + size_t(x)];
        }
    }
    m_starts.assign(counts.size(), 0);
    uint32_t total = 0;
    for (size_t c = 0; c < counts.size(); ++c) {
        m_starts[c] = total;
        total += counts[c];
    }
    m_entries.resize(total);
    std::vector<uint32_t> next(m_starts.begin(), m_starts.end() - 1);
    for (size_t i = 0; i < bounds.size(); ++i) {
        if (bounds[i].isNull())
            continue;
        const CellSpan span = spanOf(bounds[i]);
        for (int y = span.top; y <= span.bottom; ++y) {
            for (int x = span.left; x <= span.right; ++x)
                m_entries[next[size_t(y) * size_t(m_columns) + size_t(x)]++] = uint32_t(i);
        }
    }
}

std::optional<std::vector<uint32_t>> SpatialGrid::near(const Rect &area) const
{
    if (m_columns == 0 || area.isNull())
        return std::vector<uint32_t>();
    const double left = (area.minX() - m_left) / m_cell;
    const double top = (area.minY() - m_top) / m_cell;
    const double right = (area.maxX() - m_left) / m_cell;
    const double bottom = (area.maxY() - m_top) / m_cell;
    if (right < 0 || bottom < 0 || left >= m_columns || top >= m_rows)
        return std::vector<uint32_t>();
    const int x0 = std::max(0, int(std::floor(left)));
    const int y0 = std::max(0, int(std::floor(top)));
    const int x1 = std::min(m_columns - 1, int(std::floor(right)));
    const int y1 = std::min(m_rows - 1, int(std::floor(bottom)));
    size_t entries = 0;
    for (int y = y0; y <= y1; ++y)
        entries += m_starts[size_t(y) * size_t(m_columns) + size_t(x1) + 1] - m_starts[size_t(y) * size_t(m_columns) + size_t(x0)];
    if (entries > m_entries.size() / 4)
        return std::nullopt;
    // Marked in a set of bits and read back in order: a long rectangle is filed in every cell
    // it crosses, and sorting what a row of cells holds costs more than the set.
    std::vector<uint64_t> marked((m_count + 63) / 64, 0);
    for (int y = y0; y <= y1; ++y) {
        const size_t row = size_t(y) * size_t(m_columns);
        for (uint32_t e = m_starts[row + size_t(x0)]; e < m_starts[row + size_t(x1) + 1]; ++e)
            marked[m_entries[e] / 64] |= uint64_t(1) << (m_entries[e] % 64);
    }
    std::vector<uint32_t> found;
    found.reserve(std::min(entries, m_count));
    for (size_t word = 0; word < marked.size(); ++word) {
        for (uint64_t bits = marked[word]; bits != 0; bits &= bits - 1)
            found.push_back(uint32_t(word * 64 + size_t(std::countr_zero(bits))));
    }
    return found;
}
