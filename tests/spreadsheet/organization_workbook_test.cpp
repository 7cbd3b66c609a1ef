#include "error_of.h"
#include "spreadsheet/organization_workbook.h"

#include "spreadsheet/xlsx_reader.h"
#include "spreadsheet/zip_parts.h"

#include <gtest/gtest.h>

using Strings = std::vector<std::string>;

namespace {

Position position(std::string id, std::optional<Employee> employee = std::nullopt)
{
    return Position{.id = std::move(id), .title = "Teacher", .department = "Science", .employee = std::move(employee),
                    .location = "North High"};
}

OrganizationArchive archiveOf(std::vector<Position> positions, std::optional<std::vector<OrganizationSheet>> charts)
{
    OrganizationArchive archive;
    archive.organization.positions = std::move(positions);
    archive.sheets = std::move(charts);
    return archive;
}

// Each tab as its name followed by the position ids listed below its header.
std::vector<Strings> summary(const std::vector<ImportSheet> &tabs)
{
    std::vector<Strings> result;
    for (const ImportSheet &tab : tabs) {
        result.push_back({tab.name});
        for (size_t r = 1; tab.name != "Instructions" && r < tab.rows.size(); ++r)
            result.back().push_back(tab.rows[r].at(0));
    }
    return result;
}

} // namespace

TEST(OrganizationWorkbook, TabsFollowTheCharts)
{
    const std::vector<Position> positions = {position("A"), position("B"), position("C")};
    EXPECT_EQ(summary(OrganizationWorkbook::tabs(archiveOf(positions, std::nullopt), std::nullopt)),
              (std::vector<Strings>{{"Instructions"}, {"Unassigned", "A", "B", "C"}}));

    // Chart order as stored, positions in organization order, unknown ids ignored; a
    // position on two charts is on both tabs.
    const OrganizationArchive charted =
        archiveOf(positions, std::vector<OrganizationSheet>{{.id = "z", .name = "Zoology", .positionIDs = {"C", "gone", "A"}},
                                                            {.id = "a", .name = "Art", .positionIDs = {"A"}}});
    EXPECT_EQ(summary(OrganizationWorkbook::tabs(charted, std::nullopt)),
              (std::vector<Strings>{{"Instructions"}, {"Zoology", "A", "C"}, {"Art", "A"}, {"Unassigned", "B"}}));
    // One chart alone never has "Unassigned".
    EXPECT_EQ(summary(OrganizationWorkbook::tabs(charted, "z")),
              (std::vector<Strings>{{"Instructions"}, {"Zoology", "A", "C"}}));
}

TEST(OrganizationWorkbook, TabNames)
{
    const std::pair<std::string, std::string> cases[] = {
        {"Budget: Q1/Q2", "Budget- Q1-Q2"},
        {"   ", "Sheet"},
        {std::string(30, 'x') + " tail", std::string(30, 'x')},      // cut, then trimmed
        {std::string(30, 'x') + "\U0001F600", std::string(30, 'x')}, // the emoji needs two units
        {" 'Quoted' ", "-Quoted-"},
    };
    for (const auto &[chart, tab] : cases)
        EXPECT_EQ(OrganizationWorkbook::tabNames({{.name = chart}}).at(0), tab) << chart;

    const std::string thirtyOne(31, 'n');
    EXPECT_EQ(OrganizationWorkbook::tabNames(
                  {{.name = "Science"}, {.name = "science"}, {.name = "SCIENCE"}, {.name = thirtyOne}, {.name = thirtyOne}}),
              (Strings{"Science", "science (2)", "SCIENCE (3)", thirtyOne, std::string(27, 'n') + " (2)"}));
}

// A filter over each chart tab's rows; text a cell cannot hold refuses the whole file.
TEST(OrganizationWorkbook, WritesTheWorkbook)
{
    const OrganizationArchive archive =
        archiveOf({position("P-1"), position("P-2")},
                  std::vector<OrganizationSheet>{{.id = "c1", .name = "Science", .positionIDs = {"P-1", "P-2"}}});
    const QByteArray bytes = OrganizationWorkbook::write(archive);
    EXPECT_EQ(XlsxReader::read(bytes).at(1).rows.size(), 3u);
    EXPECT_NE(ZipParts(bytes).part("xl/worksheets/sheet2.xml")->find("<autoFilter ref=\"A1:N3\""), std::string::npos);

    Position tooLong = position("P-1", Employee{"1", std::string(32'768, 'a')});
    EXPECT_EQ(errorOf([&] { OrganizationWorkbook::write(archiveOf({tooLong}, std::nullopt)); }),
              "Could not create the Excel workbook.");
}
