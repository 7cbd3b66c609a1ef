#include "app/import/spreadsheet_import_window.h"

#include "app/import/correction_grid.h"
#include "app/import/correction_grid_model.h"
#include "app/import/column_matching_step.h"
#include "app/import/import_file_step.h"
#include "app/sidebar/searchable_dropdown.h"

#include "import_flow_fixture.h"

#include "accessible_audit.h"
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace ImportTest;
using Window = SpreadsheetImportWindow;

namespace {

struct Owners {
    QWidget first;
    QWidget second;
    ScriptedDialogs dialogs;

    Owners()
    {
        first.setWindowTitle("North District.json[*]");
        second.setWindowTitle("South District.json");
    }
    ~Owners()
    {
        for (QWidget *owner : {&first, &second}) {
            if (Window *window = Window::windowFor(owner))
                window->close();
        }
        AppTest::deleteClosedWindows();
    }
    Window *present(QWidget &owner, std::function<void()> onApply = {})
    {
        return Window::present(&owner, AppTest::district().organization,
                               [onApply](const Organization &, ImportMode) {
                                   if (onApply)
                                       onApply();
                               },
                               dialogs, [](const QString &) { return std::vector<ImportSheet>{staffSheet()}; });
    }
};

} // namespace

TEST(SpreadsheetImportWindow, OneWindowPerOwnerAndAClosedOneStartsAfresh)
{
    Owners owners;
    Window *north = owners.present(owners.first);
    EXPECT_EQ(north->windowTitle(), "Import & Correct — North District.json");
    north->flow().load("staff.csv");
    settle(north->flow());

    EXPECT_EQ(owners.present(owners.first), north);
    EXPECT_EQ(north->flow().fileName(), "staff.csv"); // the import under way continues
    Window *south = owners.present(owners.second);
    EXPECT_NE(south, north);
    EXPECT_EQ(south->windowTitle(), "Import & Correct — South District.json");

    north->close();
    EXPECT_EQ(Window::windowFor(&owners.first), nullptr);
    Window *fresh = owners.present(owners.first);
    EXPECT_NE(fresh, north);
    EXPECT_TRUE(fresh->flow().fileName().isEmpty());
    EXPECT_EQ(fresh->flow().step(), ImportFlow::Step::file);
}

TEST(SpreadsheetImportWindow, OutlivesItsOwnerWithoutBeingFoundForAnother)
{
    ScriptedDialogs dialogs;
    auto owner = std::make_unique<QWidget>();
    QPointer<Window> window = Window::present(owner.get(), Organization(), [](const Organization &, ImportMode) {}, dialogs);
    owner.reset();
    EXPECT_TRUE(window);
    QWidget other;
    EXPECT_EQ(Window::windowFor(&other), nullptr);
    window->close();
    AppTest::deleteClosedWindows();
}

TEST(SpreadsheetImportWindow, FrameFollowsTheViewButNeverLeavesTheScreen)
{
    struct Case {
        int requested;
        QRect current;
        QRect screen;
        QSize minimum;
        QRect frame;
        std::optional<QPoint> resting = std::nullopt; // where it stood before widening; else where it is
    };
    for (const Case &c : std::vector<Case>{
             {960, {100, 50, 1100, 800}, {0, 0, 1600, 1000}, {960, 640}, {100, 50, 1100, 800}},
             {1800, {10, 0, 1100, 800}, {0, 0, 2560, 1400}, {1800, 640}, {10, 0, 1800, 800}},
             // 500 columns: as wide as the screen, moved back onto it; the grid scrolls.
             {500 * 168 + 160, {250, 100, 1100, 300}, {0, 0, 1600, 1000}, {1600, 640}, {0, 100, 1600, 640}},
             {960, {0, 0, 1100, 900}, {1280, 24, 1280, 600}, {960, 600}, {1280, 24, 1100, 600}},
             // Back from that width, the window returns to where it stood, not to the left edge.
             {960, {0, 100, 1600, 640}, {0, 0, 1600, 1000}, {960, 640}, {250, 100, 1100, 640}, QPoint(250, 100)},
             // Widened part way, it moves only as far left as the screen needs.
             {1400, {400, 100, 1100, 640}, {0, 0, 1600, 1000}, {1400, 640}, {200, 100, 1400, 640}, QPoint(400, 100)},
         }) {
        const Window::Frame frame = Window::frameFor(c.requested, c.current, c.resting.value_or(c.current.topLeft()), c.screen);
        EXPECT_EQ(frame.minimum, c.minimum) << c.requested;
        EXPECT_EQ(frame.geometry, c.frame) << c.requested;
    }
}

