#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

// Writing one PDF per chart into a folder the user chose, never replacing a file.
namespace ChartPDFBatchExport {

// A file base name made from a sheet name: control and format characters and < > : " / \ | ? *
// each become "-", white space and full stops are trimmed from both ends, the result is cut
// to whole characters within 200 UTF-8 bytes, and an empty result is "Sheet".
QString safeBasename(const QString &sheetName);

// What file names are compared by: canonical composition, then lower case, so that "HR"
// and "hr", or a precomposed and a decomposed accent, are the same name.
QString clashKey(const QString &filename);

// `base` + ".pdf", else `base` + " (2).pdf", " (3).pdf" ... : the first whose key is not in
// `usedKeys`. Keeps the base's own spelling.
QString availableFilename(const QString &base, const QSet<QString> &usedKeys);

// Stores `bytes` in `folder` under `filename`, or under the next numbered name when an entry
// of the folder (file or folder, hidden ones too) clashes with it; returns the path written.
// The bytes go to a temporary file in the folder that is then moved to its name only if the
// name is still free, so an existing file is never replaced and a failure leaves no partial
// file behind. Throws OrganizationError: "Choose a folder for the PDF files." when `folder`
// is not a folder, otherwise the system's reason.
QString storeWithoutOverwriting(const QString &folder, const QString &filename, const QByteArray &bytes);

} // namespace ChartPDFBatchExport
