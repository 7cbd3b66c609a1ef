#include "app/planning/planning_workspace_controller.h"

#include "app/entry/position_editor_model.h"
#include "app/shell/organization_document.h"
#include "core/document/position_entry.h"
#include "core/support/organization_error.h"

#include "app_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

using State = PlanningWorkspaceController::PlanningState;

// P1 over P2 and P3; P3 over P4. A chart "Finance" lists P1 and P3 with its own settings.
OrganizationArchive sampleArchive()
{
    OrganizationArchive archive = AppTest::district(2);
    archive.organization.positions.push_back(AppTest::person("P4", "Grace Hopper", "P3"));
    archive.organization.positions[2].department = "Finance";
    archive.organization.positions[2].location = "Annex";
    OrganizationSheet finance = OrganizationSheet::make("Finance", {"P1", "P3"});
    ChartPrintSettings own;
    own.scalePercent = 55;
    finance.printSettings = own;
    archive.sheets = std::vector<OrganizationSheet>{finance};
    return archive;
}

struct Workspace {
    explicit Workspace(OrganizationArchive archive = sampleArchive(), std::string sheetID = {})
    {
        document.setArchive(std::move(archive));
        controller = std::make_unique<PlanningWorkspaceController>(document, std::move(sheetID), dialogs);
    }
    // Locked, with a proposal "Option A" selected.
    static std::unique_ptr<Workspace> withProposal()
    {
        auto made = std::make_unique<Workspace>();
        made->controller->lockCurrent();
        made->controller->setProposalName("Option A");
        made->controller->createProposal();
        return made;
    }
    const OrganizationPlanning &planning() const { return *document.archive().planning; }
    const Organization &proposed() const { return planning().proposals.front().state.organization; }
    bool proposalHas(const std::string &id) const
    {
        const auto &positions = proposed().positions;
        return std::any_of(positions.begin(), positions.end(), [&](const Position &p) { return p.id == id; });
    }
    QStringList alertMessages() const
    {
        QStringList messages;
        for (const ScriptedDialogs::Alert &alert : dialogs.alerts) {
            EXPECT_EQ(alert.title, "Planning Error");
            messages.append(alert.message);
        }
        return messages;
    }

    OrganizationDocument document;
    ScriptedDialogs dialogs;
    std::unique_ptr<PlanningWorkspaceController> controller;
};

TEST(PlanningWorkspaceController, FollowsThePlanningStatesThroughLockUnlockAndRelock)
{
    Workspace w;
    PlanningWorkspaceController &c = *w.controller;
    EXPECT_EQ(c.planningState(), State::none);
    EXPECT_EQ(c.active(), w.document.archive());
    EXPECT_FALSE(c.toolbarEnabled());
    c.setProposalName("Option A");
    EXPECT_FALSE(c.canCreateProposal());
    EXPECT_EQ(c.report(), "Select a named proposal to compare it with the locked baseline.");
    EXPECT_EQ(c.countText(), "Locked baseline");

    w.dialogs.choices = {"Cancel", "Lock Current"};
    c.requestLock();
    EXPECT_EQ(c.planningState(), State::none);
    c.requestLock();
    EXPECT_EQ(c.planningState(), State::locked);
    EXPECT_EQ(w.document.undoName(), "Lock Current");
    EXPECT_TRUE(w.document.isModified());
    EXPECT_TRUE(c.canCreateProposal());

    w.dialogs.choices = {"Unlock Current"};
    c.requestUnlock();
    EXPECT_EQ(c.planningState(), State::unlocked);
    c.lockCurrent(); // Relock while Current still matches the baseline.
    EXPECT_EQ(c.planningState(), State::locked);

    c.unlockCurrent();
    w.document.edit([](OrganizationArchive &archive) { archive.organization.positions[1].location = "Elsewhere"; });
    c.lockCurrent();
    EXPECT_EQ(c.planningState(), State::unlocked);
    ASSERT_EQ(w.alertMessages().size(), 1);
    EXPECT_TRUE(w.alertMessages()[0].startsWith("Current has changed since this planning baseline."));
}

