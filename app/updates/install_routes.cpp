#include "app/updates/update_installer.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QProcess>
#include <QStandardPaths>
#include <QVariantMap>

namespace {

const QString packageKitService = QStringLiteral("org.freedesktop.PackageKit");
const QString transactionInterface = QStringLiteral("org.freedesktop.PackageKit.Transaction");
constexpr uint packageKitSuccess = 1;
constexpr uint unknownPercentage = 101;

// The phases of a PackageKit transaction worth a word to the user; the rest read "Installing…".
QString packageKitPhase(uint status)
{
    switch (status) {
    case 1: // waiting in the queue
    case 30: // waiting for the package manager's lock
        return QStringLiteral("Waiting for the package manager…");
    case 31:
        return QStringLiteral("Waiting for authorization…");
    case 13:
        return QStringLiteral("Resolving dependencies…");
    default:
        return QStringLiteral("Installing…");
    }
}

// One PackageKit transaction: InstallFiles, then its ErrorCode and Finished signals.
class PackageKitRoute : public QObject, public InstallRoute {
    Q_OBJECT
public:
    void install(const QString &packagePath, std::function<void(InstallProgress)> progress,
                 std::function<void(std::optional<QString>)> done) override
    {
        m_progress = std::move(progress);
        m_done = std::move(done);
        // A daemon that goes away mid-transaction sends no Finished; the cycle must still end.
        auto *watcher = new QDBusServiceWatcher(packageKitService, QDBusConnection::systemBus(),
                                                QDBusServiceWatcher::WatchForUnregistration, this);
        connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this,
                [this] { finish(QStringLiteral("PackageKit stopped before the update was installed.")); });
        QDBusInterface packageKit(packageKitService, QStringLiteral("/org/freedesktop/PackageKit"), packageKitService,
                                  QDBusConnection::systemBus());
        const QDBusReply<QDBusObjectPath> transaction = packageKit.call(QStringLiteral("CreateTransaction"));
        if (!transaction.isValid()) {
            finish(transaction.error().message());
            return;
        }
        const QString path = transaction.value().path();
        QDBusConnection bus = QDBusConnection::systemBus();
        bus.connect(packageKitService, path, transactionInterface, QStringLiteral("ErrorCode"), this,
                    SLOT(errorCode(uint, QString)));
        bus.connect(packageKitService, path, transactionInterface, QStringLiteral("Finished"), this,
                    SLOT(finished(uint, uint)));
        bus.connect(packageKitService, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                    QStringLiteral("PropertiesChanged"), this, SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
        QDBusInterface calls(packageKitService, path, transactionInterface, bus);
        // No flags: PackageKit asks polkit before installing a file from outside a repository.
        const QDBusPendingCall pending =
            calls.asyncCall(QStringLiteral("InstallFiles"), QVariant::fromValue(quint64(0)), QStringList{packagePath});
        auto *call = new QDBusPendingCallWatcher(pending, this);
        connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
            call->deleteLater();
            if (call->isError())
                finish(call->error().message());
        });
    }

private slots:
    void errorCode(uint, const QString &details) { m_error = details; }
    void propertiesChanged(const QString &, const QVariantMap &changed, const QStringList &)
    {
        if (changed.contains(QStringLiteral("Status")))
            m_status = changed.value(QStringLiteral("Status")).toUInt();
        if (changed.contains(QStringLiteral("Percentage")))
            m_percentage = changed.value(QStringLiteral("Percentage")).toUInt();
        if (!m_progress || !m_done)
            return;
        const bool known = m_percentage <= 100;
        m_progress(InstallProgress{.phase = InstallProgress::Phase::installing,
                                   .done = known ? m_percentage : 0,
                                   .total = known ? 100 : 0,
                                   .status = packageKitPhase(m_status),
                                   .cancellable = false});
    }
    void finished(uint exit, uint)
    {
        if (exit == packageKitSuccess)
            finish(std::nullopt);
        else
            finish(m_error.isEmpty() ? QStringLiteral("The package could not be installed.") : m_error);
    }

private:
    void finish(std::optional<QString> failure)
    {
        if (!m_done)
            return;
        auto done = std::move(m_done);
        m_done = nullptr;
        done(std::move(failure));
    }

    std::function<void(InstallProgress)> m_progress;
    std::function<void(std::optional<QString>)> m_done;
    QString m_error;
    uint m_status = 0;
    uint m_percentage = unknownPercentage;
};

// pkexec exits 126 when the password request was dismissed and 127 when permission was not
// given or could not be asked for (no polkit); any other code is apt-get's own.
QString pkexecFailure(int code, const QString &detail)
{
    if (code == 126)
        return QStringLiteral("The update was not installed: the request for the administrator's password was "
                              "dismissed.");
    if (code == 127)
        return QStringLiteral("The update was not installed: the system did not give permission to install it (%1).")
            .arg(detail);
    return QStringLiteral("The package could not be installed: %1").arg(detail);
}

// pkexec asks for the administrator's password through the desktop's polkit agent.
class PkexecRoute : public QObject, public InstallRoute {
public:
    explicit PkexecRoute(QString pkexec) : m_pkexec(std::move(pkexec)) {}

    void install(const QString &packagePath, std::function<void(InstallProgress)>,
                 std::function<void(std::optional<QString>)> done) override
    {
        auto *process = new QProcess(this);
        connect(process, &QProcess::finished, this, [process, done](int code, QProcess::ExitStatus status) {
            if (status == QProcess::NormalExit && code == 0) {
                done(std::nullopt);
                return;
            }
            const QStringList lines =
                QString::fromLocal8Bit(process->readAllStandardError()).split('\n', Qt::SkipEmptyParts);
            const QString detail = lines.isEmpty() ? QStringLiteral("exit code %1").arg(code) : lines.last().trimmed();
            done(status == QProcess::NormalExit ? pkexecFailure(code, detail)
                                                : QStringLiteral("The package could not be installed: %1").arg(detail));
        });
        connect(process, &QProcess::errorOccurred, this, [process, done](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                done(process->errorString());
        });
        process->start(m_pkexec, {QStringLiteral("apt-get"), QStringLiteral("install"), QStringLiteral("-y"),
                                  packagePath});
    }

private:
    QString m_pkexec;
};

bool packageKitRuns()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    return bus.interface()->isServiceRegistered(packageKitService).value()
        || bus.interface()->activatableServiceNames().value().contains(packageKitService);
}

} // namespace

std::unique_ptr<InstallRoute> systemInstallRoute()
{
    if (packageKitRuns())
        return std::make_unique<PackageKitRoute>();
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (!pkexec.isEmpty())
        return pkexecRoute(pkexec);
    return nullptr;
}

std::unique_ptr<InstallRoute> pkexecRoute(const QString &pkexec)
{
    return std::make_unique<PkexecRoute>(pkexec);
}

#include "install_routes.moc"
