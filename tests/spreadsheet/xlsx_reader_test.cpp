#include "error_of.h"
#include "spreadsheet/xlsx_reader.h"

#include "spreadsheet/zip_parts.h"
#include "workbook_fixtures.h"

#include <gtest/gtest.h>

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

// Employee numbers under a format of zeros keep their zeros; style 1 has decimals.
TEST(XlsxReader, CellTypesAndPlacement)
{
    const std::string sheet = worksheet(R"(<row r="1"><c r="A1" t="e"><v>#DIV/0!</v></c>)"
                                        R"(<c r="C1" t="str"><f>A1&amp;""</f></c><c s="0"><v>42</v></c>)"
                                        R"(<c t="inlineStr"><is><r><t>Ada </t></r><r><t>Byron</t></r>)"
                                        R"(<rPh sb="0" eb="1"><t>ADA</t></rPh></is></c><c s="1"><v>42</v></c></row>)"
                                        R"(<row r="3"><c r="b3" t="s"><v>0</v></c></row>)"
                                        R"(<row r="2"><c t="b"><v>0</v></c></row>)");
    const std::string strings = sharedStrings({"<r><t>Rich </t></r><r><t>text</t></r><rPh><t>R</t></rPh>"});
    const std::string styles = R"(<styleSheet><numFmts><numFmt numFmtId="164" formatCode="000000"/>)"
                               R"(<numFmt numFmtId="165" formatCode="0.00"/></numFmts>)"
                               R"(<cellXfs><xf numFmtId="164"/><xf numFmtId="165"/></cellXfs></styleSheet>)";

    const ImportSheet result = onlySheet(Fixtures::workbook({sheet}, strings, styles));

    EXPECT_EQ(result.rows, (Rows{{"#DIV/0!", "", "#NO_SAVED_RESULT", "000042", "Ada Byron", "42"},
                                 {"false"},
                                 {"", "Rich text"}}));
    EXPECT_EQ(result.sourceIssues,
              (std::vector<ImportCellIssue>{
                  {0, 0, "#DIV/0!", "Excel error #DIV/0!. Enter a corrected value."},
                  {0, 2, "#NO_SAVED_RESULT",
                   "Formula has no saved result. Enter a value here or recalculate and save the workbook in Excel."},
              }));
}

TEST(XlsxReader, RefusesWhatExceedsAWorksheet)
{
    const std::pair<std::string, std::string> cases[] = {
        {R"(<row r="20000"><c r="A20000"><v>1</v></c></row>)", ""},
        {R"(<row r="19999"/><row/><row/>)", "Imports support up to 20,000 worksheet rows."},
        {"<row>" + repeated("<c/>", 501) + "</row>", "Imports support up to 500 worksheet columns."},
        {R"(<row r="3"><c t="s"><v>1</v></c></row>)", "Invalid shared string in row 3."},
    };
    for (const auto &[sheetData, expected] : cases)
        EXPECT_EQ(readFailure(Fixtures::workbook({worksheet(sheetData)}, sharedStrings({"<t>a</t>"}))), expected)
            << sheetData;
}

TEST(XlsxReader, RefusesEscapingPaths)
{
    EXPECT_EQ(readFailure("Employee Number,Name\n1,Ada\n"),
              "Could not read xl/workbook.xml. Use a valid, unencrypted .xlsx workbook.");
    auto withTarget = [&](const std::string &target) {
        auto parts = Fixtures::workbookParts({worksheet(R"(<row><c><v>7</v></c></row>)")});
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
    // The worksheet and sheetData elements count towards the depth.
    auto nested = [](size_t depth) {
        return worksheet("<row>" + repeated("<x>", depth - 3) + repeated("</x>", depth - 3) + "</row>");
    };
    EXPECT_EQ(onlySheet(Fixtures::workbook({nested(127)})).rows, Rows{{}});
    EXPECT_EQ(readFailure(Fixtures::workbook({nested(128)})), invalidXml);

    // Entities are never declared, so never expanded or fetched.
    const std::string doctype = R"(<?xml version="1.0"?><!DOCTYPE worksheet [<!ENTITY a "aaaaaaaaaa">)"
                                R"(<!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">]>)"
                                R"(<worksheet><sheetData><row><c t="inlineStr"><is><t>&b;</t></is></c></row></sheetData></worksheet>)";
    EXPECT_EQ(readFailure(Fixtures::workbook({doctype})), invalidXml);
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
    EXPECT_EQ(ZipParts(container).part("fits")->size(), ZipParts::partLimit);
    EXPECT_EQ(errorOf([&] { ZipParts(container).part("over"); }), "A workbook component exceeds the 32 MB import limit.");
    EXPECT_EQ(ZipParts("not a zip").part("fits"), std::nullopt);
}
