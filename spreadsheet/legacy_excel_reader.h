#pragma once

#include "core/support/import_sheet.h"

#include <QByteArray>

#include <chrono>
#include <vector>

// Reads binary Excel workbooks (.xls) by running the workbook library in a JavaScript engine
// that belongs to the call alone, so calls on different threads do not interfere.
namespace LegacyExcelReader {

// A hostile or pathological file cannot hold the import longer than this.
inline constexpr std::chrono::milliseconds defaultTimeLimit{120'000};

// One sheet per worksheet in workbook order, each cell as the workbook formats it. Excel
// error cells and formulas without a saved result become issues. Blocking, and slow: about
// 20 s for 20,000 rows of 14 columns. Throws OrganizationError with the message the user
// reads: not an .xls file, truncated, unreadable by the library (with its own wording), over
// the limits (100 worksheets, 20,000 rows, 500 columns, one million cells, 32 MB of
// result), or still running after `timeLimit`.
std::vector<ImportSheet> read(const QByteArray &data, std::chrono::milliseconds timeLimit = defaultTimeLimit);

} // namespace LegacyExcelReader
