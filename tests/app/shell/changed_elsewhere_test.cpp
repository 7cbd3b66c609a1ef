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

using namespace AppTest;

namespace {

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
