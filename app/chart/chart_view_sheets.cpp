// What the chart window's sheets call to change the document: the position editor's save
// and include, the picker's include, the group editor's create and remove, the quick-entry
// commit and the import's apply. Each is one undo step and rethrows to its sheet.
#include "app/chart/chart_view.h"

#include "app/chart/import_apply.h"
#include "app/entry/quick_entry_grid_model.h"
#include "app/shell/organization_document.h"

#include "core/document/position_entry.h"
#include "core/entry/quick_entry.h"

#include <algorithm>

void ChartView::includeFromEditor(const std::string &positionID)
{
    requireCurrentEditing();
    m_document.edit(QStringLiteral("Add to This Chart"), [&](OrganizationArchive &archive) {
        archive.includeExistingPositionFromEntry(positionID, m_selectedSheetID);
    });
    setSelectedID(positionID);
}

std::vector<Position> ChartView::savePositionEntry(const PositionEntryRequest &request)
{
    requireCurrentEditing();
    const std::optional<std::string> sheetID =
        m_selectedSheetID.empty() ? std::nullopt : std::optional(m_selectedSheetID);
    std::vector<Position> saved;
    m_document.edit(request.isNew() ? QStringLiteral("Add Position") : QStringLiteral("Edit Position"),
                    [&](OrganizationArchive &archive) { saved = archive.savePositionEntry(request, sheetID); });
    std::optional<std::string> selected;
    if (!saved.empty()) {
        // What the chart shows, reporting context included; without a sheet, every position
        // (the chart's projection of a whole district is not made for one look-up).
        const std::string &first = saved.front().id;
        const auto holds = [&](const std::vector<Position> &shown) {
            return std::any_of(shown.begin(), shown.end(), [&](const Position &position) { return position.id == first; });
        };
        if (archive().sheet(m_selectedSheetID) ? holds(archive().organizationIn(m_selectedSheetID).positions)
                                               : holds(archive().organization.positions))
            selected = first;
    }
    setSelectedID(selected);
    return saved;
}

void ChartView::includeExistingPositions(const std::set<std::string> &ids)
{
    requireCurrentEditing();
    m_document.edit(QStringLiteral("Add Existing Positions"),
                    [&](OrganizationArchive &archive) { archive.includePositions(ids, m_selectedSheetID); });
    resetFocusedView();
}

void ChartView::createGroup(const std::string &name, const std::vector<std::string> &memberIDs)
{
    requireCurrentEditing();
    m_document.edit(QStringLiteral("Create Group"),
                    [&](OrganizationArchive &archive) { archive.addGroup(name, memberIDs); });
    resetFocusedView();
}

void ChartView::removeGroup(const std::string &groupID)
{
    requireCurrentEditing();
    m_document.edit(QStringLiteral("Ungroup"), [&](OrganizationArchive &archive) {
        // An absent list stays absent; one left empty stays, empty.
        if (archive.groups)
            std::erase_if(*archive.groups, [&](const PositionGroup &group) { return group.id == groupID; });
    });
    std::set<std::string> expanded = m_expandedGroups;
    expanded.erase(groupID);
    setExpandedGroups(std::move(expanded));
    resetFocusedView();
}

QuickEntrySaveResult ChartView::commitQuickEntry(const std::vector<QuickEntryRow> &rows)
{
    requireCurrentEditing();
    QuickEntrySaveResult result;
    // On the document's copy: a refused commit leaves no recovery version behind.
    m_document.edit(QStringLiteral("Quick Entry"), [&](OrganizationArchive &archive) {
        archive.checkpoint("Before spreadsheet edits");
        result.positions = archive.quickAdd(rows, m_selectedSheetID);
    });
    m_previousManagers[m_selectedSheetID] =
        result.positions.empty() ? std::string() : result.positions.back().managerID.value_or(std::string());
    if (const OrganizationSheet *shown = archive().sheet(m_selectedSheetID)) {
        result.chartPositionIDs.insert(shown->positionIDs.begin(), shown->positionIDs.end());
    } else {
        for (const Position &position : archive().organization.positions)
            result.chartPositionIDs.insert(position.id);
    }
    return result;
}

QString ChartView::quickEntrySheetName() const
{
    const OrganizationSheet *shown = archive().sheet(m_selectedSheetID);
    return shown ? QString::fromStdString(shown->name) : QStringLiteral("Sheet");
}

std::string ChartView::quickEntryInitialManager() const
{
    if (const auto previous = m_previousManagers.find(m_selectedSheetID); previous != m_previousManagers.end())
        return previous->second;
    // The chart's last listed position in organization order, as quick entry lists them.
    const std::vector<Position> members = archive().memberPositions(m_selectedSheetID);
    return members.empty() ? std::string() : members.back().managerID.value_or(std::string());
}

void ChartView::applyImport(const Organization &snapshot, const Organization &imported, ImportMode mode)
{
    OrganizationArchive next = ::applyImport(archive(), snapshot, imported, mode, m_selectedSheetID);
    m_document.setArchive(std::move(next), QStringLiteral("Import Excel / CSV"));
    if (mode == ImportMode::replace) {
        setExpandedGroups({});
        setSelectedSheetID({});
    }
    setCollapsedPositionIDs({});
    setFocusPersonID({});
    setFocusDepartment({});
    setSelectedID(std::nullopt);
    resetFocusedView();
}
