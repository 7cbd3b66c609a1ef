#include "core/support/spatial_grid.h"

#include <gtest/gtest.h>

#include <random>

namespace {

bool meets(const Rect &a, const Rect &b)
{
    return a.minX() <= b.maxX() && b.minX() <= a.maxX() && a.minY() <= b.maxY() && b.minY() <= a.maxY();
}

} // namespace

// Cards, long thin runs and points, looked up by screenfuls: every rectangle that meets the
// area is found, each once, in index order.
TEST(SpatialGrid, FindsEveryRectangleThatMeetsTheArea)
{
    std::mt19937 random(53);
    std::uniform_real_distribution<double> x(0, 50000);
    std::uniform_real_distribution<double> y(0, 4000);
    std::vector<Rect> rects;
    for (int i = 0; i < 3000; ++i) {
        switch (i % 4) {
        case 0: rects.push_back(Rect::make(x(random), y(random), 240, 120)); break;
        case 1: rects.push_back(Rect::make(x(random), y(random), x(random) / 2, 0)); break;  // a horizontal run
        case 2: rects.push_back(Rect::make(x(random), y(random), 0, -y(random) / 2)); break; // vertical, upwards
        default: rects.push_back(i % 8 == 3 ? Rect::null() : Rect::make(x(random), y(random), 0, 0)); break;
        }
    }
    const SpatialGrid grid(rects);
    int looked = 0;
    for (int q = 0; q < 300; ++q) {
        const Rect area = Rect::make(x(random) - 2000, y(random) - 500, 1 + q * 7.0, 1 + q * 3.0);
        const std::optional<std::vector<uint32_t>> near = grid.near(area);
        if (!near)
            continue;
        ++looked;
        EXPECT_TRUE(std::is_sorted(near->begin(), near->end()));
        EXPECT_EQ(std::adjacent_find(near->begin(), near->end()), near->end());
        for (size_t i = 0; i < rects.size(); ++i) {
            if (!rects[i].isNull() && meets(rects[i], area)) {
                EXPECT_TRUE(std::binary_search(near->begin(), near->end(), uint32_t(i))) << i << " in query " << q;
            }
        }
        for (uint32_t i : *near)
            EXPECT_FALSE(rects[i].isNull());
    }
    EXPECT_GT(looked, 250);
    // The whole chart: going over everything costs less.
    EXPECT_FALSE(grid.near(Rect::make(-1, -1, 80000, 6000)));
    EXPECT_EQ(grid.near(Rect::make(100000, 0, 10, 10)), std::vector<uint32_t>());
    EXPECT_EQ(SpatialGrid().near(Rect::make(0, 0, 10, 10)), std::vector<uint32_t>());
    EXPECT_EQ(SpatialGrid({Rect::null()}).near(Rect::make(0, 0, 10, 10)), std::vector<uint32_t>());
}
