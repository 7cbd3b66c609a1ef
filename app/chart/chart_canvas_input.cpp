#include "app/chart/chart_canvas_input.h"

#include <QInputDevice>
#include <QPointF>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace ChartCanvasInput {

bool isZoomModifier(Qt::KeyboardModifiers modifiers)
{
    return modifiers & (Qt::ControlModifier | Qt::AltModifier);
}

WheelStep wheelStep(const QWheelEvent &event)
{
    const QPoint pixels = event.pixelDelta();
    const QPoint angle = event.angleDelta();
    const bool touchpad = event.device() && event.device()->type() == QInputDevice::DeviceType::TouchPad;
    const bool precise = !pixels.isNull() || touchpad;

    double dx = 0;
    double dy = 0;
    if (!pixels.isNull()) {
        dx = pixels.x();
        dy = pixels.y();
    } else if (precise) {
        dx = angle.x() / 120.0 * pointsPerNotch;
        dy = angle.y() / 120.0 * pointsPerNotch;
    } else {
        dx = angle.x() / 120.0; // lines
        dy = angle.y() / 120.0;
    }
    const bool zoomModifier = isZoomModifier(event.modifiers());
    if (zoomModifier && dy == 0)
        dy = dx;

    WheelStep step;
    step.action = ChartScrollAction::resolve(dx, dy, precise, zoomModifier);
    step.inGesture = event.phase() != Qt::NoScrollPhase;
    step.ended = event.phase() == Qt::ScrollEnd;
    return step;
}

double pinchDelta(double magnification)
{
    if (magnification == 0 || !std::isfinite(magnification))
        return 0;
    return std::log(std::max(1 + magnification, 0.01));
}

Qt::CursorShape cursorShape(const QPointF &viewPoint, const ChartViewport &camera, const std::vector<Rect> &cards,
                            bool panning)
{
    if (panning)
        return Qt::ClosedHandCursor;
    const Point chart = camera.chartPoint(Point{viewPoint.x(), viewPoint.y()});
    const bool onCard = std::any_of(cards.begin(), cards.end(), [&](const Rect &card) { return card.contains(chart); });
    return onCard ? Qt::ArrowCursor : Qt::OpenHandCursor;
}

} // namespace ChartCanvasInput
