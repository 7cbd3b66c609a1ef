#include "app/chart/chart_canvas.h"
#include "app/chart/chart_toolbar.h"
#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/chart/chart_window_body.h"
#include "app/shell/organization_document.h"
#include "app/shell/window_placement_button.h"
#include "app/sidebar/organization_sidebar.h"
#include "app/sidebar/searchable_dropdown.h"

#include "accessible_audit.h"
#include "app_test_support.h"
#include "chart_fixtures.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

using namespace AppTest;

namespace {

class KeyboardAccess : public SampleChartWindow {
protected:
    const Position &positionOf(const std::string &id) const
    {
        for (const Position &position : window->document()->archive().organization.positions) {
            if (position.id == id)
                return position;
        }
        throw std::runtime_error("no position " + id);
    }
};

// The people list selects from the keyboard as a click does: the chart and the inspector
// follow each arrow key, so an edit from the inspector acts on the person highlighted.
TEST_F(KeyboardAccess, ArrowsInThePeopleListSelectForTheWholeWindow)
{
    ChartView &view = window->view();
    OrganizationSidebar &sidebar = *window->body().sidebar();
    QTreeView *list = sidebar.treeView();
    const SidebarModel &rows = *sidebar.model();
    const std::string first = sidebar.positions()[size_t(rows.node(rows.index(0, 0))->position)].id;
    const std::string second = sidebar.positions()[size_t(rows.node(rows.index(1, 0))->position)].id;
    view.selectPerson(first);
    settle();
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    settle();
    ASSERT_EQ(view.selectedID(), second);
    EXPECT_EQ(list->currentIndex(), sidebar.indexOfPosition(second));
    EXPECT_EQ(list->selectionModel()->selectedIndexes(), QModelIndexList{sidebar.indexOfPosition(second)});
    const Position &shown = positionOf(second);
    bool named = false;
    for (QLabel *label : window->body().findChildren<QLabel *>())
        named = named || (label->isVisible() && label->text() == QString::fromStdString(shown.employee->name));
    EXPECT_TRUE(named) << "the inspector shows " << shown.employee->name;
    QTest::keyClick(list, Qt::Key_Up);
    settle();
    EXPECT_EQ(view.selectedID(), first);
}

// Every toolbar button after Save takes the focus with Tab and presses with Space.
TEST_F(KeyboardAccess, ToolbarButtonsTakeTabAndSpace)
{
    ChartView &view = window->view();
    view.selectPerson(window->document()->archive().organization.positions.front().id);
    settle();
    ChartToolbar &toolbar = window->toolbar();
    const std::vector<QAction *> actions{toolbar.printGuidesAction(), toolbar.printAction(), toolbar.zoomOutAction(),
                                         toolbar.zoomInAction(),      toolbar.resetViewAction(), toolbar.fitAction(),
                                         toolbar.centerAction()};
    std::vector<QWidget *> buttons;
    for (QAction *action : actions) {
        buttons.push_back(toolbar.widgetForAction(action));
        ASSERT_TRUE(buttons.back());
        ASSERT_TRUE(action->isEnabled()) << action->text().toStdString();
    }
    // Tab from the Print Guides button's predecessor walks through all seven in order.
    buttons.front()->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), buttons.front());
    for (size_t i = 1; i < buttons.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), buttons[i]) << actions[i]->text().toStdString();
    }
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (actions[i] == toolbar.printAction())
            continue; // opens the print sheet; its press is the same as the others'
        QSignalSpy pressed(actions[i], &QAction::triggered);
        buttons[i]->setFocus();
        QTest::keyClick(buttons[i], Qt::Key_Space);
        EXPECT_EQ(pressed.count(), 1) << actions[i]->text().toStdString();
    }
    EXPECT_TRUE(view.isShowingPageBreaks());
}

// The chart window's fields are heard by their labels: the organization's name and the
// search, which show only a placeholder as their label.
TEST_F(KeyboardAccess, NameAndSearchFieldsHaveNames)
{
    window->view().setSearchText("Ada");
    settle();
    EXPECT_EQ(unnamedControls(window), QStringList());
    QLineEdit *search = window->body().header()->searchField();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(search)->text(QAccessible::Name), "Search people");
    QLineEdit *name = window->body().nameField();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(name)->text(QAccessible::Name), "Organization Name");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(name)->text(QAccessible::Value), "Sample");
}

