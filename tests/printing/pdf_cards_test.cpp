#include "printing_test_support.h"

#include "printing/chart_pdf_rasterizer.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// One card alone at chart point (40, 40); the page is Letter portrait at 100 %, so the card's
// top-left lands on the page at the content origin plus the centring inset.
struct OneCard {
    TestChart chart;
    ChartPrintSettings settings;

    explicit OneCard(const Position &position, int64_t count = 1, double height = 132)
    {
        chart.addCard(position, 40, 40, height);
        chart.layout.size = Size{320, 240};
        if (count != 1)
            chart.counts[position.id] = count;
    }
    QString text() const
    {
        const QStringList texts = pageTexts(renderTestChart(chart, settings));
        return texts.isEmpty() ? QString() : texts[0];
    }
    // The page pixel under chart point (x, y), the page drawn `pixels` on its longer side.
    QRgb pixel(double x, double y, int pixels = 1400) const
    {
        const QByteArray pdf = renderTestChart(chart, settings);
        const ChartPagination pagination(chart.layout.size, settings);
        const ChartPrintTile &tile = pagination.tiles.front();
        const double k = settings.scalePercent / 100;
        const double s = pixels / settings.paperSize().height;
        const QImage image = ChartPDFRasterizer::bitmap(pdf, 0, pixels);
        const double pageX = pagination.contentRect.origin.x + (x - tile.chartOrigin.x) * k;
        const double pageY = pagination.contentRect.origin.y + (y - tile.chartOrigin.y) * k;
        return image.pixel(int(pageX * s), int(pageY * s));
    }
};

bool near(QRgb pixel, QColor expected, int tolerance = 6)
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
        {"person", [](Position &, ChartPrintSettings &) {}, 1,
         {"Business Manager", "1 FTE", "Ada Lovelace", "Finance", "District Office"}, {"Vacant", "Pay Level"}},
        {"vacant with names", [](Position &p, ChartPrintSettings &) { p.employee.reset(); }, 1, {"Vacant"}, {}},
        {"vacant, names hidden",
         [](Position &p, ChartPrintSettings &s) {
             p.employee.reset();
             s.hideNames = true;
         },
         1, {"Business Manager"}, {"Vacant"}},
        {"names hidden", [](Position &, ChartPrintSettings &s) { s.hideNames = true; }, 1, {"Finance"},
         {"Ada Lovelace"}},
        {"job title hidden, FTE kept",
         [](Position &p, ChartPrintSettings &s) {
             s.showJobTitle = false;
             p.fte = 0.5;
         },
         1, {"0.5 FTE"}, {"Business Manager"}},
        {"custom job title", [](Position &p, ChartPrintSettings &) { p.customJobTitle = "Controller"; }, 1,
         {"Controller"}, {"Business Manager"}},
        {"pay level", [](Position &, ChartPrintSettings &s) { s.showPayLevel = true; }, 1,
         {"Pay Level: Business Manager"}, {}},
        {"assistant", [](Position &p, ChartPrintSettings &) { p.isAssistant = true; }, 1,
         {QStringLiteral("ASSISTANT \u00b7 Finance")}, {}},
        {"not an assistant", [](Position &p, ChartPrintSettings &) { p.isAssistant = false; }, 1, {"Finance"},
         {"ASSISTANT"}},
        {"group card", [](Position &p, ChartPrintSettings &) { p.groupMemberCount = 3; }, 3,
         {"POSITION GROUP", "(x3)"}, {"Ada Lovelace"}},
        {"group of one", [](Position &p, ChartPrintSettings &) { p.groupMemberCount = 1; }, 1, {"POSITION GROUP"},
         {"(x1)"}},
        {"merged titles", [](Position &, ChartPrintSettings &s) { s.hideNames = true; }, 3, {"(x3)"}, {}},
        {"count with names shown", [](Position &, ChartPrintSettings &) {}, 3, {"Ada Lovelace"}, {"(x3)"}},
        {"edited", [](Position &p, ChartPrintSettings &) { p.proposalChange = ProposalChangeKind::modified; }, 1,
         {"EDITED"}, {}},
        {"deleted", [](Position &p, ChartPrintSettings &) { p.proposalChange = ProposalChangeKind::deleted; }, 1,
         {"DELETED"}, {}},
        {"primary manager elsewhere",
         [](Position &p, ChartPrintSettings &) {
             p.primaryManagerReference = PrimaryManagerReference{"M", std::string("Grace Hopper"), "Chief",
                                                                 {{"s1", "Operations"}, {"s2", "Payroll"}}};
         },
         1, {QStringLiteral("Primary: Grace Hopper \u00b7 Operations, Payroll")}, {}},
        {"primary manager, names hidden",
         [](Position &p, ChartPrintSettings &s) {
             s.hideNames = true;
             p.primaryManagerReference = PrimaryManagerReference{"M", std::string("Grace Hopper"), "Chief", {}};
         },
         1, {"Primary: Chief"}, {"Grace Hopper", QStringLiteral("\u00b7")}},
        {"reporting band",
         [](Position &p, ChartPrintSettings &) {
             p.reportingCallout = ReportingCallout{{{"A", {}, "Chief", {}}, {"B", {}, "Head", {}}, {"C", {}, "Dean", {}}},
                                                   std::string("A")};
         },
         1, {"Also reports to 2 other managers"}, {}},
    };
    for (const Case &c : cases) {
        Position position = testPosition("P1", "Business Manager", "Ada Lovelace");
        OneCard card(position, c.count);
        c.setUp(card.chart.positions["P1"], card.settings);
        const QString text = card.text();
        for (const QString &expected : c.present)
            EXPECT_TRUE(text.contains(expected)) << c.name << ": " << expected.toStdString() << " in "
                                                 << text.toStdString();
        for (const QString &unexpected : c.absent)
            EXPECT_FALSE(text.contains(unexpected)) << c.name << ": " << unexpected.toStdString() << " in "
                                                    << text.toStdString();
    }
}

