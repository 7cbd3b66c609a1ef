#include "app/shell/widget_dialogs.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace {

// A question's buttons keep the order they are given in: the startup update alert offers
// "Download & Install…", "Later", "Skip This Version", with "Later" between the other two
// although it is the one Escape chooses.
TEST(WidgetDialogs, QuestionButtonsKeepTheirOrder)
{
    QList<QAbstractButton *> made;
    const std::unique_ptr<QMessageBox> box = WidgetDialogs::questionBox(
        "Vantrel Update Available", "A newer version is available.",
        {{QStringLiteral("Download & Install…")},
         {QStringLiteral("Later"), DialogButton::Role::cancel},
         {QStringLiteral("Skip This Version")}},
        DialogButton::Role::action, made);
    box->show();
    ASSERT_EQ(made.size(), 3);
    EXPECT_EQ(made[0]->text(), "Download && Install…");
    const int first = made[0]->mapTo(box.get(), QPoint()).x();
    const int middle = made[1]->mapTo(box.get(), QPoint()).x();
    const int last = made[2]->mapTo(box.get(), QPoint()).x();
    EXPECT_TRUE((first < middle && middle < last) || (first > middle && middle > last))
        << first << " " << middle << " " << last;
}

// A question as it is shown, with the button Return should press and the one Escape should.
struct Shown {
    std::unique_ptr<QMessageBox> box;
    QAbstractButton *onReturn = nullptr;
    QAbstractButton *onEscape = nullptr;
};

// The button `key` presses in a box just shown, sent where the keyboard is in it.
QAbstractButton *pressed(QMessageBox &box, Qt::Key key)
{
    box.show();
    QTest::keyClick(box.focusWidget() ? box.focusWidget() : &box, key);
    return box.clickedButton();
}

Shown question(const QString &title, const QList<DialogButton> &buttons, DialogButton::Role defaultRole,
               int onReturn, int onEscape)
{
    QList<QAbstractButton *> made;
    Shown shown{WidgetDialogs::questionBox(title, QString(), buttons, defaultRole, made)};
    shown.onReturn = made.value(onReturn);
    shown.onEscape = made.value(onEscape);
    return shown;
}

// Return in a question that replaces, discards or deletes something keeps it: such a question
// defaults to Cancel (the correction draft's "already exists. Do you want to replace it?", the
// chart's deletions); elsewhere Return takes the safe action, and Escape always cancels.
TEST(WidgetDialogs, ReturnAndEscapePressTheSafeButtons)
{
    const struct {
        const char *name;
        std::function<Shown()> show;
    } questions[] = {
        {"replace a file",
         [] {
             Shown shown{WidgetDialogs::confirmBox("“Import Corrections.vantrelimport” already exists. Do you want "
                                                   "to replace it?")};
             shown.onReturn = shown.onEscape = shown.box->button(QMessageBox::Cancel);
             return shown;
         }},
        {"unsaved changes",
         [] {
             Shown shown{WidgetDialogs::saveBox("Save Changes Before Closing", "District")};
             shown.onReturn = shown.box->button(QMessageBox::Save);
             shown.onEscape = shown.box->button(QMessageBox::Cancel);
             return shown;
         }},
        {"a deletion",
         [] {
             return question("Delete this person and position?",
                             {{"Delete Person & Position Everywhere", DialogButton::Role::destructive},
                              {"Cancel", DialogButton::Role::cancel}},
                             DialogButton::Role::cancel, 1, 1);
         }},
        {"a safe action beside a destructive one",
         [] {
             return question("Set the current organization as the baseline?",
                             {{"Save Backup and Set Baseline…", DialogButton::Role::action},
                              {"Set Baseline Without Backup", DialogButton::Role::destructive},
                              {"Cancel", DialogButton::Role::cancel}},
                             DialogButton::Role::action, 0, 2);
         }},
        {"cancel between two actions",
         [] {
             return question("Vantrel Update Available",
                             {{"Download & Install…"}, {"Later", DialogButton::Role::cancel}, {"Skip This Version"}},
                             DialogButton::Role::action, 0, 1);
         }},
    };
    for (const auto &q : questions) {
        SCOPED_TRACE(q.name);
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            const Shown shown = q.show();
            ASSERT_TRUE(shown.onReturn && shown.onEscape);
            QAbstractButton *expected = key == Qt::Key_Return ? shown.onReturn : shown.onEscape;
            QAbstractButton *chosen = pressed(*shown.box, key);
            EXPECT_EQ(chosen, expected) << (key == Qt::Key_Return ? "Return: " : "Escape: ")
                                        << (chosen ? chosen->text().toStdString() : "nothing");
        }
    }
}

