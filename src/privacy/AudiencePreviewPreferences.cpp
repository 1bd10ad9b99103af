#include "privacy/AudiencePreviewPreferences.h"

#include "platform/DefaultsStore.h"
#include "platform/Platform.h"
#include "privacy/IslandPreferences.h"

namespace quorvia {

namespace {
const QString kOpacity = QStringLiteral("audience.preview.opacity");
}

AudiencePreviewPreferences::AudiencePreviewPreferences(platform::DefaultsStore* defaults)
    : defaults_(defaults ? *defaults : platform::current().defaults())
{
}

double AudiencePreviewPreferences::opacity() const
{
    if (!defaults_.contains(kOpacity))
        return 1.0;
    return IslandPreferences::clampOpacity(defaults_.doubleValue(kOpacity));
}

void AudiencePreviewPreferences::setOpacity(double value)
{
    defaults_.setDouble(kOpacity, IslandPreferences::clampOpacity(value));
}

} // namespace quorvia
