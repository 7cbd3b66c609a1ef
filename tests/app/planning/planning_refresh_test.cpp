#include "app/planning/change_report_sheet.h"
#include "app/planning/planning_workspace.h"
#include "app/planning/planning_workspace_controller.h"
#include "app/planning/proposal_canvas.h"
#include "app/shell/organization_document.h"

#include "app_test_support.h"
#include "print/print_sheet_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

// What the planning window and its change report show after each proposal edit, and after
// undoing and redoing those edits from the chart window's Edit menu.

namespace {

// Everything the window shows that an edit may change, in one text.
std::string shown(PlanningWorkspace &workspace, ChangeReportSheet &report)
{
    std::string text = "proposals:";
    QComboBox *picker = workspace.proposalPicker();
    for (int i = 0; i < picker->count(); ++i)
        text += " [" + picker->itemText(i).toStdString() + "]";
    text += "\nshown: " + picker->currentText().toStdString();
    text += "\ncount: " + workspace.countLabel()->text().toStdString();
    text += "\nselection: " + workspace.selectionLabel()->text().toStdString();
    text += "\nrestore offered: " + std::string(workspace.button("Restore Deleted Position")->isVisibleTo(&workspace) ? "yes" : "no");
    text += "\ncards:";
    if (const auto &scene = workspace.canvas().surface().scene()) {
        for (const ChartNode &node : scene->layout().nodes) {
            text += " " + node.id;
            if (const Position *card = scene->position(node.id); card && card->proposalChange)
                text += "*";
        }
    }
    // The print sheet's summary, as it would open now.
    PrintTest::FakePrinter printer;
    ScriptedDialogs dialogs;
    PlanningWorkspaceController &c = workspace.controller();
    text += "\nprint: " + PrintSheetModel(c.openPrint(), c, dialogs, printer).positionSummary().toStdString();
    text += "\nreport:\n" + report.text()->toPlainText().toStdString();
    return text;
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(PlanningRefresh, TheWindowAndReportFollowEditsUndoAndRedo)
{
    // P1 over P2 and P3.
    OrganizationDocument document;
    document.setArchive(AppTest::district(2));
    ScriptedDialogs dialogs;
    PlanningWorkspace workspace(document, {}, dialogs);
    workspace.show();
    PlanningWorkspaceController &c = workspace.controller();
    ChangeReportSheet report(c, &workspace);
    c.lockCurrent();
    c.setProposalName("Option A");
    c.createProposal();
    c.setProposalName("Option B");
    c.createProposal();
    std::string now = shown(workspace, report);
    EXPECT_TRUE(contains(now, "proposals: [Locked baseline (read only)] [Option A] [Option B]\nshown: Option B\n")) << now;
    EXPECT_TRUE(contains(now, "count: 3 proposed positions\n")) << now;

    // Option A, as picked: P3 made vacant, then deleted.
    workspace.proposalPicker()->setCurrentText("Option A");
    emit workspace.proposalPicker()->activated(workspace.proposalPicker()->currentIndex());
    ASSERT_EQ(c.proposal()->name, "Option A");
    c.select("P3");
    const std::string unchanged = shown(workspace, report);
    EXPECT_TRUE(contains(unchanged, "selection: Teacher · Person 3 · P3\n")) << unchanged;
    EXPECT_FALSE(contains(unchanged, "*")) << unchanged;

    dialogs.choices = {"Make Vacant in Proposal"};
    c.requestVacancy();
    const std::string vacant = shown(workspace, report);
    EXPECT_TRUE(contains(vacant, "selection: Teacher · Vacant · P3\n")) << vacant;
    EXPECT_TRUE(contains(vacant, " P3*")) << vacant;
    EXPECT_TRUE(contains(vacant, "Person 3")) << vacant;
    EXPECT_EQ(report.text()->toPlainText().toStdString(), c.report());
    EXPECT_NE(vacant.substr(vacant.find("report:")), unchanged.substr(unchanged.find("report:")));

    dialogs.choices = {"Delete in Proposal"};
    c.requestDeletion();
    const std::string deleted = shown(workspace, report);
    EXPECT_TRUE(contains(deleted, "count: 2 proposed positions\n")) << deleted;
    EXPECT_TRUE(contains(deleted, "selection: Proposed deletion selected.")) << deleted;
    EXPECT_TRUE(contains(deleted, "restore offered: yes\n")) << deleted;
    EXPECT_TRUE(contains(deleted, "print: Entire organization · 2 proposed positions · 1 deletion markers\n")) << deleted;
    EXPECT_NE(deleted.substr(deleted.find("report:")), vacant.substr(vacant.find("report:")));

    // Back step by step: each state as it was shown before.
    document.undo();
    EXPECT_EQ(shown(workspace, report), vacant);
    document.undo();
    EXPECT_EQ(shown(workspace, report), unchanged);

    // Without Option B the picker lists Option A alone, still shown.
    document.undo();
    now = shown(workspace, report);
    EXPECT_TRUE(contains(now, "proposals: [Locked baseline (read only)] [Option A]\nshown: Option A\n")) << now;

    // Forward again to the deletion.
    document.redo();
    EXPECT_EQ(shown(workspace, report), unchanged);
    document.redo();
    EXPECT_EQ(shown(workspace, report), vacant);
    document.redo();
    EXPECT_EQ(shown(workspace, report), deleted);
    EXPECT_TRUE(dialogs.alerts.empty());
}

// The locked baseline, chosen after a proposal with changes, shows no change of that
// proposal: the window shows what a chart of the baseline drawn anew shows (a grab of the
// chart itself would draw it anew).
TEST(PlanningRefresh, TheBaselineShowsNoEarlierComparison)
{
    OrganizationDocument document;
    document.setArchive(AppTest::district(3));
    ScriptedDialogs dialogs;
    PlanningWorkspace workspace(document, {}, dialogs);
    workspace.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&workspace));
    PlanningWorkspaceController &c = workspace.controller();
    c.lockCurrent();
    c.setProposalName("Option A");
    c.createProposal();
    c.select("P3");
    dialogs.choices = {"Make Vacant in Proposal"};
    c.requestVacancy();
    c.select("P4");
    dialogs.choices = {"Delete in Proposal"};
    c.requestDeletion();
    ProposalChartSurface &surface = workspace.canvas().surface();
    const auto shownNow = [&] {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !surface.hasPendingRepaint(); }));
        QCoreApplication::processEvents();
        const QPoint at = surface.mapTo(&workspace, QPoint());
        return workspace.screen()
            ->grabWindow(workspace.winId(), at.x(), at.y(), surface.width(), surface.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    const QImage compared = shownNow();

    workspace.proposalPicker()->setCurrentIndex(0);
    emit workspace.proposalPicker()->activated(0);
    ASSERT_EQ(c.proposal(), nullptr);
    ASSERT_EQ(workspace.countLabel()->text(), "Locked baseline");
    ProposalChartSurface fresh(c.routeStore());
    fresh.setSettings(c.settings());
    fresh.setChart(c.shownChart());
    fresh.resize(surface.size());
    const QImage anew = fresh.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(fresh.camera(), surface.camera());
    const QImage baseline = shownNow();
    EXPECT_NE(baseline, compared);
    EXPECT_EQ(baseline, anew);
    EXPECT_TRUE(dialogs.alerts.empty());
}
