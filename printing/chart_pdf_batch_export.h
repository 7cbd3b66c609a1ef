#pragma once

#include "core/model/organization.h"
#include "core/model/print_settings.h"
#include "printing/chart_pdf_renderer.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <optional>
#include <string>
#include <vector>

struct OrganizationArchive;

// One chart's PDF still to be written by an export of every chart. Made only by
// ChartPDFBatchExport::jobs.
struct SheetPDFExportJob {
    std::string sheetName; // as stored; also the scope line of the heading
    std::string filename;  // unique within the export, ending in ".pdf"
    std::string title;     // the first heading line
    std::optional<std::string> subtitle; // the sheet's own, untrimmed
    Organization organization;           // what the chart shows, every group collapsed
    ChartPrintSettings settings;         // the shared settings, with this chart's scale
};

// Whether each chart keeps the shared scale or is fitted to one page on its own.
enum class ExportScale { shared, fitEachChartToPage };

// Writing one PDF per chart into a folder the user chose, never replacing a file.
namespace ChartPDFBatchExport {

// One job per sheet, in sheet order, all printed with `settings`. Every chart is laid out
// and tiled here, so a chart that cannot be printed stops the export before any file is
// written. Throws OrganizationError: "Create at least one sheet before exporting all
// sheets." or the error of a chart's groups, presentation, layout, scale or tiling, unchanged
// (it does not name the chart). Lays out every chart once: about the cost of their layouts.
std::vector<SheetPDFExportJob> jobs(const OrganizationArchive &archive, const ChartPrintSettings &settings,
                                    ExportScale scale);

// Renders the job and stores it in `folder` under its file name, or the next numbered name
// when the folder has an entry of that name by now; returns the path written. Throws
// OrganizationError: "Choose a folder for the PDF files.", the renderer's errors, or the
// system's reason when the folder cannot be read or the file cannot be written. A failure
// writes nothing and never touches an existing file.
QString write(const SheetPDFExportJob &job, const QString &folder);
// As above, with the chart's dotted lines as `routing` says (the window's routes when it
// shows this chart, progress, a stop); nothing is written, and null returned, once the
// stop is requested.
std::optional<QString> write(const SheetPDFExportJob &job, const QString &folder, const ChartPDFRouting &routing);

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
// The bytes go through a PendingFile that is moved to its name only if the name is still
// free, so an existing file is never replaced and a failure leaves no partial file behind.
// Throws OrganizationError: "Choose a folder for the PDF files." when `folder` is not a
// folder, the folder's reason when it cannot be read, else FileWriteError.
QString storeWithoutOverwriting(const QString &folder, const QString &filename, const QByteArray &bytes);

} // namespace ChartPDFBatchExport
