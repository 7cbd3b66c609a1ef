#include "app/import/correction_grid.h"
#include "app/import/correction_grid_model.h"
#include "app/import/spreadsheet_import_window.h"

#include "corrections_step_fixture.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QPointer>
#include <QTableView>
#include <QTest>

using namespace ImportTest;

namespace {

// Row 3 misses its name, row 4 has an FTE that is no number, row 5 has no manager (nor has
// the superintendent in row 2).
ImportSheet sheetToFix()
{
    return sheet("Staff", {{"Employee Number", "Employee Name", "Pay Level", "Supervisor ID", "FTE"},
                           {"E10", "Ada", "Superintendent", "", "1"},
                           {"E11", "", "Principal", "E10", "1"},
                           {"E12", "Alan", "Teacher", "E10", "abc"},
                           {"E13", "Cy", "Teacher", "", "1"}});
}

class Typing : public CorrectionsStep {
protected:
    Typing() : CorrectionsStep(sheetToFix()) {}

    CorrectionGridModel &model() const { return window->correctionGrid()->model(); }
    bool shows(int row) const { return model().modelRow(row) >= 0; }

    // Opens the cell's editor as a click or an arrow key does, and types over its text; the
    // keys after a closed editor go to whatever has the focus then, as a user's would.
    QPointer<QLineEdit> typeInto(int row, int column, const QString &text)
    {
        QTableView *table = window->correctionGrid()->table();
        table->setCurrentIndex(model().index(model().modelRow(row), column + 1));
        QPointer<QLineEdit> editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        if (!editor)
            return nullptr;
        editor->selectAll();
        for (const QChar c : text) {
            QWidget *target = editor ? editor.data() : QApplication::focusWidget();
            if (target)
                QTest::keyClicks(target, QString(c));
            settle(window->flow()); // each keystroke reviewed, as the event loop does between keys
        }
        return editor;
    }

    // The delegate closes an editor on a queued call, and the flow reviews on the turn after.
    void settleClosing() const
    {
        settle(window->flow());
        settle(window->flow());
    }
};

} // namespace

// The keystroke that clears a row's last error, or fills its manager, used to close the
// editor with the row; the rest of the typing was lost.
TEST_F(Typing, AFixTypedUnderAFilterKeepsEveryCharacter)
{
    struct Case {
        ImportRowFilter filter;
        int row;
        int column;
        QString typed;
    };
    for (const Case &c : {Case{ImportRowFilter::errors, 2, 1, "Quinn Okoro"}, Case{ImportRowFilter::errors, 3, 4, "0.75"},
                          Case{ImportRowFilter::nullManagers, 4, 3, "E10"}}) {
        window->flow().setRowFilter(c.filter);
        settle(window->flow());
        ASSERT_TRUE(shows(c.row)) << c.typed.toStdString();
        QPointer<QLineEdit> editor = typeInto(c.row, c.column, c.typed);
        EXPECT_EQ(window->flow().cell(c.row, c.column).toStdString(), c.typed.toStdString());
        EXPECT_TRUE(shows(c.row)) << "stays while its editor is open: " << c.typed.toStdString();
        ASSERT_TRUE(editor) << c.typed.toStdString();
        EXPECT_EQ(QApplication::focusWidget(), editor.data()) << c.typed.toStdString();
        EXPECT_EQ(editor->text(), c.typed);

        QTest::keyClick(editor, Qt::Key_Return);
        settleClosing();
        EXPECT_EQ(window->flow().cell(c.row, c.column).toStdString(), c.typed.toStdString());
        EXPECT_FALSE(shows(c.row)) << "leaves once its editor closes: " << c.typed.toStdString();
    }
    EXPECT_TRUE(window->flow().review()->errors.empty());
    EXPECT_TRUE(window->primaryButton()->isEnabled());
}

// Other rows follow the filter while one is held: fixing one of two duplicate numbers takes
// the other row out, and the editor of the first stays open through it.
TEST_F(Typing, OtherRowsComeAndGoAroundTheEditedOne)
{
    window->flow().setCell(4, 0, "E12"); // row 5 now repeats row 4's number
    window->flow().setRowFilter(ImportRowFilter::errors);
    settle(window->flow());
    ASSERT_TRUE(shows(3));
    ASSERT_TRUE(shows(4));
    QPointer<QLineEdit> editor = typeInto(4, 0, "E14");
    EXPECT_EQ(window->flow().cell(4, 0).toStdString(), "E14");
    ASSERT_TRUE(editor);
    EXPECT_EQ(QApplication::focusWidget(), editor.data());
    EXPECT_TRUE(shows(4));
    EXPECT_TRUE(shows(3)); // still its FTE error

    // Right at the end of the text moves the editor along the row; the row stays held.
    QTest::keyClick(editor, Qt::Key_Right);
    settleClosing();
    EXPECT_TRUE(shows(4));
    auto *next = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    ASSERT_NE(next, nullptr);
    QTest::keyClick(next, Qt::Key_Escape);
    settleClosing();
    EXPECT_FALSE(shows(4));
    EXPECT_TRUE(shows(3));
}
