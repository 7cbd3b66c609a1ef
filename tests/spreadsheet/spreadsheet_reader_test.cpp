#include "error_of.h"
#include "spreadsheet/spreadsheet_reader.h"

#include "workbook_fixtures.h"

#include <QDir>
#include <QFile>
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

std::string readFailure(const QString &name, const QByteArray &data)
{
    return readFailure(Fixtures::temporaryFile(name, data));
}

Rows rowsOf(const QString &name, const QByteArray &data)
{
    const std::vector<ImportSheet> sheets = SpreadsheetReader::read(Fixtures::temporaryFile(name, data));
    EXPECT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets.at(0).name, "CSV");
    EXPECT_EQ(sheets.at(0).sourceIssues, std::vector<ImportCellIssue>{});
    return sheets.at(0).rows;
}

QByteArray utf16(const std::u16string &text, bool bigEndian)
{
    QByteArray bytes = bigEndian ? QByteArray("\xFE\xFF", 2) : QByteArray("\xFF\xFE", 2);
    for (char16_t unit : text) {
        const char high = char(unit >> 8), low = char(unit & 0xFF);
        bytes.append(bigEndian ? high : low);
        bytes.append(bigEndian ? low : high);
    }
    return bytes;
}

const std::string encodingMessage = "Use UTF-8 or UTF-16 text encoding for CSV files.";
const std::string sizeMessage = "Import files must be smaller than 50 MB.";

} // namespace

TEST(SpreadsheetReader, DispatchesOnTheExtension)
{
    EXPECT_EQ(rowsOf("staff.CSV", "a,b\n1,2\n"), (Rows{{"a", "b"}, {"1", "2"}}));
    EXPECT_EQ(rowsOf("staff.tsv", "a,b\tc\n"), (Rows{{"a,b", "c"}}));
    EXPECT_EQ(rowsOf("staff.txt", "a;b;c\n"), (Rows{{"a", "b", "c"}}));
    EXPECT_EQ(readFailure("staff.ods", "a,b\n"), "Choose .xls, .xlsx, .csv, or .tsv.");
    EXPECT_EQ(readFailure("staff", "a,b\n"), "Choose .xls, .xlsx, .csv, or .tsv.");
    EXPECT_EQ(readFailure("staff.xlsx", "a,b\n"), "Could not read xl/workbook.xml. Use a valid, unencrypted .xlsx workbook.");
    EXPECT_EQ(readFailure("staff.XLSX", "a,b\n"), "Could not read xl/workbook.xml. Use a valid, unencrypted .xlsx workbook.");
    EXPECT_EQ(readFailure("staff.xls", "a,b\n"),
              "This is not a valid binary .xls workbook. Use the original Excel file, not a renamed CSV or .xlsx file.");
    EXPECT_EQ(readFailure("empty.csv", ""), "The file is empty.");
    EXPECT_EQ(readFailure(QDir::temp().filePath("no-such-folder-for-vantrel/staff.csv")),
              "Could not open staff.csv: No such file or directory.");
    QTemporaryDir folder;
    ASSERT_TRUE(QDir(folder.path()).mkdir("folder.csv"));
    EXPECT_EQ(readFailure(folder.filePath("folder.csv")), "Could not open folder.csv: file to open is a directory.");
}

TEST(SpreadsheetReader, TextEncodings)
{
    EXPECT_EQ(rowsOf("bom.csv", "\xEF\xBB\xBFName\nJos\xC3\xA9\n"), (Rows{{"Name"}, {"José"}}));
    EXPECT_EQ(rowsOf("le.csv", utf16(u"Name,Ort\nJos\u00E9,\U0001F3EB\n", false)), (Rows{{"Name", "Ort"}, {"José", "🏫"}}));
    EXPECT_EQ(rowsOf("be.csv", utf16(u"Name\tOrt\n", true)), (Rows{{"Name", "Ort"}}));

    const struct {
        const char *why;
        QByteArray data;
    } refused[] = {
        {"Latin-1", "Name\nJos\xE9\n"},
        {"UTF-16 without a byte-order mark", QByteArray("N\0a\0m\0\xE9\0", 8)},
        {"odd UTF-16 length", utf16(u"Name", false) + "x"},
        {"lone surrogate", utf16(std::u16string(u"Name") + char16_t(0xD800) + u"x", false)},
        {"overlong UTF-8", "Name\n\xC0\xAF\n"},
    };
    for (const auto &c : refused)
        EXPECT_EQ(readFailure("bad.csv", c.data), encodingMessage) << c.why;
}

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
    QByteArray atLimit(SpreadsheetReader::fileSizeLimit, 'x');
    atLimit[0] = 'a';
    atLimit[1] = '\n';
    const std::vector<ImportSheet> sheets = SpreadsheetReader::read(Fixtures::temporaryFile("limit.csv", atLimit));
    EXPECT_EQ(sheets.at(0).rows.size(), 2u);

    atLimit.append('x');
    EXPECT_EQ(readFailure("over.csv", atLimit), sizeMessage);
    // The size comes first, whatever the extension.
    EXPECT_EQ(readFailure("over.ods", atLimit), sizeMessage);
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

// Characters of two and three UTF-8 bytes from UTF-16 in either byte order, and the broken
// surrogates that make the text no UTF-16 at all.
TEST(SpreadsheetReader, Utf16BecomesUtf8CharacterByCharacter)
{
    EXPECT_EQ(rowsOf("le.csv", utf16(u"\u00E9,\u20AC\u65E5\n", false)), (Rows{{"é", "€日"}}));
    EXPECT_EQ(rowsOf("be.csv", utf16(u"\u00E9,\u20AC\u65E5\n", true)), (Rows{{"é", "€日"}}));
    EXPECT_EQ(rowsOf("top.csv", utf16(u"\uFFFD\u0800\n", true)), (Rows{{"\uFFFD\u0800"}}));

    const struct {
        const char *why;
        QByteArray data;
    } refused[] = {
        {"low surrogate first", utf16(std::u16string(u"a") + char16_t(0xDC00) + u"b", false)},
        {"low surrogate first, big-endian", utf16(std::u16string(u"a") + char16_t(0xDFFF), true)},
        {"high surrogate at the end", utf16(std::u16string(u"ab") + char16_t(0xDBFF), false)},
        {"high surrogate before a plain character", utf16(std::u16string(u"a") + char16_t(0xD800) + u"b", true)},
    };
    for (const auto &c : refused)
        EXPECT_EQ(readFailure("bad.csv", c.data), encodingMessage) << c.why;
}

// Bytes already in memory are held to the same size limit as a file, before the extension.
TEST(SpreadsheetReader, BytesInMemoryHaveTheFileSizeLimit)
{
    const QByteArray over(SpreadsheetReader::fileSizeLimit + 1, '\n');
    EXPECT_EQ(errorOf([&] { SpreadsheetReader::read(over, "big.csv"); }), sizeMessage);
    EXPECT_EQ(errorOf([&] { SpreadsheetReader::read(over, "big.ods"); }), sizeMessage);
}

// A read that fails part way is an error, never an empty or shortened file.
TEST(SpreadsheetReader, FailedReadIsReported)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("memory.csv");
    // Reading a process's own memory at offset 0 fails with an I/O error.
    ASSERT_TRUE(QFile::link("/proc/self/mem", path));
    const std::string message = readFailure(path);
    EXPECT_TRUE(message.starts_with("Could not read memory.csv: ")) << message;
    EXPECT_TRUE(message.ends_with(".")) << message;
}
