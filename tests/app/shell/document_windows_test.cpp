#include "app/chart/chart_canvas.h"
#include "app/chart/chart_window.h"
#include "app/chart/chart_window_body.h"
#include "app/chart/window_sheets.h"
#include "app/import/spreadsheet_import_window.h"
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
#include <QMenuBar>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

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

TEST_F(DocumentWindows, NewDocumentIsAnUntitledEmptyOrganization)
{
    controller.openIfNone();
    controller.openIfNone();
    ASSERT_EQ(controller.windows().size(), 1);
    ChartWindow *window = controller.windows().front();
    EXPECT_EQ(window->size(), QSize(1200, 800));
    EXPECT_EQ(window->windowTitle(), "Untitled[*]");
    EXPECT_FALSE(window->isWindowModified());
    EXPECT_EQ(window->document()->archive().name, "Untitled Organization");
    EXPECT_TRUE(window->document()->archive().organization.positions.empty());
    EXPECT_TRUE(window->document()->isUntouched());

    EXPECT_EQ(controller.newDocument()->windowTitle(), "Untitled 2[*]");
}

TEST_F(DocumentWindows, TitleFollowsTheDocumentAndTheChartFillsTheWindow)
{
    ChartWindow *window = controller.newDocument();
    window->document()->setArchive(district(2));
    EXPECT_TRUE(window->isWindowModified());
    ASSERT_NE(window->canvas(), nullptr);
    EXPECT_TRUE(window->centralWidget()->isAncestorOf(window->canvas()));
    EXPECT_EQ(&window->canvas()->view(), &window->view());
}

// The import window opened over an untitled chart window is titled after the file that
// window then reads in place, and after the name it is saved under.
TEST_F(DocumentWindows, TheImportWindowIsTitledAfterItsDocument)
{
    ChartWindow *window = controller.newDocument();
    QPointer<SpreadsheetImportWindow> imports = WindowSheets::openSpreadsheetImport(*window);
    EXPECT_EQ(imports->windowTitle(), "Import & Correct — Untitled");
    dialogs.filesToOpen.push_back(saved("district.json", district()));
    controller.openOrganization(window);
    waitForOpening(controller);
    EXPECT_EQ(imports->windowTitle(), "Import & Correct — district.json");
    dialogs.filesToSave.push_back(dir.filePath("copy.json"));
    ASSERT_TRUE(controller.saveAs(window));
    EXPECT_EQ(imports->windowTitle(), "Import & Correct — copy.json");
    imports->close();
}

TEST_F(DocumentWindows, OpeningAFileTwiceBringsItsWindowForward)
{
    const QString path = saved("district.json", district());
    ChartWindow *window = controller.openFile(path);
    ASSERT_NE(window, nullptr);
    QFile::link(path, dir.filePath("link.json"));
    EXPECT_EQ(controller.openFile(dir.filePath("link.json")), window) << "while the file is read";
    waitForOpening(controller);
    EXPECT_EQ(window->windowTitle(), "district.json[*]");
    EXPECT_EQ(window->document()->archive(), district());
    EXPECT_FALSE(window->document()->isModified());
    EXPECT_EQ(controller.openFile(dir.filePath("link.json")), window);
    QDir().mkpath(dir.filePath("sub"));
    EXPECT_EQ(controller.openFile(dir.filePath("sub/../district.json")), window);
    controller.openIfNone();
    EXPECT_EQ(controller.windows().size(), 1);
    EXPECT_EQ(controller.recentFiles(), QStringList{window->document()->filePath()});
}

// The window made for the file shows that it is busy while the file is read: its chart and
// the commands on its document wait, the application's own commands do not. Other windows
// stay usable.
TEST_F(DocumentWindows, FilesAreReadWhileTheirWindowIsBusy)
{
    ChartWindow *other = controller.newDocument();
    ChartWindow *window = controller.openFile(saved("district.json", district()));
    const OrganizationFileCommands &commands = window->commands();
    EXPECT_FALSE(window->body().isEnabled());
    for (const QAction *command : {commands.openOrganization(), commands.save(), commands.importJSON(), commands.close()})
        EXPECT_FALSE(command->isEnabled()) << command->text().toStdString();
    EXPECT_TRUE(window->menuBar()->isEnabled());
    for (const QAction *command : {commands.newOrganization(), commands.quit(), commands.about()})
        EXPECT_TRUE(command->isEnabled()) << command->text().toStdString();
    EXPECT_TRUE(other->body().isEnabled());
    EXPECT_TRUE(other->commands().save()->isEnabled());
    EXPECT_EQ(window->document()->archive(), OrganizationDocument::untitledArchive());
    waitForOpening(controller);
    EXPECT_TRUE(window->body().isEnabled());
    EXPECT_TRUE(commands.save()->isEnabled());
    EXPECT_EQ(window->document()->archive(), district());
    EXPECT_FALSE(window->document()->isModified());
    // Busy, it had nothing to take the keyboard; read, it has its first control, as a window
    // shown ready does, and keys do something without a Tab first.
    EXPECT_NE(window->focusWidget(), nullptr);
}

