#pragma once

#include "platform/displays/DisplayService.h"

#include <QString>

namespace quorvia {

// One external display. The stable key names the physical display and
// survives reconnection: "vendor:model:serial:unit:name".
struct ExternalDisplayDescriptor {
    platform::DisplayID id = 0;
    QString stableKey;
    QString name;
    platform::Rect frame;
    double backingScaleFactor = 1.0;

    friend bool operator==(const ExternalDisplayDescriptor&, const ExternalDisplayDescriptor&) = default;
};

} // namespace quorvia
