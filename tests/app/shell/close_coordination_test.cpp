#include "app/shell/document_close_coordinator.h"
#include "app/shell/organization_document.h"

#include "app_test_support.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace AppTest;

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

    // A closed document is forgotten, not checked again before quitting.
    {
        OrganizationDocument closed;
        coordinator.registerDocument(&closed);
    }
    EXPECT_EQ(coordinator.registeredCount(), 1);
    coordinator.prepareToQuit();
}

