#include "core/document/organization_archive.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

// When many positions change managers at once (an import, a grid of edits), a literal
// reading would walk one subtree per moved position: quadratic on a deep chain. Instead
// the primary reporting forest is numbered once in preorder, so "x is in y's subtree" is an
// interval test, and each chart is swept once in that order.

namespace {

using IDSet = std::unordered_set<std::string_view>;

// Preorder numbers of the primary reporting forest: the subtree of i is every j with
// enter[i] <= enter[j] <= exit[i].
struct Forest {
    std::unordered_map<std::string_view, size_t> indexByID;
    std::vector<size_t> enter;
    std::vector<size_t> exit;

    explicit Forest(const Organization &organization)
    {
        const std::vector<Position> &positions = organization.positions;
        const size_t n = positions.size();
        indexByID.reserve(n);
        for (size_t i = 0; i < n; ++i)
            indexByID.emplace(positions[i].id, i);
        std::vector<std::vector<size_t>> reports(n);
        std::vector<size_t> roots;
        for (size_t i = 0; i < n; ++i) {
            auto manager = positions[i].managerID ? indexByID.find(*positions[i].managerID) : indexByID.end();
            if (manager == indexByID.end() || manager->second == i)
                roots.push_back(i);
            else
                reports[manager->second].push_back(i);
        }
        enter.assign(n, SIZE_MAX);
        exit.assign(n, 0);
        size_t counter = 0;
        // Iterative walk; a cycle (never in a validated organization) is entered from its
        // first unvisited position so that every position still gets a number.
        auto walk = [&](size_t start) {
            std::vector<std::pair<size_t, size_t>> stack{{start, 0}};
            enter[start] = counter++;
            while (!stack.empty()) {
                auto &[node, next] = stack.back();
                if (next < reports[node].size()) {
                    const size_t child = reports[node][next++];
                    if (enter[child] == SIZE_MAX) {
                        enter[child] = counter++;
                        stack.emplace_back(child, 0);
                    }
                    continue;
                }
                exit[node] = counter - 1;
                stack.pop_back();
            }
        };
        for (size_t root : roots)
            walk(root);
        for (size_t i = 0; i < n; ++i) {
            if (enter[i] == SIZE_MAX)
                walk(i);
        }
    }

    std::optional<size_t> find(std::string_view id) const
    {
        auto found = indexByID.find(id);
        return found == indexByID.end() ? std::nullopt : std::optional(found->second);
    }
};

struct Transfer {
    size_t position;
    std::vector<size_t> targets; // sheet indices, ascending
};

std::vector<size_t> unionOf(const std::vector<size_t> &a, const std::vector<size_t> &b)
{
    std::vector<size_t> result;
    std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(result));
    return result;
}

// Sweeps one source chart in preorder with a stack of the open transfer subtrees: every
// listed position inside one is removed here and added to the targets of all of them.
void sweepSource(const Forest &forest, const Organization &now, const IDSet &listed,
                 std::vector<const Transfer *> transfers, IDSet &removal, std::vector<IDSet> &additions)
{
    std::sort(transfers.begin(), transfers.end(),
              [&](const Transfer *a, const Transfer *b) { return forest.enter[a->position] < forest.enter[b->position]; });
    std::vector<size_t> members;
    for (std::string_view id : listed) {
        if (std::optional<size_t> index = forest.find(id))
            members.push_back(*index);
    }
    std::sort(members.begin(), members.end(), [&](size_t a, size_t b) { return forest.enter[a] < forest.enter[b]; });

    struct Open {
        size_t exit;
        std::vector<size_t> targets;
    };
    std::vector<Open> open;
    size_t next = 0;
    for (size_t member : members) {
        const size_t at = forest.enter[member];
        for (; next < transfers.size() && forest.enter[transfers[next]->position] <= at; ++next) {
            const size_t root = transfers[next]->position;
            while (!open.empty() && open.back().exit < forest.enter[root])
                open.pop_back();
            std::vector<size_t> targets = open.empty() ? transfers[next]->targets
                                                       : unionOf(open.back().targets, transfers[next]->targets);
            open.push_back(Open{forest.exit[root], std::move(targets)});
        }
        while (!open.empty() && open.back().exit < at)
            open.pop_back();
        if (open.empty())
            continue;
        const std::string_view id = now.positions[member].id;
        removal.insert(id);
        for (size_t target : open.back().targets)
            additions[target].insert(id);
    }
}

