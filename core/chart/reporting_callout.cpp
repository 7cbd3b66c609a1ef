#include "core/chart/reporting_callouts.h"
#include "core/model/organization.h"

#include <algorithm>
#include <future>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

ReportingCallout ReportingCallout::make(std::vector<PrimaryManagerReference> managers,
                                        std::optional<std::string> primaryManagerID)
{
    auto isPrimary = [&](const PrimaryManagerReference &m) { return primaryManagerID && m.positionID == *primaryManagerID; };
    std::stable_sort(managers.begin(), managers.end(), [&](const auto &a, const auto &b) {
        if (isPrimary(a) != isPrimary(b))
            return isPrimary(a);
        return a.positionID < b.positionID;
    });
    return ReportingCallout{std::move(managers), std::move(primaryManagerID)};
}

std::optional<ReportingCallout> ReportingCallout::merged(const std::vector<Position> &positions)
{
    std::vector<PrimaryManagerReference> managers;
    std::unordered_set<std::string> seen;
    for (const Position &p : positions) {
        if (!p.reportingCallout)
            continue;
        for (const PrimaryManagerReference &m : p.reportingCallout->managers) {
            if (seen.insert(m.positionID).second)
                managers.push_back(m);
        }
    }
    if (managers.size() < 2)
        return std::nullopt;
    std::optional<std::string> primary;
    if (!positions.empty() && positions.front().reportingCallout)
        primary = positions.front().reportingCallout->primaryManagerID;
    return make(std::move(managers), std::move(primary));
}

std::string ReportingCallout::summary() const
{
    const auto others = static_cast<long long>(managers.size()) - 1;
    return "Also reports to " + std::to_string(others) + " other " + (others == 1 ? "manager" : "managers");
}

std::string ReportingCallout::details(bool hideNames) const
{
    std::string text;
    for (const PrimaryManagerReference &m : managers) {
        if (!text.empty())
            text += "\n";
        const bool primary = primaryManagerID && *primaryManagerID == m.positionID;
        text += primary ? "Primary: " : "Additional: ";
        if (!hideNames && m.employeeName)
            text += *m.employeeName + " \u2014 " + m.jobTitle;
        else
            text += m.jobTitle;
    }
    return text;
}

namespace {

using PositionIndex = std::unordered_map<std::string_view, const Position *>;

PositionIndex indexByID(const std::vector<Position> &positions)
{
    PositionIndex byID;
    byID.reserve(positions.size());
    for (const Position &p : positions)
        byID.emplace(p.id, &p); // the first of equal ids wins
    return byID;
}

// Whether a position without a callout names two managers or more, before any lookup.
bool mayGetCallout(const Position &p)
{
    return !p.reportingCallout && (p.managerID ? 1 : 0) + p.dottedManagerIDs.size() >= 2;
}

// The positions a callout of `p` names: its managers, once each, sorted, less its own id
// and ids naming no position. Gives how many; `ids` holds them when there are two or more.
size_t calloutManagers(const Position &p, const PositionIndex &byID, std::vector<std::string_view> &ids)
{
    ids.clear();
    if (!mayGetCallout(p))
        return 0;
    if (p.managerID)
        ids.push_back(*p.managerID);
    ids.insert(ids.end(), p.dottedManagerIDs.begin(), p.dottedManagerIDs.end());
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    std::erase_if(ids, [&](std::string_view id) { return id == p.id || !byID.contains(id); });
    return ids.size();
}

// The callouts withReportingCallouts adds, by position: the lookups read only ids, names and
// job titles, so they can be made from the positions or from a copy of them.
std::vector<std::pair<size_t, ReportingCallout>> calloutsToAdd(const std::vector<Position> &positions)
{
    std::vector<std::pair<size_t, ReportingCallout>> added;
    if (std::none_of(positions.begin(), positions.end(), mayGetCallout))
        return added;
    const PositionIndex byID = indexByID(positions);
    std::vector<std::string_view> ids;
    for (size_t i = 0; i < positions.size(); ++i) {
        const Position &p = positions[i];
        if (calloutManagers(p, byID, ids) < 2)
            continue;
        std::vector<PrimaryManagerReference> managers;
        for (std::string_view id : ids) {
            const Position &m = *byID.at(id);
            managers.push_back(PrimaryManagerReference{
                std::string(id), m.employee ? std::optional(m.employee->name) : std::nullopt, m.jobTitle(), {}});
        }
        added.emplace_back(i, ReportingCallout::make(std::move(managers), p.managerID));
    }
    return added;
}

// Positions from which the callouts are made on another thread while the copy is taken.
constexpr size_t calloutsApartFrom = 2000;

} // namespace

Organization Organization::withReportingCallouts() const &
{
    Organization copy;
    withReportingCallouts(copy);
    return copy;
}

void Organization::withReportingCallouts(Organization &into) const
{
    std::future<std::vector<std::pair<size_t, ReportingCallout>>> added =
        std::async(positions.size() >= calloutsApartFrom ? std::launch::async : std::launch::deferred,
                   [this] { return calloutsToAdd(positions); });
    into = *this;
    for (auto &[index, callout] : added.get())
        into.positions[index].reportingCallout = std::move(callout);
}

Organization Organization::withReportingCallouts() &&
{
    std::vector<std::pair<size_t, ReportingCallout>> added = calloutsToAdd(positions);
    Organization result = std::move(*this);
    for (auto &[index, callout] : added)
        result.positions[index].reportingCallout = std::move(callout);
    return result;
}

std::vector<bool> ReportingCallouts::present(const Organization &organization)
{
    const std::vector<Position> &positions = organization.positions;
    std::vector<bool> present;
    present.reserve(positions.size());
    if (std::none_of(positions.begin(), positions.end(), mayGetCallout)) {
        for (const Position &p : positions)
            present.push_back(p.reportingCallout.has_value());
        return present;
    }
    const PositionIndex byID = indexByID(positions);
    std::vector<std::string_view> ids;
    for (const Position &p : positions)
        present.push_back(p.reportingCallout || calloutManagers(p, byID, ids) >= 2);
    return present;
}

bool ReportingCallouts::complete(const Organization &organization)
{
    const std::vector<Position> &positions = organization.positions;
    if (std::none_of(positions.begin(), positions.end(), mayGetCallout))
        return true;
    const PositionIndex byID = indexByID(positions);
    std::vector<std::string_view> ids;
    return std::none_of(positions.begin(), positions.end(),
                        [&](const Position &p) { return calloutManagers(p, byID, ids) >= 2; });
}
