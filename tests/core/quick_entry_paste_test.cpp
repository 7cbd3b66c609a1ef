#include "core/quick_entry.h"

#include "error_of.h"

#include <gtest/gtest.h>

TEST(QuickEntryPaste, SixColumnsOrTheLegacyForm)
{
    const auto rows = QuickEntryRow::pasted("Ann\tT1\tLead\tArt\tBoss\t South \r\n"
                                            "Bo\tT1\tT1\tArt\t\t\n"
                                            "\t\t\t\t\t\n"
                                            "Cy\tT2\tMusic\tBoss\n"
                                            "\"Lee, \"\"Di\"\"\"\tT1\t\"Line\nTwo\"\tArt\t\t\n");
    ASSERT_EQ(rows.size(), 4u) << "lines of empty cells are dropped";
    EXPECT_EQ(rows[0].customJobTitle, "Lead");
    EXPECT_EQ(rows[0].manager, "Boss");
    EXPECT_EQ(rows[0].location, " South ") << "trimmed only at commit";
    EXPECT_TRUE(rows[1].jobTitleFollowsPayLevel()) << "a job title equal to the pay level follows it";
    EXPECT_EQ(rows[2].department, "Music");
    EXPECT_EQ(rows[2].manager, "Boss");
    EXPECT_TRUE(rows[2].jobTitleFollowsPayLevel());
    EXPECT_EQ(rows[3].name, "Lee, \"Di\"");
    EXPECT_EQ(rows[3].customJobTitle, "Line\nTwo");
}

TEST(QuickEntryPaste, RefusedPastes)
{
    const char *const tooWide = "Paste six columns: Name, Pay Level, Job Title, Department, Manager, Location. "
                                "Legacy five-column rows are also accepted.";
    struct Case {
        const char *text;
        std::string message;
    };
    const Case cases[] = {
        {"", "The file is empty."},
        {"Ann\tT1\n\t\t\t\t\t\t\n", tooWide}, // seven empty cells still refuse
        {"Ann\t \"T1\"\n", "CSV quotes must surround the entire field."},
        {"\"Ann\tT1\n", "CSV contains an unclosed quoted field."},
    };
    for (const Case &c : cases)
        EXPECT_EQ(errorOf([&] { QuickEntryRow::pasted(c.text); }), c.message) << c.text;
}
