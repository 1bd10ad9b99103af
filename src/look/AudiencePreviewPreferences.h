#pragma once

#include "look/WindowPreferences.h"

namespace quorvia {

// The audience preview window's own opacity; it has no always-on-top.
class AudiencePreviewPreferences : private WindowPreferences {
public:
    explicit AudiencePreviewPreferences(platform::DefaultsStore* defaults = nullptr);

    using WindowPreferences::opacity;
    using WindowPreferences::setOpacity;
};

} // namespace quorvia
