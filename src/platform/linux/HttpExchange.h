#pragma once

#include "platform/HttpSession.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QTimer>

#include <functional>
#include <optional>

class QSslSocket;

namespace quorvia::platform::native {

// One HTTP/1.1 request and its reply over a connection of its own, closed
// after the reply. Every byte of the reply counts against the request's cap,
// its head included, so a peer sending header lines without end is cut off as
// one sending too long a body is. Redirects are reported, never followed.
// Main thread; the completion runs once, then the exchange deletes itself.
class HttpExchange final : public QObject {
public:
    static void start(const HttpRequest& request, const QList<QSslCertificate>& extraAuthorities,
                      std::function<void(HttpResult)> completion);

private:
    HttpExchange(const HttpRequest& request, std::function<void(HttpResult)> completion);

    void connectAndSend(const QList<QSslCertificate>& extraAuthorities);
    void readAvailable();
    // Parses what has arrived; false while more is needed.
    bool parse();
    bool parseHead();
    bool parseBody();
    void finish(std::optional<HttpFailure> failure);
    void finishWithReply();
    // Answers once; whatever arrives after is dropped.
    void complete(HttpResult result);

    HttpRequest request_;
    std::function<void(HttpResult)> completion_;
    QSslSocket* socket_ = nullptr;
    QTimer deadline_;
    std::optional<qint64> cap_;
    qint64 received_ = 0;
    QByteArray buffer_;

    enum class Stage { head, body, chunkSize, chunkData, chunkTrailer, done } stage_ = Stage::head;
    int status_ = 0;
    std::optional<qint64> contentLength_;
    bool chunked_ = false;
    bool untilClose_ = false;
    qint64 chunkLeft_ = 0;
    QByteArray body_;
};

} // namespace quorvia::platform::native
