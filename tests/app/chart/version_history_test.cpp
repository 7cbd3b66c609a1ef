#include "app/chart/chart_view.h"
#include "app/chart/version_history.h"
#include "app/shell/organization_document.h"

#include "app_test_support.h"
#include "scripted_dialogs.h"

#include "accessible_audit.h"
#include "accessible_events.h"
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTemporaryDir>

#include <unistd.h>

using namespace AppTest;

namespace {

const QString lockMessage =
    "Current organization is locked. Open Planning & Proposals to edit a named proposal instead.";
const QString sameFileMessage =
    "Choose a different filename for the backup so it stays separate from the baseline organization.";

class VersionHistoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OrganizationArchive archive = district(2, "North/South");
        for (int i = 1; i <= 7; ++i)
            archive.checkpoint("v" + std::to_string(i));
        // A document saved to a file, as most are when their history is cut.
        path = dir.filePath("district.json");
        OrganizationDocument::writeFile(archive, path);
        document.load(path);
    }
    void TearDown() override { EXPECT_TRUE(dialogs.exhausted()); }

    size_t versions() const { return document.archive().revisions.size(); }

    QTemporaryDir dir;
    QString path;
    ScriptedDialogs dialogs;
    OrganizationDocument document;
    ChartView view{document, dialogs};
    VersionHistory &history = VersionHistory::of(view);
};

TEST_F(VersionHistoryTest, SaveVersionNotesAndRows)
{
    EXPECT_EQ(&VersionHistory::of(view), &history) << "one per window";
    history.saveVersion();
    EXPECT_EQ(history.rows().front().heading, "Version 8 — Saved version");
    EXPECT_TRUE(history.rows().front().detail.endsWith(" · 3 positions"));
    history.setVersionNote("  ");
    history.saveVersion();
    // Blanks are stored as typed; the field empties after a save.
    EXPECT_EQ(document.archive().revisions.back()->note, "  ");
    EXPECT_EQ(history.versionNote(), "");
    EXPECT_EQ(history.countText(), "9 saved versions");
    document.undo();
    EXPECT_EQ(versions(), 8u) << "one undo step a version";
}

TEST_F(VersionHistoryTest, RestoreAddsTwoVersionsAndClearsTheSelection)
{
    const std::string first = document.archive().revisions.front()->id;
    view.setSelectedID("P2");
    EXPECT_TRUE(history.restore(first));
    EXPECT_EQ(versions(), 9u);
    EXPECT_EQ(view.selectedID(), std::nullopt);
    EXPECT_EQ(history.rows()[0].heading, "Version 9 — Restored version 1");
    EXPECT_EQ(history.rows()[1].heading, "Version 8 — Before restoring version 1");

    EXPECT_FALSE(history.restore("GONE"));
    EXPECT_EQ(dialogs.alerts.back().message, "That version is no longer available.");
    EXPECT_EQ(versions(), 9u);
}

TEST_F(VersionHistoryTest, LockedCurrentRefusesEverything)
{
    document.edit([](OrganizationArchive &a) { a.lockForPlanning(); });
    const OrganizationArchive locked = document.archive();
    EXPECT_FALSE(history.canSetBaseline());
    history.setVersionNote("kept");
    history.saveVersion();
    EXPECT_FALSE(history.restore(locked.revisions.front()->id));
    history.setBaseline(false);
    ASSERT_EQ(dialogs.alerts.size(), 3u);
    EXPECT_EQ(dialogs.alerts[0].title, "Organization Error");
    EXPECT_EQ(dialogs.alerts[0].message, lockMessage);
    EXPECT_EQ(dialogs.alerts[1].message, lockMessage);
    EXPECT_EQ(dialogs.alerts[2].title, "Baseline Error");
    EXPECT_EQ(dialogs.alerts[2].message, lockMessage);
    EXPECT_EQ(history.versionNote(), "kept");
    EXPECT_EQ(document.archive(), locked);
}

TEST_F(VersionHistoryTest, BaselineWithoutBackupCanBeUndone)
{
    dialogs.choices.push_back("Set Baseline Without Backup");
    history.requestBaseline();
    EXPECT_TRUE(dialogs.questions.back().message.startsWith("Remove all 7 saved versions"));
    EXPECT_EQ(versions(), 0u);
    EXPECT_EQ(history.baselineMessage(),
              "Baseline set; removed 7 saved versions. Save the organization (Ctrl+S) to store it on disk.");
    EXPECT_FALSE(history.canSetBaseline());
    // The file keeps its versions until saved, and undo brings them back.
    EXPECT_EQ(OrganizationDocument::readFile(path).revisions.size(), 7u);
    history.saveVersion(); // a version after the baseline keeps the line
    EXPECT_FALSE(history.baselineMessage().isEmpty());
    document.undo();
    EXPECT_FALSE(history.baselineMessage().isEmpty());
    int changes = 0;
    QObject::connect(&history, &VersionHistory::changed, [&] { ++changes; });
    document.undo();
    EXPECT_EQ(versions(), 7u);
    // The line would claim versions removed that are listed under it.
    EXPECT_EQ(history.baselineMessage(), "");
    EXPECT_EQ(changes, 1);
}

