#include "core/import/column_mapping.h"
#include "core/model/organization.h"

#include <gtest/gtest.h>

namespace {

ImportMapping mappingOf(std::vector<std::string> headers)
{
    return TabularImport::suggestedMapping(headers);
}

std::vector<std::string> canonicalHeaders()
{
    std::vector<std::string> headers;
    for (ImportField field : allImportFields)
        headers.emplace_back(importFieldHeader(field));
    return headers;
}

} // namespace

TEST(ColumnMapping, NormalisesHeaders)
{
    EXPECT_EQ(TabularImport::normalizedHeader("Dotted Manager IDs (: separated)"), "dottedmanagerids");
    EXPECT_EQ(TabularImport::normalizedHeader("School / District Office"), "schooldistrictoffice");
    EXPECT_EQ(TabularImport::normalizedHeader("  Emp. No. #2 "), "empno2");
    EXPECT_EQ(TabularImport::normalizedHeader("ÉCOLE"), "école");
    EXPECT_EQ(TabularImport::normalizedHeader(""), "");
    // Remarks in parentheses are dropped, so our own headers match their fields.
    EXPECT_EQ(TabularImport::normalizedHeader("School Allocations (School=FTE; ...)"), "schoolallocations");
    EXPECT_EQ(TabularImport::normalizedHeader("Employee Number (required) 2"), "employeenumber2");
    EXPECT_EQ(TabularImport::normalizedHeader("FTE (unclosed"), "fte");
}

TEST(ColumnMapping, CanonicalHeadersMapEveryFieldToItsOwnColumn)
{
    const ImportMapping mapping = mappingOf(canonicalHeaders());
    ASSERT_EQ(mapping.size(), allImportFields.size());
    for (size_t i = 0; i < allImportFields.size(); ++i)
        EXPECT_EQ(mapping.at(allImportFields[i]), static_cast<int>(i)) << importFieldHeader(allImportFields[i]);
}

TEST(ColumnMapping, RecognisesCommonSpellings)
{
    struct Case {
        const char *header;
        ImportField field;
    };
    const Case cases[] = {
        {"Position", ImportField::title},       {"Position Number", ImportField::positionID},
        {"Emp. No.", ImportField::employeeID},  {"EMP-ID", ImportField::employeeID},
        {"Reports To", ImportField::manager},   {"Supervisor ID", ImportField::manager},
        {"Dept", ImportField::department},      {"Site", ImportField::location},
        {"Is Vacant?", ImportField::vacant},    {"Layout Order", ImportField::siblingOrder},
        {"Dotted Report-Tos", ImportField::dotted},
    };
    for (const Case &c : cases) {
        const ImportMapping mapping = mappingOf({"Unrelated", c.header});
        EXPECT_EQ(mapping, (ImportMapping{{c.field, 1}})) << c.header;
    }
}

TEST(ColumnMapping, LeftmostMatchWinsAndJobTitleStandsInForPayLevel)
{
    EXPECT_EQ(mappingOf({"Name", "Full Name", "Pay Level"}),
              (ImportMapping{{ImportField::name, 0}, {ImportField::title, 2}}));
    EXPECT_EQ(mappingOf({"Employee Number", "Job Title"}),
              (ImportMapping{{ImportField::employeeID, 0}, {ImportField::title, 1}, {ImportField::jobTitle, 1}}));
    EXPECT_TRUE(mappingOf({"Colour", "", "Notes"}).empty());
    EXPECT_TRUE(mappingOf({}).empty());
}

TEST(ColumnMatching, OptionsNameEachHeaderWithTheValueBelowIt)
{
    const ImportSheet sheet{.name = "S",
                            .rows = {{"Employee Number", "Employee Name", "Pay Level", "Supervisor ID", ""},
                                     {"0001", "Ana Lee", "T1"}}};
    const std::vector<ImportColumnOption> expected = {
        {"-1", "Not mapped", ""},        {"0", "1: Employee Number", "0001"}, {"1", "2: Employee Name", "Ana Lee"},
        {"2", "3: Pay Level", "T1"},     {"3", "4: Supervisor ID", ""},      {"4", "5: Unnamed column", ""},
    };
    EXPECT_EQ(TabularImport::columnOptions(sheet, 0), expected);
    // A header of spaces is used as it is; a header row past the end offers only "Not mapped".
    const ImportSheet spaces{.name = "S", .rows = {{" "}}};
    EXPECT_EQ(TabularImport::columnOptions(spaces, 0).back().title, "1:  ");
    EXPECT_EQ(TabularImport::columnOptions(sheet, 2).size(), 1u);
}

