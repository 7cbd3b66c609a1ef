// A save never replaces, unasked, a file that another program wrote or replaced since the
// window read or last wrote it: the other program's work would be gone.
#include "app/chart/chart_window.h"
#include "app/shell/document_controller.h"
#include "app/shell/organization_document.h"

#include "app_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace AppTest;

namespace {

struct stat statusOf(const QString &path)
{
    struct stat status {};
    if (::stat(path.toLocal8Bit().constData(), &status) != 0)
        throw std::runtime_error("cannot stat " + path.toStdString());
    return status;
}

bool operator==(const timespec &a, const timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Another program writes `bytes` over the file in place, of the same size as before, and then
// gives it the modification time `modified`, as a copy that keeps times does. Repeated until
// the file's change time moves past `changedBefore`: it counts in the file system's ticks, and
// two writes within one tick would look alike to anyone.
void rewriteInPlace(const QString &path, const QByteArray &bytes, const timespec &modified, const timespec &changedBefore)
{
    ASSERT_EQ(statusOf(path).st_size, bytes.size());
    for (int attempt = 0; attempt < 2000; ++attempt) {
        writeBytes(path, bytes);
        const timespec times[2] = {{0, UTIME_OMIT}, modified};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.toLocal8Bit().constData(), times, 0), 0);
        const struct stat now = statusOf(path);
        ASSERT_TRUE(now.st_mtim == modified);
        if (!(now.st_ctim == changedBefore))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    FAIL() << "the change time of " << path.toStdString() << " never moved";
}

class ChangedElsewhere : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = dir.filePath("district.json");
        writeBytes(path, QByteArray::fromStdString(district(1).encodeDocument()));
        window = controller.openFile(path);
        waitForOpening(controller);
        window->document()->setArchive(district(2));
    }

    void TearDown() override
    {
        EXPECT_TRUE(dialogs.exhausted()) << "scripted answers left unused";
        deleteClosedWindows();
    }

    // Another program writes the file in place, as an editor or a script does.
    void writtenElsewhere() { writeBytes(path, QByteArray::fromStdString(district(3, "Elsewhere").encodeDocument())); }

    void expectAskedOnce()
    {
        ASSERT_EQ(dialogs.questions.size(), 1u);
        const ScriptedDialogs::Question &question = dialogs.questions.front();
        EXPECT_EQ(question.message, "The file “district.json” was changed by another program after you opened it.");
        EXPECT_EQ(question.buttons, (QStringList{"Save Anyway", "Cancel"}));
        EXPECT_EQ(question.defaultButton, "Cancel");
        dialogs.questions.clear();
    }

    void expectFileKept()
    {
        EXPECT_EQ(OrganizationDocument::readFile(path), district(3, "Elsewhere"));
        EXPECT_TRUE(window->document()->isModified());
        EXPECT_EQ(window->document()->archive(), district(2));
    }

    QTemporaryDir dir;
    QString path;
    ScriptedDialogs dialogs;
    DocumentController controller{dialogs};
    ChartWindow *window = nullptr;
};

} // namespace

TEST_F(ChangedElsewhere, SaveAsksAndCancelChangesNothing)
{
    writtenElsewhere();
    dialogs.choices = {"Cancel"};
    EXPECT_FALSE(controller.save(window));
    expectAskedOnce();
    expectFileKept();
    EXPECT_TRUE(dialogs.alerts.empty());

    // Asked again at the next save; once saved anyway, the file is the window's own again.
    dialogs.choices = {"Save Anyway"};
    EXPECT_TRUE(controller.save(window));
    expectAskedOnce();
    EXPECT_EQ(OrganizationDocument::readFile(path), district(2));
    window->document()->setArchive(district(4));
    EXPECT_TRUE(controller.save(window));
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_EQ(OrganizationDocument::readFile(path), district(4));
}

// A second process with the file open saves first: it puts a new file in place.
TEST_F(ChangedElsewhere, AFileReplacedByAnotherProcess)
{
    OrganizationDocument other;
    other.load(path);
    other.setArchive(district(3, "Elsewhere"));
    other.saveTo(path);
    dialogs.choices = {"Cancel"};
    EXPECT_FALSE(controller.save(window));
    expectAskedOnce();
    expectFileKept();

    // Save As onto the same file asks too.
    dialogs.filesToSave.push_back(path);
    dialogs.choices = {"Cancel"};
    EXPECT_FALSE(controller.saveAs(window));
    expectAskedOnce();
    expectFileKept();
}

