#pragma once

#include "editing/CloudAIConfiguration.h"
#include "editing/CloudAIMatcherError.h"
#include "editing/CloudCredentialStore.h"

#include <expected>

namespace quorvia {

namespace platform {
class DefaultsStore;
}

// Endpoint and model in the defaults store, the token in the credential
// store. Nothing is cached: every read goes to the stores.
class CloudAISettings {
public:
    static inline const QString endpointKey = QStringLiteral("presentation.cloudAI.endpoint");
    static inline const QString modelKey = QStringLiteral("presentation.cloudAI.model");

    // Without a defaults store, the platform's is used at every call.
    explicit CloudAISettings(platform::DefaultsStore* defaults = nullptr, CloudCredentialStore credentialStore = CloudCredentialStore());

    QString endpointText() const;
    QString model() const;
    QString token() const;
    CloudAIConfiguration configuration() const;

    // A non-empty endpoint must be an https URL with a host, and a token must
    // hold no control character; otherwise nothing is written.
    std::expected<void, CloudAIMatcherError> save(const QString& endpoint, const QString& model, const QString& token);

    // The endpoint as a URL, or none when the text is empty or does not parse.
    static std::optional<QUrl> parseEndpoint(const QString& text);

private:
    platform::DefaultsStore& defaults() const;

    platform::DefaultsStore* defaults_;
    CloudCredentialStore credentialStore_;
};

} // namespace quorvia
