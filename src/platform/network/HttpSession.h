#pragma once

#include <QByteArray>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace quorvia::platform {

struct HttpRequest {
    QUrl url;
    QByteArray method = "GET";
    // The whole exchange, from connecting to the reply's last byte, ends
    // within this time, however the peer paces its bytes.
    double timeoutSeconds = 60;
    std::vector<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    // A reply above this many bytes, its head counted with its body, is cut
    // off and reported; none = no limit on the body.
    std::optional<qint64> maximumReplyBytes;
};

enum class HttpFailure {
    // No usable reply: no connection, time-out, TLS failure, cancellation.
    transfer,
    // The reply, head and body together, passed `maximumReplyBytes`.
    replyTooLarge,
};

struct HttpResult {
    std::optional<HttpFailure> failure;
    // Present for every HTTP reply, whatever its status; redirects are never followed.
    std::optional<int> statusCode;
    std::optional<QByteArray> body;
};

// One data task per request; nothing is cached between requests. The
// completion runs once, on the main thread.
class HttpSession {
public:
    virtual ~HttpSession() = default;
    virtual void dataTask(const HttpRequest& request, std::function<void(HttpResult)> completion) = 0;
};

// A session that keeps no cache, cookies or credentials between requests.
std::shared_ptr<HttpSession> makeEphemeralHttpSession();

} // namespace quorvia::platform
