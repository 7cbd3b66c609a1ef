#include "app/shell/document_close_coordinator.h"
#include "app/shell/organization_document.h"
#include "core/document/document_close_policy.h"
#include "core/model/organization_json.h"

#include "app_test_support.h"

#include <gtest/gtest.h>

#include <QSignalBlocker>
#include <QTemporaryDir>

#include <memory>

using namespace AppTest;

TEST(CloseCoordination, SavePromptPolicy)
{
    const OrganizationArchive untitled = OrganizationDocument::untitledArchive();
    OrganizationArchive titled = untitled;
    titled.name = "Springfield";
    titled.pageTitle = "Staff";
    titled.sheets = std::vector<OrganizationSheet>{};
    OrganizationArchive withVersion = untitled;
    withVersion.revisions.push_back(OrganizationRevision{.id = "7D0F3F2E-9C1B-4F7A-8E43-2B8C3A1D5E6F", .number = 1});
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
        {"new and untouched", untitled, std::nullopt, false},
        {"new, only names and charts", titled, std::nullopt, false},
        {"new with a saved version", withVersion, std::nullopt, true},
        {"new with planning", withPlanning, std::nullopt, true},
        {"never saved, with positions", district(), std::nullopt, true},
        {"equal to the saved file", district(), district(), false},
        {"only print settings changed", repaper, district(), true},
        // A saved document emptied of its positions is compared like any other.
        {"saved, every position deleted", emptied, district(), true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DocumentClosePolicy::needsSavePrompt(c.live, c.saved), c.prompts) << c.name;
}

TEST(CloseCoordination, BareOrganizationFileComparesAsUntitledArchive)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("bare.json");
    writeBytes(path, QByteArray::fromStdString(OrganizationJson::encode(district().organization).dump()));
    DocumentCloseCoordinator coordinator;
    OrganizationDocument document;
    document.load(path);
    coordinator.registerDocument(&document);

    document.edit([](OrganizationArchive &archive) { archive.name = "Springfield District"; });
    EXPECT_TRUE(document.isModified());
    document.edit([](OrganizationArchive &archive) {
        archive.name = "Untitled Organization";
        archive.sheets = std::vector<OrganizationSheet>{};
    });
    EXPECT_TRUE(document.isModified()) << "an empty chart list is still a change";
    document.edit([](OrganizationArchive &archive) { archive.sheets.reset(); });
    EXPECT_FALSE(document.isModified());
}

TEST(CloseCoordination, ChecksWhenTheFlagIsRaisedAndBeforeQuitting)
{
    DocumentCloseCoordinator coordinator;
    OrganizationDocument untouched;
    OrganizationDocument edited;
    coordinator.registerDocument(&untouched);
    coordinator.registerDocument(&edited);
    edited.setArchive(district());

    untouched.setModified(true);
    EXPECT_FALSE(untouched.isModified());

    // A flag raised while nobody was listening is caught by the check before quitting.
    {
        QSignalBlocker block(untouched);
        untouched.setModified(true);
    }
    coordinator.prepareToQuit();
    EXPECT_FALSE(untouched.isModified());
    EXPECT_TRUE(edited.isModified());
}

TEST(CloseCoordination, RegistersEachDocumentOnceAndForgetsClosedOnes)
{
    DocumentCloseCoordinator coordinator;
    auto first = std::make_unique<OrganizationDocument>();
    OrganizationDocument second;
    coordinator.registerDocument(first.get());
    coordinator.registerDocument(first.get());
    coordinator.registerDocument(&second);
    EXPECT_EQ(coordinator.registeredCount(), 2);

    int flagChanges = 0;
    QObject::connect(first.get(), &OrganizationDocument::modifiedChanged, [&flagChanges] { ++flagChanges; });
    first->setArchive(district());
    first->setArchive(OrganizationDocument::untitledArchive());
    // Set, then cleared once: a second registration would not add a second watcher's work.
    EXPECT_EQ(flagChanges, 2);
    EXPECT_FALSE(first->isModified());

    first.reset();
    EXPECT_EQ(coordinator.registeredCount(), 1);
    coordinator.prepareToQuit();
}
