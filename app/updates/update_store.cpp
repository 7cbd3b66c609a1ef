#include "app/updates/update_store.h"

#include "app/shell/dialogs.h"
#include <algorithm>

#include <QSettings>

#include <exception>

const QString UpdateStore::automaticKey = QStringLiteral("automaticUpdateChecks");
const QString UpdateStore::skippedKey = QStringLiteral("skippedUpdate");

const QString UpdateInstaller::cancelledMessage = QStringLiteral("The update was cancelled. Nothing was installed.");

static const QString checkFailurePrefix = QStringLiteral("Could not check for updates. ");
static const QString handOffMessage =
    QStringLiteral("The updater will download, verify, install, and restart Vantrel after your confirmation.");

// Only a stored boolean false turns checks off; anything else, absent included, is on.
static bool readAutomatic(const QSettings &settings)
{
    const QVariant value = settings.value(UpdateStore::automaticKey);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    // QSettings hands back booleans read from a file as text.
    if (value.typeId() == QMetaType::QString)
        return value.toString() != QLatin1String("false");
    return true;
}

qint64 parseBuildText(const QString &text)
{
    bool ok = false;
    const QStringView digits = text.startsWith('+') || text.startsWith('-') ? QStringView(text).mid(1) : text;
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= '0' && c <= '9'; }))
        return 0;
    const qint64 value = text.startsWith('+') ? digits.toLongLong(&ok) : QStringView(text).toLongLong(&ok);
    return ok ? value : 0;
}

UpdateStore::UpdateStore(UpdateStoreServices services, QObject *parent)
    : UpdateOffer(parent), m_services(std::move(services))
{
    m_automatic = readAutomatic(*m_services.settings);
    m_timer.setInterval(passSeconds * 1000);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &UpdateStore::runPass);
}

QString UpdateStore::skipText(const UpdateManifest &release)
{
    return QString::fromStdString(release.version) + '-' + QString::number(release.releaseBuild());
}

void UpdateStore::setAutomatic(bool automatic)
{
    m_services.settings->setValue(automaticKey, automatic);
    if (m_automatic == automatic)
        return;
    m_automatic = automatic;
    emit changed();
}

// A release no newer than the one installed in this run is not offered again: the restart
// finishes that update.
static bool isAlreadyInstalled(const UpdateManifest &release, const std::optional<UpdateManifest> &installed)
{
    return installed && !release.isNewer(installed->version, installed->releaseBuild());
}

static QString restartMessage(const UpdateManifest &installed)
{
    return QStringLiteral("Vantrel %1 is installed. Restart Vantrel to finish updating.")
        .arg(QString::fromStdString(installed.version));
}

bool UpdateStore::shouldNotify() const
{
    if (!m_available || !m_available->isNewer(m_services.version.toStdString(), m_services.build)
        || isAlreadyInstalled(*m_available, m_installed))
        return false;
    const QVariant skipped = m_services.settings->value(skippedKey);
    return !skipped.isValid() || skipped.toString() != skipText(*m_available);
}

std::optional<QString> UpdateStore::offeredVersion() const
{
    if (!shouldNotify())
        return std::nullopt;
    return QString::fromStdString(m_available->version);
}

void UpdateStore::start()
{
    if (m_timer.isActive())
        return;
    m_timer.start();
    runPass();
}

void UpdateStore::runPass()
{
    const qint64 now = m_services.clock->monotonicSeconds();
    const bool due = m_automatic && (!m_lastAutomatic || now - *m_lastAutomatic >= automaticInterval);
    if (!due) {
        presentStartupUpdateIfReady();
        return;
    }
    m_lastAutomatic = now;
    check(false, [this] {
        if (!m_startupCheckCompleted) {
            m_startupCheckCompleted = true;
            m_pendingStartupPrompt = shouldNotify();
        }
        presentStartupUpdateIfReady();
    });
}

void UpdateStore::check(bool manual, std::function<void()> finished)
{
    if (m_checking || m_installing) {
        if (finished)
            finished();
        return;
    }
    m_checking = true;
    emit changed();
    m_services.fetcher->fetch(QUrl(QString::fromStdString(m_services.configuration.updates)),
                              [this, manual, finished = std::move(finished)](const FeedResponse &response) {
                                  finishCheck(manual, response);
                                  if (finished)
                                      finished();
                              });
}

// The failure's own sentence: ours for UpdateFailure, the JSON reader's for a bad envelope.
static QString describe(const std::exception &error)
{
    return QString::fromStdString(error.what());
}

void UpdateStore::finishCheck(bool manual, const FeedResponse &response)
{
    std::optional<QString> failure;
    std::optional<UpdateManifest> result;
    if (response.networkError) {
        failure = *response.networkError;
    } else if (!response.status) {
        failure = QStringLiteral("Invalid update response.");
    } else if (*response.status == 200) {
        try {
            const std::vector<uint8_t> key =
                m_services.configuration.publicKey(UpdateConfiguration::publicKeyName);
            UpdateManifest manifest =
                UpdateManifest::verified(std::string_view(response.body.constData(), response.body.size()), key);
            if (manifest.isNewer(m_services.version.toStdString(), m_services.build))
                result = std::move(manifest);
        } catch (const std::exception &error) {
            failure = describe(error);
        }
    } else if (*response.status != 204) {
        failure = QStringLiteral("Update service unavailable (HTTP %1).").arg(*response.status);
    }

    m_checking = false;
    if (failure) {
        if (manual)
            m_message = checkFailurePrefix + *failure;
        emit changed();
        return;
    }
    m_available = std::move(result);
    m_lastChecked = m_services.clock->now();
    if (manual)
        m_services.settings->remove(skippedKey);
    if (m_installed && (!m_available || isAlreadyInstalled(*m_available, m_installed)))
        m_message = restartMessage(*m_installed); // only the restart is left to do
    else
        m_message = m_available ? QStringLiteral("A new Vantrel version is available.")
                                : QStringLiteral("You’re up to date.");
    emit changed();
}

