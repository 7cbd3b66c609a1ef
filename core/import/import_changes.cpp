#include "core/import/import_changes.h"

#include "core/model/organization.h"
#include "core/support/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

bool sameText(const std::string &a, const std::string &b)
{
    return a == b || Text::trimmed(a) == Text::trimmed(b);
}

// Spreadsheets keep 15 significant digits: a share typed or saved there as 0.333333333333333
// is the 1/3 it was written from.
double spreadsheetNumber(double value)
{
    if (!std::isfinite(value))
        return value;
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    double read = value;
    std::from_chars(buffer, written.ptr, read);
    return read;
}

bool sameNumber(double a, double b)
{
    return a == b || spreadsheetNumber(a) == spreadsheetNumber(b);
}

bool sameEmployee(const std::optional<Employee> &a, const std::optional<Employee> &b)
{
    if (!a || !b)
        return !a && !b;
    const bool sameNumber =
        a->id == b->id || Text::canonicalForm(Text::trimmed(a->id)) == Text::canonicalForm(Text::trimmed(b->id));
    return sameNumber && sameText(a->name, b->name);
}

std::optional<std::string> managerOf(const Position &position)
{
    if (position.managerID && Text::isBlank(*position.managerID))
        return std::nullopt;
    return position.managerID;
}

std::vector<std::string> asSet(std::vector<std::string> ids)
{
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

bool sameSchools(const std::vector<SchoolAssignment> &a, const std::vector<SchoolAssignment> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const SchoolAssignment &x, const SchoolAssignment &y) {
        return sameText(x.school, y.school) && sameNumber(x.fte, y.fte);
    });
}

} // namespace

namespace TabularImport {

bool isUnchanged(const Position &stored, const Position &imported)
{
    const Position &a = stored;
    const Position &b = imported;
    return a.id == b.id && a.isAssistantPosition() == b.isAssistantPosition() &&
           a.siblingOrder.value_or(0) == b.siblingOrder.value_or(0) && a.groupMemberCount == b.groupMemberCount &&
           sameNumber(a.fte, b.fte) && managerOf(a) == managerOf(b) && sameText(a.title, b.title) &&
           sameText(a.jobTitle(), b.jobTitle()) && sameText(a.department, b.department) &&
           sameText(a.location, b.location) && sameEmployee(a.employee, b.employee) &&
           sameSchools(a.schoolAssignments, b.schoolAssignments) &&
           (a.dottedManagerIDs == b.dottedManagerIDs || asSet(a.dottedManagerIDs) == asSet(b.dottedManagerIDs));
}

} // namespace TabularImport
