#include "app/import/import_flow.h"
#include "app/shell/accessible_fields.h"
#include "app/shell/widget_dialogs.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QFileDialog>
#include <QRegularExpression>

#include <algorithm>

// The chooser lists kinds of files by name; the patterns behind them match every extension
// the import reads in any letter case, as files from other systems are named.
TEST(ImportFileChooser, ShowsReadableNamesAndMatchesAnyLetterCase)
{
    AccessibleFields::install(); // as the application does first
    const std::unique_ptr<QFileDialog> panel = WidgetDialogs::openPanel(ImportFlow::fileFilter());
    panel->setOption(QFileDialog::DontUseNativeDialog);
    auto *types = panel->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(types, nullptr);
    QStringList shown;
    for (int i = 0; i < types->count(); ++i)
        shown.append(types->itemText(i));
    EXPECT_EQ(shown, (QStringList{"Spreadsheets and correction drafts", "Excel workbooks", "CSV and text files",
                                  "Correction drafts"}));
    // Heard by the labels beside them, not as nameless combo boxes.
    panel->show();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(types)->text(QAccessible::Name),
              "Files of type:");
    auto *folder = panel->findChild<QComboBox *>(QStringLiteral("lookInCombo"));
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(folder)->text(QAccessible::Name), "Look in:");

    const QStringList filters = panel->nameFilters();
    ASSERT_FALSE(filters.isEmpty());
    const QString all = filters.constFirst();
    const QStringList patterns = all.mid(all.indexOf('(') + 1).chopped(1).split(' ');
    const auto matches = [&](const QString &name) {
        return std::any_of(patterns.begin(), patterns.end(), [&](const QString &pattern) {
            return QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern)).match(name).hasMatch();
        });
    };
    for (const QString name : {"staff.csv", "STAFF.CSV", "Staff.Xlsx", "old.XLS", "list.tsv", "list.TXT",
                               "Import Corrections.VantrelImport"})
        EXPECT_TRUE(matches(name)) << name.toStdString();
    for (const QString name : {"staff.json", "staff.xlsm", "staff.csv.bak"})
        EXPECT_FALSE(matches(name)) << name.toStdString();
}