// A group card shows its count instead of a name; a manager elsewhere is named on the card.
TEST(PdfCards, GroupAndPrimaryManagerLines)
{
    Position group = testPosition("P1", "Business Manager", "Ada Lovelace");
    group.groupMemberCount = 3;
    const QString text = OneCard(group, 3).text();
    EXPECT_TRUE(text.contains("POSITION GROUP") && text.contains("(x3)")) << text.toStdString();
    EXPECT_FALSE(text.contains("Ada Lovelace"));

    Position managed = testPosition("P1", "Business Manager", "Ada Lovelace");
    managed.primaryManagerReference =
        PrimaryManagerReference{"M", std::string("Grace Hopper"), "Chief", {{"s1", "Operations"}, {"s2", "Payroll"}}};
    EXPECT_TRUE(OneCard(managed).text().contains(QStringLiteral("Primary: Grace Hopper \u00b7 Operations, Payroll")));
}

TEST(PdfCards, NodeWithoutAPositionDrawsNothing)
{
    OneCard card(testPosition("P1", "Business Manager", "Ada Lovelace"));
    card.chart.positions.clear();
    EXPECT_FALSE(card.text().contains("FTE"));
    EXPECT_TRUE(isWhite(card.pixel(160, 100)));
}

TEST(PdfCards, FillsOutlinesTintsAndBands)
{
    Position plain = testPosition("P1", "Clerk", "Ada Lovelace");
    // Sample well inside the card, away from its texts: the right half below the FTE.
    EXPECT_TRUE(isWhite(OneCard(plain).pixel(255, 110)));

    Position assistant = plain;
    assistant.isAssistant = true;
    EXPECT_TRUE(near(OneCard(assistant).pixel(255, 110), QColor::fromRgbF(0.96f, 0.94f, 1.0f)));

    // The tint runs from 12 % toward the colour at the top-left to 42 % at the bottom-right.
    Position added = plain;
    added.proposalChange = ProposalChangeKind::added;
    const QRgb early = OneCard(added).pixel(45, 45);
    const QRgb late = OneCard(added).pixel(275, 167);
    EXPECT_GT(qGreen(early), qRed(early));
    EXPECT_LT(qRed(late), qRed(early));
    Position deleted = plain;
    deleted.proposalChange = ProposalChangeKind::deleted;
    const QRgb red = OneCard(deleted).pixel(275, 167);
    EXPECT_GT(qRed(red), qGreen(red) + 40);

    Position callout = plain;
    callout.reportingCallout = ReportingCallout{{{"A", {}, "Chief", {}}, {"B", {}, "Head", {}}}, std::string("A")};
    // The band's right end, past its text: (x0 + 215, maxY - 20).
    EXPECT_TRUE(near(OneCard(callout).pixel(40 + 10 + 215, 40 + 132 - 20), QColor::fromRgbF(1.0f, 0.94f, 0.84f)));
}

