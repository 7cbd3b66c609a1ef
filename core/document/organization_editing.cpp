#include "core/document/organization_archive.h"

#include "core/support/text.h"

#include <algorithm>
#include <utility>

namespace {

const Position *findPosition(const Organization &organization, const std::string &id)
{
    auto found = std::find_if(organization.positions.begin(), organization.positions.end(),
                              [&](const Position &p) { return p.id == id; });
    return found == organization.positions.end() ? nullptr : &*found;
}

bool reportsTo(const Position &p, const std::string &id)
{
    return p.managerID == id || std::find(p.dottedManagerIDs.begin(), p.dottedManagerIDs.end(), id) !=
                                    p.dottedManagerIDs.end();
}

std::string personLine(const Position &p, const char *vacantText)
{
    return (p.employee ? p.employee->name : std::string(vacantText)) + " \u2014 " + p.jobTitle() + " [" + p.id + "]";
}

} // namespace

void Organization::requirePositionDeletion(const std::string &id) const
{
    if (!findPosition(*this, id))
        throw OrganizationError::invalid("This position no longer exists.");
    std::vector<std::pair<std::string, const Position *>> reports;
    for (const Position &p : positions) {
        if (reportsTo(p, id))
            reports.emplace_back(Text::localizedStandardKey(p.id), &p);
    }
    if (reports.empty())
        return;
    std::stable_sort(reports.begin(), reports.end(), [](const auto &a, const auto &b) { return a.first < b.first; });

    constexpr size_t listed = 6;
    std::string message = "Cannot delete: " + std::to_string(reports.size()) +
                          " position(s) still report here. Move all primary and additional/dotted reports first, "
                          "including reports on other charts.\n\n";
    for (size_t i = 0; i < std::min(listed, reports.size()); ++i)
        message += (i == 0 ? "" : "\n") + personLine(*reports[i].second, "Vacant");
    if (reports.size() > listed)
        message += "\n\u2026and " + std::to_string(reports.size() - listed) + " more.";
    throw OrganizationError::invalid(message);
}

std::string OrganizationArchive::positionDeletionWarning(const std::string &id, const std::string &currentSheetID) const
{
    organization.requirePositionDeletion(id);
    const Position &position = *findPosition(organization, id);
    // Nobody reports to the position any more (checked above), so no chart shows it as the
    // manager of a dotted-line report: a chart shows it exactly when it lists it.
    std::string names;
    for (const OrganizationSheet &listedSheet : sortedSheets()) {
        if (listedSheet.id == currentSheetID)
            continue;
        const OrganizationSheet *shown = sheet(listedSheet.id);
        if (std::find(shown->positionIDs.begin(), shown->positionIDs.end(), id) == shown->positionIDs.end())
            continue;
        names += (names.empty() ? "" : ", ") + listedSheet.name;
    }
    const std::string tail = names.empty()
                                 ? "This position is not on any other chart."
                                 : "Also shown on these charts: " + names + ". It will be deleted from those charts too.";
    return personLine(position, "Vacant position") +
           " will be deleted from the entire organization and every chart.\n\n" + tail;
}

void OrganizationArchive::makePositionVacant(const std::string &id, RecoveryVersion recovery)
{
    requireCurrentEditing();
    auto found = std::find_if(organization.positions.begin(), organization.positions.end(),
                              [&](const Position &p) { return p.id == id; });
    if (found == organization.positions.end())
        throw OrganizationError::invalid("This position no longer exists.");
    if (!found->employee)
        throw OrganizationError::invalid("This position is already vacant.");
    // A vacancy breaks no rule.
    if (recovery == RecoveryVersion::save)
        checkpointBeforeEdit("Before making " + found->jobTitle() + " vacant");
    found->employee.reset();
}

void OrganizationArchive::updatePosition(const Position &position)
{
    requireCurrentEditing();
    auto found = std::find_if(organization.positions.begin(), organization.positions.end(),
                              [&](const Position &p) { return p.id == position.id; });
    if (found == organization.positions.end())
        throw OrganizationError::invalid("This position no longer exists.");
    replacePosition(static_cast<size_t>(found - organization.positions.begin()), position);
}

void OrganizationArchive::replacePosition(size_t index, Position edited)
{
    Position &stored = organization.positions[index];
    Position before = std::exchange(stored, std::move(edited));
    try {
        organization.validateReplacement(index, before);
    } catch (...) {
        stored = std::move(before);
        throw;
    }
    // Only this position can have changed managers: reconciling against it alone is
    // reconciling against the whole organization before.
    if (sheets && before.managerID != stored.managerID) {
        Organization old;
        old.positions.push_back(std::move(before));
        reconcileSheetTransfers(old);
    }
}

void OrganizationArchive::replaceOrganization(Organization replacement)
{
    requireCurrentEditing();
    replacement.validate();
    OrganizationArchive reconciled;
    reconciled.sheets = sheets;
    reconciled.organization = std::move(replacement);
    reconciled.reconcileSheetTransfers(organization);
    organization = std::move(reconciled.organization);
    sheets = std::move(reconciled.sheets);
}

void OrganizationArchive::deletePosition(const std::string &positionID, RecoveryVersion recovery)
{
    requireCurrentEditing();
    const std::string id = positionID; // the caller's may be the position's own, erased below
    organization.requirePositionDeletion(id);
    auto found = std::find_if(organization.positions.begin(), organization.positions.end(),
                              [&](const Position &p) { return p.id == id; });
    // Nobody reports to the position (checked above): without it the organization stays valid.
    if (recovery == RecoveryVersion::save)
        checkpointBeforeEdit("Before deleting " + found->jobTitle());

    // Nothing below throws: only erasing from lists.
    organization.positions.erase(found);
    if (groups) {
        for (PositionGroup &group : *groups)
            std::erase(group.memberIDs, id);
        std::erase_if(*groups, [](const PositionGroup &group) { return group.memberIDs.size() < 2; });
    }
    if (sheets) {
        for (OrganizationSheet &s : *sheets)
            std::erase(s.positionIDs, id);
    }
}

void OrganizationArchive::removePosition(const std::string &id, const std::string &sheetID)
{
    requireCurrentEditing();
    OrganizationSheet *shown = sheet(sheetID);
    if (!shown || std::find(shown->positionIDs.begin(), shown->positionIDs.end(), id) == shown->positionIDs.end())
        throw OrganizationError::invalid("This position is not explicitly included on the selected chart.");
    checkpoint("Before removing position from chart");
    std::erase(shown->positionIDs, id);
}
