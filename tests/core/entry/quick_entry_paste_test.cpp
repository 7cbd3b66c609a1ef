#include "core/entry/quick_entry.h"

#include "error_of.h"

#include <gtest/gtest.h>

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
