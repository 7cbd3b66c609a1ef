#pragma once

#include "app/chart/update_notice.h"
#include "core/update/update_feed.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <optional>

class Dialogs;
class QSettings;

// What came back for the feed request.
struct FeedResponse {
    std::optional<QString> networkError; // the platform's description of a failed request
    std::optional<int> status;           // none when the answer was not HTTP
    QByteArray body;                     // cut just past the feed size limit
};

// Fetches the feed without blocking; `done` runs later on the main thread.
class FeedFetcher {
public:
    virtual ~FeedFetcher() = default;
    virtual void fetch(const QUrl &address, std::function<void(FeedResponse)> done) = 0;
};

// The time of a check (shown) and a monotonic count of seconds (the schedule).
class UpdateClock {
public:
    virtual ~UpdateClock() = default;
    virtual QDateTime now() const = 0;
    virtual qint64 monotonicSeconds() const = 0;
};

// How far an install has come: bytes of the signed size while downloading, then the package
// manager's own phase and percentage where it reports them.
struct InstallProgress {
    enum class Phase { downloading, installing };
    Phase phase = Phase::downloading;
    qint64 done = 0;
    qint64 total = 0;   // 0 while unknown
    QString status;     // the package manager's phase, when it names one
    bool cancellable = true; // false once the package manager has started installing

    bool operator==(const InstallProgress &) const = default;
};

// Downloads, verifies and installs a release; `done` gets nothing on success, else the
// message to show. It runs exactly once per call; `progress` any number of times before it.
class UpdateInstaller {
public:
    static const QString cancelledMessage;

    virtual ~UpdateInstaller() = default;
    virtual void install(const UpdateManifest &release, std::function<void(InstallProgress)> progress,
                         std::function<void(std::optional<QString> failure)> done) = 0;
    // Ends a running install with cancelledMessage while it is still cancellable: the download
    // is removed and nothing is installed. Otherwise does nothing.
    virtual void cancel() = 0;
};

// Everything the store reaches outside itself, so that tests can replace all of it.
struct UpdateStoreServices {
    FeedFetcher *fetcher = nullptr;
    UpdateClock *clock = nullptr;
    QSettings *settings = nullptr;
    Dialogs *dialogs = nullptr;
    UpdateInstaller *installer = nullptr;
    UpdateConfiguration configuration;
    QString version = QStringLiteral("1.0");
    qint64 build = 0;
    // The packaged-app check: nothing when this copy may install, else the message.
    std::function<std::optional<QString>()> packagedAppFailure;
    std::function<bool()> hasUnsavedDocuments;
    // The application is active with a window to attach to and no modal dialog open.
    std::function<bool()> mayPrompt;
    // The quit path with its save review, starting the new executable afterwards.
    std::function<void()> restart;
    // Brings the message into view (the Settings window): an install started from a chart
    // window or the startup alert that fails would otherwise end without a word.
    std::function<void()> showMessage;
};

// The one update store of the application: checks the signed feed daily and on demand,
// remembers the newest release, lets the user skip it, offers it once per run at startup
// and hands it to the installer. Every outcome is one line in message(); no error dialogs.
class UpdateStore : public UpdateOffer {
    Q_OBJECT
public:
    static constexpr int passSeconds = 60;
    static constexpr qint64 automaticInterval = 86'400;
    static const QString automaticKey;
    static const QString skippedKey;

    explicit UpdateStore(UpdateStoreServices services, QObject *parent = nullptr);

    const std::optional<UpdateManifest> &available() const { return m_available; }
    bool isChecking() const { return m_checking; }
    bool isInstalling() const override { return m_installing; }
    QString message() const { return m_message; }
    std::optional<QDateTime> lastChecked() const { return m_lastChecked; }
    bool isAutomatic() const { return m_automatic; }
    void setAutomatic(bool automatic);
    QString version() const { return m_services.version; }
    qint64 build() const { return m_services.build; }

    // The release is offered in the windows and at startup: newer and not skipped.
    bool shouldNotify() const;
    std::optional<QString> offeredVersion() const override;

    // Starts the schedule once (a pass at once, then one a minute); later calls do nothing.
    void start();
    bool isStarted() const { return m_timer.isActive(); }
    // One scheduler pass; the timer calls it.
    void runPass();
    // Fetches and verifies the feed; ignored while a check or an install runs. `finished`
    // runs when this call is over, at once when it was ignored.
    void check(bool manual, std::function<void()> finished = {});

    // Downloads and installs the offered release; once one is installed, restarts instead.
    void installUpdate();
    void install() override { installUpdate(); }
    const std::optional<InstallProgress> &installProgress() const { return m_progress; }
    // "Downloading 3.1 MB of 10.0 MB", "Installing… 40%"; empty while nothing is installing.
    QString progressText() const;
    QString installingText() const override;
    bool canCancelInstall() const override { return m_installing && m_progress && m_progress->cancellable; }
    void cancelInstall() override;
    // A release was installed in this run and the running program is still the old one.
    bool isRestartPending() const override { return m_installed.has_value(); }
    // The panel's skip: remembers the release and forgets it until the next check.
    void skipAvailable();

    static QString skipText(const UpdateManifest &release);

private:
    void presentStartupUpdateIfReady();
    void finishCheck(bool manual, const FeedResponse &response);
    void finishInstall(const UpdateManifest &release, const std::optional<QString> &failure);
    void setMessage(const QString &message);
    void reportInstallFailure(const QString &message);

    UpdateStoreServices m_services;
    QTimer m_timer;
    std::optional<UpdateManifest> m_available;
    bool m_checking = false;
    bool m_installing = false;
    std::optional<InstallProgress> m_progress;
    std::optional<UpdateManifest> m_installed;
    QString m_message;
    std::optional<QDateTime> m_lastChecked;
    bool m_automatic = true;
    std::optional<qint64> m_lastAutomatic;
    bool m_startupCheckCompleted = false;
    bool m_pendingStartupPrompt = false;
};

// A build text as the build gives it: an optional sign and decimal digits; anything else,
// empty text or overflow gives 0.
qint64 parseBuildText(const QString &text);
