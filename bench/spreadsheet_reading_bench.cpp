// Reading a staff list of 20,000 rows (the header and 19,999 people) by 14 columns, every
// cell filled: as .xlsx, as .csv, and as a legacy .xls in node and in the JavaScript engine.
#include "core/support/delimited_text.h"
#include "spreadsheet/legacy_excel_reader.h"
#include "spreadsheet/spreadsheet_reader.h"
#include "spreadsheet/workbook_library.h"
#include "spreadsheet/xlsx_reader.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <xlsxwriter.h>

#include <map>
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

// Runs `program` in node with the workbook library loaded as the global XLSX and `input` on
// standard input; returns standard output.
QByteArray runInNode(const QString &program, const QByteArray &input)
{
    QProcess node;
    QTemporaryDir folder;
    const QString libraryPath = folder.filePath("xlsx.full.min.js");
    QFile library(libraryPath);
    if (!library.open(QIODevice::WriteOnly) || library.write(WorkbookLibrary::script()->toUtf8()) < 0)
        throw std::runtime_error("cannot write the library");
    library.close();
    node.setProgram(LegacyExcelReader::nodeProgram());
    node.setArguments({"--max-old-space-size=4096", "-e",
                       "const XLSX = require(process.argv[1]); const chunks = [];"
                       "process.stdin.on('data', c => chunks.push(c)); process.stdin.on('end', () => {"
                       " const input = Buffer.concat(chunks); " + program + " });",
                       libraryPath});
    node.start();
    node.write(input);
    node.closeWriteChannel();
    if (!node.waitForFinished(-1) || node.exitCode() != 0)
        throw std::runtime_error("node failed: " + node.readAllStandardError().toStdString());
    return node.readAllStandardOutput();
}

// The staff rows widened to `columns` with extra text columns, written as .xls by the
// workbook library itself (in node: the engine needs minutes for a million cells), the
// employee numbers as numbers under a format of zeros.
const QByteArray &xlsFile(int columns)
{
    static std::map<int, QByteArray> files;
    if (auto found = files.find(columns); found != files.end())
        return found->second;
    QJsonArray rows;
    for (const auto &row : staffRows()) {
        QJsonArray cells;
        for (const std::string &cell : row)
            cells.append(QString::fromStdString(cell));
        for (int c = int(row.size()); c < columns; ++c)
            cells.append(rows.isEmpty() ? QString("Extra %1").arg(c) : QString("Note %1.%2").arg(rows.size()).arg(c));
        rows.append(cells);
    }
    const QByteArray written = runInNode(
        "const rows = JSON.parse(input.toString());"
        " const sheet = XLSX.utils.aoa_to_sheet(rows);"
        " for (let r = 1; r < rows.length; ++r)"
        "   sheet[XLSX.utils.encode_cell({r: r, c: 1})] = {t: 'n', v: Number(rows[r][1]), z: '00000'};"
        " const book = XLSX.utils.book_new(); XLSX.utils.book_append_sheet(book, sheet, 'Staff');"
        " process.stdout.write(XLSX.write(book, {bookType: 'xls', type: 'buffer'}));",
        QJsonDocument(rows).toJson(QJsonDocument::Compact));
    return files.emplace(columns, written).first->second;
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

// A legacy .xls of 20,000 rows by `columns`, read in node (0) or the embedded engine (1). The
// engine on a million cells runs into the two-minute guard, so that pair is left out.
void readXls(benchmark::State &state)
{
    const QByteArray &file = xlsFile(int(state.range(0)));
    const auto runtime = state.range(1) ? LegacyExcelReader::Runtime::engineOnly : LegacyExcelReader::Runtime::preferNode;
    application();
    for (auto _ : state)
        benchmark::DoNotOptimize(LegacyExcelReader::read(file, std::chrono::minutes(10), runtime));
}
BENCHMARK(readXls)->Args({14, 0})->Args({14, 1})->Args({50, 0})->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// The library's own time in node on the same files: reading and turning every sheet into
// rows of text, as the reader asks of it. What the reader is measured against.
void libraryAloneInNode(benchmark::State &state)
{
    const QByteArray &file = xlsFile(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(runInNode(
            "const book = XLSX.read(input, {type: 'buffer', dense: true, cellText: true, cellFormula: true});"
            " for (const name of book.SheetNames)"
            "   XLSX.utils.sheet_to_json(book.Sheets[name], {header: 1, raw: false, defval: '', blankrows: true});",
            file));
}
BENCHMARK(libraryAloneInNode)->Arg(14)->Arg(50)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

} // namespace
