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

std::string readFailure(const QString &name, const QByteArray &data)
{
    return errorOf([&] { SpreadsheetReader::read(Fixtures::temporaryFile(name, data)); });
}

const std::string sizeMessage = "Import files must be smaller than 50 MB.";

} // namespace

TEST(SpreadsheetReader, ExtensionsAndEncodings)
{
    // UTF-16 little-endian with its byte-order mark, a character outside the BMP included.
    const QByteArray utf16("\xFF\xFEN\0\t\0\x3C\xD8\xEB\xDF\n\0", 12);
    EXPECT_EQ(SpreadsheetReader::read(Fixtures::temporaryFile("le.tsv", utf16)).at(0).rows, (Rows{{"N", "🏫"}}));
    EXPECT_EQ(readFailure("bad.csv", "Jos\xE9\n"), "Use UTF-8 or UTF-16 text encoding for CSV files.");
    EXPECT_EQ(readFailure("staff.ods", "a,b\n"), "Choose .xls, .xlsx, .csv, or .tsv.");
    EXPECT_EQ(readFailure("empty.csv", ""), "The file is empty.");
}

// Text files have a workbook's rows and columns, the header row counted, so that a file of
// line feeds or commas alone is refused instead of growing a grid many times its size.
TEST(SpreadsheetReader, TextFilesHaveTheWorksheetLimits)
{
    const std::string rowsMessage = "Imports support up to 20,000 worksheet rows.";
    const std::string columnsMessage = "Imports support up to 500 worksheet columns.";
    EXPECT_EQ(SpreadsheetReader::read(QByteArray(20'000, '\n'), "rows.csv").at(0).rows.size(), 20'000u);
    EXPECT_EQ(errorOf([] { SpreadsheetReader::read(QByteArray(20'001, '\n'), "rows.csv"); }), rowsMessage);
    EXPECT_EQ(SpreadsheetReader::read(QByteArray(499, '\t'), "wide.tsv").at(0).rows.at(0).size(), 500u);
    EXPECT_EQ(errorOf([] { SpreadsheetReader::read("a\n" + QByteArray(500, ','), "wide.txt"); }), columnsMessage);
    EXPECT_EQ(readFailure("lines.csv", QByteArray(SpreadsheetReader::fileSizeLimit, '\n')), rowsMessage);
}

TEST(SpreadsheetReader, FileSizeLimit)
{
    // The size comes first, whatever the extension.
    EXPECT_EQ(readFailure("over.ods", QByteArray(SpreadsheetReader::fileSizeLimit + 1, 'x')), sizeMessage);
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
    const std::string message = errorOf([&] { SpreadsheetReader::read(path); });
    writer.join();
    EXPECT_EQ(message, sizeMessage);
}
