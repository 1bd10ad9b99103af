#include "KeynoteControllerFixture.h"
#include "support/QtPrinting.h"

using namespace quorvia;
using namespace quorvia::test;

using KeynoteController_ = KeynoteControllerFixture;

const auto ready = &KeynoteConnectionState::ready;

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

    // A missing Keynote costs no script.
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
    EXPECT_EQ(monitoringChanges, 2);
    const int before = keynote->scriptCount();
    runFor(3);
    EXPECT_EQ(keynote->scriptCount(), before);
}

TEST_F(KeynoteController_, SlideCommandsAreRefusedAtOnceWithoutAScript)
{
    makeController();
    std::vector<bool> calls;
    controller->goToSlide(1, recordInto(calls)); // not ready yet
    makeReadyController();
    for (int slide : {0, 13, -4})
        controller->goToSlide(slide, recordInto(calls));
    // A recorded ready state does not help once Keynote has quit.
    keynote->quit();
    controller->goToSlide(2, recordInto(calls));
    controller->startSlideshow(recordInto(calls));
    EXPECT_EQ(calls, std::vector<bool>(6, false));
    EXPECT_EQ(queuedScripts(), 0u);
    EXPECT_TRUE(controller->state().isReady());
}

TEST_F(KeynoteController_, CommandsDuringAProbeCollapseIntoTheNewest)
{
    makeReadyController();
    controller->setMonitoringEnabled(true); // its first read is in flight
    std::vector<bool> first, second;
    controller->goToSlide(3, recordInto(first));
    controller->goToSlide(5, recordInto(second));
    controller->refresh(); // does nothing while a script runs
    EXPECT_EQ(first, std::vector<bool>{true});
    EXPECT_TRUE(second.empty());
    EXPECT_EQ(queuedScripts(), 1u);
    settle();
    EXPECT_EQ(second, std::vector<bool>{true});
    EXPECT_EQ(keynote->receivedRequests(), (std::vector<Request>{Request::stateRead, Request::goToSlide}));
    EXPECT_EQ(controller->state(), ready(5, 12, false));
}

TEST_F(KeynoteController_, FailedSlideCommandFailsTheParkedOneToo)
{
    makeReadyController();
    std::vector<bool> first, parked;
    controller->goToSlide(3, recordInto(first));
    controller->goToSlide(4, recordInto(parked));
    keynote->setAutomationDenied(true);
    settle();
    EXPECT_EQ(first, std::vector<bool>{false});
    EXPECT_EQ(parked, std::vector<bool>{false});
    EXPECT_EQ(controller->state(), KeynoteConnectionState::automationDenied());
}

TEST_F(KeynoteController_, StopDuringAHeldScriptFailsBothCommandsAndDestructionDropsThem)
{
    makeReadyController();
    keynote->setHolding(true);
    std::vector<bool> held, parked;
    controller->goToSlide(4, recordInto(held));
    controller->goToSlide(6, recordInto(parked));
    {
        QueueDrainThread drain(env.scheduler(), KeynoteController::probeQueueLabel);
        ASSERT_TRUE(keynote->waitUntilHeld());
        controller->stop();
        EXPECT_EQ(parked, std::vector<bool>{false});
        EXPECT_TRUE(held.empty());
        keynote->release();
    }
    settle();
    EXPECT_EQ(held, std::vector<bool>{false});
    EXPECT_EQ(keynote->frontDocument()->currentSlide, 4); // Keynote did move
    EXPECT_EQ(controller->state(), ready(1, 12, false));

    // The in-flight slot was freed.
    keynote->setHolding(false);
    controller->refresh();
    settle();
    EXPECT_EQ(controller->state(), ready(4, 12, false));

    // Destroying the controller drops a pending completion.
    std::vector<bool> dropped;
    controller->goToSlide(5, recordInto(dropped));
    controller.reset();
    settle();
    EXPECT_TRUE(dropped.empty());
}

TEST_F(KeynoteController_, PlaybackCommands)
{
    makeReadyController();
    std::vector<bool> calls;
    const std::pair<void (KeynoteController::*)(KeynoteController::Completion), KeynoteConnectionState> steps[] = {
        {&KeynoteController::startSlideshow, ready(1, 12, true)},
        {&KeynoteController::showNextBuild, ready(2, 12, true)},
        {&KeynoteController::showPreviousSlide, ready(1, 12, true)},
        {&KeynoteController::stopSlideshow, ready(1, 12, false)},
    };
    for (const auto& [command, expected] : steps) {
        (controller.get()->*command)(recordInto(calls));
        settle();
        EXPECT_EQ(controller->state(), expected);
    }
    EXPECT_EQ(calls, std::vector<bool>(4, true));

    // Refused at once while a read runs, and never parked.
    controller->refresh();
    controller->startSlideshow(recordInto(calls));
    EXPECT_FALSE(calls.back());
    settle();
    EXPECT_FALSE(controller->state().isPlaying);
}
