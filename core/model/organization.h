#pragma once

#include "core/model/chart_annotations.h"
#include "core/support/organization_error.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// The person in a position. `id` is the employee number.
struct Employee {
    std::string id;
    std::string name;
    bool operator==(const Employee &) const = default;
};

// A share of a position's FTE at one school.
struct SchoolAssignment {
    std::string school;
    double fte = 0;
    bool operator==(const SchoolAssignment &) const = default;
};

// Mark of a proposal comparison on a drawn position.
enum class ProposalChangeKind { added, deleted, moved, modified };
const char *proposalChangeKindName(ProposalChangeKind kind);

// One post of the chart. Plain value: any value can be built; Organization::validate()
// decides whether it is acceptable.
struct Position {
    std::string id;
    std::string title; // the pay level
    // The job title when set explicitly; absent means the job title follows the pay level.
    // Read and write it through jobTitle() and setJobTitle().
    std::optional<std::string> customJobTitle;
    std::string department;
    std::optional<Employee> employee; // absent: vacant
    std::optional<std::string> managerID;
    std::vector<std::string> dottedManagerIDs;
    std::string location;
    double fte = 1.0;
    std::vector<SchoolAssignment> schoolAssignments;
    std::optional<bool> isAssistant; // only true marks an assistant; absent and false differ in equality
    std::optional<int64_t> siblingOrder;
    std::optional<int64_t> groupMemberCount;

    // Display-only: never encoded, set on the transient copies that projections make.
    std::optional<std::string> sharedReportRootID;
    std::optional<PrimaryManagerReference> primaryManagerReference;
    std::optional<ReportingCallout> reportingCallout;
    std::optional<ProposalChangeKind> proposalChange;

    const std::string &jobTitle() const { return customJobTitle ? *customJobTitle : title; }
    // Always stores a custom title, even one equal to the pay level.
    void setJobTitle(std::string value) { customJobTitle = std::move(value); }
    const std::string &payLevel() const { return title; }
    void setPayLevel(std::string value) { title = std::move(value); }
    bool jobTitleFollowsPayLevel() const { return !customJobTitle.has_value(); }
    void usePayLevelForJobTitle() { customJobTitle.reset(); }

    bool isVacant() const { return !employee.has_value(); }
    bool isAssistantPosition() const { return isAssistant.value_or(false); }

    bool operator==(const Position &) const = default;
};

// Brings the position's id, manager ids and employee number to Text::canonicalForm; for
// positions entering from outside (files, the position editor).
void canonicalizeIdentifiers(Position &position);

// The whole staff tree: positions in document order.
struct Organization {
    std::vector<Position> positions;

    // Throws OrganizationError for the first broken rule. Linear: each link of the primary
    // chains is walked once over the whole call, without recursion.
    void validate() const;
    // The same after an edit of a valid organization replaced the position at `index`, which
    // was `before` and keeps its id: only what that can break is looked at (the position,
    // its employee number against the others, its new manager's chain), and when anything
    // fails validate() gives the message. Both apply the same rules of one position. Linear
    // scans, with a table of ids only when the primary manager changed.
    void validateReplacement(size_t index, const Position &before) const;
    // The same after a position was appended at `index` to a valid organization in which no
    // position names its id as a manager: only the new position is looked at (its fields,
    // managers and employee number against the others), and when anything fails validate()
    // gives the message. Linear scans, no table.
    void validateAddition(size_t index) const;

    // The positions reachable downwards from `ids` along primary managers, in document
    // order; managers and dotted managers outside the result are dropped. An empty id in
    // `ids` keeps every top-level position with its subtree. Linear.
    Organization focused(const std::set<std::string> &ids) const;

    // One more than the largest all-digit employee number, zero-padded to the longest.
    std::string nextEmployeeNumber() const;

    // A small school district that shows what the model holds: six positions with two
    // departments under the top, a vacancy, dotted managers and a split FTE. Built once.
    static const Organization &example();

    // Throws OrganizationError when no position has this id, or when any position still
    // reports to it (primary or dotted), listing up to six of them. Linear.
    void requirePositionDeletion(const std::string &id) const;

    // Appends `position`, or for a quantity above one that many numbered copies (vacant
    // positions only), validates the result and returns the positions added. Throws
    // OrganizationError and adds nothing when any check fails. Linear.
    std::vector<Position> addPositions(const Position &position, int quantity);

    // A copy in which every position with two or more distinct managers carries its
    // reporting callout; positions that carry one already keep it. n log n.
    Organization withReportingCallouts() const &;
    // The same, made in this organization's place rather than in a copy.
    Organization withReportingCallouts() &&;
    // The same, made in `into`'s place (another organization): assigned over what it held,
    // positions much as they were keep their strings where they are.
    void withReportingCallouts(Organization &into) const;

    // Chart exploration. Without the positions strictly below the collapsed ones (along
    // primary managers); dotted lines into hidden positions are dropped. Linear.
    Organization hidingDescendants(const std::set<std::string> &collapsed) const;
    // How many positions hidingDescendants(collapsed) keeps, without making the copy.
    size_t countShown(const std::set<std::string> &collapsed) const;
    // The positions whose text (id, employee number, name or "Vacant", pay level, job
    // title, department, location) contains every whitespace-separated term of `query`,
    // ignoring case, in person order. Linear plus the sort.
    std::vector<Position> search(std::string_view query) const;
    // The ids of the managers above `id`, up to the top or a cycle; an id naming no
    // position is included and ends the walk. Linear in the chain.
    std::set<std::string> ancestors(const std::string &id) const;

    bool operator==(const Organization &) const = default;
};
