#pragma once

#include "platform/network/HttpSession.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDeadlineTimer>
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
// one sending too long a body is. Each read costs only the bytes it brought,
// and the deadline ends the exchange whatever the peer sends. Redirects are
// reported, never followed. Main thread; the completion runs once, then the
// exchange deletes itself.
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
    // Where `marker` starts in the unread bytes, or -1; a failed search is
    // not repeated over the same bytes when more arrive.
    qsizetype find(QByteArrayView marker);
    void finish(std::optional<HttpFailure> failure);
    void finishWithReply();
    // Answers once; whatever arrives after is dropped.
    void complete(HttpResult result);

    HttpRequest request_;
    std::function<void(HttpResult)> completion_;
    QSslSocket* socket_ = nullptr;
    QTimer deadlineTimer_;
    QDeadlineTimer deadline_;
    std::optional<qint64> cap_;
    qint64 received_ = 0;
    // Bytes received and not yet dropped; those before `read_` are parsed,
    // and no marker starts before `scanned_`.
    QByteArray buffer_;
    qsizetype read_ = 0;
    qsizetype scanned_ = 0;

    enum class Stage { head, body, chunkSize, chunkData, chunkTrailer, done } stage_ = Stage::head;
    int status_ = 0;
    std::optional<qint64> contentLength_;
    bool chunked_ = false;
    bool untilClose_ = false;
    qint64 chunkLeft_ = 0;
    QByteArray body_;
};

} // namespace quorvia::platform::native
