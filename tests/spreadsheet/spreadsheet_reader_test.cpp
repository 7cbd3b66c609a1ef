#include "error_of.h"
#include "spreadsheet/spreadsheet_reader.h"

#include "workbook_fixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <thread>

using Rows = std::vector<std::vector<std::string>>;

namespace {

std::string readFailure(const QString &path)
{
    return errorOf([&] { SpreadsheetReader::read(path); });
}

Rows rowsOf(const QString &name, const QByteArray &data)
{
    return SpreadsheetReader::read(Fixtures::temporaryFile(name, data)).at(0).rows;
}

const std::string sizeMessage = "Import files must be smaller than 50 MB.";

} // namespace

TEST(SpreadsheetReader, DispatchesOnTheExtension)
{
    EXPECT_EQ(rowsOf("staff.tsv", "a,b\tc\n"), (Rows{{"a,b", "c"}}));
    EXPECT_EQ(rowsOf("staff.txt", "a;b;c\n"), (Rows{{"a", "b", "c"}}));
    EXPECT_EQ(readFailure(Fixtures::temporaryFile("staff.ods", "a,b\n")), "Choose .xls, .xlsx, .csv, or .tsv.");
    EXPECT_EQ(readFailure(Fixtures::temporaryFile("staff.XLSX", "a,b\n")),
              "Could not read xl/workbook.xml. Use a valid, unencrypted .xlsx workbook.");
    EXPECT_EQ(readFailure(Fixtures::temporaryFile("empty.csv", "")), "The file is empty.");
}

TEST(SpreadsheetReader, TextEncodings)
{
    // UTF-16 little-endian with its byte-order mark, a character outside the BMP included.
    const QByteArray utf16("\xFF\xFEN\0,\0\x3C\xD8\xEB\xDF\n\0", 12);
    EXPECT_EQ(rowsOf("le.csv", utf16), (Rows{{"N", "🏫"}}));
    EXPECT_EQ(rowsOf("bom.csv", "\xEF\xBB\xBFJos\xC3\xA9\n"), (Rows{{"José"}}));
    for (const QByteArray &refused : {QByteArray("Jos\xE9\n"), QByteArray("\xFF\xFE\x00\xD8x\0", 6)})
        EXPECT_EQ(readFailure(Fixtures::temporaryFile("bad.csv", refused)),
                  "Use UTF-8 or UTF-16 text encoding for CSV files.");
}

TEST(SpreadsheetReader, FileSizeLimit)
{
    QByteArray atLimit(SpreadsheetReader::fileSizeLimit, 'x');
    atLimit[1] = '\n';
    EXPECT_EQ(SpreadsheetReader::read(Fixtures::temporaryFile("limit.csv", atLimit)).at(0).rows.size(), 2u);
    // The size comes first, whatever the extension.
    EXPECT_EQ(readFailure(Fixtures::temporaryFile("over.ods", atLimit + "x")), sizeMessage);
}

// A pipe has no size beforehand; the limit still holds while it is read.
TEST(SpreadsheetReader, FileSizeLimitWhileReading)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("stream.csv");
    ASSERT_EQ(mkfifo(path.toUtf8().constData(), 0600), 0);
    // Exactly one byte too many: the reader takes every byte before it refuses, so the
    // writer never writes into a closed pipe.
    std::thread writer([&] {
        std::ofstream pipe(path.toStdString(), std::ios::binary);
        const std::string block(1'000'000, 'x');
        for (int i = 0; i < 50; ++i)
            pipe.write(block.data(), std::streamsize(block.size()));
        pipe.put('x');
    });
    const std::string message = readFailure(path);
    writer.join();
    EXPECT_EQ(message, sizeMessage);
}
