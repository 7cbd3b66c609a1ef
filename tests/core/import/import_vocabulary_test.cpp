#include "core/import/import_json.h"
#include "core/import/import_review.h"

#include <gtest/gtest.h>

#include <set>

TEST(ImportVocabulary, FieldsInWindowOrderWithUniqueAliases)
{
    std::vector<std::string_view> headers;
    std::set<std::string_view> aliases;
    size_t aliasCount = 0;
    for (ImportField field : allImportFields) {
        headers.push_back(importFieldHeader(field));
        for (std::string_view alias : importFieldAliases(field)) {
            aliases.insert(alias);
            ++aliasCount;
            for (char c : alias)
                EXPECT_TRUE((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) << alias;
        }
    }
    EXPECT_EQ(aliases.size(), aliasCount);
    EXPECT_EQ(headers, (std::vector<std::string_view>{
                           "Position ID", "Employee Number", "Employee Name", "Pay Level", "Job Title", "Department",
                           "Primary Manager ID", "Dotted Manager IDs (: separated)", "School / District Office", "FTE",
                           "Vacant", "Assistant", "Sibling Order", "School Allocations (School=FTE; ...)"}));
    EXPECT_EQ(importFieldWithHeader("Pay Level"), ImportField::title);
    EXPECT_EQ(importFieldWithHeader("pay level"), std::nullopt);
}

TEST(ImportVocabulary, ModeAndFilterLabels)
{
    std::vector<std::string_view> modes;
    for (ImportMode mode : allImportModes)
        modes.push_back(importModeLabel(mode));
    EXPECT_EQ(modes, (std::vector<std::string_view>{"Add People to This Organization", "Replace Organization",
                                                    "Update Matching IDs / Add New"}));
    std::vector<std::string_view> filters;
    for (ImportRowFilter filter : allImportRowFilters)
        filters.push_back(importRowFilterLabel(filter));
    EXPECT_EQ(filters, (std::vector<std::string_view>{"All Rows", "Errors", "Warnings", "Null Managers"}));
    EXPECT_EQ(importModeWithLabel("Replace Organization"), ImportMode::replace);
    EXPECT_EQ(importModeWithLabel("replace organization"), std::nullopt);
}

TEST(ImportVocabulary, FieldDecodingAcceptsOnlyCanonicalHeadersAndTheLegacyPayLevel)
{
    EXPECT_EQ(ImportJson::decodeField("Position / Title"), ImportField::title);
    EXPECT_EQ(ImportJson::decodeField("Dotted Manager IDs (: separated)"), ImportField::dotted);
    try {
        ImportJson::decodeField("position id");
        FAIL();
    } catch (const JsonRead::Error &error) {
        EXPECT_STREQ(error.what(), "Unknown import field: position id");
    }
    EXPECT_EQ(ImportJson::encode(ImportField::title), "Pay Level");
    EXPECT_THROW(ImportJson::decodeMode("Add"), JsonRead::Error);
    EXPECT_EQ(ImportJson::decodeMode(ImportJson::encode(ImportMode::update)), ImportMode::update);
}

TEST(ImportVocabulary, SheetJsonKeepsAbsentAndEmptyIssueListsApart)
{
    const auto absent = ImportJson::decodeSheet(nlohmann::json::parse(R"({"name":"S","rows":[["a","b"],[]]})"));
    EXPECT_FALSE(absent.sourceIssues.has_value());
    EXPECT_FALSE(ImportJson::encode(absent).contains("sourceIssues"));

    const auto empty = ImportJson::decodeSheet(nlohmann::json::parse(R"({"name":"S","rows":[],"sourceIssues":[]})"));
    ASSERT_TRUE(empty.sourceIssues.has_value());
    EXPECT_TRUE(empty.sourceIssues->empty());
    EXPECT_EQ(ImportJson::encode(empty)["sourceIssues"], nlohmann::json::array());
    EXPECT_NE(absent, (ImportSheet{.name = "S", .rows = {{"a", "b"}, {}}, .sourceIssues = std::vector<ImportCellIssue>{}}));

    const ImportSheet sheet{.name = "Staff", .rows = {{"x"}}, .sourceIssues = {{{.row = 0, .column = 0, .value = "#NO_SAVED_RESULT", .message = "m"}}}};
    EXPECT_EQ(ImportJson::decodeSheet(ImportJson::encode(sheet)), sheet);

    for (const char *bad : {R"({"rows":[]})", R"({"name":"S","rows":[["a",1]]})", R"({"name":"S","rows":["a"]})",
                            R"({"name":"S","rows":[],"sourceIssues":[{"row":0,"column":0,"value":"v"}]})"})
        EXPECT_THROW(ImportJson::decodeSheet(nlohmann::json::parse(bad)), JsonRead::Error) << bad;
}

TEST(ImportVocabulary, MessagesForRowMatchTheWholeNumber)
{
    ImportReview review;
    review.errors = {"Row 1: first", "Row 10: tenth", "Row 1x: odd", "Row 1: second", "Choose a valid header row."};
    review.warnings = {"Row 1: warned"};
    EXPECT_EQ(review.messages(1, ImportMessageKind::error), (std::vector<std::string>{"Row 1: first", "Row 1: second"}));
    EXPECT_EQ(review.messages(1, ImportMessageKind::warning), (std::vector<std::string>{"Row 1: warned"}));
    EXPECT_TRUE(review.messages(2, ImportMessageKind::error).empty());
}
