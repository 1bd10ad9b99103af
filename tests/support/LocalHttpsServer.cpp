#include "support/LocalHttpsServer.h"
#include "support/QtPrinting.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTimer>

#include <memory>

namespace quorvia::test {

LocalHttpsServer::LocalHttpsServer(const QString& certifiedHost)
{
    const QString key = folder_.filePath(QStringLiteral("key.pem"));
    const QString cert = folder_.filePath(QStringLiteral("cert.pem"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                   QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert, QStringLiteral("-days"), QStringLiteral("2"),
                   QStringLiteral("-subj"), QStringLiteral("/CN=") + (certifiedHost.isEmpty() ? QStringLiteral("127.0.0.1") : certifiedHost),
                   QStringLiteral("-addext"),
                   certifiedHost.isEmpty() ? QStringLiteral("subjectAltName=IP:127.0.0.1")
                                           : QStringLiteral("subjectAltName=DNS:") + certifiedHost});
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0) {
        problem_ = QStringLiteral("openssl could not make a certificate: ") + QString::fromLocal8Bit(openssl.readAllStandardError());
        return;
    }
    QFile keyFile(key);
    QFile certFile(cert);
    if (!keyFile.open(QIODevice::ReadOnly) || !certFile.open(QIODevice::ReadOnly)) {
        problem_ = QStringLiteral("certificate files missing");
        return;
    }
    certificate_ = QSslCertificate(certFile.readAll(), QSsl::Pem);
    const QSslKey privateKey(keyFile.readAll(), QSsl::Ec, QSsl::Pem);
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(certificate_);
    tls.setPrivateKey(privateKey);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    server_.setSslConfiguration(tls);
    QObject::connect(&server_, &QTcpServer::pendingConnectionAvailable, &server_, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection())
            serve(static_cast<QSslSocket*>(socket));
    });
    if (!server_.listen(QHostAddress::LocalHost, 0))
        problem_ = server_.errorString();
}

LocalHttpsServer::~LocalHttpsServer() = default;

QUrl LocalHttpsServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path));
}

void LocalHttpsServer::serve(QSslSocket* socket)
{
    auto buffer = std::make_shared<QByteArray>();
    QObject::connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    QObject::connect(socket, &QSslSocket::readyRead, socket, [this, socket, buffer] {
        buffer->append(socket->readAll());
        const qsizetype end = buffer->indexOf("\r\n\r\n");
        if (end < 0)
            return;
        Request request;
        const QList<QByteArray> lines = buffer->left(end).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.path = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length", "0").toLongLong();
        if (buffer->size() < end + 4 + length)
            return;
        request.body = buffer->mid(end + 4, length);
        buffer->clear();
        requests.push_back(request);
        if (reply.never)
            return;
        if (!reply.raw.isEmpty()) {
            const qsizetype piece = reply.rawPieceBytes > 0 ? reply.rawPieceBytes : reply.raw.size();
            for (qsizetype at = 0; at < reply.raw.size(); at += piece) {
                socket->write(reply.raw.mid(at, piece));
                socket->flush();
            }
            socket->disconnectFromHost();
            return;
        }
        QByteArray response = "HTTP/1.1 " + QByteArray::number(reply.status) + " Reply\r\n";
        if (reply.endlessHeaders) {
            // Keeps a few lines in flight, and more each time they leave.
            const QByteArray line = "X-Padding: " + QByteArray(1000, 'p') + "\r\n";
            socket->write(response + line.repeated(16));
            QObject::connect(socket, &QSslSocket::encryptedBytesWritten, socket, [socket, line] {
                if (socket->encryptedBytesToWrite() < 64 * 1024)
                    socket->write(line.repeated(16));
            });
            return;
        }
        if (reply.streamMs > 0) {
            socket->write(response + "Connection: close\r\n\r\n");
            auto clock = std::make_shared<QElapsedTimer>();
            clock->start();
            // Never on a timer, so a loop that runs no timers still streams.
            QObject::connect(socket, &QSslSocket::encryptedBytesWritten, socket, [socket, clock, ms = reply.streamMs] {
                if (clock->elapsed() < ms)
                    socket->write("streamed\n");
                else
                    socket->disconnectFromHost();
            });
            return;
        }
        if (reply.chunkSize > 0) {
            response += "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
            for (qsizetype at = 0; at < reply.body.size(); at += reply.chunkSize) {
                const QByteArray chunk = reply.body.mid(at, reply.chunkSize);
                response += QByteArray::number(chunk.size(), 16) + ";note=x\r\n" + chunk + "\r\n";
            }
            socket->write(response + "0\r\nX-Trailer: t\r\n\r\n");
            socket->disconnectFromHost();
            return;
        }
        response += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n";
        for (const auto& [name, value] : reply.headers)
            response += name + ": " + value + "\r\n";
        response += "\r\n";
        if (reply.dripIntervalMs > 0) {
            socket->write(response);
            auto* drip = new QTimer(socket);
            auto left = std::make_shared<QByteArray>(reply.body);
            QObject::connect(drip, &QTimer::timeout, socket, [socket, drip, left] {
                socket->write(left->left(1));
                left->remove(0, 1);
                if (left->isEmpty()) {
                    drip->stop();
                    socket->disconnectFromHost();
                }
            });
            drip->start(reply.dripIntervalMs);
            return;
        }
        socket->write(response + reply.body);
        socket->disconnectFromHost();
    });
}

} // namespace quorvia::test
