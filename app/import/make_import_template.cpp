// Writes the import template workbook at build time with the export's own code, so the
// template's instructions and columns are always those the import reads.
#include "core/document/organization_archive.h"
#include "core/support/organization_error.h"
#include "spreadsheet/organization_workbook.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.xlsx>\n", argv[0]);
        return 2;
    }
    // One empty chart named "Template": the workbook gets the instructions and that tab.
    OrganizationArchive archive = OrganizationArchive::make("Vantrel Import Workbook", Organization());
    archive.sheets = std::vector<OrganizationSheet>{OrganizationSheet::make("Template", {})};
    try {
        OrganizationWorkbook::save(archive, std::nullopt, argv[1]);
    } catch (const OrganizationError &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
