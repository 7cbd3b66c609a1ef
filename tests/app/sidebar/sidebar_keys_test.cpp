#include "app/sidebar/organization_sidebar.h"
#include "app/sidebar/searchable_dropdown.h"

#include "sidebar_positions.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

// The people list from the keyboard, in every grouping: the arrows go from person to person
// over the headings between, and Left and Right close and open groups as in a tree.

using namespace SidebarTest;

namespace {

class SidebarKeys : public ::testing::Test {
protected:
    void SetUp() override
    {
        // As the window does: the person chosen comes back as the selection.
        sidebar.setActions(
            [this](const std::string &id) {
                chosen.push_back(id);
                sidebar.setSelection(id);
            },
            [this](const Position &position) { edited.push_back(position.id); });
        sidebar.setPositions(school());
        sidebar.resize(300, 900);
        sidebar.show();
    }
    QTreeView &tree() const { return *sidebar.treeView(); }
    void press(Qt::Key key)
    {
        QTest::keyClick(&tree(), key);
        QApplication::processEvents(); // what the list does after a key, before the next
    }
    std::string selected() const
    {
        const QModelIndexList rows = tree().selectionModel()->selectedIndexes();
        if (rows.size() != 1)
            return rows.empty() ? "" : "(several)";
        const SidebarNode *node = sidebar.model()->node(rows.front());
        return node->isGroup() ? "(a group)" : sidebar.positions()[size_t(node->position)].id;
    }
    std::string current() const
    {
        const SidebarNode *node = sidebar.model()->node(tree().currentIndex());
        if (!node)
            return "";
        return node->isGroup() ? node->name : sidebar.positions()[size_t(node->position)].id;
    }
    // Every person's id in the order the list shows them with every group open.
    std::vector<std::string> listed() const
    {
        std::vector<std::string> ids;
        std::vector<QModelIndex> pending;
        const SidebarModel &model = *sidebar.model();
        for (int row = model.rowCount() - 1; row >= 0; --row)
            pending.push_back(model.index(row, 0));
        while (!pending.empty()) {
            const QModelIndex index = pending.back();
            pending.pop_back();
            const SidebarNode *node = model.node(index);
            if (!node->isGroup())
                ids.push_back(sidebar.positions()[size_t(node->position)].id);
            for (int row = model.rowCount(index) - 1; row >= 0; --row)
                pending.push_back(model.index(row, 0, index));
        }
        return ids;
    }

