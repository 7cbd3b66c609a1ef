// Any sheet, mapping and options must review without a crash, and a review without errors
// must hand over a valid organization.
#include "core/import/column_mapping.h"
#include "core/support/delimited_text.h"
#include "core/import/import_review.h"
#include "core/support/organization_error.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

Organization openOrganization()
{
    Organization organization;
    organization.positions.push_back(Position{.id = "A", .title = "T", .employee = Employee{"1", "Ana"}, .location = "N"});
    organization.positions.push_back(Position{.id = "B", .title = "T", .managerID = "A", .location = "N"});
    organization.positions.push_back(
        Position{.id = "P-2", .title = "T", .employee = Employee{"0002", "Ben"}, .managerID = "A", .location = "N"});
    return organization;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // The first byte picks the options, the second the header row; the rest is the sheet.
    const uint8_t options = data[0];
    const int headerRow = static_cast<int>(data[1] % 4) - 1;
    const std::string_view text(reinterpret_cast<const char *>(data + 2), size - 2);
    ImportSheet sheet;
    try {
        sheet = TabularImport::csv(text, std::nullopt);
    } catch (const OrganizationError &) {
        return 0;
    }
    if (options & 0x80)
        sheet.sourceIssues = {{{.row = 1, .column = 0, .value = sheet.rows[0][0], .message = "reader"}}};

    static const Organization existing = openOrganization();
    const ImportMode mode = allImportModes[options % 3];
    const ManagerReferences references = options & 4 ? ManagerReferences::employeeNumbers : ManagerReferences::positionIDs;
    ImportMapping mapping = TabularImport::suggestedMapping(TabularImport::headerCells(sheet, headerRow));
    if (options & 8)
        mapping[ImportField::manager] = static_cast<int>(options >> 4) - 1;
    TabularImport::guessedManagerReferences(sheet, headerRow, mapping, mode, existing);
    TabularImport::columnOptions(sheet, headerRow);

    const ImportReview review = TabularImport::review(sheet, headerRow, mapping, references, mode, existing);
    if (review.organization.has_value() != review.errors.empty())
        std::abort();
    if (review.organization) {
        try {
            review.organization->validate();
        } catch (const OrganizationError &) {
            std::abort();
        }
    }
    for (ImportRowFilter filter : allImportRowFilters) {
        int previous = -1;
        for (int row : TabularImport::filteredRows(sheet, headerRow, mapping, review, filter)) {
            if (row <= previous || row <= headerRow || static_cast<size_t>(row) >= sheet.rows.size())
                std::abort();
            previous = row;
        }
    }
    return 0;
}
