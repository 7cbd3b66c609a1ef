#include "app/entry/quick_entry_sheet.h"

#include "app/entry/entry_autocomplete.h"
#include "app/entry/quick_entry_table.h"
#include "app_test_support.h"
#include "scripted_dialogs.h"

#include "core/support/organization_error.h"

#include "accessible_audit.h"
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

using AppTest::person;

namespace {

struct Sheet {
    ScriptedDialogs dialogs;
    int commits = 0;
    std::function<QuickEntrySaveResult(const std::vector<QuickEntryRow> &)> onCommit =
        [](const std::vector<QuickEntryRow> &) { return QuickEntrySaveResult{{person("P-9", "Saved")}, {"P-9"}}; };
    QuickEntrySheet sheet{"Student Services",
                          {person("P1", "Ada Lovelace")},
                          {person("P1", "Ada Lovelace")},
                          "",
                          [this](const std::vector<QuickEntryRow> &rows) {
                              ++commits;
                              return onCommit(rows);
                          },
                          dialogs};

    Sheet()
    {
        sheet.show();
        sheet.activateWindow();
        QApplication::processEvents(); // the name field of the first row opens
    }
    ~Sheet() { EXPECT_TRUE(dialogs.exhausted()); }

    QWidget *focused() const { return QApplication::focusWidget(); }
    size_t rows() const { return sheet.grid().rows().size(); }
    void press(int key)
    {
        ASSERT_NE(focused(), nullptr);
        QTest::keyClick(focused(), Qt::Key(key));
        QApplication::processEvents();
        QApplication::processEvents();
    }
    void editCell(int row, int column)
    {
        const QModelIndex cell = sheet.table()->model()->index(row, column);
        sheet.table()->setCurrentIndex(cell);
        QApplication::processEvents();
    }
};

} // namespace

TEST(QuickEntrySheet, ReturnInAnyCellAddsARowAndFocusesItsName)
{
    Sheet s;
    ASSERT_EQ(s.rows(), 8u);
    ASSERT_NE(qobject_cast<QLineEdit *>(s.focused()), nullptr) << "the first row's name field has the focus";
    s.press(Qt::Key_Return);
    EXPECT_EQ(s.rows(), 9u);
    EXPECT_EQ(s.sheet.table()->currentIndex(), s.sheet.table()->model()->index(8, QuickEntryTableModel::name));

    s.editCell(3, QuickEntryTableModel::manager);
    ASSERT_NE(qobject_cast<EntryAutocomplete *>(s.focused()), nullptr);
    s.press(Qt::Key_Return);
    EXPECT_EQ(s.rows(), 10u) << "one row per Return in an autocomplete cell";
    EXPECT_EQ(s.commits, 0) << "Return never saves";
}

// The grid's cells and buttons are heard by their column and label; an open field, which a
// screen reader hears in place of its cell, by its row and column.
TEST(QuickEntrySheet, ControlsHaveNames)
{
    Sheet s;
    EXPECT_EQ(AppTest::unnamedControls(&s.sheet), QStringList());
    EXPECT_EQ(s.focused()->accessibleName(), "Row 1, Employee name");
    s.editCell(3, QuickEntryTableModel::manager);
    ASSERT_NE(qobject_cast<EntryAutocomplete *>(s.focused()), nullptr);
    EXPECT_EQ(s.focused()->accessibleName(), "Row 4, Manager (name or ID)");
    EXPECT_EQ(static_cast<EntryAutocomplete *>(s.focused())->lineEdit()->accessibleName(), "Row 4, Manager (name or ID)");
    EXPECT_EQ(s.sheet.table()->accessibleName(), "Positions");
    // With a message line under the grid: the line is the stop, not the pane around it.
    s.editCell(2, QuickEntryTableModel::name);
    QTest::keyClicks(s.focused(), "Cy");
    QTest::mouseClick(s.sheet.saveButton(), Qt::LeftButton);
    ASSERT_FALSE(s.sheet.message().isEmpty());
    EXPECT_EQ(AppTest::unnamedControls(&s.sheet), QStringList());
}

TEST(QuickEntrySheet, TypingEnablesSaveAndSavingShowsTheMessage)
{
    Sheet s;
    EXPECT_FALSE(s.sheet.saveButton()->isEnabled());
    s.editCell(2, QuickEntryTableModel::name);
    QTest::keyClicks(s.focused(), "Cy");
    EXPECT_EQ(s.sheet.grid().row(2).name, "Cy");
    EXPECT_TRUE(s.sheet.saveButton()->isEnabled());

    s.onCommit = [](const std::vector<QuickEntryRow> &) -> QuickEntrySaveResult {
        throw OrganizationError::invalid("Row 3: manager 'Zed' is unknown. Choose a manager or enter a Position ID.");
    };
    QTest::mouseClick(s.sheet.saveButton(), Qt::LeftButton);
    EXPECT_EQ(s.sheet.message(), "Row 3: manager 'Zed' is unknown. Choose a manager or enter a Position ID.");
    EXPECT_TRUE(s.sheet.saveButton()->isEnabled());

    s.onCommit = [](const std::vector<QuickEntryRow> &) { return QuickEntrySaveResult{{person("P-9", "Cy")}, {"P-9"}}; };
    QTest::mouseClick(s.sheet.saveButton(), Qt::LeftButton);
    EXPECT_EQ(s.commits, 2);
    EXPECT_EQ(s.sheet.message(), "Saved 1 positions. Existing IDs and other position details are preserved.");
    EXPECT_FALSE(s.sheet.saveButton()->isEnabled());
    EXPECT_EQ(s.rows(), 2u);
}

