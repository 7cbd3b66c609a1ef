#include "core/chart/dotted_routing_grid.h"

#include <algorithm>

namespace DottedRouting {

namespace {

std::vector<double> sortedUnique(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

std::optional<int64_t> indexOf(const std::vector<double> &values, double value)
{
    const auto found = std::lower_bound(values.begin(), values.end(), value);
    if (found == values.end() || *found != value)
        return std::nullopt;
    return found - values.begin();
}

void setBits(std::vector<uint64_t> &bits, int64_t from, int64_t to)
{
    for (int64_t i = from; i < to;) {
        const int64_t word = i / 64;
        const int64_t bit = i % 64;
        const int64_t count = std::min<int64_t>(64 - bit, to - i);
        const uint64_t mask = count == 64 ? ~uint64_t(0) : ((uint64_t(1) << count) - 1) << bit;
        bits[static_cast<size_t>(word)] |= mask;
        i += count;
    }
}

} // namespace

RoutingGrid::RoutingGrid(const std::vector<Rect> &obstacles, bool dense, const Limits &limits)
{
    std::vector<double> xs;
    std::vector<double> ys;
    xs.reserve(obstacles.size() * (dense ? 7 : 3));
    ys.reserve(xs.capacity());
    for (const Rect &o : obstacles) {
        if (dense) {
            xs.insert(xs.end(), {o.minX() - 6, o.minX(), o.midX() - 12, o.midX(), o.midX() + 12, o.maxX(), o.maxX() + 6});
            ys.insert(ys.end(), {o.minY() - 6, o.minY(), o.midY() - 12, o.midY(), o.midY() + 12, o.maxY(), o.maxY() + 6});
        } else {
            xs.insert(xs.end(), {o.minX(), o.midX(), o.maxX()});
            ys.insert(ys.end(), {o.minY(), o.midY(), o.maxY()});
        }
    }
    m_xs = sortedUnique(std::move(xs));
    m_ys = sortedUnique(std::move(ys));

    const int64_t cells = width() * height();
    m_useBits = cells <= limits.bitsetCells;
    if (m_useBits) {
        for (auto &bits : m_bits)
            bits.assign(static_cast<size_t>((cells + 63) / 64), 0);
    } else {
        for (auto &runs : m_runs)
            runs.resize(static_cast<size_t>(height()));
    }

    // A route may run along an obstacle's outline but never through its inside.
    for (const Rect &o : obstacles) {
        const int64_t i0 = *column(o.minX());
        const int64_t i1 = *column(o.maxX());
        const int64_t j0 = *row(o.minY());
        const int64_t j1 = *row(o.maxY());
        mark(right, j0 + 1, j1, i0, i1);
        mark(down, j0, j1, i0 + 1, i1);
        mark(inside, j0 + 1, j1, i0 + 1, i1);
    }

    if (!m_useBits) {
        for (auto &runs : m_runs) {
            for (Runs &row : runs) {
                std::sort(row.begin(), row.end());
                Runs merged;
                for (const auto &run : row) {
                    if (!merged.empty() && run.first <= merged.back().second)
                        merged.back().second = std::max(merged.back().second, run.second);
                    else
                        merged.push_back(run);
                }
                row = std::move(merged);
            }
        }
    }
}

std::optional<int64_t> RoutingGrid::column(double x) const
{
    return indexOf(m_xs, x);
}

std::optional<int64_t> RoutingGrid::row(double y) const
{
    return indexOf(m_ys, y);
}

void RoutingGrid::mark(Kind kind, int64_t rowBegin, int64_t rowEnd, int64_t columnBegin, int64_t columnEnd)
{
    if (columnBegin >= columnEnd)
        return;
    for (int64_t r = rowBegin; r < rowEnd; ++r) {
        if (m_useBits)
            setBits(m_bits[kind], r * width() + columnBegin, r * width() + columnEnd);
        else
            m_runs[kind][static_cast<size_t>(r)].emplace_back(columnBegin, columnEnd);
    }
}

bool RoutingGrid::test(Kind kind, int64_t row, int64_t column) const
{
    if (m_useBits)
        return bitAt(m_bits[kind], row * width() + column);
    const Runs &runs = m_runs[kind][static_cast<size_t>(row)];
    auto after = std::upper_bound(runs.begin(), runs.end(), column,
                                  [](int64_t c, const std::pair<int64_t, int64_t> &run) { return c < run.first; });
    return after != runs.begin() && column < std::prev(after)->second;
}

void RoutingGrid::rowBits(Kind kind, int64_t row, std::vector<uint64_t> &bits) const
{
    const int64_t columns = width();
    bits.assign(static_cast<size_t>((columns + 63) / 64), 0);
    if (!m_useBits) {
        for (const auto &[begin, end] : m_runs[kind][static_cast<size_t>(row)])
            setBits(bits, begin, end);
        return;
    }
    // The row starts anywhere in a word of the grid's bits: each of its words joins two.
    const std::vector<uint64_t> &all = m_bits[kind];
    const int64_t first = row * columns;
    const int shift = static_cast<int>(first % 64);
    for (size_t word = 0; word < bits.size(); ++word) {
        const size_t at = static_cast<size_t>(first / 64) + word;
        uint64_t joined = all[at] >> shift;
        if (shift != 0 && at + 1 < all.size())
            joined |= all[at + 1] << (64 - shift);
        bits[word] = joined;
    }
}

} // namespace DottedRouting
