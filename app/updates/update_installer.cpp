#include "app/updates/update_installer.h"

#include "app/shell/file_saving.h"
#include "app/updates/feed_fetcher.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <sodium.h>

const QString PackageInstaller::mismatchMessage =
    QStringLiteral("The downloaded update did not match its signed description. Nothing was installed.");
const QString PackageInstaller::noRouteMessage =
    QStringLiteral("Vantrel installs updates through PackageKit or pkexec, and neither was found on this system. "
                   "Install the packagekit package, or update the vantrel package with apt.");

namespace {

// One download: the reply, the file it streams into and the running digest. The bytes go to
// a PendingFile, so what the route is given was flushed and checked. Whatever happens,
// finish() runs once, removes the file and reports.
class Download : public QObject {
public:
    Download(QNetworkReply *reply, const QString &path, UpdateManifest release, std::unique_ptr<InstallRoute> route,
             std::function<void(InstallProgress)> progress, std::function<void(std::optional<QString>)> done,
             QString stallMessage)
        : QObject(reply), m_reply(reply), m_path(path), m_release(std::move(release)), m_route(std::move(route)),
          m_progress(std::move(progress)), m_done(std::move(done)), m_stallMessage(std::move(stallMessage))
    {
        crypto_hash_sha256_init(&m_hash);
        try {
            m_file = std::make_unique<PendingFile>(FileSaving::localPath(path));
        } catch (const FileWriteError &error) {
            m_failure = QString::fromStdString(error.message());
            reply->abort();
        }
        connect(reply, &QNetworkReply::readyRead, this, &Download::take);
        connect(reply, &QNetworkReply::finished, this, &Download::finished);
    }

    // Stops the download while it runs; once the route has the file, the package manager
    // decides and this does nothing.
    void cancel()
    {
        if (m_handedOver || m_failure)
            return;
        m_failure = UpdateInstaller::cancelledMessage;
        m_reply->abort();
    }

private:
    void take()
    {
        if (m_failure)
            return;
        const QByteArray chunk = m_reply->readAll();
        m_received += chunk.size();
        if (m_received > m_release.size) {
            // Past the signed size: stop reading at once instead of filling the disk.
            m_failure = PackageInstaller::mismatchMessage;
            m_reply->abort();
            return;
        }
        crypto_hash_sha256_update(&m_hash, reinterpret_cast<const unsigned char *>(chunk.constData()),
                                  size_t(chunk.size()));
        try {
            m_file->append(std::string_view(chunk.constData(), size_t(chunk.size())));
        } catch (const FileWriteError &error) {
            m_failure = QString::fromStdString(error.message());
            m_reply->abort();
            return;
        }
        if (!chunk.isEmpty() && m_progress)
            m_progress(InstallProgress{.done = m_received, .total = m_release.size});
    }

    void finished()
    {
        take();
        if (!m_failure)
            m_failure = failureOfFinishedReply();
        if (!m_failure)
            m_failure = commitFile();
        if (m_failure) {
            finish(m_failure);
            return;
        }
        m_handedOver = true;
        if (m_progress)
            m_progress(InstallProgress{.phase = InstallProgress::Phase::installing, .cancellable = false});
        InstallRoute *running = m_route.release();
        running->install(m_path, m_progress, [this, running](std::optional<QString> failure) {
            // The route may be reporting from inside one of its own signals: delete it later.
            QTimer::singleShot(0, QCoreApplication::instance(), [running] { delete running; });
            finish(std::move(failure));
        });
    }

    std::optional<QString> commitFile()
    {
        try {
            m_file->commit();
        } catch (const FileWriteError &error) {
            return QString::fromStdString(error.message());
        }
        return std::nullopt;
    }

    std::optional<QString> failureOfFinishedReply()
    {
        const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (status.isValid() && status.toInt() != 200)
            return QStringLiteral("Update download failed (HTTP %1).").arg(status.toInt());
        // The transfer timeout aborts a reply that received nothing for the stall limit.
        if (m_reply->error() == QNetworkReply::OperationCanceledError)
            return m_stallMessage;
        if (m_reply->error() != QNetworkReply::NoError)
            return m_reply->errorString();
        unsigned char digest[crypto_hash_sha256_BYTES];
        crypto_hash_sha256_final(&m_hash, digest);
        const QByteArray hex = QByteArray(reinterpret_cast<const char *>(digest), sizeof digest).toHex();
        if (m_received != m_release.size || hex.toStdString() != m_release.sha256)
            return PackageInstaller::mismatchMessage;
        return std::nullopt;
    }

    void finish(std::optional<QString> failure)
    {
        if (m_file)
            m_file->discard();
        QFile::remove(m_path);
        auto done = std::move(m_done);
        m_reply->deleteLater();
        done(std::move(failure));
    }

    QNetworkReply *m_reply;
    QString m_path;
    std::unique_ptr<PendingFile> m_file;
    UpdateManifest m_release;
    std::unique_ptr<InstallRoute> m_route;
    std::function<void(InstallProgress)> m_progress;
    std::function<void(std::optional<QString>)> m_done;
    QString m_stallMessage;
    bool m_handedOver = false;
    crypto_hash_sha256_state m_hash;
    qint64 m_received = 0;
    std::optional<QString> m_failure;
};

} // namespace

PackageInstaller::PackageInstaller(QNetworkAccessManager &network, QDir folder, RouteFactory routes, QUrl server,
                                   QObject *parent)
    : QObject(parent), m_network(network), m_folder(std::move(folder)), m_routes(std::move(routes)),
      m_server(std::move(server))
{
}

QString PackageInstaller::stallMessage() const
{
    const qint64 seconds = std::max<qint64>(1, std::chrono::round<std::chrono::seconds>(m_stallLimit).count());
    return QStringLiteral("The update download stopped: nothing arrived for %1. Nothing was installed.")
        .arg(seconds == 1 ? QStringLiteral("1 second") : QStringLiteral("%1 seconds").arg(seconds));
}

void PackageInstaller::cancel()
{
    if (auto *download = static_cast<Download *>(m_download.data()))
        download->cancel();
}

void PackageInstaller::install(const UpdateManifest &release, std::function<void(InstallProgress)> progress,
                               std::function<void(std::optional<QString>)> done)
{
    const QUrl address(QString::fromStdString(release.downloadURL));
    // The verified feed already names only our server; a second look costs nothing.
    if (address.scheme() != QLatin1String("https")
        || address.host() != QLatin1String(UpdateConfiguration::host.data(), qsizetype(UpdateConfiguration::host.size()))
        || release.size < 1 || sodium_init() < 0) {
        done(mismatchMessage);
        return;
    }
    // Without a way to install, the download would be wasted.
    std::unique_ptr<InstallRoute> route = m_routes();
    if (!route) {
        done(noRouteMessage);
        return;
    }
    if (!m_folder.mkpath(QStringLiteral("."))) {
        done(QStringLiteral("The update could not be saved in %1.").arg(m_folder.path()));
        return;
    }
    QNetworkRequest request(redirectedToServer(address, m_server));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // A redirect could lead to another host: it is refused like any other non-200 answer.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // Qt's transfer timeout restarts with every byte received: it measures a stall, not the
    // whole download.
    request.setTransferTimeout(int(m_stallLimit.count()));
    QNetworkReply *reply = m_network.get(request);
    const QString path = m_folder.filePath(QStringLiteral("vantrel-update-%1.deb").arg(release.releaseBuild()));
    m_download =
        new Download(reply, path, release, std::move(route), std::move(progress), std::move(done), stallMessage());
}
