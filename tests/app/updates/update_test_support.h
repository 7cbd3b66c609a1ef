#pragma once

#include "app/updates/update_store.h"

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <sodium.h>

#include <deque>
#include <string>

namespace UpdateTest {

// A key pair made for the test, and feeds signed with it.
struct Signer {
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char secretKey[crypto_sign_SECRETKEYBYTES];

    Signer()
    {
        if (sodium_init() < 0)
            throw std::runtime_error("libsodium");
        crypto_sign_keypair(publicKey, secretKey);
    }

    UpdateConfiguration configuration() const
    {
        return {.updates = "https://updates.vantrel.org/vantrel/updates/latest.json",
                .publicKeyText = QByteArray(reinterpret_cast<const char *>(publicKey), sizeof publicKey)
                                     .toBase64()
                                     .toStdString()};
    }

    QByteArray feed(const UpdateManifest &manifest) const
    {
        const std::string payload = manifest.encode().dump();
        unsigned char signature[crypto_sign_BYTES];
        crypto_sign_detached(signature, nullptr, reinterpret_cast<const unsigned char *>(payload.data()),
                             payload.size(), secretKey);
        const auto urlSafe = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;
        nlohmann::json envelope{
            {"payload", QByteArray::fromStdString(payload).toBase64(urlSafe).toStdString()},
            {"signature", QByteArray(reinterpret_cast<const char *>(signature), sizeof signature)
                              .toBase64(urlSafe)
                              .toStdString()}};
        return QByteArray::fromStdString(envelope.dump());
    }
};

inline UpdateManifest release(const std::string &version = "2.1", int64_t build = 56,
                              std::optional<int64_t> displayBuild = 57)
{
    return {.product = "vantrel",
            .version = version,
            .build = build,
            .displayBuild = displayBuild,
            .notes = "# Vantrel " + version + "\nFaster charts.",
            .pubDate = "today",
            .downloadURL = "https://updates.vantrel.org/vantrel/updates/vantrel-" + version + ".deb",
            .sha256 = std::string(64, 'a'),
            .size = 10};
}

// One loopback HTTP server that answers every request with the same canned response.
class LocalServer : public QTcpServer {
public:
    int status = 200;
    QByteArray body;
    std::optional<qint64> declaredLength; // Content-Length when it differs from the body
    QList<QByteArray> requests;

    LocalServer()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                serve(socket);
        });
    }

    QString address() const { return QStringLiteral("http://127.0.0.1:%1").arg(serverPort()); }

private:
    void serve(QTcpSocket *socket)
    {
        auto request = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request] {
            request->append(socket->readAll());
            if (!request->contains("\r\n\r\n"))
                return;
            requests.append(*request);
            QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + " Answer\r\n";
            if (status != 204)
                head += "Content-Length: " + QByteArray::number(declaredLength.value_or(body.size())) + "\r\n";
            head += "Connection: close\r\n\r\n";
            socket->write(head + (status == 204 ? QByteArray() : body));
            socket->disconnectFromHost();
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
};

} // namespace UpdateTest
