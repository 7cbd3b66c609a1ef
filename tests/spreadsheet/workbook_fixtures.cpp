#include "workbook_fixtures.h"

#include "spreadsheet/workbook_library.h"

#include <QDir>
#include <QFile>
#include <QJSEngine>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zip.h>

#include <memory>
#include <stdexcept>

namespace Fixtures {

static QTemporaryDir &temporaryFolder()
{
    static QTemporaryDir folder;
    return folder;
}

QString temporaryFile(const QString &name, const QByteArray &data)
{
    static int counter = 0;
    const QString folder = temporaryFolder().path() + "/" + QString::number(++counter);
    QDir().mkpath(folder);
    const QString path = folder + "/" + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
        throw std::runtime_error("cannot write a fixture");
    return path;
}

QByteArray zip(const std::map<std::string, std::string> &members)
{
    const QString path = temporaryFile(QStringLiteral("fixture.zip"), {});
    int error = 0;
    zip_t *archive = zip_open(path.toUtf8().constData(), ZIP_TRUNCATE, &error);
    if (!archive)
        throw std::runtime_error("cannot create a zip");
    for (const auto &[name, bytes] : members) {
        // libzip copies the bytes when the archive is closed; keep them alive until then.
        zip_source_t *source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
        if (!source || zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0)
            throw std::runtime_error("cannot add a zip member");
    }
    if (zip_close(archive) != 0)
        throw std::runtime_error("cannot write a zip");
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

std::string worksheet(const std::string &rows)
{
    return R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
           R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>)" +
           rows + "</sheetData></worksheet>";
}

std::string sharedStrings(const std::vector<std::string> &items)
{
    std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>)"
                      R"(<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)";
    for (const std::string &item : items)
        xml += "<si>" + item + "</si>";
    return xml + "</sst>";
}

std::string styles(const std::map<int, std::string> &numberFormats, const std::vector<int> &cellFormats)
{
    std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>)"
                      R"(<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><numFmts>)";
    for (const auto &[id, code] : numberFormats)
        xml += "<numFmt numFmtId=\"" + std::to_string(id) + "\" formatCode=\"" + code + "\"/>";
    xml += "</numFmts><cellXfs>";
    for (int id : cellFormats)
        xml += "<xf numFmtId=\"" + std::to_string(id) + "\" fontId=\"0\"/>";
    return xml + "</cellXfs></styleSheet>";
}

std::map<std::string, std::string> workbookParts(const std::vector<std::string> &worksheets)
{
    std::string sheets;
    std::string relationships;
    for (size_t i = 1; i <= worksheets.size(); ++i) {
        const std::string n = std::to_string(i);
        sheets += "<sheet name=\"Sheet" + n + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
        relationships += "<Relationship Id=\"rId" + n +
                         "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\""
                         " Target=\"worksheets/sheet" + n + ".xml\"/>";
    }
    std::map<std::string, std::string> parts;
    parts["xl/workbook.xml"] = R"(<?xml version="1.0" encoding="UTF-8"?>)"
                               R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r=")" +
                               relationshipsNamespace + "\"><sheets>" + sheets + "</sheets></workbook>";
    parts["xl/_rels/workbook.xml.rels"] =
        R"(<?xml version="1.0" encoding="UTF-8"?>)"
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)" +
        relationships + "</Relationships>";
    for (size_t i = 1; i <= worksheets.size(); ++i)
        parts["xl/worksheets/sheet" + std::to_string(i) + ".xml"] = worksheets[i - 1];
    return parts;
}

QByteArray workbook(const std::vector<std::string> &worksheets, const std::string &sharedStringsPart,
                    const std::string &stylesPart)
{
    std::map<std::string, std::string> parts = workbookParts(worksheets);
    if (!sharedStringsPart.empty())
        parts["xl/sharedStrings.xml"] = sharedStringsPart;
    if (!stylesPart.empty())
        parts["xl/styles.xml"] = stylesPart;
    return zip(parts);
}

QByteArray writtenByLibrary(const QString &build, const QString &bookType)
{
    QJSEngine engine;
    const QJSValue loaded = engine.evaluate(*WorkbookLibrary::script());
    if (loaded.isError())
        throw std::runtime_error("the workbook library does not load");
    const QJSValue written = engine.evaluate("XLSX.write((function () {" + build + "})(), {bookType: \"" + bookType +
                                             "\", type: \"base64\"})");
    if (written.isError())
        throw std::runtime_error(written.toString().toStdString());
    return QByteArray::fromBase64(written.toString().toLatin1());
}

QByteArray withoutFormulaResults(QByteArray xls)
{
    // Formula record: type 0x0006, length, row, column, format, then the 8-byte result;
    // an empty-text result is 03 00 00 00 00 00 FF FF.
    for (qsizetype i = 0; i + 18 <= xls.size(); ++i) {
        if (xls[i] == 6 && xls[i + 1] == 0 && xls[i + 10] == 3 && uchar(xls[i + 16]) == 0xFF &&
            uchar(xls[i + 17]) == 0xFF)
            xls[i + 10] = 4;
    }
    return xls;
}

QByteArray withEmptyRanges(QByteArray xls)
{
    // Dimensions record: type 0x0200, length 14, first row, last row + 1 (4 bytes each),
    // first column, last column + 1 (2 bytes each), reserved.
    const QByteArray a1("\x00\x02\x0E\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x01\x00", 16);
    const QByteArray empty("\x00\x02\x0E\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00", 16);
    return xls.replace(a1, empty);
}

} // namespace Fixtures
