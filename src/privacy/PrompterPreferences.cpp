#include "privacy/PrompterPreferences.h"

#include "platform/DefaultsStore.h"
#include "platform/Platform.h"
#include "privacy/IslandPreferences.h"

namespace quorvia {

namespace {
const QString kOpacity = QStringLiteral("prompter.window.opacity");
const QString kAlwaysOnTop = QStringLiteral("prompter.window.alwaysOnTop");
} // namespace

PrompterPreferences::PrompterPreferences(platform::DefaultsStore* defaults, const IslandPreferences& fallback)
    : defaults_(defaults ? *defaults : platform::current().defaults())
{
    if (!defaults_.contains(kOpacity))
        defaults_.setDouble(kOpacity, fallback.opacity());
    if (!defaults_.contains(kAlwaysOnTop))
        defaults_.setBool(kAlwaysOnTop, fallback.alwaysOnTop());
}

// After seeding a removed key reads as the store's zero and false.
double PrompterPreferences::opacity() const { return IslandPreferences::clampOpacity(defaults_.doubleValue(kOpacity)); }

bool PrompterPreferences::alwaysOnTop() const { return defaults_.boolean(kAlwaysOnTop); }

void PrompterPreferences::setOpacity(double value)
{
    defaults_.setDouble(kOpacity, IslandPreferences::clampOpacity(value));
}

void PrompterPreferences::setAlwaysOnTop(bool value) { defaults_.setBool(kAlwaysOnTop, value); }

} // namespace quorvia
