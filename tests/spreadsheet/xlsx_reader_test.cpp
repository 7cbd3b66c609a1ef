#include "error_of.h"
#include "spreadsheet/xlsx_reader.h"

#include "core/support/organization_error.h"
#include "spreadsheet/zip_parts.h"
#include "workbook_fixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <xlsxwriter.h>

#include <functional>

using Rows = std::vector<std::vector<std::string>>;
using Fixtures::sharedStrings;
using Fixtures::styles;
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
    result.reserve(text.size() * count);
    for (size_t i = 0; i < count; ++i)
        result += text;
    return result;
}

const std::string invalidXml = "The workbook contains invalid or excessively large XML.";

} // namespace

// A workbook as a spreadsheet program writes it: shared strings, styles, formulas with
// saved results, an employee-number format.
TEST(XlsxReader, ReadsAWorkbookWrittenByASpreadsheetLibrary)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("staff.xlsx");
    lxw_workbook *book = workbook_new(path.toUtf8().constData());
    lxw_worksheet *sheet = workbook_add_worksheet(book, "Staff");
    lxw_format *zeros = workbook_add_format(book);
    format_set_num_format(zeros, "00000");
    lxw_format *date = workbook_add_format(book);
    format_set_num_format(date, "yyyy-mm-dd");
    worksheet_write_string(sheet, 0, 0, "Employee Number", nullptr);
    worksheet_write_string(sheet, 0, 1, "Employee Name", nullptr);
    worksheet_write_number(sheet, 1, 0, 42, zeros);
    worksheet_write_string(sheet, 1, 1, "Ada Byron", nullptr);
    worksheet_write_number(sheet, 1, 2, 45000, date);
    worksheet_write_formula_num(sheet, 1, 3, "=1+1", nullptr, 2);
    worksheet_write_boolean(sheet, 1, 4, 1, nullptr);
    worksheet_write_number(sheet, 3, 0, 0.75, nullptr);
    workbook_add_worksheet(book, "Empty");
    ASSERT_EQ(workbook_close(book), LXW_NO_ERROR);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));

    const std::vector<ImportSheet> sheets = XlsxReader::read(file.readAll());

    ASSERT_EQ(sheets.size(), 2u);
    EXPECT_EQ(sheets[0].name, "Staff");
    EXPECT_EQ(sheets[0].rows, (Rows{{"Employee Number", "Employee Name"},
                                    {"00042", "Ada Byron", "45000", "2", "true"},
                                    {},
                                    {"0.75"}}));
    EXPECT_EQ(sheets[0].sourceIssues, std::vector<ImportCellIssue>{});
    EXPECT_EQ(sheets[1].name, "Empty");
    EXPECT_TRUE(sheets[1].rows.empty());
    EXPECT_EQ(sheets[1].sourceIssues, std::vector<ImportCellIssue>{});
}

TEST(XlsxReader, CellTypes)
{
    const std::string sheet = worksheet(R"(<row r="1">)"
                                        R"(<c r="A1" t="b"><v>0</v></c>)"
                                        R"(<c r="B1" t="b"><v>1</v></c>)"
                                        R"(<c r="C1" t="e"><v>#DIV/0!</v></c>)"
                                        R"(<c r="D1" t="e"/>)"
                                        R"(<c r="E1"><f>A1+1</f><v>3</v></c>)"
                                        R"(<c r="F1" t="str"><f>A1&amp;""</f></c>)"
                                        R"(<c r="G1" t="inlineStr"><is><r><t>Ada </t></r><r><t>Byron</t></r>)"
                                        R"(<rPh sb="0" eb="1"><t>ADA</t></rPh></is></c>)"
                                        R"(<c r="H1" t="s"><v>1</v></c>)"
                                        R"(<c r="I1" t="d"><v>2024-01-31</v></c>)"
                                        R"(<c r="J1"><v>1.50</v></c>)"
                                        "</row>");
    const std::string strings = sharedStrings({"<t>plain</t>", "<r><t>Rich </t></r><r><t>text</t></r><rPh><t>R</t></rPh>"});

    const ImportSheet result = onlySheet(Fixtures::workbook({sheet}, strings));

    EXPECT_EQ(result.rows, (Rows{{"false", "true", "#DIV/0!", "#EXCEL_ERROR", "3", "#NO_SAVED_RESULT", "Ada Byron",
                                  "Rich text", "2024-01-31", "1.50"}}));
    EXPECT_EQ(result.sourceIssues,
              (std::vector<ImportCellIssue>{
                  {0, 2, "#DIV/0!", "Excel error #DIV/0!. Enter a corrected value."},
                  {0, 3, "#EXCEL_ERROR", "Excel error #EXCEL_ERROR. Enter a corrected value."},
                  {0, 5, "#NO_SAVED_RESULT",
                   "Formula has no saved result. Enter a value here or recalculate and save the workbook in Excel."},
              }));
}

