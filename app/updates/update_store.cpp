#include "app/updates/update_store.h"

#include "app/shell/dialogs.h"
#include <algorithm>

#include <QSettings>

#include <exception>

const QString UpdateStore::automaticKey = QStringLiteral("automaticUpdateChecks");
const QString UpdateStore::skippedKey = QStringLiteral("skippedUpdate");

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

bool UpdateStore::shouldNotify() const
{
    if (!m_available || !m_available->isNewer(m_services.version.toStdString(), m_services.build))
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

void UpdateStore::installUpdate()
{
    if (!m_available || m_installing)
        return;
    if (const std::optional<QString> failure = m_services.packagedAppFailure()) {
        setMessage(*failure);
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
    setMessage(handOffMessage);
    const UpdateManifest release = *m_available;
    m_services.installer->install(release, [this, release](const std::optional<QString> &failure) {
        // Queued: an installer that fails at once must not re-enter this call.
        QMetaObject::invokeMethod(this, [this, release, failure] { finishInstall(release, failure); },
                                  Qt::QueuedConnection);
    });
}

void UpdateStore::finishInstall(const UpdateManifest &release, const std::optional<QString> &failure)
{
    m_installing = false;
    if (failure) {
        setMessage(*failure);
        return;
    }
    emit changed();
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
