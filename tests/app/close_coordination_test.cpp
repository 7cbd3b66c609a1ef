#include "core/document_close_policy.h"
#include "app/document_close_coordinator.h"
#include "app/organization_document.h"

#include "app_test_support.h"
#include "core/organization_json.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace AppTest;

TEST(CloseCoordination, SavePromptPolicy)
{
    const OrganizationArchive untitled = OrganizationDocument::untitledArchive();
    OrganizationArchive titled = untitled;
    titled.name = "Springfield";
    titled.sheets = std::vector<OrganizationSheet>{};
    OrganizationArchive withPlanning = untitled;
    withPlanning.planning = OrganizationPlanning{};
    OrganizationArchive emptied = district();
    emptied.organization.positions.clear();
    OrganizationArchive repaper = district();
    repaper.printSettings = ChartPrintSettings::departmentDesign();

    const struct {
        const char *name;
        OrganizationArchive live;
        std::optional<OrganizationArchive> saved;
        bool prompts;
    } cases[] = {
        {"new, only names and charts", titled, std::nullopt, false},
        {"new with planning", withPlanning, std::nullopt, true},
        {"never saved, with positions", district(), std::nullopt, true},
        {"equal to the saved file", district(), district(), false},
        {"only print settings changed", repaper, district(), true},
        {"saved, every position deleted", emptied, district(), true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DocumentClosePolicy::needsSavePrompt(c.live, c.saved), c.prompts) << c.name;
}

TEST(CloseCoordination, ClearsTheFlagWhenAnEditIsUndoneByHand)
{
    QTemporaryDir dir;
    DocumentCloseCoordinator coordinator;
    OrganizationDocument saved;
    coordinator.registerDocument(&saved);
    saved.setArchive(district());
    saved.saveTo(dir.filePath("district.json"));
    saved.edit([](OrganizationArchive &archive) { archive.name = "Renamed"; });
    EXPECT_TRUE(saved.isModified());
    saved.edit([](OrganizationArchive &archive) { archive.name = "Springfield District"; });
    EXPECT_FALSE(saved.isModified());

    // A bare organization file compares as the untitled archive it loads as.
    const QString bare = dir.filePath("bare.json");
    writeBytes(bare, QByteArray::fromStdString(OrganizationJson::encode(district().organization).dump()));
    OrganizationDocument document;
    document.load(bare);
    coordinator.registerDocument(&document);
    document.edit([](OrganizationArchive &archive) { archive.sheets = std::vector<OrganizationSheet>{}; });
    EXPECT_TRUE(document.isModified()) << "an empty chart list is still a change";
    document.edit([](OrganizationArchive &archive) { archive.sheets.reset(); });
    EXPECT_FALSE(document.isModified());

    // A closed document is forgotten, not checked again before quitting.
    {
        OrganizationDocument closed;
        coordinator.registerDocument(&closed);
    }
    EXPECT_EQ(coordinator.registeredCount(), 2);
    coordinator.prepareToQuit();
}

