#pragma once

#include <array>
#include <map>
#include <optional>
#include <span>
#include <string_view>

// The importable columns, in the order the import window lists them.
enum class ImportField {
    positionID,
    employeeID,
    name,
    title, // the pay level
    jobTitle,
    department,
    manager,
    dotted,
    location,
    fte,
    vacant,
    assistant,
    siblingOrder,
    schoolAllocations,
};

inline constexpr std::array<ImportField, 14> allImportFields = {
    ImportField::positionID, ImportField::employeeID, ImportField::name,       ImportField::title,
    ImportField::jobTitle,   ImportField::department, ImportField::manager,    ImportField::dotted,
    ImportField::location,   ImportField::fte,        ImportField::vacant,     ImportField::assistant,
    ImportField::siblingOrder, ImportField::schoolAllocations,
};

// The canonical column header, e.g. "Pay Level". Workbook tabs and drafts write it.
std::string_view importFieldHeader(ImportField field);
// The normalised header spellings recognised for the field (lower case, letters and digits
// only). No spelling belongs to two fields.
std::span<const std::string_view> importFieldAliases(ImportField field);
// The field whose canonical header is exactly `header` (case-sensitive).
std::optional<ImportField> importFieldWithHeader(std::string_view header);

// 0-based source column per mapped field; an unmapped field has no entry. Several fields
// may share a column.
using ImportMapping = std::map<ImportField, int>;

// How reviewed rows meet the open organization.
enum class ImportMode {
    add,     // keep everyone, add the rows; an existing id is a duplicate
    replace, // the sheet alone becomes the organization
    update,  // rows replace positions with the same id, the others are added
};

inline constexpr std::array<ImportMode, 3> allImportModes = {ImportMode::add, ImportMode::replace, ImportMode::update};

// The label shown in the import window and stored in drafts.
std::string_view importModeLabel(ImportMode mode);
std::optional<ImportMode> importModeWithLabel(std::string_view label);

// What the manager cells of a sheet hold.
enum class ManagerReferences { employeeNumbers, positionIDs };

// Which rows the correction grid shows.
enum class ImportRowFilter { all, errors, warnings, nullManagers };

inline constexpr std::array<ImportRowFilter, 4> allImportRowFilters = {
    ImportRowFilter::all, ImportRowFilter::errors, ImportRowFilter::warnings, ImportRowFilter::nullManagers};

std::string_view importRowFilterLabel(ImportRowFilter filter);