// A window about 720 pixels wide cuts no control: the sidebar keeps its "Group by" whole,
// the header's add buttons take a row of their own, and the planning and paper buttons stand
// whole below the search; all come back when there is room.
TEST_F(KeyboardAccess, ANarrowWindowCutsNoControl)
{
    window->resize(720, 800);
    settle();
    ASSERT_LE(window->width(), 730);
    ChartHeaderControls &header = *window->body().header();
    EXPECT_TRUE(header.addButtonsWrapped());
    EXPECT_TRUE(header.viewControlsStacked());
    for (QPushButton *button : {header.planningButton(), window->body().paperButton()})
        EXPECT_FALSE(qobject_cast<WindowPlacement::ElidingButton *>(button)->isElided()) << button->text().toStdString();
    QWidget *groupBy = window->body().sidebar()->groupPicker();
    const QRect inSidebar(groupBy->mapTo(window, QPoint(0, 0)), groupBy->size());
    QWidget *column = window->body().sidebar()->parentWidget();
    EXPECT_TRUE(QRect(column->mapTo(window, QPoint(0, 0)), column->size()).contains(inSidebar));
    for (QWidget *control : window->body().findChildren<QWidget *>()) {
        if (!control->isVisible() || !(qobject_cast<QAbstractButton *>(control) || qobject_cast<QLineEdit *>(control)))
            continue;
        EXPECT_GE(control->width(), control->minimumSizeHint().width()) << control->metaObject()->className() << " "
                                                                        << control->accessibleName().toStdString();
        const QRect shown(control->mapTo(window, QPoint(0, 0)), control->size());
        EXPECT_TRUE(window->rect().contains(shown)) << control->accessibleName().toStdString();
    }
    window->resize(1200, 800);
    settle();
    EXPECT_FALSE(header.addButtonsWrapped());
    EXPECT_FALSE(header.viewControlsStacked());
}

// The first Down in a people list that took the focus with nothing selected chooses the
// first person; it used to move past them to the second.
TEST_F(KeyboardAccess, FirstDownInThePeopleListChoosesTheFirstPerson)
{
    ChartView &view = window->view();
    OrganizationSidebar &sidebar = *window->body().sidebar();
    QTreeView *list = sidebar.treeView();
    const SidebarModel &rows = *sidebar.model();
    const std::string first = sidebar.positions()[size_t(rows.node(rows.index(0, 0))->position)].id;
    ASSERT_FALSE(view.selectedID());
    list->setFocus(Qt::TabFocusReason);
    QTest::keyClick(list, Qt::Key_Down);
    settle();
    EXPECT_EQ(view.selectedID(), first);
    QTest::keyClick(list, Qt::Key_Down);
    settle();
    EXPECT_NE(view.selectedID(), first);
}

// The Menu key and Shift+F10 on the chart open the selected card's menu, on that card,
// wherever the pointer rests.
TEST_F(KeyboardAccess, MenuKeyAndShiftF10OpenTheSelectedCardsMenu)
{
    ChartView &view = window->view();
    const std::string id = window->document()->archive().organization.positions.back().id;
    view.selectPerson(id);
    settle();
    ChartCanvas &canvas = *window->canvas();
    canvas.setFocus(Qt::TabFocusReason);
    std::vector<std::pair<std::string, QPoint>> asked;
    QObject::connect(&canvas, &ChartCanvas::cardContextMenuRequested, &canvas,
                     [&](const std::string &card, const QPoint &at) { asked.emplace_back(card, at); });
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(0, 0), canvas.mapToGlobal(QPoint(0, 0)));
    QApplication::sendEvent(&canvas, &menuKey);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].first, *view.selectedDisplayID());
    int index = 0;
    while (index < canvas.cardCount() && canvas.cardID(index) != *view.selectedDisplayID())
        ++index;
    const QRect card = canvas.cardViewRect(index).intersected(canvas.rect());
    EXPECT_TRUE(QRect(canvas.mapToGlobal(card.topLeft()), card.size()).contains(asked[0].second));
    ASSERT_TRUE(QApplication::activePopupWidget()) << "the card's menu shows";
    QApplication::activePopupWidget()->close();

    QTest::keyClick(&canvas, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(asked.size(), 2u);
    if (QApplication::activePopupWidget())
        QApplication::activePopupWidget()->close();
}

// At the narrowest window the toolbar's overflow button is named and takes Tab; Space opens
// it on the first command it held, and Tab walks on to "Center on Selection".
TEST_F(KeyboardAccess, TheToolbarsOverflowButtonIsReachable)
{
    ChartView &view = window->view();
    view.selectPerson(window->document()->archive().organization.positions.front().id);
    window->resize(724, 800);
    settle();
    ChartToolbar &toolbar = window->toolbar();
    QToolButton *more = toolbar.overflowButton();
    ASSERT_TRUE(more);
    ASSERT_TRUE(more->isVisible()) << "a narrow window has commands that do not fit";
    QWidget *center = toolbar.widgetForAction(toolbar.centerAction());
    ASSERT_FALSE(center->isVisible());
    EXPECT_EQ(QAccessible::queryAccessibleInterface(more)->text(QAccessible::Name), "More Commands");

    toolbar.widgetForAction(toolbar.zoomOutAction())->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 8 && QApplication::focusWidget() != more; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), more) << "Tab reaches it";
    QTest::keyClick(more, Qt::Key_Space);
    ASSERT_TRUE(QTest::qWaitFor([&] { return center->isVisible(); })) << "the toolbar grows to show it";
    settle();
    EXPECT_TRUE(toolbar.isAncestorOf(QApplication::focusWidget()));
    EXPECT_NE(QApplication::focusWidget(), more) << "the focus moves on to what it shows";
    for (int i = 0; i < 8 && QApplication::focusWidget() != center; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), center);
    QSignalSpy pressed(toolbar.centerAction(), &QAction::triggered);
    QTest::keyClick(center, Qt::Key_Space);
    EXPECT_EQ(pressed.count(), 1);
}

} // namespace
