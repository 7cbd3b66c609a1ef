#pragma once

#ifndef Q_MOC_RUN
#include "core/document/organization_archive.h"
#endif

#include <QString>

#include <string>

// Creating and naming charts, and the names proposed for files written from a document.
namespace SheetCommands {

QString newSheetTitle();
QString newSheetMessage();
QString renameTitle();
QString renameMessage();

// The chart "New Sheet…" adds: named `name` trimmed, with a new UUID, listing the positions
// whose department equals the name in any letter case and that no chart lists yet, in
// organization order. Throws OrganizationError for a blank name ("Enter a sheet name.") or
// a name another chart has in any letter case. Linear in the positions and the charts' lists.
OrganizationSheet newSheet(const OrganizationArchive &archive, const std::string &name);

// `name` usable as one file name: path separators become "-" and leading dots "_", so a
// proposed name can neither leave the chosen folder nor hide the file.
QString safeFileName(const QString &name);

} // namespace SheetCommands
