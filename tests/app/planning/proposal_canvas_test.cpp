#include "app/planning/proposal_canvas.h"

#include "core/chart/dotted_route_store.h"

#include "app_test_support.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPushButton>

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

} // namespace
