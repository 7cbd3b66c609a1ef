#include "app/updates/packaged_app_check.h"

#include "update_test_support.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

const QString notPackaged = "Only Vantrel installed from its Debian package can install updates. Install the vantrel "
                            "package with your software manager or apt, then start Vantrel from the applications menu.";

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
                                .ownership = PackageOwnership::owned,
                                .iniText = ini("org.vantrel.Vantrel", feed, key),
                                .applicationId = "org.vantrel.Vantrel",
                                .feedAddress = feed};
    EXPECT_EQ(packagedAppFailure(good, configuration), std::nullopt);

    struct Case {
        const char *name;
        PackagedAppFacts facts;
    };
    std::vector<Case> failing{{"build tree", good},     {"no ini", good},
                              {"other id", good},       {"no id", good},
                              {"other feed", good},     {"other key", good},
                              {"other section", good},  {"source install", good},
                              {"package database unreadable", good}};
    failing[0].facts.executablePath = "/work/build/app/vantrel";
    failing[1].facts.iniText.reset();
    failing[2].facts.iniText = ini("org.example.Other", feed, key);
    failing[3].facts.iniText = QString("[Update]\nfeedURL=%1\npublicKey=%2\n").arg(feed, key);
    failing[4].facts.iniText = ini("org.vantrel.Vantrel", "https://updates.vantrel.org/vantrel/updates/appcast.xml", key);
    failing[5].facts.iniText = ini("org.vantrel.Vantrel", feed, QString(44, 'A'));
    failing[6].facts.iniText = ini("org.vantrel.Vantrel", feed, key).replace("[Update]", "[Other]");
    // A source install at the package's own path, even with an update.ini beside it.
    failing[7].facts.ownership = PackageOwnership::notOwned;
    failing[8].facts.ownership = PackageOwnership::unknown;
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

// A stand-in for dpkg-query that prints `output` and exits with `code`.
QString fakeQuery(const QTemporaryDir &folder, const QString &name, const QString &output, int code)
{
    const QString path = folder.filePath(name);
    QFile script(path);
    script.open(QIODevice::WriteOnly);
    script.write(QString("#!/bin/sh\nprintf '%1'\nexit %2\n").arg(output).arg(code).toUtf8());
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    return path;
}

// The package database decides: only the vantrel package owning the path counts as owned.
TEST(PackagedAppCheck, AsksThePackageDatabaseWhoOwnsTheProgram)
{
    QTemporaryDir folder;
    const QString program = "/usr/bin/vantrel";
    struct Case {
        const char *output;
        int code;
        PackageOwnership expected;
    };
    const std::vector<Case> cases{
        {"vantrel: /usr/bin/vantrel\\n", 0, PackageOwnership::owned},
        {"vantrel:amd64: /usr/bin/vantrel\\n", 0, PackageOwnership::owned},
        {"diversion by other from: /usr/bin/vantrel\\nother, vantrel: /usr/bin/vantrel\\n", 0, PackageOwnership::owned},
        {"vantrel-tools: /usr/bin/vantrel\\n", 0, PackageOwnership::notOwned},
        {"vantrel: /usr/bin/vantrel-helper\\n", 0, PackageOwnership::notOwned},
        {"dpkg-query: no path found matching pattern /usr/bin/vantrel\\n", 1, PackageOwnership::notOwned},
        {"dpkg-query: error: database is locked\\n", 2, PackageOwnership::unknown},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const QString query = fakeQuery(folder, QString("query%1").arg(i), cases[i].output, cases[i].code);
        EXPECT_EQ(packageOwnership(program, "vantrel", query), cases[i].expected) << cases[i].output;
    }
    EXPECT_EQ(packageOwnership(program, "vantrel", folder.filePath("missing")), PackageOwnership::unknown);
}

} // namespace
