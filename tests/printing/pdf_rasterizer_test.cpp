#include "error_of.h"
#include "printing_test_support.h"

#include "printing/chart_pdf_rasterizer.h"

#include <gtest/gtest.h>

namespace {

QByteArray chartPdf(double width, double height, bool landscape, int pages = 1)
{
    ChartPrintSettings settings;
    settings.widthInches = width;
    settings.heightInches = height;
    settings.landscape = landscape;
    TestChart chart;
    chart.layout.size = Size{400, 300.0 + (pages - 1) * 700};
    return renderTestChart(chart, settings);
}

} // namespace

// The orientation, not the order the paper size is stored in, decides the page's shape.
TEST(PdfRasterizer, LongerSideGetsExactlyTheRequestedPixels)
{
    EXPECT_EQ(ChartPDFRasterizer::bitmap(chartPdf(11, 8.5, false), 0, 4000).size(), QSize(3091, 4000));
    EXPECT_EQ(ChartPDFRasterizer::bitmap(chartPdf(11, 17, true), 0, 1400).size(), QSize(1400, 906));
    // What is not drawn is the opaque white put under the page.
    const QImage image = ChartPDFRasterizer::bitmap(chartPdf(8.5, 11, false), 0, 300);
    int white = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ASSERT_EQ(qAlpha(image.pixel(x, y)), 255);
            white += isWhite(image.pixel(x, y));
        }
    }
    EXPECT_GT(white, image.width() * image.height() * 9 / 10);
}

TEST(PdfRasterizer, RefusesWhatItCannotDraw)
{
    const QByteArray pdf = chartPdf(8.5, 11, false, 3);
    ASSERT_EQ(ChartPDFRasterizer::pageCount(pdf), 3);
    const std::string unavailable = "That preview page is not available.";
    const std::string unreadable = "Could not read the preview PDF.";
    const std::tuple<QByteArray, int, int, std::string> cases[] = {
        {pdf, 2, 100, ""}, {pdf, 3, 1400, unavailable}, {pdf, 0, 4001, unavailable}, {pdf.left(40), 0, 1400, unreadable},
    };
    for (const auto &[bytes, page, pixels, message] : cases)
        EXPECT_EQ(errorOf([&] { ChartPDFRasterizer::bitmap(bytes, page, pixels); }), message) << page << " " << pixels;
}
