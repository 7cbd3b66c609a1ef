#include "app/print/chart_printer.h"
#include "core/chart/dotted_ink.h"
#include "core/model/print_settings.h"
#include "printing/chart_painter.h"
#include "printing/chart_pdf_renderer.h"
#include "printing/chart_pdf_rasterizer.h"

#include "error_of.h"
#include "print_sheet_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPageRanges>
#include <QPrinter>
#include <QTemporaryDir>

using namespace PrintTest;

namespace {

// A print dialog that sends the job into a PDF file, after `choose` has set what the user
// picked. Like choosing a printer, it first puts the printer on its own default paper: A4
// in portrait.
SystemChartPrinter::Ask printInto(const QString &path, std::function<void(QPrinter &)> choose = {})
{
    return [path, choose](QPrinter &printer, int) {
        printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10)));
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        printer.setResolution(300);
        if (choose)
            choose(printer);
        return true;
    };
}

// Where the ink of an image lies: the box of its clearly grey or darker pixels.
QRect inkBox(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 200)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

using Printing = SystemPrinting;

// A landscape chart at 150 % printed through the dialog into a PDF file, beside the export
// of the same sheet.
struct PrintedBesideExport {
    QByteArray exported;
    QByteArray printed;
};

PrintedBesideExport printLandscapeChart()
{
    ChartPrintSettings settings;
    settings.landscape = true;
    settings.scalePercent = 150;
    QTemporaryDir dir;
    const QString path = dir.filePath("printed.pdf");
    Printing printing(printInto(path), chart(6), settings);
    printing.print();
    EXPECT_FALSE(printing.model.errorMessage());
    EXPECT_EQ(printing.host.commits.size(), 1u);
    return {printing.model.makePDF(), AppTest::readBytes(path)};
}

// The printed pages are the export's pages at their own size: same count, the chart's paper
// and orientation whatever paper the dialog's printer brought, the drawing in the same place
// (no printer margins, no scaling, no rotation).
TEST(ChartPrinter, PrintsEveryPageFullSizeWithoutMargins)
{
    const PrintedBesideExport result = printLandscapeChart();
    const ReadPDF source = readPDF(result.exported);
    const ReadPDF output = readPDF(result.printed);
    ASSERT_GT(source.sizes.size(), 1u);
    ASSERT_EQ(output.sizes.size(), source.sizes.size());
    for (size_t page = 0; page < output.sizes.size(); ++page) {
        EXPECT_NEAR(output.sizes[page].width(), 792, 0.5);
        EXPECT_NEAR(output.sizes[page].height(), 612, 0.5);
    }
    const QRect expected = inkBox(ChartPDFRasterizer::bitmap(result.exported, 1, 1400));
    const QRect got = inkBox(ChartPDFRasterizer::bitmap(result.printed, 1, 1400));
    EXPECT_LE((expected.topLeft() - got.topLeft()).manhattanLength(), 2);
    EXPECT_LE((expected.bottomRight() - got.bottomRight()).manhattanLength(), 2);
}

// The pages print as the PDF export draws them: the same texts, each card where the export
// puts it (no stretching to the printer's paper).
TEST(ChartPrinter, PrintsOnTheChartsPaperAsTheExportDrawsIt)
{
    const PrintedBesideExport result = printLandscapeChart();
    const ReadPDF source = readPDF(result.exported);
    const ReadPDF output = readPDF(result.printed);
    EXPECT_EQ(output.texts, source.texts);
    int cards = 0;
    for (int page = 0; page < int(source.sizes.size()); ++page) {
        for (int person = 2; person <= 7; ++person) {
            const QString name = QString("Person %1").arg(person);
            const QRectF want = textBounds(result.exported, page, name);
            if (want.isNull())
                continue;
            ++cards;
            const QRectF got = textBounds(result.printed, page, name);
            EXPECT_NEAR(got.left(), want.left(), 0.5) << name.toStdString();
            EXPECT_NEAR(got.top(), want.top(), 0.5) << name.toStdString();
            EXPECT_NEAR(got.width(), want.width(), 0.5) << name.toStdString();
        }
    }
    EXPECT_GE(cards, 6);
}

