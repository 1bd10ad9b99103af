#include "CoordinatorHarness.h"

#include "island/IslandWindow.h"
#include "platform/desktop/ScreenSpace.h"
#include "platform/desktop/Window.h"
#include "look/IslandTriggerPanel.h"
#include "prompter/PrompterBubbleView.h"
#include "prompter/PrompterPanel.h"
#include "support/QtPrinting.h"

#include <QDialog>

#include <algorithm>
#include <random>

using namespace quorvia;
using namespace quorvia::test;
using State = PresentationSafetyState;

namespace {

// Sequences in which the private windows are hidden while something else is
// under way (an animation, a start, a stop, a quit): nothing may come back
// before the hide is lifted, and then exactly what showed, in its final form.
class CoordinatorHiddenWindowsTest : public CoordinatorHarness {
protected:
    void makePrivateWindow()
    {
        shown = std::make_unique<platform::Window>(platform::Rect(100, 100, 300, 200));
        app().windows().registerWindow(shown.get());
        shown->orderFront();
    }
    // The prompter in its own window, collapsed to the bubble and settled there.
    PrompterWindowController& collapsedPrompter()
    {
        app().togglePrompterPlacement();
        PrompterWindowController& prompter = *app().prompter();
        prompter.collapseToBubblePressed();
        env.animator().finishAll();
        return prompter;
    }
    platform::Window& islandWindow() { return *app().island()->window(); }
    // Screen-saver inhibits held for the safety overlay.
    int maskInhibits() const
    {
        return static_cast<int>(std::count_if(process->active.begin(), process->active.end(), [](const auto& entry) {
            return entry.second.reason == QStringLiteral("保持镜像安全遮罩可见");
        }));
    }
    void liftEmergencyHide()
    {
        pressEmergencyKey();
        ASSERT_FALSE(app().isEmergencyLocalHidden());
    }

