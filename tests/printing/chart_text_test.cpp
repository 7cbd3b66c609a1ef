#include "printing/chart_text.h"

#include "printing_test_support.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

TEST(ChartText, FontIsTheNamedFamilyOnEveryMachine)
{
    // A missing family would fall back silently and move every line break.
    EXPECT_EQ(QFontInfo(ChartText::font(12)).family(), "DejaVu Sans");
    EXPECT_EQ(QFontInfo(ChartText::font(12, ChartText::Weight::bold)).family(), "DejaVu Sans");
    EXPECT_EQ(ChartText::font(9).pixelSize(), 9);
}

TEST(ChartText, DecimalsDropTrailingZerosInTheLocalesStyle)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    struct Case {
        double value;
        int digits;
        QLocale locale;
        QString expected;
    };
    const Case cases[] = {
        {100, 2, english, "100"},     {62.5, 2, english, "62.5"},  {33.3333, 2, english, "33.33"},
        {0.125, 3, english, "0.125"}, {1.0 / 3, 3, english, "0.333"}, {1, 3, english, "1"},
        {62.5, 2, german, "62,5"},    {1234.5, 2, english, "1,234.5"}, {99.999, 2, english, "100"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ChartText::decimal(c.value, c.digits, c.locale), c.expected) << c.value;
}

TEST(ChartText, DecimalsOfOddValues)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    // No fraction digits leaves no decimal point to trim back to.
    EXPECT_EQ(ChartText::decimal(100, 0, english), "100");
    EXPECT_EQ(ChartText::decimal(2.5, 0, english), "3");
    EXPECT_EQ(ChartText::decimal(-0.5, 2, english), "-0.5");
    // Infinity and NaN print as the locale writes them instead of as digits of garbage.
    EXPECT_EQ(ChartText::decimal(std::numeric_limits<double>::infinity(), 2, english), english.toString(qInf()));
    EXPECT_EQ(ChartText::decimal(std::nan(""), 2, english), english.toString(qQNaN()));
}

// A positive FTE too small for three fraction digits is written exactly, never as 0; a
// long one is cut in its digits and keeps its exponent.
TEST(ChartText, APositiveFteNeverReadsZero)
{
    const QLocale c = QLocale::c();
    EXPECT_EQ(ChartText::fte(1e-320, c), "1e-320");
    EXPECT_EQ(ChartText::fte(0.0004, c), "0.0004");
    EXPECT_EQ(ChartText::fte(4e-05, c), "4e-05");
    EXPECT_EQ(ChartText::fte(0.0005, c), "0.001");
    EXPECT_EQ(ChartText::fte(0, c), "0");
    EXPECT_EQ(ChartText::fte(1.2345678e-07, c), QStringLiteral("1.234\u2026e-07"));
    EXPECT_EQ(ChartText::fteInFull(1.2345678e-07, c), "1.2345678e-07");
    EXPECT_EQ(ChartText::fte(0.0004, QLocale(QLocale::German, QLocale::Germany)), "0,0004");
}

namespace {

// The text a box shows, as a PDF reader extracts it.
QString shownText(const QString &text, int lines, double width = 300)
{
    const QFont font = ChartText::font(12);
    const QRectF box(10, 10, width, QFontMetricsF(font).height() * lines + 1);
    return paintedText([&](QPainter &painter) { ChartText::drawBox(painter, box, text, font); });
}

} // namespace

// Text cut at the box's last line always ends in an ellipsis, also when a forced line break
// left a rest short enough to fit on that line.
TEST(ChartText, CutTextEndsInAnEllipsis)
{
    EXPECT_EQ(shownText("Ada\nGrace", 2), "Ada Grace");
    EXPECT_EQ(shownText("Ada\nGrace\nEdsger", 2), "Ada Grace Edsger\u2026");
    // The last line shows the rest of the text, elided.
    EXPECT_EQ(shownText("Ada\rGrace", 1), "Ada Grace\u2026");
    const QString cut = shownText("Superintendent of Curriculum and Instruction for Secondary Schools", 1, 120);
    EXPECT_TRUE(cut.endsWith(QChar(0x2026))) << cut.toStdString();
    EXPECT_TRUE(cut.startsWith("Superintend")) << cut.toStdString();
    EXPECT_EQ(shownText("", 2), "");
}

