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

// The frame of every proposal edit. The change works in the proposal's own state, as an
// edit of Current works in the document: it validates what it can make invalid in an
// organization that was valid when stored (with the messages of a whole validation), and
// leaves the state as it was when it throws. So an edit of one position of a large
// district costs that position, not a copy and a validation of every one.
template <typename Change>
void updateProposal(OrganizationPlanning &planning, const std::string &proposalID, Change &&change)
{
    OrganizationProposal *proposal = findProposal(planning, proposalID);
    if (!proposal)
        throw OrganizationError::invalid("Select an existing proposal.");
    change(proposal->state);
}

// Runs one of the archive's own editing operations on a proposal's content, moved through a
// throwaway archive and back, also when the operation throws (leaving its archive as it
// was). The operation saves no recovery version: it would be dropped with the archive.
template <typename Edit>
void editAsArchive(PlanningSnapshot &state, Edit &&edit)
{
    OrganizationArchive working = OrganizationArchive::make(std::move(state.name), std::move(state.organization));
    working.sheets = std::move(state.sheets);
    working.groups = std::move(state.groups);
    working.printSettings = std::move(state.printSettings);
    working.pageTitle = std::move(state.pageTitle);
    working.pageSubtitle = std::move(state.pageSubtitle);
    const auto giveBack = [&] {
        state = PlanningSnapshot{std::move(working.name),          std::move(working.organization),
                                 std::move(working.sheets),        std::move(working.groups),
                                 std::move(working.printSettings), std::move(working.pageTitle),
                                 std::move(working.pageSubtitle)};
    };
    try {
        edit(working);
    } catch (...) {
        giveBack();
        throw;
    }
    giveBack();
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
    std::vector<Position> &positions = state.organization.positions;
    positions.push_back(std::move(position));
    // Absent from a valid proposal, the id is nobody's manager: only the restored position
    // itself can break a rule.
    try {
        state.organization.validateAddition(positions.size() - 1);
    } catch (...) {
        positions.pop_back();
        throw;
    }

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
        editAsArchive(state, [&](OrganizationArchive &working) {
            working.deletePosition(id, OrganizationArchive::RecoveryVersion::skip);
        });
    });
}

void OrganizationArchive::makeProposalPositionVacant(const std::string &id, const std::string &proposalID)
{
    requirePlanning(*this);
    updateProposal(*planning, proposalID, [&](PlanningSnapshot &state) {
        editAsArchive(state, [&](OrganizationArchive &working) {
            working.makePositionVacant(id, OrganizationArchive::RecoveryVersion::skip);
        });
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
            // New positions go at the end of the organization and of the chart's list, and
            // come off again there when they take a baseline id.
            const size_t positionsBefore = working.organization.positions.size();
            const OrganizationSheet *chart = sheetID ? working.sheet(*sheetID) : nullptr;
            const size_t listedBefore = chart ? chart->positionIDs.size() : 0;
            saved = working.savePositionEntry(request, sheetID, OrganizationArchive::RecoveryVersion::skip);
            if (!request.isNew())
                return;
            // A baseline id in a proposal would read as that position edited, not as a new one.
            std::unordered_set<std::string_view> savedIDs;
            for (const Position &position : saved)
                savedIDs.insert(position.id);
            const std::vector<Position> &baseline = planning->baseline.organization.positions;
            const bool takesBaselineID = std::any_of(baseline.begin(), baseline.end(), [&](const Position &p) {
                return savedIDs.contains(p.id);
            });
            if (!takesBaselineID)
                return;
            working.organization.positions.resize(positionsBefore);
            if (chart)
                working.sheet(*sheetID)->positionIDs.resize(listedBefore);
            throw OrganizationError::invalid("That Position ID belongs to the locked baseline. Use a new Position ID.");
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
            working.includeExistingPositionFromEntry(positionID, sheetID, OrganizationArchive::RecoveryVersion::skip);
        });
    });
}
