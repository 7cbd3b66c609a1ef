#include "app/shell/file_saving.h"

#include "app_test_support.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdio>

using namespace AppTest;

// The stamp a save gives is the written file's as it stands at its name, the change time the
// rename gave it included; a file another program puts there afterwards is not taken for it.
TEST(FileSaving, TheStampIsTheWrittenFiles)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("doc.json");
    writeBytes(path, "old");

    const FileStamp saved = FileSaving::write(path, QByteArray("new"));
    EXPECT_EQ(FileSaving::stampOf(path), saved);

    const QString other = dir.filePath("other.json");
    writeBytes(other, "new");
    ASSERT_EQ(std::rename(other.toLocal8Bit().constData(), path.toLocal8Bit().constData()), 0);
    EXPECT_NE(FileSaving::stampOf(path), saved);
}
