#include "app/chart/import_apply.h"

#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/shell/organization_document.h"
#include "core/import/import_changes.h"

#include <QPointer>

#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

std::string importCheckpointNote(ImportMode mode)
{
    switch (mode) {
    case ImportMode::add:
        return "Before adding imported people";
    case ImportMode::replace:
        return "Before Excel / CSV replacement";
    case ImportMode::update:
        return "Before updating imported people";
    }
    return {};
}

OrganizationArchive applyImport(OrganizationArchive archive, const Organization &snapshot,
                                const Organization &imported, ImportMode mode, const std::string &sheetID)
{
    archive.requireCurrentEditing();
    // The stored organization, never what the chart draws (that carries callouts).
    if (archive.organization != snapshot)
        throw OrganizationError::invalid(
            "The chart changed while the import window was open. Save a correction draft, close this window, "
            "and reopen the draft to validate against the updated chart.");
    archive.checkpoint(importCheckpointNote(mode));
    archive.replaceOrganization(imported);

    if (mode == ImportMode::replace) {
        archive.sheets.reset();
        archive.groups.reset();
        return archive;
    }
    OrganizationSheet *selected = archive.sheet(sheetID);
    if (!selected)
        return archive;
    std::unordered_set<std::string_view> assigned;
    for (const OrganizationSheet &sheet : *archive.sheets)
        assigned.insert(sheet.positionIDs.begin(), sheet.positionIDs.end());
    // A position unchanged from one of the snapshot has its id: look only there. Unchanged
    // is as a user sees it, so a row read back from an exported workbook is no change.
    std::unordered_multimap<std::string_view, const Position *> before;
    before.reserve(snapshot.positions.size());
    for (const Position &position : snapshot.positions)
        before.emplace(position.id, &position);
    std::vector<std::string> added;
    for (const Position &position : imported.positions) {
        if (assigned.contains(position.id))
            continue;
        const auto [first, last] = before.equal_range(position.id);
        const bool unchanged =
            std::any_of(first, last, [&](const auto &entry) { return TabularImport::isUnchanged(*entry.second, position); });
        if (!unchanged)
            added.push_back(position.id);
    }
    selected->positionIDs.insert(selected->positionIDs.end(), added.begin(), added.end());
    return archive;
}

ImportFlow::ApplyAction importApplyAction(ChartWindow &window, Organization snapshot)
{
    QPointer<ChartWindow> owner(&window);
    QPointer<OrganizationDocument> document(window.document());
    // A closed window lingers until its deletion: it counts as closed at once.
    auto closed = std::make_shared<bool>(false);
    QObject::connect(&window, &ChartWindow::closed, &window, [closed] { *closed = true; });
    return [owner, document, closed, snapshot = std::move(snapshot)](const Organization &imported, ImportMode mode) {
        if (!owner || !document || *closed || owner->document() != document)
            throw OrganizationError::invalid("The original chart was closed. Save a correction draft and reopen it "
                                             "from the chart you want to import into.");
        owner->view().applyImport(snapshot, imported, mode);
    };
}
