#include "core/import/column_mapping.h"

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
