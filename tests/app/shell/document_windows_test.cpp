#include "app/chart/chart_window.h"
#include "app/shell/document_controller.h"
#include "app/shell/organization_document.h"
#include "app/shell/organization_file_commands.h"
#include "app/updates/application_updates.h"

#include "app_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

using namespace AppTest;

namespace {

class DocumentWindows : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_TRUE(dialogs.exhausted()) << "scripted answers left unused";
        deleteClosedWindows();
    }

    QString saved(const QString &name, const OrganizationArchive &archive)
    {
        const QString path = dir.filePath(name);
        writeBytes(path, QByteArray::fromStdString(archive.encodeDocument()));
        return path;
    }

    ChartWindow *opened(const QString &path)
    {
        ChartWindow *window = controller.openFile(path);
        waitForOpening(controller);
        return window;
    }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    DocumentController controller{dialogs};
};

} // namespace

TEST_F(DocumentWindows, OpeningAFileTwiceBringsItsWindowForward)
{
    const QString path = saved("district.json", district());
    ChartWindow *window = controller.openFile(path);
    ASSERT_NE(window, nullptr);
    QFile::link(path, dir.filePath("link.json"));
    EXPECT_EQ(controller.openFile(dir.filePath("link.json")), window) << "while the file is read";
    waitForOpening(controller);
    EXPECT_EQ(window->windowTitle(), "district.json[*]");
    EXPECT_EQ(controller.openFile(dir.filePath("link.json")), window);
    EXPECT_EQ(controller.windows().size(), 1);
    EXPECT_EQ(controller.recentFiles(), QStringList{window->document()->filePath()});
}

// The window made for the file shows that it is busy while the file is read, and other
// windows stay usable.
TEST_F(DocumentWindows, FilesAreReadWhileTheirWindowIsBusy)
{
    ChartWindow *other = controller.newDocument();
    ChartWindow *window = controller.openFile(saved("district.json", district()));
    EXPECT_FALSE(window->isEnabled());
    EXPECT_TRUE(other->isEnabled());
    EXPECT_EQ(window->document()->archive(), OrganizationDocument::untitledArchive());
    waitForOpening(controller);
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(window->document()->archive(), district());
    EXPECT_FALSE(window->document()->isModified());
}

TEST_F(DocumentWindows, AFileThatCannotBeOpenedIsReportedAndChangesNothing)
{
    // The only window stays, as an untitled document, as if the file had not been given.
    ChartWindow *only = opened(dir.filePath("missing.json"));
    ASSERT_EQ(dialogs.alerts.size(), 1u);
    EXPECT_EQ(dialogs.alerts[0].title, "Organization Error");
    EXPECT_EQ(controller.windows(), QList<ChartWindow *>{only});
    EXPECT_TRUE(only->document()->isUntouched());
    const QString broken = dir.filePath("broken.json");
    writeBytes(broken, "{\"positions\": 12}");
    opened(broken);
    EXPECT_EQ(dialogs.alerts.size(), 2u);
    EXPECT_EQ(controller.windows(), QList<ChartWindow *>{only}) << "the window made for the file closed";

    // Into a window: cancelled, then a broken file.
    ChartWindow *window = controller.newDocument();
    dialogs.filesToOpen.push_back(std::nullopt);
    controller.openOrganization(window);
    dialogs.filesToOpen.push_back(broken);
    controller.openOrganization(window);
    waitForOpening(controller);
    EXPECT_EQ(dialogs.alerts.size(), 3u);
    EXPECT_EQ(controller.windows().size(), 2);
    EXPECT_TRUE(window->document()->isUntouched());
    EXPECT_TRUE(controller.recentFiles().isEmpty());
}

TEST_F(DocumentWindows, AFailedSaveShowsTheErrorAndKeepsFileAndChanges)
{
    const QString path = saved("district.json", district());
    ChartWindow *open = opened(path);
    open->document()->edit([](OrganizationArchive &archive) { archive.organization.positions[2].id = "P2"; });
    EXPECT_FALSE(controller.save(open));
    EXPECT_TRUE(open->isWindowModified());

    // Save As never takes the file of another window.
    ChartWindow *other = controller.newDocument();
    other->document()->setArchive(district(5, "Shelbyville"));
    dialogs.filesToSave.push_back(path);
    EXPECT_FALSE(controller.saveAs(other));
    ASSERT_EQ(dialogs.alerts.size(), 2u);
    EXPECT_EQ(dialogs.alerts[0].message, "Position IDs must be unique.");
    EXPECT_EQ(dialogs.alerts[1].message,
              "The file “district.json” is open in another window. Close that window first, or choose another name.");
    EXPECT_EQ(OrganizationDocument::readFile(path), district());
    EXPECT_TRUE(other->document()->isModified());
    EXPECT_EQ(controller.windowForFile(path), open);
}

TEST_F(DocumentWindows, OpenInTheWindowOnlyReplacesAnUntouchedDocument)
{
    const QString file = saved("district.json", district());
    ChartWindow *untouched = controller.newDocument();
    dialogs.filesToOpen.push_back(file);
    controller.openOrganization(untouched);
    waitForOpening(controller);
    EXPECT_EQ(untouched->document()->archive(), district());

    // A saved file, even when empty, is kept: the other file gets its own window.
    ChartWindow *emptySaved = controller.newDocument();
    dialogs.filesToSave.push_back(dir.filePath("empty.json"));
    ASSERT_TRUE(controller.saveAs(emptySaved));
    dialogs.filesToOpen.push_back(saved("other.json", district(1, "Other")));
    controller.openOrganization(emptySaved);
    waitForOpening(controller);
    EXPECT_EQ(emptySaved->document()->archive(), OrganizationDocument::untitledArchive());
    EXPECT_EQ(controller.windows().size(), 3);
}

