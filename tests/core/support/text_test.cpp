#include "core/support/text.h"

#include <gtest/gtest.h>

TEST(Text, LocalizedStandardCompareIgnoresCaseAndReadsDigitRuns)
{
    // Holds in every locale the tests run under, the C locale included.
    EXPECT_EQ(Text::localizedStandardCompare("smith", "Smith"), 0);
    EXPECT_LT(Text::localizedStandardCompare("anna", "Bo"), 0);
    EXPECT_LT(Text::localizedStandardCompare("Room 9", "room 10"), 0);
    EXPECT_EQ(Text::localizedStandardKey("ALPHA 2"), Text::localizedStandardKey("alpha 2"));
    EXPECT_LT(Text::localizedStandardKey("b"), Text::localizedStandardKey("C"));
}

TEST(Text, TrimsUnicodeWhiteSpaceAndNewlines)
{
    EXPECT_EQ(Text::trimmed("\u00A0\u0085 a b\u2028\u2029\t\n"), "a b");
    EXPECT_TRUE(Text::isBlank("\u3000 \r\n"));
    EXPECT_FALSE(Text::isBlank("\u200B")); // zero width space is not white space
}

TEST(Text, WordsSplitAtAnyUnicodeWhiteSpace)
{
    EXPECT_EQ(Text::words("  Ann\u00A0Lee\u2028Jr.\t"), (std::vector<std::string>{"Ann", "Lee", "Jr."}));
    EXPECT_TRUE(Text::words(" \u3000 ").empty());
}
