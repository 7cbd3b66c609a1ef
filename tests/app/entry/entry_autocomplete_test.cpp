#include "app/entry/entry_autocomplete.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

namespace {

struct Field {
    EntryAutocomplete box;
    QSignalSpy edits{&box, &EntryAutocomplete::textEdited};
    QSignalSpy submits{&box, &EntryAutocomplete::submitted};

    Field()
    {
        box.setOptions({"Principal", "Teacher"});
        box.show();
        box.activateWindow();
        box.setFocus();
    }
};

} // namespace

TEST(EntryAutocomplete, CallerTextIsNotEchoedAndTypingWritesEveryKeystroke)
{
    Field field;
    field.box.setText("Counselor");
    EXPECT_EQ(field.box.text(), "Counselor");
    EXPECT_EQ(field.edits.count(), 0);

    field.box.lineEdit()->clear();
    field.edits.clear();
    QTest::keyClicks(&field.box, "Nurse");
    EXPECT_EQ(field.edits.count(), 5);
    EXPECT_EQ(field.edits.last().at(0).toString(), "Nurse");
}

TEST(EntryAutocomplete, ReturnSubmitsOnceOnTheNextTurnAndTabOnlyWrites)
{
    Field field;
    QTest::keyClicks(&field.box, "Nurse");
    QTest::keyClick(&field.box, Qt::Key_Return);
    EXPECT_EQ(field.submits.count(), 0) << "submitted inside the key handler";
    QCoreApplication::processEvents();
    EXPECT_EQ(field.submits.count(), 1);
    EXPECT_EQ(field.box.text(), "Nurse");
    // Typed text never becomes a suggestion.
    EXPECT_EQ(field.box.options(), QStringList({"Principal", "Teacher"}));

    QTest::keyClick(&field.box, Qt::Key_Tab);
    QCoreApplication::processEvents();
    EXPECT_EQ(field.submits.count(), 1);
}

TEST(EntryAutocomplete, OptionsSkipEmptiesAndAreReplacedOnlyWhenChanged)
{
    Field field;
    field.box.setText("Teacher");
    QSignalSpy resets(field.box.model(), &QAbstractItemModel::modelReset);
    field.box.setOptions({"Principal", "", "Teacher"});
    EXPECT_EQ(resets.count(), 0);
    field.box.setOptions({"Nurse", "Principal"});
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(field.box.count(), 2);
    EXPECT_EQ(field.box.text(), "Teacher") << "replacing the items kept the caller's text";
    EXPECT_EQ(field.edits.count(), 0);
}

TEST(EntryAutocomplete, TypingWritesEveryKeystrokeAndReturnSubmitsOnceOnTheNextTurn)
{
    Field field;
    QTest::keyClicks(&field.box, "Nurse");
    EXPECT_EQ(field.edits.count(), 5);
    EXPECT_EQ(field.edits.last().at(0).toString(), "Nurse");
    QTest::keyClick(&field.box, Qt::Key_Return);
    EXPECT_EQ(field.submits.count(), 0) << "submitted inside the key handler";
    QCoreApplication::processEvents();
    EXPECT_EQ(field.submits.count(), 1);
    // Typed text never becomes a suggestion.
    EXPECT_EQ(field.box.options(), QStringList({"Principal", "Teacher"}));

    QTest::keyClick(&field.box, Qt::Key_Tab);
    QCoreApplication::processEvents();
    EXPECT_EQ(field.submits.count(), 1);
}
