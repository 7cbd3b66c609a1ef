#include "core/column_mapping.h"
#include "core/organization.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(TabularImport::normalizedHeader("School Allocations (School=FTE; ...)"), "schoolallocations");
    EXPECT_EQ(TabularImport::normalizedHeader("  Emp. No. (required) #2 "), "empno2");
    EXPECT_EQ(TabularImport::normalizedHeader("ÉCOLE / Site (unclosed"), "écolesite");
}

TEST(ColumnMapping, CommonSpellingsAndLeftmostMatch)
{
    const std::pair<const char *, ImportField> cases[] = {
        {"Position", ImportField::title}, {"Emp. No.", ImportField::employeeID}, {"Dotted Report-Tos", ImportField::dotted}};
    for (const auto &[header, field] : cases)
        EXPECT_EQ(TabularImport::suggestedMapping({"Unrelated", header}), (ImportMapping{{field, 1}})) << header;
    EXPECT_EQ(TabularImport::suggestedMapping({"Name", "Full Name", "Pay Level"}),
              (ImportMapping{{ImportField::name, 0}, {ImportField::title, 2}}));
    // A Job Title column stands in for a missing Pay Level.
    EXPECT_EQ(TabularImport::suggestedMapping({"Employee Number", "Job Title"}),
              (ImportMapping{{ImportField::employeeID, 0}, {ImportField::title, 1}, {ImportField::jobTitle, 1}}));
}

TEST(ColumnMatching, GuessesWhatManagerCellsHold)
{
    Organization open;
    open.positions.push_back(Position{.id = "P-9", .title = "T", .employee = Employee{"500", "Boss"}});
    open.positions.push_back(Position{.id = "7", .title = "T", .employee = Employee{"7", "X"}});
    const std::vector<std::string> header = {"Employee Number", "Employee Name", "Reports To"};
    const struct {
        std::vector<std::vector<std::string>> rows;
        ImportMode mode;
        std::optional<ManagerReferences> expected;
    } cases[] = {
        {{header, {"1", "A", "P-9"}}, ImportMode::add, ManagerReferences::positionIDs},
        {{header, {"1", "A", "P-9"}}, ImportMode::replace, std::nullopt}, // replace ignores the organization
        {{header, {"1", "A", ""}, {"2", "B", " 1 "}}, ImportMode::replace, ManagerReferences::employeeNumbers},
        {{header, {"1", "A", "P-9"}, {"2", "B", "nobody"}}, ImportMode::add, std::nullopt},
        {{header, {"1", "A", "7"}}, ImportMode::add, std::nullopt}, // both an id and a number
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const ImportSheet sheet{.name = "S", .rows = cases[i].rows};
        EXPECT_EQ(TabularImport::guessedManagerReferences(sheet, 0, TabularImport::suggestedMapping(header),
                                                          cases[i].mode, open),
                  cases[i].expected)
            << "case " << i;
    }
}
