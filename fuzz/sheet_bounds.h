#pragma once

// What every workbook reader promises the import: at most 100 sheets of at most 20,000 rows of
// at most 500 cells, a million cells in all, and issues that point at cells of their sheet.
// Aborts, so that the fuzzer reports the input, when a result breaks that.
#include "core/support/import_sheet.h"

#include <cstdlib>
#include <vector>

enum class SourceIssues { optional, required };

inline void checkSheetBounds(const std::vector<ImportSheet> &sheets, SourceIssues issues)
{
    if (sheets.empty() || sheets.size() > 100)
        std::abort();
    size_t cells = 0;
    for (const ImportSheet &sheet : sheets) {
        if (sheet.rows.size() > 20'000 || (issues == SourceIssues::required && !sheet.sourceIssues))
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
