#include "app/chart/chart_view.h"
#include "app/chart/version_history.h"
#include "app/shell/organization_document.h"

#include "app_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

// The version history from none to one version and back, as the panel shows it: the rows,
// the count, the baseline button, and the newest row's Restore; each undo is shown at once.

namespace {

// Each row as "heading | detail" and the count, as the panel shows them.
QStringList shownRows(VersionHistoryDialog &panel)
{
    QStringList rows;
    QListWidget *list = panel.list();
    for (int i = 0; i < list->count(); ++i) {
        QStringList texts;
        for (QLabel *label : list->itemWidget(list->item(i))->findChildren<QLabel *>())
            texts.append(label->text());
        rows.append(texts.join(" | "));
    }
    return rows;
}

QString shownCount(VersionHistoryDialog &panel)
{
    for (QLabel *label : panel.findChildren<QLabel *>()) {
        if (label->text().endsWith(" saved versions"))
            return label->text();
    }
    return {};
}

QPushButton *restoreOfRow(VersionHistoryDialog &panel, int row)
{
    QListWidget *list = panel.list();
    return list->itemWidget(list->item(row))->findChild<QPushButton *>();
}

} // namespace

TEST(VersionHistoryEdges, FromNoVersionToOneAndBackAsThePanelShowsIt)
{
    OrganizationDocument document;
    document.setArchive(AppTest::district(2));
    ScriptedDialogs dialogs;
    ChartView view(document, dialogs);
    VersionHistory &history = VersionHistory::of(view);
    VersionHistoryDialog panel(history, nullptr);

    EXPECT_EQ(shownRows(panel), QStringList());
    EXPECT_EQ(shownCount(panel), "0 saved versions");
    EXPECT_FALSE(panel.baselineButton()->isEnabled()) << "nothing to remove";

    history.setVersionNote("First");
    history.saveVersion();
    ASSERT_EQ(panel.list()->count(), 1);
    EXPECT_TRUE(shownRows(panel).front().startsWith("Version 1 — First | ")) << shownRows(panel).front().toStdString();
    EXPECT_TRUE(shownRows(panel).front().endsWith(" · 3 positions")) << shownRows(panel).front().toStdString();
    EXPECT_EQ(shownCount(panel), "1 saved versions");
    EXPECT_TRUE(panel.baselineButton()->isEnabled());
    const QStringList one = shownRows(panel);

    // The only row is the newest and the oldest: its Restore brings version 1 back.
    document.edit([](OrganizationArchive &a) { a.organization.positions.pop_back(); });
    restoreOfRow(panel, 0)->click();
    QApplication::processEvents();
    EXPECT_EQ(document.archive().organization, AppTest::district(2).organization);
    ASSERT_EQ(panel.list()->count(), 3);
    EXPECT_TRUE(shownRows(panel)[0].startsWith("Version 3 — Restored version 1 | ")) << shownRows(panel)[0].toStdString();
    EXPECT_TRUE(shownRows(panel)[1].startsWith("Version 2 — Before restoring version 1 | "));
    EXPECT_TRUE(shownRows(panel)[1].endsWith(" · 2 positions")) << shownRows(panel)[1].toStdString();
    EXPECT_EQ(shownRows(panel)[2], one.front());
    EXPECT_EQ(shownCount(panel), "3 saved versions");

    // Undo the restore, the edit and the save: the panel follows each.
    document.undo();
    EXPECT_EQ(shownRows(panel), one);
    EXPECT_EQ(shownCount(panel), "1 saved versions");
    document.undo();
    document.undo();
    EXPECT_EQ(shownRows(panel), QStringList());
    EXPECT_EQ(shownCount(panel), "0 saved versions");
    EXPECT_FALSE(panel.baselineButton()->isEnabled());
    document.redo();
    EXPECT_EQ(shownRows(panel), one);
    EXPECT_TRUE(panel.baselineButton()->isEnabled());
    EXPECT_TRUE(dialogs.alerts.empty());
}
