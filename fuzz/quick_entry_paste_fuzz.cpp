// Rows pasted into the quick-entry grid and saved: any text must give rows or a clean
// refusal, and a commit of those rows must leave a valid organization or change nothing.
#include "core/document/organization_archive.h"
#include "core/entry/quick_entry.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

OrganizationArchive smallDistrict()
{
    OrganizationArchive archive;
    Position lead{.id = "B", .title = "Lead", .department = "Admin"};
    lead.employee = Employee{.id = "7", .name = "Bea Stone"};
    Position open{.id = "V", .title = "Aide", .department = "Art", .managerID = "B"};
    archive.organization.positions = {lead, open};
    archive.sheets = std::vector{OrganizationSheet{.id = "S", .name = "Main", .positionIDs = {"B", "V"}}};
    return archive;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    std::vector<QuickEntryRow> rows;
    try {
        rows = QuickEntryRow::pasted(text);
    } catch (const OrganizationError &) {
        return 0;
    }
    for (const QuickEntryRow &row : rows) {
        if (row.isExisting() || row.vacant || row.quantity != 1)
            std::abort();
    }
    if (!rows.empty())
        rows.insert(rows.begin(), QuickEntryRow(smallDistrict().organization.positions[1]));

    const OrganizationArchive before = smallDistrict();
    OrganizationArchive archive = before;
    try {
        archive.quickAdd(rows, "S");
        archive.organization.validate();
    } catch (const OrganizationError &) {
        if (!(archive == before))
            std::abort();
    }
    return 0;
}
