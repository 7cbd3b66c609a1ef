#include "app/chart/chart_view.h"
#include "app/shell/organization_document.h"

#include "app_test_support.h"
#include "chart_fixtures.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace AppTest;

namespace {

// A district with two charts: "Science" lists P2 and a deleted position, "Arts" lists P3.
OrganizationArchive chartedDistrict()
{
    OrganizationArchive archive = district(3);
    archive.organization.positions[2].department = "Arts";
    archive.sheets = std::vector<OrganizationSheet>{{"S-SCI", "Science", {"P2", "GONE"}}, {"S-ART", "Arts", {"P3"}}};
    archive.pageTitle = "District title";
    return archive;
}

class ChartViewState : public ChartViewFixture {
protected:
    // A document whose content came from a file: not modified until the view writes.
    void open(const OrganizationArchive &archive)
    {
        document.setArchive(archive);
        document.setModified(false);
    }
};

TEST_F(ChartViewState, ALockedDocumentRefusesEveryEdit)
{
    OrganizationArchive archive = chartedDistrict();
    archive.lockForPlanning();
    open(archive);
    view.setSelectedSheetID("S-SCI");
    const OrganizationArchive before = document.archive();
    EXPECT_FALSE(view.canEditCurrent());

    // Typed texts are dropped silently; the editor is refused aloud.
    view.setPageTitle("Typed while locked");
    view.setFocusedDepartmentView(true);
    view.editPosition(document.archive().organization.positions[1]);
    EXPECT_EQ(document.archive(), before);
    ASSERT_EQ(dialogs.alerts.size(), 1u);
    EXPECT_EQ(dialogs.alerts[0].message,
              "Current organization is locked. Open Planning & Proposals to edit a named proposal instead.");
}

TEST_F(ChartViewState, ChartNamesPrintScopeSettingsAndFocus)
{
    OrganizationArchive archive = chartedDistrict();
    Position vacancy = person("V1", "", "P1");
    vacancy.employee.reset();
    vacancy.customJobTitle = "Counselor";
    archive.organization.positions.push_back(vacancy);
    open(archive);
    // Sorted by name, counting only the positions that still exist.
    EXPECT_EQ(view.sheetOptions(), (std::vector<DropdownOption>{{"", "Entire organization", ""},
                                                                {"S-ART", "Arts", "1 positions"},
                                                                {"S-SCI", "Science", "1 positions"}}));
    view.setSelectedSheetID("S-SCI");
    EXPECT_EQ(view.printScope(), "Science");
    // Settings go to the chart shown, not to the district.
    ChartPrintSettings changed = view.printSettings();
    changed.showPayLevel = true;
    view.setPrintSettings(changed);
    EXPECT_EQ(document.archive().sheets->at(0).printSettings, changed);
    EXPECT_EQ(document.archive().printSettings, archive.printSettings);
    view.setFocusDepartment("Instruction");
    EXPECT_EQ(view.printScope(), "Instruction and subordinates");
    view.setFocusPersonID("V1");
    EXPECT_EQ(view.printScope(), "Counselor and subordinates");
    // A focus whose position is gone is dropped.
    archive.organization.positions.pop_back();
    document.setArchive(archive);
    EXPECT_EQ(view.focusPersonID(), "");
}

TEST_F(ChartViewState, WorkbookIsNamedAfterTheOrganizationAndAFailedWriteIsAlerted)
{
    QTemporaryDir dir;
    OrganizationArchive archive = chartedDistrict();
    archive.name = "North/South District";
    open(archive);
    dialogs.filesToSave.push_back(dir.filePath("missing folder/all.xlsx"));
    view.exportWorkbook(ChartView::WorkbookScope::allCharts);
    EXPECT_EQ(dialogs.proposedSavePaths, QStringList{"North-South District.xlsx"});
    ASSERT_EQ(dialogs.alerts.size(), 1u);
    EXPECT_TRUE(dialogs.alerts[0].message.startsWith("The file “all.xlsx” could not be saved"));
    EXPECT_FALSE(QFile::exists(dir.filePath("missing folder/all.xlsx")));
    EXPECT_FALSE(document.isModified());
}

} // namespace
