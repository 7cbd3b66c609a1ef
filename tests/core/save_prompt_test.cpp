#include "archive_test_support.h"

#include "core/document_close_policy.h"

#include <gtest/gtest.h>

using namespace TestDocs;

TEST(SavePrompt, Cases)
{
    const OrganizationArchive fresh = OrganizationArchive::make("Untitled Organization", {});
    OrganizationArchive renamedFresh = fresh;
    renamedFresh.name = "Renamed";
    renamedFresh.sheets = std::vector{sheet("S", "Chart", {})};
    OrganizationArchive freshWithVersion = fresh;
    freshWithVersion.checkpoint("Saved version");
    OrganizationArchive freshWithPlanning = fresh;
    freshWithPlanning.lockForPlanning();

    const OrganizationArchive saved = archive({person("A")});
    OrganizationArchive emptied = saved;
    emptied.deletePosition("A");
    emptied.revisions.clear();
    OrganizationArchive newSettings = saved;
    newSettings.printSettings = ChartPrintSettings{.scalePercent = 50};
    OrganizationArchive savedEmpty = fresh;
    OrganizationArchive savedEmptyRenamed = fresh;
    savedEmptyRenamed.name = "Renamed";

    struct Case {
        const char *what;
        const OrganizationArchive &archive;
        std::optional<OrganizationArchive> saved;
        bool prompt;
    };
    const std::vector<Case> cases = {
        {"untouched new document", fresh, std::nullopt, false},
        {"new document with a name and a chart but no positions", renamedFresh, std::nullopt, false},
        {"new document with a saved version", freshWithVersion, std::nullopt, true},
        {"new document with planning", freshWithPlanning, std::nullopt, true},
        {"never saved with a position", saved, std::nullopt, true},
        {"equal to the file", saved, saved, false},
        {"only print settings changed", newSettings, saved, true},
        {"saved document emptied of its positions", emptied, saved, true},
        {"saved empty document unchanged", savedEmpty, fresh, false},
        {"saved empty document renamed", savedEmptyRenamed, fresh, true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(DocumentClosePolicy::needsSavePrompt(c.archive, c.saved), c.prompt) << c.what;
}
