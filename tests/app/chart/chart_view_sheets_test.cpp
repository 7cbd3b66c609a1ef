#include "app/chart/chart_view.h"
#include "app/entry/quick_entry_grid_model.h"
#include "app/shell/organization_document.h"

#include "core/document/position_entry.h"
#include "core/entry/quick_entry.h"

#include "app_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <functional>

using namespace AppTest;

namespace {

const std::string lockMessage =
    "Current organization is locked. Open Planning & Proposals to edit a named proposal instead.";

// P1 manages P2, P3 and P4; "Science" lists P1 and P2, "Arts" lists P3. P4 is on no chart.
OrganizationArchive chartedDistrict()
{
    OrganizationArchive archive = district(3);
    archive.sheets = std::vector<OrganizationSheet>{{"S-SCI", "Science", {"P1", "P2"}}, {"S-ART", "Arts", {"P3"}}};
    return archive;
}

QuickEntryRow newRow(const std::string &name, const std::string &payLevel, const std::string &manager)
{
    QuickEntryRow row("Instruction", manager, "District Office");
    row.name = name;
    row.title = payLevel;
    return row;
}

class ChartViewSheets : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(dialogs.exhausted()); }

    // A document as read from a file: unmodified and with nothing to undo.
    void open(const OrganizationArchive &archive)
    {
        const QString path = dir.filePath("open.json");
        writeBytes(path, QByteArray::fromStdString(archive.encodeDocument()));
        document.load(path);
        opened = document.archive();
    }
    // Lets the fit that resetFocusedView schedules run.
    static void settle() { QCoreApplication::processEvents(); }
    int undoSteps() const { return int(document.history().undoCount()); }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    OrganizationDocument document;
    OrganizationArchive opened;
    ChartView view{document, dialogs};
};

TEST_F(ChartViewSheets, EverySavePathRefusesWhileCurrentIsLocked)
{
    OrganizationArchive archive = chartedDistrict();
    archive.groups = std::vector<PositionGroup>{{"G1", "Pair", {"P2", "P3"}}};
    archive.lockForPlanning();
    open(archive);
    view.setSelectedSheetID("S-SCI");
    const Position stored = opened.organization.positions[1];
    const std::vector<std::pair<const char *, std::function<void()>>> paths = {
        {"editor include", [&] { view.includeFromEditor("P4"); }},
        {"editor save", [&] { view.savePositionEntry({.position = stored, .original = stored}); }},
        {"picker include", [&] { view.includeExistingPositions({"P4"}); }},
        {"group create", [&] { view.createGroup("Pair", {"P2", "P4"}); }},
        {"group remove", [&] { view.removeGroup("G1"); }},
        {"quick entry", [&] { view.commitQuickEntry({newRow("New Person", "Teacher", "P1")}); }},
    };
    for (const auto &[name, run] : paths) {
        try {
            run();
            ADD_FAILURE() << name << " was not refused";
        } catch (const OrganizationError &error) {
            EXPECT_EQ(error.message(), lockMessage) << name;
        }
        EXPECT_EQ(document.archive(), opened) << name;
        EXPECT_FALSE(document.canUndo()) << name;
    }
}

TEST_F(ChartViewSheets, EditorSaveSelectsTheFirstSavedPositionOnlyWhileTheChartShowsIt)
{
    open(chartedDistrict());
    view.setSelectedSheetID("S-SCI");

    // A new vacancy, three times, lands on the chart shown: the first is selected.
    Position vacancy = person("P-NEW", "");
    vacancy.employee.reset();
    vacancy.managerID = "P1";
    const std::vector<Position> created =
        view.savePositionEntry({.position = vacancy, .quantity = 3});
    ASSERT_EQ(created.size(), 3u);
    EXPECT_EQ(view.selectedID(), created.front().id);
    const OrganizationSheet &science = document.archive().sheets->at(0);
    EXPECT_EQ(science.positionIDs.size(), 5u);
    EXPECT_EQ(revisionNotes(document.archive()), std::vector<std::string>{"Before adding positions"});
    EXPECT_EQ(undoSteps(), 1);

    // An edit of a position that the chart shown does not hold clears the selection.
    const Position arts = document.archive().organization.positions[2];
    Position renamed = arts;
    renamed.employee->name = "Renamed Person";
    EXPECT_EQ(view.savePositionEntry({.position = renamed, .original = arts}).size(), 1u);
    EXPECT_EQ(view.selectedID(), std::nullopt);
    EXPECT_EQ(document.archive().organization.positions[2].employee->name, "Renamed Person");
    EXPECT_EQ(undoSteps(), 2);

    // A refused save (the editor's copy is stale) changes nothing and keeps the selection.
    view.setSelectedID("P2");
    const OrganizationArchive saved = document.archive();
    EXPECT_THROW(view.savePositionEntry({.position = renamed, .original = arts}), OrganizationError);
    EXPECT_EQ(view.selectedID(), "P2");
    EXPECT_EQ(document.archive(), saved);
    EXPECT_EQ(undoSteps(), 2);
}

