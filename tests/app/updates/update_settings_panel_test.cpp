#include "app/updates/update_settings_panel.h"

#include "app/updates/settings_window.h"

#include "app/updates/update_store.h"

#include "scripted_dialogs.h"
#include "update_test_support.h"

#include "accessible_audit.h"
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

class QueuedFetcher final : public FeedFetcher {
public:
    std::function<void(FeedResponse)> pending;
    void fetch(const QUrl &, std::function<void(FeedResponse)> done) override { pending = std::move(done); }
};

class StoppedClock final : public UpdateClock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 monotonicSeconds() const override { return 0; }
};

// A store of version 2.0 (50) with automatic checks off, whose feed answers when told.
class SettingsStore : public ::testing::Test {
protected:
    QTemporaryDir folder;
    QSettings settings{folder.filePath("settings.ini"), QSettings::IniFormat};
    const bool automaticOff = [this] { // before the store reads it
        settings.setValue(UpdateStore::automaticKey, false);
        return true;
    }();
    const UpdateTest::Signer signer;
    QueuedFetcher fetcher;
    StoppedClock clock;
    UpdateStore store{{.fetcher = &fetcher, .clock = &clock, .settings = &settings,
                       .configuration = signer.configuration(), .version = "2.0", .build = 50}};
};

QStringList visibleTexts(const QWidget &panel)
{
    QStringList texts;
    for (const QLabel *label : panel.findChildren<QLabel *>()) {
        if (label->isVisibleTo(&panel) && !label->text().isEmpty())
            texts.append(label->text());
    }
    return texts;
}

TEST_F(SettingsStore, PanelShowsTheStoreAndWritesThePreference)
{
    UpdateSettingsPanel panel(store);
    panel.show();

    EXPECT_EQ(visibleTexts(panel), QStringList({"Vantrel 2.0 (50)"})) << "no check yet: rows 4 to 7 absent";
    EXPECT_FALSE(panel.automaticToggle()->isChecked());
    QTest::mouseClick(panel.automaticToggle(), Qt::LeftButton);
    EXPECT_EQ(settings.value(UpdateStore::automaticKey).toBool(), true);

    QTest::mouseClick(panel.checkButton(), Qt::LeftButton);
    EXPECT_FALSE(panel.checkButton()->isEnabled());
    ASSERT_TRUE(fetcher.pending);
    fetcher.pending({.status = 200, .body = signer.feed(UpdateTest::release())});
    EXPECT_TRUE(panel.checkButton()->isEnabled());
    const QStringList texts = visibleTexts(panel);
    EXPECT_TRUE(texts.contains("A new Vantrel version is available."));
    EXPECT_TRUE(texts.contains("Version 2.1 (57)"));
    EXPECT_TRUE(texts.contains("Faster charts."));
    EXPECT_TRUE(texts.contains("SHA-256: " + QString(64, 'a')));
    EXPECT_EQ(QString(panel.installButton()->text()).replace("&&", "&"), "Download & Install Update…");

    QTest::mouseClick(panel.skipButton(), Qt::LeftButton);
    EXPECT_EQ(settings.value(UpdateStore::skippedKey).toString(), "2.1-57");
    EXPECT_FALSE(visibleTexts(panel).contains("Version 2.1 (57)"));
}

// Release notes longer than any screen is tall: the window still opens wholly on the
// screen, and the notes scroll inside it.
TEST_F(SettingsStore, WindowOpensWhollyOnTheScreenWhateverTheNotes)
{
    UpdateManifest release = UpdateTest::release();
    for (int line = 1; line <= 120; ++line)
        release.notes += "\n- Improvement number " + std::to_string(line) + " to the charts.";
    store.check(true);
    ASSERT_TRUE(fetcher.pending);
    fetcher.pending({.status = 200, .body = signer.feed(release)});
    ASSERT_TRUE(store.available());

    SettingsWindow window(store);
    window.present();
    const QRect room = window.screen()->availableGeometry();
    EXPECT_TRUE(room.contains(window.frameGeometry())) << room.height() << " " << window.frameGeometry().height();
    EXPECT_TRUE(window.panel()->installButton()->isVisibleTo(&window));
}

