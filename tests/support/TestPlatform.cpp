#include "support/TestPlatform.h"

#include "platform/NotificationCenter.h"

namespace quorvia::test {

TestPlatform::TestPlatform()
    : scheduler_(std::make_shared<ManualScheduler>()), defaults_(std::make_shared<MemoryDefaults>())
{
    auto p = std::make_unique<platform::Platform>();
    p->schedulerService = scheduler_;
    p->defaultsService = defaults_;
    previous_ = platform::install(std::move(p));
}

TestPlatform::~TestPlatform() { platform::install(std::move(previous_)); }

} // namespace quorvia::test
