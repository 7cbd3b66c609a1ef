#include "core/import/import_changes.h"

#include "core/model/organization.h"
#include "core/support/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

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

} // namespace

namespace TabularImport {

Position comparableForm(const Position &position)
{
    Position form;
    form.id = position.id;
    form.title = Text::trimmed(position.title);
    if (std::string jobTitle = Text::trimmed(position.jobTitle()); jobTitle != form.title)
        form.customJobTitle = std::move(jobTitle);
    form.department = Text::trimmed(position.department);
    if (position.employee)
        form.employee = Employee{.id = Text::canonicalForm(Text::trimmed(position.employee->id)),
                                 .name = Text::trimmed(position.employee->name)};
    if (position.managerID && !Text::isBlank(*position.managerID))
        form.managerID = position.managerID;
    form.dottedManagerIDs = position.dottedManagerIDs;
    std::sort(form.dottedManagerIDs.begin(), form.dottedManagerIDs.end());
    form.dottedManagerIDs.erase(std::unique(form.dottedManagerIDs.begin(), form.dottedManagerIDs.end()),
                                form.dottedManagerIDs.end());
    form.location = Text::trimmed(position.location);
    form.fte = spreadsheetNumber(position.fte);
    form.schoolAssignments.reserve(position.schoolAssignments.size());
    for (const SchoolAssignment &share : position.schoolAssignments)
        form.schoolAssignments.push_back({.school = Text::trimmed(share.school), .fte = spreadsheetNumber(share.fte)});
    form.isAssistant = position.isAssistantPosition();
    form.siblingOrder = position.siblingOrder.value_or(0);
    form.groupMemberCount = position.groupMemberCount;
    return form;
}

bool isUnchanged(const Position &stored, const Position &imported)
{
    return stored.id == imported.id && comparableForm(stored) == comparableForm(imported);
}

} // namespace TabularImport
