// A legacy .xls workbook from a user: any bytes give sheets within the import's limits or a
// clean refusal, within the time limit.
#include "core/support/organization_error.h"
#include "spreadsheet/legacy_excel_reader.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace std::chrono_literals;
    // The JavaScript engine needs an application object.
    static int argc = 1;
    static char name[] = "spreadsheet_xls_fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    try {
        const std::vector<ImportSheet> sheets =
            LegacyExcelReader::read(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), 5s);
        if (sheets.empty() || sheets.size() > 100)
            std::abort();
        for (const ImportSheet &sheet : sheets) {
            if (sheet.rows.size() > 20'000)
                std::abort();
            for (const auto &row : sheet.rows) {
                if (row.size() > 500)
                    std::abort();
            }
            for (const ImportCellIssue &issue : sheet.sourceIssues.value_or(std::vector<ImportCellIssue>{})) {
                if (issue.row < 0 || size_t(issue.row) >= sheet.rows.size() || issue.column < 0 ||
                    size_t(issue.column) >= sheet.rows[size_t(issue.row)].size())
                    std::abort();
            }
        }
    } catch (const OrganizationError &) {
    }
    return 0;
}
