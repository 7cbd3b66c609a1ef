#include "printing_test_support.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace {

// The text of one card alone on a Letter portrait page.
QString cardText(const Position &position, int64_t count = 1)
{
    TestChart chart;
    chart.addCard(position, 40, 40, 132);
    chart.counts[position.id] = count;
    return pageTexts(renderTestChart(chart, ChartPrintSettings{})).value(0);
}

} // namespace

// A group card shows its count instead of a name; a manager elsewhere is named on the card.
TEST(PdfCards, GroupAndPrimaryManagerLines)
{
    Position group = testPosition("P1", "Business Manager", "Ada Lovelace");
    group.groupMemberCount = 3;
    const QString text = cardText(group, 3);
    EXPECT_TRUE(text.contains("POSITION GROUP") && text.contains("(x3)")) << text.toStdString();
    EXPECT_FALSE(text.contains("Ada Lovelace"));

    Position managed = testPosition("P1", "Business Manager", "Ada Lovelace");
    managed.primaryManagerReference =
        PrimaryManagerReference{"M", std::string("Grace Hopper"), "Chief", {{"s1", "Operations"}, {"s2", "Payroll"}}};
    EXPECT_TRUE(cardText(managed).contains(QStringLiteral("Primary: Grace Hopper \u00b7 Operations, Payroll")));
}

TEST(PdfCards, PagesCarryOnlyTheCardsTheyShow)
{
    TestChart chart;
    chart.addCard(testPosition("P1", "Clerk", "Ada Lovelace"), 40, 40);
    chart.addCard(testPosition("P2", "Clerk", "Grace Hopper"), 600, 40);
    const QStringList texts = pageTexts(renderTestChart(chart, ChartPrintSettings{}));
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].contains("Ada Lovelace") && !texts[0].contains("Grace Hopper"));
    EXPECT_TRUE(texts[1].contains("Grace Hopper") && !texts[1].contains("Ada Lovelace"));
}

TEST(PdfPages, EveryTileGetsItsFooterRowByRow)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ChartPrintSettings settings;
    settings.scalePercent = 62.5;
    // Content area 540 x 666 points, overlap 18: three columns and two rows at 62.5 %.
    TestChart empty;
    empty.layout.size = Size{2200, 1600};
    const QStringList texts = pageTexts(renderTestChart(empty, settings));
    QLocale::setDefault(saved);
    ASSERT_EQ(texts.size(), 6);
    for (int page = 1; page <= 6; ++page) {
        const QString footer = QStringLiteral("Row %1 of 2 | Column %2 of 3 | 62.5% | Page %3 of 6")
                                   .arg((page - 1) / 3 + 1)
                                   .arg((page - 1) % 3 + 1)
                                   .arg(page);
        EXPECT_TRUE(texts[page - 1].contains(footer)) << texts[page - 1].toStdString();
    }
}
