#include "platform/linux/QtHttpSession.h"

#include "platform/linux/HttpExchange.h"

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
    // Nothing is kept between requests: no cache, cookies or credentials.
    HttpExchange::start(request, extraAuthorities_, std::move(completion));
}

} // namespace native
} // namespace quorvia::platform
