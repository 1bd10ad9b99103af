#include "privacy/IslandPreferences.h"

#include "platform/DefaultsStore.h"
#include "platform/Platform.h"

#include <algorithm>

namespace quorvia {

namespace {
const QString kOpacity = QStringLiteral("island.window.opacity");
const QString kAlwaysOnTop = QStringLiteral("island.window.alwaysOnTop");
} // namespace

double IslandPreferences::clampOpacity(double value)
{
    return std::min(std::max(value, minimumOpacity), maximumOpacity);
}

IslandPreferences::IslandPreferences(platform::DefaultsStore* defaults)
    : defaults_(defaults ? *defaults : platform::current().defaults())
{
}

double IslandPreferences::opacity() const
{
    if (!defaults_.contains(kOpacity))
        return 0.97;
    return clampOpacity(defaults_.doubleValue(kOpacity));
}

bool IslandPreferences::alwaysOnTop() const
{
    if (!defaults_.contains(kAlwaysOnTop))
        return true;
    return defaults_.boolean(kAlwaysOnTop);
}

void IslandPreferences::setOpacity(double value) { defaults_.setDouble(kOpacity, clampOpacity(value)); }

void IslandPreferences::setAlwaysOnTop(bool value) { defaults_.setBool(kAlwaysOnTop, value); }

} // namespace quorvia
