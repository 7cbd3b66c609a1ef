#include "app/import/correction_grid.h"
#include "app/import/correction_grid_model.h"
#include "app/import/spreadsheet_import_window.h"

#include "corrections_step_fixture.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

using namespace ImportTest;

namespace {

class GridKeys : public CorrectionsStep {
protected:
    GridKeys() : CorrectionsStep(staffSheet()) {}

    CorrectionGrid &grid() const { return *window->correctionGrid(); }
    // The view whose cell field has the focus, and that cell.
    QTableView *focusedView() const
    {
        for (QTableView *view : {grid().headerLine(), grid().table()}) {
            if (view->isAncestorOf(QApplication::focusWidget()) || view == QApplication::focusWidget())
                return view;
        }
        return nullptr;
    }
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
        settle(window->flow());
        settle(window->flow());
    }
};

} // namespace

// Tab walks from the header line into the rows and on out of the grid to the buttons below
// it; Shift+Tab walks back. Tab used to step from cell to cell of the header line for ever.
TEST_F(GridKeys, TabLeavesTheGridForTheButtonsBelowIt)
{
    // Row 4's manager fixed, so that the import button is enabled.
    grid().model().setData(grid().model().index(grid().model().modelRow(3), 4), QStringLiteral("E10"));
    settle(window->flow());
    ASSERT_TRUE(window->primaryButton()->isEnabled());
    QTableView *header = grid().headerLine();
    header->setCurrentIndex(header->model()->index(0, 2));
    ASSERT_EQ(focusedView(), header);
    ASSERT_TRUE(qobject_cast<QLineEdit *>(QApplication::focusWidget()));

    press(Qt::Key_Tab);
    ASSERT_EQ(focusedView(), grid().table()) << "Tab reaches the rows";
    EXPECT_TRUE(qobject_cast<QLineEdit *>(QApplication::focusWidget())) << "the current cell opens its field";
    EXPECT_GE(grid().table()->currentIndex().row(), 1);

    std::vector<QWidget *> reached;
    for (int i = 0; i < 6 && reached.size() < 6; ++i) {
        press(Qt::Key_Tab);
        reached.push_back(QApplication::focusWidget());
    }
    EXPECT_NE(reached.front(), nullptr);
    EXPECT_FALSE(grid().isAncestorOf(reached.front())) << "the first Tab leaves the grid";
    EXPECT_NE(std::find(reached.begin(), reached.end(), window->saveDraftButton()), reached.end());
    EXPECT_NE(std::find(reached.begin(), reached.end(), window->primaryButton()), reached.end());
    EXPECT_EQ(window->primaryButton()->text(), "Add People");

    // Back in from below, and out above the header line.
    grid().table()->setCurrentIndex(grid().model().index(2, 2));
    ASSERT_EQ(focusedView(), grid().table());
    press(Qt::Key_Backtab);
    EXPECT_EQ(focusedView(), header);
    press(Qt::Key_Backtab);
    EXPECT_EQ(focusedView(), nullptr);
    EXPECT_TRUE(window->isAncestorOf(QApplication::focusWidget()));
}

// Up and Down cross between the header line and the rows in the same column; Left and Right
// move to the next cell once the text cursor stands at the field's edge.
TEST_F(GridKeys, ArrowsMoveBetweenCells)
{
    QTableView *header = grid().headerLine();
    QTableView *table = grid().table();
    header->setCurrentIndex(header->model()->index(0, 3));
    press(Qt::Key_Down);
    ASSERT_EQ(focusedView(), table);
    EXPECT_EQ(table->currentIndex(), grid().model().index(1, 3));
    press(Qt::Key_Down);
    EXPECT_EQ(table->currentIndex(), grid().model().index(2, 3));

    auto *field = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    ASSERT_TRUE(field);
    ASSERT_EQ(field->text(), "Principal");
    field->setCursorPosition(3);
    press(Qt::Key_Right);
    EXPECT_EQ(table->currentIndex().column(), 3) << "inside the text the cursor moves";
    field->end(false);
    press(Qt::Key_Right);
    EXPECT_EQ(table->currentIndex(), grid().model().index(2, 4));
    press(Qt::Key_Left); // a cell just entered has its whole text selected
    EXPECT_EQ(table->currentIndex(), grid().model().index(2, 3));
    for (int i = 0; i < 3; ++i)
        press(Qt::Key_Left);
    EXPECT_EQ(table->currentIndex(), grid().model().index(2, 1)) << "the row number is no cell";

    press(Qt::Key_Up);
    press(Qt::Key_Up);
    ASSERT_EQ(focusedView(), header);
    EXPECT_EQ(header->currentIndex().column(), 1);
}

// In a window as short as 1280 × 800 gives at scale 2, the step scrolls: each cell the arrows
// reach is scrolled whole into sight, the one below the visible part too.
TEST_F(GridKeys, TheFocusedCellIsScrolledIntoSight)
{
    window->setMinimumSize(640, 300); // as the screen's room makes it there
    window->resize(640, 300);
    settle(window->flow());
    QScrollArea *step = nullptr;
    for (QWidget *up = grid().parentWidget(); up && !step; up = up->parentWidget())
        step = qobject_cast<QScrollArea *>(up);
    ASSERT_TRUE(step && step->verticalScrollBar()->maximum() > 0) << "the step scrolls";
    QTableView *header = grid().headerLine();
    header->setCurrentIndex(header->model()->index(0, 2));
    const auto wholeInSight = [] {
        QWidget *field = QApplication::focusWidget();
        return field && field->visibleRegion().boundingRect() == field->rect();
    };
    settle(window->flow());
    ASSERT_TRUE(wholeInSight());
    for (int row = 1; row < grid().model().rowCount(); ++row) {
        press(Qt::Key_Down);
        ASSERT_EQ(grid().table()->currentIndex().row(), row);
        EXPECT_TRUE(wholeInSight()) << "row " << row;
    }
    for (int row = grid().model().rowCount() - 2; row >= 1; --row) {
        press(Qt::Key_Up);
        EXPECT_TRUE(wholeInSight()) << "back up to row " << row;
    }
    press(Qt::Key_Up);
    EXPECT_TRUE(wholeInSight()) << "the header line";
}
