#include "core/planning/proposal_changes.h"

#include "core/model/fte_text.h"
#include "core/support/organization_error.h"
#include "core/document/planning.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

const char *proposalChangeKindLabel(ProposalChangeKind kind)
{
    switch (kind) {
    case ProposalChangeKind::added: return "Added";
    case ProposalChangeKind::deleted: return "Deleted";
    case ProposalChangeKind::moved: return "Moved";
    case ProposalChangeKind::modified: return "Edited";
    }
    return "";
}

namespace {

constexpr std::string_view arrow = " \u2192 ";
constexpr std::string_view dash = " \u2014 ";
constexpr std::string_view dot = " \u00B7 ";

using PositionIndex = std::unordered_map<std::string_view, const Position *>;

// The positions of one side by id, indexed on first use: most comparisons look no manager up.
// Ids are unique in a valid organization, so every id names one position.
class PositionLookup {
public:
    explicit PositionLookup(const Organization &organization) : m_organization(organization) {}

    const Position *find(std::string_view id) const
    {
        if (!m_index) {
            m_index.emplace().reserve(m_organization.positions.size());
            for (const Position &position : m_organization.positions)
                m_index->emplace(position.id, &position);
        }
        const auto it = m_index->find(id);
        return it == m_index->end() ? nullptr : it->second;
    }

private:
    const Organization &m_organization;
    mutable std::optional<PositionIndex> m_index;
};

std::string managerLabel(const std::optional<std::string> &id, const PositionLookup &organization)
{
    if (!id)
        return "No primary manager";
    const Position *manager = organization.find(*id);
    if (!manager)
        return *id;
    return (manager->employee ? manager->employee->name : "Vacant") + std::string(dash) + manager->jobTitle() + " [" +
           *id + "]";
}

std::string managerLabels(std::vector<std::string> ids, const PositionLookup &organization)
{
    if (ids.empty())
        return "None";
    std::sort(ids.begin(), ids.end());
    std::string text;
    for (const std::string &id : ids) {
        if (!text.empty())
            text += "; ";
        text += managerLabel(id, organization);
    }
    return text;
}

bool sameDottedManagers(const Position &a, const Position &b)
{
    std::vector<std::string> left = a.dottedManagerIDs;
    std::vector<std::string> right = b.dottedManagerIDs;
    std::sort(left.begin(), left.end());
    left.erase(std::unique(left.begin(), left.end()), left.end());
    std::sort(right.begin(), right.end());
    right.erase(std::unique(right.begin(), right.end()), right.end());
    return left == right;
}

std::string employeeText(const Position &position)
{
    if (!position.employee)
        return "Vacant";
    return position.employee->name + " [" + position.employee->id + "]";
}

std::string locationLine(const Position &position)
{
    return position.department + std::string(dot) + position.location + std::string(dot) + fteText(position.fte) +
           " FTE";
}

// The field lines of a position present on both sides, in the report's order.
void appendFieldLines(const Position &before, const Position &after, std::vector<std::string> &details)
{
    struct Field {
        const char *label;
        std::string (*text)(const Position &);
    };
    static const Field fields[] = {
        {"Job Title", [](const Position &p) { return p.jobTitle(); }},
        {"Pay Level", [](const Position &p) { return p.title; }},
        {"Department", [](const Position &p) { return p.department; }},
        {"Location", [](const Position &p) { return p.location; }},
        {"Employee", employeeText},
        {"FTE", [](const Position &p) { return fteText(p.fte); }},
        {"Assistant", [](const Position &p) { return std::string(p.isAssistantPosition() ? "true" : "false"); }},
        {"Sibling order", [](const Position &p) { return std::to_string(p.siblingOrder.value_or(0)); }},
    };
    for (const Field &field : fields) {
        const std::string old = field.text(before);
        const std::string now = field.text(after);
        if (old != now)
            details.push_back(field.label + std::string(": ") + old + std::string(arrow) + now);
    }
}

// How `after` differs from `before`, the same position in the baseline and the proposal;
// one of them is absent for an added or deleted position.
std::optional<ProposalChange> changeOf(const Position *before, const Position *after, const PositionLookup &baseline,
                                       const PositionLookup &proposal, OrganizationPlanning::Details detailed)
{
    if (before && after && *before == *after)
        return std::nullopt;

    ProposalChange change{.positionID = before ? before->id : after->id};
    if (before)
        change.before = *before;
    if (after)
        change.after = *after;
    change.kind = !before                                 ? ProposalChangeKind::added
                  : !after                                ? ProposalChangeKind::deleted
                  : before->managerID != after->managerID ? ProposalChangeKind::moved
                                                          : ProposalChangeKind::modified;
    if (detailed == OrganizationPlanning::Details::none)
        return change;
    std::vector<std::string> &details = change.details;

    if (!before) {
        details.push_back("Reports to: " + managerLabel(after->managerID, proposal));
        details.push_back(locationLine(*after));
        return change;
    }
    if (!after) {
        details.push_back("Former primary manager: " + managerLabel(before->managerID, baseline));
        details.push_back(locationLine(*before) + " removed");
        return change;
    }

    const bool managerChanged = change.kind == ProposalChangeKind::moved;
    if (managerChanged)
        details.push_back("Primary manager: " + managerLabel(before->managerID, baseline) + std::string(arrow) +
                          managerLabel(after->managerID, proposal));
    if (!sameDottedManagers(*before, *after))
        details.push_back("Additional reports to: " + managerLabels(before->dottedManagerIDs, baseline) +
                          std::string(arrow) + managerLabels(after->dottedManagerIDs, proposal));
    appendFieldLines(*before, *after, details);
    if (before->schoolAssignments != after->schoolAssignments)
        details.push_back("School allocations changed.");
    if (before->jobTitleFollowsPayLevel() != after->jobTitleFollowsPayLevel())
        details.push_back("Job Title follow-Pay-Level setting changed.");
    return change;
}

const OrganizationSheet *findSheet(const std::optional<std::vector<OrganizationSheet>> &sheets, std::string_view id)
{
    if (!sheets)
        return nullptr;
    const auto it = std::find_if(sheets->begin(), sheets->end(), [&](const OrganizationSheet &s) { return s.id == id; });
    return it == sheets->end() ? nullptr : &*it;
}

} // namespace

