#include "editing/CloudAIMatcherError.h"

namespace quorvia {

QString description(CloudAIMatcherError error)
{
    switch (error) {
    case CloudAIMatcherError::notConfigured:
        return QStringLiteral("请先配置云端匹配服务地址和访问令牌。");
    case CloudAIMatcherError::insecureEndpoint:
        return QStringLiteral("云端匹配服务必须使用 HTTPS。");
    case CloudAIMatcherError::invalidResponse:
        return QStringLiteral("云端服务返回的映射格式无效。");
    case CloudAIMatcherError::serverRejected:
        return QStringLiteral("云端服务拒绝了本次映射请求。");
    case CloudAIMatcherError::transportFailure:
        return QStringLiteral("无法连接云端匹配服务。");
    }
    return QString();
}

} // namespace quorvia