TEST_F(ChartViewSheets, EditorSaveOnTheEntireOrganizationPlacesOnNoChart)
{
    open(chartedDistrict());
    Position added = person("P9", "New Hire", "P1");
    view.savePositionEntry({.position = added});
    EXPECT_EQ(view.selectedID(), "P9");
    EXPECT_EQ(document.archive().sheets, opened.sheets);
}

TEST_F(ChartViewSheets, IncludesListOnTheChartShownAsOneUndoStepEach)
{
    open(chartedDistrict());
    view.setSelectedSheetID("S-ART");
    view.includeFromEditor("P4");
    EXPECT_EQ(view.selectedID(), "P4");
    EXPECT_EQ(document.archive().sheets->at(1).positionIDs, (std::vector<std::string>{"P3", "P4"}));

    view.includeExistingPositions({"P2", "P1"});
    EXPECT_EQ(document.archive().sheets->at(1).positionIDs, (std::vector<std::string>{"P3", "P4", "P1", "P2"}));
    EXPECT_EQ(undoSteps(), 2);
    document.undo();
    EXPECT_EQ(document.archive().sheets->at(1).positionIDs, (std::vector<std::string>{"P3", "P4"}));

    // Without a chart there is nothing to list on: the picker's message reaches it.
    view.setSelectedSheetID({});
    EXPECT_THROW(view.includeExistingPositions({"P2"}), OrganizationError);
    EXPECT_EQ(undoSteps(), 1);
}

TEST_F(ChartViewSheets, GroupRemovalForgetsItsExpansionAndSavesNoVersion)
{
    open(chartedDistrict());
    view.createGroup("Teachers", {"P2", "P3"});
    ASSERT_TRUE(document.archive().groups);
    ASSERT_EQ(document.archive().groups->size(), 1u);
    const std::string groupID = document.archive().groups->front().id;
    view.toggleGroup(groupID);
    ASSERT_TRUE(view.expandedGroups().contains(groupID));

    view.removeGroup(groupID);
    settle();
    EXPECT_TRUE(view.expandedGroups().empty());
    // The list stays, empty; no version was saved by either step.
    ASSERT_TRUE(document.archive().groups);
    EXPECT_TRUE(document.archive().groups->empty());
    EXPECT_TRUE(document.archive().revisions.empty());
    EXPECT_EQ(undoSteps(), 2);

    // The group operation's own refusals come back unchanged.
    try {
        view.createGroup("Alone", {"P2"});
        ADD_FAILURE();
    } catch (const OrganizationError &error) {
        EXPECT_EQ(error.message(), "Name the group and choose at least two people.");
    }
    EXPECT_EQ(undoSteps(), 2);
}

TEST_F(ChartViewSheets, QuickEntryCommitSavesItsVersionAndRowsInOneStep)
{
    open(chartedDistrict());
    view.setSelectedSheetID("S-SCI");
    const QuickEntrySaveResult saved = view.commitQuickEntry({newRow("Grace Hopper", "Teacher", "P1")});

    ASSERT_EQ(saved.positions.size(), 1u);
    const std::string added = saved.positions[0].id;
    EXPECT_EQ(revisionNotes(document.archive()), std::vector<std::string>{"Before spreadsheet edits"});
    EXPECT_TRUE(saved.chartPositionIDs.contains(added));
    EXPECT_TRUE(saved.chartPositionIDs.contains("P1"));
    EXPECT_FALSE(saved.chartPositionIDs.contains("P3"));
    EXPECT_EQ(undoSteps(), 1);
    document.undo();
    EXPECT_EQ(document.archive(), opened);
}