TEST_F(VersionHistoryTest, BaselineWithABackupWritesTheWholeHistory)
{
    dialogs.choices.push_back("Save Backup and Set Baseline…");
    dialogs.filesToSave.push_back(dir.filePath("before.json"));
    history.requestBaseline();
    // The panel says what it saves and opens beside the document.
    ASSERT_EQ(dialogs.questions.size(), 2u);
    EXPECT_EQ(dialogs.questions[1].title, "Save Organization Before Baseline");
    EXPECT_EQ(dialogs.questions[1].message,
              "This separate backup includes the current organization and all saved versions.");
    EXPECT_EQ(dialogs.proposedSavePaths.back(), dir.filePath("North-South — Before Baseline.json"));
    EXPECT_EQ(versions(), 0u);
    EXPECT_TRUE(history.baselineMessage().endsWith(" Backup: before.json."));
    EXPECT_EQ(OrganizationDocument::readFile(dir.filePath("before.json")).revisions.size(), 7u);
}

TEST_F(VersionHistoryTest, AnUntitledDocumentsBackupHasOnlyItsName)
{
    OrganizationDocument untitled;
    untitled.setArchive(document.archive());
    ChartView other{untitled, dialogs};
    dialogs.filesToSave.push_back(std::nullopt);
    VersionHistory::of(other).setBaseline(true);
    EXPECT_EQ(dialogs.proposedSavePaths.back(), "North-South — Before Baseline.json");
    EXPECT_EQ(untitled.archive().revisions.size(), 7u);
}

TEST_F(VersionHistoryTest, TheBackupMayNotBeTheDocumentUnderAnyName)
{
    ASSERT_TRUE(QFile::link(path, dir.filePath("link.json")));
    ASSERT_EQ(::link(QFile::encodeName(path).constData(), QFile::encodeName(dir.filePath("hard.json")).constData()), 0);
    const QByteArray original = readBytes(path);
    for (const QString &target :
         {path, dir.filePath("link.json"), dir.filePath("./district.json"), dir.filePath("hard.json")}) {
        dialogs.filesToSave.push_back(target);
        history.setBaseline(true);
        ASSERT_FALSE(dialogs.alerts.empty());
        EXPECT_EQ(dialogs.alerts.back().title, "Baseline Error");
        EXPECT_EQ(dialogs.alerts.back().message, sameFileMessage) << target.toStdString();
    }
    EXPECT_EQ(readBytes(path), original);
    EXPECT_EQ(versions(), 7u);

    // Cancelled: nothing changes, nothing is said.
    const size_t alerts = dialogs.alerts.size();
    dialogs.filesToSave.push_back(std::nullopt);
    history.setBaseline(true);
    EXPECT_EQ(dialogs.alerts.size(), alerts);
    EXPECT_EQ(versions(), 7u);
    EXPECT_EQ(history.baselineMessage(), "");

    // An unwritable place: the system's reason, history kept.
    dialogs.filesToSave.push_back(dir.filePath("missing/backup.json"));
    history.setBaseline(true);
    EXPECT_TRUE(dialogs.alerts.back().message.startsWith("The backup “backup.json” could not be saved"));
    EXPECT_EQ(versions(), 7u);
}

} // namespace

namespace {

// The panel shows the history's state and forwards its buttons and field to it.
class VersionHistoryPanel : public VersionHistoryTest {
protected:
    QPushButton *button(VersionHistoryDialog &panel, const QString &text, int index = 0)
    {
        int seen = 0;
        for (QPushButton *child : panel.findChildren<QPushButton *>()) {
            if (child->text() == text && child->isVisibleTo(&panel) && seen++ == index)
                return child;
        }
        return nullptr;
    }
    bool showsLabel(VersionHistoryDialog &panel, const QString &text)
    {
        for (QLabel *label : panel.findChildren<QLabel *>()) {
            if (label->text() == text && label->isVisibleTo(&panel))
                return true;
        }
        return false;
    }
};

TEST_F(VersionHistoryPanel, ListsVersionsNewestFirstAndSavesTheTypedNote)
{
    VersionHistoryDialog panel(history, nullptr);
    auto *list = panel.findChild<QListWidget *>();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 7);
    EXPECT_TRUE(showsLabel(panel, "7 saved versions"));
    EXPECT_TRUE(showsLabel(panel, history.rows().front().heading));
    EXPECT_TRUE(history.rows().front().heading.endsWith("v7"));
    ASSERT_NE(button(panel, "Set Current as Baseline…"), nullptr);
    EXPECT_TRUE(button(panel, "Set Current as Baseline…")->isEnabled());