TEST(QuickEntrySheet, LeavingWithChangesAsksFirst)
{
    Sheet s;
    s.editCell(2, QuickEntryTableModel::name);
    QTest::keyClicks(s.focused(), "Cy");
    s.press(Qt::Key_Tab);
    s.dialogs.choices = {"Keep Editing", "Keep Editing", "Discard Unsaved Changes"};
    s.press(Qt::Key_Escape); // closes the cell Tab opened
    EXPECT_TRUE(s.dialogs.questions.empty());
    s.press(Qt::Key_Escape);
    EXPECT_TRUE(s.sheet.isVisible());
    ASSERT_EQ(s.dialogs.questions.size(), 1u);
    EXPECT_EQ(s.dialogs.questions[0].title, "Discard unsaved grid changes?");
    EXPECT_EQ(s.dialogs.questions[0].defaultButton, "Keep Editing") << "Return keeps the rows";
    s.sheet.close();
    EXPECT_TRUE(s.sheet.isVisible());
    s.sheet.reject();
    EXPECT_FALSE(s.sheet.isVisible());
}

TEST(QuickEntrySheet, DoneWithoutChangesClosesAtOnce)
{
    Sheet s;
    s.editCell(2, QuickEntryTableModel::department);
    QTest::keyClicks(s.focused(), "Nursing"); // a default of new rows, not a change
    s.press(Qt::Key_Tab);
    s.press(Qt::Key_Escape); // closes the cell Tab opened
    EXPECT_TRUE(s.sheet.isVisible());
    s.press(Qt::Key_Escape);
    EXPECT_FALSE(s.sheet.isVisible());
    EXPECT_TRUE(s.dialogs.questions.empty());
}

// Escape in a cell takes back that cell's typing and nothing else: no question, and the
// Return after it adds a row instead of answering one.
TEST(QuickEntrySheet, EscapeInACellTakesBackOnlyThatCell)
{
    Sheet s;
    QTableView *table = s.sheet.table();
    s.editCell(2, QuickEntryTableModel::name);
    QTest::keyClicks(s.focused(), "Cy");
    s.press(Qt::Key_Tab);
    ASSERT_EQ(table->currentIndex(), table->model()->index(2, QuickEntryTableModel::payLevel));
    QTest::keyClicks(s.focused(), "Aide");
    ASSERT_EQ(s.sheet.grid().row(2).title, "Aide");

    s.press(Qt::Key_Escape);
    EXPECT_TRUE(s.dialogs.questions.empty());
    EXPECT_TRUE(s.sheet.isVisible());
    EXPECT_EQ(s.sheet.grid().row(2).title, "");
    EXPECT_EQ(s.sheet.grid().row(2).name, "Cy") << "the cell left before stays";
    EXPECT_EQ(table->indexWidget(table->currentIndex()), nullptr) << "the cell is closed";

    s.press(Qt::Key_Return);
    EXPECT_EQ(s.rows(), 9u);
    EXPECT_EQ(s.sheet.grid().row(2).name, "Cy");

    // The new row's name is open: one Escape closes it, the next one is "Done".
    s.dialogs.choices = {"Keep Editing"};
    s.press(Qt::Key_Escape);
    s.press(Qt::Key_Escape);
    ASSERT_EQ(s.dialogs.questions.size(), 1u);
    EXPECT_EQ(s.dialogs.questions[0].defaultButton, "Keep Editing");
    EXPECT_TRUE(s.sheet.isVisible());
    EXPECT_EQ(s.sheet.grid().row(2).name, "Cy");
}

// QTY shows what was typed; what does not read as a number is kept for the save to refuse.
TEST(QuickEntrySheet, QtyKeepsTheTextAsTyped)
{
    Sheet s;
    QAbstractItemModel *model = s.sheet.table()->model();
    model->setData(model->index(3, QuickEntryTableModel::vacant), Qt::Checked, Qt::CheckStateRole);
    s.editCell(3, QuickEntryTableModel::quantity);
    auto *field = qobject_cast<QLineEdit *>(s.focused());
    ASSERT_NE(field, nullptr);
    QTest::keyClicks(field, "abc-5");
    QApplication::processEvents();
    EXPECT_EQ(field->text(), "abc-5");
    EXPECT_EQ(s.sheet.grid().row(3).quantity, 0) << "not 15 from the digits that read";
    EXPECT_EQ(model->index(3, QuickEntryTableModel::quantity).data().toString(), "abc-5");
}

