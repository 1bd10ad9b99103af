#include "privacy/DisplaySelectionController.h"

#include "platform/core/NotificationCenter.h"
#include "PrivacyFakes.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

using namespace quorvia;
using platform::Rect;
using test::FakeDisplayService;

namespace {
const QString kKey = QStringLiteral("presentation.display.selectedExternalStableKey");

struct Selection : ::testing::Test, test::PrivacyFakes {
    int posts = 0;
    platform::Observation obs = platform::NotificationCenter::defaultCenter().observe(
        DisplaySelectionController::audienceDisplaySelectionChanged, nullptr,
        [this](const platform::Notification&) { ++posts; });

    Selection()
    {
        displays->setScreens({FakeDisplayService::builtIn(1), FakeDisplayService::external(7, QStringLiteral("A")),
                              FakeDisplayService::external(8, QStringLiteral("B"), Rect(3360, 0, 1920, 1080))});
    }
};
} // namespace

TEST_F(Selection, SingleExternalIsSelectedWithoutBeingStored)
{
    displays->unplug(8);
    DisplaySelectionController controller(&env.defaults());
    EXPECT_EQ(controller.selectedDisplayID(), 7u);
    EXPECT_EQ(env.defaults().writeCount(), 0);
}

TEST_F(Selection, ValidKeysPostEveryTimeAndTheChoiceOutlivesUnplug)
{
    env.defaults().setString(kKey, QStringLiteral("0:0:0:0:Gone"));
    DisplaySelectionController controller(&env.defaults());
    EXPECT_FALSE(controller.selectedDisplayID().has_value()) << "a stored key matching no display";

    controller.select(QStringLiteral("1:2:3:4:Nowhere"));
    EXPECT_EQ(posts, 0);

    const QString keyB = controller.descriptors()[1].stableKey;
    controller.select(keyB);
    controller.select(keyB);
    EXPECT_EQ(posts, 2);
    EXPECT_EQ(controller.selectedDisplayID(), 8u);
    EXPECT_EQ(env.defaults().string(kKey), keyB);

    // The choice outlives an unplug and returns with the display.
    displays->unplug(8);
    EXPECT_TRUE(controller.refresh());
    EXPECT_EQ(controller.selectedDisplayID(), 7u) << "the one remaining external is used";
    EXPECT_EQ(env.defaults().string(kKey), keyB);

    displays->plug(FakeDisplayService::external(8, QStringLiteral("B"), Rect(3360, 0, 1920, 1080)));
    EXPECT_TRUE(controller.refresh());
    EXPECT_EQ(controller.selectedDisplayID(), 8u);
    EXPECT_FALSE(controller.refresh()) << "nothing changed since";
    displays->setFrame(8, Rect(3360, 0, 1280, 720));
    EXPECT_TRUE(controller.refresh()) << "a new resolution";
}
