#include "app/shell/window_placement.h"

#include "app/chart/chart_window.h"
#include "app/planning/planning_workspace.h"
#include "app/print/chart_print_sheet.h"
#include "app/shell/organization_document.h"

#include "app_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QScreen>
#include <QTest>

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

// The chart window, its print sheet and the planning window open inside the screen's free
// area, even where their own sizes do not fit it; the print sheet closes with Ctrl+W.
TEST(WindowPlacement, EveryWindowOpensInsideTheScreen)
{
    std::unique_ptr<QObject> keeper(WindowPlacement::keepWindowsOnScreen());
    ScriptedDialogs dialogs;
    auto *document = new OrganizationDocument;
    document->setArchive(AppTest::district(3));
    QPointer<ChartWindow> window = new ChartWindow(document, dialogs);
    window->show();
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
