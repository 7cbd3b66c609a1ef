#pragma once

#include "core/chart/dotted_routing_grid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace DottedRouteShape {

inline bool onOutline(Point p, const Rect &r)
{
    const bool onVertical = (p.x == r.minX() || p.x == r.maxX()) && r.minY() <= p.y && p.y <= r.maxY();
    const bool onHorizontal = (p.y == r.minY() || p.y == r.maxY()) && r.minX() <= p.x && p.x <= r.maxX();
    return onVertical || onHorizontal;
}

// Whether an axis-parallel segment passes through the open inside of a rectangle.
inline bool entersInside(Point a, Point b, const Rect &r)
{
    if (a.y == b.y)
        return r.minY() < a.y && a.y < r.maxY() && std::max(a.x, b.x) > r.minX() && std::min(a.x, b.x) < r.maxX();
    return r.minX() < a.x && a.x < r.maxX() && std::max(a.y, b.y) > r.minY() && std::min(a.y, b.y) < r.maxY();
}

// Shapes a router (the reference too) could get wrong: pieces horizontal or vertical, no
// three points on one line, ends on the two cards' outlines, nothing through a card or (away
// from the ends) its clearance.
inline void expectGoodShape(const DottedRoute &route, const std::vector<ChartNode> &nodes, const std::string &context)
{
    const auto frameOf = [&](const std::string &id) {
        return std::find_if(nodes.begin(), nodes.end(), [&](const ChartNode &n) { return n.id == id; })->frame;
    };
    const std::vector<Point> &p = route.points;
    ASSERT_GE(p.size(), 2u) << context;
    EXPECT_TRUE(onOutline(p.front(), frameOf(route.reportID))) << context;
    EXPECT_TRUE(onOutline(p.back(), frameOf(route.managerID))) << context;
    for (size_t i = 0; i + 1 < p.size(); ++i) {
        EXPECT_TRUE(p[i] != p[i + 1] && (p[i].x == p[i + 1].x || p[i].y == p[i + 1].y)) << context;
        if (i + 2 < p.size()) {
            EXPECT_FALSE((p[i].x == p[i + 1].x && p[i + 1].x == p[i + 2].x) ||
                         (p[i].y == p[i + 1].y && p[i + 1].y == p[i + 2].y))
                << context;
        }
        for (const ChartNode &node : nodes) {
            EXPECT_FALSE(entersInside(p[i], p[i + 1], node.frame)) << context << " through " << node.id;
            if (i > 0 && i + 2 < p.size()) {
                EXPECT_FALSE(entersInside(p[i], p[i + 1], DottedRouting::obstacleOf(node.frame)))
                    << context << " near " << node.id;
            }
        }
    }
}

} // namespace DottedRouteShape
