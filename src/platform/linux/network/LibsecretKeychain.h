#pragma once

#include "platform/network/Keychain.h"

namespace quorvia::platform::native {

// Generic passwords in the desktop's Secret Service, keyed by the attributes
// "service" and "account". Without a running service nothing reads and
// nothing is written; there is no file fallback.
class LibsecretKeychain final : public Keychain {
public:
    std::optional<QByteArray> readGenericPassword(const QString& service, const QString& account) override;
    KeychainStatus updateGenericPassword(const QString& service, const QString& account, const QByteArray& data) override;
    KeychainStatus addGenericPassword(const QString& service, const QString& account, const QByteArray& data) override;
    KeychainStatus deleteGenericPassword(const QString& service, const QString& account) override;
};

} // namespace quorvia::platform::native
