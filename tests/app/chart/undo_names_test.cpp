#include "app/chart/version_history.h"
#include "app/entry/quick_entry_grid_model.h"

#include "chart_fixtures.h"
#include "undo_steps.h"

#include "core/document/position_entry.h"
#include "core/entry/quick_entry.h"

using namespace AppTest;

// Every edit of a chart is one step, named in Edit ▸ Undo and Redo as the user knows it.

namespace {

class UndoNames : public ChartViewFixture {
protected:
    void SetUp() override
    {
        OrganizationArchive archive = district(3);
        archive.sheets = std::vector{OrganizationSheet::make("Teaching", {"P1", "P2"})};
        open(archive);
    }

    const std::string &teachingID() const { return document.archive().sheets->front().id; }
};

} // namespace

TEST_F(UndoNames, EveryChartEditIsAStepOfItsOwnName)
{
    Position added = person("P9", "Noor Haddad", "P1");
    ChartView &v = view;
    expectOneNamedStepEach(document, {
        {"Rename Organization", [&] { v.setOrganizationName("North District"); }},
        {"Page Title", [&] { v.setPageTitle("Who we are"); }},
        {"Page Subtitle", [&] { v.setPageSubtitle("Autumn"); }},
        {"Paper & Appearance",
         [&] {
             ChartPrintSettings settings = v.printSettings();
             settings.landscape = !settings.landscape;
             v.setPrintSettings(settings);
         }},
        {"Add Position", [&] { v.savePositionEntry(PositionEntryRequest{.position = added}); }},
        {"Edit Position",
         [&] {
             Position edited = added;
             edited.location = "North";
             v.savePositionEntry(PositionEntryRequest{.position = edited, .original = added});
         }},
        {"Create Group", [&] { v.createGroup("Pair", {"P3", "P4"}); }},
        {"Ungroup", [&] { v.removeGroup(document.archive().groups->front().id); }},
        {"Make Vacant", [&] { v.makeVacantConfirmed("P4"); }},
        {"Delete Person & Position", [&] { v.deleteConfirmed("P9"); }},
        {"Rename Chart",
         [&] {
             v.setSelectedSheetID(teachingID());
             v.renameShownChart("Teachers");
         }},
        {"Add to This Chart", [&] { v.includeFromEditor("P3"); }},
        {"Add Existing Positions", [&] { v.includeExistingPositions({"P4"}); }},
        {"Remove from This Chart",
         [&] {
             v.setSelectedID("P4");
             v.removeSelectedFromChart();
         }},
        {"New Sheet", [&] { v.createSheet("Science"); }},
    });
    EXPECT_FALSE(document.canUndo());
}

TEST_F(UndoNames, VersionsAndWholeOrganizationsAreStepsOfTheirOwnNames)
{
    VersionHistory &history = VersionHistory::of(view);
    const QString other = dir.filePath("other.json");
    writeBytes(other, QByteArray::fromStdString(district(1, "Other").encodeDocument()));
    expectOneNamedStepEach(document, {
        {"Save Version",
         [&] {
             history.setVersionNote("Before the import");
             history.saveVersion();
         }},
        {"Import JSON", [&] { view.importOrganizationFile(other); }},
        {"Restore Version", [&] { history.restore(document.archive().revisions.front()->id); }},
        {"Load Sample District", [&] { view.loadSampleDistrict(); }},
        {"Set Baseline", [&] { history.setBaseline(false); }},
    });
}

// The spreadsheet ways in: the quick-entry grid's save and an import applied from its window.
TEST_F(UndoNames, SpreadsheetEditsAreStepsOfTheirOwnNames)
{
    QuickEntryRow added("Instruction", "P1", "District Office");
    added.name = "Noor Haddad";
    added.title = "Teacher";
    const Organization snapshot = document.archive().organization;
    Organization imported = snapshot;
    imported.positions.push_back(person("P8", "Ada Park", "P1"));
    expectOneNamedStepEach(document, {
        {"Quick Entry",
         [&] {
             view.setSelectedSheetID(teachingID());
             view.commitQuickEntry({added});
         }},
        {"Import Excel / CSV", [&] { view.applyImport(document.archive().organization, imported, ImportMode::update); }},
    });
}

// A chart of its own keeps its headings and paper apart from the organization's: its edits
// go by the same names.
TEST_F(UndoNames, EditsOfAChartsOwnSettingsKeepTheirNames)
{
    view.setSelectedSheetID(teachingID());
    ChartView &v = view;
    expectOneNamedStepEach(document, {
        {"Page Title", [&] { v.setPageTitle("Teachers"); }},
        {"Page Subtitle", [&] { v.setPageSubtitle("Spring"); }},
        {"Paper & Appearance",
         [&] {
             ChartPrintSettings settings = v.printSettings();
             settings.showPayLevel = !settings.showPayLevel;
             v.setPrintSettings(settings);
         }},
        {"Focused Department View", [&] { v.setFocusedDepartmentView(true); }},
    });
}
