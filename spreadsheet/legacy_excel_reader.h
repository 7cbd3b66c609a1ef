#pragma once

#include "core/support/import_sheet.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <vector>

// Reads binary Excel workbooks (.xls) by running the workbook library in a `node` child
// process when node is installed, else in a JavaScript engine that belongs to the call alone,
// so calls on different threads do not interfere.
namespace LegacyExcelReader {

// Node runs the library several times faster than the embedded engine (20,000 rows of 14
// columns in about 2 s against 14 s) but is an outside program; the engine is the fallback.
enum class Runtime { preferNode, engineOnly };

// A hostile or pathological file cannot hold the import longer than this.
inline constexpr std::chrono::milliseconds defaultTimeLimit{120'000};

// One sheet per worksheet in workbook order, each cell as the workbook formats it. Excel
// error cells and formulas without a saved result become issues. Blocking. Throws OrganizationError with the message the user
// reads: not an .xls file, truncated, unreadable by the library (with its own wording), over
// the limits (100 worksheets, 20,000 rows, 500 columns, one million cells, 32 MB of
// result), or still running after `timeLimit`.
std::vector<ImportSheet> read(const QByteArray &data, std::chrono::milliseconds timeLimit = defaultTimeLimit,
                              Runtime runtime = Runtime::preferNode);

// The node program found on the PATH, or empty.
QString nodeProgram();

} // namespace LegacyExcelReader
