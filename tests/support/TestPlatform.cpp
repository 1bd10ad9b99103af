#include "support/TestPlatform.h"

#include "platform/core/NotificationCenter.h"

namespace quorvia::test {

TestPlatform::TestPlatform()
    : scheduler_(std::make_shared<ManualScheduler>()), defaults_(std::make_shared<MemoryDefaults>()), animator_(std::make_shared<ManualAnimator>())
{
    auto p = std::make_unique<platform::Platform>();
    p->schedulerService = scheduler_;
    p->defaultsService = defaults_;
    p->animatorService = animator_;
    p->windowSystemService = windowSystem_;
    previous_ = platform::install(std::move(p));
}

TestPlatform::~TestPlatform() { platform::install(std::move(previous_)); }

} // namespace quorvia::test
