#include "app/chart/chart_navigation_surface.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QPointingDevice>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

class TestSurface final : public ChartNavigationSurface {
public:
    std::vector<Point> clicks;
    std::vector<Point> doubleClicks;
    std::vector<double> zooms;
    std::vector<Size> pans;
    int contentPaints = 0;

    TestSurface()
    {
        resize(400, 300);
        connect(this, &ChartNavigationSurface::zoomCommitted, this, [this](double zoom) { zooms.push_back(zoom); });
        connect(this, &ChartNavigationSurface::panCommitted, this, [this](Size pan) { pans.push_back(pan); });
    }

    // Runs the event loop until the pending commit has run.
    void settle()
    {
        QElapsedTimer timer;
        timer.start();
        while (hasPendingCommit() && timer.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }

    void send(QEvent &event) { QApplication::sendEvent(this, &event); }
    void mouse(QEvent::Type type, QPointF at, Qt::MouseButtons buttons)
    {
        QMouseEvent event(type, at, mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        send(event);
    }
    void wheel(QPoint pixels, QPoint angle, Qt::ScrollPhase phase = Qt::NoScrollPhase, QPointF at = {100, 100})
    {
        QWheelEvent event(at, mapToGlobal(at), pixels, angle, Qt::NoButton, Qt::NoModifier, phase, false);
        send(event);
    }

protected:
    void paintContent(QPainter &, const Rect &) override { ++contentPaints; }
    void chartClicked(Point at, const QPointF &) override { clicks.push_back(at); }
    void chartDoubleClicked(Point at, const QPointF &) override { doubleClicks.push_back(at); }
};

TEST(NavigationSurface, WheelStepsCommitOnceAfterTheLastStep)
{
    TestSurface surface;
    surface.wheel({}, {0, 120});
    surface.wheel({}, {0, 120});
    // The camera follows at once; the owner hears nothing yet.
    EXPECT_DOUBLE_EQ(surface.camera().scale, std::exp(0.16));
    EXPECT_TRUE(surface.hasPendingCommit());
    EXPECT_TRUE(surface.zooms.empty());
    surface.settle();
    ASSERT_EQ(surface.zooms.size(), 1u);
    EXPECT_DOUBLE_EQ(surface.zooms[0], std::exp(0.16));
    // The zoom kept the chart point under the pointer where it was.
    ASSERT_EQ(surface.pans.size(), 1u);
    EXPECT_NEAR(surface.camera().chartPoint(Point{100, 100}).x, 100, 1e-9);
}

TEST(NavigationSurface, TrackpadPanCommitsWhenTheGestureEnds)
{
    TestSurface surface;
    surface.wheel({5, -3}, {40, -24}, Qt::ScrollUpdate);
    EXPECT_TRUE(surface.isTrackpadPanning());
    EXPECT_EQ(surface.camera().offset, (Size{5, -3}));
    surface.wheel({0, 0}, {0, 0}, Qt::ScrollEnd);
    EXPECT_FALSE(surface.isTrackpadPanning());
    EXPECT_FALSE(surface.hasPendingCommit());
    EXPECT_EQ(surface.pans, (std::vector<Size>{{5, -3}}));
    EXPECT_TRUE(surface.zooms.empty()); // only what changed is written
}

TEST(NavigationSurface, ShortDragIsAClick)
{
    TestSurface surface;
    surface.setZoom(2);
    surface.mouse(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton);
    surface.mouse(QEvent::MouseMove, {104, 103}, Qt::LeftButton);
    EXPECT_FALSE(surface.isPanning());
    surface.mouse(QEvent::MouseButtonRelease, {104, 103}, Qt::NoButton);
    EXPECT_EQ(surface.clicks, (std::vector<Point>{{52, 51.5}}));
    EXPECT_EQ(surface.camera(), (ChartViewport{2, {}}));
    EXPECT_TRUE(surface.pans.empty());
}

TEST(NavigationSurface, DragPansAndCommitsOnRelease)
{
    TestSurface surface;
    surface.mouse(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton);
    surface.mouse(QEvent::MouseMove, {110, 100}, Qt::LeftButton);
    surface.mouse(QEvent::MouseMove, {130, 90}, Qt::LeftButton);
    EXPECT_TRUE(surface.isPanning());
    // While dragging only the shown camera moves.
    EXPECT_EQ(surface.camera(), ChartViewport{});
    EXPECT_EQ(surface.displayedCamera().offset, (Size{30, -10}));
    EXPECT_TRUE(surface.pans.empty());
    surface.mouse(QEvent::MouseButtonRelease, {130, 90}, Qt::NoButton);
    EXPECT_FALSE(surface.isPanning());
    EXPECT_EQ(surface.camera().offset, (Size{30, -10}));
    EXPECT_EQ(surface.pans, (std::vector<Size>{{30, -10}}));
    EXPECT_FALSE(surface.hasPendingCommit());
    EXPECT_TRUE(surface.clicks.empty());
}

TEST(NavigationSurface, DoubleClickReportsOneClickAndOneDoubleClick)
{
    TestSurface surface;
    surface.mouse(QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton);
    surface.mouse(QEvent::MouseButtonRelease, {10, 10}, Qt::NoButton);
    surface.mouse(QEvent::MouseButtonDblClick, {10, 10}, Qt::LeftButton);
    surface.mouse(QEvent::MouseButtonRelease, {10, 10}, Qt::NoButton);
    EXPECT_EQ(surface.clicks.size(), 1u);
    EXPECT_EQ(surface.doubleClicks.size(), 1u);
}

TEST(NavigationSurface, OwnerZoomCancelsAPendingCommit)
{
    TestSurface surface;
    surface.wheel({7, 0}, {56, 0}, Qt::ScrollUpdate);
    ASSERT_TRUE(surface.hasPendingCommit());
    surface.setZoom(2);
    EXPECT_FALSE(surface.hasPendingCommit());
    // The camera takes the owner's scale and keeps its live offset.
    EXPECT_EQ(surface.camera(), (ChartViewport{2, {7, 0}}));
    EXPECT_TRUE(surface.pans.empty());
    // The next commit writes the pan.
    surface.wheel({1, 0}, {8, 0}, Qt::ScrollEnd);
    EXPECT_EQ(surface.pans, (std::vector<Size>{{8, 0}}));
    EXPECT_TRUE(surface.zooms.empty());
}

TEST(NavigationSurface, OwnerValuesEqualToTheCameraChangeNothing)
{
    TestSurface surface;
    surface.wheel({}, {0, 120});
    surface.settle();
    const ChartViewport settled = surface.camera();
    surface.setZoom(surface.zooms.back());
    surface.setPan(surface.pans.back());
    EXPECT_EQ(surface.camera(), settled);
    EXPECT_EQ(surface.zooms.size(), 1u);
}

// A re-fit within the commit delay of a wheel step lands where it says, also on the zoom and
// pan the owner had committed before the step: the step is dropped, never committed after
// it, and the chart is drawn sharp rather than scaled from the last picture.
TEST(NavigationSurface, AReFitLandsWhateverWheelStepWaits)
{
    TestSurface surface;
    surface.show();
    const ChartViewport fitted{0.5, {10, 20}};
    surface.setZoom(fitted.scale);
    surface.setPan(fitted.offset);
    QApplication::processEvents();
    for (const QPoint angle : {QPoint(0, 120), QPoint(0, -240)}) {
        surface.wheel({}, angle);
        ASSERT_TRUE(surface.hasPendingCommit());
        ASSERT_NE(surface.camera(), fitted);
        surface.setZoom(fitted.scale);
        surface.setPan(fitted.offset);
        EXPECT_EQ(surface.camera(), fitted);
        EXPECT_FALSE(surface.hasPendingCommit());
        const int paints = surface.contentPaints;
        surface.repaint();
        EXPECT_GT(surface.contentPaints, paints) << "drawn sharp";
    }
    // A pan alone, set back to the pan committed before it.
    surface.wheel({5, -3}, {40, -24}, Qt::ScrollUpdate);
    surface.setPan(fitted.offset);
    EXPECT_EQ(surface.camera(), fitted);
    surface.settle();
    EXPECT_TRUE(surface.zooms.empty());
    EXPECT_TRUE(surface.pans.empty());
}

TEST(NavigationSurface, HidingDropsAnUncommittedStep)
{
    TestSurface surface;
    surface.show();
    surface.wheel({}, {0, 120});
    surface.hide();
    EXPECT_FALSE(surface.hasPendingCommit());
    EXPECT_TRUE(surface.zooms.empty());
}

TEST(NavigationSurface, PinchZoomsAtThePointerAndCommitsAtTheEnd)
{
    TestSurface surface;
    const QPointF at(200, 150);
    const auto *device = QPointingDevice::primaryPointingDevice();
    QNativeGestureEvent pinch(Qt::ZoomNativeGesture, device, 2, at, at, surface.mapToGlobal(at), 1.0, {}, 0);
    surface.send(pinch);
    EXPECT_DOUBLE_EQ(surface.camera().scale, 2);
    EXPECT_EQ(surface.camera().offset, (Size{-200, -150}));
    QNativeGestureEvent nothing(Qt::ZoomNativeGesture, device, 2, at, at, surface.mapToGlobal(at), 0.0, {}, 0);
    surface.send(nothing);
    EXPECT_DOUBLE_EQ(surface.camera().scale, 2);
    QNativeGestureEvent end(Qt::EndNativeGesture, device, 2, at, at, surface.mapToGlobal(at), 0.0, {}, 0);
    surface.send(end);
    EXPECT_EQ(surface.zooms, std::vector<double>{2});
    EXPECT_FALSE(surface.hasPendingCommit());
}

TEST(NavigationSurface, ALiveZoomScalesTheLastPictureUntilItSettles)
{
    TestSurface surface;
    surface.show();
    QApplication::processEvents();
    const int sharp = surface.contentPaints;
    ASSERT_GT(sharp, 0);
    surface.wheel({}, {0, 120});
    surface.repaint();
    EXPECT_EQ(surface.contentPaints, sharp);
    surface.settle();
    surface.repaint();
    EXPECT_GT(surface.contentPaints, sharp);
}

// A chart whose drawing costs time with the area drawn, and whose picture changes with
// `version`: stripes and antialiased diagonals, so that a part drawn out of step shows.
class DearSurface final : public ChartNavigationSurface {
public:
    int version = 1;
    std::vector<QRegion> paints;

    DearSurface() { resize(400, 300); }
    void changeEverywhere() { contentChangedIn({Rect{{0, 0}, {400, 300}}}); }
    void changeIn(const std::vector<Rect> &areas) { contentChangedIn(areas); }
    QImage onScreen() const { return screen()->grabWindow(winId()).toImage(); }
    // The same surface drawn anew in one pass.
    QImage drawnWhole()
    {
        repaint();
        return onScreen();
    }
    void waitForDrawing()
    {
        QElapsedTimer timer;
        timer.start();
        while (hasPendingRepaint() && timer.elapsed() < 20000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QApplication::processEvents();
    }

protected:
    void paintContent(QPainter &painter, const Rect &visible) override
    {
        // 40 ms for the whole surface: dearer than a frame.
        QThread::usleep(static_cast<unsigned long>(40000 * std::min(1.0, visible.width() * visible.height() / 120000)));
        painter.fillRect(QRectF(0, 0, 400, 300), version == 1 ? QColor(240, 240, 250) : QColor(250, 240, 230));
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(40, 40, 120), 1.7));
        for (int x = -300; x < 400; x += 23)
            painter.drawLine(QPointF(x + version * 5, 0), QPointF(x + version * 5 + 300, 300));
    }
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            paints.push_back(static_cast<QPaintEvent *>(event)->region());
        return ChartNavigationSurface::event(event);
    }
};