TEST_F(ChangedElsewhere, ClosingAndQuittingStopAtTheQuestion)
{
    writtenElsewhere();
    dialogs.saveAnswers = {SaveAnswer::save};
    dialogs.choices = {"Cancel"};
    EXPECT_FALSE(controller.closeWindow(window));
    expectAskedOnce();
    EXPECT_TRUE(controller.windows().contains(window));
    expectFileKept();

    dialogs.saveAnswers = {SaveAnswer::save};
    dialogs.choices = {"Cancel"};
    EXPECT_FALSE(controller.reviewBeforeQuit());
    expectAskedOnce();
    EXPECT_TRUE(controller.windows().contains(window));
    expectFileKept();

    dialogs.saveAnswers = {SaveAnswer::save};
    dialogs.choices = {"Save Anyway"};
    EXPECT_TRUE(controller.reviewBeforeQuit());
    expectAskedOnce();
    EXPECT_EQ(OrganizationDocument::readFile(path), district(2));
}

// A same-size rewrite whose modification time is put back to what it was, as `touch -r` or a
// copy that keeps times leaves it: only the change time tells.
TEST_F(ChangedElsewhere, ARewriteWithItsTimeSetBackAsks)
{
    const struct stat before = statusOf(path);
    rewriteInPlace(path, QByteArray::fromStdString(district(1, "Springfield Distrikt").encodeDocument()), before.st_mtim,
                   before.st_ctim);
    EXPECT_EQ(statusOf(path).st_ino, before.st_ino);
    dialogs.choices = {"Cancel"};
    EXPECT_FALSE(controller.save(window));
    expectAskedOnce();
    EXPECT_EQ(OrganizationDocument::readFile(path), district(1, "Springfield Distrikt"));
    EXPECT_TRUE(window->document()->isModified());
}

// Same-size rewrites soon after the document read the file: one within the same second (a
// stamp in whole seconds misses it) and one back-dated by a day. Read again until the rewrite
// falls within the second the file was read in, so that the first case is what it says.
TEST(ChangedOnDisk, SameSizeRewritesAreNoticed)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("district.json");
    const QByteArray original = QByteArray::fromStdString(district(1).encodeDocument());
    const QByteArray rewritten = QByteArray::fromStdString(district(1, "Springfield Distrikt").encodeDocument());
    for (const bool backDated : {false, true}) {
        SCOPED_TRACE(backDated ? "back-dated" : "within the second");
        OrganizationDocument document;
        for (int attempt = 0; attempt < 20; ++attempt) {
            writeBytes(path, original);
            document.load(path);
            EXPECT_FALSE(document.isChangedOnDisk());
            const struct stat read = statusOf(path);
            timespec modified = read.st_mtim;
            if (backDated)
                modified.tv_sec -= 24 * 60 * 60;
            else
                modified.tv_nsec = modified.tv_nsec == 0 ? 1 : modified.tv_nsec - 1;
            rewriteInPlace(path, rewritten, modified, read.st_ctim);
            if (statusOf(path).st_ctim.tv_sec == read.st_ctim.tv_sec)
                break;
        }
        EXPECT_TRUE(document.isChangedOnDisk());
    }
}

// Nothing to lose: a file unchanged since, or gone, is saved without a question.
TEST_F(ChangedElsewhere, NothingIsAskedWhenNothingWouldBeLost)
{
    EXPECT_TRUE(controller.save(window));
    EXPECT_EQ(OrganizationDocument::readFile(path), district(2));
    window->document()->setArchive(district(4));
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_TRUE(controller.save(window));
    EXPECT_EQ(OrganizationDocument::readFile(path), district(4));
    EXPECT_TRUE(dialogs.questions.empty());
}

// A file with a second name is written over rather than replaced, so both names show the save;
// the next save finds the file as the window left it, and still asks after another program.
TEST_F(ChangedElsewhere, AFileWrittenOverIsTheWindowsOwnAfterward)
{
    const QString other = dir.filePath("other name.json");
    ASSERT_EQ(::link(QFile::encodeName(path).constData(), QFile::encodeName(other).constData()), 0);
    // The link moved the file's change time: read again.
    window->document()->load(path);
    window->document()->setArchive(district(2));
    const ino_t inode = statusOf(path).st_ino;
    EXPECT_TRUE(controller.save(window));
    EXPECT_EQ(statusOf(path).st_ino, inode);
    EXPECT_EQ(OrganizationDocument::readFile(other), district(2));
    window->document()->setArchive(district(4));
    EXPECT_TRUE(controller.save(window));
    EXPECT_TRUE(dialogs.questions.empty());

    writtenElsewhere();
    window->document()->setArchive(district(2));
    dialogs.choices = {"Cancel"};
    EXPECT_FALSE(controller.save(window));
    expectAskedOnce();
    expectFileKept();
}
