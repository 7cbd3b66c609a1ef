#include "core/support/number_text.h"

#include <gtest/gtest.h>

#include <cmath>

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

TEST(NumberText, ReadsDecimalsInTheCLocaleOnly)
{
    struct Case {
        const char *text;
        std::optional<double> value;
    };
    const Case cases[] = {
        {"0.5", 0.5}, {"+0.5", 0.5}, {"-1", -1.0}, {".5", 0.5}, {"5.", 5.0}, {"1e-3", 0.001}, {"2E2", 200.0},
        {"", std::nullopt}, {"+", std::nullopt}, {"+-1", std::nullopt}, {"++1", std::nullopt},
        {"1,5", std::nullopt}, {"1 000", std::nullopt}, {"0x1p-1", std::nullopt}, {"0x10", std::nullopt},
        {" 1", std::nullopt}, {"1 ", std::nullopt}, {"1e999", std::nullopt}, {"abc", std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(NumberText::decimal(c.text), c.value) << c.text;
    EXPECT_TRUE(std::isinf(*NumberText::decimal("inf")));
    EXPECT_TRUE(std::isnan(*NumberText::decimal("nan")));
}

TEST(NumberText, ReadsWholeNumbers)
{
    EXPECT_EQ(NumberText::wholeNumber("42"), 42);
    EXPECT_EQ(NumberText::wholeNumber("+7"), 7);
    EXPECT_EQ(NumberText::wholeNumber("-3"), -3);
    for (const char *bad : {"", "1.5", "1e2", "0x5", "+-1", "99999999999999999999", " 1", "one"})
        EXPECT_EQ(NumberText::wholeNumber(bad), std::nullopt) << bad;
}

TEST(NumberText, WritesTheShortestDecimalWithAFraction)
{
    struct Case {
        double value;
        const char *text;
    };
    const Case cases[] = {
        {1, "1.0"}, {0.75, "0.75"}, {0.1, "0.1"}, {0.1 + 0.2, "0.30000000000000004"}, {100, "100.0"},
        {123.456, "123.456"}, {-2.5, "-2.5"}, {0.0001, "0.0001"}, {0.00001, "1e-05"}, {0.000015, "1.5e-05"},
        {9007199254740992.0, "9007199254740992.0"}, {18014398509481984.0, "1.8014398509481984e+16"},
        {1e300, "1e+300"}, {5e-324, "5e-324"}, {0.0, "0.0"}, {-0.0, "-0.0"}, {INFINITY, "inf"}, {NAN, "nan"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(NumberText::shortestDecimal(c.value), c.text) << c.text;
}