// Employee numbers stored as numbers under a format of zeros read with their zeros.
TEST(XlsxReader, ZeroPaddedNumbers)
{
    struct Case {
        std::string value;
        int style;
        std::string expected;
    };
    const Case cases[] = {
        {"1234", 0, "001234"},       {"1234.5", 0, "1234.5"}, {"-3", 0, "-3"},
        {"12345678", 0, "12345678"}, {"1234.0", 0, "001234"}, {"-0", 0, "000000"},
        {"1e3", 0, "001000"},        {"1e15", 0, "1e15"},     {"abc", 0, "abc"},
        {"42", 1, "42"},             // a format with decimals
        {"42", 2, "42"},             // a built-in format
        {"45000", 3, "45000"},       // a date stays a serial number
        {"42", 4, "42"},             // no such cell format
    };
    std::string rows;
    for (const Case &c : cases)
        rows += "<row><c s=\"" + std::to_string(c.style) + "\"><v>" + c.value + "</v></c></row>";
    const std::string stylesPart = styles({{164, "000000"}, {165, "0.00"}, {166, "yyyy-mm-dd"}}, {164, 165, 1, 166});

    const ImportSheet result = onlySheet(Fixtures::workbook({worksheet(rows)}, {}, stylesPart));

    ASSERT_EQ(result.rows.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(result.rows[i], std::vector<std::string>{cases[i].expected}) << cases[i].value << " " << cases[i].style;
}

TEST(XlsxReader, RowAndColumnPlacement)
{
    const std::string sheet = worksheet(R"(<row r="1"><c r="A1"><v>1</v></c><c r="C1"><v>3</v></c><c><v>4</v></c></row>)"
                                        R"(<row r="4"><c r="b4"><v>b</v></c></row>)"
                                        R"(<row><c r="SF5"><v>last</v></c></row>)"
                                        R"(<row r="2"><c r="B2"><v>back</v></c></row>)");

    const ImportSheet result = onlySheet(Fixtures::workbook({sheet}));

    ASSERT_EQ(result.rows.size(), 5u);
    EXPECT_EQ(result.rows[0], (std::vector<std::string>{"1", "", "3", "4"}));
    EXPECT_EQ(result.rows[1], (std::vector<std::string>{"", "back"}));
    EXPECT_EQ(result.rows[2], std::vector<std::string>{});
    EXPECT_EQ(result.rows[3], (std::vector<std::string>{"", "b"}));
    EXPECT_EQ(result.rows[4].size(), 500u);
    EXPECT_EQ(result.rows[4].back(), "last");
}

TEST(XlsxReader, WorksheetLimits)
{
    const std::string rows = "Imports support up to 20,000 worksheet rows.";
    const std::string columns = "Imports support up to 500 worksheet columns.";
    struct Case {
        std::string sheetData;
        std::string expected;
    };
    const Case cases[] = {
        {R"(<row r="20000"><c r="A20000"><v>1</v></c></row>)", ""},
        {R"(<row r="20001"/>)", rows},
        {R"(<row r="0"/>)", rows},
        {R"(<row r="-4"/>)", rows},
        {R"(<row r="19999"/><row/><row/>)", rows},
        {R"(<row><c r="SG1"><v>1</v></c></row>)", columns},
        {"<row><c r=\"" + std::string(40, 'Z') + "1\"><v>1</v></c></row>", columns},
        {"<row>" + repeated("<c/>", 501) + "</row>", columns},
        {R"(<row><c r="A1" t="s"><v>2</v></c></row>)", "Invalid shared string in row 1."},
        {R"(<row r="3"><c t="s"><v>x</v></c></row>)", "Invalid shared string in row 3."},
        {R"(<row><c t="s"><v>-1</v></c></row>)", "Invalid shared string in row 1."},
    };
    const std::string strings = sharedStrings({"<t>a</t>", "<t>b</t>"});
    for (const Case &c : cases)
        EXPECT_EQ(readFailure(Fixtures::workbook({worksheet(c.sheetData)}, strings)), c.expected) << c.sheetData;
}

TEST(XlsxReader, WorkbookParts)
{
    const std::string numbers = worksheet(R"(<row><c><v>7</v></c></row>)");
    // No shared strings and no styles: numbers read as stored.
    EXPECT_EQ(onlySheet(Fixtures::workbook({numbers})).rows, (Rows{{"7"}}));

    EXPECT_EQ(readFailure("Employee Number,Name\n1,Ada\n"),
              "Could not read xl/workbook.xml. Use a valid, unencrypted .xlsx workbook.");

    auto parts = Fixtures::workbookParts({numbers});
    parts.erase("xl/_rels/workbook.xml.rels");
    EXPECT_EQ(readFailure(Fixtures::zip(parts)),
              "Could not read xl/_rels/workbook.xml.rels. Use a valid, unencrypted .xlsx workbook.");

    parts = Fixtures::workbookParts({numbers});
    parts.erase("xl/worksheets/sheet1.xml");
    EXPECT_EQ(readFailure(Fixtures::zip(parts)),
              "Could not read xl/worksheets/sheet1.xml. Use a valid, unencrypted .xlsx workbook.");
}

TEST(XlsxReader, RelationshipsAndWorksheetPaths)
{
    const std::string numbers = worksheet(R"(<row><c><v>7</v></c></row>)");
    auto withTarget = [&](const std::string &target, const std::string &extra = {}) {
        auto parts = Fixtures::workbookParts({numbers});
        parts["xl/_rels/workbook.xml.rels"] =
            R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
            R"(<Relationship Id="rId1" Target=")" + target + "\"" + extra + "/></Relationships>";
        return Fixtures::zip(parts);
    };
    EXPECT_EQ(onlySheet(withTarget("/xl/worksheets/sheet1.xml")).rows, (Rows{{"7"}}));
    EXPECT_EQ(onlySheet(withTarget("worksheets/./sheet1.xml")).rows, (Rows{{"7"}}));
    EXPECT_EQ(onlySheet(withTarget("../xl/worksheets//sheet1.xml")).rows, (Rows{{"7"}}));
    EXPECT_EQ(readFailure(withTarget("../../etc/sheet1.xml")), "The workbook has an invalid worksheet path.");
    EXPECT_EQ(readFailure(withTarget("/docProps/app.xml")), "The workbook has an invalid worksheet path.");
    EXPECT_EQ(readFailure(withTarget("worksheets/sheet1.xml", " TargetMode=\"External\"")), "No worksheets were found.");

    // The relationships namespace may be bound to any prefix, and "r" to something else; the
    // first of a repeated id wins.
    auto parts = Fixtures::workbookParts({numbers, worksheet(R"(<row><c><v>8</v></c></row>)")});
    parts["xl/workbook.xml"] = R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:rel=")" +
                               Fixtures::relationshipsNamespace +
                               R"("><sheets><sheet rel:id="rId1"/><sheet name="Unlinked" rel:id="rId9"/>)"
                               R"(<sheet name="Other" xmlns:r="urn:other" r:id="rId1"/>)"
                               R"(<sheet xmlns:x=")" + Fixtures::relationshipsNamespace + R"(" x:id="rId2"/></sheets></workbook>)";
    parts["xl/_rels/workbook.xml.rels"] =
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="rId1" Target="worksheets/sheet1.xml"/>)"
        R"(<Relationship Id="rId2" Target="worksheets/sheet2.xml"/>)"
        R"(<Relationship Id="rId1" Target="worksheets/sheet2.xml"/></Relationships>)";
    const std::vector<ImportSheet> sheets = XlsxReader::read(Fixtures::zip(parts));
    ASSERT_EQ(sheets.size(), 2u);
    EXPECT_EQ(sheets[0].name, "Sheet 1");
    EXPECT_EQ(sheets[0].rows, (Rows{{"7"}}));
    EXPECT_EQ(sheets[1].name, "Sheet 2");
    EXPECT_EQ(sheets[1].rows, (Rows{{"8"}}));
}

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
    auto nested = [](size_t depth) {
        // The worksheet and sheetData elements count towards the depth.
        return worksheet("<row>" + repeated("<x>", depth - 3) + repeated("</x>", depth - 3) + "</row>");
    };
    EXPECT_EQ(onlySheet(Fixtures::workbook({nested(127)})).rows, Rows{{}});
    EXPECT_EQ(readFailure(Fixtures::workbook({nested(128)})), invalidXml);

    EXPECT_EQ(readFailure(Fixtures::workbook({worksheet("<row>")})), invalidXml);

    // Entities are never declared, so never expanded or fetched.
    const std::string doctype = R"(<?xml version="1.0"?><!DOCTYPE worksheet [<!ENTITY a "aaaaaaaaaa">)"
                                R"(<!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">]>)"
                                R"(<worksheet><sheetData><row><c t="inlineStr"><is><t>&b;</t></is></c></row></sheetData></worksheet>)";
    EXPECT_EQ(readFailure(Fixtures::workbook({doctype})), invalidXml);
    const std::string external = R"(<?xml version="1.0"?><!DOCTYPE worksheet SYSTEM "file:///etc/passwd">)"
                                 R"(<worksheet><sheetData/></worksheet>)";
    EXPECT_EQ(readFailure(Fixtures::workbook({external})), invalidXml);

    // The parts read as small lists hold fewer than 500,000 elements.
    auto parts = Fixtures::workbookParts({worksheet("")});
    parts["xl/styles.xml"] = "<styleSheet>" + repeated("<x/>", 499'998) + "</styleSheet>";
    EXPECT_EQ(onlySheet(Fixtures::zip(parts)).rows, Rows{});
    parts["xl/styles.xml"] = "<styleSheet>" + repeated("<x/>", 499'999) + "</styleSheet>";
    EXPECT_EQ(readFailure(Fixtures::zip(parts)), invalidXml);
}

// A worksheet's size is bounded by its cells, not its elements: 20,000 rows of 14 cells
// are 580,000 elements.
TEST(XlsxReader, ReadsAFullWorksheetOfManyElements)
{
    std::string rows;
    for (int r = 1; r <= 20'000; ++r)
        rows += "<row>" + repeated("<c><v>1</v></c>", 14) + "</row>";
    const ImportSheet result = onlySheet(Fixtures::workbook({worksheet(rows)}));
    EXPECT_EQ(result.rows.size(), 20'000u);
    EXPECT_EQ(result.rows.back(), std::vector<std::string>(14, "1"));
}

TEST(XlsxReader, WorkbookWideBounds)
{
    std::vector<std::string> many(101, worksheet(""));
    EXPECT_EQ(readFailure(Fixtures::workbook(many)), "Imports support up to 100 worksheets.");
    many.pop_back();
    EXPECT_EQ(XlsxReader::read(Fixtures::workbook(many)).size(), 100u);

    // 2,000 rows padded to 500 columns fit; one more row on another sheet does not.
    const std::string padded = repeated(R"(<row><c r="SF1"/></row>)", 2'000);
    EXPECT_EQ(onlySheet(Fixtures::workbook({worksheet(padded)})).rows.size(), 2'000u);
    EXPECT_EQ(readFailure(Fixtures::workbook({worksheet(padded), worksheet(R"(<row><c/></row>)")})),
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
    EXPECT_EQ(zip.part("missing"), std::nullopt);
    EXPECT_EQ(ZipParts("not a zip").part("fits"), std::nullopt);
}

// The sizes a zip declares are never trusted: a member that claims to be small still stops
// at the limit, and one whose data is damaged is not extracted.
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

    std::string text;
    for (int i = 0; i < 100'000; ++i)
        text += std::to_string(i * 7919 % 100'003) + ",";
    QByteArray damaged = Fixtures::zip({{"text", text}});
    damaged[damaged.size() / 2] = char(damaged[damaged.size() / 2] ^ 0x55); // inside the deflated data
    EXPECT_EQ(ZipParts(damaged).part("text"), std::nullopt);
}
