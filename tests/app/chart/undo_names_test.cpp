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

// Typing goes by the field: each keystroke of one field joins the step before, another
// chart's heading or leaving the field starts a new one.
TEST_F(UndoNames, TypingInOneHeadingIsOneStepPerChartAndPerVisit)
{
    document.setArchive([&] {
        OrganizationArchive archive = document.archive();
        archive.sheets->push_back(OrganizationSheet::make("Office", {"P1"}));
        return archive;
    }());
    const OrganizationArchive before = document.archive();
    const size_t depth = document.history().undoCount();
    const auto typeTitle = [&](const std::string &sheetID, const QString &text) {
        view.setSelectedSheetID(sheetID);
        for (int length = 1; length <= text.size(); ++length)
            view.setPageTitle(text.left(length));
    };
    typeTitle(teachingID(), "Staff");
    typeTitle(document.archive().sheets->at(1).id, "Desk");
    typeTitle(teachingID(), "Staff 2026");
    EXPECT_EQ(document.history().undoCount(), depth + 3) << "one step a chart's heading, not a keystroke";
    document.endMerge();
    view.setPageTitle("Staff 2027");
    EXPECT_EQ(document.history().undoCount(), depth + 4) << "a new visit of the field, a new step";

    view.setSelectedSheetID({});
    for (const char *name : {"N", "No", "Nor", "North"})
        view.setOrganizationName(name);
    EXPECT_EQ(document.history().undoCount(), depth + 5);
    EXPECT_EQ(document.undoName(), "Rename Organization");

    const std::vector<std::pair<QString, std::optional<std::string>>> steps = {
        {"Rename Organization", "Staff 2027"}, {"Page Title", "Staff 2026"}, {"Page Title", "Staff"},
        {"Page Title", "Staff"}, {"Page Title", std::nullopt}};
    for (const auto &[name, teachingTitle] : steps) {
        EXPECT_EQ(document.undoName(), name);
        document.undo();
        EXPECT_EQ(document.archive().sheets->front().pageTitle, teachingTitle) << "after undoing " << name.toStdString();
    }
    EXPECT_EQ(document.archive(), before);
}
