#include "editing/CloudAISettings.h"

#include "platform/settings/DefaultsStore.h"
#include "platform/Platform.h"
#include "platform/core/Text.h"

namespace quorvia {

CloudAISettings::CloudAISettings(platform::DefaultsStore* defaults, CloudCredentialStore credentialStore)
    : defaults_(defaults), credentialStore_(credentialStore)
{
}

platform::DefaultsStore& CloudAISettings::defaults() const
{
    return defaults_ ? *defaults_ : platform::current().defaults();
}

QString CloudAISettings::endpointText() const
{
    return defaults().string(endpointKey).value_or(QString());
}

QString CloudAISettings::model() const
{
    return defaults().string(modelKey).value_or(QString());
}

QString CloudAISettings::token() const
{
    return credentialStore_.readToken().value_or(QString());
}

std::optional<QUrl> CloudAISettings::parseEndpoint(const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

CloudAIConfiguration CloudAISettings::configuration() const
{
    return CloudAIConfiguration{parseEndpoint(endpointText()), model(), token()};
}

std::expected<void, CloudAIMatcherError> CloudAISettings::save(const QString& endpoint, const QString& model, const QString& token)
{
    const QString trimmedEndpoint = platform::text::trimmedWhitespaceAndNewlines(endpoint);
    if (!trimmedEndpoint.isEmpty()) {
        const auto url = parseEndpoint(trimmedEndpoint);
        if (!url || url->scheme().toLower() != QStringLiteral("https") || url->host().isEmpty())
            return std::unexpected(CloudAIMatcherError::insecureEndpoint);
    }
    const QString trimmedToken = platform::text::trimmedWhitespaceAndNewlines(token);
    if (!trimmedToken.isEmpty() && !CloudAIConfiguration::isUsableToken(trimmedToken))
        return std::unexpected(CloudAIMatcherError::notConfigured);
    defaults().setString(endpointKey, trimmedEndpoint);
    defaults().setString(modelKey, platform::text::trimmedWhitespaceAndNewlines(model));
    return credentialStore_.saveToken(token);
}

} // namespace quorvia
