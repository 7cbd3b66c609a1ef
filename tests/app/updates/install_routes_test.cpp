#include "app/updates/update_installer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A stand-in for pkexec that records its arguments, writes `stderrLine` and exits with `code`,
// as pkexec does for a dismissed (126) or refused (127) password request.
class FakePkexec {
public:
    std::optional<QString> run(int code, const QString &stderrLine)
    {
        const QString script = folder.filePath("pkexec");
        QFile file(script);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QString("#!/bin/sh\necho \"$@\" > '%1'\necho '%2' >&2\nexit %3\n")
                       .arg(folder.filePath("arguments"), stderrLine)
                       .arg(code)
                       .toUtf8());
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        std::unique_ptr<InstallRoute> route = pkexecRoute(script);
        std::optional<std::optional<QString>> outcome;
        route->install("/tmp/vantrel-update-57.deb", {}, [&](std::optional<QString> failure) { outcome = failure; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 10'000));
        return outcome.value_or(QString("no outcome"));
    }

    QString arguments() const
    {
        QFile file(folder.filePath("arguments"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
    }

private:
    QTemporaryDir folder;
};

// The password request dismissed, permission refused or not obtainable, and apt-get failing
// each read as what happened; success installs the file with apt-get.
TEST(PkexecRoute, TellsARefusedPasswordFromAFailingInstall)
{
    FakePkexec pkexec;
    EXPECT_EQ(pkexec.run(0, ""), std::nullopt);
    EXPECT_EQ(pkexec.arguments(), "apt-get install -y /tmp/vantrel-update-57.deb");

    EXPECT_EQ(pkexec.run(126, "Error executing command as another user: Request dismissed"),
              "The update was not installed: the request for the administrator's password was dismissed.");
    EXPECT_EQ(pkexec.run(127, "Error getting authority: Could not connect: No such file or directory"),
              "The update was not installed: the system did not give permission to install it (Error getting "
              "authority: Could not connect: No such file or directory).");
    EXPECT_EQ(pkexec.run(100, "E: Unmet dependencies."), "The package could not be installed: E: Unmet dependencies.");
}

} // namespace
