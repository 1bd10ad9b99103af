#include "CoordinatorHarness.h"

#include "platform/core/NotificationCenter.h"
#include "platform/desktop/Window.h"
#include "platform/displays/DisplayService.h"
#include "support/QtPrinting.h"

#include <QLabel>

#include <map>
#include <utility>

using namespace quorvia;
using namespace quorvia::test;
using State = PresentationSafetyState;

namespace {

const QString kFound = QStringLiteral("检测到系统镜像；私密窗口已先隐藏");
const QString kCannotExclude = QStringLiteral("系统镜像无法保证私密窗口排除");
const QString kStillMirroring = QStringLiteral("系统镜像仍在运行；私密窗口保持隐藏");
const QString kKeptHidden = QStringLiteral("私密窗口保持隐藏");

class CoordinatorSafetyTest : public CoordinatorHarness {
protected:
    // Two private windows on the built-in screen, the first showing.
    void makePrivateWindows()
    {
        shown = std::make_unique<platform::Window>(platform::Rect(100, 100, 300, 200));
        hidden = std::make_unique<platform::Window>(platform::Rect(500, 100, 300, 200));
        app().windows().registerWindow(shown.get());
        app().windows().registerWindow(hidden.get());
        shown->orderFront();
    }
    QString overlayText() { return app().safetyOverlay().reasonLabel().text(); }

