#include "core/document/organization_archive.h"

#include "core/support/organization_error.h"
#include "core/document/planning.h"
#include "core/document/position_entry.h"
#include "core/support/text.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

namespace {

OrganizationProposal *findProposal(OrganizationPlanning &planning, const std::string &id)
{
    const auto it = std::find_if(planning.proposals.begin(), planning.proposals.end(),
                                 [&](const OrganizationProposal &p) { return p.id == id; });
    return it == planning.proposals.end() ? nullptr : &*it;
}

const Position *findPosition(const Organization &organization, std::string_view id)
{
    const auto it = std::find_if(organization.positions.begin(), organization.positions.end(),
                                 [&](const Position &p) { return p.id == id; });
    return it == organization.positions.end() ? nullptr : &*it;
}

std::string appendProposal(OrganizationPlanning &planning, const std::string &name)
{
    const std::string trimmed = Text::trimmed(name);
    const std::string key = Text::lowercased(trimmed);
    const bool taken = std::any_of(planning.proposals.begin(), planning.proposals.end(), [&](const auto &p) {
        return Text::lowercased(Text::trimmed(p.name)) == key;
    });
    if (trimmed.empty() || taken)
        throw OrganizationError::invalid("Enter a unique, nonempty proposal name.");
    OrganizationProposal proposal{makeUUID(), trimmed, Date::now(), planning.baseline};
    planning.proposals.push_back(std::move(proposal));
    return planning.proposals.back().id;
}

void requirePlanning(const OrganizationArchive &archive)
{
    if (!archive.planning)
        throw OrganizationError::invalid("Lock the current organization first.");
}

// The frame of every proposal edit: the change works on a copy of the proposal's state, which
// replaces the state in place only once its organization validates.
template <typename Change>
void updateProposal(OrganizationPlanning &planning, const std::string &proposalID, Change &&change)
{
    OrganizationProposal *proposal = findProposal(planning, proposalID);
    if (!proposal)
        throw OrganizationError::invalid("Select an existing proposal.");
    PlanningSnapshot next = proposal->state;
    change(next);
    next.organization.validate();
    proposal->state = std::move(next);
}

// Runs one of the archive's own editing operations on a proposal's content. The recovery
// version it may save lands in the throwaway archive and goes with it. `state` is the
// frame's own copy, so its content moves through the archive rather than being copied twice.
template <typename Edit>
void editAsArchive(PlanningSnapshot &state, Edit &&edit)
{
    OrganizationArchive working = OrganizationArchive::make(std::move(state.name), std::move(state.organization));
    working.sheets = std::move(state.sheets);
    working.groups = std::move(state.groups);
    working.printSettings = std::move(state.printSettings);
    working.pageTitle = std::move(state.pageTitle);
    working.pageSubtitle = std::move(state.pageSubtitle);
    edit(working);
    state = PlanningSnapshot{std::move(working.name),          std::move(working.organization),
                             std::move(working.sheets),        std::move(working.groups),
                             std::move(working.printSettings), std::move(working.pageTitle),
                             std::move(working.pageSubtitle)};
}

void restoreInto(PlanningSnapshot &state, const PlanningSnapshot &baseline, const Position &restored)
{
    std::unordered_set<std::string_view> active;
    active.reserve(state.organization.positions.size());
    for (const Position &p : state.organization.positions) {
        if (p.id == restored.id)
            throw OrganizationError::invalid("This position is already active in the proposal.");
        active.insert(p.id);
    }

    Position position = restored;
    if (position.managerID && !active.contains(*position.managerID))
        position.managerID.reset();
    std::erase_if(position.dottedManagerIDs, [&](const std::string &id) { return !active.contains(id); });
    state.organization.positions.push_back(std::move(position));

    if (!state.sheets || !baseline.sheets)
        return;
    for (OrganizationSheet &sheet : *state.sheets) {
        const auto listed = std::find_if(baseline.sheets->begin(), baseline.sheets->end(), [&](const auto &s) {
            return s.id == sheet.id && std::ranges::find(s.positionIDs, restored.id) != s.positionIDs.end();
        });
        if (listed != baseline.sheets->end())
            sheet.positionIDs.push_back(restored.id);
    }
}

} // namespace

const OrganizationProposal &OrganizationPlanning::proposal(const std::string &id) const
{
    const auto it =
        std::find_if(proposals.begin(), proposals.end(), [&](const OrganizationProposal &p) { return p.id == id; });
    if (it == proposals.end())
        throw OrganizationError::invalid("Select an existing proposal.");
    return *it;
}

std::string OrganizationArchive::createProposal(const std::string &name)
{
    if (!planning)
        throw OrganizationError::invalid("Lock the current organization before creating a proposal.");
    return appendProposal(*planning, name);
}

void OrganizationArchive::deleteProposalPosition(const std::string &id, const std::string &proposalID)
{
    requirePlanning(*this);
    updateProposal(*planning, proposalID, [&](PlanningSnapshot &state) {
        editAsArchive(state, [&](OrganizationArchive &working) { working.deletePosition(id); });
    });
}

void OrganizationArchive::makeProposalPositionVacant(const std::string &id, const std::string &proposalID)
{
    requirePlanning(*this);
    updateProposal(*planning, proposalID, [&](PlanningSnapshot &state) {
        editAsArchive(state, [&](OrganizationArchive &working) { working.makePositionVacant(id); });
    });
}

void OrganizationArchive::restoreProposalPosition(const std::string &id, const std::string &proposalID)
{
    const Position *restored = planning ? findPosition(planning->baseline.organization, id) : nullptr;
    if (!restored)
        throw OrganizationError::invalid("This position is not in the locked baseline.");
    updateProposal(*planning, proposalID,
                   [&](PlanningSnapshot &state) { restoreInto(state, planning->baseline, *restored); });
}

std::vector<Position> OrganizationArchive::saveProposalEntry(const PositionEntryRequest &request,
                                                             const std::string &proposalID,
                                                             const std::optional<std::string> &sheetID)
{
    requirePlanning(*this);
    std::vector<Position> saved;
    updateProposal(*planning, proposalID, [&](PlanningSnapshot &state) {
        editAsArchive(state, [&](OrganizationArchive &working) {
            saved = working.savePositionEntry(request, sheetID);
            if (!request.isNew())
                return;
            // A baseline id in a proposal would read as that position edited, not as a new one.
            std::unordered_set<std::string_view> baselineIDs;
            baselineIDs.reserve(planning->baseline.organization.positions.size());
            for (const Position &position : planning->baseline.organization.positions)
                baselineIDs.insert(position.id);
            const bool takesBaselineID = std::any_of(saved.begin(), saved.end(), [&](const Position &p) {
                return baselineIDs.contains(p.id);
            });
            if (takesBaselineID)
                throw OrganizationError::invalid(
                    "That Position ID belongs to the locked baseline. Use a new Position ID.");
        });
    });
    return saved;
}

void OrganizationArchive::includeProposalPositionFromEntry(const std::string &positionID,
                                                           const std::string &proposalID, const std::string &sheetID)
{
    requirePlanning(*this);
    updateProposal(*planning, proposalID, [&](PlanningSnapshot &state) {
        editAsArchive(state, [&](OrganizationArchive &working) {
            working.includeExistingPositionFromEntry(positionID, sheetID);
        });
    });
}
