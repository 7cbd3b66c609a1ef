#include "app/chart/page_break_overlay.h"

#include "core/model/print_settings.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <algorithm>

namespace {

ChartPrintSettings letterPortrait(double scalePercent = 100)
{
    ChartPrintSettings settings;
    settings.scalePercent = scalePercent;
    return settings;
}

TEST(PageBreakOverlay, OnePageChartHasOneOutline)
{
    const PageBreakOverlay::Outlines drawn = PageBreakOverlay::outlines(Size{320, 240}, letterPortrait(), 1);
    ASSERT_EQ(drawn.pages.size(), 1u);
    EXPECT_EQ(drawn.pages[0].label, QString("R1 \u00b7 C1"));
    const ChartPagination pagination(Size{320, 240}, letterPortrait());
    EXPECT_EQ(drawn.pages[0].page.origin, pagination.tiles[0].chartOrigin);
    EXPECT_EQ(drawn.pages[0].page.size.width, pagination.contentRect.width());
}

TEST(PageBreakOverlay, SizesAreDividedByTheZoom)
{
    const PageBreakOverlay::Outlines drawn = PageBreakOverlay::outlines(Size{320, 240}, letterPortrait(), 2);
    EXPECT_EQ(drawn.lineWidth, 0.75);
    EXPECT_EQ(drawn.dashOn, 4);
    EXPECT_EQ(drawn.dashOff, 2.5);
    EXPECT_EQ(drawn.fontSize, 5.5);
    const Rect page = drawn.pages[0].page;
    EXPECT_EQ(drawn.pages[0].labelBox,
              Rect::make(std::max(page.minX(), 0.0) + 2, std::max(page.minY(), 0.0) + 2, 45, 9));
}

// The chart is centred in its pages, so the first row and column of pages begin before
// it: every label still lies on the chart, in the corner of its page that is drawn.
TEST(PageBreakOverlay, EveryLabelLiesOnTheChart)
{
    const Size chart{1500, 1400};
    const PageBreakOverlay::Outlines drawn = PageBreakOverlay::outlines(chart, letterPortrait(), 1);
    ASSERT_GE(drawn.pages.size(), 4u);
    ASSERT_LT(drawn.pages[0].page.minX(), 0) << "the case that clipped the first labels";
    for (const PageBreakOverlay::PageOutline &outline : drawn.pages) {
        const Rect box = outline.labelBox;
        EXPECT_GE(box.minX(), 0) << outline.label.toStdString();
        EXPECT_GE(box.minY(), 0) << outline.label.toStdString();
        EXPECT_LE(box.maxX(), chart.width) << outline.label.toStdString();
        EXPECT_LE(box.maxY(), chart.height) << outline.label.toStdString();
        EXPECT_GE(box.minX(), outline.page.minX());
        EXPECT_GE(box.minY(), outline.page.minY());
    }
}

// Zoomed out over a chart of hundreds of pages, each label stays inside the drawn part of
// its page, smaller where it must; one too small to read is left out, never spilled over
// its neighbours.
TEST(PageBreakOverlay, LabelsKeepInsideTheirPagesZoomedOut)
{
    const Size chart{9000, 10500};
    ChartPrintSettings settings = letterPortrait();
    const ChartPagination pagination(chart, settings);
    ASSERT_GE(pagination.tiles.size(), 200u);
    for (const double zoom : {0.12, 0.09, 0.06, 0.02}) {
        const PageBreakOverlay::Outlines drawn = PageBreakOverlay::outlines(chart, settings, zoom);
        ASSERT_EQ(drawn.pages.size(), pagination.tiles.size());
        int shown = 0;
        int whole = 0; // pages that lie on the chart entirely
        for (const PageBreakOverlay::PageOutline &outline : drawn.pages) {
            const bool onChart = outline.page.minX() >= 0 && outline.page.minY() >= 0
                && outline.page.maxX() <= chart.width && outline.page.maxY() <= chart.height;
            whole += onChart;
            if (outline.label.isEmpty())
                continue;
            shown += onChart;
            const Rect box = outline.labelBox;
            const std::string context = outline.label.toStdString() + " at zoom " + std::to_string(zoom);
            EXPECT_GE(outline.labelScale, 0.5) << context;
            EXPECT_LE(outline.labelScale, 1) << context;
            EXPECT_GE(box.minX(), std::max(outline.page.minX(), 0.0)) << context;
            EXPECT_GE(box.minY(), std::max(outline.page.minY(), 0.0)) << context;
            EXPECT_LE(box.maxX(), std::min(outline.page.maxX(), chart.width)) << context;
            EXPECT_LE(box.maxY(), std::min(outline.page.maxY(), chart.height)) << context;
        }
        // Whole pages of about 50 pixels still show their labels (a sliver of a page at the
        // chart's edge may be too narrow); at the smallest zoom none fits.
        ASSERT_GT(whole, 150);
        if (zoom >= 0.09) {
            EXPECT_EQ(shown, whole) << zoom;
        }
        if (zoom <= 0.02) {
            EXPECT_EQ(shown, 0) << zoom;
        }
    }
}

TEST(PageBreakOverlay, HalfScalePagesCoverTwiceTheChart)
{
    const Size chart{3000, 2000};
    const PageBreakOverlay::Outlines full = PageBreakOverlay::outlines(chart, letterPortrait(100), 1);
    const PageBreakOverlay::Outlines half = PageBreakOverlay::outlines(chart, letterPortrait(50), 1);
    ASSERT_FALSE(half.pages.empty());
    EXPECT_DOUBLE_EQ(half.pages[0].page.size.width, 2 * full.pages[0].page.size.width);
    EXPECT_DOUBLE_EQ(half.pages[0].page.size.height, 2 * full.pages[0].page.size.height);
    EXPECT_LT(half.pages.size(), full.pages.size());
    // Labels count rows and columns from 1, in print order.
    EXPECT_EQ(full.pages[1].label, QString("R1 \u00b7 C2"));
}

TEST(PageBreakOverlay, SettingsThatCannotBePaginatedDrawNothing)
{
    ChartPrintSettings noRoom = letterPortrait();
    noRoom.marginInches = 6;
    EXPECT_TRUE(PageBreakOverlay::outlines(Size{320, 240}, noRoom, 1).pages.empty());
    EXPECT_TRUE(PageBreakOverlay::outlines(Size{320, 240}, letterPortrait(), 0).pages.empty());

    QImage image(100, 100, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    PageBreakOverlay::paint(painter, Size{320, 240}, noRoom, 1);
    painter.end();
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::white));
}

TEST(PageBreakOverlay, DrawsBlueOutlines)
{
    // A chart of two pages across: the page edge between them is drawn in blue.
    const Size chart{1200, 300};
    const PageBreakOverlay::Outlines drawn = PageBreakOverlay::outlines(chart, letterPortrait(), 1);
    ASSERT_GE(drawn.pages.size(), 2u);
    QImage image(1200, 300, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    PageBreakOverlay::paint(painter, chart, letterPortrait(), 1);
    painter.end();
    const Rect second = drawn.pages[1].page;
    const int x = int(second.minX());
    int blue = 0;
    for (int y = int(second.minY()) + 30; y < 290; ++y) {
        const QColor pixel = image.pixelColor(x, y);
        blue += pixel.blue() > 200 && pixel.red() < 150;
    }
    EXPECT_GT(blue, 20);
}

} // namespace
