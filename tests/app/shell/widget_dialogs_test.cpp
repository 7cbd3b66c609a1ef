#include "app/shell/widget_dialogs.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

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

} // namespace
