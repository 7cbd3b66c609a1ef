#include "app/shell/window_placement.h"

#include "window_fit.h"

#include <gtest/gtest.h>

#include <QScreen>
#include <QTest>
#include <QWindow>

#include <memory>

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
