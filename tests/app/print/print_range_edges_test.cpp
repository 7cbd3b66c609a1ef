#include "app/print/chart_printer.h"

#include "print_sheet_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QPageRanges>
#include <QPrinter>
#include <QTemporaryDir>

using namespace PrintTest;

// The pages a user picks in the print dialog, at the ends of the chart: the first page, the
// last, a range past the last and one that starts before the first.

namespace {

// The texts of the pages printed when the dialog picks `ranges` of the chart at 250 %, beside
// the texts of every page the chart has.
struct Printed {
    QStringList pages;
    QStringList chart;
};

Printed printPages(const QString &ranges)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("pages.pdf");
    SystemChartPrinter printer([&](QPrinter &chosen, int) {
        chosen.setOutputFormat(QPrinter::PdfFormat);
        chosen.setOutputFileName(path);
        chosen.setResolution(300);
        chosen.setPrintRange(QPrinter::PageRange);
        chosen.setPageRanges(QPageRanges::fromString(ranges));
        return true;
    }, standInPrintSystem());
    ChartPrintSettings large;
    large.scalePercent = 250;
    FakeHost host;
    ScriptedDialogs dialogs;
    PrintSheetModel model(input(chart(6), large), host, dialogs, printer);
    model.printChart();
    EXPECT_TRUE(runUntil([&] { return !model.isBusy(); }));
    EXPECT_FALSE(model.errorMessage());
    return {readPDF(AppTest::readBytes(path)).texts, readPDF(model.makePDF()).texts};
}

} // namespace

TEST(PrintRangeEdges, TheFirstAndTheLastPage)
{
    const Printed first = printPages("1");
    const QStringList &all = first.chart;
    ASSERT_GE(all.size(), 3) << "the chart must span pages";
    EXPECT_EQ(first.pages, QStringList{all.front()});

    const QString last = QString::number(all.size());
    EXPECT_EQ(printPages(last).pages, QStringList{all.back()});
    // A range that runs past the end prints up to the last page.
    EXPECT_EQ(printPages(last + "-" + QString::number(all.size() + 5)).pages, QStringList{all.back()});
    // Both ends at once.
    EXPECT_EQ(printPages("1," + last).pages, (QStringList{all.front(), all.back()}));
    EXPECT_EQ(printPages("1-" + last).pages, all);
}
