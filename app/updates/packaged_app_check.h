#pragma once

#include "core/update/update_feed.h"

#include <QString>

#include <optional>

// What the system's package database says of the running program.
enum class PackageOwnership { owned, notOwned, unknown };

// What the packaged-app check looks at: where this program runs from, where the package
// puts it, whether the package database says the package owns it, the installed update.ini
// and the values compiled into the program.
struct PackagedAppFacts {
    QString executablePath;      // canonical path of the running program
    QString installedExecutable; // canonical path the package installs it to
    PackageOwnership ownership = PackageOwnership::unknown;
    std::optional<QString> iniText;
    QString applicationId;
    QString feedAddress;
};

extern const QString notPackagedMessage;

// Asks the package database (dpkg-query -S, no network) whether the package `packageName`
// owns `executable`; unknown when the query cannot be run or fails otherwise. Blocks for at
// most a few seconds.
PackageOwnership packageOwnership(const QString &executable, const QString &packageName,
                                  const QString &dpkgQuery = QStringLiteral("dpkg-query"));

// Nothing when this copy may install updates, else the message to show. Checks in order:
// the installed executable, the package database, update.ini's "applicationId", "feedURL"
// and "publicKey" (standard base64 of `configuration`'s key). A key that does not load gives
// the key's message.
std::optional<QString> packagedAppFailure(const PackagedAppFacts &facts, const UpdateConfiguration &configuration);