    auto *note = panel.findChild<QLineEdit *>();
    ASSERT_NE(note, nullptr);
    QTest::keyClicks(note, "Before the reorganization");
    EXPECT_EQ(history.versionNote(), "Before the reorganization");
    button(panel, "Save Version")->click();
    EXPECT_EQ(document.archive().revisions.back()->note, "Before the reorganization");
    EXPECT_EQ(note->text(), "") << "the field empties after a save";
    EXPECT_EQ(list->count(), 8);
    EXPECT_TRUE(showsLabel(panel, "8 saved versions"));
    // Return in the field saves too.
    QTest::keyClicks(note, "Spring");
    QTest::keyClick(note, Qt::Key_Return);
    EXPECT_EQ(document.archive().revisions.back()->note, "Spring");
    EXPECT_EQ(list->count(), 9);
}

TEST_F(VersionHistoryPanel, RestoreButtonRestoresItsRowAndCloses)
{
    VersionHistoryDialog panel(history, nullptr);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    EXPECT_EQ(AppTest::unnamedControls(&panel), QStringList());
    // The last row is the oldest version.
    QPushButton *oldest = button(panel, "Restore", 6);
    ASSERT_NE(oldest, nullptr);
    oldest->setFocus(Qt::TabFocusReason);
    AppTest::HeardEvents heard;
    QTest::keyClick(oldest, Qt::Key_Space);
    EXPECT_EQ(versions(), 7u) << "deferred: the click's own button is rebuilt";
    QApplication::processEvents();
    EXPECT_EQ(versions(), 9u);
    EXPECT_EQ(history.rows().front().heading, "Version 9 — Restored version 1");
    EXPECT_EQ(panel.result(), QDialog::Accepted);
    // Closing, the window hands the focus to none of its other controls: a screen reader
    // would announce each as the window goes.
    for (const AppTest::HeardEvent &event : heard.of(QAccessible::Focus))
        EXPECT_TRUE(event.object.data() == oldest) << "focus heard on " << event.name.toStdString();

    // Shown again, it lists the versions as they are now.
    panel.show();
    EXPECT_EQ(panel.list()->count(), 9);
}

TEST_F(VersionHistoryPanel, BaselineResultAndLockedState)
{
    VersionHistoryDialog panel(history, nullptr);
    // Cancelled: nothing happens.
    dialogs.choices.push_back("Cancel");
    button(panel, "Set Current as Baseline…")->click();
    EXPECT_EQ(versions(), 7u);
    EXPECT_EQ(history.baselineMessage(), "");

    dialogs.choices.push_back("Set Baseline Without Backup");
    button(panel, "Set Current as Baseline…")->click();
    EXPECT_EQ(versions(), 0u);
    EXPECT_EQ(panel.findChild<QListWidget *>()->count(), 0);
    EXPECT_TRUE(showsLabel(panel, history.baselineMessage()));
    EXPECT_FALSE(button(panel, "Set Current as Baseline…")->isEnabled()) << "no versions left";

    document.undo();
    EXPECT_TRUE(button(panel, "Set Current as Baseline…")->isEnabled());
    document.edit([](OrganizationArchive &a) { a.lockForPlanning(); });
    EXPECT_FALSE(button(panel, "Set Current as Baseline…")->isEnabled()) << "locked for planning";
}

} // namespace

namespace {

// A screen reader hears each row and which version each Restore brings back; Tab goes down
// the dialog as it reads, every Restore before "Set Current as Baseline…" and "Done".
TEST_F(VersionHistoryPanel, RowsAndRestoresAreHeardAndTabbedInReadingOrder)
{
    VersionHistoryDialog panel(history, nullptr);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    QListWidget *list = panel.list();
    QAccessibleInterface *heard = QAccessible::queryAccessibleInterface(list);
    EXPECT_EQ(heard->text(QAccessible::Name), "Saved versions");
    ASSERT_GE(heard->childCount(), 7);
    QStringList rows;
    for (int i = 0; i < heard->childCount(); ++i) {
        if (heard->child(i)->role() == QAccessible::ListItem)
            rows.append(heard->child(i)->text(QAccessible::Name));
    }
    ASSERT_EQ(rows.size(), 7);
    EXPECT_EQ(rows.front(), "Version 7 — v7 · 3 positions");
    EXPECT_EQ(rows.back(), "Version 1 — v1 · 3 positions");

    list->setFocus(Qt::TabFocusReason);
    QStringList order;
    for (int i = 0; i < 10; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.append(QAccessible::queryAccessibleInterface(QApplication::focusWidget())->text(QAccessible::Name));
    }
    EXPECT_EQ(order, (QStringList{"Restore Version 7 — v7", "Restore Version 6 — v6", "Restore Version 5 — v5",
                                  "Restore Version 4 — v4", "Restore Version 3 — v3", "Restore Version 2 — v2",
                                  "Restore Version 1 — v1", "Set Current as Baseline…", "Done",
                                  "Version note (optional)"}));
}

} // namespace
