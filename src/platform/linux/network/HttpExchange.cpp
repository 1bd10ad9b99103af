#include "platform/linux/network/HttpExchange.h"

#include <QSslConfiguration>
#include <QSslSocket>

#include <algorithm>
#include <cmath>

namespace quorvia::platform::native {

namespace {

// Without a cap, a reply's head alone may still not grow without end.
constexpr qint64 uncappedHeadBytes = 1 << 20;

QByteArray headerValue(const QList<QByteArray>& lines, const QByteArray& name)
{
    for (const QByteArray& line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

} // namespace

void HttpExchange::start(const HttpRequest& request, const QList<QSslCertificate>& extraAuthorities,
                         std::function<void(HttpResult)> completion)
{
    auto* exchange = new HttpExchange(request, std::move(completion));
    exchange->connectAndSend(extraAuthorities);
}

HttpExchange::HttpExchange(const HttpRequest& request, std::function<void(HttpResult)> completion)
    : request_(request), completion_(std::move(completion)), cap_(request.maximumReplyBytes)
{
}

void HttpExchange::connectAndSend(const QList<QSslCertificate>& extraAuthorities)
{
    const bool secure = request_.url.scheme().compare(QStringLiteral("https"), Qt::CaseInsensitive) == 0;
    const bool plain = request_.url.scheme().compare(QStringLiteral("http"), Qt::CaseInsensitive) == 0;
    socket_ = new QSslSocket(this);
    // The time-out bounds the whole exchange: a peer sending a byte now and then
    // would otherwise hold it open for ever.
    const int timeoutMs = std::max(1, static_cast<int>(std::lround(std::clamp(request_.timeoutSeconds, 0.0, 86400.0) * 1000)));
    deadline_.setRemainingTime(timeoutMs);
    deadlineTimer_.setSingleShot(true);
    connect(&deadlineTimer_, &QTimer::timeout, this, [this] { finish(HttpFailure::transfer); });
    deadlineTimer_.start(timeoutMs);
    if ((!secure && !plain) || request_.url.host().isEmpty()) {
        QTimer::singleShot(0, this, [this] { finish(HttpFailure::transfer); });
        return;
    }

    QByteArray target = request_.url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (request_.url.hasQuery())
        target += '?' + request_.url.query(QUrl::FullyEncoded).toLatin1();
    const int defaultPort = secure ? 443 : 80;
    const int port = request_.url.port(defaultPort);
    QByteArray head = request_.method + ' ' + target + " HTTP/1.1\r\n";
    const QString host = request_.url.host();
    head += "Host: " + (host.contains(u':') ? '[' + host.toLatin1() + ']' : QUrl::toAce(host));
    if (port != defaultPort)
        head += ':' + QByteArray::number(port);
    head += "\r\n";
    for (const auto& [name, value] : request_.headers)
        head += name + ": " + value + "\r\n";
    if (!request_.body.isEmpty() || request_.method == "POST" || request_.method == "PUT")
        head += "Content-Length: " + QByteArray::number(request_.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    const QByteArray message = head + request_.body;

    connect(socket_, &QSslSocket::readyRead, this, &HttpExchange::readAvailable);
    connect(socket_, &QSslSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        // A peer closing the connection ends a reply read up to the close.
        if (error == QAbstractSocket::RemoteHostClosedError && stage_ != Stage::head)
            return;
        finish(HttpFailure::transfer);
    });
    connect(socket_, &QSslSocket::sslErrors, this, [this] { finish(HttpFailure::transfer); });
    connect(socket_, &QSslSocket::disconnected, this, [this] {
        readAvailable();
        if (stage_ == Stage::done)
            return;
        if (stage_ == Stage::body && untilClose_)
            finishWithReply();
        else
            finish(HttpFailure::transfer);
    });
    if (secure) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        if (!extraAuthorities.isEmpty())
            tls.addCaCertificates(extraAuthorities);
        tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
        socket_->setSslConfiguration(tls);
        connect(socket_, &QSslSocket::encrypted, this, [this, message] { socket_->write(message); });
        socket_->connectToHostEncrypted(request_.url.host(), static_cast<quint16>(port));
    } else {
        connect(socket_, &QSslSocket::connected, this, [this, message] { socket_->write(message); });
        socket_->connectToHost(request_.url.host(), static_cast<quint16>(port));
    }
}

void HttpExchange::readAvailable()
{
    if (stage_ == Stage::done || !socket_)
        return;
    const QByteArray chunk = socket_->readAll();
    if (chunk.isEmpty())
        return;
    // The socket may hand over one small record after another without the
    // event loop, and so the timer, getting a turn in between.
    if (deadline_.hasExpired()) {
        finish(HttpFailure::transfer);
        return;
    }
    received_ += chunk.size();
    if (cap_ ? received_ > *cap_ : stage_ == Stage::head && received_ > uncappedHeadBytes) {
        finish(HttpFailure::replyTooLarge);
        return;
    }
    buffer_ += chunk;
    while (stage_ != Stage::done && parse()) {
    }
    if (stage_ == Stage::done)
        return;
    buffer_.remove(0, read_);
    scanned_ = std::max<qsizetype>(0, scanned_ - read_);
    read_ = 0;
}

qsizetype HttpExchange::find(QByteArrayView marker)
{
    const qsizetype at = buffer_.indexOf(marker, std::max(read_, scanned_));
    scanned_ = at < 0 ? std::max(read_, buffer_.size() - marker.size() + 1) : 0;
    return at;
}

bool HttpExchange::parse()
{
    switch (stage_) {
    case Stage::head:
        return parseHead();
    case Stage::body:
    case Stage::chunkSize:
    case Stage::chunkData:
    case Stage::chunkTrailer:
        return parseBody();
    case Stage::done:
        break;
    }
    return false;
}

bool HttpExchange::parseHead()
{
    const qsizetype end = find("\r\n\r\n");
    if (end < 0)
        return false;
    const QList<QByteArray> lines = buffer_.mid(read_, end - read_).split('\n');
    read_ = end + 4;
    const QList<QByteArray> statusLine = lines.value(0).trimmed().split(' ');
    bool ok = false;
    const int status = statusLine.value(1).toInt(&ok);
    if (!statusLine.value(0).startsWith("HTTP/1.") || !ok || status < 100 || status > 999) {
        finish(HttpFailure::transfer);
        return false;
    }
    // An interim reply is followed by the real one.
    if (status >= 100 && status < 200)
        return true;
    status_ = status;
    const QList<QByteArray> headers = lines.mid(1);
    if (request_.method == "HEAD" || status == 204 || status == 304) {
        finishWithReply();
        return false;
    }
    if (headerValue(headers, "Transfer-Encoding").toLower().contains("chunked")) {
        chunked_ = true;
        stage_ = Stage::chunkSize;
        return true;
    }
    const QByteArray length = headerValue(headers, "Content-Length");
    if (!length.isEmpty()) {
        const qint64 value = length.toLongLong(&ok);
        if (!ok || value < 0) {
            finish(HttpFailure::transfer);
            return false;
        }
        if (cap_ && value > *cap_) {
            finish(HttpFailure::replyTooLarge);
            return false;
        }
        contentLength_ = value;
    } else {
        untilClose_ = true;
    }
    stage_ = Stage::body;
    return true;
}

bool HttpExchange::parseBody()
{
    switch (stage_) {
    case Stage::body:
        body_ += QByteArrayView(buffer_).sliced(read_);
        read_ = buffer_.size();
        if (contentLength_ && body_.size() >= *contentLength_) {
            body_.truncate(*contentLength_);
            finishWithReply();
        }
        return false;
    case Stage::chunkSize: {
        const qsizetype end = find("\r\n");
        if (end < 0)
            return false;
        bool ok = false;
        const QByteArray size = buffer_.mid(read_, end - read_).split(';').value(0).trimmed();
        chunkLeft_ = size.toLongLong(&ok, 16);
        read_ = end + 2;
        if (!ok || chunkLeft_ < 0 || size.size() > 15) {
            finish(HttpFailure::transfer);
            return false;
        }
        stage_ = chunkLeft_ == 0 ? Stage::chunkTrailer : Stage::chunkData;
        return true;
    }
    case Stage::chunkData: {
        // The data, then its line break, or the framing is broken.
        if (buffer_.size() - read_ < chunkLeft_ + 2)
            return false;
        if (QByteArrayView(buffer_).sliced(read_ + chunkLeft_, 2) != "\r\n") {
            finish(HttpFailure::transfer);
            return false;
        }
        body_ += QByteArrayView(buffer_).sliced(read_, chunkLeft_);
        read_ += chunkLeft_ + 2;
        stage_ = Stage::chunkSize;
        return true;
    }
    case Stage::chunkTrailer: {
        const qsizetype end = find("\r\n");
        if (end < 0)
            return false;
        const bool last = end == read_;
        read_ = end + 2;
        if (last)
            finishWithReply();
        return !last;
    }
    case Stage::head:
    case Stage::done:
        break;
    }
    return false;
}

void HttpExchange::finishWithReply()
{
    HttpResult result;
    result.statusCode = status_;
    result.body = body_;
    complete(std::move(result));
}

void HttpExchange::finish(std::optional<HttpFailure> failure)
{
    HttpResult result;
    result.failure = failure;
    complete(std::move(result));
}

void HttpExchange::complete(HttpResult result)
{
    if (stage_ == Stage::done)
        return;
    stage_ = Stage::done;
    deadlineTimer_.stop();
    if (socket_)
        socket_->abort();
    auto completion = std::move(completion_);
    deleteLater();
    if (completion)
        completion(std::move(result));
}

} // namespace quorvia::platform::native
