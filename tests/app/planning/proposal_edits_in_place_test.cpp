#include "app/shell/organization_document.h"
#include "core/document/position_entry.h"

#include "error_of.h"
#include "random_edits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

namespace {

const Position *find(const Organization &organization, const std::string &id)
{
    const auto found = std::find_if(organization.positions.begin(), organization.positions.end(),
                                    [&](const Position &p) { return p.id == id; });
    return found == organization.positions.end() ? nullptr : &*found;
}

// A baseline position put back into `state` as a restore puts it, and the organization then
// validated whole.
void restoreWhole(PlanningSnapshot &state, const PlanningSnapshot &baseline, const std::string &id)
{
    if (find(state.organization, id))
        throw OrganizationError::invalid("This position is already active in the proposal.");
    Position restored = *find(baseline.organization, id);
    if (restored.managerID && !find(state.organization, *restored.managerID))
        restored.managerID.reset();
    std::erase_if(restored.dottedManagerIDs, [&](const std::string &m) { return !find(state.organization, m); });
    state.organization.positions.push_back(restored);
    if (state.sheets && baseline.sheets) {
        for (OrganizationSheet &sheet : *state.sheets) {
            for (const OrganizationSheet &locked : *baseline.sheets) {
                if (locked.id == sheet.id && std::count(locked.positionIDs.begin(), locked.positionIDs.end(), id))
                    sheet.positionIDs.push_back(id);
            }
        }
    }
    state.organization.validate();
}

} // namespace