// A change too dear to draw in one frame is drawn a slice per frame, never the whole at
// once, and ends as one whole new drawing would show it.
TEST(NavigationSurface, ADearChangeIsDrawnASliceAtATime)
{
    DearSurface surface;
    surface.show();
    QApplication::processEvents();
    surface.repaint(); // what drawing costs is learnt from this one
    surface.paints.clear();

    surface.version = 2;
    surface.changeEverywhere();
    EXPECT_TRUE(surface.hasPendingRepaint());
    surface.waitForDrawing();
    EXPECT_FALSE(surface.hasPendingRepaint());
    EXPECT_GT(surface.paints.size(), 1u);
    for (const QRegion &paint : surface.paints)
        EXPECT_NE(paint, QRegion(surface.rect()));
    EXPECT_EQ(surface.onScreen(), surface.drawnWhole());
}

// A pan while slices wait moves them with what is drawn.
TEST(NavigationSurface, SlicesStillToDrawFollowAPan)
{
    DearSurface surface;
    surface.show();
    QApplication::processEvents();
    surface.repaint();
    surface.version = 2;
    surface.changeEverywhere();
    surface.setPan(Size{64, 0});
    surface.waitForDrawing();
    EXPECT_EQ(surface.onScreen(), surface.drawnWhole());
}

} // namespace