    std::unique_ptr<platform::Window> shown;
    std::unique_ptr<platform::Window> hidden;
};

TEST_F(CoordinatorSafetyTest, MirroringWithTheOutputOffHidesEverythingWithinOneTickWithoutFailingClosed)
{
    buildAndStart();
    makePrivateWindows();
    mirrorDisplays();
    runFor(1.0);
    EXPECT_TRUE(app().isShieldActive());
    EXPECT_FALSE(shown->isVisible());
    EXPECT_TRUE(app().safetyOverlay().isShown());
    EXPECT_EQ(overlayText(), kFound);
    EXPECT_EQ(app().safetyState(), State::disabled());

    // The check never lowers the shield; a disabled report does while nothing is mirrored.
    displays->unmirror();
    runFor(2.0);
    EXPECT_TRUE(app().isShieldActive());
    EXPECT_FALSE(shown->isVisible());
    app().stopPrivacyOutputAndReturn();
    settle();
    EXPECT_FALSE(app().isShieldActive());
    EXPECT_TRUE(shown->isVisible());
    EXPECT_FALSE(hidden->isVisible());
    EXPECT_FALSE(app().safetyOverlay().isShown());
}

TEST_F(CoordinatorSafetyTest, MirroringWhileLiveFailsTheOutputClosedOnceAndKeepsTheEnginesReason)
{
    buildAndStart();
    goLive();
    mirrorDisplays();
    runFor(1.0);
    capture->lastStream()->completeStop();
    runFor(3.0);
    EXPECT_EQ(app().safetyState(), State::safeStopped(kCannotExclude));
    EXPECT_TRUE(app().isShieldActive());
    EXPECT_EQ(overlayText(), kCannotExclude);
    EXPECT_EQ(app().lastReason(), kCannotExclude);
    EXPECT_EQ(capture->lastStream()->stopRequests, 1);
}

TEST_F(CoordinatorSafetyTest, TemporaryExitBringsTheOverlayBackAfterEightSecondsOnlyWhileTheShieldStands)
{
    buildAndStart();
    mirrorDisplays();
    runFor(1.0);
    app().temporarilyExitSafetyOverlay();
    EXPECT_FALSE(app().safetyOverlay().isShown());
    runFor(7.9);
    EXPECT_FALSE(app().safetyOverlay().isShown());
    runFor(0.2);
    EXPECT_TRUE(app().safetyOverlay().isShown());
    EXPECT_EQ(overlayText(), kFound);

    app().temporarilyExitSafetyOverlay();
    displays->unmirror();
    app().startPrivacyOutputDirectly();
    runFor(9.0);
    EXPECT_FALSE(app().isShieldActive());
    EXPECT_FALSE(app().safetyOverlay().isShown());
}

TEST_F(CoordinatorSafetyTest, RetryWhileMirroredOnlyRepeatsTheAdviceAndStartsNothing)
{
    buildAndStart();
    mirrorDisplays();
    runFor(1.0);
    app().retryAfterSafetyStop();
    settle();
    EXPECT_EQ(overlayText(), QStringLiteral("系统镜像仍在运行；请先切换为扩展显示"));
    EXPECT_EQ(app().lastReason(), kFound);
    EXPECT_FALSE(app().engine().isPrivacyOutputEnabled());
}

TEST_F(CoordinatorSafetyTest, TheRefusedRetrysAdviceLastsOnlyWhileTheWatchStillSeesMirroring)
{
    buildAndStart();
    makePrivateWindows();
    mirrorDisplays();
    runFor(1.0);
    app().retryAfterSafetyStop();
    runFor(2.0);
    EXPECT_EQ(overlayText(), QStringLiteral("系统镜像仍在运行；请先切换为扩展显示"));

    displays->unmirror();
    runFor(1.0);
    EXPECT_EQ(overlayText(), kFound);
    EXPECT_TRUE(app().isShieldActive());
    EXPECT_TRUE(app().safetyOverlay().isShown());
    EXPECT_FALSE(shown->isVisible());

    // Refused again while mirrored, then left for a while: the mask that
    // comes back does not repeat advice that no longer holds.
    mirrorDisplays();
    runFor(1.0);
    app().retryAfterSafetyStop();
    app().temporarilyExitSafetyOverlay();
    displays->unmirror();
    runFor(9.0);
    EXPECT_TRUE(app().safetyOverlay().isShown());
    EXPECT_EQ(overlayText(), kFound);
}

TEST_F(CoordinatorSafetyTest, EmergencyToggleWithTheOutputOffHidesAndRestoresExactlyTheVisibleWindows)
{
    buildAndStart();
    makePrivateWindows();
    hotKeys->press(GlobalHotKeyController::emergencyKeyCode,
                   GlobalHotKeyController::emergencyModifiers | platform::hotKeyModifier::shift);
    EXPECT_FALSE(app().isEmergencyLocalHidden());
    pressEmergencyKey();
    EXPECT_TRUE(app().isEmergencyLocalHidden());
    EXPECT_FALSE(shown->isVisible());
    pressEmergencyKey();
    EXPECT_FALSE(app().isEmergencyLocalHidden());
    EXPECT_TRUE(shown->isVisible());
    EXPECT_FALSE(hidden->isVisible());

}

TEST_F(CoordinatorSafetyTest, EmergencyRestoreUnderTheShieldNeverRevealsWindows)
{
    buildAndStart();
    makePrivateWindows();
    app().handleEmergencyToggle();
    mirrorDisplays();
    EXPECT_TRUE(app().isShieldActive());
    displays->unmirror(); // gone again, but the shield still stands
    app().temporarilyExitSafetyOverlay();
    app().handleEmergencyToggle();
    EXPECT_FALSE(app().isEmergencyLocalHidden());
    EXPECT_TRUE(app().isShieldActive());
    EXPECT_FALSE(shown->isVisible());
    EXPECT_TRUE(app().safetyOverlay().isShown());
    EXPECT_EQ(overlayText(), kFound);

    // The shield's own way out brings back what was showing before the first press.
    app().stopPrivacyOutputAndReturn();
    EXPECT_TRUE(shown->isVisible());
    EXPECT_FALSE(hidden->isVisible());
}

TEST_F(CoordinatorSafetyTest, OnceMirroringHasEndedTheMaskNoLongerSaysItRuns)
{
    buildAndStart();
    pressEmergencyKey();
    mirrorDisplays();
    pressEmergencyKey();
    ASSERT_EQ(overlayText(), kStillMirroring);
    displays->unmirror();
    runFor(1.0);
    EXPECT_EQ(overlayText(), kKeptHidden);
    pressEmergencyKey(); // hides and shows the mask again
    EXPECT_EQ(overlayText(), kKeptHidden);
}

TEST_F(CoordinatorSafetyTest, EmergencyToggleWhileLivePausesAndResumesOnlyOnASafeTopology)
{
    // Armed, the key is pressed as the lid closes, before the coordinator hears of the change.
    bool pressAsTheLidCloses = false;
    const auto lid = platform::NotificationCenter::defaultCenter().observe(
        platform::DisplayService::screenParametersChangedNotification, nullptr, [&](const auto&) {
            if (std::exchange(pressAsTheLidCloses, false))
                app().handleEmergencyToggle();
        });
    buildAndStart();
    makePrivateWindows();
    goLive();
    app().handleEmergencyToggle();
    settle();
    EXPECT_EQ(app().safetyState(), State::privacyPaused());
    EXPECT_FALSE(shown->isVisible());
    EXPECT_FALSE(app().safetyOverlay().isShown());

    app().handleEmergencyToggle();
    settle();
    deliverFrame();
    EXPECT_EQ(app().safetyState(), State::live());
    EXPECT_TRUE(shown->isVisible());

    // Paused again, the resume meets no laptop screen: the output fails closed
    // and the mask shows as soon as the screen is back, the windows still hidden.
    app().handleEmergencyToggle();
    settle();
    ASSERT_EQ(app().safetyState(), State::privacyPaused());
    pressAsTheLidCloses = true;
    displays->unplug(1);
    runFor(1.0);
    EXPECT_TRUE(app().safetyState().isSafeStopped());
    EXPECT_FALSE(app().safetyOverlay().isShown());
    displays->plug(FakeDisplayService::builtIn(1));
    runFor(1.0);
    EXPECT_TRUE(app().safetyOverlay().isShown());
    EXPECT_FALSE(shown->isVisible());
}

TEST_F(CoordinatorSafetyTest, PointerIsHiddenOverOurWindowsButNeverWithAppSharing)
{
    buildAndStart();
    makePrivateWindows();
    platform::Window other(platform::Rect(900, 500, 100, 100));
    other.orderFront();
    EXPECT_TRUE(app().shouldSuppressAudiencePointer({150, 150}));
    EXPECT_TRUE(app().shouldSuppressAudiencePointer({950, 550}));
    EXPECT_FALSE(app().shouldSuppressAudiencePointer({1300, 800}));

    mirrorDisplays();
    runFor(1.0);
    displays->unmirror();
    EXPECT_FALSE(app().shouldSuppressAudiencePointer({1300, 800})); // the overlay does not count
    app().stopPrivacyOutputAndReturn();

    app().toggleAppSharing();
    EXPECT_TRUE(app().appSharingEnabled());
    EXPECT_FALSE(app().shouldSuppressAudiencePointer({150, 150}));
}

// A change of the displays under a hold is placed by whichever way ends it, before the windows show.
class CoordinatorWayOutTest : public CoordinatorHarness, public ::testing::WithParamInterface<std::string> {
protected:
    // Where the window stood as it showed: placed later, it showed at its old place first.
    struct ShownAt : QObject {
        std::optional<platform::Rect> frame;
        bool eventFilter(QObject* window, QEvent* event) override
        {
            if (event->type() == QEvent::Show && !frame)
                frame = static_cast<platform::Window*>(window)->frame();
            return false;
        }
    };
    void setBuiltIn(bool isBuiltIn)
    {
        auto screens = displays->screens();
        screens.front().isBuiltIn = isBuiltIn;
        displays->setScreens(screens);
    }
};

TEST_P(CoordinatorWayOutTest, PlacesTheIslandForAChangeUnderTheHold)
{
    // Mirroring ended, and its notices handled, before the speaker acts.
    const auto unmirror = [&] { displays->unmirror(), runFor(1.0); };
    const std::map<std::string, std::pair<std::function<void()>, std::function<void()>>> ways{
        {"retry", {[&] { mirrorDisplays(); }, [&] { unmirror(), shareScreens(displays->screens()), app().retryAfterSafetyStop(), answerOutputStart(); }}},
        {"stopAndReturn", {[&] { mirrorDisplays(); }, [&] { unmirror(), app().stopPrivacyOutputAndReturn(); }}},
        {"disabledReport", {[&] { goLive(), mirrorDisplays(); }, [&] {
             unmirror(), app().engine().setPrivacyOutputEnabled(false), settle();
             capture->lastStream()->completeStop();
         }}},
        {"emergencyKey", {[&] { pressEmergencyKey(); }, [&] { pressEmergencyKey(); }}},
        {"speakersScreen", {[&] { setBuiltIn(false); }, [&] { setBuiltIn(true); }}},
    };
    buildAndStart();
    plugAudienceDisplay();
    const auto& [hold, leave] = ways.at(GetParam());
    hold();
    runFor(1.0);
    // The laptop screen goes below the projector.
    displays->setFrame(1, platform::Rect(1440, -900, 1440, 900), platform::Rect(1440, -900, 1440, 875));
    runFor(1.0);
    ShownAt shown;
    app().island()->window()->installEventFilter(&shown);
    leave();
    runFor(1.0);
    ASSERT_TRUE(shown.frame);
    EXPECT_TRUE(shown.frame->midX() == 2160 && shown.frame->maxY() == -33) << shown.frame->minX() << ',' << shown.frame->minY();
}

INSTANTIATE_TEST_SUITE_P(Ways, CoordinatorWayOutTest,
                         ::testing::Values("retry", "stopAndReturn", "disabledReport", "emergencyKey", "speakersScreen"),
                         [](const auto& info) { return info.param; });

} // namespace
