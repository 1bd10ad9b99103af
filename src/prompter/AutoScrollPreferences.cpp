#include "prompter/AutoScrollPreferences.h"

#include "platform/settings/DefaultsStore.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cmath>

namespace quorvia {

AutoScrollPreferences::AutoScrollPreferences(platform::DefaultsStore& defaults) : defaults_(defaults) {}

AutoScrollPreferences::AutoScrollPreferences() : AutoScrollPreferences(platform::current().defaults()) {}

int AutoScrollPreferences::clamp(long long value)
{
    return static_cast<int>(std::clamp<long long>(value, minimumSpeed, maximumSpeed));
}

int AutoScrollPreferences::charactersPerMinute() const
{
    const auto stored = defaults_.value(speedKey);
    if (!stored)
        return defaultSpeed;
    if (const auto number = defaults_.number(speedKey)) {
        // Clamp before converting so a huge stored number cannot overflow.
        const double truncated = std::trunc(std::clamp(*number, double(minimumSpeed), double(maximumSpeed)));
        return clamp(static_cast<long long>(truncated));
    }
    // A non-finite stored double counts as absent; anything else unreadable reads 0.
    if (stored->typeId() == QMetaType::Double || stored->typeId() == QMetaType::Float)
        return defaultSpeed;
    return clamp(0);
}

void AutoScrollPreferences::setCharactersPerMinute(int value) { defaults_.setInteger(speedKey, clamp(value)); }

} // namespace quorvia
