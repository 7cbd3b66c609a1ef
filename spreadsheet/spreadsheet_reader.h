#pragma once

#include "core/support/import_sheet.h"

#include <QByteArray>
#include <QString>

#include <vector>

// Turns a file chosen for import into text sheets: .xlsx, .xls, and delimited text (.csv,
// .tsv, .txt). Holds no state; blocking, so callers run it off the main thread.
namespace SpreadsheetReader {

inline constexpr qint64 fileSizeLimit = 50'000'000;

// At least one sheet, or throws OrganizationError with the message the user reads: a file
// over 50,000,000 bytes (checked before reading and again while reading, for files whose
// size is not known beforehand), an unsupported extension, text that is neither UTF-8 nor
// UTF-16 with a byte-order mark, an unreadable file, and every failure of the readers.
std::vector<ImportSheet> read(const QString &path);

// The same for bytes already in memory; `fileName`'s extension chooses the reader.
std::vector<ImportSheet> read(const QByteArray &data, const QString &fileName);

} // namespace SpreadsheetReader
