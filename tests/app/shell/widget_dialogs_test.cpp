#include "app/shell/widget_dialogs.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

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
// it: where no desktop hands it back, and where the desktop hands it back while a popup of the
// question is still open (as the file panel's completion list is when Return accepts the
// panel), which Qt's widgets would not take in. Either way Tab would move nothing.
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
    for (const bool popupOpen : {false, true}) {
        SCOPED_TRACE(popupOpen ? "a popup open" : "no desktop");
        field->setFocus();
        QDialog question(&asker);
        (new QVBoxLayout(&question))->addWidget(new QLineEdit);
        QMenu list(&question);
        list.addAction("staff.csv");
        QTimer::singleShot(0, &question, [&] {
            if (popupOpen) {
                list.popup(question.mapToGlobal(QPoint(0, 0)));
                asker.windowHandle()->requestActivate();
                QCoreApplication::processEvents();
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
