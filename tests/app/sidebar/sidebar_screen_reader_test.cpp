#include "app/sidebar/organization_sidebar.h"

#include "sidebar_positions.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTest>
#include <QTreeView>
#include <QVBoxLayout>

using namespace SidebarTest;

namespace {

class SidebarScreenReader : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(elsewhere);
        layout->addWidget(sidebar);
        // As the window does: the selection comes back to the sidebar.
        sidebar->setActions(
            [this](const std::string &id) {
                selected.push_back(id);
                sidebar->setSelection(id);
            },
            [](const Position &) {});
        sidebar->setPositions(school());
        sidebar->setSelection("P2");
        window.resize(300, 900);
        window.show();
        // The list announces its current row to a screen reader each time it changes.
        QObject::connect(sidebar->treeView()->selectionModel(), &QItemSelectionModel::currentChanged, &window,
                         [this](const QModelIndex &current) {
                             if (current.isValid())
                                 announced.push_back(current.data().toString());
                         });
    }
    // The window's edit as the sidebar sees it: the new list, then the selection kept.
    void rename(const std::string &id, const std::string &name)
    {
        std::vector<Position> positions = sidebar->positions();
        for (Position &position : positions) {
            if (position.id == id)
                position.employee->name = name;
        }
        sidebar->setPositions(std::move(positions));
        sidebar->setSelection("P2");
    }

    QWidget window;
    QLineEdit *elsewhere = new QLineEdit; // the canvas, say
    OrganizationSidebar *sidebar = new OrganizationSidebar;
    std::vector<std::string> selected;
    std::vector<QString> announced;
};

// An edit that moves the selected person's row (a new last name), and its undo, never make
// the row that slides into its place current, which the list would announce while the
// selected person stays selected.
TEST_F(SidebarScreenReader, RowsMovingUnderTheSelectionMakeNobodyElseCurrent)
{
    for (QWidget *focus : {static_cast<QWidget *>(elsewhere), static_cast<QWidget *>(sidebar->treeView())}) {
        focus->setFocus();
        announced.clear();
        rename("P2", "Al Zed");
        rename("P2", "Al Adams");
        EXPECT_EQ(announced, std::vector<QString>{});
        EXPECT_EQ(sidebar->treeView()->currentIndex(), sidebar->indexOfPosition("P2"));
        EXPECT_EQ(sidebar->treeView()->selectionModel()->selectedIndexes(), QModelIndexList{sidebar->indexOfPosition("P2")});
    }
}

// What a screen reader's "Toggle" on a row does: through the list's own interface.
void toggleRow(QTreeView *tree, const QModelIndex &row)
{
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(tree);
    ASSERT_NE(list, nullptr);
    QAccessibleInterface *cell = list->tableInterface()->cellAt(row.row(), 0);
    ASSERT_NE(cell, nullptr);
    ASSERT_EQ(cell->text(QAccessible::Name), row.data().toString());
    cell->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QApplication::processEvents();
}

// The screen reader's own action on a row selects the person, as a click does, once; taken
// off the selected row it leaves the window's selection as it was.
TEST_F(SidebarScreenReader, AScreenReadersActionOnARowSelectsThePerson)
{
    QTreeView *tree = sidebar->treeView();
    toggleRow(tree, sidebar->indexOfPosition("P3"));
    EXPECT_EQ(selected, std::vector<std::string>{"P3"});
    EXPECT_EQ(tree->selectionModel()->selectedIndexes(), QModelIndexList{sidebar->indexOfPosition("P3")});
    toggleRow(tree, sidebar->indexOfPosition("P3"));
    EXPECT_EQ(selected, std::vector<std::string>{"P3"});
    EXPECT_EQ(tree->selectionModel()->selectedIndexes(), QModelIndexList{sidebar->indexOfPosition("P3")});
    // A click still reports once.
    selected.clear();
    const QPoint at = tree->visualRect(sidebar->indexOfPosition("P4")).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
    QApplication::processEvents();
    EXPECT_EQ(selected, std::vector<std::string>{"P4"});
}

} // namespace