    OrganizationSidebar sidebar;
    std::vector<std::string> chosen;
    std::vector<std::string> edited;
};

// Down from the first person reaches every person once and stops on the last; Up goes back
// over all of them; Home and End choose the first and the last person, not a heading.
TEST_F(SidebarKeys, ArrowsReachEveryPersonOverTheHeadingsInEveryMode)
{
    for (const std::string &mode : SidebarMode::all()) {
        SCOPED_TRACE(mode);
        sidebar.setGrouping(mode);
        sidebar.setSelection(std::nullopt);
        const std::vector<std::string> people = listed();
        ASSERT_EQ(people.size(), 6u);
        tree().setFocus();
        chosen.clear();
        press(Qt::Key_Home);
        for (size_t i = 1; i < people.size() + 2; ++i)
            press(Qt::Key_Down);
        EXPECT_EQ(chosen, people);
        EXPECT_EQ(selected(), people.back());

        chosen.clear();
        for (size_t i = 1; i < people.size() + 2; ++i)
            press(Qt::Key_Up);
        const std::vector<std::string> back(people.rbegin() + 1, people.rend());
        EXPECT_EQ(chosen, back);
        EXPECT_EQ(selected(), people.front());

        chosen.clear();
        press(Qt::Key_End);
        press(Qt::Key_Home);
        EXPECT_EQ(chosen, (std::vector<std::string>{people.back(), people.front()}));
        press(Qt::Key_PageDown);
        EXPECT_NE(selected(), "");
        EXPECT_EQ(current(), selected());
    }
}

// Left closes the group of the person under the cursor, whose heading becomes current while
// the person stays selected; Down then goes on past the closed group; Right opens it again and
// then goes into it. Left on a closed group goes up to the group around it.
TEST_F(SidebarKeys, LeftAndRightCloseAndOpenTheGroupUnderTheCursor)
{
    sidebar.setGrouping(std::string(SidebarMode::departmentLocation));
    const std::vector<std::string> people = listed();
    tree().setFocus();
    sidebar.setSelection("P1"); // Sue Head, Science at North after Bo Brandt
    const QModelIndex north = sidebar.indexOfPosition("P1").parent();
    const QModelIndex science = north.parent();
    ASSERT_EQ(north.data().toString(), "North (2)");
    ASSERT_EQ(science.data().toString(), "Science (4)");

    chosen.clear();
    press(Qt::Key_Left);
    EXPECT_FALSE(tree().isExpanded(north));
    EXPECT_EQ(tree().currentIndex(), north);
    EXPECT_EQ(selected(), "P1");
    EXPECT_TRUE(chosen.empty());
    press(Qt::Key_Right);
    EXPECT_TRUE(tree().isExpanded(north));
    EXPECT_EQ(tree().currentIndex(), north);
    press(Qt::Key_Right);
    EXPECT_EQ(chosen, std::vector<std::string>{"P3"}); // North's first person

    // Closed, the group is passed over: Down goes to the first person below it.
    press(Qt::Key_Left);
    press(Qt::Key_Down);
    EXPECT_EQ(selected(), "P2"); // Al Adams, Science at South
    EXPECT_FALSE(sidebar.expansion().isExpanded(sidebar.model()->node(north)->key));

    // An open heading closes; a closed one hands the cursor to its department.
    tree().setCurrentIndex(north);
    press(Qt::Key_Left);
    EXPECT_EQ(tree().currentIndex(), science);
    press(Qt::Key_Left);
    EXPECT_FALSE(tree().isExpanded(science));
    press(Qt::Key_Left);
    EXPECT_EQ(tree().currentIndex(), science) << "nothing around a top-level group";
    EXPECT_EQ(selected(), "P2");

    // In a flat list Left and Right do nothing.
    sidebar.setGrouping(std::string(SidebarMode::none));
    sidebar.setSelection("P2");
    chosen.clear();
    press(Qt::Key_Left);
    press(Qt::Key_Right);
    EXPECT_EQ(current(), "P2");
    EXPECT_TRUE(chosen.empty());
}

// A closed group stays in reach of the arrows: Up and Down stop on its heading, which Right
// opens, while they pass over the headings of open groups.
TEST_F(SidebarKeys, ArrowsStopOnAClosedGroupsHeading)
{
    sidebar.setGrouping(std::string(SidebarMode::departmentLocation));
    tree().setFocus();
    sidebar.setSelection("P1");
    const QModelIndex north = sidebar.indexOfPosition("P1").parent();
    press(Qt::Key_Left);
    press(Qt::Key_Down); // over South's open heading
    ASSERT_EQ(selected(), "P2");
    chosen.clear();
    press(Qt::Key_Up);
    EXPECT_EQ(tree().currentIndex(), north);
    EXPECT_EQ(selected(), "P2");
    press(Qt::Key_Right);
    EXPECT_TRUE(tree().isExpanded(north));
    press(Qt::Key_Down);
    EXPECT_EQ(chosen, std::vector<std::string>{"P3"}); // North's first person
}

// The Menu key and Shift+F10 open the menu of the person under the cursor, whose one item
// edits them; on a group's heading they open nothing.
TEST_F(SidebarKeys, TheMenuKeysOpenTheRowsMenu)
{
    sidebar.setGrouping(std::string(SidebarMode::location));
    tree().setFocus();
    sidebar.setSelection("P2");
    QStringList offered;
    // The menu runs a loop of its own: it is read and answered from inside that loop.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction *action : menu->actions())
            offered.append(action->text());
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    answer.start(10);
    const auto menuKey = [this] {
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(), tree().mapToGlobal(QPoint()));
        QApplication::sendEvent(&tree(), &event);
    };
    menuKey();
    EXPECT_EQ(offered, QStringList{"Edit Person && Position"});
    EXPECT_EQ(edited, std::vector<std::string>{"P2"});
    press(Qt::Key_Up); // Al Adams is first at South: Cy Cole, then the heading of North
    ASSERT_NE(current(), "P2");
    const std::string above = current();
    QTest::keyClick(&tree(), Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(edited, (std::vector<std::string>{"P2", above}));

    tree().setCurrentIndex(sidebar.indexOfPosition("P2").parent());
    offered.clear();
    menuKey();
    QTest::keyClick(&tree(), Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(offered.isEmpty());
    EXPECT_EQ(edited.size(), 2u);
}

// Taking the focus, the list makes its current row current again once the focus has moved,
// which is when a screen reader hears it: the selected person, or the heading of the closed
// group that holds them, which stays closed.
TEST_F(SidebarKeys, TakingTheFocusAnnouncesTheCurrentRow)
{
    QWidget *elsewhere = sidebar.groupPicker()->button();
    QApplication::setActiveWindow(&sidebar);
    elsewhere->setFocus();
    sidebar.setGrouping(std::string(SidebarMode::location));
    sidebar.setSelection("P2");
    std::vector<QModelIndex> announced;
    QObject::connect(tree().selectionModel(), &QItemSelectionModel::currentChanged, &tree(),
                     [&](const QModelIndex &current) { announced.push_back(current); });
    tree().setFocus();
    EXPECT_TRUE(announced.empty()) << "not before the list is heard as focused";
    QApplication::processEvents();
    EXPECT_EQ(announced, std::vector<QModelIndex>{sidebar.indexOfPosition("P2")});

    elsewhere->setFocus();
    const QModelIndex south = sidebar.indexOfPosition("P2").parent();
    tree().collapse(south);
    announced.clear();
    tree().setFocus();
    QApplication::processEvents();
    EXPECT_EQ(announced, std::vector<QModelIndex>{south});
    EXPECT_FALSE(tree().isExpanded(south));
    EXPECT_EQ(selected(), "P2");
    EXPECT_TRUE(chosen.empty());
}

// A screen reader hears a person's row without an open or closed state, a group's with it,
// and the list's column by a name.
TEST_F(SidebarKeys, OnlyGroupsReadAsOpenAndTheColumnHasAName)
{
    sidebar.setGrouping(std::string(SidebarMode::department));
    sidebar.collapseAll();
    sidebar.expandAll();
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(&tree());
    ASSERT_NE(list, nullptr);
    int people = 0;
    int groups = 0;
    for (int i = 0; i < list->childCount(); ++i) {
        QAccessibleInterface *row = list->child(i);
        const QString heard = row->text(QAccessible::Name);
        if (row->role() == QAccessible::ColumnHeader) {
            EXPECT_EQ(heard, "People");
            continue;
        }
        const bool group = heard.endsWith(')');
        (group ? groups : people) += 1;
        EXPECT_EQ(bool(row->state().expanded), group) << heard.toStdString();
    }
    EXPECT_EQ(people, 6);
    EXPECT_EQ(groups, 3);
}

} // namespace
