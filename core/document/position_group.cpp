#include "core/document/position_group.h"

#include "core/support/identifiers.h"
#include "core/document/organization_archive.h"
#include "core/support/text.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

PositionGroup PositionGroup::make(std::string name, std::vector<std::string> memberIDs)
{
    return PositionGroup{"group-" + makeUUID(), std::move(name), std::move(memberIDs)};
}

void OrganizationArchive::addGroup(const std::string &name, const std::vector<std::string> &memberIDs)
{
    requireCurrentEditing();
    std::string trimmed = Text::trimmed(name);
    const std::unordered_set<std::string_view> requested(memberIDs.begin(), memberIDs.end());
    std::vector<const Position *> members;
    for (const Position &p : organization.positions) {
        if (requested.contains(p.id))
            members.push_back(&p);
    }
    if (trimmed.empty() || members.size() < 2 || requested.size() != members.size())
        throw OrganizationError::invalid("Name the group and choose at least two people.");
    const bool peers = std::all_of(members.begin(), members.end(), [&](const Position *m) {
        return m->managerID == members.front()->managerID && !m->isAssistantPosition();
    });
    if (!peers)
        throw OrganizationError::invalid("Group members must be non-assistant peers reporting to the same manager.");
    if (groups) {
        for (const PositionGroup &group : *groups) {
            const bool shares = std::any_of(group.memberIDs.begin(), group.memberIDs.end(),
                                            [&](const std::string &id) { return requested.contains(id); });
            if (shares)
                throw OrganizationError::invalid("A person can belong to only one position group.");
        }
    }
    PositionGroup group = PositionGroup::make(std::move(trimmed), memberIDs);
    if (!groups)
        groups.emplace();
    groups->push_back(std::move(group));
}

namespace {

// Collapsing group k rewrites every reference to one of its members into the group's id,
// for the positions that exist at that moment. Rather than rewriting all positions once
// per group, each reference is resolved at the end through the redirects made after its
// position appeared: original positions see every group, the card of group k only the
// groups after k.
class Redirects {
public:
    void add(const std::string &member, size_t group, const std::string &target)
    {
        m_redirects[member].emplace_back(group, target);
    }

    std::string resolve(std::string id, size_t fromGroup) const
    {
        while (true) {
            auto found = m_redirects.find(id);
            if (found == m_redirects.end())
                return id;
            auto hop = std::find_if(found->second.begin(), found->second.end(),
                                    [&](const auto &redirect) { return redirect.first >= fromGroup; });
            if (hop == found->second.end())
                return id;
            id = hop->second;
            fromGroup = hop->first + 1; // group numbers only grow, so this ends
        }
    }

    std::optional<std::string> resolve(const std::optional<std::string> &id, size_t fromGroup) const
    {
        return id ? std::optional(resolve(*id, fromGroup)) : std::nullopt;
    }

