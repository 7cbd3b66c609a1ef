#include "app/chart/chart_canvas.h"
#include "app/chart/chart_view.h"
#include "app/shell/organization_document.h"
#include "printing/chart_painter.h"
#include "printing/chart_screen_card.h"

#include "chart_fixtures.h"
#include "palette_contrast.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QTest>

using namespace AppTest;

namespace {

class CardPalette : public ChartViewFixture, public ::testing::WithParamInterface<bool> {
protected:
    // The sample district on a canvas of the light or the dark palette.
    QPalette showSample(ChartCanvas &canvas, const Organization &organization = Organization::example())
    {
        const QPalette palette = GetParam() ? darkPalette() : lightPalette();
        document.setArchive(OrganizationArchive::make("Sample", organization));
        canvas.setPalette(palette);
        canvas.resize(1200, 800);
        canvas.show();
        return palette;
    }
};

double rowContrast(const QImage &shot, const ChartCanvas &canvas, const QRectF &row, const QColor &fill)
{
    return strongestContrast(shot, canvas.viewRect(Rect::make(row.x(), row.y(), row.width(), row.height())), fill);
}

// Every text line of a card reads at 4.5:1 on the card, light or dark: the job title, name,
// FTE, "Vacant", the department (an assistant's in purple on its tint), the pay level and the
// location, the quieter ones too.
TEST_P(CardPalette, CardTextsAreReadableOnThePalette)
{
    Organization sample = Organization::example();
    sample.positions.back().isAssistant = true;
    ChartCanvas canvas(view);
    const QPalette palette = showSample(canvas, sample);
    ChartPrintSettings settings = view.printSettings();
    settings.showPayLevel = true;
    view.setPrintSettings(settings);
    settle();
    ASSERT_NE(canvas.scene(), nullptr);
    ASSERT_GE(view.zoom(), 0.9) << "text large enough to measure";
    const QImage shot = canvas.grab().toImage();
    const ChartScreenCard::Look look = ChartCanvas::screenCardLook(view.printSettings(), palette);
    int assistants = 0;
    int vacancies = 0;
    for (const ChartNode &node : canvas.scene()->layout().nodes) {
        const Position &position = *canvas.scene()->position(node.id);
        assistants += position.isAssistantPosition();
        vacancies += !position.employee;
        ChartScreenCard::State state;
        state.hasReports = canvas.scene()->hasReports(node.id);
        const ChartScreenCard::Layout rows = ChartScreenCard::layout(node.frame, position, state, look);
        // The card's own fill, an assistant's tint included, where the department stands.
        const QColor fill = commonestColour(shot, canvas.viewRect(Rect::make(rows.department.x(), rows.department.y(),
                                                                              rows.department.width(),
                                                                              rows.department.height())));
        const std::pair<const char *, QRectF> lines[] = {
            {"job title", rows.jobTitle},   {"FTE", rows.fte},           {"name", rows.nameRow},
            {"department", rows.department}, {"pay level", rows.payLevel}, {"location", rows.location},
        };
        for (const auto &[name, row] : lines) {
            ASSERT_FALSE(row.isNull()) << node.id << " " << name;
            EXPECT_GE(rowContrast(shot, canvas, row, fill), 4.5) << node.id << " " << name;
        }
    }
    EXPECT_EQ(assistants, 1);
    EXPECT_EQ(vacancies, 1);
}

// Each of a card's text colours reads at 4.5:1 on every fill a card may have: its own, an
// assistant's tint and, on a proposal chart, both ends of each change tint; "POSITION GROUP"
// and the manager reference included, which the sample does not show.
TEST_P(CardPalette, EveryCardTextColourReadsOnEveryCardFill)
{
    const QPalette palette = GetParam() ? darkPalette() : lightPalette();
    for (const ChartScreenCard::ChangeTints tints : {ChartScreenCard::ChangeTints::absent, ChartScreenCard::ChangeTints::shown}) {
        const ChartScreenCard::Look look = ChartCanvas::screenCardLook(ChartPrintSettings{}, palette, tints);
        const std::pair<const char *, QColor> texts[] = {
            {"text", look.text},           {"secondary", look.secondaryText}, {"vacant", look.vacantText},
            {"group", look.groupText},     {"assistant", look.assistantText}, {"reference", look.referenceText},
        };
        for (const QColor &fill : ChartScreenCard::fills(look.background, tints)) {
            for (const auto &[name, colour] : texts)
                EXPECT_GE(contrast(colour, fill), 4.5) << name << " on " << fill.name().toStdString();
        }
    }
}

// The keyboard's dashed ring around the selected card stands out from the chart's grey at
// 3:1, as a focus indicator must; the desktop's blue reads at 2.72:1 on the light grey.
TEST_P(CardPalette, TheKeyboardRingStandsOutOnTheChart)
{
    ChartCanvas canvas(view);
    const QPalette palette = showSample(canvas);
    canvas.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&canvas));
    canvas.setFocus(Qt::TabFocusReason);
    view.selectPerson(Organization::example().positions.front().id);
    settle();
    int selected = -1;
    for (int i = 0; i < canvas.cardCount() && selected < 0; ++i)
        selected = canvas.isCardSelected(i) ? i : -1;
    ASSERT_GE(selected, 0);
    // The band above the card where the ring runs, clear of the card's own border.
    const QRect card = canvas.cardViewRect(selected);
    const QRect band(card.left() + 20, card.top() - 7, card.width() - 40, 5);
    const QImage shot = canvas.grab().toImage();
    const QColor chart = ChartNavigationSurface::underPageColour(palette);
    ASSERT_EQ(commonestColour(shot, band.adjusted(0, -20, 0, -20)).rgb(), chart.rgb()) << "measured on the chart's own grey";
    EXPECT_GE(strongestContrast(shot, band, chart), 3.0);
}

