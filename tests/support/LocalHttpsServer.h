#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSslCertificate>
#include <QSslServer>
#include <QTemporaryDir>
#include <QUrl>

#include <vector>

namespace quorvia::test {

// A small HTTPS/1.1 server on 127.0.0.1 for one test, with its own
// self-signed certificate made by the openssl tool in a private folder, for
// 127.0.0.1 or for the host name given.
// It answers every request with `reply`, on the main thread's event loop.
class LocalHttpsServer {
public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QMap<QByteArray, QByteArray> headers; // names lower-cased
        QByteArray body;
    };
    struct Reply {
        int status = 200;
        QByteArray body;
        QList<std::pair<QByteArray, QByteArray>> headers;
        bool never = false; // keep the connection open and say nothing
        // Above 0: the head at once, then the body one byte at this interval.
        int dripIntervalMs = 0;
        // The status line, then header lines for as long as the client reads them.
        bool endlessHeaders = false;
        // The body in chunks of this size (chunked transfer coding) when above 0.
        int chunkSize = 0;
        // When not empty, the whole reply as it is sent, then the server closes.
        QByteArray raw{};
        // Above 0: `raw` in pieces of this size, each its own TLS record.
        int rawPieceBytes = 0;
        // Above 0: the head, then a body of short records sent back to back
        // for this long; then the server closes.
        int streamMs = 0;
    };

    explicit LocalHttpsServer(const QString& certifiedHost = {});
    ~LocalHttpsServer();

    // Empty when the server runs; otherwise why it could not start.
    QString problem() const { return problem_; }
    QUrl url(const QString& path = QStringLiteral("/match")) const;
    QSslCertificate certificate() const { return certificate_; }

    Reply reply;
    std::vector<Request> requests;

private:
    void serve(QSslSocket* socket);

    QTemporaryDir folder_;
    QSslServer server_;
    QSslCertificate certificate_;
    QString problem_;
};

} // namespace quorvia::test
