#pragma once

#include "platform/network/Keychain.h"

#include <map>
#include <utility>

namespace quorvia::test {

// Generic passwords in memory. `refuseWrites` makes every update and add fail,
// as a locked or missing secret store does.
class MemoryKeychain final : public platform::Keychain {
public:
    std::optional<QByteArray> readGenericPassword(const QString& service, const QString& account) override
    {
        auto it = items.find({service, account});
        return it == items.end() ? std::nullopt : std::optional<QByteArray>(it->second);
    }
    platform::KeychainStatus updateGenericPassword(const QString& service, const QString& account, const QByteArray& data) override
    {
        ++updates;
        if (refuseWrites)
            return platform::KeychainStatus::failure;
        auto it = items.find({service, account});
        if (it == items.end())
            return platform::KeychainStatus::itemNotFound;
        it->second = data;
        return platform::KeychainStatus::success;
    }
    platform::KeychainStatus addGenericPassword(const QString& service, const QString& account, const QByteArray& data) override
    {
        ++adds;
        if (refuseWrites)
            return platform::KeychainStatus::failure;
        items[{service, account}] = data;
        return platform::KeychainStatus::success;
    }
    platform::KeychainStatus deleteGenericPassword(const QString& service, const QString& account) override
    {
        return items.erase({service, account}) ? platform::KeychainStatus::success : platform::KeychainStatus::itemNotFound;
    }

    std::map<std::pair<QString, QString>, QByteArray> items;
    bool refuseWrites = false;
    int updates = 0;
    int adds = 0;
};

} // namespace quorvia::test