// As a user would: choose a CSV, go through the steps, fix the one bad manager, apply.
TEST(SpreadsheetImportWindow, LoadsACSVFixesACellAndApplies)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("staff.csv");
    AppTest::writeBytes(path, "Employee Number,Employee Name,Pay Level,Supervisor ID\n"
                              "E10,Ada,Superintendent,\nE11,Grace,Principal,E10\nE12,Alan,Teacher,E99\n");
    QWidget owner;
    ScriptedDialogs dialogs;
    int applied = 0;
    QPointer<Window> window = Window::present(&owner, Organization(), [&](const Organization &, ImportMode) { ++applied; }, dialogs);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));

    dialogs.filesToOpen.push_back(path);
    QTest::mouseClick(window->fileStep()->chooseButton(), Qt::LeftButton);
    settle(window->flow());
    EXPECT_EQ(window->primaryButton()->text(), "Next: Match Columns");
    EXPECT_EQ(AppTest::unnamedControls(window), QStringList()) << "file step";
    QTest::mouseClick(window->primaryButton(), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->primaryButton()->text(), "Review Import");
    EXPECT_EQ(AppTest::unnamedControls(window), QStringList()) << "column step";
    QTest::mouseClick(window->primaryButton(), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->primaryButton()->text(), "Add People");
    EXPECT_FALSE(window->primaryButton()->isEnabled());
    EXPECT_EQ(AppTest::unnamedControls(window), QStringList()) << "correction step";

    CorrectionGrid *grid = window->correctionGrid();
    QTableView *table = grid->table();
    const QModelIndex cell = grid->model().index(grid->model().modelRow(3), 4);
    table->setCurrentIndex(cell); // opens the editor, as arrow keys do
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "E11");
    settle(window->flow());
    EXPECT_EQ(window->flow().cell(3, 3), "E11"); // written without pressing Return
    EXPECT_TRUE(window->primaryButton()->isEnabled());
    EXPECT_EQ(grid->countsLabel()->text().toStdString(), "3 rows · 0 errors · 3 warnings");

    QTest::mouseClick(window->primaryButton(), Qt::LeftButton);
    EXPECT_EQ(applied, 1);
    AppTest::deleteClosedWindows();
    EXPECT_FALSE(window);
}

TEST(SpreadsheetImportWindow, ClosingWhileReadingDropsTheResult)
{
    QWidget owner;
    ScriptedDialogs dialogs;
    QPointer<Window> window = Window::present(&owner, Organization(), [](const Organization &, ImportMode) {}, dialogs,
                                              [](const QString &) {
                                                  QThread::msleep(100);
                                                  return std::vector<ImportSheet>{staffSheet()};
                                              });
    window->flow().load("slow.xlsx");
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->busyLine()->isHidden());
    EXPECT_TRUE(window->stepButton(ImportFlow::Step::file)->isEnabled());
    window->close();
    AppTest::deleteClosedWindows();
    EXPECT_FALSE(window);
    QThread::msleep(200);
    QCoreApplication::processEvents(); // the finished read finds no one to tell
    EXPECT_EQ(Window::windowFor(&owner), nullptr);
}

TEST(SpreadsheetImportWindow, EscapeCancelsACellEditBeforeItClosesTheWindow)
{
    Owners owners;
    QPointer<Window> window = owners.present(owners.first);
    window->flow().load("staff.xlsx");
    settle(window->flow());
    window->flow().showStep(ImportFlow::Step::corrections);
    settle(window->flow());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window)); // window shortcuts need an active window
    QTableView *table = window->correctionGrid()->table();
    table->setCurrentIndex(window->correctionGrid()->model().index(1, 2));
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_Escape);
    AppTest::deleteClosedWindows();
    ASSERT_TRUE(window);
    QTest::keyClick(window, Qt::Key_Escape);
    AppTest::deleteClosedWindows();
    EXPECT_FALSE(window);
}

TEST(SpreadsheetImportWindow, AColumnDropdownMapsItsFieldAlone)
{
    Owners owners;
    Window *window = owners.present(owners.first);
    window->flow().load("staff.xlsx");
    settle(window->flow());
    window->flow().showStep(ImportFlow::Step::columns);
    settle(window->flow());
    SearchableDropdown *payLevel = window->columnStep()->dropdown(ImportField::title);
    EXPECT_EQ(payLevel->button()->text(), "3: Pay Level");
    ASSERT_EQ(payLevel->options().size(), 5u);
    EXPECT_EQ(payLevel->options()[2].detail, "Ada"); // the sample below the header

    const ImportMapping before = window->flow().mapping();
    QTest::mouseClick(payLevel->button(), Qt::LeftButton);
    QTest::keyClicks(payLevel->popup()->queryField(), "Not mapped");
    QTest::keyClick(payLevel->popup()->queryField(), Qt::Key_Return);
    ImportMapping expected = before;
    expected.erase(ImportField::title);
    EXPECT_EQ(window->flow().mapping(), expected);
}