// Of the ids to remove, those that still hang on the chart by a dotted line to a position
// that stays (and their subtrees, which may hold others in turn).
IDSet heldByDottedLines(const Forest &forest, const Organization &now, const IDSet &listed, const IDSet &removal)
{
    std::map<size_t, std::string_view> pending; // removal ids by preorder number
    std::unordered_map<std::string_view, std::vector<std::string_view>> dottedReports;
    for (std::string_view id : removal) {
        const size_t index = *forest.find(id);
        pending.emplace(forest.enter[index], id);
        for (const std::string &manager : now.positions[index].dottedManagerIDs)
            dottedReports[manager].push_back(id);
    }
    IDSet held;
    std::vector<std::string_view> work;
    for (std::string_view id : removal) {
        const auto &dotted = now.positions[*forest.find(id)].dottedManagerIDs;
        const bool anchored = std::any_of(dotted.begin(), dotted.end(), [&](const std::string &m) {
            return listed.contains(m) && !removal.contains(m);
        });
        if (anchored)
            work.push_back(id);
    }
    while (!work.empty()) {
        const std::string_view id = work.back();
        work.pop_back();
        if (held.contains(id))
            continue;
        const size_t index = *forest.find(id);
        auto first = pending.lower_bound(forest.enter[index]);
        auto last = pending.upper_bound(forest.exit[index]);
        for (auto it = first; it != last; ++it) {
            held.insert(it->second);
            auto reports = dottedReports.find(it->second);
            if (reports != dottedReports.end())
                work.insert(work.end(), reports->second.begin(), reports->second.end());
        }
        pending.erase(first, last);
    }
    return held;
}

} // namespace

void OrganizationArchive::reconcileSheetTransfers(const Organization &old)
{
    if (!sheets)
        return;
    std::vector<OrganizationSheet> &charts = *sheets;
    std::unordered_map<std::string_view, const Position *> oldByID;
    for (const Position &p : old.positions)
        oldByID.emplace(p.id, &p);

    std::vector<IDSet> listed(charts.size());
    std::unordered_map<std::string_view, std::vector<size_t>> chartsListing;
    for (size_t s = 0; s < charts.size(); ++s) {
        for (const std::string &id : charts[s].positionIDs) {
            if (listed[s].insert(id).second)
                chartsListing[id].push_back(s);
        }
    }
    auto chartsWith = [&](std::string_view id) -> const std::vector<size_t> & {
        static const std::vector<size_t> none;
        auto found = chartsListing.find(id);
        return found == chartsListing.end() ? none : found->second;
    };

    // Which positions moved from a chart listing the old manager to one listing the new.
    std::vector<Transfer> transfers;
    std::vector<std::vector<size_t>> sourcesOf;
    for (size_t i = 0; i < organization.positions.size(); ++i) {
        const Position &p = organization.positions[i];
        auto before = oldByID.find(p.id);
        if (before == oldByID.end() || !before->second->managerID || !p.managerID ||
            *before->second->managerID == *p.managerID)
            continue;
        const std::string &from = *before->second->managerID;
        const std::string &to = *p.managerID;
        std::vector<size_t> sources;
        for (size_t s : chartsWith(p.id)) {
            if (listed[s].contains(from) && !listed[s].contains(to))
                sources.push_back(s);
        }
        std::vector<size_t> targets;
        for (size_t t : chartsWith(to)) {
            if (!listed[t].contains(from))
                targets.push_back(t);
        }
        if (sources.empty() || targets.empty())
            continue;
        std::sort(targets.begin(), targets.end());
        transfers.push_back(Transfer{i, std::move(targets)});
        sourcesOf.push_back(std::move(sources));
    }
    if (transfers.empty())
        return;

    const Forest forest(organization);
    std::vector<std::vector<const Transfer *>> transfersFrom(charts.size());
    for (size_t k = 0; k < transfers.size(); ++k) {
        for (size_t s : sourcesOf[k])
            transfersFrom[s].push_back(&transfers[k]);
    }
    std::vector<IDSet> removals(charts.size());
    std::vector<IDSet> additions(charts.size());
    for (size_t s = 0; s < charts.size(); ++s) {
        if (!transfersFrom[s].empty())
            sweepSource(forest, organization, listed[s], transfersFrom[s], removals[s], additions);
    }

    std::vector<OrganizationSheet> updated = charts;
    for (size_t s = 0; s < charts.size(); ++s) {
        if (removals[s].empty() && additions[s].empty())
            continue;
        std::vector<std::string> &ids = updated[s].positionIDs;
        if (!removals[s].empty()) {
            const IDSet held = heldByDottedLines(forest, organization, listed[s], removals[s]);
            std::erase_if(ids, [&](const std::string &id) { return removals[s].contains(id) && !held.contains(id); });
        }
        const IDSet nowListed(ids.begin(), ids.end());
        std::vector<std::string> added;
        for (std::string_view id : additions[s]) {
            if (!nowListed.contains(id))
                added.emplace_back(id);
        }
        std::sort(added.begin(), added.end());
        ids.insert(ids.end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
    }
    charts = std::move(updated);
}
