#pragma once

#include "core/support/import_sheet.h"

#include <QByteArray>

#include <vector>

// Reads an .xlsx workbook (a zip of SpreadsheetML parts) into text sheets. Every cell becomes
// text; nothing is evaluated.
namespace XlsxReader {

// One sheet per worksheet the workbook lists, in its order, each with an issue list (empty
// when nothing was found). Throws OrganizationError with the message the user reads for a
// missing or unreadable part, a part over 32 MB, invalid or excessively large XML, a
// worksheet path outside "xl/", more than 100 worksheets, a worksheet beyond 20,000 rows or
// 500 columns, a workbook beyond one million stored cells or 32 MB of cell text, a bad
// shared string, or no worksheet at all. Linear in the inflated size of the parts.
std::vector<ImportSheet> read(const QByteArray &data);

} // namespace XlsxReader
