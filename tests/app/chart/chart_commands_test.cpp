#include "app/chart/chart_toolbar.h"
#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/chart/chart_window_body.h"
#include "app/chart/sheet_commands.h"
#include "app/shell/document_controller.h"
#include "app/shell/organization_document.h"

#include "app_test_support.h"
#include "chart_fixtures.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace AppTest;

namespace {

const QString lockMessage =
    "Current organization is locked. Open Planning & Proposals to edit a named proposal instead.";

// Every dialog wired, a chart shown, a selection and search text: everything enabled.
ChartCommandInput allWired()
{
    ChartCommandInput in;
    in.canEdit = true;
    in.chartShown = true;
    in.hasSheets = true;
    in.hasSelection = true;
    in.searchBlank = false;
    in.canPrint = in.positionEditor = in.addExisting = in.quickEntry = in.groupEditor = in.spreadsheetImport =
        in.planning = true;
    return in;
}

TEST(ChartCommandStates, FollowTheLockTheChartTheSelectionAndTheSearch)
{
    ChartCommandStates all;
    all.rename = all.addExisting = all.spreadsheet = all.addPerson = all.newSheet = all.exportCurrentSheet =
        all.exportAllPDFs = all.groupEditor = all.find = all.planning = all.importSpreadsheet = all.importJSON =
            all.print = all.centerOnSelection = true;
    EXPECT_EQ(ChartCommands::states(allWired()), all);

    ChartCommandInput entire = allWired();
    entire.chartShown = false;
    ChartCommandStates expected = all;
    expected.rename = expected.addExisting = expected.exportCurrentSheet = false;
    EXPECT_EQ(ChartCommands::states(entire), expected) << "entire organization";
    // Spreadsheet asks for a new chart there, which needs no quick entry.
    entire.quickEntry = false;
    EXPECT_TRUE(ChartCommands::states(entire).spreadsheet);

    ChartCommandInput locked = allWired();
    locked.canEdit = false;
    expected = all;
    expected.rename = expected.addExisting = expected.spreadsheet = expected.addPerson = expected.newSheet =
        expected.groupEditor = expected.importSpreadsheet = expected.importJSON = false;
    EXPECT_EQ(ChartCommands::states(locked), expected) << "locked: exports, search, print and planning stay";

    ChartCommandInput other = allWired();
    other.hasSheets = false;
    other.hasSelection = false;
    other.searchBlank = true;
    expected = all;
    expected.exportAllPDFs = expected.centerOnSelection = expected.find = false;
    EXPECT_EQ(ChartCommands::states(other), expected) << "no sheets, no selection, blank search";

    // A dialog not wired yet leaves its commands disabled, never a stub.
    ChartCommandInput unwired = allWired();
    unwired.canPrint = unwired.positionEditor = unwired.addExisting = unwired.quickEntry = unwired.groupEditor =
        unwired.spreadsheetImport = unwired.planning = false;
    expected = all;
    expected.print = expected.exportAllPDFs = expected.addPerson = expected.addExisting = expected.spreadsheet =
        expected.groupEditor = expected.importSpreadsheet = expected.planning = false;
    EXPECT_EQ(ChartCommands::states(unwired), expected);
}

TEST(ChartCommandTexts, ZoomPlanningAndSafeFileNames)
{
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(ChartCommands::zoomText(1.0), "100%");
    EXPECT_EQ(ChartCommands::zoomText(1.0 / 1.2), "83%");
    OrganizationArchive archive = district();
    EXPECT_EQ(ChartCommands::planningTitle(archive), "Planning & Proposals");
    archive.lockForPlanning();
    EXPECT_EQ(ChartCommands::planningTitle(archive), "Planning · Current Locked");
    archive.unlockPlanningCurrent();
    EXPECT_EQ(ChartCommands::planningTitle(archive), "Planning & Proposals");

    EXPECT_EQ(SheetCommands::safeFileName("North/South\\East"), "North-South-East");
    EXPECT_EQ(SheetCommands::safeFileName("..hidden.v2"), "__hidden.v2");
    EXPECT_EQ(SheetCommands::safeFileName("Plain"), "Plain");
}

class SheetCommandsTest : public ChartViewFixture {
protected:
    void SetUp() override
    {
        OrganizationArchive archive = district(4);
        auto &positions = archive.organization.positions;
        positions[1].department = "Finance";
        positions[2].department = "finance ";
        positions[3].department = "FINANCE";
        positions[4].department = "Finance";
        // P4 is on a chart already.
        archive.sheets = std::vector<OrganizationSheet>{{"S1", "Budget", {"P4"}}};
        document.setArchive(archive);
    }
};

TEST_F(SheetCommandsTest, NewSheetTakesTheDepartmentsUnlistedPositionsInOrder)
{
    const size_t steps = document.history().undoCount();
    view.createSheet("  finance\n");
    const OrganizationSheet &created = document.archive().sheets->back();
    EXPECT_EQ(created.name, "finance");
    // "finance " keeps its blank and so differs; P4 is on a chart already.
    EXPECT_EQ(created.positionIDs, (std::vector<std::string>{"P2", "P5"}));
    EXPECT_EQ(created.id.size(), 36u);
    EXPECT_FALSE(created.printSettings || created.pageTitle || created.focusedDepartmentView);
    EXPECT_EQ(view.selectedSheetID(), created.id);
    EXPECT_TRUE(document.archive().revisions.empty());
    EXPECT_EQ(document.history().undoCount(), steps + 1);
    // Undoing the new chart takes the window back to the entire organization.
    document.undo();
    EXPECT_EQ(view.selectedSheetID(), "");
    document.redo();
    // A document without charts gets its first.
    document.edit([](OrganizationArchive &a) { a.sheets.reset(); });
    view.createSheet("Instruction");
    EXPECT_EQ(document.archive().sheets->size(), 1u);
    EXPECT_EQ(document.archive().sheets->at(0).positionIDs, std::vector<std::string>{"P1"});
}

TEST_F(SheetCommandsTest, NewSheetAndRenameRefusalsChangeNothing)
{
    const struct {
        const char *name;
        const char *message;
    } refusals[] = {{"   ", "Enter a sheet name."}, {"BUDGET", "A sheet with that name already exists."}};
    for (const auto &refusal : refusals) {
        dialogs.texts.push_back(QString(refusal.name));
        view.requestNewSheet();
        ASSERT_FALSE(dialogs.alerts.empty());
        EXPECT_EQ(dialogs.alerts.back().title, "Organization Error");
        EXPECT_EQ(dialogs.alerts.back().message, refusal.message);
    }
    view.setSelectedSheetID("S1");
    view.createSheet("Other");
    view.setSelectedSheetID("S1");
    dialogs.texts.push_back(QString("other"));
    view.requestRenameChart();
    EXPECT_EQ(dialogs.alerts.back().message, "Another chart already has that name.");
    dialogs.texts.push_back(QString(" Budget 2027 "));
    view.requestRenameChart();
    EXPECT_EQ(document.archive().sheet("S1")->name, "Budget 2027");
    EXPECT_EQ(dialogs.questions.back().title, "Rename Chart");
    // Cancelled: nothing.
    dialogs.texts.push_back(std::nullopt);
    view.requestRenameChart();
    EXPECT_EQ(dialogs.alerts.size(), 3u);

    document.edit([](OrganizationArchive &a) { a.lockForPlanning(); });
    const OrganizationArchive locked = document.archive();
    EXPECT_THROW(view.createSheet("Finance"), OrganizationError);
    view.requestNewSheet();
    EXPECT_EQ(dialogs.alerts.back().message, lockMessage);
    EXPECT_EQ(document.archive(), locked);
}

TEST_F(SheetCommandsTest, TheNameQuestionsButtonsSayWhatTheyDo)
{
    dialogs.texts.push_back(std::nullopt);
    view.requestNewSheet();
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].title, "New Organization Sheet");
    EXPECT_EQ(dialogs.questions[0].message, "Use a department name to include its existing unassigned people "
                                            "automatically. Then choose Quick Entry to add people.");
    EXPECT_EQ(dialogs.questions[0].buttons, QStringList{"Create"});

    view.setSelectedSheetID("S1");
    dialogs.texts.push_back(std::nullopt);
    view.requestRenameChart();
    ASSERT_EQ(dialogs.questions.size(), 2u);
    EXPECT_EQ(dialogs.questions[1].title, "Rename Chart");
    EXPECT_EQ(dialogs.questions[1].message, "Renaming keeps this chart’s positions, shared links, and paper settings.");
    EXPECT_EQ(dialogs.questions[1].buttons, QStringList{"Rename"});
    EXPECT_EQ(document.archive().sheets->size(), 1u);
}

