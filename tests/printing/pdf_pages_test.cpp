#include "printing_test_support.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace {

// An empty chart of the given size: only the page frame is drawn.
TestChart emptyChart(double width, double height)
{
    TestChart chart;
    chart.layout.size = Size{width, height};
    return chart;
}

} // namespace

TEST(PdfPages, EveryTileGetsItsFooterRowByRow)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ChartPrintSettings settings;
    settings.scalePercent = 62.5;
    // Content area 540 x 666 points, overlap 18: three columns and two rows at 62.5 %.
    const QStringList texts = pageTexts(renderTestChart(emptyChart(2200, 1600), settings));
    QLocale::setDefault(saved);
    ASSERT_EQ(texts.size(), 6);
    for (int page = 1; page <= 6; ++page) {
        const QString footer = QStringLiteral("Row %1 of 2 | Column %2 of 3 | 62.5% | Page %3 of 6")
                                   .arg((page - 1) / 3 + 1)
                                   .arg((page - 1) % 3 + 1)
                                   .arg(page);
        EXPECT_TRUE(texts[page - 1].contains(footer)) << texts[page - 1].toStdString();
    }
}

// A blank subtitle falls back to what the chart shows; a long title ends in an ellipsis.
TEST(PdfPages, HeadingLines)
{
    ChartPrintSettings settings;
    settings.hideNames = true;
    EXPECT_TRUE(pageTexts(renderTestChart(emptyChart(400, 300), settings, "Title", "Whole district", " \n\t "))
                    .value(0)
                    .contains("Title Positions only"));

    const std::string longTitle = "District Organization Chart for the Consolidated Unified School District of the "
                                  "Northern Valley and Its Associated Programs Finale";
    const QString text = pageTexts(renderTestChart(emptyChart(400, 300), ChartPrintSettings{}, longTitle)).value(0);
    EXPECT_TRUE(text.contains(QStringLiteral("District Organization Chart")));
    EXPECT_TRUE(text.contains(QChar(0x2026))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("Finale")));
}