// Proposal edits are made in the proposal's own place, validating only what they can break,
// and undo steps keep the planning state's organizations frozen beside the step before. The
// same edits made the whole way (on a copy of the proposal, every position validated, charts
// reconciled against the whole organization) give the same proposal or the same refusal,
// also where the refusal names a position the edit did not touch (the first of a cycle in
// the organization's order), and every step undoes and redoes exactly.
TEST(ProposalEditsInPlace, MatchTheWholePathAndUndoExactly)
{
    for (unsigned seed = 1; seed <= 3; ++seed) {
        std::mt19937 random(seed);
        OrganizationDocument document;
        OrganizationArchive start = RandomEdits::district(random, 40);
        // Reports listed before their managers: a cycle is then met first away from the edit.
        std::reverse(start.organization.positions.begin(), start.organization.positions.end());
        start.lockForPlanning();
        start.createProposal("A");
        start.createProposal("B");
        document.setArchive(start);
        const std::string chartID = start.sheets->front().id;
        for (int round = 0; round < 120; ++round) {
            const std::string where = "seed " + std::to_string(seed) + ", round " + std::to_string(round);
            const OrganizationArchive before = document.archive();
            const size_t which = size_t(RandomEdits::below(random, 2));
            const std::string proposalID = before.planning->proposals[which].id;
            const PlanningSnapshot &state = before.planning->proposals[which].state;
            const PlanningSnapshot &baseline = before.planning->baseline;
            const std::vector<Position> &positions = state.organization.positions;
            const Position original = positions[size_t(RandomEdits::below(random, positions.size()))];
            const std::string other = positions[size_t(RandomEdits::below(random, positions.size()))].id;
            const std::string taken = positions[size_t(RandomEdits::below(random, positions.size()))]
                                          .employee.value_or(Employee{"1000", ""}).id;
            const std::string locked =
                baseline.organization.positions[size_t(RandomEdits::below(random, baseline.organization.positions.size()))].id;
            // A baseline position the proposal deleted, if any: restored, or its number taken.
            std::vector<const Position *> deleted;
            for (const Position &p : baseline.organization.positions) {
                if (!find(state.organization, p.id))
                    deleted.push_back(&p);
            }
            const Position *freed = deleted.empty() ? nullptr : deleted[size_t(RandomEdits::below(random, deleted.size()))];
            const std::optional<std::string> sheetID = round % 3 ? std::optional(chartID) : std::nullopt;
            const int kind = RandomEdits::below(random, 13);

            std::function<void(OrganizationArchive &)> inPlace;
            std::function<void(PlanningSnapshot &)> whole;
            if (kind == 0) {
                inPlace = [&](OrganizationArchive &a) { a.deleteProposalPosition(original.id, proposalID); };
                whole = [&](PlanningSnapshot &s) {
                    OrganizationArchive w = s.archive();
                    w.deletePosition(original.id);
                    w.organization.validate();
                    s = PlanningSnapshot::make(w);
                };
            } else if (kind == 1) {
                inPlace = [&](OrganizationArchive &a) { a.makeProposalPositionVacant(original.id, proposalID); };
                whole = [&](PlanningSnapshot &s) {
                    OrganizationArchive w = s.archive();
                    w.makePositionVacant(original.id);
                    w.organization.validate();
                    s = PlanningSnapshot::make(w);
                };
            } else if (kind == 2) {
                const std::string restored = freed ? freed->id : locked;
                inPlace = [&, restored](OrganizationArchive &a) { a.restoreProposalPosition(restored, proposalID); };
                whole = [&, restored](PlanningSnapshot &s) { restoreWhole(s, baseline, restored); };
            } else if (kind == 3) {
                // A new vacancy, or one that takes the id of a position the proposal deleted.
                Position added = original;
                added.id = round % 2 ? "N" + std::to_string(round) : locked;
                added.employee.reset();
                added.managerID = other;
                const PositionEntryRequest request{.position = added, .quantity = 1 + round % 2, .includeOnSheet = true};
                inPlace = [&, request](OrganizationArchive &a) { a.saveProposalEntry(request, proposalID, sheetID); };
                whole = [&, added, request](PlanningSnapshot &s) {
                    OrganizationArchive w = s.archive();
                    const std::vector<Position> saved = w.addPositions(added, request.quantity, sheetID);
                    for (const Position &p : saved) {
                        if (find(baseline.organization, p.id))
                            throw OrganizationError::invalid(
                                "That Position ID belongs to the locked baseline. Use a new Position ID.");
                    }
                    s = PlanningSnapshot::make(w);
                };
            } else {
                Position edited = original;
                switch (kind) {
                case 4: // a new number, or the number of a deleted position, which its restore then lacks
                    edited.employee = Employee{freed && freed->employee && round % 2 ? freed->employee->id
                                                                                     : "7" + std::to_string(round),
                                               "Renamed"};
                    break;
                case 5: edited.managerID = other; break; // may close a cycle, or name itself
                case 6: edited.managerID.reset(); break;
                case 7: edited.employee = Employee{" " + taken, "Twin"}; break;
                case 8: edited.dottedManagerIDs = {other, "missing"}; break;
                case 9: edited.title = round % 2 ? "" : "Counselor"; break;
                case 10: edited.fte = 0.5; break;
                default: // under one of its own reports: a cycle
                    for (const Position &p : positions) {
                        if (p.managerID == original.id)
                            edited.managerID = p.id;
                    }
                    break;
                }
                const PositionEntryRequest request{.position = edited, .original = original,
                                                   .includeOnSheet = kind % 2 == 0};
                inPlace = [&, request](OrganizationArchive &a) { a.saveProposalEntry(request, proposalID, sheetID); };
                whole = [&, edited, request](PlanningSnapshot &s) {
                    OrganizationArchive w = s.archive();
                    Position stored = edited;
                    canonicalizeIdentifiers(stored);
                    const bool placing = sheetID && request.includeOnSheet;
                    if (stored == original &&
                        (!placing || std::count(w.sheet(*sheetID)->positionIDs.begin(),
                                                w.sheet(*sheetID)->positionIDs.end(), original.id)))
                        return;
                    Organization next = w.organization;
                    std::replace(next.positions.begin(), next.positions.end(), original, stored);
                    w.replaceOrganization(next);
                    if (placing)
                        w.includePositions({stored.id}, *sheetID);
                    s = PlanningSnapshot::make(w);
                };
            }

            OrganizationArchive expected = before;
            PlanningSnapshot expectedState = state;
            const std::string expectedError = errorOf([&] { whole(expectedState); });
            expected.planning->proposals[which].state = expectedState;
            const size_t steps = document.history().undoCount();
            ASSERT_EQ(errorOf([&] { document.edit("Proposal Edit", inPlace); }), expectedError) << where;
            if (!expectedError.empty() || expected == before) {
                ASSERT_EQ(document.archive(), before) << where;
                ASSERT_EQ(document.history().undoCount(), steps) << where;
                continue;
            }
            ASSERT_EQ(document.archive(), expected) << where;
            const OrganizationArchive after = document.archive();
            document.undo();
            ASSERT_EQ(document.archive(), before) << where;
            document.redo();
            ASSERT_EQ(document.archive(), after) << where;
            if (round % 7 == 0) {
                document.undo(); // and the next edit drops the redo
                ASSERT_EQ(document.archive(), before) << where;
            }
        }
    }
}
