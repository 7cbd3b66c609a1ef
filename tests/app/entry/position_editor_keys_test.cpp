#include "app/entry/entry_autocomplete.h"
#include "app/entry/position_editor.h"

#include "accessible_audit.h"
#include "position_editor_fixture.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <map>

using namespace EditorTest;

namespace {

// The keys of the editor's window: Return saves except in a completion field,
// Ctrl+Shift+S saves and adds another, Escape closes without saving.
class EditorKeys : public EditorFixture {
protected:
    PositionEditor &show()
    {
        std::vector<Position> positions = {pos("P-1", "Principal", "Ana Ruiz"), pos("P-2", "Teacher", "Kim Lee", "P-1")};
        open(pos("P-9", "Teacher", "", "P-1"), positions, true);
        window = std::make_unique<PositionEditor>(editor.release());
        window->show();
        QApplication::setActiveWindow(window.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return *window;
    }
    QLineEdit *name() const { return window->findChild<QLineEdit *>("employeeName"); }

    std::unique_ptr<PositionEditor> window;
};

// Every field is heard by its label, not by its value: editing a filled-in person, the
// name, pay level, job title, department and location read as the labels beside them.
TEST_F(EditorKeys, FieldsAreNamedByTheirLabels)
{
    std::vector<Position> positions = {pos("P-1", "Principal", "Ana Ruiz"),
                                       pos("P-2", "Teacher", "Kim Lee", "P-1", "Science", "North High")};
    open(positions[1], positions, false);
    window = std::make_unique<PositionEditor>(editor.release());
    window->show();
    EXPECT_EQ(AppTest::unnamedControls(window.get()), QStringList());
    QAccessibleInterface *field = QAccessible::queryAccessibleInterface(name());
    EXPECT_EQ(field->text(QAccessible::Name), "Employee Name");
    EXPECT_EQ(field->text(QAccessible::Value), "Kim Lee");
    const std::map<QString, QString> named{
        {"Pay Level", "Teacher"}, {"Job Title", "Teacher"}, {"Department", "Science"}, {"Location", "North High"}};
    size_t heard = 0;
    for (EntryAutocomplete *box : window->findChildren<EntryAutocomplete *>()) {
        QAccessibleInterface *combo = QAccessible::queryAccessibleInterface(box);
        const auto found = named.find(combo->text(QAccessible::Name));
        if (found != named.end()) {
            ++heard;
            EXPECT_EQ(combo->text(QAccessible::Value), found->second);
            // Typing happens in the box's own text field, which a reader announces on focus.
            EXPECT_EQ(QAccessible::queryAccessibleInterface(box->lineEdit())->text(QAccessible::Name), found->first);
        }
    }
    EXPECT_EQ(heard, named.size());
    window->close();
}

TEST_F(EditorKeys, ReturnInACompletionFieldDoesNotSave)
{
    PositionEditor &dialog = show();
    auto *payLevel = dialog.findChild<EntryAutocomplete *>("payLevel");
    ASSERT_TRUE(payLevel && name());
    QTest::keyClicks(name(), "Zoe Park");
    payLevel->lineEdit()->setFocus();
    QTest::keyClicks(payLevel->lineEdit(), "Tea");
    QTest::keyClick(payLevel->lineEdit(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_TRUE(requests.empty());
    EXPECT_TRUE(dialog.isVisible());

    // Return in the name field saves and closes.
    name()->setFocus();
    QTest::keyClick(name(), Qt::Key_Return);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].position.employee->name, "Zoe Park");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(EditorKeys, ControlShiftSSavesAndStaysOpenEscapeCancels)
{
    PositionEditor &dialog = show();
    QTest::keyClicks(name(), "Zoe Park");
    QTest::keyClick(name(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.model().successMessage(), "Saved 1 position(s). Ready for the next entry.");
    EXPECT_EQ(name()->text(), "");

    QTest::keyClicks(name(), "Bo Chen");
    QTest::keyClick(name(), Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(requests.size(), 1u);
}

// Number fields keep what was typed. What does not read, or an FTE beyond any position, is
// refused at saving with the form left open as typed; the corrected text saves.
TEST_F(EditorKeys, NumberFieldsRefuseWhatTheyCannotRead)
{
    PositionEditor &dialog = show();
    PositionEditorModel &model = dialog.model();
    QTest::keyClicks(name(), "Zoe Park");
    model.setAdvancedOpen(true);
    model.addSchoolAllocation();
    QApplication::processEvents();
    const auto retype = [&](const char *field, const QString &text) {
        QLineEdit *edit = field[0] == '*' ? dialog.findChildren<QLineEdit *>().last()
                                          : dialog.findChild<QLineEdit *>(field);
        EXPECT_NE(edit, nullptr) << field;
        if (!edit)
            return QString();
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QApplication::processEvents();
        return edit->text();
    };
    EXPECT_EQ(dialog.findChildren<QLineEdit *>().last()->accessibleName(), "Allocation 1, FTE") << "the school row's FTE";
    const struct {
        const char *field;
        QString typed;
        QString refusal;
    } cases[] = {
        {"fte", "abc", "P-9 needs a positive FTE."},
        {"fte", "1e308", "P-9 needs an FTE of at most 1,000."},
        {"siblingOrder", "99999999999999999999",
         "Sibling order must be a whole number from -9223372036854775808 to 9223372036854775807."},
        {"*", "half", "P-9 has an invalid school assignment."},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(retype(c.field, c.typed), c.typed) << "nothing typed is dropped";
        EXPECT_EQ(model.save(PositionEditorModel::SaveMode::close), PositionEditorModel::SaveOutcome::invalid)
            << c.typed.toStdString();
        EXPECT_EQ(model.errorMessage(), c.refusal);
        EXPECT_TRUE(requests.empty());
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(retype(c.field, c.field[0] == 'f' ? "0.5" : "3"), c.field[0] == 'f' ? "0.5" : "3");
    }
    retype("*", "0.5");
    EXPECT_EQ(model.save(PositionEditorModel::SaveMode::close), PositionEditorModel::SaveOutcome::closed);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].position.fte, 0.5);
    EXPECT_EQ(requests[0].position.siblingOrder, 3);
    EXPECT_EQ(requests[0].position.schoolAssignments.at(0).fte, 0.5);
}

// A new vacancy's QTY keeps what was typed and is refused with the quantity message.
TEST_F(EditorKeys, UnreadableQuantityIsRefused)
{
    PositionEditor &dialog = show();
    dialog.model().setVacant(true);
    QApplication::processEvents();
    auto *quantity = dialog.findChild<QLineEdit *>("quantity");
    ASSERT_TRUE(quantity && quantity->isVisible());
    quantity->setFocus();
    quantity->selectAll();
    QTest::keyClicks(quantity, "abc-5");
    EXPECT_EQ(quantity->text(), "abc-5");
    EXPECT_EQ(dialog.model().save(PositionEditorModel::SaveMode::close), PositionEditorModel::SaveOutcome::invalid);
    EXPECT_EQ(dialog.model().errorMessage(), "Quantity must be a whole number from 1 to 1,000.");
    EXPECT_TRUE(requests.empty());
}

} // namespace
