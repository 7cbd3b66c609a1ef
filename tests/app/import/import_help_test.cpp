#include "app/import/import_help.h"

#include "app_test_support.h"
#include "error_of.h"

#include "core/import/column_mapping.h"
#include "spreadsheet/spreadsheet_reader.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

TEST(ImportHelp, InstructionsOpenTheBundledPageOrSayTheyCannot)
{
    QTemporaryDir empty;
    std::vector<QUrl> opened;
    const auto opener = [&](bool result) {
        return [&opened, result](const QUrl &url) {
            opened.push_back(url);
            return result;
        };
    };
    const std::string refusal = "Could not open the bundled import instructions.";
    EXPECT_EQ(errorOf([&] { ImportHelp::openInstructions(empty.path(), opener(true)); }), refusal);
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(errorOf([&] { ImportHelp::openInstructions(ImportHelp::resourceDirectory(), opener(false)); }), refusal);
    EXPECT_EQ(errorOf([&] { ImportHelp::openInstructions(ImportHelp::resourceDirectory(), opener(true)); }), "");
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_TRUE(QFileInfo(opened.back().toLocalFile()).isFile());
}

TEST(ImportHelp, TheBundledTemplateIsAnEmptyImportSheetWithEveryColumn)
{
    const std::vector<ImportSheet> sheets =
        SpreadsheetReader::read(QDir(ImportHelp::resourceDirectory()).filePath(ImportHelp::templateFileName));
    ASSERT_EQ(sheets.size(), 2u);
    EXPECT_EQ(sheets[0].name, "Instructions");
    EXPECT_EQ(sheets[1].name, "Template");
    ASSERT_EQ(sheets[1].rows.size(), 1u);
    EXPECT_EQ(TabularImport::suggestedMapping(sheets[1].rows[0]).size(), allImportFields.size());
}
