#include "app/updates/update_store.h"
#include "app/chart/update_notice.h"

#include "scripted_dialogs.h"
#include "update_test_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

using UpdateTest::release;

namespace {

class FakeFetcher final : public FeedFetcher {
public:
    std::deque<std::function<void(FeedResponse)>> pending;
    int requests = 0;
    void fetch(const QUrl &, std::function<void(FeedResponse)> done) override
    {
        ++requests;
        pending.push_back(std::move(done));
    }
    void answer(FeedResponse response)
    {
        auto done = std::move(pending.front());
        pending.pop_front();
        done(std::move(response));
    }
};

class FakeClock final : public UpdateClock {
public:
    qint64 seconds = 1000;
    QDateTime now() const override { return QDateTime::fromSecsSinceEpoch(1'700'000'000 + seconds); }
    qint64 monotonicSeconds() const override { return seconds; }
};

class FakeInstaller final : public UpdateInstaller {
public:
    std::vector<UpdateManifest> installs;
    std::function<void(InstallProgress)> progress;
    std::function<void(std::optional<QString>)> done;
    int cancels = 0;
    void install(const UpdateManifest &manifest, std::function<void(InstallProgress)> reported,
                 std::function<void(std::optional<QString>)> finished) override
    {
        installs.push_back(manifest);
        progress = std::move(reported);
        done = std::move(finished);
    }
    void cancel() override
    {
        ++cancels;
        if (done)
            std::exchange(done, nullptr)(cancelledMessage);
    }
};

class UpdateStoreTest : public ::testing::Test {
protected:
    UpdateStoreTest() : settings(folder.filePath("settings.ini"), QSettings::IniFormat) {}

    UpdateStore &makeStore()
    {
        UpdateStoreServices services{.fetcher = &fetcher,
                                     .clock = &clock,
                                     .settings = &settings,
                                     .dialogs = &dialogs,
                                     .installer = &installer,
                                     .configuration = signer.configuration(),
                                     .version = "2.0",
                                     .build = 50};
        services.packagedAppFailure = [this] { return packagedFailure; };
        services.hasUnsavedDocuments = [this] { return unsaved; };
        services.mayPrompt = [this] { return mayPrompt; };
        services.restart = [this] { ++restarts; };
        services.showMessage = [this] { ++messagesShown; };
        store = std::make_unique<UpdateStore>(std::move(services));
        return *store;
    }

    FeedResponse found(const UpdateManifest &manifest = release()) const
    {
        return {.status = 200, .body = signer.feed(manifest)};
    }
    static FeedResponse upToDate() { return {.status = 204}; }

    // Finds the release with a manual check, which raises no prompt.
    void findRelease()
    {
        store->check(true);
        fetcher.answer(found());
    }

    QTemporaryDir folder;
    QSettings settings;
    UpdateTest::Signer signer;
    FakeFetcher fetcher;
    FakeClock clock;
    ScriptedDialogs dialogs;
    FakeInstaller installer;
    std::optional<QString> packagedFailure;
    bool unsaved = false;
    bool mayPrompt = true;
    int restarts = 0;
    int messagesShown = 0;
    std::unique_ptr<UpdateStore> store;
};

TEST_F(UpdateStoreTest, FirstStartChecksAtOnceAndLaterStartsAddNoSchedule)
{
    makeStore().start();
    EXPECT_EQ(fetcher.requests, 1);
    fetcher.answer(upToDate());
    store->start();
    EXPECT_EQ(fetcher.requests, 1);
    EXPECT_TRUE(store->isStarted());
}

TEST_F(UpdateStoreTest, AutomaticChecksComeOncePerDayOfRunningTime)
{
    makeStore().start();
    fetcher.answer(upToDate());
    clock.seconds += UpdateStore::automaticInterval - 1;
    store->runPass();
    EXPECT_EQ(fetcher.requests, 1);
    clock.seconds += 1;
    store->runPass();
    EXPECT_EQ(fetcher.requests, 2);
}

TEST_F(UpdateStoreTest, TurningAutomaticOnLaterChecksOnTheNextPass)
{
    settings.setValue(UpdateStore::automaticKey, false);
    makeStore().start();
    EXPECT_EQ(fetcher.requests, 0);
    store->setAutomatic(true);
    EXPECT_EQ(settings.value(UpdateStore::automaticKey).toBool(), true);
    store->runPass();
    EXPECT_EQ(fetcher.requests, 1);
}

// Only a stored false turns checks off; text that is not a boolean counts as on.
TEST_F(UpdateStoreTest, AutomaticPreferenceReadsNonBooleansAsOn)
{
    const std::vector<std::pair<QVariant, bool>> cases{
        {QVariant(), true}, {QVariant("yes"), true}, {QVariant("garbage"), true}, {QVariant(false), false},
        {QVariant(true), true}};
    for (const auto &[stored, expected] : cases) {
        settings.remove(UpdateStore::automaticKey);
        if (stored.isValid())
            settings.setValue(UpdateStore::automaticKey, stored);
        settings.sync();
        QSettings reread(settings.fileName(), QSettings::IniFormat);
        UpdateStoreServices services{.settings = &reread};
        EXPECT_EQ(UpdateStore(services).isAutomatic(), expected) << stored.toString().toStdString();
    }
}

TEST_F(UpdateStoreTest, OverlappingCheckOrInstallIgnoresANewCheck)
{
    makeStore();
    store->check(true);
    store->check(true);
    EXPECT_EQ(fetcher.requests, 1);
    fetcher.answer(found());

    store->installUpdate();
    ASSERT_TRUE(store->isInstalling());
    const QString during = store->message();
    store->check(true);
    EXPECT_EQ(fetcher.requests, 1);
    EXPECT_EQ(store->message(), during);
}

TEST_F(UpdateStoreTest, ManualCheckReportsEachOutcome)
{
    UpdateManifest older = release("1.9", 99, std::nullopt);
    UpdateManifest badDownload = release();
    badDownload.downloadURL = "https://elsewhere.example/vantrel/updates/v.deb";
    const UpdateTest::Signer stranger;
    const QString prefix = "Could not check for updates. ";
    const std::vector<std::pair<FeedResponse, QString>> cases{
        {upToDate(), "You’re up to date."},
        {found(), "A new Vantrel version is available."},
        {found(older), "You’re up to date."},
        {{.status = 500}, prefix + "Update service unavailable (HTTP 500)."},
        {{.status = std::nullopt}, prefix + "Invalid update response."},
        {{.networkError = QString("Connection refused")}, prefix + "Connection refused"},
        {{.status = 200, .body = QByteArray(131'073, ' ')}, prefix + "The update feed is too large."},
        {found(badDownload), prefix + "The update feed contains an invalid Vantrel download."},
        {{.status = 200, .body = stranger.feed(release())},
         prefix + "The update feed signature is invalid. No download was opened."},
    };
    makeStore();
    for (const auto &[response, expected] : cases) {
        store->check(true);
        fetcher.answer(response);
        EXPECT_EQ(store->message(), expected);
        EXPECT_FALSE(store->isChecking());
    }
    store->check(true);
    fetcher.answer({.status = 200, .body = "{\"payload\": 1"});
    EXPECT_TRUE(store->message().startsWith(prefix)) << store->message().toStdString();
}

TEST_F(UpdateStoreTest, FailuresKeepTheReleaseAndAutomaticOnesShowNothing)
{
    makeStore();
    findRelease();
    const QDateTime checked = *store->lastChecked();
    clock.seconds += 60;
    dialogs.choices = {"Later"};
    store->start();
    fetcher.answer({.status = 503});
    EXPECT_EQ(store->message(), "A new Vantrel version is available.");
    EXPECT_TRUE(store->available());
    EXPECT_EQ(store->lastChecked(), checked);
}

TEST_F(UpdateStoreTest, AMissingKeyFailsTheCheckWithTheKeyMessage)
{
    makeStore();
    UpdateStoreServices services{.fetcher = &fetcher, .clock = &clock, .settings = &settings};
    services.configuration.publicKeyText = "not a key";
    UpdateStore keyless(services);
    keyless.check(true);
    fetcher.answer(found());
    EXPECT_EQ(keyless.message(), "Could not check for updates. The update verification key is missing or invalid.");
}

TEST_F(UpdateStoreTest, SkipMatchesVersionAndDisplayBuild)
{
    EXPECT_EQ(UpdateStore::skipText(release("2.1", 56, 57)), "2.1-57");
    makeStore();
    findRelease();
    settings.setValue(UpdateStore::skippedKey, "2.1-56");
    EXPECT_TRUE(store->shouldNotify());
    settings.setValue(UpdateStore::skippedKey, "2.1-57");
    EXPECT_FALSE(store->shouldNotify());
    EXPECT_FALSE(store->offeredVersion());
}

TEST_F(UpdateStoreTest, OnlyAManualSuccessClearsTheSkip)
{
    settings.setValue(UpdateStore::skippedKey, "2.1-57");
    makeStore().start();
    fetcher.answer(found());
    EXPECT_EQ(settings.value(UpdateStore::skippedKey).toString(), "2.1-57");
    EXPECT_TRUE(store->available()) << "the panel still describes a skipped release";
    store->check(true);
    fetcher.answer(upToDate());
    EXPECT_FALSE(settings.contains(UpdateStore::skippedKey));
}

TEST_F(UpdateStoreTest, PanelSkipHidesTheReleaseUntilTheNextCheck)
{
    makeStore();
    findRelease();
    store->skipAvailable();
    EXPECT_FALSE(store->available());
    EXPECT_EQ(settings.value(UpdateStore::skippedKey).toString(), "2.1-57");
    store->check(true);
    fetcher.answer(found());
    EXPECT_EQ(store->offeredVersion(), "2.1");
}

TEST_F(UpdateStoreTest, StartupPromptFollowsOnlyTheFirstAutomaticCheck)
{
    makeStore();
    findRelease();
    EXPECT_TRUE(dialogs.questions.empty()) << "a manual check raises no prompt";

    dialogs.choices = {"Later"};
    store->start();
    fetcher.answer(found());
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].title, "Vantrel Update Available");
    EXPECT_TRUE(dialogs.questions[0].message.startsWith("Vantrel 2.1 (57) is available. You’re running 2.0 (50).\n\n"));
    EXPECT_EQ(dialogs.questions[0].buttons, QStringList({"Download & Install…", "Later", "Skip This Version"}));

    clock.seconds += UpdateStore::automaticInterval;
    store->runPass();
    fetcher.answer(found());
    EXPECT_EQ(dialogs.questions.size(), 1u) << "at most once per run";
}

TEST_F(UpdateStoreTest, StartupPromptWaitsWhileTheApplicationCannotShowIt)
{
    mayPrompt = false;
    makeStore().start();
    fetcher.answer(found());
    store->runPass();
    EXPECT_TRUE(dialogs.questions.empty());

    mayPrompt = true;
    dialogs.choices = {"Skip This Version"};
    store->runPass();
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(settings.value(UpdateStore::skippedKey).toString(), "2.1-57");
    EXPECT_TRUE(store->available()) << "the alert's skip keeps the panel's release";
    EXPECT_FALSE(store->offeredVersion());
}

TEST_F(UpdateStoreTest, StartupPromptInstallsOnTheFirstButton)
{
    makeStore();
    dialogs.choices = {"Download & Install…"};
    store->start();
    fetcher.answer(found());
    EXPECT_EQ(installer.installs.size(), 1u);
}

TEST_F(UpdateStoreTest, InstallRefusesWithoutAReleaseOrOutsideThePackage)
{
    makeStore().installUpdate();
    EXPECT_TRUE(installer.installs.empty());

    findRelease();
    packagedFailure = "Install the packaged Vantrel app in Applications before using in-app updates.";
    store->installUpdate();
    EXPECT_EQ(store->message(), *packagedFailure);
    EXPECT_FALSE(store->isInstalling());
    EXPECT_TRUE(installer.installs.empty());
}

TEST_F(UpdateStoreTest, CancelInTheUnsavedConfirmationChangesNothing)
{
    makeStore();
    findRelease();
    unsaved = true;
    dialogs.choices = {"Cancel"};
    store->installUpdate();
    EXPECT_EQ(dialogs.questions.back().title, "Download and install the update?");
    EXPECT_EQ(dialogs.questions.back().buttons, QStringList({"Continue", "Cancel"}));
    EXPECT_EQ(store->message(), "A new Vantrel version is available.");
    EXPECT_FALSE(store->isInstalling());
    EXPECT_TRUE(installer.installs.empty());
}

TEST_F(UpdateStoreTest, InstalledUpdateOffersTheRestart)
{
    makeStore();
    findRelease();
    store->installUpdate();
    ASSERT_TRUE(store->isInstalling());
    store->installUpdate();
    EXPECT_EQ(installer.installs.size(), 1u) << "a second install while one runs does nothing";

    dialogs.choices = {"Restart"};
    installer.done(std::nullopt);
    QCoreApplication::processEvents();
    EXPECT_FALSE(store->isInstalling());
    EXPECT_EQ(dialogs.questions.back().title, "Restart Vantrel?");
    EXPECT_EQ(restarts, 1);
}

TEST_F(UpdateStoreTest, FailedOrDeclinedInstallKeepsRunning)
{
    makeStore();
    findRelease();
    store->installUpdate();
    installer.done(QString("The downloaded update did not match its signed description. Nothing was installed."));
    QCoreApplication::processEvents();
    EXPECT_FALSE(store->isInstalling());
    EXPECT_EQ(store->message(), "The downloaded update did not match its signed description. Nothing was installed.");

    store->installUpdate();
    dialogs.choices = {"Later"};
    installer.done(std::nullopt);
    QCoreApplication::processEvents();
    EXPECT_EQ(restarts, 0);
    EXPECT_FALSE(store->isInstalling());
}

TEST(BuildText, ParsesSignedDecimalsOnly)
{
    const std::vector<std::pair<QString, qint64>> cases{
        {"+42", 42}, {"-3", -3}, {"42", 42}, {"42a", 0}, {"", 0}, {"+", 0}, {" 42", 0},
        {"9223372036854775807", 9223372036854775807}, {"9223372036854775808", 0}, {"+-1", 0}};
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(parseBuildText(text), expected) << text.toStdString();
}

} // namespace

// The first start checks at once; a second start adds no schedule.
TEST_F(UpdateStoreTest, AutomaticChecksComeAtStartThenOncePerDayOfRunningTime)
{
    makeStore().start();
    fetcher.answer(upToDate());
    store->start();
    EXPECT_EQ(fetcher.requests, 1);
    clock.seconds += UpdateStore::automaticInterval - 1;
    store->runPass();
    EXPECT_EQ(fetcher.requests, 1);
    clock.seconds += 1;
    store->runPass();
    EXPECT_EQ(fetcher.requests, 2);
}

// No release, a build outside the package, or Cancel over unsaved documents: nothing is installed.
TEST_F(UpdateStoreTest, InstallRefusalsChangeNothing)
{
    makeStore().installUpdate();
    EXPECT_TRUE(installer.installs.empty());

    findRelease();
    packagedFailure = "Install the packaged Vantrel app in Applications before using in-app updates.";
    store->installUpdate();
    EXPECT_EQ(store->message(), *packagedFailure);

    findRelease();
    packagedFailure.reset();
    unsaved = true;
    dialogs.choices = {"Cancel"};
    store->installUpdate();
    EXPECT_EQ(dialogs.questions.back().title, "Download and install the update?");
    EXPECT_EQ(store->message(), "A new Vantrel version is available.");
    EXPECT_FALSE(store->isInstalling());
    EXPECT_TRUE(installer.installs.empty());
}

TEST_F(UpdateStoreTest, InstallReportsAFailureOrOffersTheRestart)
{
    makeStore();
    findRelease();
    const QString mismatch = "The downloaded update did not match its signed description. Nothing was installed.";
    store->installUpdate();
    installer.done(mismatch);
    QCoreApplication::processEvents();
    EXPECT_FALSE(store->isInstalling());
    EXPECT_EQ(store->message(), mismatch);

    store->installUpdate();
    ASSERT_TRUE(store->isInstalling());
    store->installUpdate(); // a second install or a check while one runs does nothing
    const QString during = store->message();
    store->check(true);
    EXPECT_EQ(store->message(), during);
    dialogs.choices = {"Restart"};
    installer.done(std::nullopt);
    QCoreApplication::processEvents();
    EXPECT_FALSE(store->isInstalling());
    EXPECT_EQ(dialogs.questions.back().title, "Restart Vantrel?");
    EXPECT_EQ(installer.installs.size(), 2u);
    EXPECT_EQ(fetcher.requests, 1);
    EXPECT_EQ(restarts, 1);
}

// "Later" at the restart question: the offer becomes the restart, and neither the toolbar nor
// a new check downloads the installed release again.
TEST_F(UpdateStoreTest, LaterAfterAnInstallOffersTheRestartAndNeverDownloadsAgain)
{
    makeStore();
    findRelease();
    store->installUpdate();
    dialogs.choices = {"Later"};
    installer.done(std::nullopt);
    QCoreApplication::processEvents();
    EXPECT_EQ(restarts, 0);
    EXPECT_TRUE(store->isRestartPending());
    EXPECT_EQ(store->offeredVersion(), std::nullopt);
    EXPECT_EQ(store->message(), "Vantrel 2.1 is installed. Restart Vantrel to finish updating.");
    EXPECT_EQ(UpdateNotice::content(store.get()),
              (UpdateNotice::Content{UpdateNotice::Kind::restart, "Restart to Finish Updating"}));

    store->check(true);
    fetcher.answer(found());
    EXPECT_FALSE(store->shouldNotify());
    EXPECT_EQ(store->message(), "Vantrel 2.1 is installed. Restart Vantrel to finish updating.");
    store->installUpdate();
    EXPECT_EQ(installer.installs.size(), 1u);
    EXPECT_EQ(restarts, 1);

    // A newer release than the one installed is offered and downloaded as usual.
    store->check(true);
    fetcher.answer(found(release("2.2", 60, std::nullopt)));
    EXPECT_EQ(store->offeredVersion(), "2.2");
    store->installUpdate();
    EXPECT_EQ(installer.installs.size(), 2u);
}

// Progress comes from the installer; Cancel is offered until the package manager starts and
// a cancelled install installs nothing and says so.
TEST_F(UpdateStoreTest, InstallShowsProgressAndCancels)
{
    makeStore();
    findRelease();
    store->installUpdate();
    EXPECT_EQ(store->progressText(), "Downloading 0.0 MB of 0.0 MB");
    installer.progress(InstallProgress{.done = 2'500'000, .total = 10'000'000});
    EXPECT_EQ(store->progressText(), "Downloading 2.5 MB of 10.0 MB");
    EXPECT_EQ(store->installingText(), "Updating Vantrel… Downloading 2.5 MB of 10.0 MB");
    EXPECT_TRUE(store->canCancelInstall());
    store->cancelInstall();
    QCoreApplication::processEvents();
    EXPECT_EQ(installer.cancels, 1);
    EXPECT_FALSE(store->isInstalling());
    EXPECT_FALSE(store->isRestartPending());
    EXPECT_EQ(store->message(), UpdateInstaller::cancelledMessage);
    EXPECT_EQ(store->offeredVersion(), "2.1");

    store->installUpdate();
    installer.progress(InstallProgress{.phase = InstallProgress::Phase::installing, .done = 40, .total = 100,
                                       .status = "Installing…", .cancellable = false});
    EXPECT_EQ(store->progressText(), "Installing… 40%");
    EXPECT_FALSE(store->canCancelInstall());
    store->cancelInstall();
    EXPECT_EQ(installer.cancels, 1);
    EXPECT_TRUE(store->isInstalling());
}

// An install started from a chart window or the startup alert has only the Settings window to
// say why it failed: a refusal or a failed install brings it up, a cancel or a success does not.
TEST_F(UpdateStoreTest, FailedInstallsBringTheirMessageIntoView)
{
    makeStore();
    findRelease();
    packagedFailure = "Only Vantrel installed from its Debian package can install updates.";
    store->install();
    EXPECT_EQ(store->message(), *packagedFailure);
    EXPECT_EQ(messagesShown, 1);

    packagedFailure.reset();
    store->install();
    installer.done("The update download stopped: nothing arrived for 30 seconds. Nothing was installed.");
    QCoreApplication::processEvents();
    EXPECT_EQ(messagesShown, 2);

    store->install();
    store->cancelInstall();
    QCoreApplication::processEvents();
    EXPECT_EQ(store->message(), UpdateInstaller::cancelledMessage);
    dialogs.choices = {"Later"};
    store->install();
    installer.done(std::nullopt);
    QCoreApplication::processEvents();
    EXPECT_TRUE(store->isRestartPending());
    EXPECT_EQ(messagesShown, 2);
}
