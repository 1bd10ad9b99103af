#pragma once

#include "platform/HttpSession.h"

#include <QList>
#include <QSslCertificate>

#include <memory>

class QNetworkAccessManager;

namespace quorvia::platform::native {

// HTTP over Qt Network, on the main thread. TLS errors are never ignored;
// `extraCertificateAuthorities` are trusted in addition to the system's.
class QtHttpSession final : public HttpSession, public std::enable_shared_from_this<QtHttpSession> {
public:
    explicit QtHttpSession(QList<QSslCertificate> extraCertificateAuthorities = {});
    ~QtHttpSession() override;

    void dataTask(const HttpRequest& request, std::function<void(HttpResult)> completion) override;

private:
    QList<QSslCertificate> extraAuthorities_;
    std::unique_ptr<QNetworkAccessManager> manager_;
};

} // namespace quorvia::platform::native
