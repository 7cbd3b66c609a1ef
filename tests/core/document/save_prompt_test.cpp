#include "archive_test_support.h"

#include "core/document/document_close_policy.h"

#include <gtest/gtest.h>

using namespace TestDocs;

TEST(SavePrompt, Cases)
{
    const OrganizationArchive fresh = OrganizationArchive::make("Untitled Organization", {});
    OrganizationArchive renamed = fresh;
    renamed.name = "Renamed";
    renamed.sheets = std::vector{sheet("S", "Chart", {})};
    OrganizationArchive withVersion = fresh;
    withVersion.checkpoint("Saved version");
    OrganizationArchive withPlanning = fresh;
    withPlanning.lockForPlanning();

    const OrganizationArchive saved = archive({person("A")});
    OrganizationArchive emptied = saved;
    emptied.deletePosition("A");
    emptied.revisions.clear();
    OrganizationArchive newSettings = saved;
    newSettings.printSettings = ChartPrintSettings{.scalePercent = 50};
    const OrganizationArchive replaced = archive({});
    OrganizationArchive renamedOnly = fresh;
    renamedOnly.name = "Renamed";

    const struct { const char *what; const OrganizationArchive &archive; std::optional<OrganizationArchive> saved; bool prompt; } cases[] = {
        {"untouched new document", fresh, std::nullopt, false},
        {"new document with a name and a chart but no positions", renamed, std::nullopt, false},
        {"new document with a saved version", withVersion, std::nullopt, true},
        {"new document with planning", withPlanning, std::nullopt, true},
        {"never saved with a position", saved, std::nullopt, true},
        {"equal to the file", saved, saved, false},
        {"only print settings changed", newSettings, saved, true},
        {"saved document emptied of its positions", emptied, saved, true},
        {"saved document replaced by an empty one", replaced, saved, true},
        {"saved empty document unchanged", fresh, fresh, false},
        {"saved empty document renamed", renamedOnly, fresh, true},
        {"saved empty document renamed, with a chart", renamed, fresh, true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DocumentClosePolicy::needsSavePrompt(c.archive, c.saved), c.prompt) << c.what;
}
