#include "app/updates/update_installer.h"
#include "bench/qt_bench_main.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

namespace {

// Serves one file over loopback, as the update server would.
class FileServer : public QTcpServer {
public:
    explicit FileServer(QByteArray body) : m_body(std::move(body))
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    socket->readAll();
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(m_body.size())
                                  + "\r\nConnection: close\r\n\r\n");
                    socket->write(m_body);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

private:
    QByteArray m_body;
};

class AcceptingRoute final : public InstallRoute {
public:
    void install(const QString &, std::function<void(InstallProgress)>,
                 std::function<void(std::optional<QString>)> done) override
    {
        done(std::nullopt);
    }
};

// Download, hash and write 200 MB over loopback; the digest is taken as the bytes arrive.
void streamingVerification(benchmark::State &state)
{
    const qsizetype size = qsizetype(state.range(0)) * 1024 * 1024;
    QByteArray body(size, 'v');
    UpdateManifest release{.product = "vantrel",
                           .version = "9.0",
                           .build = 1,
                           .downloadURL = "https://updates.vantrel.org/vantrel/updates/vantrel-9.0.deb",
                           .sha256 = QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex().toStdString(),
                           .size = size};
    FileServer server(std::move(body));
    QTemporaryDir folder;
    QNetworkAccessManager network;
    PackageInstaller installer(network, QDir(folder.path()), [] { return std::make_unique<AcceptingRoute>(); },
                               QUrl(QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort())));
    for (auto _ : state) {
        QEventLoop loop;
        std::optional<QString> outcome;
        installer.install(release, {}, [&](std::optional<QString> failure) {
            outcome = std::move(failure);
            loop.quit();
        });
        loop.exec();
        if (outcome)
            state.SkipWithError(outcome->toStdString().c_str());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * size);
}

} // namespace

BENCHMARK(streamingVerification)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char **argv) { return BenchApp::runBenchmarks<QCoreApplication>(argc, argv); }