// Settings closes as every window does: its Close button, Escape and Ctrl+W.
TEST_F(SettingsStore, WindowClosesWithItsButtonEscapeAndCtrlW)
{
    SettingsWindow window(store);
    const auto reopen = [&] {
        window.present();
        QApplication::setActiveWindow(&window);
        window.panel()->checkButton()->setFocus(); // keys go to a control inside, as a user's would
        return window.isVisible();
    };
    ASSERT_TRUE(reopen());
    EXPECT_EQ(AppTest::unnamedControls(&window), QStringList());
    QPushButton *close = nullptr;
    for (QPushButton *button : window.findChildren<QPushButton *>())
        close = button->text() == "Close" ? button : close;
    ASSERT_TRUE(close);
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());

    ASSERT_TRUE(reopen());
    QTest::keyClick(window.panel()->checkButton(), Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());

    ASSERT_TRUE(reopen());
    QTest::keyClick(window.panel()->checkButton(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(window.isVisible());
}

class HeldInstaller final : public UpdateInstaller {
public:
    std::function<void(InstallProgress)> progress;
    std::function<void(std::optional<QString>)> done;
    void install(const UpdateManifest &, std::function<void(InstallProgress)> reported,
                 std::function<void(std::optional<QString>)> finished) override
    {
        progress = std::move(reported);
        done = std::move(finished);
    }
    void cancel() override { std::exchange(done, nullptr)(cancelledMessage); }
};

// While installing: the share done and Cancel; once installed and restart put off, the
// install button restarts.
TEST(UpdateSettingsPanel, ShowsInstallProgressWithCancelThenTheRestart)
{
    QTemporaryDir folder;
    QSettings settings(folder.filePath("settings.ini"), QSettings::IniFormat);
    settings.setValue(UpdateStore::automaticKey, false);
    const UpdateTest::Signer signer;
    QueuedFetcher fetcher;
    StoppedClock clock;
    HeldInstaller installer;
    ScriptedDialogs dialogs;
    UpdateStoreServices services{.fetcher = &fetcher, .clock = &clock, .settings = &settings, .dialogs = &dialogs,
                                 .installer = &installer, .configuration = signer.configuration(), .version = "2.0",
                                 .build = 50};
    services.packagedAppFailure = [] { return std::nullopt; };
    services.hasUnsavedDocuments = [] { return false; };
    int restarts = 0;
    services.restart = [&] { ++restarts; };
    UpdateStore store(std::move(services));
    UpdateSettingsPanel panel(store);
    panel.show();
    store.check(true);
    fetcher.pending({.status = 200, .body = signer.feed(UpdateTest::release())});

    QTest::mouseClick(panel.installButton(), Qt::LeftButton);
    installer.progress(InstallProgress{.done = 5, .total = 10});
    EXPECT_TRUE(panel.installProgressBar()->isVisible());
    EXPECT_EQ(panel.installProgressBar()->value(), 500);
    EXPECT_TRUE(visibleTexts(panel).contains("Downloading 0.0 MB of 0.0 MB"));
    ASSERT_TRUE(panel.cancelButton()->isVisible());
    QTest::mouseClick(panel.cancelButton(), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_FALSE(panel.cancelButton()->isVisible());
    EXPECT_TRUE(visibleTexts(panel).contains(UpdateInstaller::cancelledMessage));

    QTest::mouseClick(panel.installButton(), Qt::LeftButton);
    dialogs.choices = {"Later"};
    installer.done(std::nullopt);
    QCoreApplication::processEvents();
    EXPECT_EQ(panel.installButton()->text(), "Restart to Finish Updating");
    QTest::mouseClick(panel.installButton(), Qt::LeftButton);
    EXPECT_EQ(restarts, 1);
}

} // namespace

// Check for Updates pressed from the keyboard keeps the focus: while it is disabled for the
// check no other control takes it (Space there would toggle automatic checks), and it has
// it again once the check is done.
TEST_F(SettingsStore, CheckForUpdatesKeepsTheFocusThroughTheCheck)
{
    SettingsWindow window(store);
    window.present();
    QApplication::setActiveWindow(&window);
    QPushButton *check = window.panel()->checkButton();
    check->setFocus(Qt::TabFocusReason);
    QTest::keyClick(check, Qt::Key_Space);
    ASSERT_TRUE(fetcher.pending);
    ASSERT_FALSE(check->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), nullptr) << "no other control is announced";
    fetcher.pending({.status = 200, .body = signer.feed(UpdateTest::release())});
    EXPECT_EQ(QApplication::focusWidget(), check);
    window.close();
}
