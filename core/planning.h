#pragma once

#include "core/identifiers.h"
#include "core/organization.h"
#include "core/organization_sheet.h"
#include "core/position_group.h"
#include "core/print_settings.h"

#include <optional>
#include <string>
#include <vector>

struct OrganizationArchive;

// A frozen copy of the planning-relevant content of a document.
struct PlanningSnapshot {
    std::string name;
    Organization organization;
    std::optional<std::vector<OrganizationSheet>> sheets;
    std::optional<std::vector<PositionGroup>> groups;
    std::optional<ChartPrintSettings> printSettings;
    std::optional<std::string> pageTitle;
    std::optional<std::string> pageSubtitle;

    bool operator==(const PlanningSnapshot &) const = default;
};

// A named staffing proposal, edited apart from Current.
struct OrganizationProposal {
    std::string id; // UUID, upper case
    std::string name;
    Date createdAt;
    PlanningSnapshot state;

    bool operator==(const OrganizationProposal &) const = default;
};

// The planning state stored in a document.
struct OrganizationPlanning {
    Date lockedAt;
    PlanningSnapshot baseline;
    bool isLocked = false;
    std::vector<OrganizationProposal> proposals;

    bool operator==(const OrganizationPlanning &) const = default;
};
