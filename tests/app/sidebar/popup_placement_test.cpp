#include "app/sidebar/popup_placement.h"

#include <gtest/gtest.h>

#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>

namespace {

// A popup centred under a button at a window's edge is shifted back into the window, not
// only onto the screen; one wider than the window stays on the screen.
TEST(PopupPlacement, StaysInsideTheAnchorsWindowWhenItFits)
{
    QWidget window;
    auto *row = new QHBoxLayout(&window);
    auto *left = new QPushButton(QStringLiteral("Group by"), &window);
    auto *right = new QPushButton(QStringLiteral("Find"), &window);
    row->addWidget(left);
    row->addStretch(1);
    row->addWidget(right);
    window.resize(420, 120);
    window.move(200, 100);
    window.show();
    const QRect screen = window.screen()->availableGeometry();
    ASSERT_GE(screen.width(), 700);
    const int frame = window.geometry().left() - window.frameGeometry().left();

    for (QPushButton *anchor : {left, right}) {
        QFrame popup(&window, Qt::Popup);
        popup.resize(300, 150);
        showPopupBelow(&popup, anchor);
        // The test platform frames every window, the popup too, and moves it by that frame.
        const QRect shown = popup.geometry().translated(-frame, 0);
        EXPECT_GE(shown.left(), window.frameGeometry().left()) << anchor->text().toStdString();
        EXPECT_LE(shown.right(), window.frameGeometry().right()) << anchor->text().toStdString();
        popup.close();
    }

    QFrame wide(&window, Qt::Popup);
    wide.resize(600, 150);
    showPopupBelow(&wide, left);
    EXPECT_GE(wide.geometry().left() - frame, screen.left());
    EXPECT_LE(wide.geometry().right() - frame, screen.right());
}

} // namespace
