#include "app/planning/planning_workspace.h"

#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/entry/position_editor.h"

#include "app/planning/change_report_sheet.h"
#include "app/planning/planning_workspace_controller.h"
#include "app/planning/proposal_canvas.h"
#include "app/shell/organization_document.h"

#include "accessible_audit.h"
#include "app_test_support.h"
#include "palette_contrast.h"
#include "print/print_sheet_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {

// Clicks a card as a user would: at its centre on the surface.
void clickCard(ProposalChartSurface &surface, const std::string &id)
{
    for (const ChartNode &node : surface.scene()->layout().nodes) {
        if (node.id != id)
            continue;
        const ChartViewport camera = surface.camera();
        const QPoint at(int((node.frame.minX() + node.frame.width() / 2) * camera.scale + camera.offset.width),
                        int((node.frame.minY() + node.frame.height() / 2) * camera.scale + camera.offset.height));
        QTest::mouseClick(&surface, Qt::LeftButton, {}, at);
        return;
    }
    ADD_FAILURE() << "no card " << id;
}

TEST(PlanningWorkspace, LockCreateDeleteALeafAndRestoreIt)
{
    OrganizationDocument document;
    document.setArchive(AppTest::district(2));
    ScriptedDialogs dialogs;
    PlanningWorkspace workspace(document, {}, dialogs);
    workspace.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&workspace));
    EXPECT_GE(workspace.width(), PlanningWorkspace::minimumWidth);
    EXPECT_FALSE(workspace.toolbar()->isEnabled());
    EXPECT_FALSE(workspace.button("Create Proposal")->isEnabled());

    dialogs.choices = {"Lock Current"};
    QTest::mouseClick(workspace.button("Lock Current\u2026"), Qt::LeftButton);
    EXPECT_TRUE(workspace.button("Unlock Current\u2026")->isVisible());

    QTest::keyClicks(workspace.proposalNameField(), "Option A");
    EXPECT_TRUE(workspace.button("Create Proposal")->isEnabled());
    QTest::keyClick(workspace.proposalNameField(), Qt::Key_Return);
    EXPECT_EQ(workspace.proposalPicker()->currentText(), "Option A");
    EXPECT_TRUE(workspace.proposalNameField()->text().isEmpty());
    EXPECT_TRUE(workspace.toolbar()->isEnabled());
    EXPECT_EQ(workspace.countLabel()->text(), "3 proposed positions");

    ProposalChartSurface &surface = workspace.canvas().surface();
    ASSERT_TRUE(surface.scene());
    clickCard(surface, "P3");
    EXPECT_EQ(workspace.selectionLabel()->text(), "Teacher \u00b7 Person 3 \u00b7 P3");
    QPushButton *remove = workspace.button("Delete Person & Position\u2026");
    ASSERT_TRUE(remove && remove->isEnabled());
    // The red of the destructive button and the legend's words read at 4.5:1 or better in a
    // light and a dark palette; the pickers and the name field are heard by their labels.
    EXPECT_EQ(AppTest::unnamedControls(&workspace), QStringList());
    // The zoom buttons show "−" and "+", and are heard by what they do.
    for (QPushButton *zoom : {workspace.canvas().zoomOutButton(), workspace.canvas().zoomInButton()})
        EXPECT_EQ(QAccessible::queryAccessibleInterface(zoom)->text(QAccessible::Name), zoom->text() == "+" ? "Zoom in" : "Zoom out");
    for (const QPalette &palette : {AppTest::lightPalette(), AppTest::darkPalette()}) {
        workspace.setPalette(palette);
        QCoreApplication::processEvents();
        const QImage face = remove->grab().toImage();
        // Inside the frame: the text on the button's face.
        const QRect text = face.rect().adjusted(6, 5, -6, -5);
        const QColor button = AppTest::commonestColour(face, text);
        EXPECT_GE(AppTest::strongestContrast(face, text, button), 4.5) << button.name().toStdString();
        for (const char *word : {"Added", "Deleted", "Moved / edited"}) {
            QLabel *legend = nullptr;
            for (QLabel *label : workspace.findChildren<QLabel *>())
                legend = label->text() == word ? label : legend;
            ASSERT_TRUE(legend) << word;
            const QImage shot = legend->grab().toImage();
            EXPECT_GE(AppTest::strongestContrast(shot, shot.rect(), palette.color(QPalette::Window)), 4.5)
                << word << " on " << palette.color(QPalette::Window).name().toStdString();
        }
    }
    workspace.setPalette(QPalette());

    dialogs.choices = {"Delete in Proposal"};
    QTest::mouseClick(workspace.button("Delete Person & Position\u2026"), Qt::LeftButton);
    EXPECT_EQ(workspace.countLabel()->text(), "2 proposed positions");
    EXPECT_TRUE(workspace.controller().deletedSelection());
    const Position *marker = surface.scene()->position("P3");
    ASSERT_TRUE(marker);
    EXPECT_EQ(marker->proposalChange, ProposalChangeKind::deleted);
    EXPECT_FALSE(workspace.button("Edit / Change Manager")->isEnabled());
    QPushButton *restore = workspace.button("Restore Deleted Position");
    ASSERT_TRUE(restore->isVisible());

    QTest::mouseClick(restore, Qt::LeftButton);
    EXPECT_EQ(workspace.countLabel()->text(), "3 proposed positions");
    EXPECT_FALSE(restore->isVisible());
    EXPECT_EQ(workspace.controller().selectedID(), "P3");
    EXPECT_FALSE(surface.scene()->position("P3")->proposalChange);
    EXPECT_TRUE(dialogs.alerts.empty());
    // Current never changed; every step can be undone from the chart window.
    EXPECT_EQ(document.archive().organization, AppTest::district(2).organization);
    EXPECT_EQ(document.undoName(), "Restore Deleted Position");
}

