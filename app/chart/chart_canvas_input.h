#pragma once

#include "core/model/chart_viewport.h"
#include "core/support/geometry.h"

#include <Qt>

#include <vector>

class QPointF;
class QWheelEvent;

// How pointer input moves a chart: what one wheel or trackpad event does, how a pinch
// zooms, and which cursor shows where.
namespace ChartCanvasInput {

// View points one wheel notch (120 units of angle) pans when a touchpad reports no pixels.
inline constexpr double pointsPerNotch = 60;

struct WheelStep {
    ChartScrollAction action; // a zero translation or delta does nothing
    bool inGesture = false;   // part of a trackpad gesture or of its momentum
    bool ended = false;       // the gesture, or its momentum, ends with this event
};

// A touchpad, or any event with pixel deltas, pans by those pixels; with Ctrl or Alt held
// it zooms by dy × 0.01. A mouse wheel zooms by notches × 0.08, whatever is held. Alt may
// come with the deltas turned sideways (X11 does that), so a zoom without a vertical part
// uses the horizontal one.
WheelStep wheelStep(const QWheelEvent &event);

// Ctrl and Alt both ask a precise scroll to zoom: window managers often keep Alt-scroll.
bool isZoomModifier(Qt::KeyboardModifiers modifiers);

// The logarithmic zoom of one pinch step of relative magnification m; 0 when m is 0, and
// never below ln 0.01 (a pinch of -1 would otherwise be the logarithm of zero).
double pinchDelta(double magnification);

// An arrow over a card, an open hand over empty chart, a closed hand while panning.
Qt::CursorShape cursorShape(const QPointF &viewPoint, const ChartViewport &camera, const std::vector<Rect> &cards,
                            bool panning);

} // namespace ChartCanvasInput
