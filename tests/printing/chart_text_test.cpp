#include "printing/chart_text.h"

#include <gtest/gtest.h>

#include <QFontInfo>

TEST(ChartText, FontIsTheNamedFamilyOnEveryMachine)
{
    // A missing family would fall back silently and move every line break.
    EXPECT_EQ(QFontInfo(ChartText::font(12)).family(), "DejaVu Sans");
    EXPECT_EQ(QFontInfo(ChartText::font(12, ChartText::Weight::bold)).family(), "DejaVu Sans");
    EXPECT_EQ(ChartText::font(9).pixelSize(), 9);
}

TEST(ChartText, DecimalsDropTrailingZerosInTheLocalesStyle)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    struct Case {
        double value;
        int digits;
        QLocale locale;
        QString expected;
    };
    const Case cases[] = {
        {100, 2, english, "100"},     {62.5, 2, english, "62.5"},  {33.3333, 2, english, "33.33"},
        {0.125, 3, english, "0.125"}, {1.0 / 3, 3, english, "0.333"}, {1, 3, english, "1"},
        {62.5, 2, german, "62,5"},    {1234.5, 2, english, "1,234.5"}, {99.999, 2, english, "100"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ChartText::decimal(c.value, c.digits, c.locale), c.expected) << c.value;
}
