#include "app/entry/quick_entry_sheet.h"

#include "app/entry/quick_entry_table.h"
#include "app_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QItemSelectionRange>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using AppTest::person;

namespace {

// A sheet over a chart with one person, its new rows in the chart's department.
struct OpenSheet {
    ScriptedDialogs dialogs;
    QuickEntrySheet sheet{"Student Services",
                          {person("P1", "Ada Lovelace")},
                          {person("P1", "Ada Lovelace")},
                          "",
                          [](const std::vector<QuickEntryRow> &) -> QuickEntrySaveResult { return {}; },
                          dialogs};

    OpenSheet()
    {
        sheet.show();
        sheet.activateWindow();
        QApplication::processEvents(); // the name field of the first row opens
    }

    QModelIndex cell(int row, int column) const { return sheet.table()->model()->index(row, column); }
    // Opens a cell and types into it, as the user does.
    void type(int row, int column, const QString &text)
    {
        sheet.table()->setCurrentIndex(cell(row, column));
        QApplication::processEvents();
        QTest::keyClicks(QApplication::focusWidget(), text);
        QApplication::processEvents();
    }
    // Escape in the open cell; a list of suggestions the typing opened closes first.
    void escape()
    {
        while (QWidget *popup = QApplication::activePopupWidget()) {
            QTest::keyClick(popup, Qt::Key_Escape);
            QApplication::processEvents();
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QApplication::processEvents();
    }
};

// Whether one of the dataChanged signals `spy` caught covers `index`: the view repaints
// and the screen reader rereads only the cells it is told of.
bool announced(const QSignalSpy &spy, const QModelIndex &index)
{
    for (const QList<QVariant> &signal : spy) {
        if (QItemSelectionRange(signal.at(0).toModelIndex(), signal.at(1).toModelIndex()).contains(index))
            return true;
    }
    return false;
}

} // namespace

// Escape in a cell of an otherwise unchanged grid takes the typing back where the user sees
// it: Save turns off again, and the cells the typing changed (the department a manager
// brings beside it) are announced to the view with their old texts.
TEST(QuickEntryEscape, TakesTheTypingBackInTheView)
{
    OpenSheet s;
    const int row = 2;
    ASSERT_FALSE(s.sheet.saveButton()->isEnabled());
    s.type(row, QuickEntryTableModel::payLevel, "Aide");
    ASSERT_TRUE(s.sheet.saveButton()->isEnabled());
    s.escape();
    EXPECT_FALSE(s.sheet.saveButton()->isEnabled()) << "nothing left to save";

    s.type(row, QuickEntryTableModel::manager, "Ada Lovelace");
    ASSERT_EQ(s.cell(row, QuickEntryTableModel::department).data().toString(), "Instruction")
        << "the manager brings her department";
    QSignalSpy changes(s.sheet.table()->model(), &QAbstractItemModel::dataChanged);
    s.escape();
    EXPECT_EQ(s.cell(row, QuickEntryTableModel::department).data().toString(), "Student Services");
    EXPECT_TRUE(announced(changes, s.cell(row, QuickEntryTableModel::department)));
    EXPECT_TRUE(announced(changes, s.cell(row, QuickEntryTableModel::manager)));
    EXPECT_FALSE(s.sheet.saveButton()->isEnabled());
}
