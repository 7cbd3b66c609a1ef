#pragma once

#include "app/import/import_flow.h"

// moc cannot parse the standard library's C++20 headers that the JSON library pulls in.
#ifndef Q_MOC_RUN
#include "core/document/organization_archive.h"
#include "core/import/import_field.h"
#endif

#include <string>

class ChartWindow;

// The recovery version saved before an import in `mode`.
std::string importCheckpointNote(ImportMode mode);

// `archive` after a reviewed import: refuses while Current is locked and when its
// organization is no longer exactly `snapshot` (what the import was reviewed against);
// then saves the mode's recovery version, puts `imported` in place and fits the charts to
// the mode: "replace" drops every chart and group, "add" and "update" append to the chart
// `sheetID` (when there is one) the imported positions that are new or changed (as a user
// sees them, TabularImport::isUnchanged) and on no chart. Throws OrganizationError. Linear
// in the positions.
OrganizationArchive applyImport(OrganizationArchive archive, const Organization &snapshot,
                                const Organization &imported, ImportMode mode, const std::string &sheetID);

// The import window's apply action for `window`: applies to that window's document while
// the window and its document are open, and refuses once either is closed, for the import
// window may outlive them. `snapshot` is the organization the import window was opened with.
ImportFlow::ApplyAction importApplyAction(ChartWindow &window, Organization snapshot);
