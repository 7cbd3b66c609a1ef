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

#include <utility>

namespace {

// A question's buttons keep the order they are given in: the startup update alert offers
// "Download & Install…", "Later", "Skip This Version", with "Later" between the other two
// although it is the one Escape chooses.
TEST(WidgetDialogs, QuestionButtonsKeepTheirOrder)
{
    QMessageBox box(QMessageBox::Warning, "Vantrel Update Available", "Vantrel Update Available");
    const QList<QAbstractButton *> made = WidgetDialogs::addQuestionButtons(
        box, {{QStringLiteral("Download & Install…")},
              {QStringLiteral("Later"), DialogButton::Role::cancel},
              {QStringLiteral("Skip This Version")}},
        DialogButton::Role::action);
    box.show();
    ASSERT_EQ(made.size(), 3);
    EXPECT_EQ(made[0]->text(), "Download && Install…");
    EXPECT_EQ(box.escapeButton(), made[1]);
    EXPECT_EQ(box.defaultButton(), qobject_cast<QPushButton *>(made[0]));
    const int first = made[0]->mapTo(&box, QPoint()).x();
    const int middle = made[1]->mapTo(&box, QPoint()).x();
    const int last = made[2]->mapTo(&box, QPoint()).x();
    EXPECT_TRUE((first < middle && middle < last) || (first > middle && middle > last))
        << first << " " << middle << " " << last;
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

} // namespace
