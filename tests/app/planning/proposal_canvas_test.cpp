#include "app/planning/proposal_canvas.h"

#include "app/chart/chart_card_accessibility.h"

#include "core/chart/dotted_route_store.h"

#include "app_test_support.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QWheelEvent>
#include <QAccessibleActionInterface>
#include <QImage>
#include <QPushButton>
#include <QTest>

#include <map>

namespace {

std::shared_ptr<const Organization> chart(int reports = 3)
{
    return std::make_shared<const Organization>(AppTest::district(reports).organization);
}

TEST(ProposalCanvas, ZoomButtonsStopAtTheirLimitsWithoutRaisingASmallerZoom)
{
    double zoom = 1;
    const std::vector<double> expected{1.2, 1.44, 1.728, 2.0736, 2.48832, 2.985984, 3.0, 3.0};
    for (double step : expected) {
        zoom = ProposalChartSurface::zoomedIn(zoom);
        EXPECT_NEAR(zoom, step, 1e-9);
    }
    EXPECT_EQ(ProposalChartSurface::zoomedIn(5.0), 3.0);
    const std::vector<std::pair<double, double>> out{{0.011, 0.01}, {0.01, 0.01}, {0.005, 0.005}, {1.2, 1.0}};
    for (const auto &[from, to] : out)
        EXPECT_NEAR(ProposalChartSurface::zoomedOut(from), to, 1e-12) << from;
}

TEST(ProposalCanvas, FitsOnFirstShowingAndNeedsRoomBeyondItsPadding)
{
    ProposalCanvas canvas(std::make_shared<DottedRouteStore>());
    ProposalChartSurface &surface = canvas.surface();
    surface.setOrganization(chart());
    ASSERT_TRUE(surface.scene());
    canvas.resize(900, 700);
    canvas.show();
    const std::optional<ChartViewport> fitted = ChartViewport::fit(
        surface.scene()->layout().size, Size{double(surface.width()), double(surface.height())}, 20);
    ASSERT_TRUE(fitted);
    EXPECT_DOUBLE_EQ(surface.zoom(), fitted->scale);
    EXPECT_EQ(surface.pan(), fitted->offset);

    // Fit within the commit delay of a wheel step lands on the fit, which is what was
    // committed before the step; the step is never committed after it.
    const QPointF at(100, 100);
    QWheelEvent wheel(at, surface.mapToGlobal(at), {}, {0, 120}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&surface, &wheel);
    ASSERT_TRUE(surface.hasPendingCommit());
    canvas.fitButton()->click();
    EXPECT_EQ(surface.camera(), *fitted);
    EXPECT_FALSE(surface.hasPendingCommit());
    EXPECT_DOUBLE_EQ(surface.zoom(), fitted->scale);
    // "+" within that delay starts from what the step shows, and keeps its pan.
    QApplication::sendEvent(&surface, &wheel);
    const ChartViewport wheeled = surface.camera();
    canvas.zoomInButton()->click();
    EXPECT_DOUBLE_EQ(surface.zoom(), wheeled.scale * 1.2);
    EXPECT_EQ(surface.pan(), wheeled.offset);
    EXPECT_EQ(surface.camera(), (ChartViewport{surface.zoom(), wheeled.offset}));
    canvas.fitButton()->click();

    // "+" keeps the pan; a view no larger than twice the padding leaves everything as it is.
    canvas.zoomInButton()->click();
    EXPECT_DOUBLE_EQ(surface.zoom(), std::min(fitted->scale * 1.2, 3.0));
    EXPECT_EQ(surface.pan(), fitted->offset);
    const double zoomed = surface.zoom();
    surface.resize(40, 300);
    EXPECT_DOUBLE_EQ(surface.zoom(), zoomed);
    EXPECT_EQ(surface.pan(), fitted->offset);
}

TEST(ProposalCanvas, ShowsThePlaceholderWhileTheChartCannotBeLaidOut)
{
    ProposalCanvas canvas(std::make_shared<DottedRouteStore>());
    ProposalChartSurface &surface = canvas.surface();
    canvas.resize(600, 400);
    canvas.show();
    Organization looped = AppTest::district(1).organization;
    looped.positions[0].managerID = "P2"; // P1 and P2 report to each other
    surface.setOrganization(std::make_shared<const Organization>(looped));
    EXPECT_FALSE(surface.scene());
    const double zoom = surface.zoom();
    canvas.fitButton()->click();
    EXPECT_EQ(surface.zoom(), zoom);
    canvas.zoomOutButton()->click();
    EXPECT_NEAR(surface.zoom(), zoom / 1.2, 1e-12);

    surface.setOrganization(chart());
    EXPECT_TRUE(surface.scene());
}

TEST(ProposalCanvas, TintsChangedCardsInTheirColours)
{
    Organization organization = AppTest::district(1).organization;
    organization.positions[1].proposalChange = ProposalChangeKind::deleted;
    ProposalCanvas canvas(std::make_shared<DottedRouteStore>());
    ProposalChartSurface &surface = canvas.surface();
    surface.setOrganization(std::make_shared<const Organization>(organization));
    canvas.resize(700, 600);
    canvas.show();
    ASSERT_TRUE(surface.scene());
    const QImage shot = surface.grab().toImage();
    const auto reddish = [&](const Rect &frame) {
        const ChartViewport camera = surface.camera();
        int count = 0;
        for (double x = frame.minX() + 4; x < frame.maxX() - 4; x += 3) {
            for (double y = frame.minY() + 4; y < frame.maxY() - 4; y += 3) {
                const QColor pixel = shot.pixelColor(int(x * camera.scale + camera.offset.width),
                                                     int(y * camera.scale + camera.offset.height));
                count += pixel.red() > pixel.green() + 40 && pixel.red() > pixel.blue() + 40;
            }
        }
        return count;
    };
    for (const ChartNode &node : surface.scene()->layout().nodes) {
        if (node.id == "P2")
            EXPECT_GT(reddish(node.frame), 20);
        else
            EXPECT_EQ(reddish(node.frame), 0) << node.id;
    }
}

// The proposal chart's cards read and act as the chart window's do: a button per card with
// its spoken label, whose press selects the card.
TEST(ProposalCanvas, CardsAreAccessibleButtonsThatSelect)
{
    Organization organization = AppTest::district(2).organization;
    organization.positions[1].proposalChange = ProposalChangeKind::added;
    ProposalCanvas canvas(std::make_shared<DottedRouteStore>());
    ProposalChartSurface &surface = canvas.surface();
    ChartPrintSettings settings;
    settings.showPayLevel = true;
    surface.setSettings(settings);
    surface.setOrganization(std::make_shared<const Organization>(organization));
    canvas.resize(700, 600);
    canvas.show();
    ASSERT_TRUE(surface.scene());
    std::vector<std::string> pressed;
    QObject::connect(&surface, &ProposalChartSurface::cardClicked, [&](const std::string &id) { pressed.push_back(id); });

    QAccessibleInterface *chart = QAccessible::queryAccessibleInterface(&surface);
    ASSERT_NE(chart, nullptr);
    const auto &nodes = surface.scene()->layout().nodes;
    ASSERT_EQ(chart->childCount(), int(nodes.size()));
    for (int i = 0; i < chart->childCount(); ++i) {
        QAccessibleInterface *card = chart->child(i);
        EXPECT_EQ(card->role(), QAccessible::Button);
        EXPECT_EQ(card->text(QAccessible::Name),
                  ChartCardAccessibility::label(*surface.scene()->position(nodes[size_t(i)].id), settings, 1));
        EXPECT_EQ(card->childCount(), 0);
        EXPECT_EQ(chart->childAt(card->rect().center().x(), card->rect().center().y()), card);
    }
    EXPECT_TRUE(chart->child(0)->text(QAccessible::Name).contains("Pay Level: "));

    QAccessibleInterface *second = chart->child(1);
    ASSERT_NE(second->actionInterface(), nullptr);
    second->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(pressed, std::vector<std::string>{nodes[1].id});
    surface.setSelection(nodes[1].id);
    EXPECT_TRUE(second->state().selected);
    EXPECT_FALSE(chart->child(0)->state().selected);
}

// A change shown in colour is also heard: the card's description names it in the legend's
// words, and its name stays the card's label.
TEST(ProposalCanvas, ChangedCardsDescribeTheirChangeInTheLegendsWords)
{
    Organization organization = AppTest::district(4).organization;
    organization.positions[1].proposalChange = ProposalChangeKind::added;
    organization.positions[2].proposalChange = ProposalChangeKind::deleted;
    organization.positions[3].proposalChange = ProposalChangeKind::moved;
    organization.positions[4].proposalChange = ProposalChangeKind::modified;
    ProposalCanvas canvas(std::make_shared<DottedRouteStore>());
    ProposalChartSurface &surface = canvas.surface();
    surface.setOrganization(std::make_shared<const Organization>(organization));
    canvas.resize(900, 600);
    canvas.show();
    ASSERT_TRUE(surface.scene());
    const std::map<std::string, QString> expected{
        {"P1", ""}, {"P2", "Added"}, {"P3", "Deleted"}, {"P4", "Moved / edited"}, {"P5", "Moved / edited"}};
    QAccessibleInterface *chart = QAccessible::queryAccessibleInterface(&surface);
    const auto &nodes = surface.scene()->layout().nodes;
    ASSERT_EQ(chart->childCount(), int(expected.size()));
    for (int i = 0; i < chart->childCount(); ++i) {
        const std::string &id = nodes[size_t(i)].id;
        QAccessibleInterface *card = chart->child(i);
        EXPECT_EQ(card->text(QAccessible::Description), expected.at(id)) << id;
        EXPECT_EQ(card->text(QAccessible::Name), ChartCardAccessibility::label(*surface.scene()->position(id), {}, 1)) << id;
    }
}

// Paper and the proposal chart draw every dotted line alike; only the chart window
// thickens the selected card's.
TEST(ProposalCanvas, SelectedCardsDottedLinesLookLikeAllOthers)
{
    Organization organization = AppTest::district(3).organization;
    organization.positions[3].dottedManagerIDs = {"P2"};
    ProposalCanvas canvas(std::make_shared<DottedRouteStore>());
    ProposalChartSurface &surface = canvas.surface();
    surface.setOrganization(std::make_shared<const Organization>(organization));
    canvas.resize(700, 600);
    canvas.show();
    const auto orangePixels = [&] {
        EXPECT_TRUE(QTest::qWaitFor([&] { return surface.scene() && !surface.scene()->routesPending(); }, 60000));
        const QImage shot = surface.grab().toImage();
        int count = 0;
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x) {
                const QColor pixel = shot.pixelColor(x, y);
                count += pixel.red() > 200 && pixel.green() > 100 && pixel.green() < 190 && pixel.blue() < 80;
            }
        }
        return count;
    };
    const int unselected = orangePixels();
    ASSERT_GT(unselected, 0) << "the dotted line is drawn";
    surface.setSelection(std::string("P4"));
    EXPECT_EQ(orangePixels(), unselected);
}

} // namespace