    std::vector<std::string> resolveSorted(const std::vector<std::string> &ids, size_t fromGroup) const
    {
        std::vector<std::string> result;
        result.reserve(ids.size());
        for (const std::string &id : ids)
            result.push_back(resolve(id, fromGroup));
        std::sort(result.begin(), result.end());
        result.erase(std::unique(result.begin(), result.end()), result.end());
        return result;
    }

private:
    std::unordered_map<std::string, std::vector<std::pair<size_t, std::string>>> m_redirects;
};

struct Slot {
    Position position;
    size_t firstGroup = 0; // the first group whose collapse rewrites this position's references
    bool removed = false;
};

template <typename Field>
bool allEqual(const std::vector<size_t> &members, const std::vector<Slot> &slots, Field field)
{
    return std::all_of(members.begin(), members.end(),
                       [&](size_t m) { return field(slots[m].position) == field(slots[members.front()].position); });
}

Position collapsedCard(const PositionGroup &group, const std::vector<size_t> &members, const std::vector<Slot> &slots,
                       const Redirects &redirects)
{
    const Slot &first = slots[members.front()];
    Position card;
    card.id = group.id;
    card.title = group.name;
    card.department = allEqual(members, slots, [](const Position &p) { return p.department; })
                          ? first.position.department
                          : "Multiple departments";
    card.location = allEqual(members, slots, [](const Position &p) { return p.location; }) ? first.position.location
                                                                                           : "Multiple locations";
    card.managerID = redirects.resolve(first.position.managerID, first.firstGroup);
    std::unordered_set<std::string_view> memberIDs;
    for (size_t m : members)
        memberIDs.insert(slots[m].position.id);
    std::vector<Position> memberPositions;
    card.fte = 0;
    for (size_t m : members) {
        const Slot &slot = slots[m];
        for (const std::string &id : slot.position.dottedManagerIDs) {
            std::string resolved = redirects.resolve(id, slot.firstGroup);
            if (!memberIDs.contains(resolved))
                card.dottedManagerIDs.push_back(std::move(resolved));
        }
        card.fte += slot.position.fte;
        memberPositions.push_back(slot.position);
    }
    std::sort(card.dottedManagerIDs.begin(), card.dottedManagerIDs.end());
    card.dottedManagerIDs.erase(std::unique(card.dottedManagerIDs.begin(), card.dottedManagerIDs.end()),
                                card.dottedManagerIDs.end());
    card.isAssistant = false;
    card.groupMemberCount = static_cast<int64_t>(members.size());
    card.sharedReportRootID = first.position.sharedReportRootID;
    card.primaryManagerReference = first.position.primaryManagerReference;
    card.proposalChange = first.position.proposalChange;
    card.reportingCallout = ReportingCallout::merged(memberPositions);
    return card;
}

} // namespace

Organization PositionGroup::project(Organization organization, const std::vector<PositionGroup> &groups,
                                    const std::set<std::string> &expanded)
{
    Organization base = std::move(organization).withReportingCallouts();
    if (groups.empty()) {
        base.validate();
        return base;
    }

    std::vector<Slot> slots;
    slots.reserve(base.positions.size() + groups.size());
    std::unordered_map<std::string, std::vector<size_t>> slotsByID;
    for (Position &p : base.positions) {
        slotsByID[p.id].push_back(slots.size());
        slots.push_back(Slot{std::move(p)});
    }

    Redirects redirects;
    bool collapsedAny = false;
    for (size_t k = 0; k < groups.size(); ++k) {
        const PositionGroup &group = groups[k];
        if (expanded.contains(group.id))
            continue;
        std::vector<size_t> members;
        for (const std::string &id : std::set<std::string>(group.memberIDs.begin(), group.memberIDs.end())) {
            auto found = slotsByID.find(id);
            if (found == slotsByID.end())
                continue;
            for (size_t slot : found->second) {
                if (!slots[slot].removed)
                    members.push_back(slot);
            }
        }
        if (members.size() < 2)
            continue;
        std::sort(members.begin(), members.end()); // slot order is organization order
        const Slot &first = slots[members.front()];
        const auto firstManager = redirects.resolve(first.position.managerID, first.firstGroup);
        const bool peers = std::all_of(members.begin(), members.end(), [&](size_t m) {
            const Slot &slot = slots[m];
            return redirects.resolve(slot.position.managerID, slot.firstGroup) == firstManager &&
                   slot.position.sharedReportRootID == first.position.sharedReportRootID &&
                   slot.position.proposalChange == first.position.proposalChange;
        });
        if (!peers)
            continue;

        Position card = collapsedCard(group, members, slots, redirects);
        for (size_t m : members) {
            slots[m].removed = true;
            redirects.add(slots[m].position.id, k, group.id);
        }
        slotsByID[group.id].push_back(slots.size());
        slots.push_back(Slot{std::move(card), k + 1});
        collapsedAny = true;
    }

    Organization result;
    for (Slot &slot : slots) {
        if (slot.removed)
            continue;
        if (collapsedAny) {
            slot.position.managerID = redirects.resolve(slot.position.managerID, slot.firstGroup);
            slot.position.dottedManagerIDs = redirects.resolveSorted(slot.position.dottedManagerIDs, slot.firstGroup);
        }
        result.positions.push_back(std::move(slot.position));
    }
    result.validate();
    return result;
}