TEST(PlanningWorkspace, ReportSheetShowsTheProposalsChanges)
{
    OrganizationDocument document;
    document.setArchive(AppTest::district(2));
    ScriptedDialogs dialogs;
    PlanningWorkspace workspace(document, {}, dialogs);
    PlanningWorkspaceController &c = workspace.controller();
    c.lockCurrent();
    c.setProposalName("Option A");
    c.createProposal();
    c.select("P2");
    dialogs.choices = {"Make Vacant in Proposal"};
    c.requestVacancy();

    ChangeReportSheet sheet(c, &workspace);
    EXPECT_EQ(sheet.text()->toPlainText().toStdString(), c.report());
    EXPECT_TRUE(sheet.text()->toPlainText().contains("Person 2"));
    c.setProposalID(std::nullopt);
    EXPECT_EQ(sheet.text()->toPlainText(), "Select a named proposal to compare it with the locked baseline.");
}

TEST(PlanningWorkspace, ProposalPDFCarriesTheTitleSubtitleAndDeletionBadge)
{
    OrganizationDocument document;
    document.setArchive(AppTest::district(2));
    ScriptedDialogs dialogs;
    PlanningWorkspaceController c(document, {}, dialogs);
    c.lockCurrent();
    c.setProposalName("Option A");
    c.createProposal();
    c.select("P3");
    dialogs.choices = {"Delete in Proposal"};
    c.requestDeletion();

    PrintTest::FakePrinter printer;
    PrintSheetModel model(c.openPrint(), c, dialogs, printer);
    const QString text = PrintTest::readPDF(model.makePDF()).texts.join(' ');
    EXPECT_TRUE(text.contains("Proposal: Option A")) << text.toStdString();
    EXPECT_TRUE(text.contains("Green: added \u00b7 Red: deleted \u00b7 Yellow: moved / edited")) << text.toStdString();
    EXPECT_TRUE(text.contains("DELETED")) << text.toStdString();
}

