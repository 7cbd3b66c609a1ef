#pragma once

#include "core/support/import_sheet.h"
#include "core/document/organization_archive.h"

#include <QByteArray>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Writes an organization document out as an .xlsx workbook that comes back through the
// import ("Update Matching IDs / Add New"): an instruction tab, one tab per chart in the
// import's column layout, and a tab for positions on no chart.
namespace OrganizationWorkbook {

// The tabs in workbook order: "Instructions", then one per chart in the archive's order
// (only the chart `sheetID` names when given), then "Unassigned" when exporting every chart
// and some position is on none, or the archive has no charts. Linear in positions plus
// chart entries.
std::vector<ImportSheet> tabs(const OrganizationArchive &archive, const std::optional<std::string> &sheetID);

// Tab names as the workbook stores them: characters a sheet name cannot hold become "-",
// cut within 31 UTF-16 units at a character boundary, trimmed, without a leading or trailing
// apostrophe, "Sheet" when nothing is left; a name already used, ignoring case, gets " (2)",
// " (3)" and so on within the same 31 units.
std::vector<std::string> tabNames(const std::vector<ImportSheet> &tabs);

// The .xlsx file's bytes. Nothing is written to the user's files. Throws OrganizationError
// "Could not create the Excel workbook." when any cell, width, filter or the file itself
// cannot be written as given, so no text is ever dropped.
QByteArray write(const OrganizationArchive &archive, const std::optional<std::string> &sheetID = std::nullopt);

// The same workbook saved at `target` through a PendingFile: written beside it, checked to be
// a whole zip, then put in place; the old file stays whole on any failure. Throws as write(),
// and FileWriteError when the file cannot be written.
void save(const OrganizationArchive &archive, const std::optional<std::string> &sheetID,
          const std::filesystem::path &target);

} // namespace OrganizationWorkbook
