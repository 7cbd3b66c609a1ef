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

    // The seven content fields of `archive`; its versions and planning state are left out.
    static PlanningSnapshot make(const OrganizationArchive &archive);
    // An archive with this content, no versions and no planning state, so that every
    // planning-lock test passes on it.
    OrganizationArchive archive() const;

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

    // Checks a state read from or about to be written to a document: the baseline's
    // organization, unique proposal ids, then per proposal a unique nonempty name and a
    // valid organization. Throws OrganizationError for the first failure. Linear.
    void validate() const;

    bool operator==(const OrganizationPlanning &) const = default;
};
