#include "app/updates/packaged_app_check.h"

#include "update_test_support.h"

#include <gtest/gtest.h>

namespace {

const QString notPackaged = "Install the packaged Vantrel app in Applications before using in-app updates.";

// Each failing branch in order; a key that does not load wins over whatever the ini says.
TEST(PackagedAppCheck, ChecksProgramThenIniThenKey)
{
    const UpdateTest::Signer signer;
    const UpdateConfiguration configuration = signer.configuration();
    const QString key = QString::fromStdString(configuration.publicKeyText);
    const QString feed = QString::fromStdString(configuration.updates);
    const auto ini = [&](const QString &id, const QString &address, const QString &publicKey) {
        return QString("# written by the package\n[Update]\napplicationId = %1\nfeedURL=%2\npublicKey=%3\n")
            .arg(id, address, publicKey);
    };
    const PackagedAppFacts good{.executablePath = "/usr/bin/vantrel",
                                .installedExecutable = "/usr/bin/vantrel",
                                .iniText = ini("org.vantrel.Vantrel", feed, key),
                                .applicationId = "org.vantrel.Vantrel",
                                .feedAddress = feed};
    EXPECT_EQ(packagedAppFailure(good, configuration), std::nullopt);

    struct Case {
        const char *name;
        PackagedAppFacts facts;
    };
    std::vector<Case> failing{{"build tree", good}, {"no ini", good}, {"other id", good},
                              {"no id", good},      {"other feed", good}, {"other key", good},
                              {"other section", good}};
    failing[0].facts.executablePath = "/work/build/app/vantrel";
    failing[1].facts.iniText.reset();
    failing[2].facts.iniText = ini("org.example.Other", feed, key);
    failing[3].facts.iniText = QString("[Update]\nfeedURL=%1\npublicKey=%2\n").arg(feed, key);
    failing[4].facts.iniText = ini("org.vantrel.Vantrel", "https://updates.vantrel.org/vantrel/updates/appcast.xml", key);
    failing[5].facts.iniText = ini("org.vantrel.Vantrel", feed, QString(44, 'A'));
    failing[6].facts.iniText = ini("org.vantrel.Vantrel", feed, key).replace("[Update]", "[Other]");
    for (const Case &c : failing)
        EXPECT_EQ(packagedAppFailure(c.facts, configuration), notPackaged) << c.name;

    UpdateConfiguration keyless = configuration;
    keyless.publicKeyText.clear();
    PackagedAppFacts noIniKey = good;
    noIniKey.iniText = ini("org.vantrel.Vantrel", feed, "");
    EXPECT_EQ(packagedAppFailure(noIniKey, keyless), "The update verification key is missing or invalid.");
    // Before the key step, the program check still comes first.
    noIniKey.executablePath = "/tmp/vantrel";
    EXPECT_EQ(packagedAppFailure(noIniKey, keyless), notPackaged);
}

} // namespace
