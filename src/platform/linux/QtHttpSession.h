#pragma once

#include "platform/HttpSession.h"

#include <QList>
#include <QSslCertificate>

namespace quorvia::platform::native {

// HTTP over Qt's sockets, on the main thread, one connection a request. TLS
// errors are never ignored; `extraCertificateAuthorities` are trusted in
// addition to the system's.
class QtHttpSession final : public HttpSession {
public:
    explicit QtHttpSession(QList<QSslCertificate> extraCertificateAuthorities = {});
    ~QtHttpSession() override;

    void dataTask(const HttpRequest& request, std::function<void(HttpResult)> completion) override;

private:
    QList<QSslCertificate> extraAuthorities_;
};

} // namespace quorvia::platform::native
