#include "core/support/number_text.h"

#include <gtest/gtest.h>

TEST(NumberText, ReadsNumbersInTheCLocaleOnly)
{
    const std::pair<const char *, std::optional<double>> decimals[] = {
        {".5", 0.5}, {"2E2", 200.0}, {"1,5", std::nullopt}, {"0x1p-1", std::nullopt}, {" 1", std::nullopt}, {"1e999", std::nullopt},
    };
    for (const auto &[text, value] : decimals)
        EXPECT_EQ(NumberText::decimal(text), value) << text;
    EXPECT_EQ(NumberText::wholeNumber("+7"), 7);
    for (const char *bad : {"1.5", "99999999999999999999"})
        EXPECT_EQ(NumberText::wholeNumber(bad), std::nullopt) << bad;
}

TEST(NumberText, WritesTheShortestDecimalWithAFraction)
{
    const std::pair<double, const char *> cases[] = {
        {1, "1.0"}, {0.1 + 0.2, "0.30000000000000004"}, {0.000015, "1.5e-05"},
        {9007199254740992.0, "9007199254740992.0"}, {18014398509481984.0, "1.8014398509481984e+16"},
    };
    for (const auto &[value, text] : cases)
        EXPECT_EQ(NumberText::shortestDecimal(value), text) << text;
}
