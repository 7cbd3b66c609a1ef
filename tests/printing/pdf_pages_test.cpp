#include "printing_test_support.h"

#include "core/support/organization_error.h"
#include "printing/chart_pdf_rasterizer.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace {

// Pins the locale the footer's scale is written in, for one test.
class EnglishLocale {
public:
    EnglishLocale() : m_saved(QLocale()) { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    ~EnglishLocale() { QLocale::setDefault(m_saved); }

private:
    QLocale m_saved;
};

// An empty chart of the given size: only the page frame is drawn.
TestChart emptyChart(double width, double height)
{
    TestChart chart;
    chart.layout.size = Size{width, height};
    return chart;
}

ChartPrintSettings letter()
{
    return ChartPrintSettings{};
}

// Whether any pixel within `radius` of (x, y) is drawn.
bool inkNear(const QImage &image, double x, double y, int radius = 1)
{
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            const int px = int(x) + dx;
            const int py = int(y) + dy;
            if (image.rect().contains(px, py) && !isWhite(image.pixel(px, py)))
                return true;
        }
    }
    return false;
}

// Whether a vertical (or horizontal) dashed guide crosses the pixels from `from` to `to`.
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
    struct Case {
        double width, height;
        bool landscape;
        QSizeF expected;
    };
    const Case cases[] = {
        {8.5, 11, false, {612, 792}},
        {11, 8.5, false, {612, 792}},
        {11, 8.5, true, {792, 612}},
        {8.5, 11, true, {792, 612}},
        {17, 11, true, {1224, 792}},
    };
    for (const Case &c : cases) {
        ChartPrintSettings settings;
        settings.widthInches = c.width;
        settings.heightInches = c.height;
        settings.landscape = c.landscape;
        const QByteArray pdf = renderTestChart(emptyChart(400, 300), settings);
        EXPECT_EQ(pageSize(pdf, 0), c.expected) << c.width << " x " << c.height << " landscape " << c.landscape;
    }
}

TEST(PdfPages, EveryTileGetsItsFooterRowByRow)
{
    EnglishLocale english;
    ChartPrintSettings settings = letter();
    settings.scalePercent = 62.5;
    // Content area 540 x 666 points, overlap 18: three columns and two rows at 62.5 %.
    const ChartPagination pagination(Size{2200, 1600}, settings);
    ASSERT_EQ(pagination.rows, 2);
    ASSERT_EQ(pagination.columns, 3);

    const QStringList texts = pageTexts(renderTestChart(emptyChart(2200, 1600), settings));
    ASSERT_EQ(texts.size(), 6);
    for (int row = 1; row <= 2; ++row) {
        for (int column = 1; column <= 3; ++column) {
            const int page = (row - 1) * 3 + column;
            const QString footer =
                QStringLiteral("Row %1 of 2 | Column %2 of 3 | 62.5% | Page %3 of 6").arg(row).arg(column).arg(page);
            EXPECT_TRUE(texts[page - 1].contains(footer)) << texts[page - 1].toStdString();
        }
    }
}

TEST(PdfPages, FooterWritesTheScaleWithAtMostTwoDecimals)
{
    EnglishLocale english;
    const std::pair<double, QString> cases[] = {{100, "| 100% |"}, {62.5, "| 62.5% |"}, {33.3333, "| 33.33% |"}};
    for (const auto &[scale, text] : cases) {
        ChartPrintSettings settings = letter();
        settings.scalePercent = scale;
        const QStringList texts = pageTexts(renderTestChart(emptyChart(400, 300), settings));
        ASSERT_FALSE(texts.isEmpty());
        EXPECT_TRUE(texts[0].contains(text)) << texts[0].toStdString();
    }
}

TEST(PdfPages, SecondHeadingLinePrefersTheTrimmedSubtitle)
{
    struct Case {
        std::optional<std::string> subtitle;
        bool hideNames;
        QString expected;
        QString absent;
    };
    const Case cases[] = {
        {std::nullopt, false, "Title Whole district", "Positions only"},
        {std::nullopt, true, "Title Positions only", "Whole district"},
        {" \n\t ", false, "Title Whole district", "Positions only"},
        {" \n\t ", true, "Title Positions only", "Whole district"},
        {"  Budget 2026  ", true, "Title Budget 2026", "Positions only"},
        {"Budget 2026", false, "Budget 2026", "Whole district"},
    };
    for (const Case &c : cases) {
        ChartPrintSettings settings = letter();
        settings.hideNames = c.hideNames;
        const QStringList texts = pageTexts(renderTestChart(emptyChart(400, 300), settings, "Title", "Whole district",
                                                            c.subtitle));
        ASSERT_EQ(texts.size(), 1);
        EXPECT_TRUE(texts[0].contains(c.expected)) << texts[0].toStdString();
        EXPECT_FALSE(texts[0].contains(c.absent)) << texts[0].toStdString();
    }
}

