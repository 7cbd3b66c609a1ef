#include "app/chart_navigation_surface.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>
#include <vector>

namespace {

class TestSurface final : public ChartNavigationSurface {
public:
    std::vector<double> zooms;
    std::vector<Size> pans;

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

    void wheel(QPoint pixels, QPoint angle, Qt::ScrollPhase phase = Qt::NoScrollPhase, QPointF at = {100, 100})
    {
        QWheelEvent event(at, mapToGlobal(at), pixels, angle, Qt::NoButton, Qt::NoModifier, phase, false);
        QApplication::sendEvent(this, &event);
    }

protected:
    void paintContent(QPainter &, const Rect &) override {}
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

} // namespace