TEST_F(SheetCommandsTest, RequestsNeedAHandlerAndTheGuard)
{
    using Command = ChartView::WindowCommand;
    EXPECT_FALSE(view.isCommandAvailable(Command::quickEntry));
    int quickEntries = 0;
    QObject::connect(&view, &ChartView::quickEntryRequested, [&] { ++quickEntries; });
    EXPECT_TRUE(view.isCommandAvailable(Command::quickEntry));
    EXPECT_FALSE(view.isCommandAvailable(Command::planning));
    // "Spreadsheet" on the entire organization names a new chart first.
    dialogs.texts.push_back(QString("Finance"));
    view.requestQuickEntry();
    EXPECT_EQ(quickEntries, 0);
    EXPECT_EQ(document.archive().sheets->size(), 2u);
    view.requestQuickEntry();
    EXPECT_EQ(quickEntries, 1);
    document.edit([](OrganizationArchive &a) { a.lockForPlanning(); });
    view.requestQuickEntry();
    EXPECT_EQ(quickEntries, 1);
    EXPECT_EQ(dialogs.alerts.back().message, lockMessage);
}

class ChartToolbarWindow : public ChartWindowFixture {
protected:
    void SetUp() override
    {
        window = controller.newDocument();
        window->document()->setArchive(district(3));
        window->show();
        settle();
    }
};

