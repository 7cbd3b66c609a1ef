#include "core/entry/quick_entry.h"

#include "core/support/organization_error.h"
#include "error_of.h"

#include <gtest/gtest.h>

namespace {

std::string pasteFailure(std::string_view text)
{
    try {
        QuickEntryRow::pasted(text);
    } catch (const OrganizationError &error) {
        return error.message();
    }
    return "no error";
}

const char *const tooWide =
    "Paste six columns: Name, Pay Level, Job Title, Department, Manager, Location. Legacy five-column rows are also accepted.";

} // namespace

TEST(QuickEntryPaste, SixColumnsWithJobTitleRule)
{
    const auto rows = QuickEntryRow::pasted("Ann\tT1\tLead\tArt\tBoss\tNorth\r\n"
                                            "Bo\tT1\tT1\tArt\t\t\n"
                                            "Cy\tT1\t\tArt\tBoss\t South \n");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].name, "Ann");
    EXPECT_EQ(rows[0].title, "T1");
    EXPECT_EQ(rows[0].customJobTitle, "Lead");
    EXPECT_EQ(rows[0].department, "Art");
    EXPECT_EQ(rows[0].manager, "Boss");
    EXPECT_EQ(rows[0].location, "North");
    EXPECT_TRUE(rows[1].jobTitleFollowsPayLevel());
    EXPECT_TRUE(rows[2].jobTitleFollowsPayLevel());
    EXPECT_EQ(rows[2].location, " South "); // trimmed only at commit
    for (const QuickEntryRow &row : rows) {
        EXPECT_FALSE(row.isExisting());
        EXPECT_FALSE(row.vacant);
        EXPECT_EQ(row.quantity, 1);
    }
    EXPECT_NE(rows[0].id, rows[1].id);
}

TEST(QuickEntryPaste, ShortLinesAreTheLegacyForm)
{
    const auto rows = QuickEntryRow::pasted("Ann\tT1\tArt\tBoss\tNorth\nBo\tT2\tMusic\nCy");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].department, "Art");
    EXPECT_EQ(rows[0].manager, "Boss");
    EXPECT_EQ(rows[0].location, "North");
    EXPECT_TRUE(rows[0].jobTitleFollowsPayLevel());
    EXPECT_EQ(rows[1].department, "Music");
    EXPECT_EQ(rows[1].manager, "");
    EXPECT_EQ(rows[2].name, "Cy");
    EXPECT_EQ(rows[2].title, "");
}

TEST(QuickEntryPaste, QuotedCellsKeepTabsAndLineBreaks)
{
    const auto rows = QuickEntryRow::pasted("\"Lee, \"\"Ann\"\"\"\tT1\t\"Line\nTwo\"\tArt\t\t\n");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name, "Lee, \"Ann\"");
    EXPECT_EQ(rows[0].customJobTitle, "Line\nTwo");
}

TEST(QuickEntryPaste, BlankLinesAreDroppedButWideLinesRefuseThePaste)
{
    EXPECT_TRUE(QuickEntryRow::pasted("\n\t\t\n\t\t\t\t\t\n").empty());
    EXPECT_EQ(QuickEntryRow::pasted(" \n").size(), 1u); // a blank cell is still a cell with text
    struct Case {
        const char *text;
        std::string message;
    };
    const Case cases[] = {
        {"", "The file is empty."},
        {"Ann\tT1\tLead\tArt\tBoss\tNorth\textra\n", tooWide},
        {"Ann\tT1\n\t\t\t\t\t\t\n", tooWide}, // seven empty cells still refuse
        {"Ann\t \"T1\"\n", "CSV quotes must surround the entire field."},
        {"\"Ann\tT1\n", "CSV contains an unclosed quoted field."},
    };
    for (const Case &c : cases)
        EXPECT_EQ(pasteFailure(c.text), c.message) << c.text;
}

TEST(QuickEntryPaste, SixColumnsOrTheLegacyFormAndRefusals)
{
    const auto rows = QuickEntryRow::pasted("Ann\tT1\tLead\tArt\tBoss\t South \r\n"
                                            "Bo\tT1\tT1\tArt\t\t\n"
                                            "\t\t\t\t\t\n"
                                            "Cy\tT2\tMusic\tBoss\n"
                                            "\"Lee, \"\"Di\"\"\"\tT1\t\"Line\nTwo\"\tArt\t\t\n");
    ASSERT_EQ(rows.size(), 4u) << "lines of empty cells are dropped";
    EXPECT_EQ(rows[0].customJobTitle, "Lead");
    EXPECT_EQ(rows[0].location, " South ") << "trimmed only at commit";
    EXPECT_TRUE(rows[1].jobTitleFollowsPayLevel()) << "a job title equal to the pay level follows it";
    EXPECT_EQ(rows[2].department, "Music");
    EXPECT_EQ(rows[2].manager, "Boss");
    EXPECT_EQ(rows[3].name, "Lee, \"Di\"");
    EXPECT_EQ(rows[3].customJobTitle, "Line\nTwo");
    EXPECT_EQ(errorOf([] { QuickEntryRow::pasted(""); }), "The file is empty.");
    EXPECT_EQ(errorOf([] { QuickEntryRow::pasted("Ann\tT1\n\t\t\t\t\t\t\n"); }),
              "Paste six columns: Name, Pay Level, Job Title, Department, Manager, Location. "
              "Legacy five-column rows are also accepted.")
        << "seven empty cells still refuse";
}
