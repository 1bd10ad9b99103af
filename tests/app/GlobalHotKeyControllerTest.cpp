#include "app/GlobalHotKeyController.h"
#include "support/FakeHotKeyService.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

using namespace quorvia;
using platform::HotKeyEventStatus;
using platform::hotKeyCode::ansiH;
namespace modifier = platform::hotKeyModifier;

namespace {

class GlobalHotKeyControllerTest : public ::testing::Test {
protected:
    GlobalHotKeyControllerTest() { env.platform().hotKeyService = hotKeys; }

    test::TestPlatform env;
    std::shared_ptr<test::FakeHotKeyService> hotKeys = std::make_shared<test::FakeHotKeyService>();
    static constexpr std::uint32_t controlOptionCommand = modifier::control | modifier::option | modifier::command;
};

} // namespace

TEST_F(GlobalHotKeyControllerTest, ControlOptionCommandHTogglesAndNothingElseDoes)
{
    EXPECT_EQ(controlOptionCommand, 0x1900u);
    auto controller = std::make_unique<GlobalHotKeyController>();
    EXPECT_EQ(hotKeys->registrationCount(), 1u);
    // Pressed before the owner listens: nothing to call, nothing breaks.
    hotKeys->press(ansiH, controlOptionCommand);

    int toggles = 0;
    controller->onEmergencyToggle = [&] { ++toggles; };
    hotKeys->press(ansiH, controlOptionCommand);
    hotKeys->press(ansiH, controlOptionCommand | modifier::shift);
    hotKeys->press(ansiH, modifier::control | modifier::option);
    EXPECT_EQ(toggles, 1);

    // Events of other code in the process pass on; an unknown id of ours is taken quietly.
    EXPECT_EQ(hotKeys->deliver({0x41424344, 1}), HotKeyEventStatus::notHandled);
    EXPECT_EQ(hotKeys->deliver({GlobalHotKeyController::signature, 2}), HotKeyEventStatus::handled);
    EXPECT_EQ(hotKeys->deliver({GlobalHotKeyController::signature, 1}), HotKeyEventStatus::handled);
    EXPECT_EQ(toggles, 2);

    controller.reset();
    EXPECT_EQ(hotKeys->registrationCount(), 0u);
    EXPECT_EQ(hotKeys->handlerCount(), 0u);
    hotKeys->press(ansiH, controlOptionCommand);
    EXPECT_EQ(toggles, 2);
}

TEST_F(GlobalHotKeyControllerTest, ACombinationTakenElsewhereIsSilentlyAbsent)
{
    hotKeys->takeByAnotherClient(ansiH, controlOptionCommand);
    GlobalHotKeyController controller;
    int toggles = 0;
    controller.onEmergencyToggle = [&] { ++toggles; };
    EXPECT_EQ(hotKeys->registrationCount(), 0u);
    hotKeys->press(ansiH, controlOptionCommand);
    EXPECT_EQ(toggles, 0);
}
