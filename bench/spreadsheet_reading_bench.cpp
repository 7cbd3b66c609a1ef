// Reading a staff list of 20,000 rows (the header and 19,999 people) by 14 columns, every
// cell filled: as .xlsx, as .csv, and as a legacy .xls through the JavaScript engine.
#include "core/support/delimited_text.h"
#include "spreadsheet/legacy_excel_reader.h"
#include "spreadsheet/spreadsheet_reader.h"
#include "spreadsheet/workbook_library.h"
#include "spreadsheet/xlsx_reader.h"

#include <QCoreApplication>
#include <QFile>
#include <QJSEngine>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <xlsxwriter.h>

#include <stdexcept>

namespace {

constexpr int rowCount = 20'000;

std::vector<std::vector<std::string>> staffRows()
{
    std::vector<std::vector<std::string>> rows = {
        {"Position ID", "Employee Number", "Employee Name", "Pay Level", "Job Title", "Department",
         "Primary Manager ID", "Dotted Manager IDs", "Location", "FTE", "Vacant", "Assistant", "Sibling Order",
         "School Allocations"}};
    const char *first[] = {"Ann", "Bo", "Cy", "Dee", "Eli", "Fay", "Gus", "Hal"};
    const char *last[] = {"Smith", "Lee", "Okoro", "Brandt", "Nakamura", "Adams", "Young", "Park"};
    for (int i = 1; i < rowCount; ++i) {
        const std::string id = "P-" + std::to_string(100'000 + i);
        rows.push_back({id, std::to_string(i), std::string(first[i % 8]) + " " + last[i / 8 % 8] + " " + std::to_string(i),
                        "Teacher " + std::to_string(i % 12), "Grade " + std::to_string(i % 9) + " Teacher",
                        "Department " + std::to_string(i / 500), "P-" + std::to_string(100'000 + i / 7),
                        "P-" + std::to_string(100'000 + i / 11), "School " + std::to_string(i % 40), "1.0", "No", "No",
                        std::to_string(i % 5), "School " + std::to_string(i % 40) + "=1.0"});
    }
    return rows;
}

// As a spreadsheet program saves it: shared strings, employee numbers as numbers under a
// format of zeros.
const QByteArray &xlsxFile()
{
    static const QByteArray bytes = [] {
        QTemporaryDir folder;
        const QByteArray path = folder.filePath("staff.xlsx").toUtf8();
        lxw_workbook *book = workbook_new(path.constData());
        lxw_worksheet *sheet = workbook_add_worksheet(book, "Staff");
        lxw_format *zeros = workbook_add_format(book);
        format_set_num_format(zeros, "00000");
        const auto rows = staffRows();
        for (size_t r = 0; r < rows.size(); ++r) {
            for (size_t c = 0; c < rows[r].size(); ++c) {
                if (r > 0 && c == 1)
                    worksheet_write_number(sheet, lxw_row_t(r), lxw_col_t(c), std::stod(rows[r][c]), zeros);
                else
                    worksheet_write_string(sheet, lxw_row_t(r), lxw_col_t(c), rows[r][c].c_str(), nullptr);
            }
        }
        if (workbook_close(book) != LXW_NO_ERROR)
            throw std::runtime_error("cannot write the workbook");
        QFile file(QString::fromUtf8(path));
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }();
    return bytes;
}

const QByteArray &csvFile()
{
    static const QByteArray bytes = [] {
        QByteArray text;
        for (const auto &row : staffRows()) {
            for (size_t c = 0; c < row.size(); ++c) {
                if (c > 0)
                    text += ',';
                text += QByteArray::fromStdString(row[c]);
            }
            text += '\n';
        }
        return text;
    }();
    return bytes;
}

// The staff list grown to just under the 50 MB file limit by a long notes column.
const QByteArray &largeCsvFile()
{
    static const QByteArray bytes = [] {
        QByteArray text = csvFile();
        const qint64 rowBudget = (SpreadsheetReader::fileSizeLimit - text.size()) / rowCount - 2;
        QByteArray result;
        result.reserve(SpreadsheetReader::fileSizeLimit);
        const QByteArray note = QByteArray("Certified; mentor; bus duty. ").repeated(int(rowBudget / 29 + 1)).left(rowBudget);
        for (const QByteArray &line : text.split('\n')) {
            if (line.isEmpty())
                continue;
            result += line + ',' + note + '\n';
        }
        return result;
    }();
    return bytes;
}

QCoreApplication &application()
{
    static int argc = 1;
    static char name[] = "spreadsheet_reading_bench";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Written by the workbook library itself, the same rows with the employee numbers as
// numbers under a format of zeros.
const QByteArray &xlsFile()
{
    static const QByteArray bytes = [] {
        application();
        QJSEngine engine;
        engine.evaluate(*WorkbookLibrary::script());
        QJsonArray rows;
        for (const auto &row : staffRows()) {
            QJsonArray cells;
            for (const std::string &cell : row)
                cells.append(QString::fromStdString(cell));
            rows.append(cells);
        }
        engine.globalObject().setProperty("staffRows", QString::fromUtf8(QJsonDocument(rows).toJson()));
        const QJSValue written = engine.evaluate(
            "(function () { var rows = JSON.parse(staffRows);"
            " var sheet = XLSX.utils.aoa_to_sheet(rows);"
            " for (var r = 1; r < rows.length; ++r)"
            "   sheet[XLSX.utils.encode_cell({r: r, c: 1})] = {t: 'n', v: Number(rows[r][1]), z: '00000'};"
            " var book = XLSX.utils.book_new(); XLSX.utils.book_append_sheet(book, sheet, 'Staff');"
            " return XLSX.write(book, {bookType: 'xls', type: 'base64'}); })()");
        return QByteArray::fromBase64(written.toString().toLatin1());
    }();
    return bytes;
}

void readXlsx(benchmark::State &state)
{
    const QByteArray &file = xlsxFile();
    for (auto _ : state)
        benchmark::DoNotOptimize(XlsxReader::read(file));
    state.SetBytesProcessed(int64_t(state.iterations()) * file.size());
}
BENCHMARK(readXlsx)->Unit(benchmark::kMillisecond);

void readCsv(benchmark::State &state)
{
    const QByteArray &file = csvFile();
    for (auto _ : state)
        benchmark::DoNotOptimize(SpreadsheetReader::read(file, QStringLiteral("staff.csv")));
    state.SetBytesProcessed(int64_t(state.iterations()) * file.size());
}
BENCHMARK(readCsv)->Unit(benchmark::kMillisecond);

void readLargeCsv(benchmark::State &state)
{
    const QByteArray &file = largeCsvFile();
    for (auto _ : state)
        benchmark::DoNotOptimize(SpreadsheetReader::read(file, QStringLiteral("staff.csv")));
    state.SetBytesProcessed(int64_t(state.iterations()) * file.size());
}
BENCHMARK(readLargeCsv)->Unit(benchmark::kMillisecond);

// A 50 MB text file of line feeds (0) or of commas (1) alone: refused by the row or column
// limit after a few kilobytes.
void refuseDegenerateText(benchmark::State &state)
{
    const QByteArray file(SpreadsheetReader::fileSizeLimit, state.range(0) ? ',' : '\n');
    for (auto _ : state) {
        try {
            SpreadsheetReader::read(file, QStringLiteral("degenerate.csv"));
            state.SkipWithError("the file was read");
        } catch (const std::exception &) {
        }
    }
}
BENCHMARK(refuseDegenerateText)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Slow by nature (an interpreted library in a JavaScript engine); one run is enough.
void readXls(benchmark::State &state)
{
    const QByteArray &file = xlsFile();
    for (auto _ : state)
        benchmark::DoNotOptimize(LegacyExcelReader::read(file));
}
BENCHMARK(readXls)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
