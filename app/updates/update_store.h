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

// Downloads, verifies and installs a release; `done` gets nothing on success, else the
// message to show. It runs exactly once per call.
class UpdateInstaller {
public:
    virtual ~UpdateInstaller() = default;
    virtual void install(const UpdateManifest &release, std::function<void(std::optional<QString> failure)> done) = 0;
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

    void installUpdate();
    void install() override { installUpdate(); }
    // The panel's skip: remembers the release and forgets it until the next check.
    void skipAvailable();

    static QString skipText(const UpdateManifest &release);

private:
    void presentStartupUpdateIfReady();
    void finishCheck(bool manual, const FeedResponse &response);
    void finishInstall(const UpdateManifest &release, const std::optional<QString> &failure);
    void setMessage(const QString &message);

    UpdateStoreServices m_services;
    QTimer m_timer;
    std::optional<UpdateManifest> m_available;
    bool m_checking = false;
    bool m_installing = false;
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
