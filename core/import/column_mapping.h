#pragma once

#include "core/import/import_field.h"
#include "core/support/import_sheet.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct Organization;

// One choice of the column dropdowns: `id` is what the mapping stores ("-1" for none).
struct ImportColumnOption {
    std::string id;
    std::string title;
    std::string detail;

    bool operator==(const ImportColumnOption &) const = default;
};

namespace TabularImport {

// A header reduced for matching: full lower-casing, remarks in parentheses dropped, then
// only letters and digits remain ("School / District Office" gives "schooldistrictoffice",
// "Dotted Manager IDs (: separated)" gives "dottedmanagerids").
std::string normalizedHeader(std::string_view header);

// For each field in window order, the leftmost header whose normalised form is one of the
// field's aliases. When something matched but no pay-level column did, Pay Level reads the
// Job Title column. Linear in the header cells.
ImportMapping suggestedMapping(const std::vector<std::string> &headers);

// The cells of row `headerRow` (0-based), or none when the row is outside the sheet.
std::vector<std::string> headerCells(const ImportSheet &sheet, int headerRow);

// "Not mapped" first, then one option per header cell: id the 0-based column, title
// "<column>: <header>" ("Unnamed column" for an empty header), detail the cell below it.
std::vector<ImportColumnOption> columnOptions(const ImportSheet &sheet, int headerRow);
// The option id that shows the field's column: its number, or "-1" when unmapped.
std::string columnOptionID(const ImportMapping &mapping, ImportField field);
// Maps the field to the option's column; "-1" or any text that is not a column unmaps it.
void chooseColumnOption(ImportMapping &mapping, ImportField field, std::string_view optionID);

// Whether the mapped manager column holds Position IDs or employee numbers: the answer
// when every manager value is known as one and not every value as the other, nothing
// when the column is unmapped or blank or the values don't decide. Known values are those
// of the sheet's Position ID and Employee Number columns and, except when replacing, the
// open organization's. Linear in the data rows and the positions.
std::optional<ManagerReferences> guessedManagerReferences(const ImportSheet &sheet, int headerRow,
                                                          const ImportMapping &mapping, ImportMode mode,
                                                          const Organization &existing);

} // namespace TabularImport
