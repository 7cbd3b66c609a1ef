#include "core/model/chart_viewport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const double notANumber = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

} // namespace

// Zooming keeps the chart point under the cursor and stays within 0.01..3, though a scale
// already below the floor may still grow; fitting leaves the padding around the chart.
TEST(ChartViewport, ZoomVisibleRectAndFit)
{
    const ChartViewport moved{0.7, Size{13, -40}};
    const Point cursor{250, 90};
    const Point before = moved.chartPoint(cursor), after = moved.zoomed(0.3, cursor).chartPoint(cursor);
    EXPECT_NEAR(after.x, before.x, 1e-9);
    EXPECT_NEAR(after.y, before.y, 1e-9);
    EXPECT_EQ(ChartViewport{1}.zoomed(10, Point{}).scale, 3);
    EXPECT_EQ(ChartViewport{1}.zoomed(-10, Point{}).scale, 0.01);
    EXPECT_EQ(ChartViewport{0.005}.zoomed(-3, Point{}).scale, 0.005);
    EXPECT_NEAR(ChartViewport{0.005}.zoomed(1, Point{}).scale, 0.005 * std::exp(1.0), 1e-12);
    EXPECT_EQ((ChartViewport{2, Size{-100, 50}}).visibleChartRect(Size{800, 600}), Rect::make(50, -25, 400, 300));
    EXPECT_EQ(ChartViewport::centeredOffset(Rect::make(100, 200, 50, 20), 2, Size{800, 600}), (Size{150, -120}));
    EXPECT_EQ(ChartViewport::fit(Size{1000, 500}, Size{800, 600}, 20), (ChartViewport{0.76, Size{20, 110}}));
    EXPECT_FALSE(ChartViewport::fit(Size{1000, 500}, Size{600, 900}, 300).has_value()); // padding leaves no room
}

TEST(ChartViewport, BrokenInputChangesNothing)
{
    const ChartViewport viewport{1.5, Size{10, 20}};
    EXPECT_EQ(viewport.zoomed(inf, Point{}), viewport);
    EXPECT_EQ(viewport.zoomed(notANumber, Point{}), viewport);
    EXPECT_EQ(viewport.zoomed(1, Point{notANumber, 0}), viewport);
    EXPECT_EQ(viewport.zoomed(1, Point{0, -inf}), viewport);
    EXPECT_EQ((ChartViewport{0, Size{1, 1}}).zoomed(1, Point{}), (ChartViewport{0, Size{1, 1}}));
    EXPECT_EQ(viewport.panned(Size{notANumber, 5}), viewport);
    EXPECT_EQ(viewport.panned(Size{1e308, 0}).panned(Size{1e308, 0}), viewport.panned(Size{1e308, 0}));
    EXPECT_EQ(viewport.panned(Size{-4, 5}), (ChartViewport{1.5, Size{6, 25}}));
    EXPECT_FALSE(viewport.visibleChartRect(Size{800, inf}).has_value());
    EXPECT_FALSE((ChartViewport{1e-320, Size{1e10, 0}}).visibleChartRect(Size{800, 600}).has_value());
    EXPECT_FALSE(ChartViewport::fit(Size{notANumber, 500}, Size{800, 600}, 20).has_value());
}

TEST(ChartViewport, ZoomKeepsThePointUnderTheCursor)
{
    const ChartViewport start{1, Size{0, 0}};
    const ChartViewport zoomed = start.zoomed(std::log(2.0), Point{100, 100});
    EXPECT_DOUBLE_EQ(zoomed.scale, 2);
    EXPECT_DOUBLE_EQ(zoomed.offset.width, -100);
    EXPECT_DOUBLE_EQ(zoomed.offset.height, -100);

    const ChartViewport moved{0.7, Size{13, -40}};
    const Point cursor{250, 90};
    const Point before = moved.chartPoint(cursor);
    const Point after = moved.zoomed(0.3, cursor).chartPoint(cursor);
    EXPECT_NEAR(after.x, before.x, 1e-9);
    EXPECT_NEAR(after.y, before.y, 1e-9);
}

TEST(ChartViewport, ZoomLimits)
{
    EXPECT_EQ(ChartViewport{5}.zoomed(0, Point{}).scale, 3);
    EXPECT_EQ(ChartViewport{1}.zoomed(10, Point{}).scale, 3);
    EXPECT_EQ(ChartViewport{1}.zoomed(-10, Point{}).scale, 0.01);
    EXPECT_EQ(ChartViewport{0.005}.zoomed(-3, Point{}).scale, 0.005);
    EXPECT_NEAR(ChartViewport{0.005}.zoomed(1, Point{}).scale, 0.005 * std::exp(1.0), 1e-12);
}

TEST(ChartViewport, VisibleChartRect)
{
    const ChartViewport viewport{2, Size{-100, 50}};
    EXPECT_EQ(viewport.visibleChartRect(Size{800, 600}), Rect::make(50, -25, 400, 300));
    EXPECT_EQ(viewport.chartPoint(Point{0, 0}), (Point{50, -25}));
    EXPECT_FALSE(viewport.visibleChartRect(Size{0, 600}).has_value());
    EXPECT_FALSE(viewport.visibleChartRect(Size{800, inf}).has_value());
    EXPECT_FALSE((ChartViewport{0, Size{}}).visibleChartRect(Size{800, 600}).has_value());
    EXPECT_FALSE((ChartViewport{1e-320, Size{1e10, 0}}).visibleChartRect(Size{800, 600}).has_value());
}

TEST(ChartViewport, CentreAndFit)
{
    EXPECT_EQ(ChartViewport::centeredOffset(Rect::make(100, 200, 50, 20), 2, Size{800, 600}), (Size{150, -120}));

    const auto fit = ChartViewport::fit(Size{1000, 500}, Size{800, 600}, 20);
    ASSERT_TRUE(fit.has_value());
    EXPECT_DOUBLE_EQ(fit->scale, 0.76);
    EXPECT_DOUBLE_EQ(fit->offset.width, 20);
    EXPECT_DOUBLE_EQ(fit->offset.height, 110);

    EXPECT_EQ(ChartViewport::fit(Size{10, 10}, Size{800, 600}, 0)->scale, 3);
    EXPECT_FALSE(ChartViewport::fit(Size{1000, 500}, Size{600, 900}, 300).has_value());
    EXPECT_FALSE(ChartViewport::fit(Size{0, 500}, Size{800, 600}, 20).has_value());
    EXPECT_FALSE(ChartViewport::fit(Size{notANumber, 500}, Size{800, 600}, 20).has_value());
}

TEST(ChartScrollAction, WheelZoomsTrackpadPans)
{
    EXPECT_EQ(ChartScrollAction::resolve(3, -2, true, false), ChartScrollAction::pan(Size{3, -2}));
    EXPECT_EQ(ChartScrollAction::resolve(3, -2, false, false), ChartScrollAction::zoom(-2 * 0.08));
    EXPECT_EQ(ChartScrollAction::resolve(3, -2, true, true), ChartScrollAction::zoom(-2 * 0.01));
    EXPECT_EQ(ChartScrollAction::resolve(3, -2, false, true), ChartScrollAction::zoom(-2 * 0.08));
}
