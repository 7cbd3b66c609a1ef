#include "app/chart/chart_toolbar.h"
#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/chart/chart_window_body.h"
#include "app/chart/window_sheets.h"
#include "app/entry/existing_position_picker.h"
#include "app/entry/position_editor.h"
#include "app/entry/quick_entry_sheet.h"
#include "app/shell/document_controller.h"
#include "app/shell/organization_document.h"

#include "chart_fixtures.h"

#include <gtest/gtest.h>

#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace AppTest;

namespace {

// P1 manages P2 and P3; "Science" lists P1 and P2.
OrganizationArchive chartedDistrict()
{
    OrganizationArchive archive = district(2);
    archive.sheets = std::vector<OrganizationSheet>{{"S-SCI", "Science", {"P1", "P2"}}};
    return archive;
}

class WindowSheetsTest : public ChartWindowFixture {
protected:
    void SetUp() override
    {
        window = controller.newDocument();
        window->document()->setArchive(chartedDistrict());
        settle();
    }
    ChartView &view() const { return window->view(); }
    const OrganizationArchive &archive() const { return window->document()->archive(); }
    template <typename Sheet>
    Sheet *openSheet() const
    {
        return window->findChild<Sheet *>(QString(), Qt::FindDirectChildrenOnly);
    }
};

TEST_F(WindowSheetsTest, EditingFromTheWindowOpensTheEditorOnTheStoredPositionAndSavesThroughTheView)
{
    view().setSelectedSheetID("S-SCI");
    // A drawn card may carry markers: the editor is given the stored position.
    Position card = archive().organization.positions[1];
    card.employee->name = "As drawn";
    view().editPosition(card);
    QPointer<PositionEditor> editor = openSheet<PositionEditor>();
    ASSERT_TRUE(editor);
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
}

} // namespace