// The window's thread keeps laid-out boxes for its next repaints; what it draws from them is
// what a box laid out anew draws (as on any other thread), whatever it drew before: the same
// text in other widths, heights and fonts, wrapped, cut and whole.
TEST(ChartText, KeptBoxesDrawAsBoxesLaidOutAnew)
{
    struct Box {
        QRectF rect;
        QString text;
        QFont font;
    };
    const QString title = QStringLiteral("Coordinator of Itinerant Speech and Language Services");
    const std::vector<Box> boxes{
        {QRectF(10.25, 12, 220, 32), title, ChartText::font(12, ChartText::Weight::bold)},
        {QRectF(10.25, 52, 120, 32), title, ChartText::font(12, ChartText::Weight::bold)},
        {QRectF(10.25, 92, 120, 16), title, ChartText::font(12, ChartText::Weight::bold)},
        {QRectF(10.25, 112, 120, 16), title, ChartText::font(12)},
        {QRectF(140.5, 112, 120, 16), title, ChartText::font(9)},
        {QRectF(10.25, 132, 220, 30), QStringLiteral("Ada\nGrace\nEdsger"), ChartText::font(10)},
        {QRectF(10.25, 168, 60, 14), QStringLiteral("0.5 FTE"), ChartText::font(8)},
    };
    const auto draw = [&] {
        QImage image(300, 200, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(1.25, 1.25);
        for (const Box &box : boxes)
            ChartText::drawBox(painter, box.rect, box.text, box.font);
        return image;
    };
    QImage anew;
    std::thread other([&] { anew = draw(); });
    other.join();
    const QImage first = draw();
    const QImage kept = draw();
    EXPECT_EQ(first, anew);
    EXPECT_EQ(kept, anew);
}

// A kept line draws what QPainter::drawText draws with the same box and flags, at any scale
// (the fitted view of a large chart draws badges a fraction of a pixel high), whether it
// fits its box or runs out of it, the first time and from what was kept.
TEST(ChartText, KeptLinesDrawAsPainterText)
{
    QFont badge;
    badge.setPixelSize(9);
    badge.setWeight(QFont::DemiBold);
    struct Line {
        QRectF box;
        QString text;
        QFont font;
    };
    const std::vector<Line> lines{
        {QRectF(5.5, 3.25, 140, 11), QStringLiteral("\u21b3 2 other managers"), badge},
        {QRectF(5.5, 20.75, 40, 11), QStringLiteral("\u21b3 2 other managers"), badge},
        {QRectF(60.25, 20.75, 80, 5), QStringLiteral("\u21b3 12 other\nmanagers\t\u2026"), badge},
        {QRectF(5.5, 40, 140, 18), QStringLiteral("Coordinator \u00b7 Itinerant"), ChartText::font(11)},
    };
    for (const double scale : {0.013, 0.12, 0.5, 1.0, 1.37, 2.5}) {
        const auto draw = [&](bool kept) {
            QImage image(int(160 * std::max(1.0, scale)), int(70 * std::max(1.0, scale)),
                         QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::white);
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.translate(0.5, 0.25);
            painter.scale(scale, scale);
            painter.setPen(QColor(255, 149, 0));
            for (const Line &line : lines) {
                painter.setFont(line.font);
                if (kept)
                    ChartText::drawLine(painter, line.box, line.text);
                else
                    painter.drawText(line.box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, line.text);
            }
            return image;
        };
        const QImage painted = draw(false);
        EXPECT_EQ(draw(true), painted) << "at " << scale;
        EXPECT_EQ(draw(true), painted) << "kept, at " << scale;
    }
}
