#include "platform/linux/SettingsDefaults.h"

#include <QStandardPaths>

namespace quorvia::platform::native {

SettingsDefaults::SettingsDefaults()
    : SettingsDefaults(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                       QStringLiteral("/com.local.quorvia.mvp/defaults.ini"))
{
}

SettingsDefaults::SettingsDefaults(const QString& filePath) : settings_(filePath, QSettings::IniFormat) {}

std::optional<QVariant> SettingsDefaults::value(const QString& key) const
{
    if (!settings_.contains(key))
        return std::nullopt;
    return settings_.value(key);
}

void SettingsDefaults::setValue(const QString& key, const QVariant& value)
{
    settings_.setValue(key, value);
    settings_.sync();
}

void SettingsDefaults::remove(const QString& key)
{
    settings_.remove(key);
    settings_.sync();
}

QStringList SettingsDefaults::keys() const { return settings_.allKeys(); }

} // namespace quorvia::platform::native