TEST(ColumnMatching, ChoosingAnOptionMapsOrUnmapsOneField)
{
    ImportMapping mapping{{ImportField::name, 1}, {ImportField::title, 1}};
    TabularImport::chooseColumnOption(mapping, ImportField::name, "-1");
    EXPECT_EQ(mapping, (ImportMapping{{ImportField::title, 1}}));
    TabularImport::chooseColumnOption(mapping, ImportField::fte, "4");
    EXPECT_EQ(TabularImport::columnOptionID(mapping, ImportField::fte), "4");
    TabularImport::chooseColumnOption(mapping, ImportField::fte, "x");
    EXPECT_EQ(TabularImport::columnOptionID(mapping, ImportField::fte), "-1");
}

namespace {

struct GuessCase {
    const char *label;
    std::vector<std::vector<std::string>> rows;
    ImportMode mode;
    std::optional<ManagerReferences> expected;
};

} // namespace

TEST(ColumnMatching, GuessesWhatManagerCellsHold)
{
    Organization open;
    open.positions.push_back(Position{.id = "P-9", .title = "T", .employee = Employee{"500", "Boss"}});
    open.positions.push_back(Position{.id = "P-8", .title = "T"});
    const std::vector<std::string> header = {"Employee Number", "Employee Name", "Reports To"};
    const GuessCase cases[] = {
        {"organization ids", {header, {"1", "A", "P-9"}, {"2", "B", "P-8"}}, ImportMode::add, ManagerReferences::positionIDs},
        {"replace ignores the organization", {header, {"1", "A", "P-9"}}, ImportMode::replace, std::nullopt},
        {"sheet numbers", {header, {"1", "A", ""}, {"2", "B", " 1 "}}, ImportMode::replace, ManagerReferences::employeeNumbers},
        {"organization numbers", {header, {"1", "A", "500"}}, ImportMode::update, ManagerReferences::employeeNumbers},
        {"one unknown value", {header, {"1", "A", "P-9"}, {"2", "B", "nobody"}}, ImportMode::add, std::nullopt},
        {"blank column", {header, {"1", "A", "  "}}, ImportMode::add, std::nullopt},
        {"header row only", {header}, ImportMode::add, std::nullopt},
    };
    for (const GuessCase &c : cases) {
        const ImportSheet sheet{.name = "S", .rows = c.rows};
        const ImportMapping mapping = TabularImport::suggestedMapping(c.rows[0]);
        EXPECT_EQ(TabularImport::guessedManagerReferences(sheet, 0, mapping, c.mode, open), c.expected) << c.label;
    }

    // Values that are both an id and a number decide nothing.
    Organization both;
    both.positions.push_back(Position{.id = "7", .title = "T", .employee = Employee{"7", "X"}});
    const ImportSheet sheet{.name = "S", .rows = {header, {"1", "A", "7"}}};
    EXPECT_EQ(TabularImport::guessedManagerReferences(sheet, 0, TabularImport::suggestedMapping(header), ImportMode::add, both),
              std::nullopt);
    // Without a mapped manager column nothing is guessed.
    EXPECT_EQ(TabularImport::guessedManagerReferences(sheet, 0, {}, ImportMode::add, open), std::nullopt);
}

TEST(ColumnMapping, OurOwnExportedHeadersMapEveryFieldToItsColumn)
{
    std::vector<std::string> headers;
    for (ImportField field : allImportFields)
        headers.emplace_back(importFieldHeader(field));
    const ImportMapping mapping = TabularImport::suggestedMapping(headers);
    ASSERT_EQ(mapping.size(), allImportFields.size());
    for (size_t i = 0; i < allImportFields.size(); ++i)
        EXPECT_EQ(mapping.at(allImportFields[i]), static_cast<int>(i)) << headers[i];
    // Remarks in parentheses are dropped, with or without their closing one.
    EXPECT_EQ(TabularImport::normalizedHeader("  Emp. No. (required) #2 "), "empno2");
    EXPECT_EQ(TabularImport::normalizedHeader("ÉCOLE / Site (unclosed"), "écolesite");
}

TEST(ColumnMapping, CommonSpellingsAndLeftmostMatch)
{
    EXPECT_EQ(TabularImport::suggestedMapping({"Name", "Full Name", "Dotted Report-Tos"}),
              (ImportMapping{{ImportField::name, 0}, {ImportField::dotted, 2}}));
    // A Job Title column stands in for a missing Pay Level.
    EXPECT_EQ(TabularImport::suggestedMapping({"Employee Number", "Job Title"}),
              (ImportMapping{{ImportField::employeeID, 0}, {ImportField::title, 1}, {ImportField::jobTitle, 1}}));
}
