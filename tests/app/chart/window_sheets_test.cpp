#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/chart/chart_toolbar.h"
#include "app/chart/chart_window_body.h"
#include "app/entry/position_group_editor.h"
#include "app/print/chart_print_sheet.h"
#include "app/sidebar/chart_design_controls.h"
#include "app/chart/window_sheets.h"
#include "app/entry/existing_position_picker.h"
#include "app/entry/position_editor.h"
#include "app/entry/quick_entry_sheet.h"
#include "app/import/spreadsheet_import_window.h"
#include "app/shell/document_controller.h"
#include "app/shell/organization_document.h"
#include "app/shell/organization_file_commands.h"

#include "app_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace AppTest;

namespace {

void settle()
{
    for (int i = 0; i < 4; ++i)
        QApplication::processEvents();
}

QPushButton *emptyStateButton(ChartWindow &window, const QString &text)
{
    for (QPushButton *button : window.body().emptyState()->findChildren<QPushButton *>())
        if (button->text() == text)
            return button;
    return nullptr;
}

// P1 manages P2 and P3; "Science" lists P1 and P2.
OrganizationArchive chartedDistrict()
{
    OrganizationArchive archive = district(2);
    archive.sheets = std::vector<OrganizationSheet>{{"S-SCI", "Science", {"P1", "P2"}}};
    return archive;
}

class WindowSheetsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = controller.newDocument();
        window->document()->setArchive(chartedDistrict());
        settle();
    }
    void TearDown() override
    {
        EXPECT_TRUE(dialogs.exhausted());
        if (SpreadsheetImportWindow *imports = SpreadsheetImportWindow::windowFor(window))
            delete imports;
        window->document()->setModified(false);
        window->closeWithoutAsking();
        deleteClosedWindows();
    }
    ChartView &view() const { return window->view(); }
    const OrganizationArchive &archive() const { return window->document()->archive(); }
    template <typename Sheet>
    Sheet *openSheet() const
    {
        return window->findChild<Sheet *>(QString(), Qt::FindDirectChildrenOnly);
    }

    ScriptedDialogs dialogs;
    DocumentController controller{dialogs};
    ChartWindow *window = nullptr;
};

TEST_F(WindowSheetsTest, EditingFromTheWindowOpensTheEditorOnTheStoredPositionAndSavesThroughTheView)
{
    ASSERT_TRUE(view().isPositionEditorAvailable());
    view().setSelectedSheetID("S-SCI");
    // A drawn card may carry markers: the editor is given the stored position.
    Position card = archive().organization.positions[1];
    card.employee->name = "As drawn";
    view().editPosition(card);
    QPointer<PositionEditor> editor = openSheet<PositionEditor>();
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->windowModality(), Qt::WindowModal);
    EXPECT_EQ(editor->model().original(), archive().organization.positions[1]);

    editor->model().setEmployeeName("Grace Hopper");
    EXPECT_EQ(editor->model().save(PositionEditorModel::SaveMode::close), PositionEditorModel::SaveOutcome::closed);
    settle();
    deleteClosedWindows();
    EXPECT_TRUE(editor.isNull());
    EXPECT_EQ(archive().organization.positions[1].employee->name, "Grace Hopper");
    EXPECT_EQ(view().selectedID(), "P2");
    EXPECT_EQ(window->document()->undoName(), "Edit Position");
}

// A person saved with "Save & Add Another" is on the chart by the time the next entry
// types her name again: the match offers no second "Add to This Chart".
TEST_F(WindowSheetsTest, SaveAndAddAnotherShowsTheChartsTheSaveChanged)
{
    view().setSelectedSheetID("S-SCI");
    view().addPosition(std::string("P1"), false);
    PositionEditor *editor = openSheet<PositionEditor>();
    ASSERT_TRUE(editor);
    PositionEditorModel &model = editor->model();
    model.setPayLevel("Teacher");
    model.setEmployeeName("Marie Curie");
    ASSERT_EQ(model.save(PositionEditorModel::SaveMode::addAnother), PositionEditorModel::SaveOutcome::continued);
    const std::string saved = archive().organization.positions.back().id;
    ASSERT_EQ(archive().sheet("S-SCI")->positionIDs.back(), saved);

    model.setEmployeeName("Marie Curie");
    const PositionMatchPanel panel = model.peoplePanel();
    ASSERT_EQ(panel.rows.size(), 1u);
    EXPECT_EQ(panel.rows[0].positionID, saved);
    EXPECT_EQ(panel.rows[0].includeTitle, "Already on This Chart");
    EXPECT_FALSE(panel.rows[0].includeEnabled);
    EXPECT_TRUE(panel.rows[0].lines[2].endsWith(" · Charts: Science")) << panel.rows[0].lines[2].toStdString();
    editor->reject();
}

