#include "spreadsheet/spreadsheet_reader.h"

#include "core/support/delimited_text.h"
#include "core/support/organization_error.h"
#include "core/support/text.h"
#include "core/support/text_characters.h"
#include "spreadsheet/legacy_excel_reader.h"
#include "spreadsheet/xlsx_reader.h"

#include <QFile>
#include <QFileInfo>

#include <optional>
#include <string>

namespace {

enum class FileKind { xlsx, xls, delimited, tabSeparated };

[[noreturn]] void fail(std::string message)
{
    throw OrganizationError::invalid(std::move(message));
}

[[noreturn]] void failSize()
{
    fail("Import files must be smaller than 50 MB.");
}

FileKind kindOf(const QString &fileName)
{
    const QString extension = QFileInfo(fileName).suffix().toLower();
    if (extension == QLatin1String("xlsx"))
        return FileKind::xlsx;
    if (extension == QLatin1String("xls"))
        return FileKind::xls;
    if (extension == QLatin1String("tsv"))
        return FileKind::tabSeparated;
    if (extension == QLatin1String("csv") || extension == QLatin1String("txt"))
        return FileKind::delimited;
    fail("Choose .xls, .xlsx, .csv, or .tsv.");
}

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// UTF-16 in either byte order, strict about surrogates. Written straight to UTF-8: a
// 50 MB file must not pass through a buffer of four bytes per character.
std::optional<std::string> utf8FromUtf16(std::string_view bytes, bool bigEndian)
{
    if (bytes.size() % 2 != 0)
        return std::nullopt;
    std::string text;
    text.reserve(bytes.size() / 2);
    auto unitAt = [&](size_t i) {
        const auto high = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
        const auto low = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
        return char32_t(high << 8 | low);
    };
    for (size_t i = 0; i < bytes.size(); i += 2) {
        const char32_t unit = unitAt(i);
        if (unit >= 0xDC00 && unit <= 0xDFFF)
            return std::nullopt;
        if (unit < 0xD800 || unit > 0xDBFF) {
            appendUtf8(text, unit);
            continue;
        }
        if (i + 2 >= bytes.size())
            return std::nullopt;
        const char32_t next = unitAt(i + 2);
        if (next < 0xDC00 || next > 0xDFFF)
            return std::nullopt;
        appendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
        i += 2;
    }
    return text;
}

// UTF-8 as it is (read in place, not copied); UTF-16 only behind its byte-order mark, since
// without one almost any bytes of even length would pass as UTF-16. Rows and columns are
// bounded as in a workbook.
ImportSheet delimitedSheet(const QByteArray &data, std::optional<char32_t> delimiter)
{
    const std::string_view bytes(data.constData(), size_t(data.size()));
    if (Text::isWellFormedUtf8(bytes))
        return TabularImport::csv(bytes, delimiter, worksheetLimits);
    std::optional<std::string> text;
    if (bytes.starts_with("\xFF\xFE"))
        text = utf8FromUtf16(bytes.substr(2), false);
    else if (bytes.starts_with("\xFE\xFF"))
        text = utf8FromUtf16(bytes.substr(2), true);
    if (!text)
        fail("Use UTF-8 or UTF-16 text encoding for CSV files.");
    return TabularImport::csv(*text, delimiter, worksheetLimits);
}

// The whole file, refused as soon as it passes the limit: the size known beforehand can be
// wrong or missing (a pipe, a file still growing).
QByteArray readLimited(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail("Could not open " + QFileInfo(path).fileName().toStdString() + ": " + file.errorString().toStdString() + ".");
    QByteArray data;
    constexpr qint64 chunk = 1 << 20;
    while (true) {
        const QByteArray piece = file.read(chunk);
        if (piece.isEmpty()) {
            if (file.error() != QFileDevice::NoError)
                fail("Could not read " + QFileInfo(path).fileName().toStdString() + ": " +
                     file.errorString().toStdString() + ".");
            return data;
        }
        if (data.size() + piece.size() > SpreadsheetReader::fileSizeLimit)
            failSize();
        data.append(piece);
    }
}

} // namespace

std::vector<ImportSheet> SpreadsheetReader::read(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        fail("Could not open " + info.fileName().toStdString() + ": No such file or directory.");
    if (info.isFile() && info.size() > fileSizeLimit)
        failSize();
    kindOf(path);
    return read(readLimited(path), path);
}

std::vector<ImportSheet> SpreadsheetReader::read(const QByteArray &data, const QString &fileName)
{
    if (data.size() > fileSizeLimit)
        failSize();
    const FileKind kind = kindOf(fileName);
    if (kind == FileKind::xlsx)
        return XlsxReader::read(data);
    if (kind == FileKind::xls)
        return LegacyExcelReader::read(data);
    // Moved in, not copied from an initializer list: the grid can be as large as the file.
    std::vector<ImportSheet> sheets;
    sheets.push_back(delimitedSheet(data, kind == FileKind::tabSeparated ? std::optional(U'\t') : std::nullopt));
    return sheets;
}