    std::unique_ptr<platform::Window> shown;
};

TEST_F(CoordinatorHiddenWindowsTest, AnExpandCutShortByTheEmergencyKeyComesBackAsTheWindowAlone)
{
    buildAndStart();
    PrompterWindowController& prompter = collapsedPrompter();
    ASSERT_TRUE(prompter.bubblePanel().isVisible());
    prompter.bubbleView().onActivate();
    pressEmergencyKey();
    env.animator().finishAll();
    EXPECT_FALSE(prompter.window().isVisible());
    EXPECT_FALSE(prompter.bubblePanel().isVisible());

    liftEmergencyHide();
    EXPECT_TRUE(prompter.window().isVisible());
    EXPECT_FALSE(prompter.bubblePanel().isVisible());
    EXPECT_FALSE(prompter.isCollapsedToBubble());
    EXPECT_FALSE(prompter.isBubbleAnimating());
}

TEST_F(CoordinatorHiddenWindowsTest, ACollapseCutShortByTheShieldComesBackAsTheSettledBubble)
{
    buildAndStart();
    plugAudienceDisplay();
    app().togglePrompterPlacement();
    PrompterWindowController& prompter = *app().prompter();
    prompter.collapseToBubblePressed();
    displays->mirror(1, 2);
    runFor(1.0);
    env.animator().finishAll();
    EXPECT_FALSE(prompter.window().isVisible());
    EXPECT_FALSE(prompter.bubblePanel().isVisible());

    displays->unmirror();
    app().stopPrivacyOutputAndReturn();
    EXPECT_FALSE(prompter.window().isVisible());
    EXPECT_TRUE(prompter.bubblePanel().isVisible());
    EXPECT_FALSE(prompter.isBubbleAnimating());
    EXPECT_EQ(prompter.bubblePanel().frame().size, platform::Size(56, 56));
}

TEST_F(CoordinatorHiddenWindowsTest, TheIslandAndItsTriggerComeBackOpaqueAfterAHideDuringTheirFade)
{
    buildAndStart();
    const double opacity = islandWindow().alphaValue();
    ASSERT_GT(opacity, 0);

    app().island()->toggleExpanded();
    env.animator().finishAll();
    app().island()->toggleExpanded(); // expand: fades in from 0
    pressEmergencyKey();
    env.animator().finishAll();
    liftEmergencyHide();
    EXPECT_TRUE(islandWindow().isVisible());
    EXPECT_DOUBLE_EQ(islandWindow().alphaValue(), opacity);

    app().island()->toggleExpanded(); // collapse: the trigger fades in
    pressEmergencyKey();
    env.animator().finishAll();
    liftEmergencyHide();
    IslandTriggerPanel& trigger = app().island()->compactPanel();
    EXPECT_TRUE(trigger.isVisible());
    EXPECT_FALSE(islandWindow().isVisible());
    EXPECT_GT(trigger.alphaValue(), 0.9);
    EXPECT_EQ(env.animator().runningCount(), 0u);
}

TEST_F(CoordinatorHiddenWindowsTest, TheEmergencyHideDuringTheStartWaitOutlastsTheOutputGoingLive)
{
    buildAndStart();
    makePrivateWindow();
    plugAudienceDisplay();
    app().startPrivacyOutputDirectly();
    env.scheduler().runPending();
    pressEmergencyKey();
    EXPECT_NE(app().safetyState(), State::live());

    env.scheduler().advance(0.6);
    ASSERT_TRUE(capture->answerContent());
    env.scheduler().runPending();
    ASSERT_TRUE(capture->lastStream()->completeStart());
    env.scheduler().runPending();
    deliverFrame();
    ASSERT_EQ(app().safetyState(), State::live());
    EXPECT_FALSE(shown->isVisible());
    EXPECT_FALSE(islandWindow().isVisible());

    app().restorePrimaryWindowAfterReopen();
    EXPECT_FALSE(islandWindow().isVisible());

    // The second press brings them back and leaves the audience output running.
    liftEmergencyHide();
    EXPECT_TRUE(shown->isVisible());
    EXPECT_TRUE(islandWindow().isVisible());
    EXPECT_EQ(app().safetyState(), State::live());
}

TEST_F(CoordinatorHiddenWindowsTest, ADisabledReportDoesNotUndoTheEmergencyHide)
{
    buildAndStart();
    makePrivateWindow();
    plugAudienceDisplay();
    app().startPrivacyOutputDirectly();
    env.scheduler().runPending();
    pressEmergencyKey();
    // The output gives up on its own.
    app().engine().setPrivacyOutputEnabled(false);
    runFor(1.0);
    ASSERT_EQ(app().safetyState(), State::disabled());
    EXPECT_FALSE(shown->isVisible());
    EXPECT_FALSE(islandWindow().isVisible());

    liftEmergencyHide();
    EXPECT_TRUE(shown->isVisible());
}

TEST_F(CoordinatorHiddenWindowsTest, TheKeyWhileTheOutputIsStoppingIsRecordedThoughTheEngineRefusesThePause)
{
    buildAndStart();
    makePrivateWindow();
    goLive();
    app().engine().setPrivacyOutputEnabled(false);
    settle();
    ASSERT_EQ(app().safetyState(), State::live());
    pressEmergencyKey();
    EXPECT_TRUE(app().isEmergencyLocalHidden());
    EXPECT_FALSE(shown->isVisible());

    capture->lastStream()->completeStop();
    runFor(1.0);
    ASSERT_EQ(app().safetyState(), State::disabled());
    app().restorePrimaryWindowAfterReopen();
    EXPECT_FALSE(shown->isVisible());
    EXPECT_FALSE(islandWindow().isVisible());

    liftEmergencyHide();
    EXPECT_TRUE(shown->isVisible());
    EXPECT_TRUE(islandWindow().isVisible());
}

TEST_F(CoordinatorHiddenWindowsTest, NothingPrivateStaysUpWhileAQuitWaitsForTheCaptureToStop)
{
    buildAndStart();
    makePrivateWindow();
    goLive();
    bool completed = false;
    app().shutdown([&] { completed = true; });
    mirrorDisplays();
    runFor(3.0);
    EXPECT_FALSE(completed);
    EXPECT_FALSE(shown->isVisible());
    EXPECT_FALSE(islandWindow().isVisible());
    app().restorePrimaryWindowAfterReopen();
    EXPECT_FALSE(islandWindow().isVisible());
}

TEST_F(CoordinatorHiddenWindowsTest, AReopenOnceTheQuitIsAcceptedBringsBackNeitherTheMaskNorItsInhibit)
{
    buildAndStart();
    makePrivateWindow();
    goLive();
    mirrorDisplays();
    runFor(1.0);
    ASSERT_TRUE(app().isShieldActive());
    ASSERT_TRUE(app().safetyOverlay().isShown());
    app().shutdown([] {});
    EXPECT_FALSE(app().safetyOverlay().isShown());
    EXPECT_EQ(maskInhibits(), 0);

    app().restorePrimaryWindowAfterReopen();
    runFor(3.0);
    EXPECT_FALSE(app().safetyOverlay().isShown());
    EXPECT_EQ(maskInhibits(), 0);
    EXPECT_FALSE(shown->isVisible());
    EXPECT_FALSE(islandWindow().isVisible());
}

TEST_F(CoordinatorHiddenWindowsTest, AReopenAfterTheQuitFindsMirroringRaisesNoShield)
{
    buildAndStart();
    app().shutdown([] {});
    mirrorDisplays();
    app().restorePrimaryWindowAfterReopen();
    EXPECT_FALSE(app().isShieldActive());
    EXPECT_FALSE(app().safetyOverlay().isShown());
    EXPECT_EQ(maskInhibits(), 0);
    displays->unmirror();
    app().restorePrimaryWindowAfterReopen();
    EXPECT_FALSE(islandWindow().isVisible());
}

TEST_F(CoordinatorHiddenWindowsTest, APrompterSentHomeWhileHiddenNeverComesBackEmpty)
{
    displays->setScreens({FakeDisplayService::builtIn(1), FakeDisplayService::external(2)});
    buildAndStart();
    app().togglePrompterPlacement();
    PrompterWindowController& prompter = *app().prompter();
    ASSERT_TRUE(prompter.window().isVisible());
    // The projector unplugged: for a moment no screen is named the laptop's.
    auto lagging = FakeDisplayService::builtIn(1);
    lagging.isBuiltIn = false;

    for (const bool folded : {false, true}) {
        if (folded) {
            app().togglePrompterPlacement();
            prompter.collapseToBubblePressed();
            env.animator().finishAll();
            ASSERT_TRUE(prompter.bubblePanel().isVisible());
        }
        displays->setScreens({lagging});
        runFor(1.0);
        displays->setScreens({FakeDisplayService::builtIn(1)});
        runFor(1.0);
        EXPECT_EQ(app().host().placement(), PrompterHost::Placement::island);
        EXPECT_TRUE(islandWindow().isVisible());
        EXPECT_FALSE(prompter.window().isVisible()) << "folded " << folded;
        EXPECT_FALSE(prompter.bubblePanel().isVisible()) << "folded " << folded;

        displays->plug(FakeDisplayService::external(2));
        runFor(1.0);
        EXPECT_FALSE(prompter.window().isVisible());
        EXPECT_FALSE(prompter.bubblePanel().isVisible());
        EXPECT_TRUE(islandWindow().isVisible());
    }
}

TEST_F(CoordinatorHiddenWindowsTest, WithoutABuiltInScreenNothingPrivateShowsUntilOneAppears)
{
    displays->setScreens({FakeDisplayService::external(2)});
    buildAndStart();
    EXPECT_FALSE(islandWindow().isVisible());
    EXPECT_TRUE(app().isAwaitingBuiltInScreen());
    runFor(1.0);
    app().restorePrimaryWindowAfterReopen();
    app().toggleAudiencePreview();
    settle();
    EXPECT_FALSE(islandWindow().isVisible());
    EXPECT_FALSE(app().preview().isVisible());

    displays->setScreens({FakeDisplayService::builtIn(1), FakeDisplayService::external(2)});
    EXPECT_TRUE(islandWindow().isVisible());
    EXPECT_FALSE(app().isAwaitingBuiltInScreen());

    // The laptop's screen goes again, then the speaker stops and returns.
    displays->unplug(1);
    EXPECT_FALSE(islandWindow().isVisible());
    app().stopPrivacyOutputAndReturn();
    EXPECT_FALSE(islandWindow().isVisible());
    runFor(1.0);
    EXPECT_FALSE(islandWindow().isVisible());
    displays->plug(FakeDisplayService::builtIn(1));
    EXPECT_TRUE(islandWindow().isVisible());
}

TEST_F(CoordinatorHiddenWindowsTest, ScreensThatNameNoBuiltInOneHideTheWindowsUntilTheyAgreeAgain)
{
    buildAndStart();
    makePrivateWindow();
    // As when the two views of the displays disagree: every screen listed, none the speaker's.
    auto noneBuiltIn = FakeDisplayService::builtIn(1);
    noneBuiltIn.isBuiltIn = false;
    displays->setScreens({noneBuiltIn, FakeDisplayService::external(2)});
    runFor(1.0);
    EXPECT_FALSE(shown->isVisible());
    EXPECT_FALSE(islandWindow().isVisible());

    displays->setScreens({FakeDisplayService::builtIn(1), FakeDisplayService::external(2)});
    runFor(1.0);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_TRUE(islandWindow().isVisible());

    // When the hardware still names the speaker's screen, the mask there says why.
    noneBuiltIn.isBuiltInPendingWindowSystem = true;
    displays->setScreens({noneBuiltIn, FakeDisplayService::external(2)});
    runFor(1.0);
    EXPECT_FALSE(shown->isVisible());
    EXPECT_TRUE(app().safetyOverlay().isShown());
    EXPECT_EQ(app().safetyOverlay().reasonLabel().text(), QStringLiteral("显示器列表尚未一致；私密窗口已先隐藏"));
    EXPECT_FALSE(app().isShieldActive());
    displays->setScreens({FakeDisplayService::builtIn(1), FakeDisplayService::external(2)});
    runFor(1.0);
    EXPECT_FALSE(app().safetyOverlay().isShown());
    EXPECT_TRUE(shown->isVisible());
}

TEST_F(CoordinatorHiddenWindowsTest, AShieldRaisedWhileNoScreenIsTheSpeakersShowsItsMaskOnceOneIs)
{
    buildAndStart();
    makePrivateWindow();
    // The laptop's screen copied to a projector, first listed before it is
    // known to be the laptop's.
    auto laptop = FakeDisplayService::builtIn(1);
    laptop.isInMirrorSet = true;
    const std::vector mirrored{laptop};
    laptop.isBuiltIn = false;
    displays->setScreens({laptop});
    runFor(1.0);
    EXPECT_TRUE(app().isShieldActive());
    EXPECT_FALSE(shown->isVisible());
    EXPECT_FALSE(app().safetyOverlay().isShown());

    displays->setScreens(mirrored);
    runFor(1.0);
    EXPECT_TRUE(app().safetyOverlay().isShown());
    EXPECT_EQ(app().safetyOverlay().reasonLabel().text(), QStringLiteral("检测到系统镜像；私密窗口已先隐藏"));
    EXPECT_FALSE(shown->isVisible());

    // Left for a while on purpose, it stays away until its timer brings it back.
    app().temporarilyExitSafetyOverlay();
    runFor(1.0);
    EXPECT_FALSE(app().safetyOverlay().isShown());
}

TEST_F(CoordinatorHiddenWindowsTest, AnOutcomeAlertWaitsForTheEmergencyHideAndTheShieldToLift)
{
    buildAndStart();
    dialogs->answerPanel(QStringLiteral("/nowhere/Missing.key"));
    app().importKeynoteDocument();
    pressEmergencyKey();
    runFor(15.0);
    EXPECT_TRUE(dialogs->alerts.empty());
    EXPECT_EQ(app().alertRunner().waitingCount(), 1u);

    dialogs->answerAlert(0);
    liftEmergencyHide();
    settle();
    EXPECT_EQ(dialogs->alertMessages(), std::vector{QStringLiteral(".key 文稿导入失败")});

    dialogs->answerPanel(QStringLiteral("/nowhere/Missing.key"));
    app().importKeynoteDocument();
    mirrorDisplays();
    runFor(15.0);
    EXPECT_EQ(dialogs->alerts.size(), 1u);
    displays->unmirror();
    dialogs->answerAlert(0);
    app().stopPrivacyOutputAndReturn();
    settle();
    EXPECT_EQ(dialogs->alerts.size(), 2u);
}

TEST_F(CoordinatorHiddenWindowsTest, AnOutcomeAlertHiddenWhileUpShowsAgainAndLaterOnesKeepTheirOrder)
{
    buildAndStart();
    dialogs->answerPanel(QStringLiteral("/nowhere/First.key"));
    app().importKeynoteDocument();
    // The key is pressed while the alert is up; hidden, it ends unanswered.
    dialogs->answerAlert(-1);
    dialogs->onAlert = [this](const platform::AlertRequest&) {
        dialogs->onAlert = nullptr;
        pressEmergencyKey();
    };
    runFor(15.0);
    ASSERT_EQ(dialogs->alerts.size(), 1u);
    ASSERT_TRUE(app().isEmergencyLocalHidden());
    dialogs->answerPanel(QStringLiteral("/nowhere/Second.key"));
    app().importKeynoteDocument();
    runFor(15.0);
    EXPECT_EQ(app().alertRunner().waitingCount(), 2u);

    dialogs->answerAlert(0);
    dialogs->answerAlert(0);
    liftEmergencyHide();
    settle();
    ASSERT_EQ(dialogs->alerts.size(), 3u);
    EXPECT_EQ(dialogs->alerts[1].informativeText, dialogs->alerts[0].informativeText);
    EXPECT_EQ(app().alertRunner().waitingCount(), 0u);
}

// One that comes while an outcome alert stands, through a hide and a restore too, shows once it is answered.
TEST_F(CoordinatorHiddenWindowsTest, AnOutcomeThatCameWhileAnotherStoodThroughAHideFollowsIt)
{
    buildAndStart();
    dialogs->answerAlert(0);
    dialogs->answerAlert(0);
    dialogs->onAlert = [this](const platform::AlertRequest&) {
        dialogs->onAlert = nullptr;
        pressEmergencyKey();
        app().alertRunner().acknowledge(platform::AlertStyle::warning, QStringLiteral("第二"), {});
        liftEmergencyHide();
        EXPECT_EQ(dialogs->alerts.size(), 1u) << "the later outcome showed over the standing one";
    };
    app().alertRunner().acknowledge(platform::AlertStyle::warning, QStringLiteral("第一"), {});
    settle();
    EXPECT_EQ(dialogs->alertMessages(), (std::vector{QStringLiteral("第一"), QStringLiteral("第二")}));
}

// Random sequences of what the speaker, the displays and the capture do, with
// a quit somewhere among them. Whatever the order: the mask holds at most one
// inhibit and never ends one it did not begin, nothing private stands beside
// the mask, and once the quit is accepted nothing comes back.
class CoordinatorRandomSequenceTest : public CoordinatorHiddenWindowsTest,
                                      public ::testing::WithParamInterface<unsigned> {
protected:
    enum Step { mirror, unmirror, start, stop, emergency, reopen, tick, frame, leave, retry, stopped, quit, count };

    // Buttons are pressed only where they show: the panel's on the island, the
    // mask's on the mask.
    bool reachable(Step step)
    {
        const bool mask = app().safetyOverlay().isShown();
        switch (step) {
        case start:
            return islandWindow().isVisible();
        case stop:
            return islandWindow().isVisible() || mask;
        case leave:
        case retry:
            return mask;
        default:
            return true;
        }
    }

    void take(Step step)
    {
        if (!reachable(step))
            return;
        switch (step) {
        case mirror:
            mirrorDisplays();
            break;
        case unmirror:
            displays->unmirror();
            break;
        case start:
            plugAudienceDisplay();
            app().startPrivacyOutputDirectly();
            break;
        case stop:
            app().stopPrivacyOutputAndReturn();
            break;
        case emergency:
            pressEmergencyKey();
            break;
        case reopen:
            app().restorePrimaryWindowAfterReopen();
            break;
        case tick:
            runFor(0.5);
            break;
        case frame:
            if (auto* stream = capture->lastStream(); stream && stream->isCapturing())
                deliverFrame();
            break;
        case leave:
            app().temporarilyExitSafetyOverlay();
            break;
        case retry:
            app().retryAfterSafetyStop();
            break;
        case stopped:
            if (auto* stream = capture->lastStream())
                stream->completeStop();
            break;
        case quit:
            if (!quitAccepted) {
                quitAccepted = true;
                app().shutdown([] {});
            }
            break;
        case count:
            break;
        }
        settle();
    }

    bool anyPrivateWindowVisible()
    {
        const auto windows = app().windows().registeredWindows();
        return std::any_of(windows.begin(), windows.end(), [](platform::Window* w) { return w->isVisible(); });
    }

    bool quitAccepted = false;
};

TEST_P(CoordinatorRandomSequenceTest, TheMaskItsInhibitAndTheQuitStayInStep)
{
    capture->autoAnswer = true;
    capture->autoCompleteStart = true;
    buildAndStart();
    makePrivateWindow();
    std::mt19937 random(GetParam());
    std::uniform_int_distribution<int> pick(0, Step::count - 1);
    std::vector<int> taken;
    for (int i = 0; i < 40; ++i) {
        const auto step = static_cast<Step>(pick(random));
        taken.push_back(step);
        take(step);
        SCOPED_TRACE(::testing::PrintToString(taken));
        ASSERT_LE(maskInhibits(), 1);
        ASSERT_EQ(process->unknownEnds, 0);
        if (app().safetyOverlay().isShown()) {
            ASSERT_FALSE(anyPrivateWindowVisible());
        }
        if (quitAccepted) {
            ASSERT_FALSE(app().safetyOverlay().isShown());
            ASSERT_EQ(maskInhibits(), 0);
            ASSERT_FALSE(anyPrivateWindowVisible());
            ASSERT_FALSE(islandWindow().isVisible());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, CoordinatorRandomSequenceTest, ::testing::Range(1u, 25u));

TEST_F(CoordinatorHiddenWindowsTest, ThePointerIsHiddenOverAnAlertOrChooserAsOverAnyOtherWindowOfOurs)
{
    buildAndStart();
    QDialog dialog;
    dialog.setGeometry(platform::toQtGlobal(platform::Rect(50, 20, 200, 100)));
    dialog.show();
    EXPECT_TRUE(app().shouldSuppressAudiencePointer({100, 50}));
    dialog.hide();
    EXPECT_FALSE(app().shouldSuppressAudiencePointer({100, 50}));
}

} // namespace
