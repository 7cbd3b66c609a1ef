#pragma once

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

// Small geometry value types in points, with the semantics of the usual 2-D graphics
// rectangles: a rectangle may have a negative size (standardized on use) and there is a
// null rectangle that is the identity of union.

struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point &) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size &) const = default;
};

struct Rect {
    Point origin;
    Size size;

    static Rect null()
    {
        const double inf = std::numeric_limits<double>::infinity();
        return Rect{{inf, inf}, {0, 0}};
    }
    static Rect make(double x, double y, double width, double height) { return Rect{{x, y}, {width, height}}; }

    bool isNull() const { return std::isinf(origin.x) || std::isinf(origin.y); }
    bool isEmpty() const { return isNull() || size.width == 0 || size.height == 0; }

    double minX() const { return std::min(origin.x, origin.x + size.width); }
    double maxX() const { return std::max(origin.x, origin.x + size.width); }
    double minY() const { return std::min(origin.y, origin.y + size.height); }
    double maxY() const { return std::max(origin.y, origin.y + size.height); }
    double midX() const { return origin.x + size.width / 2; }
    double midY() const { return origin.y + size.height / 2; }
    double width() const { return std::abs(size.width); }
    double height() const { return std::abs(size.height); }

    Rect standardized() const
    {
        if (isNull())
            return *this;
        return make(minX(), minY(), width(), height());
    }
    Rect unionWith(const Rect &other) const
    {
        if (isNull())
            return other.standardized();
        if (other.isNull())
            return standardized();
        const double x0 = std::min(minX(), other.minX());
        const double y0 = std::min(minY(), other.minY());
        return make(x0, y0, std::max(maxX(), other.maxX()) - x0, std::max(maxY(), other.maxY()) - y0);
    }
    // Shrinks by dx on the left and right and dy at the top and bottom (negative grows);
    // a rectangle inset past its size becomes null.
    Rect insetBy(double dx, double dy) const
    {
        if (isNull())
            return *this;
        const Rect r = standardized();
        const double w = r.size.width - 2 * dx;
        const double h = r.size.height - 2 * dy;
        if (w < 0 || h < 0)
            return null();
        return make(r.origin.x + dx, r.origin.y + dy, w, h);
    }
    Rect offsetBy(double dx, double dy) const
    {
        if (isNull())
            return *this;
        return make(origin.x + dx, origin.y + dy, size.width, size.height);
    }
    // Open intersection: rectangles that only touch do not intersect.
    bool intersects(const Rect &other) const
    {
        if (isNull() || other.isNull())
            return false;
        return minX() < other.maxX() && other.minX() < maxX() && minY() < other.maxY() && other.minY() < maxY();
    }
    // Half-open containment, as for a mouse position: the maximum edges are outside.
    bool contains(Point p) const
    {
        if (isNull())
            return false;
        return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
    }

    bool operator==(const Rect &) const = default;
};

// A path of straight and quadratic pieces, in drawing order.
struct PathElement {
    enum class Kind { moveTo, lineTo, quadCurveTo, closeSubpath };
    Kind kind = Kind::moveTo;
    Point point;   // end point (unused for closeSubpath)
    Point control; // only for quadCurveTo
    bool operator==(const PathElement &) const = default;
};

struct Path {
    std::vector<PathElement> elements;

    void moveTo(Point p) { elements.push_back({PathElement::Kind::moveTo, p, {}}); }
    void lineTo(Point p) { elements.push_back({PathElement::Kind::lineTo, p, {}}); }
    void quadCurveTo(Point end, Point control) { elements.push_back({PathElement::Kind::quadCurveTo, end, control}); }
    void closeSubpath() { elements.push_back({PathElement::Kind::closeSubpath, {}, {}}); }
    bool isEmpty() const { return elements.empty(); }
    // The bounds of its points and control points, which hold the whole path: enough to
    // cull it without building it. Null for an empty path.
    Rect controlBounds() const
    {
        if (elements.empty())
            return Rect::null();
        Point low = elements.front().point;
        Point high = low;
        const auto include = [&](const Point &p) {
            low = Point{std::min(low.x, p.x), std::min(low.y, p.y)};
            high = Point{std::max(high.x, p.x), std::max(high.y, p.y)};
        };
        for (const PathElement &element : elements) {
            if (element.kind == PathElement::Kind::closeSubpath)
                continue;
            include(element.point);
            if (element.kind == PathElement::Kind::quadCurveTo)
                include(element.control);
        }
        return Rect::make(low.x, low.y, high.x - low.x, high.y - low.y);
    }

    bool operator==(const Path &) const = default;
};
