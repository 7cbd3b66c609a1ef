#include "core/import/import_field.h"

#include <cassert>

namespace {

struct FieldInfo {
    std::string_view header;
    std::span<const std::string_view> aliases;
};

constexpr std::string_view positionIDAliases[] = {"positionid", "positionnumber"};
constexpr std::string_view employeeIDAliases[] = {"employeenumber", "employeeid", "empid", "empno"};
constexpr std::string_view nameAliases[] = {"name", "employeename", "fullname"};
constexpr std::string_view titleAliases[] = {"paylevel", "position", "title", "positiontitle"};
constexpr std::string_view jobTitleAliases[] = {"jobtitle"};
constexpr std::string_view departmentAliases[] = {"department", "dept"};
constexpr std::string_view managerAliases[] = {"primarymanagerid", "managerid", "manager", "supervisorid", "reportsto"};
constexpr std::string_view dottedAliases[] = {"dottedreporttos", "dottedmanagerids", "dottedreportsto"};
constexpr std::string_view locationAliases[] = {"school", "location", "schooldistrictoffice", "site"};
constexpr std::string_view fteAliases[] = {"fte"};
constexpr std::string_view vacantAliases[] = {"vacant", "vacancy", "isvacant"};
constexpr std::string_view assistantAliases[] = {"assistant", "isassistant"};
constexpr std::string_view siblingOrderAliases[] = {"siblingorder", "displayorder", "layoutorder"};
constexpr std::string_view schoolAllocationsAliases[] = {"schoolallocations", "schoolassignments"};

// Indexed by the enumeration's value.
constexpr FieldInfo fieldInfo[] = {
    {"Position ID", positionIDAliases},
    {"Employee Number", employeeIDAliases},
    {"Employee Name", nameAliases},
    {"Pay Level", titleAliases},
    {"Job Title", jobTitleAliases},
    {"Department", departmentAliases},
    {"Primary Manager ID", managerAliases},
    {"Dotted Manager IDs (: separated)", dottedAliases},
    {"School / District Office", locationAliases},
    {"FTE", fteAliases},
    {"Vacant", vacantAliases},
    {"Assistant", assistantAliases},
    {"Sibling Order", siblingOrderAliases},
    {"School Allocations (School=FTE; ...)", schoolAllocationsAliases},
};
static_assert(std::size(fieldInfo) == allImportFields.size());

const FieldInfo &info(ImportField field)
{
    const auto index = static_cast<size_t>(field);
    assert(index < std::size(fieldInfo) && "ImportField out of range");
    return fieldInfo[index];
}

} // namespace

std::string_view importFieldHeader(ImportField field)
{
    return info(field).header;
}

std::span<const std::string_view> importFieldAliases(ImportField field)
{
    return info(field).aliases;
}

std::optional<ImportField> importFieldWithHeader(std::string_view header)
{
    for (ImportField field : allImportFields) {
        if (importFieldHeader(field) == header)
            return field;
    }
    return std::nullopt;
}

std::string_view importModeLabel(ImportMode mode)
{
    switch (mode) {
    case ImportMode::add: return "Add People to This Organization";
    case ImportMode::replace: return "Replace Organization";
    case ImportMode::update: return "Update Matching IDs / Add New";
    }
    return "";
}

std::optional<ImportMode> importModeWithLabel(std::string_view label)
{
    for (ImportMode mode : allImportModes) {
        if (importModeLabel(mode) == label)
            return mode;
    }
    return std::nullopt;
}

std::string_view importRowFilterLabel(ImportRowFilter filter)
{
    switch (filter) {
    case ImportRowFilter::all: return "All Rows";
    case ImportRowFilter::errors: return "Errors";
    case ImportRowFilter::warnings: return "Warnings";
    case ImportRowFilter::nullManagers: return "Null Managers";
    }
    return "";
}
