#include "core/import/column_mapping.h"
#include "core/import/import_review.h"
#include "spreadsheet/organization_workbook.h"
#include "spreadsheet/spreadsheet_reader.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Reviews one tab read back from the file the way the import window does in update mode.
ImportReview reviewed(const ImportSheet &tab, const Organization &existing)
{
    const ImportMapping mapping = TabularImport::suggestedMapping(TabularImport::headerCells(tab, 0));
    EXPECT_EQ(mapping.size(), allImportFields.size()) << tab.name;
    EXPECT_EQ(TabularImport::guessedManagerReferences(tab, 0, mapping, ImportMode::update, existing),
              ManagerReferences::positionIDs);
    return TabularImport::review(tab, 0, mapping, ManagerReferences::positionIDs, ImportMode::update, existing);
}

std::vector<Position> byID(std::vector<Position> positions)
{
    std::sort(positions.begin(), positions.end(), [](const Position &a, const Position &b) { return a.id < b.id; });
    return positions;
}

// The example district and an aide whose texts a spreadsheet would otherwise turn into
// numbers, with every optional column.
OrganizationArchive exampleWithAnAide()
{
    OrganizationArchive archive;
    archive.organization = Organization::example();
    Position aide{.id = "P007", .title = "Aide 2", .department = "Instruction", .employee = Employee{"00042", "Zoë O'Neil"},
                  .managerID = "P006", .dottedManagerIDs = {"P003"}, .location = "Oak Elementary", .fte = 0.5,
                  .isAssistant = true, .siblingOrder = -2};
    aide.setJobTitle("Classroom Aide, \"Room 4\"");
    archive.organization.positions.push_back(aide);
    return archive;
}

} // namespace

// What the workbook promises its users: export, edit nothing, update the same district from
// it, and get the same organization with nothing to report.
TEST(WorkbookRoundTrip, ExportedDistrictComesBackUnchanged)
{
    OrganizationArchive archive = exampleWithAnAide();

    const std::vector<ImportSheet> sheets =
        SpreadsheetReader::read(OrganizationWorkbook::write(archive), QStringLiteral("district.xlsx"));

    ASSERT_EQ(sheets.size(), 2u);
    ASSERT_EQ(sheets[1].name, "Unassigned");
    const ImportReview review = reviewed(sheets[1], archive.organization);
    EXPECT_EQ(review.errors, std::vector<std::string>{});
    EXPECT_EQ(review.warnings, std::vector<std::string>{});
    ASSERT_TRUE(review.organization);
    EXPECT_EQ(*review.organization, archive.organization);
}

// Any one chart's tab updates its positions in place of the old ones; updated positions move
// to the end of the list, so only the order may change.
TEST(WorkbookRoundTrip, EachChartTabComesBackUnchanged)
{
    OrganizationArchive archive = exampleWithAnAide();

    archive.sheets = std::vector<OrganizationSheet>{
        {.id = "lead", .name = "Leadership: Central", .positionIDs = {"P001", "P002"}},
        {.id = "oak", .name = "Oak", .positionIDs = {"P006", "P003", "P005", "P007"}}};
    const std::vector<ImportSheet> sheets =
        SpreadsheetReader::read(OrganizationWorkbook::write(archive), QStringLiteral("district.xlsx"));
    ASSERT_EQ(sheets.size(), 4u);
    for (size_t i = 1; i < sheets.size(); ++i) {
        const ImportReview review = reviewed(sheets[i], archive.organization);
        EXPECT_EQ(review.errors, std::vector<std::string>{}) << sheets[i].name;
        EXPECT_EQ(review.warnings, std::vector<std::string>{}) << sheets[i].name;
        ASSERT_TRUE(review.organization) << sheets[i].name;
        EXPECT_EQ(byID(review.organization->positions), byID(archive.organization.positions)) << sheets[i].name;
    }
}