// Return opens the results for blank text too ("0 matches"), which Find refuses. Tab and
// Shift+Tab leave the results as Escape does, back to the search field.
TEST_F(ChartToolbarWindow, ReturnInTheSearchFieldOpensTheResultsEvenWhenBlank)
{
    ChartHeaderControls &header = *window->body().header();
    EXPECT_FALSE(header.findButton()->isEnabled());
    for (const char *blank : {"", "   "}) {
        header.searchField()->clear();
        QTest::keyClicks(header.searchField(), blank);
        settle();
        EXPECT_FALSE(header.findButton()->isEnabled());
        QTest::keyClick(header.searchField(), Qt::Key_Return);
        settle();
        ASSERT_TRUE(header.searchPopup()) << "'" << blank << "'";
        EXPECT_EQ(header.searchPopup()->header()->text(), "0 matches");
        QTest::keyClick(header.searchPopup()->list(), Qt::Key_Tab);
        settle();
        EXPECT_FALSE(header.searchPopup()) << "'" << blank << "'";
        EXPECT_FALSE(window->view().isShowingSearch());
    }

    header.searchField()->clear();
    QTest::keyClicks(header.searchField(), "lovelace");
    settle();
    EXPECT_TRUE(header.findButton()->isEnabled());
    QTest::mouseClick(header.findButton(), Qt::LeftButton);
    settle();
    ASSERT_TRUE(header.searchPopup());
    EXPECT_EQ(header.searchPopup()->header()->text(), "1 matches");
    for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
        if (!header.searchPopup()) {
            QTest::keyClick(header.searchField(), Qt::Key_Return);
            settle();
        }
        ASSERT_TRUE(header.searchPopup());
        QTest::keyClick(header.searchPopup()->list(), key);
        settle();
        EXPECT_FALSE(header.searchPopup()) << "Tab" << (key == Qt::Key_Backtab ? " with Shift" : "");
        EXPECT_FALSE(window->view().isShowingSearch());
    }
}

TEST_F(ChartToolbarWindow, ToolbarClicksZoomAndCenter)
{
    QLocale::setDefault(QLocale::c());
    ChartToolbar &toolbar = window->toolbar();
    ChartView &view = window->view();
    view.resetView();
    settle();
    EXPECT_EQ(toolbar.zoomLabel()->text(), "100%");
    QTest::mouseClick(toolbar.widgetForAction(toolbar.zoomOutAction()), Qt::LeftButton);
    settle();
    EXPECT_EQ(toolbar.zoomLabel()->text(), "83%");
    EXPECT_FALSE(toolbar.centerAction()->isEnabled());
    view.selectPerson("P2");
    settle();
    EXPECT_TRUE(toolbar.centerAction()->isEnabled());
    const double zoom = view.zoom();
    QTest::mouseClick(toolbar.widgetForAction(toolbar.centerAction()), Qt::LeftButton);
    settle();
    EXPECT_EQ(view.zoom(), zoom);
    QTest::mouseClick(toolbar.widgetForAction(toolbar.printGuidesAction()), Qt::LeftButton);
    EXPECT_TRUE(view.isShowingPageBreaks());
}

TEST_F(ChartToolbarWindow, GroupItemsOfTheSheetsMenuToggleAndClearTheSelection)
{
    window->document()->edit([](OrganizationArchive &a) { a.addGroup("Team & Co", {"P2", "P3"}); });
    ChartView &view = window->view();
    view.selectPerson("P4");
    QMenu *menu = window->body().header()->sheetsMenu();
    emit menu->aboutToShow();
    const QString group = QString::fromStdString(window->document()->archive().groups->at(0).id);
    EXPECT_EQ(menu->actions().last()->text(), "Expand Team && Co");
    menu->actions().last()->trigger();
    EXPECT_TRUE(view.expandedGroups().contains(group.toStdString()));
    EXPECT_EQ(view.selectedID(), std::nullopt);
    emit menu->aboutToShow();
    EXPECT_EQ(menu->actions().last()->text(), "Collapse Team && Co");
    // Entire organization: the chart-only items are disabled.
    const auto item = [&](const QString &text) {
        for (QAction *action : menu->actions())
            if (action->text() == text)
                return action;
        return static_cast<QAction *>(nullptr);
    };
    EXPECT_FALSE(item("Export Current Sheet…")->isEnabled());
    EXPECT_TRUE(item("Export Entire Workbook…")->isEnabled());
    EXPECT_FALSE(item("Export All Sheets as PDFs…")->isEnabled()) << "no sheets";
}

} // namespace

TEST_F(ChartToolbarWindow, ReturnInABlankSearchFieldOpensTheResults)
{
    ChartHeaderControls &header = *window->body().header();
    EXPECT_FALSE(header.findButton()->isEnabled());
    QTest::keyClicks(header.searchField(), "   ");
    settle();
    EXPECT_FALSE(header.findButton()->isEnabled());
    QTest::keyClick(header.searchField(), Qt::Key_Return);
    settle();
    ASSERT_TRUE(header.searchPopup());
    EXPECT_EQ(header.searchPopup()->header()->text(), "0 matches");
}
