#include "privacy/CaptureIdentity.h"

#include "PrivacyFakes.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

using namespace quorvia;
using test::FakeDisplayService;

namespace {
struct CaptureIdentityTest : ::testing::Test, test::PrivacyFakes {
    CaptureIdentityTest() { reset(); }
    void reset()
    {
        displays->setScreens({FakeDisplayService::builtIn(1), FakeDisplayService::external(2),
                              FakeDisplayService::external(3, QStringLiteral("Second"),
                                                           platform::Rect(3360, 0, 1280, 1024))});
    }
};
} // namespace

TEST_F(CaptureIdentityTest, NoneWithoutASafeTopologyAndAnyLayoutChangeMakesItDiffer)
{
    const auto identity = CaptureIdentity::current(2);
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->audienceFrame, platform::Rect(1440, 0, 1920, 1080));

    EXPECT_FALSE(CaptureIdentity::current(std::nullopt));
    EXPECT_FALSE(CaptureIdentity::current(1)); // the built-in screen is no audience display
    EXPECT_FALSE(CaptureIdentity::current(9));
    displays->mirror(1, 3);
    EXPECT_FALSE(CaptureIdentity::current(2)); // mirroring anywhere
    displays->unmirror();
    displays->unplug(1);
    EXPECT_FALSE(CaptureIdentity::current(2));

    // Any layout change makes it differ.
    reset();
    const auto before = CaptureIdentity::current(2);
    const std::vector<std::function<void()>> changes{
        [&] { displays->setFrame(3, platform::Rect(-1280, 0, 1280, 1024)); }, // another display moved
        [&] { displays->setScale(1, 1.0); },
        [&] { displays->unplug(3); },
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        SCOPED_TRACE(i);
        changes[i]();
        EXPECT_NE(CaptureIdentity::current(2), before);
        reset();
        EXPECT_EQ(CaptureIdentity::current(2), before);
    }
}
