#include "app/updates/update_settings_panel.h"

#include "app/updates/settings_window.h"

#include "app/updates/update_store.h"

#include "update_test_support.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
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

} // namespace
