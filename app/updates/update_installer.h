#pragma once

#include "app/updates/update_store.h"

#include <QDir>
#include <QObject>

#include <memory>

class QNetworkAccessManager;

// Installs a verified package file; `done` gets nothing on success, else the message. It
// runs exactly once.
class InstallRoute {
public:
    virtual ~InstallRoute() = default;
    virtual void install(const QString &packagePath, std::function<void(std::optional<QString>)> done) = 0;
};

// PackageKit's InstallFiles over the system bus, where PackageKit runs; else pkexec with
// apt-get; else nothing.
std::unique_ptr<InstallRoute> systemInstallRoute();

// Downloads the release from the update server into `folder` while hashing it, refuses a
// file that differs from the signed manifest in host, size or SHA-256, and hands only a
// verified file to the route. The file is removed on every outcome.
class PackageInstaller : public QObject, public UpdateInstaller {
    Q_OBJECT
public:
    static const QString mismatchMessage;
    static const QString noRouteMessage;

    using RouteFactory = std::function<std::unique_ptr<InstallRoute>()>;
    PackageInstaller(QNetworkAccessManager &network, QDir folder, RouteFactory routes, QUrl server = {},
                     QObject *parent = nullptr);

    void install(const UpdateManifest &release, std::function<void(std::optional<QString>)> done) override;

private:
    QNetworkAccessManager &m_network;
    QDir m_folder;
    RouteFactory m_routes;
    QUrl m_server;
};
