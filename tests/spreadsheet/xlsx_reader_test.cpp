#include "error_of.h"
#include "spreadsheet/xlsx_reader.h"

#include "core/organization_error.h"
#include "spreadsheet/zip_parts.h"
#include "workbook_fixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <xlsxwriter.h>

using Rows = std::vector<std::vector<std::string>>;
using Fixtures::sharedStrings;
using Fixtures::worksheet;

namespace {

std::string readFailure(const QByteArray &data)
{
    return errorOf([&] { XlsxReader::read(data); });
}

ImportSheet onlySheet(const QByteArray &data)
{
    std::vector<ImportSheet> sheets = XlsxReader::read(data);
    EXPECT_EQ(sheets.size(), 1u);
    return sheets.at(0);
}

std::string repeated(const std::string &text, size_t count)
{
    std::string result;
    for (size_t i = 0; i < count; ++i)
        result += text;
    return result;
}

const std::string invalidXml = "The workbook contains invalid or excessively large XML.";

} // namespace

// A workbook as a spreadsheet program writes it: shared strings, styles, a formula with its
// saved result, an employee-number format.
TEST(XlsxReader, ReadsAWorkbookWrittenByASpreadsheetLibrary)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("staff.xlsx");
    lxw_workbook *book = workbook_new(path.toUtf8().constData());
    lxw_worksheet *sheet = workbook_add_worksheet(book, "Staff");
    lxw_format *zeros = workbook_add_format(book);
    format_set_num_format(zeros, "00000");
    worksheet_write_string(sheet, 0, 0, "Employee Number", nullptr);
    worksheet_write_number(sheet, 1, 0, 42, zeros);
    worksheet_write_string(sheet, 1, 1, "Ada Byron", nullptr);
    worksheet_write_formula_num(sheet, 1, 2, "=1+1", nullptr, 2);
    worksheet_write_boolean(sheet, 1, 3, 1, nullptr);
    worksheet_write_number(sheet, 3, 0, 0.75, nullptr);
    workbook_add_worksheet(book, "Empty");
    ASSERT_EQ(workbook_close(book), LXW_NO_ERROR);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));

    const std::vector<ImportSheet> sheets = XlsxReader::read(file.readAll());

    ASSERT_EQ(sheets.size(), 2u);
    EXPECT_EQ(sheets[0].name, "Staff");
    EXPECT_EQ(sheets[0].rows, (Rows{{"Employee Number"}, {"00042", "Ada Byron", "2", "true"}, {}, {"0.75"}}));
    EXPECT_EQ(sheets[1].name, "Empty");
    EXPECT_TRUE(sheets[1].rows.empty());
}

TEST(XlsxReader, CellTypesAndPlacement)
{
    const std::string sheet = worksheet(R"(<row r="1"><c r="A1" t="e"><v>#DIV/0!</v></c>)"
                                        R"(<c r="C1" t="str"><f>A1&amp;""</f></c><c><v>4</v></c>)"
                                        R"(<c t="inlineStr"><is><r><t>Ada </t></r><r><t>Byron</t></r>)"
                                        R"(<rPh sb="0" eb="1"><t>ADA</t></rPh></is></c></row>)"
                                        R"(<row r="3"><c r="b3" t="s"><v>0</v></c></row>)"
                                        R"(<row r="2"><c t="b"><v>0</v></c></row>)");
    const std::string strings = sharedStrings({"<r><t>Rich </t></r><r><t>text</t></r><rPh><t>R</t></rPh>"});

    const ImportSheet result = onlySheet(Fixtures::workbook({sheet}, strings));

    EXPECT_EQ(result.rows,
              (Rows{{"#DIV/0!", "", "#NO_SAVED_RESULT", "4", "Ada Byron"}, {"false"}, {"", "Rich text"}}));
    EXPECT_EQ(result.sourceIssues,
              (std::vector<ImportCellIssue>{
                  {0, 0, "#DIV/0!", "Excel error #DIV/0!. Enter a corrected value."},
                  {0, 2, "#NO_SAVED_RESULT",
                   "Formula has no saved result. Enter a value here or recalculate and save the workbook in Excel."},
              }));
}

