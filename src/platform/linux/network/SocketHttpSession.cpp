#include "platform/linux/network/SocketHttpSession.h"

#include "platform/linux/network/HttpExchange.h"

namespace quorvia::platform {

std::shared_ptr<HttpSession> makeEphemeralHttpSession()
{
    return std::make_shared<native::SocketHttpSession>();
}

namespace native {

SocketHttpSession::SocketHttpSession(QList<QSslCertificate> extraCertificateAuthorities)
    : extraAuthorities_(std::move(extraCertificateAuthorities))
{
}

SocketHttpSession::~SocketHttpSession() = default;

void SocketHttpSession::dataTask(const HttpRequest& request, std::function<void(HttpResult)> completion)
{
    // Nothing is kept between requests: no cache, cookies or credentials.
    HttpExchange::start(request, extraAuthorities_, std::move(completion));
}

} // namespace native
} // namespace quorvia::platform
