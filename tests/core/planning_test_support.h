#pragma once

#include "archive_test_support.h"

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
};

} // namespace TestDocs
