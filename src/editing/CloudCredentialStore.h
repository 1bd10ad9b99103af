#pragma once

#include "editing/CloudAIMatcherError.h"

#include <QString>

#include <expected>
#include <optional>

namespace quorvia {

namespace platform {
class Keychain;
}

// The bearer token, kept only in the user's secret store.
class CloudCredentialStore {
public:
    static inline const QString service = QStringLiteral("com.local.quorvia.cloud-mapping");
    static inline const QString account = QStringLiteral("bearer-token");

    // Without a keychain, the platform's is used at every call.
    explicit CloudCredentialStore(platform::Keychain* keychain = nullptr);

    std::optional<QString> readToken() const;
    // Trims the token; an empty one deletes the secret. A refused write, or a
    // token with a control character, is notConfigured.
    std::expected<void, CloudAIMatcherError> saveToken(const QString& token) const;

private:
    platform::Keychain& keychain() const;
    platform::Keychain* keychain_;
};

} // namespace quorvia