// The window outlives its owner, is found for no other, and a read finishing after it closes is dropped.
TEST(SpreadsheetImportWindow, OutlivesItsOwnerAndClosingWhileReadingDropsTheResult)
{
    auto owner = std::make_unique<QWidget>();
    ScriptedDialogs dialogs;
    QPointer<Window> window = Window::present(owner.get(), Organization(), [](const Organization &, ImportMode) {}, dialogs,
                                              [](const QString &) {
                                                  QThread::msleep(100);
                                                  return std::vector<ImportSheet>{staffSheet()};
                                              });
    window->flow().load("slow.xlsx");
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->busyLine()->isHidden());
    EXPECT_TRUE(window->stepButton(ImportFlow::Step::file)->isEnabled());
    owner.reset();
    ASSERT_TRUE(window);
    QWidget other;
    EXPECT_EQ(Window::windowFor(&other), nullptr);
    window->close();
    AppTest::deleteClosedWindows();
    EXPECT_FALSE(window);
    QThread::msleep(200);
    QCoreApplication::processEvents(); // the finished read finds no one to tell
}

// The frame is remembered: the next import window opens where the last one was left, at the
// size it was given, also for another chart window.
TEST(SpreadsheetImportWindow, TheNextWindowOpensWhereTheLastOneWasLeft)
{
    QSettings().remove(Window::frameKey);
    Owners owners;
    Window *north = owners.present(owners.first);
    north->show();
    const QRect opened = north->geometry();
    // Lower and shorter, within the screen, which a frame never leaves (the test screen is no
    // wider than the window's least width).
    const QRect screen = north->screen()->availableGeometry();
    north->setGeometry(QRect(QPoint(opened.x(), screen.top() + 23), QSize(opened.width(), screen.height() - 90)));
    QCoreApplication::processEvents();
    const QRect moved = north->geometry();
    ASSERT_NE(moved.y(), opened.y());
    ASSERT_NE(moved.height(), opened.height());
    north->close();

    Window *south = owners.present(owners.second);
    south->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(south->geometry(), moved);
    south->close();
    QSettings().remove(Window::frameKey);
}

// Choose File… from the keys: while the file is read the focus rests on "Reading workbook…",
// not on the next control (a screen reader would announce it and Space press it); once read
// it lands on what comes next: the worksheet of a spreadsheet, the corrections of a draft, or
// Choose File… again when the file could not be read.
TEST(SpreadsheetImportWindow, TheFocusGoesOnToWhatTheChosenFileBrings)
{
    QTemporaryDir dir;
    const QString spreadsheet = dir.filePath("staff.csv");
    AppTest::writeBytes(spreadsheet, "Employee Number,Employee Name,Pay Level,Supervisor ID\nE10,Ada,Superintendent,\n");
    QWidget owner;
    ScriptedDialogs dialogs;
    QPointer<Window> window = Window::present(&owner, Organization(), [](const Organization &, ImportMode) {}, dialogs);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QApplication::setActiveWindow(window);
    QPushButton *choose = window->fileStep()->chooseButton();
    std::vector<QWidget *> focused;
    QObject::connect(qApp, &QApplication::focusChanged, window,
                     [&](QWidget *, QWidget *now) { focused.push_back(now); });
    const auto chooseFrom = [&](const QString &path) {
        choose->setFocus(Qt::TabFocusReason);
        focused.clear();
        dialogs.filesToOpen.push_back(path);
        QTest::keyClick(choose, Qt::Key_Space);
        settle(window->flow());
        QCoreApplication::processEvents();
        std::erase(focused, nullptr);
    };

    const auto reading = [&](QWidget *widget) { return window->busyLine()->isAncestorOf(widget); };
    chooseFrom(spreadsheet);
    SearchableDropdown *worksheet = window->fileStep()->worksheetPicker();
    ASSERT_EQ(focused.size(), 2u) << "from Choose File… to the progress line, then to the worksheet";
    EXPECT_TRUE(reading(focused.front()));
    EXPECT_TRUE(worksheet->isAncestorOf(focused.back()));

    // The grid's rows as a draft: it opens on its corrections.
    dialogs.filesToSave.push_back(dir.filePath("corrections.vantrelimport"));
    window->flow().saveDraft();
    chooseFrom(dir.filePath("corrections.vantrelimport"));
    ASSERT_EQ(window->flow().step(), ImportFlow::Step::corrections);
    ASSERT_EQ(focused.size(), 2u);
    EXPECT_TRUE(reading(focused.front()));
    EXPECT_TRUE(window->correctionGrid()->parentWidget()->isAncestorOf(focused.back()));

    window->flow().showStep(ImportFlow::Step::file);
    QCoreApplication::processEvents();
    chooseFrom(dir.filePath("missing.csv"));
    ASSERT_TRUE(window->flow().errorMessage());
    EXPECT_EQ(QApplication::focusWidget(), choose);
    window->close();
}
