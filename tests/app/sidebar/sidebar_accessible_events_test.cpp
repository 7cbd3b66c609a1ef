#include "app/sidebar/organization_sidebar.h"

#include "sidebar_positions.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTreeView>
#include <QVBoxLayout>

using namespace SidebarTest;

namespace {

// The focus events a screen reader would be sent for the sidebar's list, as the names of the
// rows they point at.
std::vector<QString> &heardFocus()
{
    static std::vector<QString> heard;
    return heard;
}

void recordFocus(QAccessibleEvent *event)
{
    if (event->type() != QAccessible::Focus || !qobject_cast<QTreeView *>(event->object()))
        return;
    QAccessibleInterface *target = event->accessibleInterface();
    heardFocus().push_back(target ? target->text(QAccessible::Name) : QStringLiteral("?"));
}

class SidebarFocusEvents : public ::testing::Test {
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
        window.activateWindow();
        QApplication::setActiveWindow(&window);
        QAccessible::setActive(true);
        previous = QAccessible::installUpdateHandler(recordFocus);
        heardFocus().clear();
    }
    void TearDown() override
    {
        QAccessible::installUpdateHandler(previous);
        QAccessible::setActive(false);
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
    QAccessible::UpdateHandler previous = nullptr;
    std::vector<std::string> selected;
};

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

// An edit that moves the selected person's row (a new last name), and its undo, must not
// announce the row that slid into its place while the user works elsewhere.
TEST_F(SidebarFocusEvents, RowsMovingUnderTheSelectionAnnounceNobodyElse)
{
    elsewhere->setFocus();
    ASSERT_TRUE(elsewhere->hasFocus());
    rename("P2", "Al Zed");
    rename("P2", "Al Adams");
    EXPECT_EQ(heardFocus(), std::vector<QString>{});
    EXPECT_EQ(sidebar->treeView()->currentIndex(), sidebar->indexOfPosition("P2"));
}

// With the list focused, what it announces is the selected person.
TEST_F(SidebarFocusEvents, AFocusedListAnnouncesOnlyTheSelectedPerson)
{
    sidebar->treeView()->setFocus();
    ASSERT_TRUE(sidebar->treeView()->hasFocus());
    heardFocus().clear();
    rename("P2", "Al Zed");
    for (const QString &heard : heardFocus())
        EXPECT_EQ(heard, "Al Zed");
    EXPECT_EQ(sidebar->treeView()->currentIndex(), sidebar->indexOfPosition("P2"));
}

// The screen reader's own action on a row selects the person, as a click does, once; taken
// off the selected row it leaves the window's selection as it was.
TEST_F(SidebarFocusEvents, AScreenReadersActionOnARowSelectsThePerson)
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
