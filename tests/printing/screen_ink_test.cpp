#include "printing_test_support.h"

#include "core/chart/dotted_ink.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <cmath>
#include <random>

namespace {

// A run of dotted ink as DottedInk makes it: from its lower end, phased from that end's
// absolute coordinate.
DottedStroke run(Point from, Point to, bool highlighted)
{
    DottedStroke stroke;
    stroke.path.moveTo(from);
    stroke.path.lineTo(to);
    stroke.highlighted = highlighted;
    stroke.dashPhase = std::fmod(from.x == to.x ? from.y : from.x, DottedInk::dashPeriod);
    return stroke;
}

struct Screen {
    double scale;
    QPointF origin;
    static constexpr int width = 400;
    static constexpr int height = 300;

    QImage draw(const DottedInk &ink, const QRect &part = QRect()) const
    {
        TestChart chart;
        chart.ink = ink;
        PaintOptions options;
        options.style.highlightedInkWidth = DottedInk::selectedLineWidth;
        if (!part.isNull()) {
            const QPointF a = toChart(part.topLeft());
            const QPointF b = toChart(part.topLeft() + QPoint(part.width(), part.height()));
            options.visibleRect = Rect{{a.x(), a.y()}, {b.x() - a.x(), b.y() - a.y()}};
        }
        QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.translate(origin);
        painter.scale(scale, scale);
        ChartPainter::paint(painter, chart.picture(), options);
        return image;
    }
    QPointF toChart(QPointF pixel) const { return (pixel - origin) / scale; }
    double toPixel(double chart, bool vertical) const
    {
        return (vertical ? origin.y() : origin.x()) + chart * scale;
    }
};

} // namespace

// A run lit in part by a selection, or joined by a new line, is drawn in pieces; a part of
// the window is drawn with runs cut to it. Away from where the pieces meet (and the lit piece
// itself), the screen shows what the run drawn whole shows, at every zoom: the window then
// draws again only where the pieces changed.
TEST(ScreenInk, RunsDrawnWholeOrInPiecesLookAlike)
{
    std::mt19937 random(53);
    std::uniform_real_distribution<double> unit(0, 1);
    int compared = 0;
    for (const double scale : {0.013, 0.02, 0.05, 0.1, 0.2, 0.28, 0.35, 0.4, 0.5, 0.7, 1.0, 1.6}) {
        for (int round = 0; round < 6; ++round) {
            const Screen screen{scale, QPointF(unit(random) * 80 - 60, unit(random) * 60 - 40)};
            const bool vertical = round % 2 == 1;
            // From beyond the window's edge to past its other side, at a fraction of a pixel.
            const double across = vertical ? Screen::height : Screen::width;
            const double crossOrigin = vertical ? screen.origin.x() : screen.origin.y();
            const double alongOrigin = vertical ? screen.origin.y() : screen.origin.x();
            const double at = std::round(((vertical ? 170.3 : 120.6) - crossOrigin) / scale * 2) / 2;
            const double lower = std::round((-25 - alongOrigin) / scale);
            const double upper = std::round((across + 25 - alongOrigin) / scale);
            const auto point = [&](double along) { return vertical ? Point{at, along} : Point{along, at}; };

            std::vector<double> cuts;
            for (int c = 1 + int(random() % 4); c > 0; --c)
                cuts.push_back(std::round(lower + unit(random) * (upper - lower)));
            std::sort(cuts.begin(), cuts.end());
            cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
            const size_t lit = random() % (cuts.size() + 1);
            const bool lights = round % 3 != 0;
            DottedInk whole;
            whole.strokes.push_back(run(point(lower), point(upper), false));
            DottedInk pieces;
            double from = lower;
            for (size_t i = 0; i <= cuts.size(); ++i) {
                const double to = i < cuts.size() ? cuts[i] : upper;
                if (to > from)
                    pieces.strokes.push_back(run(point(from), point(to), lights && i == lit));
                from = to;
            }
            // Pixels near a cut, or along the lit piece, may differ.
            const auto away = [&](int x, int y) {
                const double pixel = vertical ? y : x;
                for (const double cut : cuts) {
                    if (std::abs(pixel - screen.toPixel(cut, vertical)) < 2)
                        return false;
                }
                if (lights) {
                    const double litFrom = lit == 0 ? lower : cuts[lit - 1];
                    const double litTo = lit < cuts.size() ? cuts[lit] : upper;
                    if (pixel > screen.toPixel(litFrom, vertical) - 2 && pixel < screen.toPixel(litTo, vertical) + 2)
                        return false;
                }
                return true;
            };
            const QImage expected = screen.draw(whole);
            const QImage drawn = screen.draw(pieces);
            const QRect part(int(unit(random) * 200) + 20, int(unit(random) * 150) + 20, 90, 70);
            const QImage partDrawn = screen.draw(whole, part);
            int inked = 0;
            for (int y = 0; y < Screen::height; ++y)
                for (int x = 0; x < Screen::width; ++x)
                    inked += expected.pixel(x, y) != qRgb(255, 255, 255);
            ASSERT_GT(inked, 0) << "scale " << scale;
            int differing = 0;
            int differingInPart = 0;
            for (int y = 0; y < Screen::height; ++y) {
                for (int x = 0; x < Screen::width; ++x) {
                    if (away(x, y) && drawn.pixel(x, y) != expected.pixel(x, y))
                        ++differing;
                    if (part.contains(x, y) && partDrawn.pixel(x, y) != expected.pixel(x, y))
                        ++differingInPart;
                }
            }
            EXPECT_EQ(differing, 0) << "scale " << scale << (vertical ? " vertical" : " horizontal") << " cuts "
                                    << cuts.size() << (lights ? " one lit" : "");
            EXPECT_EQ(differingInPart, 0) << "scale " << scale << " part " << part.x() << "," << part.y();
            ++compared;
        }
    }
    EXPECT_EQ(compared, 72);
}