// A question closes and the window that asked has the keyboard again, on the field that had
// it, in each way Qt alone would leave it without: where no desktop hands it back; where a
// popup of the question is still open (as the file panel's completion list is when Return
// accepts the panel); where the desktop has handed the window back but Qt's widgets did not
// take it in (what that popup causes under X11, which the offscreen platform does not do);
// and where the window let go of its field while the question was up, when Qt would give the
// keyboard to its first control instead. Tab would otherwise move nothing.
TEST(WidgetDialogs, TheWindowThatAskedGetsTheKeyboardBack)
{
    QWidget asker;
    auto *layout = new QVBoxLayout(&asker);
    auto *field = new QLineEdit;
    layout->addWidget(new QPushButton("First"));
    layout->addWidget(field);
    asker.show();
    asker.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&asker));
    enum class Case { noDesktop, popupOpen, widgetsBehind, fieldLetGo };
    for (const auto &[situation, name] : {std::pair{Case::noDesktop, "no desktop"}, std::pair{Case::popupOpen, "a popup open"},
                                          std::pair{Case::widgetsBehind, "the widgets behind the desktop"},
                                          std::pair{Case::fieldLetGo, "the field let go"}}) {
        SCOPED_TRACE(name);
        field->setFocus();
        // Nothing in it takes the focus, which would ask the desktop for the question again.
        QDialog question(&asker);
        (new QVBoxLayout(&question))->addWidget(new QLabel("Replace “staff.csv”?"));
        QMenu list(&question);
        list.addAction("staff.csv");
        QTimer::singleShot(0, &question, [&, situation = situation] {
            switch (situation) {
            case Case::noDesktop: break;
            case Case::popupOpen:
                list.popup(question.mapToGlobal(QPoint(0, 0)));
                asker.windowHandle()->requestActivate();
                QCoreApplication::processEvents();
                break;
            case Case::widgetsBehind:
                // The desktop hands the window back; the widgets stay with the question.
                asker.windowHandle()->requestActivate();
                QCoreApplication::processEvents();
                QApplication::setActiveWindow(&question);
                break;
            case Case::fieldLetGo:
                // As FocusKeeper lets go of a control disabled while it has the focus.
                field->clearFocus();
                break;
            }
            question.accept();
        });
        EXPECT_EQ(WidgetDialogs::runModal(question), QDialog::Accepted);
        QCoreApplication::processEvents();
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        EXPECT_EQ(QApplication::activeWindow(), &asker);
        EXPECT_EQ(QApplication::focusWidget(), field);
    }
}

// An answer that closes the sheet asked over takes the sheet away before the question hides:
// the sheet would otherwise take the keyboard back meanwhile and announce its focused control.
// Any other answer leaves the sheet as it was.
TEST(WidgetDialogs, AnAnswerThatClosesTheSheetTakesItAwayFirst)
{
    QDialog sheet;
    sheet.show();
    sheet.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
    for (const auto &[answer, sheetGone] : {std::pair{0, true}, std::pair{1, false}}) {
        SCOPED_TRACE(answer);
        sheet.show();
        std::optional<bool> shownAsQuestionHid;
        QTimer::singleShot(0, &sheet, [&, answer = answer] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            struct OnHide final : QObject {
                std::function<void()> hidden;
                bool eventFilter(QObject *, QEvent *event) override
                {
                    if (event->type() == QEvent::Hide)
                        hidden();
                    return false;
                }
            };
            auto *filter = new OnHide;
            filter->setParent(box);
            filter->hidden = [&] { shownAsQuestionHid = sheet.isVisible(); };
            box->installEventFilter(filter);
            box->buttons().at(answer)->click();
        });
        WidgetDialogs dialogs;
        const int chosen = dialogs.ask("Discard unsaved grid changes?", QString(),
                                       {{"Discard Unsaved Changes", DialogButton::Role::destructive, true},
                                        {"Keep Editing", DialogButton::Role::cancel}},
                                       DialogButton::Role::cancel);
        EXPECT_EQ(chosen, answer);
        ASSERT_TRUE(shownAsQuestionHid.has_value());
        EXPECT_EQ(*shownAsQuestionHid, !sheetGone);
        EXPECT_EQ(sheet.isVisible(), !sheetGone);
    }
}

// The rename question holds a chart's name whole, however long: a line edit would cut it to
// 32,767 characters, and pressing Rename would store the cut name.
TEST(WidgetDialogs, TheTextQuestionHoldsALongNameWhole)
{
    const QString name = QString(40000, QLatin1Char('n')) + QStringLiteral(" end");
    const std::unique_ptr<QDialog> question = WidgetDialogs::textQuestion(
        QStringLiteral("Rename Chart"), QStringLiteral("Renaming keeps this chart's positions."),
        QStringLiteral("Chart name"), name, QStringLiteral("Rename"));
    const auto *field = question->findChild<QLineEdit *>();
    ASSERT_NE(field, nullptr);
    EXPECT_TRUE(field->text() == name) << field->text().size();
}

} // namespace
