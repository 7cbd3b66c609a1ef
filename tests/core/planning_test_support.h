#pragma once

#include "archive_test_support.h"
#include "position_ids.h"

#include <string>

namespace TestDocs {

// A document locked for planning with one proposal, "Plan", whose state tests edit directly.
struct PlannedDocument {
    OrganizationArchive archive;
    std::string proposalID;

    explicit PlannedDocument(OrganizationArchive current) : archive(std::move(current))
    {
        archive.lockForPlanning();
        proposalID = archive.createProposal("Plan");
    }
    const OrganizationPlanning &planning() const { return *archive.planning; }
    PlanningSnapshot &state() { return archive.planning->proposals.front().state; }
    std::vector<Position> &proposed() { return state().organization.positions; }
    Position &proposed(const std::string &id)
    {
        for (Position &p : proposed()) {
            if (p.id == id)
                return p;
        }
        throw std::out_of_range("no position " + id);
    }
    // Removes the positions from the proposal and from its charts.
    void drop(std::initializer_list<std::string> ids)
    {
        for (const std::string &id : ids) {
            std::erase_if(proposed(), [&](const Position &p) { return p.id == id; });
            if (state().sheets) {
                for (OrganizationSheet &s : *state().sheets)
                    std::erase(s.positionIDs, id);
            }
        }
    }
};

} // namespace TestDocs