// A few changed parts, such as the lines of a card picked out that cross the view a few
// pixels high, are drawn as they are; many are drawn as the tiles they meet.
TEST(NavigationSurface, FewThinChangesAreDrawnAsTheyAre)
{
    DearSurface surface;
    surface.show();
    QApplication::processEvents();
    surface.repaint();
    const auto drawnArea = [&] {
        double area = 0;
        for (const QRegion &paint : surface.paints) {
            for (const QRect &part : paint)
                area += double(part.width()) * part.height();
        }
        return area;
    };

    surface.paints.clear();
    surface.version = 2;
    surface.changeIn({Rect{{0, 101}, {400, 2}}, Rect{{201, 0}, {2, 300}}, Rect{{37, 40}, {60, 30}}});
    surface.waitForDrawing();
    // Each part with a pixel around it for antialiased edges.
    EXPECT_LE(drawnArea(), 402.0 * 4 + 4.0 * 302 + 62.0 * 32);
    EXPECT_GE(drawnArea(), 400.0 * 2 + 2.0 * 300 + 60.0 * 30 - 4);

    // A hundred specks, each 3 by 3 pixels with its edges: drawn in tiles, many times that.
    surface.paints.clear();
    std::vector<Rect> many;
    for (int i = 0; i < 100; ++i)
        many.push_back(Rect{{double(i * 4), double(i % 7) * 40}, {1, 1}});
    surface.changeIn(many);
    surface.waitForDrawing();
    EXPECT_GE(drawnArea(), 10 * 100 * 9);
}