// Employee numbers stored as numbers under a format of zeros read with their zeros; cell
// format 1 has decimals, 2 does not exist.
TEST(XlsxReader, ZeroPaddedNumbers)
{
    const std::string styles = R"(<styleSheet><numFmts><numFmt numFmtId="164" formatCode="000000"/>)"
                               R"(<numFmt numFmtId="165" formatCode="0.00"/></numFmts>)"
                               R"(<cellXfs><xf numFmtId="164"/><xf numFmtId="165"/></cellXfs></styleSheet>)";
    const std::string rows = R"(<row><c s="0"><v>1234</v></c><c s="0"><v>1234.5</v></c><c s="0"><v>1e3</v></c>)"
                             R"(<c s="1"><v>42</v></c><c s="2"><v>42</v></c></row>)";
    EXPECT_EQ(onlySheet(Fixtures::workbook({worksheet(rows)}, {}, styles)).rows,
              (Rows{{"001234", "1234.5", "001000", "42", "42"}}));
}

TEST(XlsxReader, RefusesWhatExceedsAWorksheet)
{
    const std::pair<std::string, std::string> cases[] = {
        {R"(<row r="20000"><c r="A20000"><v>1</v></c></row>)", ""},
        {R"(<row r="20001"/>)", "Imports support up to 20,000 worksheet rows."},
        {R"(<row r="19999"/><row/><row/>)", "Imports support up to 20,000 worksheet rows."},
        {"<row>" + repeated("<c/>", 501) + "</row>", "Imports support up to 500 worksheet columns."},
        {R"(<row r="3"><c t="s"><v>1</v></c></row>)", "Invalid shared string in row 3."},
    };
    for (const auto &[sheetData, expected] : cases)
        EXPECT_EQ(readFailure(Fixtures::workbook({worksheet(sheetData)}, sharedStrings({"<t>a</t>"}))), expected)
            << sheetData;
}

TEST(XlsxReader, RefusesMissingPartsAndEscapingPaths)
{
    EXPECT_EQ(readFailure("Employee Number,Name\n1,Ada\n"),
              "Could not read xl/workbook.xml. Use a valid, unencrypted .xlsx workbook.");

    const std::string numbers = worksheet(R"(<row><c><v>7</v></c></row>)");
    auto parts = Fixtures::workbookParts({numbers});
    parts.erase("xl/worksheets/sheet1.xml");
    EXPECT_EQ(readFailure(Fixtures::zip(parts)),
              "Could not read xl/worksheets/sheet1.xml. Use a valid, unencrypted .xlsx workbook.");

    auto withTarget = [&](const std::string &target) {
        auto parts = Fixtures::workbookParts({numbers});
        parts["xl/_rels/workbook.xml.rels"] =
            R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
            R"(<Relationship Id="rId1" Target=")" + target + "\"/></Relationships>";
        return Fixtures::zip(parts);
    };
    EXPECT_EQ(onlySheet(withTarget("../xl/worksheets/./sheet1.xml")).rows, (Rows{{"7"}}));
    EXPECT_EQ(readFailure(withTarget("../../etc/sheet1.xml")), "The workbook has an invalid worksheet path.");
}

