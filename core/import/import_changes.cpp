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

bool sameEmployeeNumber(const Employee &a, const Employee &b)
{
    return a.id == b.id || Text::canonicalForm(Text::trimmed(a.id)) == Text::canonicalForm(Text::trimmed(b.id));
}

bool sameEmployee(const std::optional<Employee> &a, const std::optional<Employee> &b)
{
    if (!a || !b)
        return !a && !b;
    return sameEmployeeNumber(*a, *b) && sameText(a->name, b->name);
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

bool changesField(ImportField field, const Position &stored, const Position &imported)
{
    const Position &a = stored;
    const Position &b = imported;
    switch (field) {
    case ImportField::employeeID:
        if (!a.employee || !b.employee)
            return a.employee.has_value() != b.employee.has_value();
        return !sameEmployeeNumber(*a.employee, *b.employee);
    case ImportField::name:
        return !sameText(a.employee ? a.employee->name : std::string(), b.employee ? b.employee->name : std::string());
    case ImportField::department: return !sameText(a.department, b.department);
    case ImportField::manager: return managerOf(a) != managerOf(b);
    case ImportField::dotted: return asSet(a.dottedManagerIDs) != asSet(b.dottedManagerIDs);
    case ImportField::location: return !sameText(a.location, b.location);
    case ImportField::fte: return !sameNumber(a.fte, b.fte);
    case ImportField::assistant: return a.isAssistantPosition() != b.isAssistantPosition();
    case ImportField::siblingOrder: return a.siblingOrder.value_or(0) != b.siblingOrder.value_or(0);
    case ImportField::schoolAllocations: return !sameSchools(a.schoolAssignments, b.schoolAssignments);
    case ImportField::positionID:
    case ImportField::title:
    case ImportField::jobTitle:
    case ImportField::vacant: break;
    }
    return false;
}

} // namespace TabularImport