// "Pages from 2 to 3" prints those two pages; copies the file cannot hold apart are printed
// one set after the other when collated, else each page twice in a row; "Reverse" puts the
// last first.
TEST(ChartPrinter, PrintsThePagesAndCopiesChosen)
{
    const struct {
        bool collate;
        bool reverse;
        std::vector<int> pages; // of the export, from 1
    } cases[] = {{true, false, {2, 3, 2, 3}},
                 {false, false, {2, 2, 3, 3}},
                 {true, true, {3, 2, 3, 2}},
                 {false, true, {3, 3, 2, 2}}};
    for (const auto &c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath("range.pdf");
        ChartPrintSettings large;
        large.scalePercent = 250;
        Printing printing(printInto(path, [&](QPrinter &printer) {
            printer.setPrintRange(QPrinter::PageRange);
            printer.setPageRanges(QPageRanges::fromString("2-3"));
            printer.setCopyCount(2);
            printer.setCollateCopies(c.collate);
            printer.setPageOrder(c.reverse ? QPrinter::LastPageFirst : QPrinter::FirstPageFirst);
        }), chart(6), large);
        printing.print();
        const ReadPDF source = readPDF(printing.model.makePDF());
        ASSERT_GE(source.texts.size(), 4);
        QStringList expected;
        for (int page : c.pages)
            expected.append(source.texts[page - 1]);
        EXPECT_EQ(readPDF(AppTest::readBytes(path)).texts, expected) << c.collate << c.reverse;
    }
}

// A job dropped between pages, as Cancel drops it: the file printed to keeps its old content
// and no partial file is left beside it.
TEST(ChartPrinter, ADroppedJobLeavesNothingHalfPrinted)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("chart.pdf");
    AppTest::writeBytes(path, "old");
    ChartPrintSettings large;
    large.scalePercent = 250;
    const PrintedChart chart(PrintTest::chart(6), large);
    const DottedInk ink;
    const ChartPicture picture = chart.picture(ink);
    const ChartPages pages(picture, chart.pagination(), "Title", "Scope", {});
    ASSERT_GE(pages.count(), 3u);
    SystemChartPrinter printer(printInto(path));
    std::unique_ptr<PrintJob> job = printer.start(pages.pageLayout(), int(pages.count()), "Chart");
    ASSERT_TRUE(job);
    for (int page : {0, 1})
        job->drawPage([&](QPainter &painter) { pages.draw(painter, size_t(page)); });
    job.reset();
    EXPECT_EQ(AppTest::readBytes(path), "old");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"chart.pdf"});
}

// The printer itself: paper it cannot take and a dialog that leaves nowhere to print are
// "Printing is not available." (the dialog not even shown for the paper); a cancelled dialog
// gives no job and no file.
TEST(ChartPrinter, FailuresAreReportedAndCancelPrintsNothing)
{
    QTemporaryDir dir;
    const QPageLayout letter(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF());

    bool asked = false;
    SystemChartPrinter any([&](QPrinter &, int) { return asked = true; });
    EXPECT_EQ(errorOf([&] { any.start(QPageLayout(), 1, "Chart"); }), "Printing is not available.");
    EXPECT_FALSE(asked);

    SystemChartPrinter nowhere([](QPrinter &printer, int) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString());
        return true;
    });
    EXPECT_EQ(errorOf([&] { nowhere.start(letter, 1, "Chart"); }), "Printing is not available.");

    SystemChartPrinter cancelled([&](QPrinter &printer, int) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath("cancelled.pdf"));
        return false;
    });
    EXPECT_EQ(cancelled.start(letter, 1, "Chart"), nullptr);
    EXPECT_FALSE(QFile::exists(dir.filePath("cancelled.pdf")));
}

TEST(ChartPrinter, FailuresAreReportedAndACancelledDialogPrintsNothing)
{
    QTemporaryDir dir;
    Printing missing(printInto(dir.filePath("missing/printed.pdf")));
    missing.print();
    EXPECT_EQ(missing.model.errorMessage(), "The file “printed.pdf” could not be saved: the folder does not exist.");
    EXPECT_FALSE(QFile::exists(dir.filePath("missing")));

    Printing cancelled([&](QPrinter &printer, int) {
        printer.setOutputFileName(dir.filePath("cancelled.pdf"));
        return false;
    });
    cancelled.model.setPageTitle("Stale");
    cancelled.print();
    EXPECT_FALSE(cancelled.model.errorMessage());
    EXPECT_FALSE(QFile::exists(dir.filePath("cancelled.pdf")));
}

} // namespace