TEST(PdfCards, RegionsAndConnectorsAreDrawnBehindCards)
{
    OneCard card(testPosition("P1", "Clerk", "Ada Lovelace"));
    card.chart.layout.size = Size{520, 400};
    card.chart.layout.regions.push_back(
        ChartRegion{Rect::make(290, 40, 200, 300), "Shared Reports", "Reporting here by dotted line"});
    card.chart.layout.primarySegments.push_back(ChartSegment{{160, 172}, {160, 360}});
    const QString text = card.text();
    EXPECT_TRUE(text.contains("Shared Reports"));
    EXPECT_TRUE(text.contains("Reporting here by dotted line"));
    EXPECT_TRUE(near(card.pixel(400, 250), QColor::fromRgbF(0.97f, 0.97f, 0.97f), 2));
    const QRgb connector = card.pixel(160, 300, 4000);
    EXPECT_LT(qRed(connector), 200);
    EXPECT_EQ(qRed(connector), qBlue(connector));
}

TEST(PdfCards, DottedStrokesKeepTheirOwnDashPhase)
{
    // A horizontal stroke from x 100: with phase p the dash covers the points where
    // (x - 100 + p) mod 10 < 6. Flat caps: nothing is painted just past a dash's end.
    struct Case {
        double phase;
        double offset;
        bool inked;
    };
    const Case cases[] = {{0, 1.5, true}, {0, 6.8, false}, {0, 9.5, false}, {0, 11, true},
                          {5, 1.5, false}, {5, 6.8, true},  {5, 9.5, true},  {3, 2, true}, {3, 4, false}};
    for (const Case &c : cases) {
        OneCard card(testPosition("P1", "Clerk", "Ada Lovelace"));
        card.chart.positions.clear();
        Path path;
        path.moveTo({100, 200});
        path.lineTo({200, 200});
        card.chart.ink.strokes.push_back(DottedStroke{path, false, c.phase});
        const QRgb pixel = card.pixel(100 + c.offset, 200, 4000);
        EXPECT_EQ(!isWhite(pixel), c.inked) << "phase " << c.phase << " at " << c.offset;
        if (c.inked) {
            EXPECT_TRUE(near(pixel, QColor(255, 149, 0), 30));
        }
    }
}

TEST(PdfCards, ArrowheadsAreFilled)
{
    OneCard card(testPosition("P1", "Clerk", "Ada Lovelace"));
    card.chart.positions.clear();
    Path arrow;
    arrow.moveTo({150, 220});
    arrow.lineTo({140, 200});
    arrow.lineTo({160, 200});
    arrow.closeSubpath();
    card.chart.ink.arrows.push_back(DottedStroke{arrow, false, 0});
    EXPECT_TRUE(near(card.pixel(150, 205), QColor(255, 149, 0), 10));
}

TEST(PdfCards, PagesCarryOnlyTheCardsTheyShow)
{
    TestChart chart;
    chart.addCard(testPosition("P1", "Clerk", "Ada Lovelace"), 40, 40);
    chart.addCard(testPosition("P2", "Clerk", "Grace Hopper"), 600, 40);
    const QStringList texts = pageTexts(renderTestChart(chart, ChartPrintSettings{}));
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].contains("Ada Lovelace"));
    EXPECT_FALSE(texts[0].contains("Grace Hopper"));
    EXPECT_TRUE(texts[1].contains("Grace Hopper"));
    EXPECT_FALSE(texts[1].contains("Ada Lovelace"));
}
