#include <gtest/gtest.h>

#include <QColor>
#include <QRectF>
#include <QStandardItemModel>
#include <QString>
#include <QStringList>

using ::testing::PrintToString;

// A failing comparison of Qt values names them in words, not as the objects' raw bytes.
TEST(TestPrinters, QtValuesReadPlainly)
{
    EXPECT_EQ(PrintToString(QString("Chart \"A\"")), PrintToString(std::string("Chart \"A\"")));
    EXPECT_EQ(PrintToString(QStringList{"a", "b"}), "{ \"a\", \"b\" }");
    EXPECT_EQ(PrintToString(QRectF(1, 2, 3, 4)), "(1, 2) 3 x 4");
    EXPECT_EQ(PrintToString(QColor(Qt::red)), "#ffff0000");

    QStandardItemModel rows;
    auto *group = new QStandardItem("Site 0 (2)");
    group->appendRow(new QStandardItem("Vacant position"));
    rows.appendRow(group);
    EXPECT_EQ(PrintToString(rows.index(0, 0, rows.index(0, 0))), "\"Site 0 (2)\" > \"Vacant position\"");
    EXPECT_EQ(PrintToString(QModelIndex()), "no row");
}
