#pragma once

#include "island/IslandModule.h"

#include <memory>
#include <vector>

namespace quorvia {

// The modules in the order the island shows them; an id is registered once.
class IslandModuleRegistry {
public:
    void registerModule(std::shared_ptr<IslandModule> module);
    const std::vector<std::shared_ptr<IslandModule>>& modules() const { return modules_; }

private:
    std::vector<std::shared_ptr<IslandModule>> modules_;
};

} // namespace quorvia