TEST(XlsxReader, XmlLimits)
{
    auto nested = [](size_t depth) {
        // The worksheet and sheetData elements count towards the depth.
        return worksheet("<row>" + repeated("<x>", depth - 3) + repeated("</x>", depth - 3) + "</row>");
    };
    EXPECT_EQ(onlySheet(Fixtures::workbook({nested(127)})).rows, Rows{{}});
    EXPECT_EQ(readFailure(Fixtures::workbook({nested(128)})), invalidXml);

    // Entities are never declared, so never expanded or fetched.
    const std::string doctype = R"(<?xml version="1.0"?><!DOCTYPE worksheet [<!ENTITY a "aaaaaaaaaa">)"
                                R"(<!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">]>)"
                                R"(<worksheet><sheetData><row><c t="inlineStr"><is><t>&b;</t></is></c></row></sheetData></worksheet>)";
    EXPECT_EQ(readFailure(Fixtures::workbook({doctype})), invalidXml);

    // A worksheet is bounded by its cells, not its elements: these are 580,000.
    const ImportSheet full =
        onlySheet(Fixtures::workbook({worksheet(repeated("<row>" + repeated("<c><v>1</v></c>", 14) + "</row>", 20'000))}));
    EXPECT_EQ(full.rows.size(), 20'000u);
    // Other parts are read as small lists and hold fewer than 500,000 elements.
    auto parts = Fixtures::workbookParts({worksheet("")});
    parts["xl/styles.xml"] = "<styleSheet>" + repeated("<x/>", 499'999) + "</styleSheet>";
    EXPECT_EQ(readFailure(Fixtures::zip(parts)), invalidXml);
}

TEST(XlsxReader, WorkbookWideBounds)
{
    // 2,000 rows padded to 500 columns fit; one more row on another sheet does not.
    const std::string padded = worksheet(repeated(R"(<row><c r="SF1"/></row>)", 2'000));
    EXPECT_EQ(onlySheet(Fixtures::workbook({padded})).rows.size(), 2'000u);
    EXPECT_EQ(readFailure(Fixtures::workbook({padded, worksheet(R"(<row><c/></row>)")})),
              "The workbook exceeds the one-million-cell import limit.");

    // One long shared string repeated would fill memory long before the cell bound.
    const std::string longText = sharedStrings({"<t>" + std::string(1'000'000, 'x') + "</t>"});
    const std::string references = repeated(R"(<row><c t="s"><v>0</v></c></row>)", 32);
    EXPECT_EQ(onlySheet(Fixtures::workbook({worksheet(references)}, longText)).rows.size(), 32u);
    EXPECT_EQ(readFailure(Fixtures::workbook({worksheet(references + references)}, longText)),
              "The workbook exceeds the 32 MB import limit for cell text.");
}

TEST(ZipParts, StopsInflatingAtTheLimit)
{
    const std::string atLimit(ZipParts::partLimit, ' ');
    const QByteArray container = Fixtures::zip({{"fits", atLimit}, {"over", atLimit + " "}});
    ASSERT_LT(container.size(), 1'000'000); // a zip bomb in miniature
    const ZipParts zip(container);
    EXPECT_EQ(zip.part("fits")->size(), ZipParts::partLimit);
    EXPECT_EQ(errorOf([&] { zip.part("over"); }), "A workbook component exceeds the 32 MB import limit.");
    EXPECT_EQ(ZipParts("not a zip").part("fits"), std::nullopt);
}

// The sizes a zip declares are never trusted: a member that claims to be small still stops
// at the limit.
TEST(ZipParts, IgnoresDeclaredSizes)
{
    QByteArray container = Fixtures::zip({{"big", std::string(ZipParts::partLimit + 1, ' ')}});
    // Claim 100 bytes in the local header (offset 22) and the central directory entry (offset 24).
    const qsizetype central = container.lastIndexOf(QByteArray("PK\x01\x02", 4));
    ASSERT_GT(central, 0);
    for (qsizetype offset : {qsizetype(22), central + 24}) {
        container[offset] = 100;
        container[offset + 1] = container[offset + 2] = container[offset + 3] = 0;
    }
    try {
        const std::optional<std::string> part = ZipParts(container).part("big");
        EXPECT_LE(part.value_or("").size(), ZipParts::partLimit);
    } catch (const OrganizationError &error) {
        EXPECT_EQ(error.message(), "A workbook component exceeds the 32 MB import limit.");
    }
}
