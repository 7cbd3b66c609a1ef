#pragma once

#include "core/update/update_feed.h"

#include <QString>

#include <optional>

// What the packaged-app check looks at: where this program runs from, where the package
// puts it, the installed update.ini and the values compiled into the program.
struct PackagedAppFacts {
    QString executablePath;      // canonical path of the running program
    QString installedExecutable; // canonical path the package installs it to
    std::optional<QString> iniText;
    QString applicationId;
    QString feedAddress;
};

// Nothing when this copy may install updates, else the message to show. Checks in order:
// the installed executable, update.ini's "applicationId", "feedURL" and "publicKey" (standard
// base64 of `configuration`'s key). A key that does not load gives the key's message.
std::optional<QString> packagedAppFailure(const PackagedAppFacts &facts, const UpdateConfiguration &configuration);
