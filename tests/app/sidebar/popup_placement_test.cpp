#include "app/sidebar/popup_placement.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>
#include <QVBoxLayout>
#include <QWheelEvent>

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

// On a 1280 × 800 screen at scale 2 (640 × 400 points) a tall popup that fits on neither
// side of its button goes below it cut to the room there, the larger side, or above it; the
// dropdown's list fits below one button and goes above another near the bottom; the search
// results fit whole. The paper panel keeps its whole size where the screen holds it, at scale 1
// over its own button, and is cut only to the room at scale 2. Every one lies inside the room.
TEST(PopupPlacement, EveryPopupLiesInsideTheRoom)
{
    const QRect small(0, 0, 640, 400);
    const QRect large(0, 0, 1280, 800);
    struct Case {
        const char *name;
        QSize wanted;
        QRect anchor;
        QRect placed;
        PopupFit fit = PopupFit::besideAnchor;
        QRect room = {0, 0, 640, 400};
    };
    const Case cases[] = {
        {"tall popup", {482, 702}, {418, 172, 130, 22}, {158, 194, 482, 206}},
        {"tall popup, high button", {482, 702}, {418, 40, 130, 22}, {158, 62, 482, 338}},
        {"tall popup, low button", {482, 702}, {418, 330, 130, 22}, {158, 0, 482, 330}},
        {"chart picker", {420, 320}, {60, 20, 160, 22}, {0, 42, 420, 320}},
        {"group by, near the bottom", {420, 320}, {60, 350, 160, 22}, {0, 30, 420, 320}},
        {"search results", {520, 360}, {300, 10, 40, 22}, {60, 32, 520, 360}},
        {"larger than the room", {900, 900}, {300, 180, 40, 22}, {0, 202, 640, 198}},
        {"paper panel at scale 1", {482, 702}, {615, 148, 131, 24}, {440, 98, 482, 702}, PopupFit::wholeOnScreen, large},
        {"paper panel at scale 2", {482, 702}, {418, 172, 130, 22}, {158, 0, 482, 400}, PopupFit::wholeOnScreen, small},
    };
    for (const Case &c : cases) {
        const QRect placed = popupPlaced(c.wanted, {100, 100}, c.anchor, c.room, c.room, c.fit);
        EXPECT_EQ(placed, c.placed) << c.name;
        EXPECT_TRUE(c.room.contains(placed)) << c.name;
    }
    // Too little room on both sides for the popup's least height: it covers the anchor
    // rather than leave the screen.
    const QRect cramped = popupPlaced({300, 300}, {200, 250}, {100, 190, 60, 20}, small, small);
    EXPECT_EQ(cramped.height(), 250);
    EXPECT_TRUE(small.contains(cramped));
}

// A popup whose content is taller than the screen is made as tall as the room and scrolls:
// Tab to its last field brings that field into sight.
TEST(PopupPlacement, ContentTallerThanTheScreenScrolls)
{
    QWidget window;
    auto *row = new QVBoxLayout(&window);
    auto *anchor = new QPushButton(QStringLiteral("Paper & Appearance"), &window);
    row->addWidget(anchor);
    row->addStretch(1);
    window.resize(500, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QRect room = window.screen()->availableGeometry();

    auto *popup = new QFrame(&window, Qt::Popup);
    popup->setAttribute(Qt::WA_DeleteOnClose);
    auto *content = new QWidget;
    auto *fields = new QVBoxLayout(content);
    auto *paper = new QComboBox(content);
    paper->addItems({QStringLiteral("Letter"), QStringLiteral("Legal"), QStringLiteral("A3")});
    fields->addWidget(paper);
    QList<QLineEdit *> edits;
    for (int i = 0; i < 30; ++i) {
        edits.append(new QLineEdit(content));
        edits.back()->setMinimumHeight(40);
        fields->addWidget(edits.back());
    }
    content->setFixedWidth(300);
    ASSERT_GT(content->sizeHint().height(), room.height());
    setScrollingContent(popup, content);
    showPopupBelow(popup, anchor);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(popup));

    // The test platform frames every window, the popup too, and moves it by that frame.
    const QRect shown = popup->geometry().translated(window.frameGeometry().topLeft() - window.geometry().topLeft());
    EXPECT_TRUE(room.contains(shown)) << shown.y() << " " << shown.height() << " in " << room.height();
    auto *area = popup->findChild<QScrollArea *>();
    ASSERT_NE(area, nullptr);
    EXPECT_GT(area->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(area->horizontalScrollBar()->maximum(), 0) << "the scroll bar takes no width from the content";

    edits.front()->setFocus(Qt::PopupFocusReason);
    for (int i = 1; i < edits.size(); ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), edits.back());
    const QRect last(edits.back()->mapTo(area->viewport(), QPoint(0, 0)), edits.back()->size());
    EXPECT_TRUE(area->viewport()->rect().contains(last));
    // The scroll area, nameless and unseen, is no stop between the last field and the first.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), paper);

    // A wheel turned over a choice scrolls and changes nothing, even where the choice has the
    // focus, as the paper panel's first one has when it opens.
    area->verticalScrollBar()->setValue(0);
    paper->setFocus(Qt::PopupFocusReason);
    QWheelEvent wheel(QPointF(5, 5), paper->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(paper, &wheel);
    EXPECT_EQ(paper->currentText(), QStringLiteral("Letter"));
    EXPECT_GT(area->verticalScrollBar()->value(), 0);

    // A turn from the mouse, which reaches the popup's window first, neither takes the focus
    // to the choice under the pointer (the next arrow key would change it) nor changes it.
    area->verticalScrollBar()->setValue(0);
    edits.front()->setFocus(Qt::PopupFocusReason);
    const QPoint over = paper->rect().center();
    QWheelEvent turn(paper->mapTo(popup, QPointF(over)), paper->mapToGlobal(QPointF(over)), QPoint(), QPoint(0, -120),
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&turn);
    qApp->notify(popup->windowHandle(), &turn);
    EXPECT_EQ(QApplication::focusWidget(), edits.front());
    EXPECT_EQ(paper->currentText(), QStringLiteral("Letter"));
    EXPECT_GT(area->verticalScrollBar()->value(), 0);
    popup->close();
}

} // namespace
