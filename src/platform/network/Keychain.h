#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quorvia::platform {

enum class KeychainStatus { success, itemNotFound, failure };

// The user's secret store: generic passwords keyed by service and account.
// Calls are synchronous and block for their duration.
class Keychain {
public:
    virtual ~Keychain() = default;

    // The item's data; none when it is missing or the store cannot be read.
    virtual std::optional<QByteArray> readGenericPassword(const QString& service, const QString& account) = 0;
    // Replaces the data of an existing item; itemNotFound when there is none.
    virtual KeychainStatus updateGenericPassword(const QString& service, const QString& account, const QByteArray& data) = 0;
    virtual KeychainStatus addGenericPassword(const QString& service, const QString& account, const QByteArray& data) = 0;
    virtual KeychainStatus deleteGenericPassword(const QString& service, const QString& account) = 0;
};

} // namespace quorvia::platform
