#include "core/chart/dotted_routing.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double cornerRadius = 8;
constexpr double arrowLength = 8;
constexpr double arrowHalfWidth = 4;

Point along(Point from, Point to, double distance, double length)
{
    return {from.x + (to.x - from.x) * distance / length, from.y + (to.y - from.y) * distance / length};
}

} // namespace

Path DottedRoute::path() const
{
    Path result;
    if (points.empty())
        return result;
    result.moveTo(points.front());
    if (points.size() == 1)
        return result;
    for (size_t i = 1; i + 1 < points.size(); ++i) {
        const Point a = points[i - 1];
        const Point c = points[i];
        const Point b = points[i + 1];
        const double in = std::hypot(c.x - a.x, c.y - a.y);
        const double out = std::hypot(b.x - c.x, b.y - c.y);
        // Between short pieces the corner takes half the shorter one, so corners never overlap.
        double r = cornerRadius;
        if (in / 2 < cornerRadius || out / 2 < cornerRadius)
            r = std::min(in / 2, out / 2);
        if (r > 0) {
            result.lineTo(along(c, a, r, in));
            result.quadCurveTo(along(c, b, r, out), c);
        }
    }
    result.lineTo(points.back());
    return result;
}

Path DottedRoute::arrowhead() const
{
    Path result;
    if (points.size() < 2)
        return result;
    const Point tip = points.back();
    const Point before = points[points.size() - 2];
    const double length = std::hypot(tip.x - before.x, tip.y - before.y);
    if (!(length > 0))
        return result;
    const Point u{(tip.x - before.x) / length, (tip.y - before.y) / length};
    const Point base{tip.x - arrowLength * u.x, tip.y - arrowLength * u.y};
    result.moveTo(tip);
    result.lineTo({base.x + arrowHalfWidth * -u.y, base.y + arrowHalfWidth * u.x});
    result.lineTo({base.x + arrowHalfWidth * u.y, base.y + arrowHalfWidth * -u.x});
    result.closeSubpath();
    return result;
}
