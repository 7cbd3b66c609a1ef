#include "printing/file_names.h"

#include <gtest/gtest.h>

// A name proposed from a long title fits in the 255 bytes a file name may have: the title
// is cut, never the suffix, and never inside a character.
TEST(FileNames, LongTitlesAreCutToWholeCharactersBeforeTheSuffix)
{
    const QString suffix = QStringLiteral(" \u2014 Change Report.txt");
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467"); // one character, 18 bytes
    const struct {
        QString title;
        QChar repeated; // what the kept title is made of, or nothing to skip the check
    } cases[] = {
        {QString(2000, QLatin1Char('a')), QLatin1Char('a')},
        {QString(2000, QChar(0x00E9)), QChar(0x00E9)},
        {QString(2000, QLatin1Char('e')), QLatin1Char('e')},
    };
    for (const auto &c : cases) {
        const QString name = FileNames::fitted(c.title, suffix);
        EXPECT_LE(name.toUtf8().size(), 255);
        EXPECT_GT(name.toUtf8().size(), 250);
        EXPECT_TRUE(name.endsWith(suffix));
        const QString kept = name.chopped(suffix.size());
        EXPECT_EQ(kept, QString(kept.size(), c.repeated));
    }
    QString families;
    for (int i = 0; i < 100; ++i)
        families += family;
    const QString cut = FileNames::fitted(families, QStringLiteral(".json"));
    EXPECT_EQ(cut, families.left(13 * family.size()) + ".json"); // 13 × 18 + 5 = 239 bytes; one more is 257
    // An accent joined to its letter goes with it.
    const QString accented = QString(125, QLatin1Char('a')) + QStringLiteral("e\u0301") + QString(200, QLatin1Char('b'));
    EXPECT_EQ(FileNames::cutToBytes(accented, 126), QString(125, QLatin1Char('a')));
    EXPECT_EQ(FileNames::fitted(QStringLiteral("Finance"), QStringLiteral(".pdf")), "Finance.pdf");
}
