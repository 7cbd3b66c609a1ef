#include "app/chart/chart_canvas_input.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointingDevice>
#include <QWheelEvent>

#include <cmath>
#include <utility>

namespace {

// Owned by the application, which outlives every test.
const QPointingDevice *touchpad()
{
    static const QPointingDevice *device = new QPointingDevice(
        QStringLiteral("test touchpad"), 4242, QInputDevice::DeviceType::TouchPad, QPointingDevice::PointerType::Finger,
        QInputDevice::Capability::Position | QInputDevice::Capability::Scroll, 2, 0, QString(),
        QPointingDeviceUniqueId(), QCoreApplication::instance());
    return device;
}

QWheelEvent wheel(QPoint pixels, QPoint angle, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                  Qt::ScrollPhase phase = Qt::NoScrollPhase, const QPointingDevice *device = nullptr)
{
    const QPointF at(50, 50);
    return QWheelEvent(at, at, pixels, angle, Qt::NoButton, modifiers, phase, false, Qt::MouseEventNotSynthesized,
                       device ? device : QPointingDevice::primaryPointingDevice());
}

using Kind = ChartScrollAction::Kind;

TEST(ChartCanvasInput, TrackpadPansByItsPixels)
{
    const auto step = ChartCanvasInput::wheelStep(wheel({3, -7}, {24, -56}, Qt::NoModifier, Qt::ScrollUpdate));
    EXPECT_EQ(step.action, ChartScrollAction::pan(Size{3, -7}));
    EXPECT_TRUE(step.inGesture);
    EXPECT_FALSE(step.ended);
    // A touchpad that reports only angles pans by them.
    const auto angles = ChartCanvasInput::wheelStep(wheel({}, {0, 120}, Qt::NoModifier, Qt::ScrollUpdate, touchpad()));
    EXPECT_EQ(angles.action, ChartScrollAction::pan(Size{0, ChartCanvasInput::pointsPerNotch}));
}

TEST(ChartCanvasInput, ModifiedTrackpadScrollZoomsByAHundredth)
{
    for (Qt::KeyboardModifier modifier : {Qt::ControlModifier, Qt::AltModifier}) {
        const auto step = ChartCanvasInput::wheelStep(wheel({0, 10}, {0, 80}, modifier, Qt::ScrollUpdate));
        EXPECT_EQ(step.action.kind, Kind::zoom);
        EXPECT_DOUBLE_EQ(step.action.logarithmicDelta, 0.1);
    }
    // Alt can turn the deltas sideways; the zoom still follows the one that moved.
    const auto sideways = ChartCanvasInput::wheelStep(wheel({10, 0}, {80, 0}, Qt::AltModifier));
    EXPECT_DOUBLE_EQ(sideways.action.logarithmicDelta, 0.1);
}

TEST(ChartCanvasInput, MouseWheelZoomsByNotches)
{
    // With or without a modifier; Alt may arrive with the notches sideways.
    for (const auto &[angle, modifiers] : {std::pair{QPoint(0, -240), Qt::KeyboardModifiers()},
                                           std::pair{QPoint(-240, 0), Qt::KeyboardModifiers(Qt::AltModifier)},
                                           std::pair{QPoint(0, -240), Qt::KeyboardModifiers(Qt::ControlModifier)}}) {
        const auto step = ChartCanvasInput::wheelStep(wheel({}, angle, modifiers));
        EXPECT_EQ(step.action.kind, Kind::zoom);
        EXPECT_DOUBLE_EQ(step.action.logarithmicDelta, -0.16);
        EXPECT_FALSE(step.inGesture);
    }
    EXPECT_DOUBLE_EQ(ChartCanvasInput::wheelStep(wheel({}, {0, 60})).action.logarithmicDelta, 0.04);
    // A tilt of the wheel without a modifier does nothing.
    EXPECT_EQ(ChartCanvasInput::wheelStep(wheel({}, {120, 0})).action.logarithmicDelta, 0);
}

TEST(ChartCanvasInput, GestureEnd)
{
    EXPECT_TRUE(ChartCanvasInput::wheelStep(wheel({}, {}, Qt::NoModifier, Qt::ScrollEnd, touchpad())).ended);
    EXPECT_FALSE(ChartCanvasInput::wheelStep(wheel({0, 2}, {0, 16}, Qt::NoModifier, Qt::ScrollMomentum)).ended);
}

TEST(ChartCanvasInput, PinchDelta)
{
    EXPECT_EQ(ChartCanvasInput::pinchDelta(0), 0);
    EXPECT_DOUBLE_EQ(ChartCanvasInput::pinchDelta(0.5), std::log(1.5));
    EXPECT_DOUBLE_EQ(ChartCanvasInput::pinchDelta(-1), std::log(0.01));
    EXPECT_DOUBLE_EQ(ChartCanvasInput::pinchDelta(-3), std::log(0.01));
}

TEST(ChartCanvasInput, CursorFollowsCardsInChartPoints)
{
    const std::vector<Rect> cards{Rect::make(100, 100, 50, 20)};
    const ChartViewport zoomed{2, Size{-100, 10}};
    // The card shows at (100, 210)-(200, 250) in the view.
    EXPECT_EQ(ChartCanvasInput::cursorShape(QPointF(150, 230), zoomed, cards, false), Qt::ArrowCursor);
    EXPECT_EQ(ChartCanvasInput::cursorShape(QPointF(120, 120), zoomed, cards, false), Qt::OpenHandCursor);
    EXPECT_EQ(ChartCanvasInput::cursorShape(QPointF(150, 230), zoomed, cards, true), Qt::ClosedHandCursor);
}

} // namespace