TEST(PdfPages, LongTitleIsCutWithAnEllipsis)
{
    const std::string title = "District Organization Chart for the Consolidated Unified School District of the "
                              "Northern Valley and Its Associated Programs Finale";
    const QStringList texts = pageTexts(renderTestChart(emptyChart(400, 300), letter(), title));
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].contains(QStringLiteral("District Organization Chart")));
    EXPECT_TRUE(texts[0].contains(QChar(0x2026))) << texts[0].toStdString();
    EXPECT_FALSE(texts[0].contains(QStringLiteral("Finale")));
}

TEST(PdfPages, GuidesMarkTheContentCornersAndTheSharedStrips)
{
    // Letter portrait, margin 36, overlap 18: content (36, 72, 540, 666); two by two tiles.
    const ChartPrintSettings settings = letter();
    const QByteArray pdf = renderTestChart(emptyChart(1000, 1300), settings);
    ASSERT_EQ(ChartPDFRasterizer::pageCount(pdf), 4);
    const double s = 1400.0 / 792;
    const auto at = [s](double x, double y) { return QPointF(x * s, y * s); };

    for (int page = 0; page < 4; ++page) {
        const QImage image = ChartPDFRasterizer::bitmap(pdf, page, 1400);
        const bool secondColumn = page % 2 == 1;
        const bool secondRow = page >= 2;
        SCOPED_TRACE(page);
        // The arms of each corner cross reach 4 points outside the content area.
        for (const QPointF corner : {at(33, 72), at(579, 72), at(33, 738), at(579, 738), at(36, 69), at(576, 741)})
            EXPECT_TRUE(inkNear(image, corner.x(), corner.y()));
        // Outside the crosses and borders the margin stays white.
        EXPECT_FALSE(inkNear(image, 20 * s, 400 * s, 3));
        EXPECT_EQ(inkAlong(image, at(54, 200), at(54, 600)), secondColumn);
        EXPECT_EQ(inkAlong(image, at(150, 90), at(450, 90)), secondRow);
    }
}

TEST(PdfPages, NoOverlapStillDrawsBorderAndCrossesButNoStripLine)
{
    ChartPrintSettings settings = letter();
    settings.overlapInches = 0;
    const QByteArray pdf = renderTestChart(emptyChart(1000, 300), settings);
    ASSERT_EQ(ChartPDFRasterizer::pageCount(pdf), 2);
    const double s = 1400.0 / 792;
    const QImage second = ChartPDFRasterizer::bitmap(pdf, 1, 1400);
    EXPECT_TRUE(inkNear(second, 33 * s, 72 * s));
    EXPECT_TRUE(inkAlong(second, QPointF(36 * s, 200 * s), QPointF(36 * s, 600 * s)));
    EXPECT_FALSE(inkAlong(second, QPointF(54 * s, 200 * s), QPointF(54 * s, 600 * s)));
}

TEST(PdfPages, PageIsOpaqueWhiteOutsideWhatIsDrawn)
{
    const QImage image = ChartPDFRasterizer::bitmap(renderTestChart(emptyChart(400, 300), letter()), 0, 400);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(qAlpha(image.pixel(x, y)), 255) << x << ", " << y;
    EXPECT_TRUE(isWhite(image.pixel(0, 0)));
    EXPECT_TRUE(isWhite(image.pixel(image.width() / 2, image.height() / 2)));
}

TEST(PdfPages, TilingErrorsComeThroughUnchanged)
{
    ChartPrintSettings settings = letter();
    settings.scalePercent = 400;
    try {
        renderTestChart(emptyChart(40000, 40000), settings);
        FAIL() << "expected the tiling to refuse";
    } catch (const OrganizationError &error) {
        EXPECT_EQ(error.message(), "This would create more than 500 pages. Reduce scale or increase paper size.");
    }
}
