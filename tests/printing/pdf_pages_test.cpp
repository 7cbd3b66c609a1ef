#include "printing_test_support.h"

#include "printing/chart_pdf_rasterizer.h"

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

// Whether any pixel within `radius` of (x, y) is drawn.
bool inkNear(const QImage &image, double x, double y, int radius = 1)
{
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if (image.rect().contains(int(x) + dx, int(y) + dy) && !isWhite(image.pixel(int(x) + dx, int(y) + dy)))
                return true;
    return false;
}

// Whether a dashed guide crosses the pixels from `from` to `to`.
bool inkAlong(const QImage &image, QPointF from, QPointF to)
{
    const int steps = 157; // not a multiple of the dash period
    for (int i = 0; i <= steps; ++i) {
        const QPointF p = from + (to - from) * (double(i) / steps);
        if (inkNear(image, p.x(), p.y(), 0))
            return true;
    }
    return false;
}

} // namespace

TEST(PdfPages, PageSizeFollowsOrientationNotTheStoredOrder)
{
    const std::tuple<double, double, bool, QSizeF> cases[] = {
        {11, 8.5, false, {612, 792}}, {8.5, 11, true, {792, 612}}, {17, 11, true, {1224, 792}}};
    for (const auto &[width, height, landscape, expected] : cases) {
        ChartPrintSettings settings;
        settings.widthInches = width;
        settings.heightInches = height;
        settings.landscape = landscape;
        EXPECT_EQ(pageSize(renderTestChart(emptyChart(400, 300), settings), 0), expected) << width << " x " << height;
    }
}

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

TEST(PdfPages, HeadingLines)
{
    const std::tuple<std::optional<std::string>, bool, QString> cases[] = {
        {std::nullopt, false, "Title Whole district"},
        {" \n\t ", true, "Title Positions only"},
        {"  Budget 2026  ", true, "Title Budget 2026"},
    };
    for (const auto &[subtitle, hideNames, expected] : cases) {
        ChartPrintSettings settings;
        settings.hideNames = hideNames;
        const QString text =
            pageTexts(renderTestChart(emptyChart(400, 300), settings, "Title", "Whole district", subtitle)).value(0);
        EXPECT_TRUE(text.contains(expected)) << text.toStdString();
    }

    const std::string longTitle = "District Organization Chart for the Consolidated Unified School District of the "
                                  "Northern Valley and Its Associated Programs Finale";
    const QString text = pageTexts(renderTestChart(emptyChart(400, 300), ChartPrintSettings{}, longTitle)).value(0);
    EXPECT_TRUE(text.contains(QStringLiteral("District Organization Chart")));
    EXPECT_TRUE(text.contains(QChar(0x2026))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("Finale")));
}

TEST(PdfPages, GuidesMarkTheContentCornersAndTheSharedStrips)
{
    // Letter portrait, margin 36, overlap 18: content (36, 72, 540, 666); two by two tiles.
    const QByteArray pdf = renderTestChart(emptyChart(1000, 1300), ChartPrintSettings{});
    ASSERT_EQ(ChartPDFRasterizer::pageCount(pdf), 4);
    const double s = 1400.0 / 792;
    const auto at = [s](double x, double y) { return QPointF(x * s, y * s); };

    for (int page = 0; page < 4; ++page) {
        const QImage image = ChartPDFRasterizer::bitmap(pdf, page, 1400);
        SCOPED_TRACE(page);
        // The arms of each corner cross reach 4 points outside the content area.
        for (const QPointF corner : {at(33, 72), at(579, 72), at(33, 738), at(579, 738), at(36, 69), at(576, 741)})
            EXPECT_TRUE(inkNear(image, corner.x(), corner.y()));
        EXPECT_FALSE(inkNear(image, 20 * s, 400 * s, 3));
        // The strip shared with the previous column or row is marked.
        EXPECT_EQ(inkAlong(image, at(54, 200), at(54, 600)), page % 2 == 1);
        EXPECT_EQ(inkAlong(image, at(150, 90), at(450, 90)), page >= 2);
    }

    // Without overlap the border and crosses stay, the strip line goes.
    ChartPrintSettings flush;
    flush.overlapInches = 0;
    const QImage second = ChartPDFRasterizer::bitmap(renderTestChart(emptyChart(1000, 300), flush), 1, 1400);
    EXPECT_TRUE(inkNear(second, 33 * s, 72 * s));
    EXPECT_TRUE(inkAlong(second, at(36, 200), at(36, 600)));
    EXPECT_FALSE(inkAlong(second, at(54, 200), at(54, 600)));
}
