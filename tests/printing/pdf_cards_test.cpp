#include "printing_test_support.h"

#include "printing/chart_pdf_rasterizer.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// One card alone at chart point (40, 40) on a Letter portrait page.
struct OneCard {
    TestChart chart;
    ChartPrintSettings settings;

    explicit OneCard(const Position &position, int64_t count = 1)
    {
        chart.addCard(position, 40, 40, 132);
        chart.layout.size = Size{320, 240};
        if (count != 1)
            chart.counts[position.id] = count;
    }
    QString text() const { return pageTexts(renderTestChart(chart, settings)).value(0); }
    // The page pixel under chart point (x, y), the page drawn `pixels` on its longer side.
    QRgb pixel(double x, double y, int pixels = 1400) const
    {
        const ChartPagination pagination(chart.layout.size, settings);
        const ChartPrintTile &tile = pagination.tiles.front();
        const double k = settings.scalePercent / 100;
        const double s = pixels / settings.paperSize().height;
        const QImage image = ChartPDFRasterizer::bitmap(renderTestChart(chart, settings), 0, pixels);
        return image.pixel(int((pagination.contentRect.origin.x + (x - tile.chartOrigin.x) * k) * s),
                           int((pagination.contentRect.origin.y + (y - tile.chartOrigin.y) * k) * s));
    }
};

bool near(QRgb pixel, QColor expected, int tolerance)
{
    return std::abs(qRed(pixel) - expected.red()) <= tolerance && std::abs(qGreen(pixel) - expected.green()) <= tolerance &&
           std::abs(qBlue(pixel) - expected.blue()) <= tolerance;
}

} // namespace

TEST(PdfCards, TextsFollowTheCardAndTheDisplayFlags)
{
    struct Case {
        const char *name;
        std::function<void(Position &, ChartPrintSettings &)> setUp;
        int64_t count;
        QStringList present;
        QStringList absent;
    };
    const Case cases[] = {
        {"person", [](Position &, ChartPrintSettings &) {}, 1, {"Business Manager", "1 FTE", "Ada Lovelace"}, {"Vacant"}},
        {"vacant, names hidden",
         [](Position &p, ChartPrintSettings &s) {
             p.employee.reset();
             s.hideNames = true;
         },
         1, {"Business Manager"}, {"Vacant"}},
        {"group card", [](Position &p, ChartPrintSettings &) { p.groupMemberCount = 3; }, 3, {"POSITION GROUP", "(x3)"},
         {"Ada Lovelace"}},
        {"primary manager elsewhere",
         [](Position &p, ChartPrintSettings &) {
             p.primaryManagerReference = PrimaryManagerReference{"M", std::string("Grace Hopper"), "Chief",
                                                                 {{"s1", "Operations"}, {"s2", "Payroll"}}};
         },
         1, {QStringLiteral("Primary: Grace Hopper \u00b7 Operations, Payroll")}, {}},
        {"reporting band",
         [](Position &p, ChartPrintSettings &) {
             p.reportingCallout = ReportingCallout{{{"A", {}, "Chief", {}}, {"B", {}, "Head", {}}, {"C", {}, "Dean", {}}},
                                                   std::string("A")};
         },
         1, {"Also reports to 2 other managers"}, {}},
    };
    for (const Case &c : cases) {
        OneCard card(testPosition("P1", "Business Manager", "Ada Lovelace"), c.count);
        c.setUp(card.chart.positions["P1"], card.settings);
        const QString text = card.text();
        for (const QString &expected : c.present)
            EXPECT_TRUE(text.contains(expected)) << c.name << ": " << expected.toStdString() << " in " << text.toStdString();
        for (const QString &unexpected : c.absent)
            EXPECT_FALSE(text.contains(unexpected)) << c.name << ": " << unexpected.toStdString();
    }
}

TEST(PdfCards, DottedStrokesKeepTheirOwnDashPhase)
{
    // A horizontal stroke from x 100: with phase p the dash covers the points where
    // (x - 100 + p) mod 10 < 6. Flat caps: nothing is painted just past a dash's end.
    const std::tuple<double, double, bool> cases[] = {{0, 1.5, true}, {0, 6.8, false}, {5, 1.5, false}, {5, 6.8, true}};
    for (const auto &[phase, offset, inked] : cases) {
        OneCard card(testPosition("P1", "Clerk", "Ada Lovelace"));
        card.chart.positions.clear();
        Path path;
        path.moveTo({100, 200});
        path.lineTo({200, 200});
        card.chart.ink.strokes.push_back(DottedStroke{path, false, phase});
        const QRgb pixel = card.pixel(100 + offset, 200, 4000);
        EXPECT_EQ(!isWhite(pixel), inked) << "phase " << phase << " at " << offset;
        if (inked) {
            EXPECT_TRUE(near(pixel, QColor(255, 149, 0), 30));
        }
    }
}

TEST(PdfCards, PagesCarryOnlyTheCardsTheyShow)
{
    TestChart chart;
    chart.addCard(testPosition("P1", "Clerk", "Ada Lovelace"), 40, 40);
    chart.addCard(testPosition("P2", "Clerk", "Grace Hopper"), 600, 40);
    const QStringList texts = pageTexts(renderTestChart(chart, ChartPrintSettings{}));
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].contains("Ada Lovelace") && !texts[0].contains("Grace Hopper"));
    EXPECT_TRUE(texts[1].contains("Grace Hopper") && !texts[1].contains("Ada Lovelace"));
}
