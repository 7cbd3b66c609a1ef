#include "app/updates/application_updates.h"

#include "app/chart/chart_window.h"
#include "app/shell/document_controller.h"
#include "app/shell/organization_document.h"
#include "app/updates/feed_fetcher.h"
#include "app/updates/packaged_app_check.h"
#include "app/updates/settings_window.h"
#include "app/updates/update_installer.h"
#include "app/updates/update_store.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>

namespace {

class SystemClock final : public UpdateClock {
public:
    SystemClock() { m_started.start(); }
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 monotonicSeconds() const override { return m_started.elapsed() / 1000; }

private:
    QElapsedTimer m_started;
};

// The feed address and key of this build: the server's, unless a test build names its own key.
UpdateConfiguration buildConfiguration()
{
    UpdateConfiguration configuration = UpdateConfiguration::standard();
    const std::string key = VANTREL_UPDATE_KEY;
    if (!key.empty())
        configuration.publicKeyText = key;
    return configuration;
}

QString canonical(const QString &path)
{
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? path : resolved;
}

std::optional<QString> readText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return QString::fromUtf8(file.read(64 * 1024));
}

} // namespace

struct ApplicationUpdates::Parts {
    SystemClock clock;
    std::unique_ptr<NetworkFeedFetcher> fetcher;
    std::unique_ptr<PackageInstaller> installer;
};

ApplicationUpdates::ApplicationUpdates(DocumentController &controller, QSettings &settings)
    : m_controller(controller), m_network(std::make_unique<QNetworkAccessManager>()), m_parts(std::make_unique<Parts>())
{
    const QUrl server(QStringLiteral(VANTREL_UPDATE_SERVER));
    m_parts->fetcher = std::make_unique<NetworkFeedFetcher>(*m_network, server);
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/updates");
    m_parts->installer = std::make_unique<PackageInstaller>(*m_network, QDir(cache), systemInstallRoute, server);

    const UpdateConfiguration configuration = buildConfiguration();
    UpdateStoreServices services{
        .fetcher = m_parts->fetcher.get(),
        .clock = &m_parts->clock,
        .settings = &settings,
        .dialogs = &controller.dialogs(),
        .installer = m_parts->installer.get(),
        .configuration = configuration,
        .version = QStringLiteral(VANTREL_VERSION).isEmpty() ? QStringLiteral("1.0") : QStringLiteral(VANTREL_VERSION),
        .build = parseBuildText(QStringLiteral(VANTREL_BUILD_TEXT)),
    };
    services.packagedAppFailure = [configuration] {
        const QString executable = canonical(QCoreApplication::applicationFilePath());
        const QString installed = canonical(QStringLiteral(VANTREL_INSTALLED_EXECUTABLE));
        // Only the package database tells the packaged program from a source install at the same place.
        const PackageOwnership ownership = executable == installed
            ? packageOwnership(executable, QStringLiteral(VANTREL_PACKAGE_NAME))
            : PackageOwnership::notOwned;
        const PackagedAppFacts facts{
            .executablePath = executable,
            .installedExecutable = installed,
            .ownership = ownership,
            .iniText = readText(QStringLiteral(VANTREL_UPDATE_INI)),
            .applicationId = QStringLiteral(VANTREL_APPLICATION_ID),
            .feedAddress = QString::fromStdString(configuration.updates),
        };
        return packagedAppFailure(facts, configuration);
    };
    services.hasUnsavedDocuments = [&controller] {
        const QList<ChartWindow *> windows = controller.windows();
        return std::any_of(windows.begin(), windows.end(),
                           [](ChartWindow *window) { return window->document()->isModified(); });
    };
    services.mayPrompt = [] {
        return QApplication::applicationState() == Qt::ApplicationActive && QApplication::activeWindow()
            && !QApplication::activeModalWidget();
    };
    services.restart = [this] { restart(); };
    services.showMessage = [this] { showSettings(); };
    m_store = new UpdateStore(std::move(services), this);

    controller.setUpdateCheck([this] {
        showSettings();
        m_store->check(true);
    });
    controller.setShowSettings([this] { showSettings(); });
    controller.setWindowSetup([this](ChartWindow *window) {
        window->setUpdateOffer(m_store);
        m_store->start();
    });
}

ApplicationUpdates::~ApplicationUpdates()
{
    delete m_settingsWindow;
}

void ApplicationUpdates::showSettings()
{
    if (!m_settingsWindow) {
        m_settingsWindow = new SettingsWindow(*m_store);
        // An open Settings window alone does not keep the application running.
        m_settingsWindow->setAttribute(Qt::WA_QuitOnClose, false);
    }
    m_settingsWindow->present();
}

bool ApplicationUpdates::restart()
{
    if (!m_controller.reviewBeforeQuit())
        return false;
    m_restart = true;
    QCoreApplication::quit();
    return true;
}

void ApplicationUpdates::restartIfRequested() const
{
    if (m_restart)
        QProcess::startDetached(QStringLiteral(VANTREL_INSTALLED_EXECUTABLE), {});
}
