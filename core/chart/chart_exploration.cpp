#include "core/model/organization.h"

#include "core/model/employee_directory.h"
#include "core/support/text.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace {

// Which positions the collapsed ids hide: every report below one of them, at any depth.
std::vector<bool> hiddenBelow(const std::vector<Position> &positions, const std::set<std::string> &collapsed)
{
    std::vector<bool> hidden(positions.size(), false);
    if (collapsed.empty())
        return hidden;
    std::unordered_map<std::string_view, std::vector<size_t>> reports;
    reports.reserve(positions.size());
    for (size_t i = 0; i < positions.size(); ++i)
        reports[positions[i].managerID ? std::string_view(*positions[i].managerID) : std::string_view()].push_back(i);

    std::unordered_set<std::string_view> ids;
    ids.reserve(positions.size());
    for (const Position &p : positions)
        ids.insert(p.id);
    // Ids naming no position hide nothing, even when a position names them as its manager.
    std::vector<size_t> work;
    for (const std::string &id : collapsed) {
        if (!ids.contains(id))
            continue;
        auto found = reports.find(id);
        if (found != reports.end())
            work.insert(work.end(), found->second.begin(), found->second.end());
    }
    while (!work.empty()) {
        const size_t i = work.back();
        work.pop_back();
        if (hidden[i])
            continue;
        hidden[i] = true;
        auto found = reports.find(positions[i].id);
        if (found != reports.end())
            work.insert(work.end(), found->second.begin(), found->second.end());
    }
    return hidden;
}

} // namespace

size_t Organization::countShown(const std::set<std::string> &collapsed) const
{
    const std::vector<bool> hidden = hiddenBelow(positions, collapsed);
    return size_t(std::count(hidden.begin(), hidden.end(), false));
}

Organization Organization::hidingDescendants(const std::set<std::string> &collapsed) const
{
    const std::vector<bool> hidden = hiddenBelow(positions, collapsed);

    std::unordered_set<std::string_view> kept;
    kept.reserve(positions.size());
    for (size_t i = 0; i < positions.size(); ++i) {
        if (!hidden[i])
            kept.insert(positions[i].id);
    }
    Organization result;
    result.positions.reserve(kept.size());
    for (size_t i = 0; i < positions.size(); ++i) {
        if (hidden[i])
            continue;
        Position p = positions[i];
        std::erase_if(p.dottedManagerIDs, [&](const std::string &m) { return !kept.contains(m); });
        result.positions.push_back(std::move(p));
    }
    return result;
}

namespace {

std::string searchText(const Position &p)
{
    std::string text = p.id;
    text += ' ';
    text += p.employee ? p.employee->id : std::string();
    text += ' ';
    text += p.employee ? p.employee->name : std::string("Vacant");
    text += ' ';
    text += p.title;
    text += ' ';
    text += p.jobTitle();
    text += ' ';
    text += p.department;
    text += ' ';
    text += p.location;
    return text;
}

} // namespace

std::vector<Position> Organization::search(std::string_view query) const
{
    const std::vector<std::string> terms = Text::words(query);
    if (terms.empty())
        return {};
    std::vector<Position> matches;
    for (const Position &p : positions) {
        const std::string text = searchText(p);
        const bool all = std::all_of(terms.begin(), terms.end(), [&](const std::string &term) {
            return Text::localizedCaseInsensitiveContains(text, term);
        });
        if (all)
            matches.push_back(p);
    }
    return EmployeeDirectory::sorted(std::move(matches));
}

std::set<std::string> Organization::ancestors(const std::string &id) const
{
    std::unordered_map<std::string_view, const Position *> byID;
    byID.reserve(positions.size());
    for (const Position &p : positions)
        byID.emplace(p.id, &p);

    std::set<std::string> result;
    auto found = byID.find(id);
    if (found == byID.end())
        return result;
    const Position *current = found->second;
    while (current->managerID) {
        const std::string &manager = *current->managerID;
        if (!result.insert(manager).second)
            break; // a cycle
        auto next = byID.find(manager);
        if (next == byID.end())
            break;
        current = next->second;
    }
    return result;
}
