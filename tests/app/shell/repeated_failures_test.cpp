#include "app/entry/existing_position_picker.h"
#include "app/entry/position_editor.h"
#include "app/entry/position_editor_model.h"
#include "app/entry/position_group_editor.h"
#include "app/entry/quick_entry_sheet.h"
#include "app/import/spreadsheet_import_window.h"
#include "app/shell/accessible_fields.h"

#include "accessible_events.h"
#include "app_test_support.h"
#include "import/import_flow_fixture.h"
#include "scripted_dialogs.h"

#include "core/support/organization_error.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QTemporaryDir>

#include <functional>
#include <memory>

using AppTest::person;

namespace {

// A window open on the screen, and what meets the same failure in it once more.
struct FailingWindow {
    std::shared_ptr<void> kept; // what the window needs to live
    QWidget *window = nullptr;
    std::function<void()> fail;
};

template <typename Window>
std::shared_ptr<Window> shown(std::shared_ptr<Window> window)
{
    window->show();
    return window;
}

FailingWindow positionEditor()
{
    auto dialogs = std::make_shared<ScriptedDialogs>();
    Position blank; // no Pay Level: every save is refused the same way
    blank.id = "P-9";
    auto *model = new PositionEditorModel(blank, {person("P1", "Ada Lovelace")}, true, {}, "",
                                          [](const PositionEntryRequest &) { return std::vector<Position>{}; }, {},
                                          *dialogs);
    auto editor = shown(std::make_shared<PositionEditor>(model));
    return {std::make_shared<std::pair<decltype(dialogs), decltype(editor)>>(dialogs, editor), editor.get(),
            [model] { model->save(PositionEditorModel::SaveMode::close); }};
}

FailingWindow groupEditor()
{
    auto editor = shown(std::make_shared<PositionGroupEditor>(
        std::vector<Position>{person("P2", "Lee Park", "P1"), person("P3", "Bo Chen", "P1")},
        std::vector<PositionGroup>{{"group-1", "Pair", {"P2", "P3"}}},
        [](const std::string &, const std::vector<std::string> &) {},
        [](const std::string &) { throw OrganizationError::invalid("Current organization is locked."); }));
    return {editor, editor.get(), [editor = editor.get()] { editor->removeGroup("group-1"); }};
}

FailingWindow quickEntry()
{
    auto dialogs = std::make_shared<ScriptedDialogs>();
    auto sheet = shown(std::make_shared<QuickEntrySheet>(
        "Art", std::vector<Position>{}, std::vector<Position>{}, "",
        [](const std::vector<QuickEntryRow> &) -> QuickEntrySaveResult {
            throw OrganizationError::invalid("Row 1: Enter an employee name and title.");
        },
        *dialogs));
    sheet->grid().setName(0, "Zed");
    return {std::make_shared<std::pair<decltype(dialogs), decltype(sheet)>>(dialogs, sheet), sheet.get(),
            [sheet = sheet.get()] { sheet->saveChanges(); }};
}

FailingWindow existingPicker()
{
    OrganizationSheet chart{.id = "S1", .name = "Art", .positionIDs = {"P1"}};
    auto picker = shown(std::make_shared<ExistingPositionPicker>(
        std::vector<Position>{person("P1", "Ada Lovelace"), person("P2", "Lee Park", "P1")},
        std::vector<OrganizationSheet>{chart}, "S1", [](const std::set<std::string> &) {
            throw OrganizationError::invalid("A selected position no longer exists. Reopen the picker.");
        }));
    picker->model().setSelected("P2", true);
    return {picker, picker.get(), [picker = picker.get()] { picker->model().include(); }};
}

FailingWindow importWindow()
{
    struct Kept {
        QWidget owner;
        ScriptedDialogs dialogs;
        QTemporaryDir folder;
        QPointer<SpreadsheetImportWindow> window;
        ~Kept()
        {
            if (window)
                window->close();
            AppTest::deleteClosedWindows();
        }
    };
    auto kept = std::make_shared<Kept>();
    kept->window = SpreadsheetImportWindow::present(
        &kept->owner, AppTest::district().organization, [](const Organization &, ImportMode) {}, kept->dialogs,
        [](const QString &) { return std::vector<ImportSheet>{ImportTest::staffSheet()}; });
    kept->window->flow().load("staff.csv");
    ImportTest::settle(kept->window->flow());
    return {kept, kept->window, [kept = kept.get()] {
                // A folder that is not there: the draft cannot be written.
                kept->dialogs.filesToSave.push_back(kept->folder.filePath("gone/draft.vantrelimport"));
                kept->window->flow().saveDraft();
                ImportTest::settle(kept->window->flow());
            }};
}

// The line in sight that reads as a notification: where the window shows its failure.
QLabel *failureLine(QWidget *window)
{
    for (QLabel *label : window->findChildren<QLabel *>()) {
        QAccessibleInterface *heard = QAccessible::queryAccessibleInterface(label);
        if (label->isVisible() && !label->text().isEmpty() && heard && heard->role() == QAccessible::Notification)
            return label;
    }
    return nullptr;
}

} // namespace

// A failure is heard each time it is met, also when the line already shows its words: the
// user who presses Save again, and hears nothing, takes it that the save went through. Heard
// is what a screen reader is told: the line coming into sight, once per failure.
TEST(RepeatedFailures, EachIsHeardThoughTheLineShowsTheSameWords)
{
    const struct {
        const char *window;
        std::function<FailingWindow()> open;
    } cases[] = {
        {"position editor", positionEditor},
        {"group editor", groupEditor},
        {"quick entry", quickEntry},
        {"existing-position picker", existingPicker},
        {"import window", importWindow},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.window);
        const FailingWindow open = c.open();
        QCoreApplication::processEvents();
        AppTest::HeardEvents heard;
        open.fail();
        QLabel *line = failureLine(open.window);
        ASSERT_NE(line, nullptr) << "no failure in sight";
        const auto told = [&] { return heard.of(QAccessible::ObjectShow, line).size(); };
        EXPECT_EQ(told(), 1U) << "the first failure";
        const QString said = line->text();
        open.fail();
        EXPECT_EQ(line->text(), said);
        EXPECT_EQ(told(), 2U) << "the same failure again";
        open.fail();
        EXPECT_EQ(told(), 3U) << "and again";
        for (const AppTest::HeardEvent &event : heard.of(QAccessible::ObjectShow, line))
            EXPECT_EQ(event.name, said) << "heard with its words";
    }
}
