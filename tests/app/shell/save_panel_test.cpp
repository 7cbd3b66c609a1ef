#include "app/shell/widget_dialogs.h"

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>

// Qt's save panel disables Save for a name longer than a folder takes; the panel says why.
TEST(SavePanel, SaysWhyANameIsTooLong)
{
    QFileDialog dialog(nullptr, QString(), QString(), QStringLiteral("PDF (*.pdf)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    WidgetDialogs::explainLongFileNames(dialog);
    auto *name = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    auto *note = dialog.findChild<QLabel *>(QStringLiteral("longNameNote"));
    ASSERT_TRUE(name && note);
    dialog.show();
    const struct {
        QString typed;
        bool explained;
    } cases[] = {
        {QStringLiteral("Chart.pdf"), false},
        {QString(300, QLatin1Char('a')), true},
        // Short enough for Qt, which counts characters, but 260 bytes on the disk.
        {QString(130, QChar(0x00E9)), true},
        {QStringLiteral("/tmp/") + QString(250, QLatin1Char('a')), false},
    };
    for (const auto &c : cases) {
        name->setText(c.typed);
        EXPECT_EQ(note->isVisible(), c.explained) << c.typed.size();
    }
}
