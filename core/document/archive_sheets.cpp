#include "core/document/organization_archive.h"

#include "core/support/text.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

namespace {

// The first sheet with this id, or null; for const and mutable archives alike.
template <typename Sheets>
auto findSheet(Sheets &sheets, const std::string &id) -> decltype(&sheets->front())
{
    if (!sheets)
        return nullptr;
    auto found = std::find_if(sheets->begin(), sheets->end(), [&](const OrganizationSheet &s) { return s.id == id; });
    return found == sheets->end() ? nullptr : &*found;
}

} // namespace

const OrganizationSheet *OrganizationArchive::sheet(const std::string &sheetID) const
{
    return findSheet(sheets, sheetID);
}

OrganizationSheet *OrganizationArchive::sheet(const std::string &sheetID)
{
    return findSheet(sheets, sheetID);
}

void OrganizationArchive::organizationIn(const std::string &sheetID, Organization &into) const
{
    if (sheet(sheetID))
        into = organizationIn(sheetID);
    else
        organization.withReportingCallouts(into);
}

Organization OrganizationArchive::organizationIn(const std::string &sheetID) const
{
    const OrganizationSheet *shown = sheet(sheetID);
    if (shown && shown->isFocusedDepartmentView())
        return focusedDepartmentOrganization(*shown);
    Organization all = organization.withReportingCallouts();
    if (!shown)
        return all;

    // Listed positions, plus the managers a listed dotted-line report needs to be drawn with.
    std::unordered_set<std::string_view> included(shown->positionIDs.begin(), shown->positionIDs.end());
    const std::unordered_set<std::string_view> listed = included;
    for (const Position &p : all.positions) {
        if (!listed.contains(p.id) || p.dottedManagerIDs.empty())
            continue;
        included.insert(p.dottedManagerIDs.begin(), p.dottedManagerIDs.end());
        if (p.managerID)
            included.insert(*p.managerID);
    }

    Organization result;
    for (Position &p : all.positions) {
        if (!included.contains(p.id))
            continue;
        if (p.managerID && !included.contains(*p.managerID))
            p.managerID.reset();
        std::erase_if(p.dottedManagerIDs, [&](const std::string &m) { return !included.contains(m); });
        result.positions.push_back(std::move(p));
    }
    return result;
}

std::vector<OrganizationSheet> OrganizationArchive::sortedSheets() const
{
    if (!sheets)
        return {};
    std::vector<std::pair<std::string, const OrganizationSheet *>> keyed;
    keyed.reserve(sheets->size());
    for (const OrganizationSheet &s : *sheets)
        keyed.emplace_back(Text::localizedStandardKey(s.name), &s);
    // Tie-break on id: sheets with equal names keep one order on every run.
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) {
        if (a.first != b.first)
            return a.first < b.first;
        return a.second->id < b.second->id;
    });
    std::vector<OrganizationSheet> result;
    result.reserve(keyed.size());
    for (const auto &entry : keyed)
        result.push_back(*entry.second);
    return result;
}

void OrganizationArchive::renameSheet(const std::string &sheetID, const std::string &name)
{
    requireCurrentEditing();
    std::string trimmed = Text::trimmed(name);
    OrganizationSheet *target = sheet(sheetID);
    if (!target || trimmed.empty())
        throw OrganizationError::invalid("Select a chart and enter a nonempty name.");
    for (const OrganizationSheet &other : *sheets) {
        if (&other != target && Text::caseInsensitiveEquals(other.name, trimmed))
            throw OrganizationError::invalid("Another chart already has that name.");
    }
    target->name = std::move(trimmed);
}

void OrganizationArchive::includePositions(const std::set<std::string> &ids, const std::string &sheetID)
{
    requireCurrentEditing();
    OrganizationSheet *target = sheet(sheetID);
    if (!target)
        throw OrganizationError::invalid("Select a department sheet first.");
    std::unordered_set<std::string_view> existing;
    for (const Position &p : organization.positions)
        existing.insert(p.id);
    for (const std::string &id : ids) {
        if (!existing.contains(id))
            throw OrganizationError::invalid("A selected position no longer exists. Reopen the picker.");
    }
    const std::unordered_set<std::string_view> listed(target->positionIDs.begin(), target->positionIDs.end());
    std::vector<std::string> positionIDs = target->positionIDs;
    for (const std::string &id : ids) { // a set: already in ascending id order
        if (!listed.contains(id))
            positionIDs.push_back(id);
    }
    target->positionIDs = std::move(positionIDs);
}

std::vector<Position> OrganizationArchive::memberPositions(const std::string &sheetID) const
{
    const OrganizationSheet *shown = sheet(sheetID);
    if (!shown)
        return organization.positions;
    const std::unordered_set<std::string_view> listed(shown->positionIDs.begin(), shown->positionIDs.end());
    std::vector<Position> result;
    for (const Position &p : organization.positions) {
        if (listed.contains(p.id))
            result.push_back(p);
    }
    return result;
}

Position OrganizationArchive::quickAdd(const std::string &name, const std::string &title,
                                       const std::string &department, const std::optional<std::string> &managerID,
                                       const std::string &location, const std::string &sheetID)
{
    requireCurrentEditing();
    const std::string trimmedName = Text::trimmed(name);
    const std::string trimmedTitle = Text::trimmed(title);
    if (trimmedName.empty() || trimmedTitle.empty())
        throw OrganizationError::invalid("Enter an employee name and title.");
    OrganizationSheet *target = sheet(sheetID);
    if (!target)
        throw OrganizationError::invalid("Choose a sheet before adding people.");

    const std::string number = organization.nextEmployeeNumber();
    std::unordered_set<std::string_view> ids;
    for (const Position &p : organization.positions)
        ids.insert(p.id);
    const std::string base = "P-" + number;
    std::string id = base;
    for (int suffix = 2; ids.contains(id); ++suffix)
        id = base + "-" + std::to_string(suffix);

    Position position;
    position.id = id;
    position.title = trimmedTitle;
    position.department = Text::trimmed(department);
    position.employee = Employee{number, trimmedName};
    if (managerID)
        position.managerID = Text::canonicalForm(*managerID);
    position.location = Text::trimmed(location);
    position.fte = 1.0;
    position.isAssistant = false;

    Position added = position;
    target->positionIDs.reserve(target->positionIDs.size() + 1);
    organization.positions.push_back(std::move(added));
    try {
        organization.validate();
    } catch (...) {
        organization.positions.pop_back();
        throw;
    }
    target->positionIDs.push_back(std::move(id)); // room reserved above: cannot throw
    return position;
}
