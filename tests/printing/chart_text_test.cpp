#include "printing/chart_text.h"

#include <gtest/gtest.h>

#include <QFontInfo>

// A missing family would fall back silently and move every line break.
TEST(ChartText, FontIsTheNamedFamilyOnEveryMachine)
{
    EXPECT_EQ(QFontInfo(ChartText::font(12, ChartText::Weight::bold)).family(), "DejaVu Sans");
}