TEST(QuickEntrySheet, PasteReadsTheClipboardText)
{
    Sheet s;
    QApplication::clipboard()->setText("Ann\tTeacher\nBen\tAide\n");
    s.sheet.pasteRows();
    ASSERT_EQ(s.rows(), 3u);
    EXPECT_EQ(s.sheet.grid().row(2).name, "Ben");
    QApplication::clipboard()->setText("a\tb\tc\td\te\tf\tg");
    s.sheet.pasteRows();
    EXPECT_EQ(s.rows(), 3u);
    EXPECT_TRUE(s.sheet.message().startsWith("Paste six columns:"));
}

TEST(QuickEntrySheet, TabWalksTheEnabledCellsInReadingOrder)
{
    Sheet s;
    s.editCell(2, QuickEntryTableModel::location);
    QTest::keyClicks(s.focused(), "North");
    const int expected[] = {QuickEntryTableModel::remove, QuickEntryTableModel::vacant, QuickEntryTableModel::name,
                            QuickEntryTableModel::payLevel};
    for (int column : expected) {
        s.press(Qt::Key_Tab);
        EXPECT_EQ(s.sheet.table()->currentIndex().column(), column);
    }
    EXPECT_EQ(s.sheet.table()->currentIndex().row(), 3);
    EXPECT_EQ(s.sheet.grid().row(2).location, "North");
}

TEST(QuickEntrySheet, ClicksTickVacantAndRemoveOnlyNewRows)
{
    Sheet s;
    QTableView *table = s.sheet.table();
    auto click = [&](int row, int column) {
        const QRect cell = table->visualRect(table->model()->index(row, column));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        QApplication::processEvents();
    };
    click(0, QuickEntryTableModel::remove);
    click(0, QuickEntryTableModel::vacant);
    EXPECT_EQ(s.rows(), 8u) << "an existing person stays";
    EXPECT_FALSE(s.sheet.grid().row(0).vacant);
    click(3, QuickEntryTableModel::vacant);
    EXPECT_TRUE(s.sheet.grid().row(3).vacant);
    click(3, QuickEntryTableModel::remove);
    EXPECT_EQ(s.rows(), 7u);
    EXPECT_FALSE(s.sheet.grid().row(3).vacant) << "the row below moved up";
}

TEST(QuickEntrySheet, TypingEnablesSaveAndSavingRebuilds)
{
    Sheet s;
    EXPECT_FALSE(s.sheet.saveButton()->isEnabled());
    s.editCell(2, QuickEntryTableModel::name);
    QTest::keyClicks(s.focused(), "Cy");
    EXPECT_TRUE(s.sheet.saveButton()->isEnabled());

    QTest::mouseClick(s.sheet.saveButton(), Qt::LeftButton);
    EXPECT_EQ(s.commits, 1);
    EXPECT_TRUE(s.sheet.message().startsWith("Saved 1 positions."));
    EXPECT_FALSE(s.sheet.saveButton()->isEnabled());
    EXPECT_EQ(s.rows(), 2u);
}

// Tab hands the focus straight from one cell's control to the next one's, the Vacant box
// and the remove button included: never to the table on the way, which a screen reader
// announced along with the bare cell before each field. The remove control says its row.
TEST(QuickEntrySheet, TabGoesFromControlToControlAndTheRemoveButtonNamesItsRow)
{
    std::vector<QWidget *> focused; // outlives the sheet, whose closing moves the focus
    Sheet s;
    QTableView *table = s.sheet.table();
    s.editCell(2, QuickEntryTableModel::manager);
    QObject::connect(qApp, &QApplication::focusChanged, &s.sheet, [&](QWidget *, QWidget *now) {
        if (now)
            focused.push_back(now);
    });
    QStringList heard;
    for (int i = 0; i < 4; ++i) {
        focused.clear();
        s.press(Qt::Key_Tab);
        ASSERT_EQ(focused.size(), 1u) << "Tab " << i + 1;
        EXPECT_NE(focused.front(), table);
        heard.append(focused.front()->accessibleName());
    }
    EXPECT_EQ(heard, (QStringList{"Row 3, Location", "Remove row 3", "Row 4, Vacant", "Row 4, Employee name"}));
    EXPECT_EQ(table->model()->index(2, QuickEntryTableModel::remove).data(Qt::AccessibleTextRole), "Remove row 3");

    // The box ticks with Space, and Return adds a row there as in every cell.
    s.press(Qt::Key_Backtab);
    ASSERT_EQ(s.focused()->accessibleName(), "Row 4, Vacant");
    s.press(Qt::Key_Space);
    EXPECT_TRUE(s.sheet.grid().row(3).vacant);
    s.press(Qt::Key_Return);
    EXPECT_EQ(s.rows(), 9u);
    // Space on the remove button takes its row away.
    s.editCell(3, QuickEntryTableModel::remove);
    ASSERT_EQ(s.focused()->accessibleName(), "Remove row 4");
    s.press(Qt::Key_Space);
    EXPECT_EQ(s.rows(), 8u);
    EXPECT_FALSE(s.sheet.grid().row(3).vacant) << "the ticked row went";
}