// Ctrl+Q typed while the window's file is still being read quits: the busy window keeps its
// menu bar, and the read is not waited for.
TEST_F(DocumentWindows, QuitIsTypedWhileAFileIsRead)
{
    ChartWindow *window = controller.newDocument();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    dialogs.filesToOpen.push_back(saved("district.json", district()));
    controller.openOrganization(window);
    ASSERT_TRUE(controller.isOpening());
    QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(controller.windows().isEmpty()) << "Quit closed every window";
    waitForOpening(controller);
}

TEST_F(DocumentWindows, AFileThatCannotBeOpenedIsReportedAndChangesNothing)
{
    // The only window stays, as an untitled document, as if the file had not been given.
    ChartWindow *only = opened(dir.filePath("missing.json"));
    ASSERT_EQ(dialogs.alerts.size(), 1u);
    EXPECT_EQ(dialogs.alerts[0].title, "Organization Error");
    EXPECT_EQ(dialogs.alerts[0].message, "The file “missing.json” does not exist.");

    EXPECT_EQ(controller.windows(), QList<ChartWindow *>{only});
    EXPECT_TRUE(only->document()->isUntouched());
    EXPECT_EQ(only->document()->displayName(), "Untitled");
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

TEST_F(DocumentWindows, SaveAsksForANameOnceThenWritesInPlace)
{
    ChartWindow *window = controller.newDocument();
    window->document()->setArchive(district(1));
    const QString path = dir.filePath("springfield.json");
    dialogs.filesToSave.push_back(path);
    ASSERT_TRUE(controller.save(window));
    EXPECT_EQ(dialogs.proposedSavePaths, QStringList{"Springfield District.json"});
    EXPECT_EQ(window->windowTitle(), "springfield.json[*]");
    EXPECT_FALSE(window->isWindowModified());
    EXPECT_EQ(OrganizationDocument::readFile(path), district(1));
    EXPECT_EQ(controller.recentFiles(), QStringList{window->document()->filePath()});

    window->document()->setArchive(district(2));
    ASSERT_TRUE(controller.save(window));
    EXPECT_EQ(OrganizationDocument::readFile(path), district(2));

    // Save As writes a copy and the window follows it.
    const QString copy = dir.filePath("copy.json");
    dialogs.filesToSave.push_back(copy);
    ASSERT_TRUE(controller.saveAs(window));
    EXPECT_EQ(window->windowTitle(), "copy.json[*]");
    EXPECT_EQ(controller.windowForFile(copy), window);
    EXPECT_EQ(controller.windowForFile(path), nullptr);

    dialogs.filesToSave.push_back(std::nullopt);
    EXPECT_FALSE(controller.saveAs(window));
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

// A window takes the chosen file in place when it would lose nothing by it: it holds no
// positions and no planning, and nothing changed since it was made or last read or saved.
TEST_F(DocumentWindows, OpenInTheWindowReplacesOnlyAnEmptyUnchangedDocument)
{
    const QString file = saved("district.json", district());
    OrganizationArchive withVersion = OrganizationDocument::untitledArchive();
    withVersion.revisions.push_back(OrganizationRevision{.id = "7D0F3F2E-9C1B-4F7A-8E43-2B8C3A1D5E6F", .number = 1});
    OrganizationArchive withPlanning = OrganizationDocument::untitledArchive();
    withPlanning.planning = OrganizationPlanning{};
    OrganizationArchive renamed = OrganizationDocument::untitledArchive();
    renamed.name = "Typed by the user";

    const struct {
        const char *name;
        std::optional<OrganizationArchive> file;    // the window stands for a file holding this
        std::optional<OrganizationArchive> changes; // then set without saving
        bool inPlace;
    } cases[] = {
        {"new and untouched", std::nullopt, std::nullopt, true},
        {"new with positions", std::nullopt, district(0, "Other"), false},
        {"new with planning", std::nullopt, withPlanning, false},
        {"new with saved versions", std::nullopt, withVersion, false},
        {"new with a typed name", std::nullopt, renamed, false},
        {"an empty file", OrganizationDocument::untitledArchive(), std::nullopt, true},
        {"a file with only saved versions", withVersion, std::nullopt, true},
        {"a file with positions", district(0, "Other"), std::nullopt, false},
        {"a file with planning", withPlanning, std::nullopt, false},
        {"an empty file with a typed name", OrganizationDocument::untitledArchive(), renamed, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DocumentController windows(dialogs);
        ChartWindow *window = c.file ? windows.openFile(saved("window.json", *c.file)) : windows.newDocument();
        waitForOpening(windows);
        if (c.changes)
            window->document()->setArchive(*c.changes);
        const OrganizationArchive before = window->document()->archive();
        const QString pathBefore = window->document()->filePath();
        int loads = 0;
        QObject::connect(window->document(), &OrganizationDocument::fileLoaded, [&loads] { ++loads; });
        dialogs.filesToOpen.push_back(file);
        windows.openOrganization(window);
        waitForOpening(windows);
        EXPECT_EQ(loads, c.inPlace ? 1 : 0);

        if (c.inPlace) {
            ASSERT_EQ(windows.windows().size(), 1);
            EXPECT_EQ(window->document()->archive(), district());
            EXPECT_EQ(windows.windowForFile(file), window);
            EXPECT_FALSE(window->isWindowModified());
            EXPECT_EQ(window->windowTitle(), "district.json[*]");
            EXPECT_EQ(windows.recentFiles().front(), window->document()->filePath());
        } else {
            ASSERT_EQ(windows.windows().size(), 2);
            EXPECT_EQ(window->document()->archive(), before);
            EXPECT_EQ(window->document()->filePath(), pathBefore);
            EXPECT_NE(windows.windowForFile(file), window);
        }
    }
}

// Choosing the file a clean empty window stands for reads it again, with the file's new
// stamp: saving afterwards asks nothing about the change it has just read.
TEST_F(DocumentWindows, OpenInTheWindowReloadsItsOwnFile)
{
    const QString file = saved("district.json", OrganizationDocument::untitledArchive());
    ChartWindow *window = opened(file);
    saved("district.json", district(2));
    ASSERT_TRUE(window->document()->isChangedOnDisk());
    dialogs.filesToOpen.push_back(file);
    controller.openOrganization(window);
    waitForOpening(controller);
    EXPECT_EQ(controller.windows(), QList<ChartWindow *>{window});
    EXPECT_EQ(window->document()->archive(), district(2));
    EXPECT_FALSE(window->isWindowModified());
    EXPECT_FALSE(window->document()->canUndo());
    EXPECT_FALSE(window->document()->isChangedOnDisk());
    window->document()->edit([](OrganizationArchive &archive) { archive.pageTitle = "Draft"; });
    EXPECT_TRUE(controller.save(window));
    EXPECT_TRUE(dialogs.questions.empty());

    // Unsaved changes are never read over, not even by the window's own file.
    const QString empty = saved("empty.json", OrganizationDocument::untitledArchive());
    ChartWindow *edited = opened(empty);
    edited->document()->edit([](OrganizationArchive &archive) { archive.name = "Typed by the user"; });
    dialogs.filesToOpen.push_back(empty);
    controller.openOrganization(edited);
    waitForOpening(controller);
    EXPECT_EQ(controller.windows().size(), 2);
    EXPECT_EQ(edited->document()->archive().name, "Typed by the user");
    EXPECT_TRUE(edited->isWindowModified());
}

// A file open in another window goes to that window, even from a window that could take it.
TEST_F(DocumentWindows, OpenInTheWindowGoesToTheOpenWindowOfThatFile)
{
    const QString file = saved("district.json", district());
    ChartWindow *open = opened(file);
    ChartWindow *fresh = controller.newDocument();
    ChartWindow *emptyFile = opened(saved("empty.json", OrganizationDocument::untitledArchive()));
    for (ChartWindow *window : {fresh, emptyFile}) {
        const OrganizationArchive before = window->document()->archive();
        const QString pathBefore = window->document()->filePath();
        dialogs.filesToOpen.push_back(file);
        controller.openOrganization(window);
        waitForOpening(controller);
        EXPECT_EQ(controller.windows().size(), 3);
        EXPECT_EQ(window->document()->archive(), before);
        EXPECT_EQ(window->document()->filePath(), pathBefore);
        EXPECT_EQ(controller.windowForFile(file), open);
    }
}

TEST_F(DocumentWindows, ClosingAsksOnlyAboutRealChanges)
{
    ChartWindow *untouched = controller.newDocument();
    EXPECT_TRUE(controller.closeWindow(untouched));

    // Edited and put back: nothing to ask.
    ChartWindow *reverted = opened(saved("district.json", district()));
    reverted->document()->edit([](OrganizationArchive &archive) { archive.pageTitle = "Draft"; });
    reverted->document()->edit([](OrganizationArchive &archive) { archive.pageTitle.reset(); });
    EXPECT_TRUE(controller.closeWindow(reverted));
    EXPECT_TRUE(dialogs.savePromptDocuments.isEmpty());
    EXPECT_TRUE(controller.windows().isEmpty());
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
    EXPECT_EQ(dialogs.savePromptTitles, QStringList(3, "Save Changes Before Closing"));
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
    EXPECT_EQ(dialogs.savePromptTitles, QStringList(2, "Save Changes Before Closing"));

    const QString path = dir.filePath("second.json");
    dialogs.saveAnswers = {SaveAnswer::discard, SaveAnswer::save};
    dialogs.filesToSave.push_back(path);
    EXPECT_TRUE(controller.reviewBeforeQuit());
    EXPECT_TRUE(controller.windows().isEmpty());
    EXPECT_EQ(OrganizationDocument::readFile(path), district(2));
}

TEST_F(DocumentWindows, QuitWithNothingWorthSavingAsksNothing)
{
    controller.newDocument();
    ChartWindow *emptied = controller.newDocument();
    emptied->document()->setArchive(district());
    emptied->document()->setArchive(OrganizationDocument::untitledArchive());
    EXPECT_TRUE(controller.reviewBeforeQuit());
    EXPECT_TRUE(controller.windows().isEmpty());
}

TEST_F(DocumentWindows, MenuCommandsAndTheirShortcuts)
{
    ChartWindow *window = controller.newDocument();
    const OrganizationFileCommands &commands = window->commands();
    const struct {
        QAction *action;
        const char *text;
        const char *shortcut;
    } items[] = {
        {commands.newOrganization(), "New Organization", "Ctrl+N"},
        {commands.openOrganization(), "Open Organization…", "Ctrl+O"},
        {commands.save(), "Save", "Ctrl+S"},
        {commands.saveAs(), "Save As…", "Ctrl+Shift+S"},
        {commands.exportPrint(), "Export PDF / Print…", "Ctrl+P"},
        {commands.close(), "Close", "Ctrl+W"},
        {commands.quit(), "Quit", "Ctrl+Q"},
        {commands.checkForUpdates(), "Check for Updates…", ""},
        {commands.about(), "About Vantrel", ""},
    };
    for (const auto &item : items) {
        EXPECT_EQ(item.action->text(), item.text);
        EXPECT_EQ(item.action->shortcut(), QKeySequence(item.shortcut)) << item.text;
    }

    commands.newOrganization()->trigger();
    EXPECT_EQ(controller.windows().size(), 2);

    // Print runs the window's print action and is disabled without one.
    int printed = 0;
    window->setPrintAction([&printed] { ++printed; });
    ASSERT_TRUE(commands.exportPrint()->isEnabled());
    commands.exportPrint()->trigger();
    EXPECT_EQ(printed, 1);
    window->setPrintAction({});
    EXPECT_FALSE(commands.exportPrint()->isEnabled());

    // The update check waits for the update store that provides it.
    EXPECT_FALSE(commands.checkForUpdates()->isEnabled());
    int checks = 0;
    controller.setUpdateCheck([&checks] { ++checks; });
    ASSERT_TRUE(commands.checkForUpdates()->isEnabled());
    commands.checkForUpdates()->trigger();
    EXPECT_EQ(checks, 1);
}

TEST_F(DocumentWindows, RecentFilesNewestFirstAndRemembered)
{
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
    controller.setRecentFilesStore(&settings);
    QStringList expected;
    for (int i = 0; i < DocumentController::maximumRecentFiles + 2; ++i) {
        const QString path = saved(QString("d%1.json").arg(i), district(i));
        opened(path);
        expected.prepend(OrganizationDocument::canonicalPath(path));
    }
    expected = expected.mid(0, DocumentController::maximumRecentFiles);
    EXPECT_EQ(controller.recentFiles(), expected);

    DocumentController later(dialogs);
    later.setRecentFilesStore(&settings);
    EXPECT_EQ(later.recentFiles(), expected);
    later.clearRecentFiles();
    EXPECT_TRUE(settings.value("recentFiles").toStringList().isEmpty());
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
    // An "&" in a step's name is shown as typed, not taken as a mnemonic mark.
    window->document()->edit("Paper & Appearance", [](OrganizationArchive &archive) { archive.name = "Papered"; });
    EXPECT_EQ(undo->text(), "Undo Paper && Appearance");
    undo->trigger();
    EXPECT_EQ(window->commands().redo()->text(), "Redo Paper && Appearance");
    // No save question: ScriptedDialogs fails the test on an unexpected one.
    EXPECT_TRUE(controller.reviewBeforeQuit());
    EXPECT_TRUE(dialogs.savePromptDocuments.isEmpty());
}
