#include "island/IslandModuleRegistry.h"

#include <algorithm>

namespace quorvia {

void IslandModuleRegistry::registerModule(std::shared_ptr<IslandModule> module)
{
    if (!module)
        return;
    const QString id = module->id();
    if (std::any_of(modules_.begin(), modules_.end(), [&](const auto& m) { return m->id() == id; }))
        return;
    modules_.push_back(std::move(module));
}

} // namespace quorvia
