#include "KeynoteControllerFixture.h"

using namespace quorvia;
using namespace quorvia::test;

using KeynoteController_ = KeynoteControllerFixture;

namespace {

const auto ready = &KeynoteConnectionState::ready;

} // namespace

TEST_F(KeynoteController_, StartsFromTheInstallationAndRefreshShowsCheckingThenTheAnswer)
{
    makeController();
    EXPECT_EQ(controller->state(), KeynoteConnectionState::notRunning());
    controller->refresh();
    EXPECT_EQ(controller->state(), KeynoteConnectionState::checking());
    settle();
    EXPECT_EQ(controller->state(), ready(1, 12, false));
    EXPECT_EQ(controller->documentIdentity(), talk);
    EXPECT_EQ(stateChanges, 2);

    // Neither a quit nor a missing Keynote costs a script.
    keynote->quit();
    controller->refresh();
    EXPECT_EQ(controller->state(), KeynoteConnectionState::notRunning());
    workspace->setInstalled(QStringLiteral("com.apple.Keynote"), false);
    controller->refresh();
    EXPECT_EQ(controller->state(), KeynoteConnectionState::notInstalled());
    EXPECT_EQ(keynote->receivedRequests().size(), 1u);
}

TEST_F(KeynoteController_, MonitoringPostsOnceAndPollsEveryIntervalSkippingBusyTicks)
{
    makeReadyController();
    controller->setMonitoringEnabled(true);
    controller->setMonitoringEnabled(true);
    EXPECT_EQ(monitoringChanges, 1);
    EXPECT_EQ(controller->state(), ready(1, 12, false)); // no checking from a ready state
    settle();
    EXPECT_EQ(keynote->scriptCount(), 1);
    env.scheduler().advance(0.69);
    settle();
    EXPECT_EQ(keynote->scriptCount(), 1);
    env.scheduler().advance(0.01);
    settle();
    EXPECT_EQ(keynote->scriptCount(), 2);

    // Ticks while a read is still on its way do nothing.
    env.scheduler().advance(2.1);
    EXPECT_EQ(queuedScripts(), 1u);
    settle();
    EXPECT_EQ(keynote->scriptCount(), 3);
    EXPECT_EQ(stateChanges, 0); // identical answers post nothing

    controller->setMonitoringEnabled(false);
    controller->setMonitoringEnabled(false);
    EXPECT_EQ(monitoringChanges, 2);
    const int before = keynote->scriptCount();
    runFor(3);
    EXPECT_EQ(keynote->scriptCount(), before);
}

TEST_F(KeynoteController_, SlideCommandsAreRefusedAtOnceWithoutAScript)
{
    makeController();
    BoolCalls calls;
    controller->goToSlide(1, calls.callback()); // not ready yet
    makeReadyController();
    for (int slide : {0, 13, -4})
        controller->goToSlide(slide, calls.callback());
    // A recorded ready state does not help once Keynote has quit.
    keynote->quit();
    controller->goToSlide(2, calls.callback());
    controller->startSlideshow(calls.callback());
    EXPECT_EQ(calls.values, std::vector<bool>(6, false));
    EXPECT_EQ(queuedScripts(), 0u);
    EXPECT_TRUE(controller->state().isReady());
}

TEST_F(KeynoteController_, CommandsDuringAProbeCollapseIntoTheNewest)
{
    makeReadyController();
    controller->setMonitoringEnabled(true); // its first read is in flight
    BoolCalls first;
    BoolCalls second;
    controller->goToSlide(3, first.callback());
    controller->goToSlide(5, second.callback());
    controller->refresh(); // does nothing while a script runs
    EXPECT_EQ(first.values, std::vector<bool>{true});
    EXPECT_TRUE(second.values.empty());
    EXPECT_EQ(queuedScripts(), 1u);
    settle();
    EXPECT_EQ(second.values, std::vector<bool>{true});
    EXPECT_EQ(keynote->receivedRequests(), (std::vector<Request>{Request::stateRead, Request::goToSlide}));
    EXPECT_EQ(controller->state(), ready(5, 12, false));
}

TEST_F(KeynoteController_, FailedSlideCommandFailsTheParkedOneToo)
{
    makeReadyController();
    BoolCalls first;
    BoolCalls parked;
    controller->goToSlide(3, first.callback());
    controller->goToSlide(4, parked.callback());
    keynote->setAutomationDenied(true);
    settle();
    EXPECT_EQ(first.values, std::vector<bool>{false});
    EXPECT_EQ(parked.values, std::vector<bool>{false});
    EXPECT_EQ(controller->state(), KeynoteConnectionState::automationDenied());
}

TEST_F(KeynoteController_, StopDuringAHeldScriptFailsBothCommandsAndKeepsTheState)
{
    makeReadyController();
    keynote->setHolding(true);
    BoolCalls held;
    BoolCalls parked;
    controller->goToSlide(4, held.callback());
    controller->goToSlide(6, parked.callback());
    {
        QueueDrainThread drain(env.scheduler(), KeynoteController::probeQueueLabel);
        ASSERT_TRUE(keynote->waitUntilHeld());
        controller->stop();
        EXPECT_EQ(parked.values, std::vector<bool>{false});
        EXPECT_TRUE(held.values.empty());
        keynote->release();
    }
    settle();
    EXPECT_EQ(held.values, std::vector<bool>{false});
    EXPECT_EQ(keynote->frontDocument()->currentSlide, 4); // Keynote did move
    EXPECT_EQ(controller->state(), ready(1, 12, false));
    EXPECT_EQ(stateChanges, 0);

    // The in-flight slot was freed.
    keynote->setHolding(false);
    controller->refresh();
    settle();
    EXPECT_EQ(controller->state(), ready(4, 12, false));
}

TEST_F(KeynoteController_, PlaybackCommands)
{
    makeReadyController();
    BoolCalls calls;
    const std::pair<void (KeynoteController::*)(KeynoteController::Completion), KeynoteConnectionState> steps[] = {
        {&KeynoteController::startSlideshow, ready(1, 12, true)},
        {&KeynoteController::showNextBuild, ready(2, 12, true)},
        {&KeynoteController::showPreviousSlide, ready(1, 12, true)},
        {&KeynoteController::stopSlideshow, ready(1, 12, false)},
    };
    for (const auto& [command, expected] : steps) {
        (controller.get()->*command)(calls.callback());
        settle();
        EXPECT_EQ(controller->state(), expected);
    }
    EXPECT_EQ(calls.values, std::vector<bool>(4, true));

    // Refused at once while a read runs, and never parked.
    controller->refresh();
    controller->startSlideshow(calls.callback());
    EXPECT_FALSE(calls.values.back());
    settle();
    EXPECT_FALSE(controller->state().isPlaying);

    // A playback result does not start a slide command parked behind it; the next read does.
    BoolCalls slide;
    controller->stopSlideshow();
    controller->goToSlide(7, slide.callback());
    settle();
    EXPECT_TRUE(slide.values.empty());
    controller->refresh();
    settle();
    EXPECT_EQ(slide.values, std::vector<bool>{true});
}

TEST_F(KeynoteController_, CompletionIsDroppedWhenTheControllerGoes)
{
    makeReadyController();
    BoolCalls calls;
    controller->goToSlide(5, calls.callback());
    controller.reset();
    settle();
    EXPECT_TRUE(calls.values.empty());
}