TEST(PlanningWorkspaceController, CreatingSelectsTheProposalAndRefusalsKeepTheField)
{
    Workspace w;
    PlanningWorkspaceController &c = *w.controller;
    c.setProposalName("Option A");
    c.createProposal(); // Return in the field before any lock.
    c.lockCurrent();
    c.setProposalName("   ");
    EXPECT_FALSE(c.canCreateProposal());
    c.createProposal();
    EXPECT_EQ(w.alertMessages(), (QStringList{"Lock the current organization before creating a proposal.",
                                              "Enter a unique, nonempty proposal name."}));
    EXPECT_EQ(c.proposalName(), "   ");
    EXPECT_FALSE(c.proposalID());

    c.setProposalName("Option A");
    c.createProposal();
    ASSERT_TRUE(c.proposalID());
    EXPECT_EQ(*c.proposalID(), w.planning().proposals.front().id);
    EXPECT_TRUE(c.proposalName().isEmpty());
    EXPECT_TRUE(c.toolbarEnabled());
    EXPECT_EQ(c.countText(), "4 proposed positions");
    EXPECT_EQ(w.document.undoName(), "Create Proposal");

    c.setProposalName("option a");
    c.createProposal();
    EXPECT_EQ(w.alertMessages().last(), "Enter a unique, nonempty proposal name.");
    EXPECT_EQ(w.planning().proposals.size(), 1u);
}

TEST(PlanningWorkspaceController, SettingsFollowTheChartNotTheProposalAndSwitchesClearTheSelection)
{
    auto w = Workspace::withProposal();
    PlanningWorkspaceController &c = *w->controller;
    EXPECT_EQ(c.settings(), ChartPrintSettings::departmentDesign());

    c.select("P3");
    c.setSheetID(w->planning().baseline.sheets->front().id);
    EXPECT_EQ(c.settings().scalePercent, 55);
    EXPECT_FALSE(c.selectedID());
    EXPECT_EQ(c.scopeName(), "Finance");
    EXPECT_EQ(c.shownOrganization()->positions.size(), 2u);

    ChartPrintSettings committed = c.settings();
    committed.hideNames = true;
    c.commitSettings(committed);
    c.select("P3");
    c.setProposalID(std::nullopt);
    EXPECT_FALSE(c.selectedID());
    EXPECT_TRUE(c.settings().hideNames);
    EXPECT_FALSE(c.toolbarEnabled());

    c.setSheetID("");
    EXPECT_EQ(c.settings(), ChartPrintSettings::departmentDesign());
    EXPECT_EQ(c.scopeName(), "Entire organization");
    // The window's settings never reach the document.
    EXPECT_FALSE(w->document.archive().printSettings);

    // A window opens on the settings the shown archive stores.
    OrganizationArchive stored = sampleArchive();
    stored.printSettings = ChartPrintSettings();
    stored.printSettings->scalePercent = 80;
    Workspace opened(stored);
    EXPECT_EQ(opened.controller->settings().scalePercent, 80);
}

TEST(PlanningWorkspaceController, ActionsChangeOnlyTheSelectedProposal)
{
    auto w = Workspace::withProposal();
    PlanningWorkspaceController &c = *w->controller;
    const Organization current = w->document.archive().organization;
    const PlanningSnapshot baseline = w->planning().baseline;

    c.select("P2");
    EXPECT_TRUE(c.canMakeVacant());
    w->dialogs.choices = {"Make Vacant in Proposal"};
    c.requestVacancy();
    EXPECT_EQ(w->dialogs.questions.back().message,
              "Remove Person 2 from Teacher in this proposal? The position, reporting relationships, FTE, and "
              "charts are kept. Current and the locked baseline are unchanged.");
    EXPECT_FALSE(c.canMakeVacant());
    EXPECT_EQ(c.selectedID(), "P2");

    Position edited = *c.editSelected();
    EXPECT_FALSE(c.isAdding());
    PositionEntryRequest request{edited, edited};
    request.position.location = "Annex";
    c.saveProposalEntry(request);
    EXPECT_EQ(c.selected()->location, "Annex");
    EXPECT_EQ(c.comparison().organization.positions[1].proposalChange, ProposalChangeKind::modified);

    EXPECT_EQ(w->document.archive().organization, current);
    EXPECT_EQ(w->planning().baseline, baseline);
    EXPECT_TRUE(w->alertMessages().isEmpty());
    // Each edit is its own undo step.
    w->document.undo();
    EXPECT_TRUE(w->proposed().positions[1].location.empty());
    EXPECT_TRUE(w->proposed().positions[1].isVacant());
}

