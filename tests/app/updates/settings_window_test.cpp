#include "app/updates/settings_window.h"

#include "app/updates/update_settings_panel.h"
#include "app/updates/update_store.h"

#include "update_test_support.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>

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

// Release notes longer than any screen is tall: the window still opens wholly on the
// screen, and the notes scroll inside it.
TEST(SettingsWindow, OpensWhollyOnTheScreenWhateverTheNotes)
{
    QTemporaryDir folder;
    QSettings settings(folder.filePath("settings.ini"), QSettings::IniFormat);
    settings.setValue(UpdateStore::automaticKey, false);
    const UpdateTest::Signer signer;
    QueuedFetcher fetcher;
    StoppedClock clock;
    UpdateStore store({.fetcher = &fetcher, .clock = &clock, .settings = &settings,
                       .configuration = signer.configuration(), .version = "2.0", .build = 50});
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

} // namespace
