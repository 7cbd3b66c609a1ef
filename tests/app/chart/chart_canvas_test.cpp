#include "app/chart/chart_view.h"
#include "app/shell/organization_document.h"
#include "scripted_dialogs.h"
#include "app/chart/chart_canvas.h"
#include "app/chart/chart_canvas_card.h"

#include "chart_fixtures.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFrame>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

using namespace AppTest;

namespace {

class ChartCanvasTest : public ChartViewFixture {
protected:
    void SetUp() override
    {
        document.setArchive(OrganizationArchive::make("Sample", Organization::example()));
        canvas.resize(1200, 800);
        canvas.show();
        settle();
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

    // Where the canvas puts the controls of a card as it shows now.
    ChartCanvasCard::Controls controlsOf(const std::string &id) const
    {
        const ChartScene &scene = *canvas.scene();
        ChartCanvasCard::State state;
        state.hasReports = scene.hasReports(id);
        for (const OrganizationSheet *sheet : scene.linkedSheetsOf(id))
            state.linkedSheetNames.push_back(sheet->name);
        return ChartCanvasCard::controls(node(id).frame, *scene.position(id), state,
                                         ChartCanvas::screenCardLook(view.printSettings(), canvas.palette()));
    }

    ChartCanvas canvas{view};
};

// A chart too large to wait for its lines: 40 managers of 20 people, four people of each
// team with a dotted line to a manager across the chart.
Organization linedDistrict()
{
    Organization organization;
    const auto add = [&](const std::string &id, std::optional<std::string> manager) {
        Position p;
        p.id = id;
        p.title = p.department = "Team " + id.substr(0, 3);
        p.managerID = std::move(manager);
        p.employee = Employee{"E" + id, "Person " + id};
        organization.positions.push_back(std::move(p));
    };
    add("TOP", std::nullopt);
    for (int m = 0; m < 40; ++m) {
        const std::string manager = "M" + std::to_string(100 + m);
        add(manager, "TOP");
        for (int r = 0; r < 20; ++r) {
            add(manager + "-" + std::to_string(r), manager);
            if (r % 5 == 2)
                organization.positions.back().dottedManagerIDs = {"M" + std::to_string(100 + (m + 7 + r) % 40)};
        }
    }
    return organization;
}

// Records the parts of a widget each repaint drew.
class PaintedParts : public QObject {
public:
    explicit PaintedParts(QWidget &widget) : m_widget(widget) { widget.installEventFilter(this); }
    std::vector<QRegion> parts;
    bool allWhole() const
    {
        return std::all_of(parts.begin(), parts.end(), [&](const QRegion &part) { return part == QRegion(m_widget.rect()); });
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            parts.push_back(static_cast<QPaintEvent *>(event)->region());
        return false;
    }

private:
    QWidget &m_widget;
};

// Lines as they come from the router, and an edit that keeps every card in place, draw only
// where the picture changed; what shows is then what a whole new drawing gives, pixel for pixel.
TEST_F(ChartCanvasTest, NewLinesAndEditsDrawOnlyWhatChanged)
{
    PaintedParts painted(canvas);
    OrganizationArchive archive = OrganizationArchive::make("Lined", linedDistrict());
    document.setArchive(archive);
    settle();
    // Parts whose drawing would take longer than a frame are drawn a slice at a time.
    const auto drawAll = [&] {
        settle();
        QElapsedTimer clock;
        clock.start();
        while (canvas.hasPendingRepaint() && clock.elapsed() < 120000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        settle();
    };
    const auto routeAll = [&] {
        QElapsedTimer clock;
        clock.start();
        while ((canvas.scene()->routesPending() || canvas.hasPendingRepaint()) && clock.elapsed() < 120000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        settle();
    };
    routeAll();
    ASSERT_FALSE(canvas.scene()->routesPending());
    ASSERT_FALSE(canvas.hasPendingRepaint());
    ASSERT_GE(canvas.scene()->routes().size(), 100u);
    // What is on screen, drawn in parts, against the whole drawn anew.
    const auto onScreen = [&] {
        return canvas.screen()->grabWindow(canvas.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    };
    const auto anew = [&] { return canvas.grab().toImage().convertToFormat(QImage::Format_RGB32); };
    EXPECT_FALSE(painted.allWhole());
    EXPECT_EQ(onScreen(), anew());

    // The whole chart in the window, where thin lines are a pixel or less wide.
    view.fitToWindow();
    settle();
    // Another card selected: its frame and the ink highlighted otherwise are drawn again.
    painted.parts.clear();
    view.setSelectedID(canvas.scene()->routes().front().reportID);
    drawAll();
    EXPECT_EQ(onScreen(), anew());
    view.setSelectedID(canvas.scene()->routes().back().reportID);
    drawAll();
    EXPECT_EQ(onScreen(), anew());
    view.setSelectedID(std::nullopt);
    drawAll();
    EXPECT_EQ(onScreen(), anew());
    ASSERT_FALSE(painted.parts.empty());
    EXPECT_FALSE(painted.allWhole());

    // Saved and selected at once, as the editor does: the card and the ink of its lines, lit
    // now, are drawn again; then another line's card, and none.
    for (const std::string saved : {"M105-2", "M112"}) {
        painted.parts.clear();
        for (Position &position : archive.organization.positions) {
            if (position.id == saved)
                position.employee->name = "Saved " + saved;
        }
        document.setArchive(archive);
        view.setSelectedID(saved);
        drawAll();
        ASSERT_FALSE(painted.parts.empty());
        EXPECT_FALSE(painted.allWhole()) << saved;
        EXPECT_EQ(onScreen(), anew()) << saved;
    }
    view.setSelectedID(std::nullopt);
    drawAll();
    EXPECT_EQ(onScreen(), anew());

    painted.parts.clear();
    const std::string renamed = "M105-3";
    for (Position &position : archive.organization.positions) {
        if (position.id == renamed)
            position.employee->name = "Renamed Person";
    }
    document.setArchive(archive);
    drawAll();
    ASSERT_FALSE(painted.parts.empty());
    EXPECT_FALSE(painted.allWhole());
    EXPECT_EQ(onScreen(), anew());

    // A card deleted moves the others; the undo brings the picture of before back, drawn
    // anew only where it differs (here the renamed card, named otherwise meanwhile).
    const std::shared_ptr<const ChartScene> before = canvas.scene();
    OrganizationArchive deleted = archive;
    deleted.deletePosition("M120-19");
    document.setArchive(deleted);
    settle();
    ASSERT_NE(&canvas.scene()->layout(), &before->layout());
    routeAll();
    EXPECT_EQ(onScreen(), anew());
    for (Position &position : archive.organization.positions) {
        if (position.id == renamed)
            position.employee->name = "Renamed Again";
    }
    document.setArchive(archive);
    settle();
    ASSERT_EQ(canvas.scene()->layout(), before->layout());
    ASSERT_FALSE(canvas.scene()->routesPending());
    drawAll();
    EXPECT_EQ(onScreen(), anew());
}

// A canvas that notes the parts of the chart it draws.
class DrawnPartsCanvas : public ChartCanvas {
public:
    using ChartCanvas::ChartCanvas;
    double drawnArea = 0;

protected:
    void paintContent(QPainter &painter, const Rect &visible) override
    {
        drawnArea += visible.size.width * visible.size.height;
        ChartCanvas::paintContent(painter, visible);
    }
};

class KeptPictureTest : public ChartViewFixture {};

// Two deletes in a row, the second while the first one's lines still route, then both undone
// at once: the picture of before, with all its lines, shows again with only the cards that
// differ drawn anew.
TEST_F(KeptPictureTest, OutlivesMovesThatLeaveNothingToKeep)
{
    DrawnPartsCanvas canvas(view);
    canvas.resize(900, 600);
    canvas.show();
    OrganizationArchive archive = OrganizationArchive::make("Lined", linedDistrict());
    document.setArchive(archive);
    const auto settleAll = [&] {
        QElapsedTimer clock;
        clock.start();
        do
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        while ((canvas.scene()->routesPending() || canvas.hasPendingRepaint()) && clock.elapsed() < 120000);
        settle();
    };
    settleAll();
    ASSERT_FALSE(canvas.scene()->routesPending());
    const std::shared_ptr<const ChartScene> before = canvas.scene();

    OrganizationArchive deleted = archive;
    deleted.deletePosition("M120-19");
    document.setArchive(deleted);
    settle();
    ASSERT_TRUE(canvas.scene()->routesPending());
    deleted.deletePosition("M101-3");
    document.setArchive(deleted);
    settle();
    ASSERT_NE(canvas.scene()->layout(), before->layout());

    for (Position &position : archive.organization.positions) {
        if (position.id == "M110-4")
            position.employee->name = "Renamed Meanwhile";
    }
    canvas.drawnArea = 0;
    document.setArchive(archive);
    settle();
    ASSERT_EQ(canvas.scene()->layout(), before->layout());
    ASSERT_FALSE(canvas.scene()->routesPending());
    settleAll();
    const Rect shown = canvas.visibleChartRect();
    EXPECT_LT(canvas.drawnArea, 0.25 * shown.size.width * shown.size.height);
    EXPECT_EQ(canvas.screen()->grabWindow(canvas.winId()).toImage().convertToFormat(QImage::Format_RGB32),
              canvas.grab().toImage().convertToFormat(QImage::Format_RGB32));
}

// A strip shown or hidden under the chart resizes it and leaves the camera where it was:
// what is drawn stays, only what a larger view uncovers is drawn, and what shows is what a
// whole new drawing gives.
TEST_F(KeptPictureTest, AResizeDrawsOnlyWhatItUncovers)
{
    QWidget window;
    auto *column = new QVBoxLayout(&window);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto *canvas = new DrawnPartsCanvas(view);
    column->addWidget(canvas, 1);
    auto *strip = new QFrame;
    strip->setFixedHeight(80);
    strip->hide();
    column->addWidget(strip);
    window.resize(900, 600);
    document.setArchive(OrganizationArchive::make("Lined", linedDistrict()));
    window.show();
    QElapsedTimer clock;
    clock.start();
    do
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    while ((canvas->scene()->routesPending() || canvas->hasPendingRepaint()) && clock.elapsed() < 120000);
    settle();
    const ChartViewport camera = canvas->displayedCamera();
    const auto shownArea = [&] {
        const Rect shown = canvas->visibleChartRect();
        return shown.size.width * shown.size.height;
    };
    const auto onScreen = [&] {
        return window.screen()
            ->grabWindow(window.winId(), 0, 0, canvas->width(), canvas->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    const auto anew = [&] { return canvas->grab().toImage().convertToFormat(QImage::Format_RGB32); };

    canvas->drawnArea = 0;
    strip->show();
    settle();
    ASSERT_EQ(canvas->height(), 520);
    EXPECT_EQ(canvas->displayedCamera(), camera);
    EXPECT_LT(canvas->drawnArea, 0.01 * shownArea());
    EXPECT_EQ(onScreen(), anew());

    canvas->drawnArea = 0;
    strip->hide();
    settle();
    ASSERT_EQ(canvas->height(), 600);
    EXPECT_LT(canvas->drawnArea, 0.25 * shownArea());
    EXPECT_GT(canvas->drawnArea, 0);
    EXPECT_EQ(onScreen(), anew());

    // A selected card deleted with the strip shown, the strip gone with the selection, then
    // the undo: the picture of before serves where it covers the view, and the selection it
    // showed is drawn out where it differs.
    view.setSelectedID("M120-17");
    strip->show();
    settle();
    clock.restart();
    while (canvas->hasPendingRepaint() && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const OrganizationArchive before = document.archive();
    OrganizationArchive deleted = before;
    deleted.deletePosition("M120-17");
    document.setArchive(deleted);
    view.setSelectedID(std::nullopt);
    settle();
    strip->hide();
    settle();
    ASSERT_EQ(canvas->height(), 600);
    canvas->drawnArea = 0;
    document.setArchive(before);
    settle();
    ASSERT_FALSE(canvas->scene()->routesPending());
    clock.restart();
    while (canvas->hasPendingRepaint() && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    settle();
    EXPECT_LT(canvas->drawnArea, 0.25 * shownArea());
    EXPECT_EQ(onScreen(), anew());
}

// An undo whose first paint is of part of the view (the rest covered): the picture of before
// shows there, what differs is drawn after, and an edit that follows is drawn as well.
TEST_F(KeptPictureTest, ShowsWhenItsFirstPaintIsOfAPart)
{
    QWidget window;
    window.resize(900, 600);
    DrawnPartsCanvas canvas(view, &window);
    canvas.setGeometry(window.rect());
    QFrame cover(&window);
    cover.setAutoFillBackground(true);
    cover.setGeometry(600, 350, 300, 250);
    cover.hide();
    // The fresh canvas compared has no focus, and so no keyboard ring, to draw.
    canvas.setFocusPolicy(Qt::NoFocus);
    window.show();
    PaintedParts painted(canvas);
    OrganizationArchive archive = OrganizationArchive::make("Lined", linedDistrict());
    document.setArchive(archive);
    const auto settleAll = [&](int limitMs) {
        QElapsedTimer clock;
        clock.start();
        do
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        while ((canvas.scene()->routesPending() || canvas.hasPendingRepaint()) && clock.elapsed() < limitMs);
        settle();
    };
    settleAll(120000);
    ASSERT_FALSE(canvas.scene()->routesPending());
    view.setZoom(0.5);
    view.setPan(Size{-200, -100});
    settleAll(10000);
    // Two cards shown, clear of the cover: one renamed meanwhile, one after the undo.
    std::vector<std::string> renamed;
    for (const ChartNode &node : canvas.scene()->layout().nodes) {
        if (renamed.size() < 2 && node.id.find('-') != std::string::npos &&
            QRect(0, 0, 600, 350).contains(canvas.viewRect(node.frame)))
            renamed.push_back(node.id);
    }
    ASSERT_EQ(renamed.size(), 2u);
    const auto rename = [&](const std::string &id, const std::string &name) {
        for (Position &position : archive.organization.positions) {
            if (position.id == id)
                position.employee->name = name;
        }
    };

    OrganizationArchive deleted = archive;
    deleted.deletePosition("M120-19");
    document.setArchive(deleted);
    settle();
    cover.show();
    settle();
    rename(renamed[0], "Renamed Meanwhile");
    painted.parts.clear();
    canvas.drawnArea = 0;
    document.setArchive(archive);
    settle();
    ASSERT_FALSE(canvas.scene()->routesPending());
    ASSERT_FALSE(painted.parts.empty());
    ASSERT_FALSE(painted.parts.front().contains(QPoint(700, 500)));
    rename(renamed[1], "Renamed After");
    document.setArchive(archive);
    settleAll(10000);
    EXPECT_FALSE(canvas.hasPendingRepaint());
    const Rect shown = canvas.visibleChartRect();
    EXPECT_LT(canvas.drawnArea, 0.25 * shown.size.width * shown.size.height);
    // What shows, but for the cover, and then all of it, against the whole drawn anew (by a
    // canvas of its own: a grab of this one would go through what it keeps).
    const auto compare = [&](const QRect &covered) {
        QImage onScreen = canvas.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
        ChartCanvas fresh(view);
        fresh.resize(canvas.size());
        QImage anew = fresh.grab().toImage().convertToFormat(QImage::Format_RGB32);
        for (QImage *image : {&onScreen, &anew})
            QPainter(image).fillRect(covered, Qt::black);
        return onScreen == anew;
    };
    EXPECT_TRUE(compare(cover.geometry()));
    cover.hide();
    settleAll(10000);
    EXPECT_TRUE(compare(QRect()));
}

TEST_F(ChartCanvasTest, SampleDistrictIsFittedAndDrawnWhereTheLayoutPutIt)
{
    ASSERT_NE(canvas.scene(), nullptr);
    EXPECT_FALSE(view.isFitRequested());
    const std::optional<ChartViewport> fit =
        ChartViewport::fit(canvas.scene()->layout().size, Size{1200, 800}, ChartView::fitPadding);
    ASSERT_TRUE(fit);
    EXPECT_DOUBLE_EQ(view.zoom(), fit->scale);
    EXPECT_EQ(canvas.camera(), *fit);

    // Fit within the commit delay of a wheel step fits again, though the window's zoom and
    // pan are the fit's already; the step is never committed after it.
    QWheelEvent wheel(QPointF(100, 100), canvas.mapToGlobal(QPointF(100, 100)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&canvas, &wheel);
    ASSERT_TRUE(canvas.hasPendingCommit());
    view.fitToWindow();
    EXPECT_EQ(canvas.camera(), *fit);
    EXPECT_FALSE(canvas.hasPendingCommit());
    // Zoom in within that delay starts from what the step shows, and keeps its pan.
    QApplication::sendEvent(&canvas, &wheel);
    const ChartViewport wheeled = canvas.camera();
    view.zoomIn();
    EXPECT_DOUBLE_EQ(view.zoom(), wheeled.scale * ChartView::zoomStep);
    EXPECT_EQ(view.pan(), wheeled.offset);
    EXPECT_EQ(canvas.camera(), (ChartViewport{view.zoom(), wheeled.offset}));
    view.fitToWindow();

    const QImage image = canvas.grab().toImage();
    const QColor cardFill = canvas.palette().color(QPalette::Base);
    const QColor background = image.pixelColor(2, 2);
    EXPECT_NE(background, cardFill);
    ASSERT_EQ(canvas.scene()->layout().nodes.size(), 6u);
    for (const ChartNode &card : canvas.scene()->layout().nodes) {
        const QPoint inside = viewPoint(Point{card.frame.maxX() - 5, card.frame.midY()}).toPoint();
        EXPECT_EQ(image.pixelColor(inside), cardFill) << card.id;
        const QPoint outside = viewPoint(Point{card.frame.minX() - 12, card.frame.midY()}).toPoint();
        EXPECT_EQ(image.pixelColor(outside), background) << card.id;
    }
}

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

TEST_F(ChartCanvasTest, ClickSelectsAndTheSelectionIsDrawn)
{
    const ChartNode card = node("P003");
    click(Point{card.frame.midX(), card.frame.midY()});
    EXPECT_EQ(view.selectedID(), "P003");
    EXPECT_EQ(canvas.revision().selection, "P003");
}

TEST_F(ChartCanvasTest, DoubleClickOpensTheEditor)
{
    std::vector<std::string> edited;
    QObject::connect(&view, &ChartView::positionEditRequested,
                     [&](const Position &position) { edited.push_back(position.id); });
    const ChartNode card = node("P006");
    const Point centre{card.frame.midX(), card.frame.midY()};
    click(centre);
    click(centre, QEvent::MouseButtonDblClick);
    EXPECT_EQ(edited, std::vector<std::string>{"P006"});
    EXPECT_EQ(view.selectedID(), "P006");
}

TEST_F(ChartCanvasTest, BranchToggleFoldsTheReports)
{
    const auto toggle = [this] {
        const ChartCanvasCard::Controls controls = controlsOf("P003");
        ASSERT_TRUE(controls.branchToggle);
        click(Point{controls.branchToggle->midX(), controls.branchToggle->midY()});
    };
    toggle();
    EXPECT_EQ(view.collapsedPositionIDs(), std::set<std::string>{"P003"});
    EXPECT_EQ(canvas.cardCount(), 5);
    toggle();
    EXPECT_TRUE(view.collapsedPositionIDs().empty());
}

TEST_F(ChartCanvasTest, PanningKeepsTheRevision)
{
    const ChartCanvasRevision before = canvas.revision();
    QWheelEvent pan(QPointF(100, 100), canvas.mapToGlobal(QPointF(100, 100)), QPoint(30, 0), QPoint(240, 0),
                    Qt::NoButton, Qt::NoModifier, Qt::ScrollEnd, false);
    QApplication::sendEvent(&canvas, &pan);
    settle();
    EXPECT_EQ(canvas.revision(), before);
    EXPECT_EQ(view.pan().width, canvas.camera().offset.width);

    view.setShowingPageBreaks(true);
    settle();
    EXPECT_TRUE(canvas.revision().guides);
    EXPECT_EQ(canvas.revision().guideScale, view.zoom());
    view.zoomIn();
    settle();
    EXPECT_EQ(canvas.revision().guideScale, view.zoom());
    EXPECT_EQ(canvas.camera().scale, view.zoom());
}

TEST_F(ChartCanvasTest, CardsAreAccessibleButtons)
{
    QAccessibleInterface *chart = QAccessible::queryAccessibleInterface(&canvas);
    ASSERT_NE(chart, nullptr);
    ASSERT_EQ(chart->childCount(), 6);
    for (int i = 0; i < chart->childCount(); ++i) {
        QAccessibleInterface *card = chart->child(i);
        ASSERT_NE(card, nullptr);
        EXPECT_EQ(card->role(), QAccessible::Button);
        EXPECT_EQ(card->text(QAccessible::Name), canvas.cardLabel(i));
        EXPECT_EQ(chart->indexOfChild(card), i);
    }
    EXPECT_TRUE(chart->child(0)->text(QAccessible::Name).startsWith("Superintendent, Robin Ashcroft"));

    chart->child(2)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(view.selectedID(), canvas.cardID(2));

    view.setShowingPageBreaks(true);
    ASSERT_EQ(chart->childCount(), 7);
    EXPECT_EQ(chart->child(6)->text(QAccessible::Name), "Page boundaries using current print settings");
}

// The group's and the branch's toggles are buttons inside their card, named by what they do
// alone (the card around them says whose), and pressing them does what a click does.
TEST_F(ChartCanvasTest, CardTogglesAreButtonsAScreenReaderCanPress)
{
    QAccessibleInterface *chart = QAccessible::queryAccessibleInterface(&canvas);
    const auto card = [&](const std::string &id) -> QAccessibleInterface * {
        for (int i = 0; i < canvas.cardCount(); ++i) {
            if (canvas.cardID(i) == id)
                return chart->child(i);
        }
        return nullptr;
    };
    const QString press = QAccessibleActionInterface::pressAction();
    QAccessibleInterface *principal = card("P003");
    ASSERT_NE(principal, nullptr);
    ASSERT_EQ(principal->childCount(), 1);
    QAccessibleInterface *toggle = principal->child(0);
    EXPECT_EQ(toggle->role(), QAccessible::Button);
    EXPECT_EQ(toggle->text(QAccessible::Name), "Collapse branch");
    EXPECT_EQ(toggle->parent(), principal);
    EXPECT_EQ(principal->indexOfChild(toggle), 0);
    EXPECT_TRUE(principal->rect().contains(toggle->rect()));
    ASSERT_NE(toggle->actionInterface(), nullptr);
    EXPECT_EQ(toggle->actionInterface()->actionNames(), QStringList{press});
    toggle->actionInterface()->doAction(press);
    settle();
    EXPECT_EQ(view.collapsedPositionIDs(), std::set<std::string>{"P003"});
    EXPECT_EQ(card("P003")->child(0)->text(QAccessible::Name), "Expand branch");
    EXPECT_TRUE(card("P003")->text(QAccessible::Name).contains("Quinn Okoro"));
    card("P003")->child(0)->actionInterface()->doAction(press);
    settle();
    EXPECT_TRUE(view.collapsedPositionIDs().empty());
    EXPECT_EQ(card("P006")->childCount(), 0) << "no reports, no group: nothing to press";

    // Two principals in a group: the group's card offers "Expand group" before its branch.
    document.edit([](OrganizationArchive &archive) { archive.addGroup("Principals", {"P003", "P004"}); });
    settle();
    const std::string groupID = view.archive().groups->front().id;
    QAccessibleInterface *group = card(groupID);
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->childCount(), 2);
    EXPECT_EQ(group->child(0)->text(QAccessible::Name), "Expand group");
    EXPECT_EQ(group->child(1)->text(QAccessible::Name), "Collapse branch");
    group->child(0)->actionInterface()->doAction(press);
    settle();
    EXPECT_TRUE(view.expandedGroups().contains(groupID));
    EXPECT_EQ(card(groupID), nullptr);
    EXPECT_NE(card("P004"), nullptr);
}

TEST_F(ChartCanvasTest, AChartThatCannotBeBuiltSaysWhy)
{
    OrganizationArchive broken = document.archive();
    broken.organization.positions[0].managerID = "P006"; // a reporting cycle
    document.setArchive(broken);
    settle();
    EXPECT_EQ(canvas.scene(), nullptr);
    EXPECT_FALSE(view.sceneError().isEmpty());
    EXPECT_EQ(canvas.cardCount(), 0);
    const QImage image = canvas.grab().toImage();
    const QColor text = canvas.palette().color(QPalette::WindowText);
    bool written = false;
    for (int x = 0; x < image.width() && !written; ++x)
        written = image.pixelColor(x, image.height() / 2) == text;
    EXPECT_TRUE(written);
}

TEST_F(ChartCanvasTest, LinkedChartsOpenFromTheCard)
{
    OrganizationArchive archive = document.archive();
    archive.sheets = std::vector<OrganizationSheet>{{"S-OAK", "Oak", {"P003", "P006"}}, {"S-ALL", "All", {"P001"}}};
    document.setArchive(archive);
    settle();
    const ChartCanvasCard::Controls controls = controlsOf("P006");
    ASSERT_TRUE(controls.linkedSheets);
    click(Point{controls.linkedSheets->midX(), controls.linkedSheets->midY()});
    auto *menu = canvas.findChild<QMenu *>();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text(), "Oak");
    view.setSelectedID("P006");
    menu->actions()[0]->trigger();
    menu->close();
    EXPECT_EQ(view.selectedSheetID(), "S-OAK");
    EXPECT_EQ(view.selectedID(), std::nullopt);
}

TEST_F(ChartCanvasTest, RevisionFollowsWhatTheDrawingShows)
{
    const ChartCanvasRevision first = canvas.revision();
    EXPECT_EQ(first.scene, canvas.scene().get());
    EXPECT_EQ(first.guideScale, std::nullopt);

    // The print scale alone keeps the chart but not the revision.
    ChartPrintSettings scaled = view.printSettings();
    scaled.scalePercent = 50;
    view.setPrintSettings(scaled);
    settle();
    EXPECT_EQ(canvas.revision().scene, first.scene);
    EXPECT_NE(canvas.revision(), first);

    view.setSelectedID("P002");
    settle();
    EXPECT_EQ(canvas.revision().selection, "P002");
}

// Cards keep their layouts from one repaint to the next while the same cards show; what they
// draw is what a canvas laying every card out anew draws, also once the display toggles or a
// card's rows have changed.
TEST_F(ChartCanvasTest, KeptCardLayoutsDrawAsLaidOutAnew)
{
    canvas.clearFocus(); // the fresh canvas has no focus, and so no keyboard ring, to draw
    view.setZoom(1.5);
    settle();
    const auto anew = [&] {
        ChartCanvas fresh(view);
        fresh.resize(canvas.size());
        return fresh.grab().toImage();
    };
    ASSERT_TRUE(canvas.scene()->position("P005")->reportingCallout);
    canvas.grab();
    EXPECT_EQ(canvas.grab().toImage(), anew());

    ChartPrintSettings settings = view.printSettings();
    settings.showPayLevel = true;
    settings.hideNames = true;
    view.setPrintSettings(settings);
    settle();
    EXPECT_EQ(canvas.grab().toImage(), anew());

    OrganizationArchive archive = document.archive();
    for (Position &position : archive.organization.positions) {
        if (position.id == "P005")
            position.title = "Coordinator of Itinerant Speech and Language Services, Northern Sites";
    }
    document.setArchive(archive);
    settle();
    EXPECT_EQ(canvas.grab().toImage(), anew());
}

TEST_F(ChartCanvasTest, ReportingBadgeOpensItsDetails)
{
    ASSERT_TRUE(canvas.scene()->position("P005")->reportingCallout);
    const ChartCanvasCard::Controls controls = controlsOf("P005");
    ASSERT_TRUE(controls.callout);
    click(Point{controls.callout->midX(), controls.callout->midY()});
    QFrame *popover = nullptr;
    for (QFrame *frame : canvas.findChildren<QFrame *>()) {
        if (frame->accessibleName() == "Multiple reporting relationships")
            popover = frame;
    }
    ASSERT_NE(popover, nullptr);
    EXPECT_TRUE(popover->isVisible());
    // Clicking the badge shows details; it does not select the card.
    EXPECT_EQ(view.selectedID(), std::nullopt);
    popover->close();
}

} // namespace