TEST(PlanningWorkspaceController, DeletedBaselinePositionStaysSelectedAsAMarkerUntilRestored)
{
    auto w = Workspace::withProposal();
    PlanningWorkspaceController &c = *w->controller;
    c.select("P2");
    w->dialogs.choices = {"Cancel", "Delete in Proposal"};
    c.requestDeletion();
    EXPECT_TRUE(w->proposalHas("P2"));
    c.requestDeletion();
    EXPECT_TRUE(w->dialogs.questions.back().message.endsWith(
        "\n\nOnly this proposal changes; Current and the locked baseline are kept. A baseline position remains "
        "visible in red; deleting a newly added position cancels that addition."));
    EXPECT_FALSE(w->proposalHas("P2"));
    EXPECT_EQ(c.selectedID(), "P2");
    EXPECT_TRUE(c.deletedSelection());
    EXPECT_FALSE(c.canEditSelected());
    EXPECT_EQ(c.selectionText(),
              "Proposed deletion selected. Former reporting relationships remain visible for comparison.");
    EXPECT_EQ(c.countText(), "3 proposed positions");
    const auto &shown = c.shownOrganization()->positions;
    const auto marker = std::find_if(shown.begin(), shown.end(), [](const Position &p) { return p.id == "P2"; });
    ASSERT_NE(marker, shown.end());
    EXPECT_EQ(marker->proposalChange, ProposalChangeKind::deleted);

    c.restoreSelected();
    EXPECT_TRUE(w->proposalHas("P2"));
    EXPECT_FALSE(c.deletedSelection());
    EXPECT_EQ(c.selectionText(), "Teacher \u00b7 Person 2 \u00b7 P2");
    EXPECT_TRUE(w->alertMessages().isEmpty());
}

TEST(PlanningWorkspaceController, DeletingAnAddedPositionCancelsItAndRestoreRefuses)
{
    auto w = Workspace::withProposal();
    PlanningWorkspaceController &c = *w->controller;
    c.select("P2");
    const Position seed = c.addPosition();
    EXPECT_TRUE(c.isAdding());
    PositionEntryRequest request{seed, std::nullopt};
    request.position.title = "Aide";
    request.quantity = 2;
    const std::vector<Position> saved = c.saveProposalEntry(request);
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(c.selectedID(), saved.front().id);

    w->dialogs.choices = {"Delete in Proposal"};
    c.requestDeletion();
    EXPECT_FALSE(w->proposalHas(saved.front().id));
    EXPECT_TRUE(c.deletedSelection());
    c.restoreSelected();
    ASSERT_EQ(w->alertMessages().size(), 1);
    EXPECT_EQ(w->alertMessages()[0].toStdString(), "This position is not in the locked baseline.");

    // A position with reports is refused before any question.
    c.select("P1");
    const size_t asked = w->dialogs.questions.size();
    c.requestDeletion();
    EXPECT_EQ(w->dialogs.questions.size(), asked);
    EXPECT_TRUE(w->alertMessages().last().startsWith("Cannot delete"));
}

TEST(PlanningWorkspaceController, NewPositionSeedsFollowTheSelection)
{
    auto w = Workspace::withProposal();
    PlanningWorkspaceController &c = *w->controller;
    const Position root = c.addPosition();
    EXPECT_TRUE(QString::fromStdString(root.id).contains(QRegularExpression("^P-[0-9A-F]{8}$")));
    EXPECT_FALSE(root.managerID);
    EXPECT_EQ(root.location, "District Office");
    EXPECT_EQ(root.fte, 1);
    EXPECT_TRUE(root.isVacant());

    c.select("P3");
    const Position child = c.addPosition();
    EXPECT_EQ(child.managerID, "P3");
    EXPECT_EQ(child.department, "Finance");
    EXPECT_EQ(child.location, "Annex");
    EXPECT_NE(child.id, root.id);

    // The editor sees the proposal's positions and saves into it.
    const std::unique_ptr<PositionEditorModel> editor = c.editorModel(child, true);
    EXPECT_EQ(editor->entryPositions().size(), 4u);
}

TEST(PlanningWorkspaceController, WithoutAProposalTheEditorAndActionsRefuse)
{
    Workspace w;
    PlanningWorkspaceController &c = *w.controller;
    c.lockCurrent();
    const Position seed = c.addPosition();
    try {
        c.saveProposalEntry({seed, std::nullopt});
        FAIL() << "saved without a proposal";
    } catch (const OrganizationError &error) {
        EXPECT_EQ(error.message(), "Select a proposal first.");
    }
    EXPECT_THROW(c.includeProposalPositionFromEntry("P2"), OrganizationError);

    // An id that names no proposal any more: the baseline is shown, the toolbar stays, the
    // operations refuse.
    c.setProposalName("Option A");
    c.createProposal();
    w.document.undo();
    EXPECT_TRUE(c.toolbarEnabled());
    EXPECT_EQ(c.countText(), "Locked baseline");
    EXPECT_EQ(c.report(), "Report unavailable.");
    c.select("P2");
    w.dialogs.choices = {"Make Vacant in Proposal"};
    c.requestVacancy();
    EXPECT_EQ(w.alertMessages(), QStringList{"Select an existing proposal."});
}

