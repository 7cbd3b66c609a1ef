#include "app/chart/chart_canvas.h"
#include "app/chart/chart_view.h"
#include "app/shell/organization_document.h"

#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QMouseEvent>
#include <QTimer>

namespace {

class ChartCanvasTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        document.setArchive(OrganizationArchive::make("Sample", Organization::example()));
        canvas.resize(1200, 800);
        canvas.show();
        settle();
    }

    // Lets the queued refresh and the queued fit run.
    static void settle()
    {
        for (int i = 0; i < 3; ++i)
            QApplication::processEvents();
    }

    QPointF viewPoint(Point chart) const
    {
        const ChartViewport camera = canvas.displayedCamera();
        return QPointF(chart.x * camera.scale + camera.offset.width, chart.y * camera.scale + camera.offset.height);
    }

    void click(Point chart, QEvent::Type type = QEvent::MouseButtonPress)
    {
        const QPointF at = viewPoint(chart);
        QMouseEvent press(type, at, canvas.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&canvas, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, canvas.mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(&canvas, &release);
        settle();
    }

    // A copy: the next chart replaces the scene the node lives in.
    ChartNode node(const std::string &id) const
    {
        for (const ChartNode &n : canvas.scene()->layout().nodes) {
            if (n.id == id)
                return n;
        }
        throw std::runtime_error("no card " + id);
    }

    ScriptedDialogs dialogs;
    OrganizationDocument document;
    ChartView view{document, dialogs};
    ChartCanvas canvas{view};
};

TEST_F(ChartCanvasTest, DottedLinesFollowTheCards)
{
    OrganizationArchive archive = document.archive();
    Organization &organization = archive.organization;
    ASSERT_GE(organization.positions.size(), 6u);
    const std::string manager = organization.positions[1].id;
    Position &report = organization.positions.back();
    ASSERT_NE(report.managerID, manager);
    report.dottedManagerIDs = {manager};
    const std::string reportID = report.id;
    int routed = 0;
    QEventLoop loop;
    QObject::connect(&view, &ChartView::dottedLinesRouted, &loop, [&] {
        ++routed;
        loop.quit();
    });
    document.setArchive(archive);
    settle();
    ASSERT_NE(canvas.scene(), nullptr);
    if (canvas.scene()->routesPending()) {
        EXPECT_TRUE(canvas.scene()->routes().empty());
        if (routed == 0) {
            QTimer::singleShot(60000, &loop, &QEventLoop::quit);
            loop.exec();
        }
        ASSERT_GT(routed, 0);
        settle();
    }
    EXPECT_FALSE(canvas.scene()->routesPending());
    const std::vector<DottedRoute> &routes = canvas.scene()->routes();
    EXPECT_TRUE(std::any_of(routes.begin(), routes.end(), [&](const DottedRoute &route) {
        return route.managerID == manager && route.reportID == reportID;
    }));
}

TEST_F(ChartCanvasTest, ClicksSelectAndOpenTheEditor)
{
    std::vector<std::string> edited;
    QObject::connect(&view, &ChartView::positionEditRequested,
                     [&](const Position &position) { edited.push_back(position.id); });
    const ChartNode card = node("P003");
    const Point centre{card.frame.midX(), card.frame.midY()};
    click(centre);
    EXPECT_EQ(view.selectedID(), "P003");
    const QImage image = canvas.grab().toImage();
    const QPoint edge = viewPoint(Point{card.frame.midX(), card.frame.maxY() - 0.5}).toPoint();
    EXPECT_EQ(image.pixelColor(edge).rgb(), canvas.palette().color(QPalette::Highlight).rgb());

    // Empty chart keeps the selection: only cards take clicks.
    click(Point{card.frame.minX() - 15, card.frame.midY()});
    EXPECT_EQ(view.selectedID(), "P003");
    click(centre, QEvent::MouseButtonDblClick);
    EXPECT_EQ(edited, std::vector<std::string>{"P003"});
}

} // namespace
