#include "error_of.h"
#include "printing_test_support.h"

#include "printing/chart_pdf_rasterizer.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// A minimal PDF whose pages have the given media boxes ("0 0 612 792"), with a correct
// cross-reference table, so that odd page sizes can be tried.
QByteArray handMadePdf(const QStringList &mediaBoxes)
{
    QList<QByteArray> objects;
    objects.append("<< /Type /Catalog /Pages 2 0 R >>");
    QByteArray kids;
    for (int i = 0; i < mediaBoxes.size(); ++i)
        kids += QByteArray::number(3 + i) + " 0 R ";
    objects.append("<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(mediaBoxes.size()) + " >>");
    for (const QString &box : mediaBoxes)
        objects.append("<< /Type /Page /Parent 2 0 R /MediaBox [" + box.toLatin1() + "] >>");

    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

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

TEST(PdfRasterizer, LongerSideGetsExactlyTheRequestedPixels)
{
    struct Case {
        QByteArray pdf;
        int pixels;
        QSize expected;
    };
    const Case cases[] = {
        {chartPdf(8.5, 11, false), 1400, {1082, 1400}},
        {chartPdf(11, 17, true), 1400, {1400, 906}},
        {chartPdf(8.5, 11, true), 100, {100, 78}},
        {chartPdf(8.5, 11, false), 4000, {3091, 4000}},
        // The orientation, not the order the paper size is stored in, decides the page's shape.
        {chartPdf(11, 8.5, false), 4000, {3091, 4000}},
        {handMadePdf({"0 0 0.5 1000"}), 1400, {1, 1400}},
        {handMadePdf({"0 0 792 792"}), 1400, {1400, 1400}},
    };
    for (const Case &c : cases) {
        const QImage image = ChartPDFRasterizer::bitmap(c.pdf, 0, c.pixels);
        EXPECT_EQ(image.size(), c.expected) << c.pixels;
    }
}

TEST(PdfRasterizer, CountsPages)
{
    EXPECT_EQ(ChartPDFRasterizer::pageCount(chartPdf(8.5, 11, false)), 1);
    EXPECT_EQ(ChartPDFRasterizer::pageCount(chartPdf(8.5, 11, false, 3)), 3);
}

TEST(PdfRasterizer, RefusesWhatItCannotDraw)
{
    const QByteArray pdf = chartPdf(8.5, 11, false, 3);
    ASSERT_EQ(ChartPDFRasterizer::pageCount(pdf), 3);
    const std::string unavailable = "That preview page is not available.";
    const std::string unreadable = "Could not read the preview PDF.";
    struct Case {
        QByteArray pdf;
        int page;
        int pixels;
        std::string message;
    };
    const Case cases[] = {
        {pdf, -1, 1400, unavailable},
        {pdf, 3, 1400, unavailable},
        {pdf, 0, 99, unavailable},
        {pdf, 0, 4001, unavailable},
        // The PDF reader refuses a document without pages outright.
        {handMadePdf({}), 0, 1400, unreadable},
        {QByteArray("not a PDF at all"), 0, 1400, unreadable},
        {QByteArray(), 0, 1400, unreadable},
        {pdf.left(40), 0, 1400, unreadable},
    };
    for (const Case &c : cases)
        EXPECT_EQ(errorOf([&] { ChartPDFRasterizer::bitmap(c.pdf, c.page, c.pixels); }), c.message)
            << c.page << " " << c.pixels;
    EXPECT_EQ(errorOf([] { ChartPDFRasterizer::pageCount("%PDF-1.4 garbage"); }), unreadable);
    EXPECT_EQ(errorOf([&] { ChartPDFRasterizer::bitmap(pdf, 2, 100); }), "");
}

TEST(PdfRasterizer, EveryPixelIsOpaque)
{
    // A page with nothing drawn on it: what shows is the white put under the page.
    for (const QByteArray &pdf : {handMadePdf({"0 0 300 500"}), chartPdf(8.5, 11, false)}) {
        const QImage image = ChartPDFRasterizer::bitmap(pdf, 0, 300);
        int white = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                ASSERT_EQ(qAlpha(image.pixel(x, y)), 255);
                white += isWhite(image.pixel(x, y));
            }
        }
        EXPECT_GT(white, image.width() * image.height() * 9 / 10);
    }
}
