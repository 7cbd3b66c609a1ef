#include "core/text.h"

#include <gtest/gtest.h>

TEST(Text, CompareIgnoresCaseAndReadsDigitRunsInEveryLocale)
{
    EXPECT_EQ(Text::localizedStandardCompare("smith", "Smith"), 0);
    EXPECT_LT(Text::localizedStandardCompare("Room 9", "room 10"), 0);
    EXPECT_LT(Text::localizedStandardKey("b"), Text::localizedStandardKey("C"));
}

TEST(Text, UnicodeWhiteSpaceTrimsAndSplitsWords)
{
    EXPECT_EQ(Text::trimmed("\u00A0\u0085 a b\u2028\u2029\t\n"), "a b");
    EXPECT_FALSE(Text::isBlank("\u200B")); // zero width space is not white space
    EXPECT_EQ(Text::words("  Ann\u00A0Lee\u2028Jr.\t"), (std::vector<std::string>{"Ann", "Lee", "Jr."}));
}
