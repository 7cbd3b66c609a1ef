#include "app/updates/feed_fetcher.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <memory>

QUrl redirectedToServer(const QUrl &address, const QUrl &server)
{
    if (server.isEmpty() || address.host() != QLatin1String(UpdateConfiguration::host.data(),
                                                            qsizetype(UpdateConfiguration::host.size())))
        return address;
    QUrl result = address;
    result.setScheme(server.scheme());
    result.setHost(server.host());
    result.setPort(server.port());
    return result;
}

NetworkFeedFetcher::NetworkFeedFetcher(QNetworkAccessManager &network, QUrl server, QObject *parent)
    : QObject(parent), m_network(network), m_server(std::move(server))
{
}

void NetworkFeedFetcher::fetch(const QUrl &address, std::function<void(FeedResponse)> done)
{
    QNetworkRequest request(redirectedToServer(address, m_server));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setTransferTimeout(timeoutMilliseconds);
    request.setRawHeader("Accept", "application/json");
    QNetworkReply *reply = m_network.get(request);

    auto body = std::make_shared<QByteArray>();
    auto cut = std::make_shared<bool>(false);
    connect(reply, &QNetworkReply::readyRead, reply, [reply, body, cut] {
        body->append(reply->read(byteLimit + 1 - body->size()));
        if (body->size() > byteLimit) {
            // One byte past the limit is enough for the verifier to refuse the feed.
            *cut = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, reply, [reply, body, cut, done = std::move(done)] {
        reply->deleteLater();
        FeedResponse response;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        // Errors below 200 are the connection's (refused, reset, timed out), not an HTTP answer's.
        const bool connectionFailed = reply->error() != QNetworkReply::NoError && reply->error() < 200 && !*cut;
        if (connectionFailed)
            response.networkError = reply->errorString();
        else if (status.isValid())
            response.status = status.toInt();
        if (!*cut)
            body->append(reply->read(byteLimit + 1 - body->size()));
        response.body = std::move(*body);
        done(std::move(response));
    });
}
