#pragma once

#include "platform/DefaultsStore.h"

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
    QStringList damagedFilesSetAside() const override { return setAside; }

    // What the store reports it set aside when it opened.
    QStringList setAside;

    int writeCount() const { return writes_; }

private:
    QMap<QString, QVariant> values_;
    int writes_ = 0;
};

} // namespace quorvia::test
