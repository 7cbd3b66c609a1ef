#include "error_of.h"
#include "spreadsheet/organization_workbook.h"

#include "spreadsheet/xlsx_reader.h"
#include "spreadsheet/zip_parts.h"

#include <gtest/gtest.h>

#include <regex>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using Rows = std::vector<std::vector<std::string>>;
using Strings = std::vector<std::string>;

namespace {

Position position(std::string id, std::optional<Employee> employee = std::nullopt)
{
    Position p;
    p.id = std::move(id);
    p.title = "Teacher";
    p.department = "Science";
    p.location = "North High";
    p.employee = std::move(employee);
    return p;
}

OrganizationSheet chart(std::string id, std::string name, std::vector<std::string> positionIDs)
{
    OrganizationSheet sheet;
    sheet.id = std::move(id);
    sheet.name = std::move(name);
    sheet.positionIDs = std::move(positionIDs);
    return sheet;
}

OrganizationArchive archiveOf(std::vector<Position> positions, std::optional<std::vector<OrganizationSheet>> charts)
{
    OrganizationArchive archive;
    archive.organization.positions = std::move(positions);
    archive.sheets = std::move(charts);
    return archive;
}

std::vector<std::string> namesOf(const std::vector<ImportSheet> &tabs)
{
    std::vector<std::string> names;
    for (const ImportSheet &tab : tabs)
        names.push_back(tab.name);
    return names;
}

// The position ids listed on a tab, below its header.
std::vector<std::string> idsOn(const ImportSheet &tab)
{
    std::vector<std::string> ids;
    for (size_t r = 1; r < tab.rows.size(); ++r)
        ids.push_back(tab.rows[r].at(0));
    return ids;
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

std::string tabNameOf(const std::string &chartName)
{
    return OrganizationWorkbook::tabNames({{.name = chartName}}).at(0);
}

} // namespace

TEST(OrganizationWorkbook, TabsFollowTheCharts)
{
    const std::vector<Position> positions = {position("A"), position("B"), position("C")};

    // No charts at all: every position is unassigned, even with no positions.
    EXPECT_EQ(namesOf(OrganizationWorkbook::tabs(archiveOf(positions, std::nullopt), std::nullopt)),
              (std::vector<std::string>{"Instructions", "Unassigned"}));
    EXPECT_EQ(idsOn(OrganizationWorkbook::tabs(archiveOf(positions, std::nullopt), std::nullopt)[1]),
              (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(OrganizationWorkbook::tabs(archiveOf({}, std::vector<OrganizationSheet>{}), std::nullopt)[1].rows.size(), 1u);

    // Chart order as stored, positions in organization order; unknown ids ignored, a position
    // on two charts is on both tabs.
    const OrganizationArchive charted = archiveOf(
        positions, std::vector{chart("z", "Zoology", {"C", "gone", "A"}), chart("a", "Art", {"A", "B", "C"})});
    const std::vector<ImportSheet> all = OrganizationWorkbook::tabs(charted, std::nullopt);
    EXPECT_EQ(namesOf(all), (std::vector<std::string>{"Instructions", "Zoology", "Art"}));
    EXPECT_EQ(idsOn(all[1]), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(idsOn(all[2]), (std::vector<std::string>{"A", "B", "C"}));

    const OrganizationArchive partly = archiveOf(positions, std::vector{chart("z", "Zoology", {"C", "A"})});
    const std::vector<ImportSheet> withUnassigned = OrganizationWorkbook::tabs(partly, std::nullopt);
    EXPECT_EQ(namesOf(withUnassigned), (std::vector<std::string>{"Instructions", "Zoology", "Unassigned"}));
    EXPECT_EQ(idsOn(withUnassigned[2]), std::vector<std::string>{"B"});

    // One chart: never "Unassigned"; an unknown chart leaves the instructions alone.
    EXPECT_EQ(namesOf(OrganizationWorkbook::tabs(partly, "z")), (std::vector<std::string>{"Instructions", "Zoology"}));
    EXPECT_EQ(namesOf(OrganizationWorkbook::tabs(partly, "missing")), std::vector<std::string>{"Instructions"});

    // Positions on no chart of two are unassigned; one chart alone never has "Unassigned".
    const OrganizationArchive twoCharts = archiveOf(
        positions, std::vector<OrganizationSheet>{{.id = "z", .name = "Zoology", .positionIDs = {"C", "gone", "A"}},
                                       {.id = "a", .name = "Art", .positionIDs = {"A"}}});
    EXPECT_EQ(summary(OrganizationWorkbook::tabs(twoCharts, std::nullopt)),
              (std::vector<Strings>{{"Instructions"}, {"Zoology", "A", "C"}, {"Art", "A"}, {"Unassigned", "B"}}));
    EXPECT_EQ(summary(OrganizationWorkbook::tabs(twoCharts, "z")),
              (std::vector<Strings>{{"Instructions"}, {"Zoology", "A", "C"}}));
}

TEST(OrganizationWorkbook, PositionRows)
{
    Position vacant = position("P-1");
    vacant.setJobTitle("Biology Teacher");
    vacant.fte = 1;
    Position filled = position("P-2", Employee{"00042", "Ada Byron"});
    filled.managerID = "P-1";
    filled.dottedManagerIDs = {"P-7", "P-8"};
    filled.fte = 1;
    filled.schoolAssignments = {{"North", 0.5}, {"South", 0.5}};
    filled.isAssistant = true;
    filled.siblingOrder = 3;
    Position part = position("P-3", Employee{"7", "Grace"});
    part.fte = 0.1 + 0.2;
    part.isAssistant = false;

    const std::vector<ImportSheet> tabs =
        OrganizationWorkbook::tabs(archiveOf({vacant, filled, part}, std::nullopt), std::nullopt);

    ASSERT_EQ(tabs.size(), 2u);
    EXPECT_EQ(tabs[0].rows.size(), 9u);
    EXPECT_EQ(tabs[0].rows[0], std::vector<std::string>{"Vantrel Department Workbook"});
    EXPECT_EQ(tabs[1].rows,
              (Rows{{"Position ID", "Employee Number", "Employee Name", "Pay Level", "Job Title", "Department",
                     "Primary Manager ID", "Dotted Manager IDs", "Location", "FTE", "Vacant", "Assistant",
                     "Sibling Order", "School Allocations"},
                    {"P-1", "", "", "Teacher", "Biology Teacher", "Science", "", "", "North High", "1.0", "Yes", "No",
                     "", ""},
                    {"P-2", "00042", "Ada Byron", "Teacher", "Teacher", "Science", "P-1", "P-7:P-8", "North High",
                     "1.0", "No", "Yes", "3", "North=0.5; South=0.5"},
                    {"P-3", "7", "Grace", "Teacher", "Teacher", "Science", "", "", "North High", "0.30000000000000004",
                     "No", "No", "", ""}}));
}

TEST(OrganizationWorkbook, TabNames)
{
    const std::string thirtyOne(31, 'n');
    const struct {
        std::string chart;
        std::string tab;
    } cases[] = {
        {"Budget: Q1/Q2", "Budget- Q1-Q2"},
        {"a\\b?c*d[e]f", "a-b-c-d-e-f"},
        {std::string(40, 'x'), std::string(31, 'x')},
        {"   ", "Sheet"},
        {"", "Sheet"},
        {std::string(30, 'x') + " " + "tail", std::string(30, 'x')}, // cut, then trimmed
        {std::string(30, 'x') + "\U0001F600", std::string(30, 'x')}, // the emoji needs two units
        {"'Quoted'", "-Quoted-"},
        {" 'Spaced' ", "-Spaced-"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(tabNameOf(c.chart), c.tab) << c.chart;

    const std::vector<ImportSheet> tabs = {{.name = "Instructions"}, {.name = "Science"},  {.name = "science"},
                                           {.name = "SCIENCE"},      {.name = thirtyOne}, {.name = thirtyOne},
                                           {.name = "Instructions"}};
    EXPECT_EQ(OrganizationWorkbook::tabNames(tabs),
              (std::vector<std::string>{"Instructions", "Science", "science (2)", "SCIENCE (3)", thirtyOne,
                                        std::string(27, 'n') + " (2)", "Instructions (2)"}));
    // Cut to 31 units without splitting a surrogate pair, then numbered case-insensitively.
    EXPECT_EQ(OrganizationWorkbook::tabNames({{.name = "Budget: Q1/Q2"},
                                              {.name = "science"},
                                              {.name = "SCIENCE"},
                                              {.name = std::string(30, 'n') + "\U0001F600"},
                                              {.name = std::string(30, 'n')}}),
              (Strings{"Budget- Q1-Q2", "science", "SCIENCE (2)", std::string(30, 'n'), std::string(27, 'n') + " (2)"}));
}

// The file itself: tabs, text cells, column widths and filters, read back by the import.
TEST(OrganizationWorkbook, WritesTheWorkbook)
{
    Position head = position("P-1", Employee{"1", "Ada"});
    Position report = position("P-2");
    report.managerID = "P-1";
    const OrganizationArchive archive =
        archiveOf({head, report}, std::vector{chart("c1", "Science", {"P-1", "P-2"}), chart("c2", "Instructions", {"P-2"})});

    const QByteArray bytes = OrganizationWorkbook::write(archive);

    const std::vector<ImportSheet> sheets = XlsxReader::read(bytes);
    ASSERT_EQ(namesOf(sheets), (std::vector<std::string>{"Instructions", "Science", "Instructions (2)"}));
    const std::vector<ImportSheet> tabs = OrganizationWorkbook::tabs(archive, std::nullopt);
    for (size_t i = 0; i < tabs.size(); ++i) {
        // Empty texts are no cells, so rows read back end at their last text.
        Rows expected = tabs[i].rows;
        for (auto &row : expected) {
            while (!row.empty() && row.back().empty())
                row.pop_back();
        }
        EXPECT_EQ(sheets[i].rows, expected) << tabs[i].name;
    }

    const ZipParts zip(bytes);
    auto widths = [&](int sheet) {
        const std::string xml = *zip.part("xl/worksheets/sheet" + std::to_string(sheet) + ".xml");
        std::vector<std::string> found;
        const std::regex column(R"re(<col min="(\d+)" max="\d+" width="([\d.]+)")re");
        for (auto it = std::sregex_iterator(xml.begin(), xml.end(), column); it != std::sregex_iterator(); ++it)
            found.push_back((*it)[1].str() + ":" + (*it)[2].str());
        return found;
    };
    auto filter = [&](int sheet) {
        const std::string xml = *zip.part("xl/worksheets/sheet" + std::to_string(sheet) + ".xml");
        std::smatch match;
        return std::regex_search(xml, match, std::regex(R"re(<autoFilter ref="([A-Z0-9:]+)")re")) ? match[1].str() : "";
    };
    // Widths in characters, as the file stores them with the cell padding.
    EXPECT_EQ(widths(1), std::vector<std::string>{"1:110.7109375"});
    EXPECT_EQ(filter(1), "");
    const std::vector<std::string> departmentWidths = {
        "1:23.7109375",  "2:23.7109375",  "3:32.7109375",  "4:32.7109375",  "5:23.7109375",
        "6:23.7109375",  "7:23.7109375",  "8:23.7109375",  "9:23.7109375",  "10:23.7109375",
        "11:23.7109375", "12:23.7109375", "13:23.7109375", "14:23.7109375"};
    EXPECT_EQ(widths(2), departmentWidths);
    EXPECT_EQ(filter(2), "A1:N3");
    // A chart named like the instruction tab is laid out like it.
    std::vector<std::string> instructionWidths;
    for (int column = 1; column <= 14; ++column)
        instructionWidths.push_back(std::to_string(column) + ":110.7109375");
    EXPECT_EQ(widths(3), instructionWidths);
    EXPECT_EQ(filter(3), "");
}

TEST(OrganizationWorkbook, RefusesTextTheFileCannotHold)
{
    Position p = position("P-1", Employee{"1", std::string(32'768, 'a')});
    EXPECT_EQ(errorOf([&] { OrganizationWorkbook::write(archiveOf({p}, std::nullopt)); }),
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
