#include "app/page_break_overlay.h"

#include "core/print_settings.h"

#include <gtest/gtest.h>

TEST(PageBreakOverlay, OutlinesFollowTheScaleAndTheZoom)
{
    const Size chart{3000, 2000};
    ChartPrintSettings half;
    half.scalePercent = 50;
    const PageBreakOverlay::Outlines full = PageBreakOverlay::outlines(chart, ChartPrintSettings{}, 2);
    const PageBreakOverlay::Outlines halved = PageBreakOverlay::outlines(chart, half, 2);
    ASSERT_FALSE(halved.pages.empty());
    EXPECT_DOUBLE_EQ(halved.pages[0].page.size.width, 2 * full.pages[0].page.size.width);
    EXPECT_LT(halved.pages.size(), full.pages.size());
    // Labels count rows and columns from 1, in print order; sizes are divided by the zoom.
    EXPECT_EQ(full.pages[1].label, QString("R1 \u00b7 C2"));
    EXPECT_EQ(full.lineWidth, 0.75);

    ChartPrintSettings noRoom;
    noRoom.marginInches = 6;
    EXPECT_TRUE(PageBreakOverlay::outlines(chart, noRoom, 1).pages.empty());
    EXPECT_TRUE(PageBreakOverlay::outlines(chart, ChartPrintSettings{}, 0).pages.empty());
}