TEST_F(DocumentWindows, ClosingCanBeCancelledAtEachQuestion)
{
    ChartWindow *edited = controller.newDocument();
    edited->document()->setArchive(district());
    dialogs.saveAnswers = {SaveAnswer::cancel, SaveAnswer::save, SaveAnswer::discard};
    EXPECT_FALSE(controller.closeWindow(edited));
    dialogs.filesToSave.push_back(std::nullopt); // Save, then cancel the name panel
    EXPECT_FALSE(controller.closeWindow(edited));
    EXPECT_EQ(controller.windows(), QList<ChartWindow *>{edited});
    EXPECT_TRUE(controller.closeWindow(edited));
    EXPECT_TRUE(controller.windows().isEmpty());
    EXPECT_EQ(dialogs.savePromptDocuments, QStringList(3, "Untitled"));
}

TEST_F(DocumentWindows, QuitReviewCanBeCancelledWithEveryWindowKept)
{
    ChartWindow *clean = controller.newDocument();
    ChartWindow *first = controller.newDocument();
    ChartWindow *second = controller.newDocument();
    first->document()->setArchive(district(1));
    second->document()->setArchive(district(2));

    dialogs.saveAnswers = {SaveAnswer::discard, SaveAnswer::cancel};
    EXPECT_FALSE(controller.reviewBeforeQuit());
    EXPECT_EQ(controller.windows(), (QList<ChartWindow *>{clean, first, second}));
    EXPECT_TRUE(first->document()->isModified()) << "a discarded document stays as it was until the quit goes on";
    EXPECT_EQ(dialogs.savePromptDocuments, (QStringList{"Untitled 2", "Untitled 3"}));
}

// Closing, quitting and the restart after an update all stop at a save that fails: the error
// is shown, and the window stays open with its document and changes.
class FailedSaveOnTheWayOut : public DocumentWindows {
protected:
    // A window whose edited document belongs to a folder that is gone by now.
    ChartWindow *unsavable(const QString &name)
    {
        EXPECT_TRUE(QDir(dir.path()).mkpath(name));
        ChartWindow *window = opened(saved(name + "/district.json", district()));
        window->document()->edit([&](OrganizationArchive &archive) { archive.name = name.toStdString(); });
        QDir(dir.filePath(name)).removeRecursively();
        return window;
    }

    void expectKept(ChartWindow *window, const std::string &name)
    {
        EXPECT_TRUE(controller.windows().contains(window));
        EXPECT_TRUE(window->document()->isModified());
        EXPECT_EQ(window->document()->archive().name, name);
    }

    const QString failure = "The file “district.json” could not be saved: the folder does not exist.";
};

TEST_F(FailedSaveOnTheWayOut, ClosingStopsAndShowsWhy)
{
    ChartWindow *window = unsavable("first");
    dialogs.saveAnswers = {SaveAnswer::save};
    EXPECT_FALSE(controller.closeWindow(window));
    expectKept(window, "first");
    ASSERT_EQ(dialogs.alerts.size(), 1u);
    EXPECT_EQ(dialogs.alerts[0].message, failure);
}

TEST_F(FailedSaveOnTheWayOut, QuittingStopsBeforeAnyWindowCloses)
{
    ChartWindow *first = unsavable("first");
    ChartWindow *second = unsavable("second");
    dialogs.saveAnswers = {SaveAnswer::save};
    EXPECT_FALSE(controller.reviewBeforeQuit());
    expectKept(first, "first");
    expectKept(second, "second");
    EXPECT_EQ(dialogs.savePromptDocuments, QStringList{"district.json"}) << "nothing more is asked";
    ASSERT_EQ(dialogs.alerts.size(), 1u);
    EXPECT_EQ(dialogs.alerts[0].message, failure);
}

TEST_F(FailedSaveOnTheWayOut, TheRestartAfterAnUpdateStops)
{
    ChartWindow *window = unsavable("first");
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
    ApplicationUpdates updates(controller, settings);
    dialogs.saveAnswers = {SaveAnswer::save};
    EXPECT_FALSE(updates.restart());
    EXPECT_FALSE(updates.isRestartRequested());
    expectKept(window, "first");
    ASSERT_EQ(dialogs.alerts.size(), 1u);
    EXPECT_EQ(dialogs.alerts[0].message, failure);

    // Discarded instead, the restart goes on.
    dialogs.saveAnswers = {SaveAnswer::discard};
    EXPECT_TRUE(updates.restart());
    EXPECT_TRUE(updates.isRestartRequested());
    EXPECT_TRUE(controller.windows().isEmpty());
}

TEST_F(DocumentWindows, EditMenuNamesTheStepAndQuitAfterUndoingAllAsksNothing)
{
    ChartWindow *window = opened(saved("district.json", district()));
    QAction *undo = window->commands().undo();
    EXPECT_FALSE(undo->isEnabled());
    window->document()->edit("Rename", [](OrganizationArchive &archive) { archive.name = "Renamed"; });
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_EQ(undo->text(), "Undo Rename");
    undo->trigger();
    EXPECT_EQ(window->commands().redo()->text(), "Redo Rename");
    // No save question: ScriptedDialogs fails the test on an unexpected one.
    EXPECT_TRUE(controller.reviewBeforeQuit());
    EXPECT_TRUE(dialogs.savePromptDocuments.isEmpty());
}