void UpdateStore::presentStartupUpdateIfReady()
{
    if (!m_pendingStartupPrompt)
        return;
    if (!m_automatic || !shouldNotify()) {
        m_pendingStartupPrompt = false;
        return;
    }
    if (m_installing || !m_services.mayPrompt())
        return;
    m_pendingStartupPrompt = false;

    const UpdateManifest release = *m_available;
    const QString text =
        QStringLiteral("Vantrel %1 (%2) is available. You’re running %3 (%4).\n\n")
            .arg(QString::fromStdString(release.version))
            .arg(release.releaseBuild())
            .arg(m_services.version)
            .arg(m_services.build)
        + QStringLiteral("Download and install the update without leaving Vantrel. Installation and restart require "
                         "your confirmation; unsaved charts can be saved before restarting.");
    const int answer = m_services.dialogs->ask(QStringLiteral("Vantrel Update Available"), text,
                                               {{QStringLiteral("Download & Install…")},
                                                {QStringLiteral("Later"), DialogButton::Role::cancel},
                                                {QStringLiteral("Skip This Version")}},
                                               DialogButton::Role::action);
    if (answer == 0) {
        installUpdate();
    } else if (answer == 2) {
        m_services.settings->setValue(skippedKey, skipText(release));
        emit changed();
    }
}

void UpdateStore::skipAvailable()
{
    if (!m_available)
        return;
    m_services.settings->setValue(skippedKey, skipText(*m_available));
    m_available.reset();
    emit changed();
}

void UpdateStore::setMessage(const QString &message)
{
    m_message = message;
    emit changed();
}

void UpdateStore::reportInstallFailure(const QString &message)
{
    setMessage(message);
    // A cancel was the user's own doing and needs no window.
    if (message != UpdateInstaller::cancelledMessage && m_services.showMessage)
        m_services.showMessage();
}

static QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / 1'000'000, 'f', 1);
}

QString UpdateStore::progressText() const
{
    if (!m_installing || !m_progress)
        return {};
    if (m_progress->phase == InstallProgress::Phase::downloading) {
        if (m_progress->total <= 0)
            return QStringLiteral("Downloading…");
        return QStringLiteral("Downloading %1 MB of %2 MB").arg(megabytes(m_progress->done), megabytes(m_progress->total));
    }
    const QString phase = m_progress->status.isEmpty() ? QStringLiteral("Installing…") : m_progress->status;
    if (m_progress->total <= 0)
        return phase;
    return QStringLiteral("%1 %2%").arg(phase).arg(m_progress->done * 100 / m_progress->total);
}

QString UpdateStore::installingText() const
{
    const QString progress = progressText();
    return progress.isEmpty() ? QStringLiteral("Updating Vantrel…") : QStringLiteral("Updating Vantrel… ") + progress;
}

void UpdateStore::cancelInstall()
{
    if (canCancelInstall())
        m_services.installer->cancel();
}

void UpdateStore::installUpdate()
{
    if (m_installing)
        return;
    if (m_installed && (!m_available || isAlreadyInstalled(*m_available, m_installed))) {
        m_services.restart();
        return;
    }
    if (!m_available)
        return;
    if (const std::optional<QString> failure = m_services.packagedAppFailure()) {
        reportInstallFailure(*failure);
        return;
    }
    if (m_services.hasUnsavedDocuments()) {
        const int answer = m_services.dialogs->ask(
            QStringLiteral("Download and install the update?"),
            QStringLiteral("You have unsaved charts. Before restarting, Vantrel will ask you to save them. Canceling "
                           "that prompt keeps the current app running."),
            {{QStringLiteral("Continue")}, {QStringLiteral("Cancel"), DialogButton::Role::cancel}},
            DialogButton::Role::action);
        if (answer != 0)
            return;
    }
    m_installing = true;
    m_progress = InstallProgress{.total = m_available->size};
    setMessage(handOffMessage);
    const UpdateManifest release = *m_available;
    const auto progress = [this](InstallProgress progress) {
        if (!m_installing || progress == m_progress)
            return;
        m_progress = std::move(progress);
        emit changed();
    };
    m_services.installer->install(release, progress, [this, release](const std::optional<QString> &failure) {
        // Queued: an installer that fails at once must not re-enter this call.
        QMetaObject::invokeMethod(this, [this, release, failure] { finishInstall(release, failure); },
                                  Qt::QueuedConnection);
    });
}

void UpdateStore::finishInstall(const UpdateManifest &release, const std::optional<QString> &failure)
{
    m_installing = false;
    m_progress.reset();
    if (failure) {
        reportInstallFailure(*failure);
        return;
    }
    m_installed = release;
    setMessage(restartMessage(release));
    const int answer = m_services.dialogs->ask(
        QStringLiteral("Restart Vantrel?"),
        QStringLiteral("Vantrel %1 is installed. Restart now to use it; Vantrel will ask you to save unsaved charts "
                       "first.")
            .arg(QString::fromStdString(release.version)),
        {{QStringLiteral("Restart")}, {QStringLiteral("Later"), DialogButton::Role::cancel}},
        DialogButton::Role::action);
    if (answer == 0)
        m_services.restart();
}
