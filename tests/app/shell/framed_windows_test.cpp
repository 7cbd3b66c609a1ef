#include "app/shell/window_placement.h"

#include "app/chart/chart_toolbar.h"
#include "app/chart/chart_window_body.h"
#include "app/sidebar/chart_design_controls.h"

#include "window_fit.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <memory>
#include <utility>

// Run by framed_windows.sh under a window manager on a 1280 × 800 screen, at scales 1, 1.75 and
// 2: each window, the first one included, ends with its frame inside the screen's free area
// once the desktop has framed it, and keeps all its controls. Skipped anywhere else.
TEST(FramedWindows, EveryWindowAndItsFrameInsideTheScreen)
{
    if (qEnvironmentVariableIsEmpty("VANTREL_FRAMED_DESKTOP"))
        GTEST_SKIP() << "runs under framed_windows.sh's window manager";
    std::unique_ptr<QObject> keeper(WindowPlacement::keepWindowsOnScreen());
    AppTest::eachWindow([](QWidget &window, const char *name) {
        const QRect room = window.screen()->availableGeometry();
        QWindow *handle = window.windowHandle();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !handle->frameMargins().isNull(); }, 5000))
            << name << ": no frame from the window manager";
        // The desktop applies the last placement at its own pace.
        const bool inside = QTest::qWaitFor([&] { return room.contains(window.frameGeometry()); }, 3000);
        const QRect frame = window.frameGeometry();
        EXPECT_TRUE(inside) << name << ": frame " << frame.x() << "," << frame.y() << " " << frame.width() << " × "
                            << frame.height() << " in " << room.width() << " × " << room.height();
        EXPECT_EQ(AppTest::cutControls(window), QStringList()) << name;
    });
}

// Under the same desktop, the popups of the chart window (the "Paper & Appearance" panel, the
// search results and a dropdown's list) lie inside the screen's free area; the panel, taller
// than the screen at the larger scales, scrolls its page headings into sight.
TEST(FramedWindows, EveryPopupInsideTheScreen)
{
    if (qEnvironmentVariableIsEmpty("VANTREL_FRAMED_DESKTOP"))
        GTEST_SKIP() << "runs under framed_windows.sh's window manager";
    std::unique_ptr<QObject> keeper(WindowPlacement::keepWindowsOnScreen());
    ScriptedDialogs dialogs;
    QPointer<ChartWindow> window = AppTest::showDistrictWindow(dialogs);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    const QRect room = window->screen()->availableGeometry();
    ASSERT_TRUE(QTest::qWaitFor([&] { return room.contains(window->frameGeometry()); }, 3000));
    ChartWindowBody &body = window->body();

    const auto expectInside = [&](QWidget *popup, const char *name) {
        ASSERT_TRUE(popup) << name;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(popup)) << name;
        const QRect shown = popup->frameGeometry();
        EXPECT_TRUE(room.contains(shown)) << name << ": " << shown.x() << "," << shown.y() << " " << shown.width()
                                          << " × " << shown.height() << " in " << room.width() << " × " << room.height();
    };

    body.togglePaperPanel();
    ChartDesignControls *panel = body.paperPanel();
    ASSERT_TRUE(panel);
    expectInside(panel->window(), "paper panel");
    const QWidget *viewport = panel->parentWidget();
    for (const auto &[field, name] : {std::pair(panel->titleField(), "Title"), std::pair(panel->subtitleField(), "Subtitle")}) {
        field->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
        const QRect seen(viewport->mapToGlobal(QPoint(0, 0)), viewport->size());
        const QRect shown(field->mapToGlobal(QPoint(0, 0)), field->size());
        EXPECT_TRUE(seen.contains(shown) && room.contains(shown)) << name;
    }
    panel->window()->close();
    AppTest::deleteClosedWindows();

    body.chartPicker()->open();
    expectInside(body.chartPicker()->popup(), "chart picker's list");
    body.chartPicker()->popup()->close();

    window->view().setSearchText(QStringLiteral("Person"));
    window->view().setShowingSearch(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return body.header()->searchPopup() != nullptr; }, 2000));
    expectInside(body.header()->searchPopup(), "search results");
    body.header()->searchPopup()->close();

    window->closeWithoutAsking();
    AppTest::deleteClosedWindows();
}
