#include "spreadsheet/legacy_excel_reader.h"

#include "core/organization_error.h"
#include "workbook_fixtures.h"

#include <gtest/gtest.h>

using Rows = std::vector<std::vector<std::string>>;

TEST(LegacyExcelReader, Smoke)
{
    const QByteArray xls = Fixtures::writtenByLibrary(R"(
        var sheet = {"!ref": "A1:D6"};
        sheet.A1 = {t: "s", v: "Employee Number"};
        sheet.A2 = {t: "n", v: 42, z: "00000"};
        sheet.B2 = {t: "n", v: 45000, z: "yyyy-mm-dd"};
        sheet.C2 = {t: "e", v: 0x2A};
        sheet.D2 = {t: "n", v: 7, bf: [3, 0, 0x1E, 7, 0]};
        sheet.D3 = {t: "n", bf: [3, 0, 0x1E, 7, 0]};
        sheet.C4 = {t: "b", v: true};
        sheet.D6 = {t: "n", v: 1.5};
        var book = XLSX.utils.book_new();
        XLSX.utils.book_append_sheet(book, sheet, "Staff");
        return book;)");
    const auto sheets = LegacyExcelReader::read(Fixtures::withoutFormulaResults(xls));
    ASSERT_EQ(sheets.size(), 1u);
    for (auto &row : sheets[0].rows) {
        for (auto &c : row) printf("[%s]", c.c_str());
        printf("\n");
    }
    for (auto &i : *sheets[0].sourceIssues) printf("%d %d %s %s\n", i.row, i.column, i.value.c_str(), i.message.c_str());
}
