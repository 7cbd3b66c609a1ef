#include "app/chart/page_break_overlay.h"

#include "core/model/print_settings.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

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

// Zoomed far out over a chart of hundreds of pages, every page keeps its label at the size
// it has at zoom 1: on screen the plate is 90 by 18 pixels and the text 11 pixels, whatever
// the room its page leaves.
TEST(PageBreakOverlay, LabelsKeepTheirScreenSizeAtAnyZoom)
{
    const Size chart{9000, 10500};
    const ChartPagination pagination(chart, letterPortrait());
    ASSERT_GE(pagination.tiles.size(), 200u);
    for (const double zoom : {4.0, 1.0, 0.12, 0.02}) {
        const PageBreakOverlay::Outlines drawn = PageBreakOverlay::outlines(chart, letterPortrait(), zoom);
        ASSERT_EQ(drawn.pages.size(), pagination.tiles.size());
        EXPECT_DOUBLE_EQ(drawn.fontSize * zoom, 11) << zoom;
        for (size_t i = 0; i < drawn.pages.size(); ++i) {
            const PageBreakOverlay::PageOutline &outline = drawn.pages[i];
            const ChartPrintTile &tile = pagination.tiles[i];
            ASSERT_EQ(outline.label, QString("R%1 \u00b7 C%2").arg(tile.row).arg(tile.column)) << zoom;
            ASSERT_DOUBLE_EQ(outline.labelBox.size.width * zoom, 90) << outline.label.toStdString() << " " << zoom;
            ASSERT_DOUBLE_EQ(outline.labelBox.size.height * zoom, 18) << outline.label.toStdString() << " " << zoom;
        }
    }
}

// Painted as the canvas paints it, scaled by the zoom: a one-page chart zoomed to 26 by 20
// pixels still shows its label's plate and text at full size, cut only by the chart's edge.
TEST(PageBreakOverlay, PaintsTheLabelAtFullSizeZoomedOut)
{
    const Size chart{320, 240};
    const double zoom = 0.08;
    QImage image(int(std::ceil(chart.width * zoom)), int(std::ceil(chart.height * zoom)), QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.scale(zoom, zoom);
    PageBreakOverlay::paint(painter, chart, letterPortrait(), zoom);
    painter.end();
    // The plate starts 4 pixels in from the chart's corner and runs past its far edges.
    int white = 0;
    int blue = 0;
    for (int y = 6; y < image.height() - 1; ++y) {
        for (int x = 6; x < image.width() - 1; ++x) {
            const QColor pixel = image.pixelColor(x, y);
            white += pixel.red() > 200 && pixel.green() > 200 && pixel.blue() > 200;
            blue += pixel.blue() > 150 && pixel.red() < 120;
        }
    }
    const int area = (image.width() - 7) * (image.height() - 7);
    EXPECT_GT(white, area / 3) << "the plate is drawn";
    EXPECT_GT(blue, 10) << "the text is drawn at 11 pixels";
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
