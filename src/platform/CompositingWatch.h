#pragma once

#include <functional>
#include <memory>

namespace quorvia::platform {

// Tells when a compositing manager starts or stops blending translucent
// windows, so what was decided for them under the old state is decided again.
class CompositingWatch {
public:
    virtual ~CompositingWatch() = default;

    // Called on the main thread at each start or stop.
    std::function<void()> onChange;
};

// Keeps the watch (none stops watching) and, at each start or stop it
// reports, updates the shadow and the cut of every shaped or shadowed
// window, shown or not.
void watchCompositing(std::unique_ptr<CompositingWatch> watch);

} // namespace quorvia::platform
