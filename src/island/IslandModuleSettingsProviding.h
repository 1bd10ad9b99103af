#pragma once

#include "platform/core/Geometry.h"

class QWidget;

namespace quorvia {

// What a module adds below the island's own settings in the settings popover.
class IslandModuleSettingsProviding {
public:
    virtual ~IslandModuleSettingsProviding() = default;

    virtual platform::Size islandSettingsSize() const = 0;
    // A new view each call; the caller owns it.
    virtual QWidget* makeIslandSettingsView() = 0;
};

} // namespace quorvia
