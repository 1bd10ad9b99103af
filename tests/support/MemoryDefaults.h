#pragma once

#include "platform/settings/DefaultsStore.h"

#include <QMap>

namespace quorvia::test {

class MemoryDefaults final : public platform::DefaultsStore {
public:
    std::optional<QVariant> value(const QString& key) const override
    {
        auto it = values_.find(key);
        if (it == values_.end())
            return std::nullopt;
        return *it;
    }
    void setValue(const QString& key, const QVariant& value) override
    {
        values_[key] = value;
        ++writes_;
    }
    void remove(const QString& key) override
    {
        values_.remove(key);
        ++writes_;
    }
    QStringList keys() const override { return values_.keys(); }
    platform::DefaultsStoreDamage damageFound() const override { return damage; }
    std::optional<platform::DefaultsWriteFailure> flush() override
    {
        ++flushes;
        return flushFailure;
    }

    // What the store reports it found wrong when it opened.
    platform::DefaultsStoreDamage damage;
    // What a flush answers: a disk that refuses the write.
    std::optional<platform::DefaultsWriteFailure> flushFailure;
    int flushes = 0;

    int writeCount() const { return writes_; }

private:
    QMap<QString, QVariant> values_;
    int writes_ = 0;
};

} // namespace quorvia::test
