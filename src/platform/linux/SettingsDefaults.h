#pragma once

#include "platform/DefaultsStore.h"

#include <QSettings>

namespace quorvia::platform::native {

// The defaults store as a settings file under the user's config folder.
class SettingsDefaults final : public DefaultsStore {
public:
    SettingsDefaults();
    explicit SettingsDefaults(const QString& filePath);

    std::optional<QVariant> value(const QString& key) const override;
    void setValue(const QString& key, const QVariant& value) override;
    void remove(const QString& key) override;
    QStringList keys() const override;

private:
    mutable QSettings settings_;
};

} // namespace quorvia::platform::native