TEST_F(ChartViewSheets, QuickEntryReportsWhatTheChartListsAfterAManagerMovedAPositionAway)
{
    open(chartedDistrict());
    view.setSelectedSheetID("S-SCI");
    // P2's new manager is on "Arts": P2 follows it there, and the grid must drop its row.
    QuickEntryRow moved(opened.organization.positions[1]);
    moved.manager = "P3";
    const QuickEntrySaveResult saved = view.commitQuickEntry({moved});
    ASSERT_EQ(saved.positions.size(), 1u);
    EXPECT_EQ(saved.chartPositionIDs, (std::unordered_set<std::string>{"P1"}));
}

TEST_F(ChartViewSheets, AFailingQuickEntryCommitLeavesNoVersion)
{
    open(chartedDistrict());
    view.setSelectedSheetID("S-SCI");
    // A person without a pay level.
    EXPECT_THROW(view.commitQuickEntry({newRow("Grace Hopper", "", "P1")}), OrganizationError);
    EXPECT_EQ(document.archive(), opened);
    EXPECT_FALSE(document.canUndo());
    EXPECT_FALSE(document.isModified());
    // Nothing saved, nothing remembered: the chart's last position still decides.
    EXPECT_EQ(view.quickEntryInitialManager(), "P1");
}

TEST_F(ChartViewSheets, QuickEntryOpensWithTheChartNameAndTheLastManagerUsedThere)
{
    OrganizationArchive archive = chartedDistrict();
    // P5 reports to P2 and is the last position of "Science" in organization order.
    archive.organization.positions.push_back(person("P5", "Deputy", "P2"));
    archive.sheets->at(0).positionIDs = {"P5", "P1", "P2"};
    open(archive);

    EXPECT_EQ(view.quickEntrySheetName(), "Sheet");
    view.setSelectedSheetID("S-SCI");
    EXPECT_EQ(view.quickEntrySheetName(), "Science");
    EXPECT_EQ(view.quickEntryInitialManager(), "P2");

    view.commitQuickEntry({newRow("Grace Hopper", "Teacher", "P1")});
    EXPECT_EQ(view.quickEntryInitialManager(), "P1");
    // Remembered per chart: another chart still offers its own last position's manager.
    view.setSelectedSheetID("S-ART");
    EXPECT_EQ(view.quickEntryInitialManager(), "P1");
    view.commitQuickEntry({newRow("Top Level", "Teacher", "")});
    EXPECT_EQ(view.quickEntryInitialManager(), "");
    view.setSelectedSheetID("S-SCI");
    EXPECT_EQ(view.quickEntryInitialManager(), "P1");
}

} // namespace

TEST_F(ChartViewSheets, QuickEntryCommitIsOneStepAndReportsWhatTheChartLists)
{
    open(chartedDistrict());
    view.setSelectedSheetID("S-SCI");
    // A person without a pay level: no version, nothing remembered.
    EXPECT_THROW(view.commitQuickEntry({newRow("Grace Hopper", "", "P1")}), OrganizationError);
    EXPECT_EQ(document.archive(), opened);
    EXPECT_FALSE(document.canUndo());

    const QuickEntrySaveResult saved = view.commitQuickEntry({newRow("Grace Hopper", "Teacher", "P1")});
    ASSERT_EQ(saved.positions.size(), 1u);
    EXPECT_EQ(revisionNotes(document.archive()), std::vector<std::string>{"Before spreadsheet edits"});
    EXPECT_EQ(saved.chartPositionIDs, (std::unordered_set<std::string>{"P1", "P2", saved.positions[0].id}));
    EXPECT_EQ(undoSteps(), 1);
    document.undo();
    EXPECT_EQ(document.archive(), opened);

    // P2's new manager is on "Arts": P2 follows it there, and the grid must drop its row.
    QuickEntryRow moved(opened.organization.positions[1]);
    moved.manager = "P3";
    EXPECT_EQ(view.commitQuickEntry({moved}).chartPositionIDs, (std::unordered_set<std::string>{"P1"}));
}