// "Save & Add Another" in a proposal: the next entry's matches know the chart the save put
// the person on.
TEST(PlanningWorkspace, TheEditorFollowsTheProposalsChartsAfterSaveAndAddAnother)
{
    ScriptedDialogs dialogs;
    OrganizationDocument document;
    OrganizationArchive archive = AppTest::district(2);
    archive.sheets = std::vector{OrganizationSheet::make("Science", {"P1", "P2"})};
    const std::string scienceID = archive.sheets->front().id;
    document.setArchive(archive);
    PlanningWorkspace workspace(document, scienceID, dialogs);
    workspace.controller().lockCurrent();
    workspace.controller().setProposalName("Option A");
    workspace.controller().createProposal();
    workspace.controller().select("P1");
    QTest::mouseClick(workspace.button("Add Position"), Qt::LeftButton);
    auto *editor = workspace.findChild<PositionEditor *>();
    ASSERT_TRUE(editor);
    PositionEditorModel &model = editor->model();
    model.setVacant(false);
    model.setPayLevel("Teacher");
    model.setEmployeeName("Marie Curie");
    ASSERT_EQ(model.save(PositionEditorModel::SaveMode::addAnother), PositionEditorModel::SaveOutcome::continued);

    model.setVacant(false);
    model.setEmployeeName("Marie Curie");
    const PositionMatchPanel panel = model.peoplePanel();
    ASSERT_EQ(panel.rows.size(), 1u);
    EXPECT_EQ(panel.rows[0].includeTitle, "Already on This Chart");
    EXPECT_TRUE(panel.rows[0].lines[2].endsWith(" · Charts: Science")) << panel.rows[0].lines[2].toStdString();
    editor->reject();
}

// The proposal's positions reach the open editor during its save; a closing save closes it
// without building its lists again, and an edit saved and added on shows them at once.
TEST(PlanningWorkspace, TheEditorBuildsItsListsOnlyWhenItStaysOpen)
{
    ScriptedDialogs dialogs;
    OrganizationDocument document;
    document.setArchive(AppTest::district(3));
    PlanningWorkspace workspace(document, {}, dialogs);
    workspace.controller().lockCurrent();
    workspace.controller().setProposalName("Option A");
    workspace.controller().createProposal();
    const auto openOn = [&](const std::string &id) {
        workspace.controller().select(id);
        QTest::mouseClick(workspace.button("Edit / Change Manager"), Qt::LeftButton);
        PositionEditor *editor = nullptr;
        for (PositionEditor *found : workspace.findChildren<PositionEditor *>()) {
            if (found->isVisible())
                editor = found;
        }
        return editor;
    };

    PositionEditor *editor = openOn("P2");
    ASSERT_TRUE(editor);
    PositionEditorModel &closing = editor->model();
    const int built = closing.listBuildCount();
    closing.setEmployeeName("Marie Curie");
    ASSERT_EQ(closing.save(PositionEditorModel::SaveMode::close), PositionEditorModel::SaveOutcome::closed);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(closing.listBuildCount(), built);
    EXPECT_EQ(closing.entryPositions().size(), 4u);
    EXPECT_EQ(workspace.controller().selected()->employee->name, "Marie Curie");

    editor = openOn("P3");
    ASSERT_TRUE(editor);
    PositionEditorModel &staying = editor->model();
    staying.setEmployeeName("Grace Hopper");
    ASSERT_EQ(staying.save(PositionEditorModel::SaveMode::addAnother), PositionEditorModel::SaveOutcome::continued);
    EXPECT_TRUE(editor->isVisible());
    bool offered = false;
    for (const DropdownOption &option : staying.managerOptions())
        offered = offered || option.title.endsWith("Grace Hopper");
    EXPECT_TRUE(offered);
    EXPECT_EQ(staying.entryPositions().size(), 4u);
    editor->reject();
}

TEST(PlanningWorkspace, OpensOverTheChartWindowOnTheChartItShows)
{
    ScriptedDialogs dialogs;
    auto *document = new OrganizationDocument;
    OrganizationArchive archive = AppTest::district(2);
    archive.sheets = std::vector{OrganizationSheet::make("Finance", {"P1", "P2"})};
    const std::string financeID = archive.sheets->front().id;
    document->setArchive(archive);
    auto *window = new ChartWindow(document, dialogs);
    window->view().setSelectedSheetID(financeID);

    // The toolbar's Planning button opens it.
    window->view().requestPlanning();
    auto *workspace = window->findChild<PlanningWorkspace *>();
    ASSERT_TRUE(workspace);
    EXPECT_EQ(workspace->windowModality(), Qt::WindowModal);
    EXPECT_EQ(workspace->parentWidget(), window);
    EXPECT_EQ(workspace->controller().sheetID(), financeID);
    workspace->controller().lockCurrent();
    EXPECT_EQ(workspace->chartPicker()->currentText(), "Finance");
    EXPECT_EQ(workspace->controller().scopeName(), "Finance");
    workspace->close();
    window->closeWithoutAsking();
    AppTest::deleteClosedWindows();
}

} // namespace
