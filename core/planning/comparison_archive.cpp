#include "core/document/planning.h"
#include "core/planning/proposal_changes.h"

#include "core/document/organization_archive.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace {

// Gives a deleted occupant an employee number of its own, so that it can stand beside the
// proposal's people without breaking the uniqueness of employee numbers.
std::string freeDeletedNumber(const std::string &positionID, const std::unordered_set<std::string_view> &inUse)
{
    std::string number = "deleted-" + positionID;
    while (inUse.contains(number))
        number += '_';
    return number;
}

// For each chart of the proposal, the ids its baseline copy lists (none when the baseline
// has no chart with that id), so that a deleted position goes back where it stood.
std::vector<std::unordered_set<std::string_view>> baselineListings(const OrganizationArchive &archive,
                                                                   const PlanningSnapshot &baseline)
{
    std::vector<std::unordered_set<std::string_view>> listings;
    if (!archive.sheets)
        return listings;
    std::unordered_map<std::string_view, const OrganizationSheet *> byID;
    if (baseline.sheets) {
        for (const OrganizationSheet &sheet : *baseline.sheets)
            byID.emplace(sheet.id, &sheet);
    }
    for (const OrganizationSheet &sheet : *archive.sheets) {
        const auto it = byID.find(sheet.id);
        listings.emplace_back();
        if (it != byID.end())
            listings.back().insert(it->second->positionIDs.begin(), it->second->positionIDs.end());
    }
    return listings;
}

} // namespace

OrganizationArchive OrganizationPlanning::comparisonArchive(const std::string &proposalID) const
{
    OrganizationArchive archive;
    comparisonArchive(proposalID, archive);
    return archive;
}

void OrganizationPlanning::comparisonArchive(const std::string &proposalID, OrganizationArchive &archive) const
{
    // The cards show only the kinds: no detail lines are written.
    const std::vector<ProposalChange> list = changes(proposalID, {}, Details::none);
    proposal(proposalID).state.assignArchive(archive);

    std::unordered_map<std::string_view, ProposalChangeKind> kinds;
    kinds.reserve(list.size());
    size_t deletions = 0;
    for (const ProposalChange &change : list) {
        kinds.emplace(change.positionID, change.kind);
        deletions += change.kind == ProposalChangeKind::deleted ? 1 : 0;
    }
    std::vector<Position> &positions = archive.organization.positions;
    for (Position &position : positions) {
        if (const auto it = kinds.find(position.id); it != kinds.end())
            position.proposalChange = it->second;
    }
    // The proposal's own positions were validated when stored; only the deleted ones put
    // back can break a rule.
    if (deletions == 0)
        return;

    // No reallocation below, so the views into the positions stay valid.
    positions.reserve(positions.size() + deletions);
    std::unordered_set<std::string_view> employeeNumbers;
    std::unordered_set<std::string_view> known;
    known.reserve(positions.size() + deletions);
    for (const Position &position : positions) {
        if (position.employee)
            employeeNumbers.insert(position.employee->id);
        known.insert(position.id);
    }
    for (const ProposalChange &change : list) {
        if (change.kind == ProposalChangeKind::deleted)
            known.insert(change.positionID);
    }

    const std::vector<std::unordered_set<std::string_view>> listings = baselineListings(archive, baseline);
    for (const ProposalChange &change : list) {
        if (change.kind != ProposalChangeKind::deleted)
            continue;
        Position position = *change.before;
        position.proposalChange = ProposalChangeKind::deleted;
        // Only a manager drawn on this chart can stay; the card otherwise stands at the top.
        if (position.managerID && !known.contains(*position.managerID))
            position.managerID.reset();
        position.dottedManagerIDs.clear();
        if (position.employee)
            position.employee->id = freeDeletedNumber(position.id, employeeNumbers);
        positions.push_back(std::move(position));
        if (positions.back().employee)
            employeeNumbers.insert(positions.back().employee->id);
        for (size_t i = 0; i < listings.size(); ++i) {
            if (listings[i].contains(change.positionID))
                (*archive.sheets)[i].positionIDs.push_back(change.positionID);
        }
    }

    archive.organization.validate();
}