TEST(PlanningWorkspaceController, PrintArchiveHeadsEveryChartWithTheProposal)
{
    auto w = Workspace::withProposal();
    PlanningWorkspaceController &c = *w->controller;
    const PrintSheetModel::Input input = c.openPrint();
    EXPECT_EQ(input.title, "Proposal: Option A");
    EXPECT_EQ(c.pageTitle(), "Proposal: Option A");
    EXPECT_EQ(input.scope, "Entire organization");
    EXPECT_EQ(input.settings, c.settings());
    EXPECT_EQ(c.archive()->sheets->front().pageTitle, "Option A \u2014 Finance");
    EXPECT_EQ(c.archive()->sheets->front().pageSubtitle,
              "Green: added \u00b7 Red: deleted \u00b7 Yellow: moved / edited");

    c.setPageSubtitle("Draft for the board");
    c.setPageTitle("Anything");
    c.setProposalID(std::nullopt);
    EXPECT_EQ(c.openPrint().title, "Baseline");
    EXPECT_EQ(c.pageSubtitle(), "Draft for the board");
    EXPECT_EQ(c.archive()->sheets->front().pageTitle, "Baseline \u2014 Finance");
    EXPECT_EQ(c.archive()->sheets->front().pageSubtitle, "Draft for the board");
    EXPECT_FALSE(w->document.archive().sheets->front().pageSubtitle);

    // Without charts the archive keeps its own page title.
    Workspace plain(AppTest::district(1));
    plain.controller->lockCurrent();
    EXPECT_FALSE(plain.controller->archive()->pageTitle);
    EXPECT_FALSE(plain.controller->archive()->sheets);
}

TEST(PlanningWorkspaceController, SavesExactlyTheReportBytesAndReportsFailedWrites)
{
    auto w = Workspace::withProposal();
    PlanningWorkspaceController &c = *w->controller;
    c.select("P2");
    w->dialogs.choices = {"Make Vacant in Proposal"};
    c.requestVacancy();
    EXPECT_EQ(c.reportFileName(), "Option A \u2014 Change Report.txt");

    QTemporaryDir folder;
    const QString path = folder.filePath("report.txt");
    AppTest::writeBytes(path, "older and longer content than anything");
    w->dialogs.filesToSave = {std::nullopt, path};
    c.exportReport(); // cancelled: nothing happens
    EXPECT_EQ(AppTest::readBytes(path), "older and longer content than anything");
    c.exportReport();
    EXPECT_EQ(AppTest::readBytes(path), QByteArray::fromStdString(c.report()));
    EXPECT_TRUE(AppTest::readBytes(path).contains("Person 2"));
    EXPECT_EQ(w->dialogs.proposedSavePaths.last(), "Option A \u2014 Change Report.txt");

    w->dialogs.filesToSave = {folder.filePath("missing/report.txt")};
    c.exportReport();
    ASSERT_EQ(w->alertMessages().size(), 1);
    EXPECT_FALSE(w->alertMessages()[0].isEmpty());
    EXPECT_FALSE(QDir(folder.path()).exists("missing"));
}

TEST(PlanningWorkspaceController, ReportFileNameCannotLeaveTheFolder)
{
    const std::vector<std::pair<std::string, QString>> cases{
        {"../Plans/2027", "__-Plans-2027 \u2014 Change Report.txt"},
        {".hidden", "_hidden \u2014 Change Report.txt"},
        {"A\\B", "A-B \u2014 Change Report.txt"},
    };
    for (const auto &[name, expected] : cases) {
        Workspace w;
        w.controller->lockCurrent();
        w.controller->setProposalName(QString::fromStdString(name));
        w.controller->createProposal();
        EXPECT_EQ(w.controller->reportFileName(), expected) << name;
    }
    Workspace none;
    EXPECT_EQ(none.controller->reportFileName(), "Proposal \u2014 Change Report.txt");
}

} // namespace
