#pragma once

#include "app/updates/update_store.h"

#include <QDir>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <memory>

class QNetworkAccessManager;

// Installs a verified package file; `done` gets nothing on success, else the message. It
// runs exactly once; `progress` reports the package manager's phases where it has them.
class InstallRoute {
public:
    virtual ~InstallRoute() = default;
    virtual void install(const QString &packagePath, std::function<void(InstallProgress)> progress,
                         std::function<void(std::optional<QString>)> done) = 0;
};

// PackageKit's InstallFiles over the system bus, where PackageKit runs; else pkexec with
// apt-get; else nothing.
std::unique_ptr<InstallRoute> systemInstallRoute();
// `pkexec apt-get install -y <file>` with the program `pkexec`; a refused or dismissed
// password request is told apart from a failing apt-get.
std::unique_ptr<InstallRoute> pkexecRoute(const QString &pkexec);

// Downloads the release from the update server into `folder` while hashing it, refuses a
// file that differs from the signed manifest in host, size or SHA-256, and hands only a
// verified file to the route, which is found before anything is downloaded. The file is
// removed on every outcome. A download that receives nothing for `stallLimit` fails; a slow
// one that keeps receiving does not.
class PackageInstaller : public QObject, public UpdateInstaller {
    Q_OBJECT
public:
    static const QString mismatchMessage;
    static const QString noRouteMessage;
    static constexpr std::chrono::milliseconds defaultStallLimit{30'000};

    using RouteFactory = std::function<std::unique_ptr<InstallRoute>()>;
    PackageInstaller(QNetworkAccessManager &network, QDir folder, RouteFactory routes, QUrl server = {},
                     QObject *parent = nullptr);

    void install(const UpdateManifest &release, std::function<void(InstallProgress)> progress,
                 std::function<void(std::optional<QString>)> done) override;
    void cancel() override;
    void setStallLimit(std::chrono::milliseconds limit) { m_stallLimit = limit; }
    // The message of a download that received nothing for the stall limit.
    QString stallMessage() const;

private:
    QNetworkAccessManager &m_network;
    QDir m_folder;
    RouteFactory m_routes;
    QUrl m_server;
    std::chrono::milliseconds m_stallLimit = defaultStallLimit;
    QPointer<QObject> m_download;
};