// The dotted lines carry relationships: on screen they stand out at 3:1 from the chart's grey
// and from a region panel on it, an orange still (darker on the light grey, where the bright
// orange reads at 1.62:1); on paper they keep the bright orange.
TEST_P(CardPalette, DottedLinesStandOutOnTheChart)
{
    const QPalette palette = GetParam() ? darkPalette() : lightPalette();
    const ChartPaintStyle style = ChartCanvas::screenStyle(palette);
    const QColor chart = ChartNavigationSurface::underPageColour(palette);
    QImage panel(1, 1, QImage::Format_RGB32);
    panel.fill(chart);
    QPainter(&panel).fillRect(panel.rect(), style.regionFill);
    EXPECT_GE(contrast(style.ink, chart), 3.0) << style.ink.name().toStdString();
    EXPECT_GE(contrast(style.ink, panel.pixelColor(0, 0)), 3.0);
    EXPECT_NEAR(style.ink.hueF(), ChartScreenCard::orange.hueF(), 0.02) << "still orange";
    EXPECT_EQ(ChartPaintStyle().ink, ChartScreenCard::orange) << "paper";

    // As drawn: along a straight run of a routed line, clear of its ends.
    ChartCanvas canvas(view);
    showSample(canvas);
    for (int i = 0; i < 1000 && (!canvas.scene() || canvas.scene()->routesPending()); ++i)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    settle();
    ASSERT_TRUE(canvas.scene() && !canvas.scene()->routesPending());
    const QImage shot = canvas.grab().toImage();
    int runs = 0;
    for (const DottedRoute &route : canvas.scene()->routes()) {
        for (size_t p = 0; p + 1 < route.points.size(); ++p) {
            const Point a = route.points[p];
            const Point b = route.points[p + 1];
            const QRect run = canvas.viewRect(Rect::make(std::min(a.x, b.x), std::min(a.y, b.y), std::abs(a.x - b.x),
                                                         std::abs(a.y - b.y)));
            const bool across = a.y == b.y;
            const QRect middle = across ? run.adjusted(12, -1, -12, 1) : run.adjusted(-1, 12, 1, -12);
            if (middle.width() < 3 || middle.height() < 3 || commonestColour(shot, middle.adjusted(-8, -8, 8, 8)).rgb() != chart.rgb())
                continue;
            ++runs;
            EXPECT_GE(strongestContrast(shot, middle, chart), 3.0) << route.reportID << " to " << route.managerID;
        }
    }
    EXPECT_GT(runs, 0) << "a run measured";
}

INSTANTIATE_TEST_SUITE_P(LightAndDark, CardPalette, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool> &info) { return info.param ? "Dark" : "Light"; });

} // namespace
