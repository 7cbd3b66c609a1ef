#include "chart_fixtures.h"

#include <gtest/gtest.h>

#include <QFile>

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

using ChartViewState = ChartViewFixture;

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