TEST_F(WindowSheetsTest, TheEmptyStateAddsTheFirstPosition)
{
    ChartWindow *empty = controller.newDocument();
    settle();
    QPushButton *add = emptyStateButton(*empty, "Add Position");
    ASSERT_TRUE(add);
    ASSERT_TRUE(add->isEnabled());
    add->click();
    PositionEditor *editor = empty->findChild<PositionEditor *>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_TRUE(editor);
    EXPECT_TRUE(editor->model().isCreating());
    editor->reject();
    empty->closeWithoutAsking();
}

TEST_F(WindowSheetsTest, WhileCurrentIsLockedTheEmptyStatesAddPositionSaysWhy)
{
    ChartWindow *empty = controller.newDocument();
    empty->document()->edit([](OrganizationArchive &a) { a.lockForPlanning(); });
    settle();
    QPushButton *add = emptyStateButton(*empty, "Add Position");
    ASSERT_TRUE(add);
    ASSERT_TRUE(add->isEnabled());
    EXPECT_FALSE(empty->body().loadSampleButton()->isEnabled());
    add->click();
    EXPECT_EQ(empty->findChild<PositionEditor *>(QString(), Qt::FindDirectChildrenOnly), nullptr);
    ASSERT_EQ(dialogs.alerts.size(), 1u);
    EXPECT_EQ(dialogs.alerts[0].title, "Organization Error");
    EXPECT_EQ(dialogs.alerts[0].message,
              "Current organization is locked. Open Planning & Proposals to edit a named proposal instead.");
    empty->document()->setModified(false);
    empty->closeWithoutAsking();
}

TEST_F(WindowSheetsTest, PickerAndQuickEntryWorkOnTheChartShown)
{
    view().setSelectedSheetID("S-SCI");
    ExistingPositionPicker *picker = WindowSheets::openExistingPicker(*window);
    picker->model().setSelected("P3", true);
    EXPECT_TRUE(picker->model().include());
    EXPECT_EQ(archive().sheets->at(0).positionIDs, (std::vector<std::string>{"P1", "P2", "P3"}));

    QuickEntrySheet *sheet = WindowSheets::openQuickEntry(*window);
    EXPECT_EQ(sheet->windowTitle(), "Quick Entry \u2014 Science");
    const size_t row = sheet->grid().rows().size() - 1;
    sheet->grid().setName(row, "Grace Hopper");
    sheet->grid().setPayLevel(row, "Teacher");
    sheet->saveChanges();
    EXPECT_EQ(archive().organization.positions.size(), 4u);
    ASSERT_FALSE(archive().revisions.empty());
    EXPECT_EQ(archive().revisions.back()->note, "Before spreadsheet edits");
    // The grid lists the new person as one of the chart's rows now.
    EXPECT_TRUE(std::any_of(sheet->grid().rows().begin(), sheet->grid().rows().end(),
                            [](const QuickEntryRow &r) { return r.isExisting() && r.name == "Grace Hopper"; }));
    sheet->done(QDialog::Accepted);
}

TEST_F(WindowSheetsTest, TheFileMenuOpensTheSpreadsheetImportUnlessCurrentIsLocked)
{
    QAction *item = window->commands().importSpreadsheet();
    EXPECT_TRUE(item->isEnabled());
    item->trigger();
    SpreadsheetImportWindow *imports = SpreadsheetImportWindow::windowFor(window);
    ASSERT_TRUE(imports);
    EXPECT_TRUE(imports->windowTitle().startsWith("Import & Correct \u2014 "));

    window->document()->edit([](OrganizationArchive &a) { a.lockForPlanning(); });
    EXPECT_FALSE(item->isEnabled());
    EXPECT_FALSE(window->commands().importJSON()->isEnabled());
}

TEST_F(WindowSheetsTest, TheHeaderButtonsOpenTheirSheets)
{
    ChartHeaderControls &header = *window->body().header();
    view().setSelectedSheetID("S-SCI");
    settle();
    const std::vector<std::pair<QPushButton *, std::function<QDialog *()>>> buttons = {
        {header.addExistingButton(), [this] { return openSheet<ExistingPositionPicker>(); }},
        {header.spreadsheetButton(), [this] { return openSheet<QuickEntrySheet>(); }},
        {header.addPersonButton(), [this] { return openSheet<PositionEditor>(); }},
    };
    for (const auto &[button, sheet] : buttons) {
        ASSERT_TRUE(button->isEnabled()) << button->text().toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
        QPointer<QDialog> opened = sheet();
        ASSERT_TRUE(opened) << button->text().toStdString();
        EXPECT_EQ(opened->windowModality(), Qt::WindowModal);
        opened->done(QDialog::Rejected);
        deleteClosedWindows();
        EXPECT_TRUE(opened.isNull());
    }
    QAction *groups = nullptr;
    for (QAction *item : header.sheetsMenu()->actions())
        if (item->text() == "Create / Manage Groups\u2026")
            groups = item;
    ASSERT_TRUE(groups);
    ASSERT_TRUE(groups->isEnabled());
    groups->trigger();
    EXPECT_TRUE(openSheet<PositionGroupEditor>());
}

