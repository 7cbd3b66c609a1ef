// A legacy .xls workbook from a user. Inputs that start with 'J', 'E' or 'L' stand for what the
// workbook library answered (the sheets' JSON, its exception's text, or over the limit), and
// reach the program's own handling of that answer; any other input is the file itself, checked
// for its signature and read by one engine that loads the library once. Either way: sheets
// within the import's limits, or a clean refusal.
#include "core/support/organization_error.h"
#include "spreadsheet/legacy_excel_reader.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

using namespace LegacyExcelReader;

void checkBounds(const std::vector<ImportSheet> &sheets)
{
    if (sheets.empty() || sheets.size() > 100)
        std::abort();
    size_t cells = 0;
    for (const ImportSheet &sheet : sheets) {
        if (sheet.rows.size() > 20'000)
            std::abort();
        for (const auto &row : sheet.rows) {
            if (row.size() > 500)
                std::abort();
            cells += row.size();
        }
        for (const ImportCellIssue &issue : sheet.sourceIssues.value_or(std::vector<ImportCellIssue>{})) {
            if (issue.row < 0 || size_t(issue.row) >= sheet.rows.size() || issue.column < 0 ||
                size_t(issue.column) >= sheet.rows[size_t(issue.row)].size())
                std::abort();
        }
    }
    if (cells > 1'000'000)
        std::abort();
}

std::vector<ImportSheet> readFile(const QByteArray &file)
{
    // The engine needs an application object; loading the library once keeps each input cheap.
    static int argc = 1;
    static char name[] = "spreadsheet_xls_fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    static std::unique_ptr<EngineReader> reader = std::make_unique<EngineReader>(QDeadlineTimer(60'000));
    checkSignature(file);
    return sheetsFromAnswer(reader->answer(file, QDeadlineTimer(5'000)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        if (size > 0 && (data[0] == 'J' || data[0] == 'E' || data[0] == 'L')) {
            ScriptAnswer answer;
            if (data[0] == 'J')
                answer.json = bytes.mid(1);
            else if (data[0] == 'E')
                answer.error = QString::fromUtf8(bytes.mid(1));
            else
                answer.tooLarge = true;
            checkBounds(sheetsFromAnswer(answer));
        } else {
            checkBounds(readFile(bytes));
        }
    } catch (const OrganizationError &) {
    }
    return 0;
}
