#pragma once

#include "platform/network/HttpSession.h"

#include <QList>
#include <QSslCertificate>

namespace quorvia::platform::native {

// HTTP/1.1 spoken by the application itself (HttpExchange) over a TLS socket,
// on the main thread, one connection a request. TLS errors are never ignored;
// `extraCertificateAuthorities` are trusted in addition to the system's.
class SocketHttpSession final : public HttpSession {
public:
    explicit SocketHttpSession(QList<QSslCertificate> extraCertificateAuthorities = {});
    ~SocketHttpSession() override;

    void dataTask(const HttpRequest& request, std::function<void(HttpResult)> completion) override;

private:
    QList<QSslCertificate> extraAuthorities_;
};

} // namespace quorvia::platform::native
