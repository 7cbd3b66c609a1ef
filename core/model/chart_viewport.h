#pragma once

#include "core/support/geometry.h"

#include <optional>

// Zoom and pan of a chart canvas. A chart point (x, y) is drawn in the view at
// (x * scale + offset.width, y * scale + offset.height).
struct ChartViewport {
    double scale = 1; // view points per chart point
    Size offset;      // view position of the chart origin

    static constexpr double maximumScale = 3;
    // Zooming out stops here, or at the scale before the zoom when that is already smaller.
    static constexpr double minimumZoomScale = 0.01;

    // Scales by e^delta about the view point `at`, which keeps the chart point under it.
    // Non-finite input or a broken scale leaves the viewport unchanged.
    ChartViewport zoomed(double logarithmicDelta, Point at) const;
    // Moves the chart; a non-finite translation or result leaves the viewport unchanged.
    ChartViewport panned(Size by) const;
    Point chartPoint(Point at) const;
    // The part of the chart a view of this size shows, or nothing when it is not finite.
    std::optional<Rect> visibleChartRect(Size viewport) const;

    // The offset that puts the centre of `rect` at the centre of the view.
    static Size centeredOffset(const Rect &rect, double scale, Size viewport);
    // The whole chart centred in the view with `padding` around it, at most at scale 3;
    // nothing for an empty chart or a padding that leaves no room.
    static std::optional<ChartViewport> fit(Size chart, Size viewport, double padding);

    bool operator==(const ChartViewport &) const = default;
};

// Whether one scroll event pans or zooms.
struct ChartScrollAction {
    enum class Kind { pan, zoom };
    Kind kind = Kind::pan;
    Size translation;          // pan: view points
    double logarithmicDelta = 0; // zoom

    static ChartScrollAction pan(Size translation) { return {Kind::pan, translation, 0}; }
    static ChartScrollAction zoom(double delta) { return {Kind::zoom, {}, delta}; }

    // A mouse wheel (not precise) always zooms, as does any scroll with the zoom modifier.
    static ChartScrollAction resolve(double horizontal, double vertical, bool precise, bool zoomModifier);

    bool operator==(const ChartScrollAction &) const = default;
};
