#include "editing/CloudCredentialStore.h"

#include "editing/CloudAIConfiguration.h"
#include "platform/network/Keychain.h"
#include "platform/Platform.h"
#include "platform/core/Text.h"

#include <QStringDecoder>

namespace quorvia {

CloudCredentialStore::CloudCredentialStore(platform::Keychain* keychain) : keychain_(keychain) {}

platform::Keychain& CloudCredentialStore::keychain() const
{
    return keychain_ ? *keychain_ : platform::current().keychain();
}

std::optional<QString> CloudCredentialStore::readToken() const
{
    const auto data = keychain().readGenericPassword(service, account);
    if (!data)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(*data);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

std::expected<void, CloudAIMatcherError> CloudCredentialStore::saveToken(const QString& token) const
{
    const QString trimmed = platform::text::trimmedWhitespaceAndNewlines(token);
    if (trimmed.isEmpty()) {
        keychain().deleteGenericPassword(service, account);
        return {};
    }
    if (!CloudAIConfiguration::isUsableToken(trimmed))
        return std::unexpected(CloudAIMatcherError::notConfigured);
    const QByteArray data = trimmed.toUtf8();
    platform::KeychainStatus status = keychain().updateGenericPassword(service, account, data);
    if (status == platform::KeychainStatus::itemNotFound)
        status = keychain().addGenericPassword(service, account, data);
    if (status != platform::KeychainStatus::success)
        return std::unexpected(CloudAIMatcherError::notConfigured);
    return {};
}

} // namespace quorvia
