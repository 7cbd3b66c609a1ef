#pragma once

#include "app/updates/update_store.h"

#include <QObject>

class QNetworkAccessManager;

// Sends requests meant for the update server to `server` instead (a test build's local
// server); an empty `server` leaves every address as it is.
QUrl redirectedToServer(const QUrl &address, const QUrl &server);

// The feed request: GET with "Accept: application/json", any cached answer ignored, a
// 20-second limit, and no more than one byte past the feed size limit read.
class NetworkFeedFetcher : public QObject, public FeedFetcher {
    Q_OBJECT
public:
    static constexpr int timeoutMilliseconds = 20'000;
    static constexpr qsizetype byteLimit = 131'072;

    explicit NetworkFeedFetcher(QNetworkAccessManager &network, QUrl server = {}, QObject *parent = nullptr);

    void fetch(const QUrl &address, std::function<void(FeedResponse)> done) override;

private:
    QNetworkAccessManager &m_network;
    QUrl m_server;
};
