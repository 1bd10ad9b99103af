#include "look/WindowPreferences.h"

#include "platform/settings/DefaultsStore.h"
#include "platform/Platform.h"
#include "look/AudiencePreviewPreferences.h"
#include "look/PrompterPreferences.h"

#include <algorithm>

namespace quorvia {

double WindowPreferences::clampOpacity(double value) { return std::clamp(value, minimumOpacity, maximumOpacity); }

WindowPreferences::WindowPreferences(platform::DefaultsStore* defaults, Keys keys)
    : defaults_(defaults ? *defaults : platform::current().defaults()), keys_(std::move(keys))
{
}

double WindowPreferences::opacity() const
{
    if (keys_.opacityWhenAbsent && !defaults_.contains(keys_.opacity))
        return *keys_.opacityWhenAbsent;
    return clampOpacity(defaults_.doubleValue(keys_.opacity));
}

bool WindowPreferences::alwaysOnTop() const
{
    if (keys_.alwaysOnTopWhenAbsent && !defaults_.contains(keys_.alwaysOnTop))
        return *keys_.alwaysOnTopWhenAbsent;
    return defaults_.boolean(keys_.alwaysOnTop);
}

void WindowPreferences::setOpacity(double value) { defaults_.setDouble(keys_.opacity, clampOpacity(value)); }

void WindowPreferences::setAlwaysOnTop(bool value) { defaults_.setBool(keys_.alwaysOnTop, value); }

IslandPreferences::IslandPreferences(platform::DefaultsStore* defaults)
    : WindowPreferences(defaults, {QStringLiteral("island.window.opacity"), QStringLiteral("island.window.alwaysOnTop"),
                                   0.97, true})
{
}

// After seeding a removed key reads as the store's zero and false.
PrompterPreferences::PrompterPreferences(platform::DefaultsStore* defaults, const IslandPreferences& fallback)
    : WindowPreferences(defaults, {QStringLiteral("prompter.window.opacity"),
                                   QStringLiteral("prompter.window.alwaysOnTop"), std::nullopt, std::nullopt})
{
    if (!defaults_.contains(keys_.opacity))
        defaults_.setDouble(keys_.opacity, fallback.opacity());
    if (!defaults_.contains(keys_.alwaysOnTop))
        defaults_.setBool(keys_.alwaysOnTop, fallback.alwaysOnTop());
}

AudiencePreviewPreferences::AudiencePreviewPreferences(platform::DefaultsStore* defaults)
    : WindowPreferences(defaults, {QStringLiteral("audience.preview.opacity"), {}, 1.0, std::nullopt})
{
}

} // namespace quorvia
