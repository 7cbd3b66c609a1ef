#include "app/updates/feed_fetcher.h"
#include "app/updates/update_installer.h"

#include "update_test_support.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using UpdateTest::LocalServer;

namespace {

class FakeRoute final : public InstallRoute {
public:
    explicit FakeRoute(QList<QByteArray> &installed) : m_installed(installed) {}
    void install(const QString &path, std::function<void(InstallProgress)>,
                 std::function<void(std::optional<QString>)> done) override
    {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        m_installed.append(file.readAll());
        done(std::nullopt);
    }

private:
    QList<QByteArray> &m_installed;
};

class DownloadTest : public ::testing::Test {
protected:
    DownloadTest()
    {
        server.body = QByteArray(300'000, 'x');
        server.body.replace(0, 12, "!<arch>\ndeb ");
    }

    UpdateManifest describedRelease() const
    {
        UpdateManifest manifest = UpdateTest::release();
        manifest.size = server.body.size();
        manifest.sha256 = QCryptographicHash::hash(server.body, QCryptographicHash::Sha256).toHex().toStdString();
        return manifest;
    }

    // Runs one install and returns its outcome; the download folder must be empty after it.
    std::optional<QString> install(const UpdateManifest &manifest, bool withRoute = true)
    {
        PackageInstaller installer(network, QDir(folder.path()), [this, withRoute]() -> std::unique_ptr<InstallRoute> {
            if (!withRoute)
                return nullptr;
            return std::make_unique<FakeRoute>(installed);
        }, QUrl(server.address()));
        int calls = 0;
        std::optional<QString> outcome;
        installer.install(manifest, {}, [&](std::optional<QString> failure) {
            ++calls;
            outcome = std::move(failure);
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 10'000));
        QTest::qWait(20);
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(QDir(folder.path()).isEmpty(QDir::Files)) << "the download is removed on every outcome";
        return outcome;
    }

    QTemporaryDir folder;
    QNetworkAccessManager network;
    LocalServer server;
    QList<QByteArray> installed;
};

TEST_F(DownloadTest, VerifiedFileGoesToTheRoute)
{
    EXPECT_EQ(install(describedRelease()), std::nullopt);
    ASSERT_EQ(installed.size(), 1);
    EXPECT_EQ(installed[0], server.body);
    EXPECT_TRUE(server.requests[0].startsWith("GET /vantrel/updates/vantrel-2.1.deb "));
}

TEST_F(DownloadTest, AnythingThatDiffersFromTheManifestInstallsNothing)
{
    UpdateManifest wrongDigest = describedRelease();
    wrongDigest.sha256 = std::string(64, '0');
    UpdateManifest shorter = describedRelease();
    shorter.size += 1;
    UpdateManifest longer = describedRelease();
    longer.size -= 1000;
    for (const UpdateManifest &manifest : {wrongDigest, shorter, longer})
        EXPECT_EQ(install(manifest), PackageInstaller::mismatchMessage) << manifest.size;

    UpdateManifest otherHost = describedRelease();
    otherHost.downloadURL = "https://mirror.example/vantrel/updates/vantrel-2.1.deb";
    EXPECT_EQ(install(otherHost), PackageInstaller::mismatchMessage);
    EXPECT_TRUE(installed.isEmpty());
}

// A server that keeps sending past the signed size is cut off, not read to its end.
TEST_F(DownloadTest, OverlongStreamIsAbortedAtTheSignedSize)
{
    UpdateManifest manifest = describedRelease();
    manifest.size = 1000;
    server.body = QByteArray(8'000'000, 'y');
    EXPECT_EQ(install(manifest), PackageInstaller::mismatchMessage);
    EXPECT_TRUE(installed.isEmpty());
}

TEST_F(DownloadTest, ServerErrorsAndMissingRoutesAreReported)
{
    EXPECT_EQ(install(describedRelease(), false), PackageInstaller::noRouteMessage);
    EXPECT_TRUE(server.requests.isEmpty()) << "nothing is downloaded without a way to install it";
    server.status = 404;
    EXPECT_EQ(install(describedRelease()).value_or("").contains("404"), true);
    EXPECT_TRUE(installed.isEmpty());
}

class FeedFetchTest : public ::testing::Test {
protected:
    FeedResponse fetch(const QUrl &server)
    {
        NetworkFeedFetcher fetcher(network, server);
        std::optional<FeedResponse> response;
        fetcher.fetch(QUrl("https://updates.vantrel.org/vantrel/updates/latest.json"),
                      [&](FeedResponse answer) { response = std::move(answer); });
        EXPECT_TRUE(QTest::qWaitFor([&] { return response.has_value(); }, 10'000));
        return response.value_or(FeedResponse{});
    }

    QNetworkAccessManager network;
    LocalServer server;
};

TEST_F(FeedFetchTest, AsksForJsonAndStopsOneBytePastTheLimit)
{
    server.body = QByteArray(1'000'000, '{');
    const FeedResponse response = fetch(server.address());
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body.size(), NetworkFeedFetcher::byteLimit + 1);
    EXPECT_TRUE(server.requests[0].toLower().contains("accept: application/json"));
}

TEST_F(FeedFetchTest, StatusesAndConnectionFailuresComeBackApart)
{
    server.status = 204;
    EXPECT_EQ(fetch(server.address()).status, 204);
    server.status = 500;
    EXPECT_EQ(fetch(server.address()).status, 500);

    const QString closed = server.address();
    server.close();
    const FeedResponse refused = fetch(closed);
    EXPECT_FALSE(refused.status);
    EXPECT_TRUE(refused.networkError);
}

} // namespace

// Asks for JSON, stops one byte past the limit, and keeps statuses apart from connection failures.
TEST_F(FeedFetchTest, ReadsTheFeedWithinItsLimitAndReportsFailures)
{
    server.body = QByteArray(1'000'000, '{');
    const FeedResponse response = fetch(server.address());
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body.size(), NetworkFeedFetcher::byteLimit + 1);
    EXPECT_TRUE(server.requests[0].toLower().contains("accept: application/json"));

    server.status = 204;
    EXPECT_EQ(fetch(server.address()).status, 204);
    server.status = 500;
    EXPECT_EQ(fetch(server.address()).status, 500);

    const QString closed = server.address();
    server.close();
    const FeedResponse refused = fetch(closed);
    EXPECT_FALSE(refused.status);
    EXPECT_TRUE(refused.networkError);
}


namespace {

// A download that keeps receiving, however slowly, is not a stall; one that receives nothing
// for the stall limit fails with a message and leaves no file; Cancel stops it mid-stream.
TEST_F(DownloadTest, StallsAndCancelsLeaveNothingAndSlowStreamsFinish)
{
    const auto run = [this](std::function<void(PackageInstaller &, std::vector<InstallProgress> &)> during) {
        PackageInstaller installer(network, QDir(folder.path()),
                                   [this]() -> std::unique_ptr<InstallRoute> { return std::make_unique<FakeRoute>(installed); },
                                   QUrl(server.address()));
        installer.setStallLimit(std::chrono::milliseconds(400));
        std::vector<InstallProgress> progress;
        std::optional<std::optional<QString>> outcome;
        installer.install(describedRelease(), [&](InstallProgress p) { progress.push_back(p); },
                          [&](std::optional<QString> failure) { outcome = std::move(failure); });
        if (during)
            during(installer, progress);
        EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 10'000));
        EXPECT_TRUE(QDir(folder.path()).isEmpty(QDir::Files)) << "the download is removed on every outcome";
        return std::make_pair(outcome.value_or(QString("no outcome")), progress);
    };

    // Slow and steady: the whole download takes longer than the stall limit.
    server.chunkBytes = 30'000;
    server.chunkDelayMs = 100;
    const auto [slow, steps] = run({});
    EXPECT_EQ(slow, std::nullopt);
    ASSERT_GE(steps.size(), 5u);
    EXPECT_EQ(steps.front().phase, InstallProgress::Phase::downloading);
    EXPECT_EQ(steps.front().total, server.body.size());
    EXPECT_TRUE(steps.front().cancellable);
    EXPECT_EQ(steps[steps.size() - 2].done, server.body.size());
    EXPECT_EQ(steps.back().phase, InstallProgress::Phase::installing);
    EXPECT_FALSE(steps.back().cancellable);
    EXPECT_EQ(installed.size(), 1);

    // Stalled half-way.
    server.stallAfter = 150'000;
    const auto stalled = run({}).first;
    EXPECT_EQ(stalled, "The update download stopped: nothing arrived for 1 second. Nothing was installed.");

    // Cancelled mid-stream.
    server.stallAfter = -1;
    const auto cancelled = run([](PackageInstaller &installer, std::vector<InstallProgress> &progress) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return progress.size() >= 2; }, 5'000));
        installer.cancel();
    }).first;
    EXPECT_EQ(cancelled, UpdateInstaller::cancelledMessage);
    EXPECT_EQ(installed.size(), 1);
}

} // namespace
