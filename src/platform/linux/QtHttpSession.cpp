#include "platform/linux/QtHttpSession.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace quorvia::platform {

std::shared_ptr<HttpSession> makeEphemeralHttpSession()
{
    return std::make_shared<native::QtHttpSession>();
}

namespace native {

QtHttpSession::QtHttpSession(QList<QSslCertificate> extraCertificateAuthorities)
    : extraAuthorities_(std::move(extraCertificateAuthorities))
{
}

QtHttpSession::~QtHttpSession() = default;

void QtHttpSession::dataTask(const HttpRequest& request, std::function<void(HttpResult)> completion)
{
    if (!manager_)
        manager_ = std::make_unique<QNetworkAccessManager>();

    QNetworkRequest networkRequest(request.url);
    // A redirect would carry the bearer token to wherever it points.
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    networkRequest.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    networkRequest.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    networkRequest.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    networkRequest.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    const int timeoutMs = std::max(1, static_cast<int>(std::lround(std::clamp(request.timeoutSeconds, 0.0, 86400.0) * 1000)));
    networkRequest.setTransferTimeout(timeoutMs);
    for (const auto& [name, value] : request.headers)
        networkRequest.setRawHeader(name, value);
    if (!extraAuthorities_.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(extraAuthorities_);
        networkRequest.setSslConfiguration(tls);
    }

    QNetworkReply* reply = manager_->sendCustomRequest(networkRequest, request.method, request.body);
    // The transfer time-out only measures silences: a peer sending a byte now
    // and then would hold the request open for ever without this deadline.
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    deadline->start(timeoutMs);
    auto tooLarge = std::make_shared<bool>(false);
    const std::optional<qint64> limit = request.maximumBodyBytes;
    if (limit) {
        QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply, tooLarge, limit](qint64 received, qint64 total) {
            if (!*tooLarge && (received > *limit || total > *limit)) {
                *tooLarge = true;
                reply->abort();
            }
        });
    }
    // The session stays alive until its reply is done, so the completion runs once.
    auto self = shared_from_this();
    QObject::connect(reply, &QNetworkReply::finished, reply, [self, reply, tooLarge, limit, completion = std::move(completion)] {
        HttpResult result;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const auto error = reply->error();
        if (*tooLarge) {
            result.failure = HttpFailure::bodyTooLarge;
        } else if (!status.isValid() || (error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied)) {
            result.failure = HttpFailure::transfer;
        } else {
            const QByteArray body = reply->readAll();
            if (limit && body.size() > *limit) {
                result.failure = HttpFailure::bodyTooLarge;
            } else {
                result.statusCode = status.toInt();
                result.body = body;
            }
        }
        reply->deleteLater();
        completion(std::move(result));
    });
}

} // namespace native
} // namespace quorvia::platform
