#include "core/document/organization_archive.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

std::string PrimaryManagerReference::label(bool hideNames) const
{
    return !hideNames && employeeName ? *employeeName : jobTitle;
}

std::string PrimaryManagerReference::printedLabel(bool hideNames) const
{
    std::string text = "Primary: " + label(hideNames);
    for (size_t i = 0; i < charts.size(); ++i) {
        text += i == 0 ? " \u00B7 " : ", ";
        text += charts[i].name;
    }
    return text;
}

namespace {

// For each manager in `managers`, the other charts that list it, in display order.
std::unordered_map<std::string_view, std::vector<ManagerChartReference>>
chartsListing(const std::vector<OrganizationSheet> &sortedSheets, const std::string &shownSheetID,
              const std::unordered_set<std::string_view> &managers)
{
    std::unordered_map<std::string_view, std::vector<ManagerChartReference>> charts;
    if (managers.empty())
        return charts;
    for (const OrganizationSheet &sheet : sortedSheets) {
        if (sheet.id == shownSheetID)
            continue;
        std::unordered_set<std::string_view> listedHere;
        for (const std::string &id : sheet.positionIDs) {
            auto manager = managers.find(id);
            if (manager != managers.end() && listedHere.insert(*manager).second)
                charts[*manager].push_back(ManagerChartReference{sheet.id, sheet.name});
        }
    }
    return charts;
}

} // namespace

Organization OrganizationArchive::focusedDepartmentOrganization(const OrganizationSheet &sheet) const
{
    const Organization all = organization.withReportingCallouts();
    const std::unordered_set<std::string_view> onSheet(sheet.positionIDs.begin(), sheet.positionIDs.end());
    std::vector<const Position *> members;
    for (const Position &p : all.positions) {
        if (onSheet.contains(p.id))
            members.push_back(&p);
    }
    if (members.empty())
        return Organization{};

    std::unordered_map<std::string_view, const Position *> byID;
    for (const Position &p : all.positions)
        byID.emplace(p.id, &p);
    std::unordered_map<std::string_view, std::vector<const Position *>> reportsByManager;
    for (const Position *m : members)
        reportsByManager[m->managerID ? std::string_view(*m->managerID) : std::string_view()].push_back(m);

    // Shared roots: members whose primary manager is off the sheet but who report into it
    // by dotted line. Each takes its primary-chain descendants on the sheet with it.
    std::unordered_map<std::string_view, std::string_view> rootOf;
    for (const Position *root : members) {
        const bool managerOff = root->managerID && !onSheet.contains(*root->managerID);
        const bool dottedOn = std::any_of(root->dottedManagerIDs.begin(), root->dottedManagerIDs.end(),
                                          [&](const std::string &m) { return onSheet.contains(m); });
        if (!managerOff || !dottedOn)
            continue;
        std::vector<std::string_view> stack{root->id};
        while (!stack.empty()) {
            const std::string_view id = stack.back();
            stack.pop_back();
            if (rootOf.contains(id))
                break;
            rootOf.emplace(id, root->id);
            auto reports = reportsByManager.find(id);
            if (reports == reportsByManager.end())
                continue;
            for (const Position *r : reports->second)
                stack.push_back(r->id);
        }
    }
    // With every member shared the sheet would have no department chart: show it plainly.
    const bool allShared = std::all_of(members.begin(), members.end(),
                                       [&](const Position *m) { return rootOf.contains(m->id); });
    if (allShared)
        rootOf.clear();

    std::unordered_set<std::string_view> offSheetManagers;
    for (const Position *m : members) {
        if (rootOf.contains(m->id) && m->managerID && !onSheet.contains(*m->managerID) && byID.contains(*m->managerID))
            offSheetManagers.insert(*m->managerID);
    }
    const auto charts = chartsListing(sortedSheets(), sheet.id, offSheetManagers);

    Organization result;
    result.positions.reserve(members.size());
    for (const Position *member : members) {
        Position p = *member;
        auto root = rootOf.find(p.id);
        p.sharedReportRootID = root == rootOf.end() ? std::nullopt : std::optional(std::string(root->second));
        if (p.managerID && !onSheet.contains(*p.managerID)) {
            auto manager = byID.find(*p.managerID);
            if (root != rootOf.end() && manager != byID.end()) {
                const Position &m = *manager->second;
                auto listed = charts.find(m.id);
                p.primaryManagerReference = PrimaryManagerReference{
                    m.id, m.employee ? std::optional(m.employee->name) : std::nullopt, m.jobTitle(),
                    listed == charts.end() ? std::vector<ManagerChartReference>{} : listed->second};
            }
            p.managerID.reset();
        }
        // Main area: the sheet's ids that are not shared. A root keeps its dotted line into it.
        std::erase_if(p.dottedManagerIDs, [&](const std::string &m) { return !onSheet.contains(m) || rootOf.contains(m); });
        result.positions.push_back(std::move(p));
    }
    return result;
}
