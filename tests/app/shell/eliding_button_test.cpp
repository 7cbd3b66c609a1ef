#include "app/shell/window_placement_button.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>

#include <climits>

using WindowPlacement::ElidingButton;

namespace {

// What a pointer resting on `button` shows.
QString toolTipOf(QWidget &button)
{
    QToolTip::hideText();
    QHelpEvent event(QEvent::ToolTip, button.rect().center(), button.mapToGlobal(button.rect().center()));
    QCoreApplication::sendEvent(&button, &event);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

} // namespace

// Too narrow for its text, a button shows the text's start and an ellipsis, offers the whole
// text above its help in its tooltip, and is still heard by the whole text; wide enough, it
// is a plain button again.
TEST(ElidingButton, ANarrowButtonShowsItsTextInItsTooltip)
{
    QWidget row;
    auto *layout = new QHBoxLayout(&row);
    auto *button = new ElidingButton(QStringLiteral("Delete Person && Position\u2026"), &row);
    button->setToolTip(QStringLiteral("Propose deleting it."));
    layout->addWidget(button);
    const int whole = button->sizeHint().width();
    ASSERT_LT(button->minimumSizeHint().width(), whole / 2);
    row.resize(whole / 2, row.sizeHint().height());
    row.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&row));

    ASSERT_TRUE(button->isElided()) << button->width() << " of " << whole;
    EXPECT_TRUE(button->shownText().startsWith("Delete")) << button->shownText().toStdString();
    EXPECT_TRUE(button->shownText().endsWith(QChar(0x2026)));
    EXPECT_LT(button->fontMetrics().horizontalAdvance(button->shownText()), button->width());
    EXPECT_EQ(toolTipOf(*button), "Delete Person & Position\u2026\nPropose deleting it.");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name), "Delete Person & Position\u2026");

    row.resize(whole + 40, row.height());
    QCoreApplication::processEvents();
    EXPECT_FALSE(button->isElided());
    EXPECT_EQ(button->shownText(), button->text());
    EXPECT_EQ(toolTipOf(*button), "Propose deleting it.");
    QToolTip::hideText();
}

// In a row too narrow for all its buttons the widest give way first, down to one common width,
// so that a short text stays whole while long ones are elided.
TEST(ElidingButton, TheWidestGiveWayFirst)
{
    EXPECT_EQ(WindowPlacement::commonWidth({100, 100, 100}, 300), INT_MAX);
    EXPECT_EQ(WindowPlacement::commonWidth({300, 50, 200}, 400), 175);
    EXPECT_EQ(WindowPlacement::commonWidth({50, 60, 300}, 200), 90);
    EXPECT_EQ(WindowPlacement::commonWidth({80, 80}, 100), 50);
    EXPECT_EQ(WindowPlacement::commonWidth({80, 80}, -10), 0);

    QWidget row;
    auto *layout = new QHBoxLayout(&row);
    auto *add = new ElidingButton(QStringLiteral("Add"), &row);
    auto *edit = new ElidingButton(QStringLiteral("Edit / Change Manager"), &row);
    auto *remove = new ElidingButton(QStringLiteral("Delete Person && Position\u2026"), &row);
    for (ElidingButton *button : {add, edit, remove})
        layout->addWidget(button);
    layout->addStretch();
    WindowPlacement::elideWidestFirst(row);
    const int natural = row.sizeHint().width();
    row.resize(natural - edit->sizeHint().width() / 2, row.sizeHint().height());
    row.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&row));
    QCoreApplication::processEvents();
    EXPECT_FALSE(add->isElided());
    EXPECT_TRUE(edit->isElided());
    EXPECT_TRUE(remove->isElided());
    EXPECT_EQ(edit->width(), remove->width()) << "the long ones meet at one width";

    row.resize(natural + 20, row.height());
    QCoreApplication::processEvents();
    for (ElidingButton *button : {add, edit, remove})
        EXPECT_FALSE(button->isElided()) << button->text().toStdString();
}
