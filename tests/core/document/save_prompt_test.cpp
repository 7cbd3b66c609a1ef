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
    const OrganizationArchive saved = archive({person("A")});
    OrganizationArchive emptied = archive({});
    const struct { const char *what; const OrganizationArchive &archive; std::optional<OrganizationArchive> saved; bool prompt; } cases[] = {
        {"new document with a name and a chart but no positions", renamed, std::nullopt, false},
        {"new document with a saved version", withVersion, std::nullopt, true},
        {"never saved with a position", saved, std::nullopt, true},
        {"equal to the file", saved, saved, false},
        {"saved document emptied of its positions", emptied, saved, true},
        {"saved empty document renamed", renamed, fresh, true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DocumentClosePolicy::needsSavePrompt(c.archive, c.saved), c.prompt) << c.what;
}
