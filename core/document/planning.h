#pragma once

#include "core/support/identifiers.h"
#include "core/model/organization.h"
#include "core/document/organization_sheet.h"
#include "core/document/position_group.h"
#include "core/model/print_settings.h"

#include <optional>
#include <string>
#include <vector>

struct OrganizationArchive;
// Defined by the planning subsystem, which builds change lists on top of these records.
struct ProposalChange;

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
    // The same made in `archive`'s place: assigned over what it held, the positions much as
    // they were keep their strings where they are, so that a view following a large
    // proposal edit by edit allocates next to nothing. Linear.
    void assignArchive(OrganizationArchive &archive) const;

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

    // The proposal with this id. Throws "Select an existing proposal.". Linear in proposals.
    const OrganizationProposal &proposal(const std::string &id) const;

    // The differences of a proposal from the baseline, one per added, deleted, moved or
    // edited position, in ascending plain id order. A nonempty `sheetID` restricts them to
    // the positions listed on that chart in the baseline or in the proposal. Throws for an
    // unknown proposal or a chart the baseline lacks. O(n log n) in positions.
    // `Details::none` leaves every change's detail lines out, for what needs only the kinds.
    enum class Details { described, none };
    std::vector<ProposalChange> changes(const std::string &proposalID, const std::string &sheetID = {},
                                        Details details = Details::described) const;
    // The plain-text change report of a proposal, optionally for one chart. Throws as
    // changes(). O(n log n) in positions.
    std::string report(const std::string &proposalID, const std::string &sheetID = {}) const;
    // The proposal's content for drawing: every changed position marked with its kind and the
    // deleted baseline positions put back, marked deleted. Throws for an unknown proposal and
    // when the combined organization fails validation. O(n log n) in positions.
    OrganizationArchive comparisonArchive(const std::string &proposalID) const;
    // The same made in `archive`'s place, as PlanningSnapshot::assignArchive makes it; what
    // `archive` holds after a throw is unspecified.
    void comparisonArchive(const std::string &proposalID, OrganizationArchive &archive) const;

    bool operator==(const OrganizationPlanning &) const = default;
};
