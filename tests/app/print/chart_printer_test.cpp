#include "app/print/chart_printer.h"
#include "core/model/print_settings.h"
#include "printing/chart_pdf_rasterizer.h"
#include "printing/chart_pdf_renderer.h"

#include "error_of.h"
#include "print_sheet_test_support.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>

using namespace PrintTest;

namespace {

// A printer whose "dialog" sends the job into a PDF file.
SystemChartPrinter printerInto(const QString &path)
{
    return SystemChartPrinter([path](QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        printer.setResolution(300);
        return true;
    });
}

// Where the ink of an image lies: the box of its clearly grey or darker pixels.
QRect inkBox(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qGray(pixel) < 200)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

// The printed pages are the PDF's pages at their own size: same count, same paper, the
// drawing in the same place (no printer margins, no scaling, no rotation).
TEST(ChartPrinter, PrintsEveryPageFullSizeWithoutMargins)
{
    ChartPrintSettings settings;
    settings.landscape = true;
    settings.scalePercent = 150;
    const QByteArray pdf = ChartPDFRenderer::render(chart(6), "Title", "Scope", settings, std::nullopt);
    QTemporaryDir dir;
    const QString path = dir.filePath("printed.pdf");
    bool prepared = false;
    SystemChartPrinter printer = printerInto(path);
    EXPECT_EQ(printer.print(pdf, settings, [&] { prepared = true; }), ChartPrinter::Outcome::printed);
    EXPECT_TRUE(prepared);

    const QByteArray printed = AppTest::readBytes(path);
    const ReadPDF source = readPDF(pdf);
    const ReadPDF output = readPDF(printed);
    ASSERT_GT(source.sizes.size(), 1u);
    ASSERT_EQ(output.sizes.size(), source.sizes.size());
    for (size_t page = 0; page < output.sizes.size(); ++page) {
        EXPECT_NEAR(output.sizes[page].width(), 792, 0.5);
        EXPECT_NEAR(output.sizes[page].height(), 612, 0.5);
    }
    const QRect expected = inkBox(ChartPDFRasterizer::bitmap(pdf, 1, 1400));
    const QRect got = inkBox(ChartPDFRasterizer::bitmap(printed, 1, 1400));
    // Thin guides blur differently when printed: allow 1 % of the page; a printer margin
    // or a page scaled to fit would move the ink by several times that.
    EXPECT_LE((expected.topLeft() - got.topLeft()).manhattanLength(), 14);
    EXPECT_LE((expected.bottomRight() - got.bottomRight()).manhattanLength(), 14);
}

TEST(ChartPrinter, FailuresAreReportedAndCancelPrintsNothing)
{
    const ChartPrintSettings settings;
    const QByteArray pdf = ChartPDFRenderer::render(chart(1), "Title", "Scope", settings, std::nullopt);
    QTemporaryDir dir;

    bool prepared = false;
    SystemChartPrinter any([](QPrinter &) { return true; });
    EXPECT_EQ(errorOf([&] { any.print("not a pdf", settings, [&] { prepared = true; }); }),
              "Could not prepare the PDF for printing.");
    EXPECT_FALSE(prepared);

    SystemChartPrinter broken = printerInto(dir.filePath("missing/printed.pdf"));
    EXPECT_EQ(errorOf([&] { broken.print(pdf, settings, [] {}); }), "Printing is not available.");

    SystemChartPrinter cancelled([&](QPrinter &printer) {
        printer.setOutputFileName(dir.filePath("cancelled.pdf"));
        return false;
    });
    EXPECT_EQ(cancelled.print(pdf, settings, [] {}), ChartPrinter::Outcome::cancelled);
    EXPECT_FALSE(QFile::exists(dir.filePath("cancelled.pdf")));
}

} // namespace