std::vector<ProposalChange> OrganizationPlanning::changes(const std::string &proposalID, const std::string &sheetID,
                                                          Details details) const
{
    const OrganizationProposal &found = proposal(proposalID);
    const std::vector<Position> &before = baseline.organization.positions;
    const std::vector<Position> &after = found.state.organization.positions;
    const PositionLookup baselineLookup(baseline.organization);
    const PositionLookup proposalLookup(found.state.organization);

    std::optional<std::unordered_set<std::string_view>> scope;
    if (!sheetID.empty()) {
        const OrganizationSheet *baselineSheet = findSheet(baseline.sheets, sheetID);
        if (!baselineSheet)
            throw OrganizationError::invalid("The locked chart no longer exists.");
        scope.emplace(baselineSheet->positionIDs.begin(), baselineSheet->positionIDs.end());
        if (const OrganizationSheet *proposalSheet = findSheet(found.state.sheets, sheetID))
            scope->insert(proposalSheet->positionIDs.begin(), proposalSheet->positionIDs.end());
    }

    std::vector<ProposalChange> result;
    const auto compare = [&](const Position *old, const Position *now) {
        if (scope && !scope->contains(old ? old->id : now->id))
            return;
        if (std::optional<ProposalChange> change = changeOf(old, now, baselineLookup, proposalLookup, details))
            result.push_back(std::move(*change));
    };

    // A proposal keeps the baseline's order but for what it added, removed or moved, so both
    // sides are walked together and only what the walk cannot pair is looked up by id.
    // Ids are unique on each side: a position the walk passes over can only pair with
    // another one passed over.
    std::unordered_map<std::string_view, size_t> baselineSlots; // made at the first skip that needs it
    const auto baselineSlot = [&](std::string_view id) -> std::optional<size_t> {
        if (baselineSlots.empty()) {
            baselineSlots.reserve(before.size());
            for (size_t k = 0; k < before.size(); ++k)
                baselineSlots.emplace(before[k].id, k);
        }
        const auto it = baselineSlots.find(id);
        return it == baselineSlots.end() ? std::nullopt : std::optional(it->second);
    };
    std::vector<const Position *> unpairedBefore;
    std::vector<const Position *> unpairedAfter;
    size_t i = 0;
    size_t j = 0;
    while (i < before.size() && j < after.size()) {
        if (before[i].id == after[j].id) {
            compare(&before[i++], &after[j++]);
        } else if (i + 1 < before.size() && before[i + 1].id == after[j].id) {
            unpairedBefore.push_back(&before[i++]);
        } else if (j + 1 < after.size() && after[j + 1].id == before[i].id) {
            unpairedAfter.push_back(&after[j++]);
        } else if (const std::optional<size_t> slot = baselineSlot(after[j].id); slot && *slot > i) {
            while (i < *slot)
                unpairedBefore.push_back(&before[i++]);
        } else {
            unpairedAfter.push_back(&after[j++]);
        }
    }
    for (; i < before.size(); ++i)
        unpairedBefore.push_back(&before[i]);
    for (; j < after.size(); ++j)
        unpairedAfter.push_back(&after[j]);

    PositionIndex beforeByID;
    beforeByID.reserve(unpairedBefore.size());
    for (const Position *position : unpairedBefore)
        beforeByID.emplace(position->id, position);
    for (const Position *position : unpairedAfter) {
        const auto it = beforeByID.find(position->id);
        compare(it == beforeByID.end() ? nullptr : it->second, position);
        if (it != beforeByID.end())
            beforeByID.erase(it);
    }
    for (const Position *position : unpairedBefore) {
        if (beforeByID.contains(position->id))
            compare(position, nullptr);
    }
    std::sort(result.begin(), result.end(),
              [](const ProposalChange &a, const ProposalChange &b) { return a.positionID < b.positionID; });
    return result;
}
