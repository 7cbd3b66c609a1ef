#include "app/entry/entry_autocomplete.h"
#include "app/entry/position_editor.h"

#include "position_editor_fixture.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

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

} // namespace
