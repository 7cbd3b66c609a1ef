#include "app/shell/window_placement.h"

#include "app/chart/chart_window.h"
#include "app/planning/planning_workspace.h"
#include "app/print/chart_print_sheet.h"
#include "app/shell/organization_document.h"

#include "app_test_support.h"
#include "scripted_dialogs.h"
#include "window_fit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QScreen>
#include <QTest>

#include <cmath>
#include <memory>

// A frame too large for the room shrinks to it; one standing past an edge moves back in as
// little as it takes; one that fits stays where it is.
TEST(WindowPlacement, FramesFitInsideTheRoom)
{
    const QRect room(0, 30, 914, 541); // 1600 × 1000 pixels at 1.75, less a top panel
    struct Case {
        QRect frame;
        QRect placed;
    };
    for (const Case &c : {Case{{0, 0, 1200, 800}, {0, 30, 914, 541}}, Case{{200, 100, 500, 400}, {200, 100, 500, 400}},
                          Case{{700, 400, 500, 400}, {414, 171, 500, 400}},
                          Case{{-50, 40, 300, 200}, {0, 40, 300, 200}}}) {
        EXPECT_EQ(WindowPlacement::fitted(c.frame, room), c.placed) << c.frame.x() << "," << c.frame.y();
    }
}

// A window's frame (title bar and borders) lies inside the room with the window: the chart
// window on a 1280 × 800 screen under a desktop's frame loses 25 pixels of height. Before the
// desktop has framed a window, its frame is unknown, and the window placed without one
// overflows; placed again once its frame is known, it lies inside. A window placed by its
// geometry at the top of the screen gets its title bar above it; placed again, it moves down.
TEST(WindowPlacement, FramesOfTheirDesktopFitInside)
{
    const QRect screen(0, 0, 1280, 800);
    const QMargins frame(1, 20, 1, 5);
    EXPECT_EQ(WindowPlacement::framePlaced({0, 0}, {1200, 800}, frame, screen), QRect(0, 0, 1202, 800));

    const QRect unframed = WindowPlacement::framePlaced({0, 0}, {1200, 800}, {}, screen);
    EXPECT_EQ(unframed, QRect(0, 0, 1200, 800));
    EXPECT_FALSE(screen.contains(unframed.marginsAdded(frame))) << "framed by the desktop after it was placed";
    const QRect framed = WindowPlacement::framePlaced(unframed.topLeft(), unframed.size(), frame, screen);
    EXPECT_EQ(framed, QRect(0, 0, 1202, 800));
    EXPECT_EQ(framed.size().shrunkBy(frame), QSize(1200, 775));

    EXPECT_EQ(WindowPlacement::framePlaced({-1, -20}, {1000, 700}, frame, screen), QRect(0, 0, 1002, 725));
    // At scale 2 the same screen is 640 × 400, the frame about half as thick.
    EXPECT_EQ(WindowPlacement::framePlaced({0, 0}, {1160, 820}, QMargins(1, 10, 1, 3), QRect(0, 0, 640, 400)),
              QRect(0, 0, 640, 400));
}

// On a 1280 × 800 screen at scales 1, 1.75 and 2, each window placed with a frame keeps all its
// controls: none is narrower than its layout needs, and no button cuts its text, though some
// elide it (with the whole text in their tooltip), and the chart header stacks its second row.
TEST(WindowPlacement, EveryWindowKeepsItsControlsOnASmallScreen)
{
    for (const double scale : {1.0, 1.75, 2.0}) {
        const QRect room(0, 0, int(1280 / scale), int(800 / scale));
        auto thickness = [scale](int pixels) { return int(std::ceil(pixels / scale)); };
        const QMargins frame(thickness(1), thickness(20), thickness(1), thickness(5));
        AppTest::eachWindow([&](QWidget &window, const char *name) {
            WindowPlacement::fitInto(window, frame, room);
            QCoreApplication::processEvents();
            // Where it stands is the desktop's to say, offscreen.
            const QSize framed = window.size().grownBy(frame);
            EXPECT_TRUE(framed.width() <= room.width() && framed.height() <= room.height()) << name << " at " << scale;
            EXPECT_EQ(AppTest::cutControls(window), QStringList()) << name << " at " << scale;
        });
    }
}

// The chart window, its print sheet and the planning window open inside the screen's free
// area, even where their own sizes do not fit it; the print sheet closes with Ctrl+W.
TEST(WindowPlacement, EveryWindowOpensInsideTheScreen)
{
    std::unique_ptr<QObject> keeper(WindowPlacement::keepWindowsOnScreen());
    ScriptedDialogs dialogs;
    QPointer<ChartWindow> window = AppTest::showDistrictWindow(dialogs);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    const QRect room = window->screen()->availableGeometry();
    ASSERT_LT(room.width(), ChartWindow::defaultWidth) << "a screen smaller than the window";
    EXPECT_TRUE(room.contains(window->frameGeometry())) << window->frameGeometry().width();

    window->print();
    QPointer<ChartPrintSheet> sheet = window->findChild<ChartPrintSheet *>();
    ASSERT_TRUE(sheet);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
    EXPECT_TRUE(room.contains(sheet->frameGeometry()));
    QTest::keyClick(sheet, Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(sheet && sheet->isVisible()) << "Ctrl+W closes it";
    AppTest::deleteClosedWindows();

    QPointer<PlanningWorkspace> planning = PlanningWorkspace::open(*window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(planning));
    EXPECT_TRUE(room.contains(planning->frameGeometry()));
    planning->close();
    window->closeWithoutAsking();
    AppTest::deleteClosedWindows();
}
