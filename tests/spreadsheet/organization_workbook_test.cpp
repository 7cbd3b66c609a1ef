#include "error_of.h"
#include "spreadsheet/organization_workbook.h"

#include "spreadsheet/xlsx_reader.h"
#include "spreadsheet/zip_parts.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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

// Chart order as stored, positions in organization order, unknown ids ignored; a position on
// two charts is on both tabs; one chart alone never has "Unassigned".
TEST(OrganizationWorkbook, TabsFollowTheCharts)
{
    const OrganizationArchive charted = archiveOf(
        {position("A"), position("B"), position("C")},
        std::vector<OrganizationSheet>{{.id = "z", .name = "Zoology", .positionIDs = {"C", "gone", "A"}},
                                       {.id = "a", .name = "Art", .positionIDs = {"A"}}});
    EXPECT_EQ(summary(OrganizationWorkbook::tabs(charted, std::nullopt)),
              (std::vector<Strings>{{"Instructions"}, {"Zoology", "A", "C"}, {"Art", "A"}, {"Unassigned", "B"}}));
    EXPECT_EQ(summary(OrganizationWorkbook::tabs(charted, "z")),
              (std::vector<Strings>{{"Instructions"}, {"Zoology", "A", "C"}}));
}

// Cut to 31 units without splitting a surrogate pair, then numbered case-insensitively.
TEST(OrganizationWorkbook, TabNames)
{
    EXPECT_EQ(OrganizationWorkbook::tabNames({{.name = "Budget: Q1/Q2"},
                                              {.name = "science"},
                                              {.name = "SCIENCE"},
                                              {.name = std::string(30, 'n') + "\U0001F600"},
                                              {.name = std::string(30, 'n')}}),
              (Strings{"Budget- Q1-Q2", "science", "SCIENCE (2)", std::string(30, 'n'), std::string(27, 'n') + " (2)"}));
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

// Saved in place only when whole: a refused cell leaves the old file and nothing beside it.
TEST(OrganizationWorkbook, SavesInPlaceOnlyWhatIsWhole)
{
    QTemporaryDir folder;
    const std::filesystem::path target = QFile::encodeName(folder.filePath("all.xlsx")).toStdString();
    {
        QFile old(folder.filePath("all.xlsx"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    }
    Position tooLong = position("P-1", Employee{"1", std::string(32'768, 'a')});
    EXPECT_EQ(errorOf([&] { OrganizationWorkbook::save(archiveOf({tooLong}, std::nullopt), std::nullopt, target); }),
              "Could not create the Excel workbook.");
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"all.xlsx"});
    {
        QFile old(folder.filePath("all.xlsx"));
        ASSERT_TRUE(old.open(QIODevice::ReadOnly));
        EXPECT_EQ(old.readAll(), "old");
    }

    OrganizationWorkbook::save(archiveOf({position("P-1")}, std::nullopt), std::nullopt, target);
    QFile saved(folder.filePath("all.xlsx"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(XlsxReader::read(saved.readAll()).at(1).rows.size(), 2u);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"all.xlsx"});
}