// The first field of `widget` whose text reads as a number: one that commits when left.
QLineEdit *numberField(QWidget &widget)
{
    for (QLineEdit *field : widget.findChildren<QLineEdit *>()) {
        bool number = false;
        field->text().toDouble(&number);
        if (number && field->isVisible())
            return field;
    }
    ADD_FAILURE() << "no number field";
    return nullptr;
}

// A window that goes while one of its sheets or popups is open, with a field being typed
// in: as the field loses the focus it may commit, and what it commits into must not be half
// gone (Debug builds check the receivers of such calls).
TEST(WindowSheetsTeardown, AWindowGoingUnderAnOpenSheetLeavesNothingHalfDestroyed)
{
    const std::vector<std::pair<const char *, std::function<QLineEdit *(ChartWindow &)>>> sheets = {
        {"quick entry",
         [](ChartWindow &window) {
             WindowSheets::openQuickEntry(window);
             settle();
             return qobject_cast<QLineEdit *>(QApplication::focusWidget());
         }},
        {"print sheet",
         [](ChartWindow &window) {
             window.print();
             return numberField(*window.findChild<ChartPrintSheet *>());
         }},
        {"paper panel",
         [](ChartWindow &window) {
             window.body().togglePaperPanel();
             return numberField(*window.body().paperPanel());
         }},
        {"position editor",
         [](ChartWindow &window) {
             window.view().editPosition(window.view().archive().organization.positions[1]);
             settle();
             return qobject_cast<QLineEdit *>(QApplication::focusWidget());
         }},
    };
    for (const auto &[what, open] : sheets) {
        SCOPED_TRACE(what);
        ScriptedDialogs dialogs;
        auto *document = new OrganizationDocument;
        document->setArchive(chartedDistrict());
        auto *window = new ChartWindow(document, dialogs);
        window->view().setSelectedSheetID("S-SCI");
        window->show();
        QApplication::setActiveWindow(window);
        settle();
        QLineEdit *field = open(*window);
        ASSERT_NE(field, nullptr);
        field->window()->activateWindow();
        QApplication::setActiveWindow(field->window());
        field->setFocus();
        QTest::keyClicks(field, "7");
        settle();
        ASSERT_TRUE(field->hasFocus());
        delete window;
    }
}

} // namespace

TEST_F(WindowSheetsTest, QuickEntryWorksOnTheChartShown)
{
    view().setSelectedSheetID("S-SCI");
    QuickEntrySheet *sheet = WindowSheets::openQuickEntry(*window);
    EXPECT_EQ(sheet->windowTitle(), "Quick Entry \u2014 Science");
    const size_t row = sheet->grid().rows().size() - 1;
    sheet->grid().setName(row, "Grace Hopper");
    sheet->grid().setPayLevel(row, "Teacher");
    sheet->saveChanges();
    // The grid lists the new person as one of the chart's rows now.
    EXPECT_TRUE(std::any_of(sheet->grid().rows().begin(), sheet->grid().rows().end(),
                            [](const QuickEntryRow &r) { return r.isExisting() && r.name == "Grace Hopper"; }));
    sheet->done(QDialog::Accepted);
}

// Discarding quick entry's unsaved rows hands the keyboard back to the window and to the
// button that opened it, as any sheet's closing does: the question that asked first had
// given the keyboard back to the sheet just going.
TEST_F(WindowSheetsTest, TheKeyboardComesBackToTheControlThatOpenedTheSheet)
{
    window->show();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    view().setSelectedSheetID("S-SCI");
    settle();
    QPushButton *spreadsheet = window->body().header()->spreadsheetButton();
    spreadsheet->setFocus();
    QTest::keyClick(spreadsheet, Qt::Key_Space);
    settle();
    QPointer<QuickEntrySheet> sheet = openSheet<QuickEntrySheet>();
    ASSERT_TRUE(sheet);
    QApplication::setActiveWindow(sheet);
    sheet->grid().setName(0, "Zed");
    dialogs.choices.push_back("Discard Unsaved Changes");
    QTest::keyClick(sheet, Qt::Key_Escape);
    settle();
    deleteClosedWindows();
    EXPECT_TRUE(sheet.isNull());
    EXPECT_EQ(QApplication::activeWindow(), window);
    EXPECT_EQ(QApplication::focusWidget(), spreadsheet);
}
