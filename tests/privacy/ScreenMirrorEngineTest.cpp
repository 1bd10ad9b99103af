#include "ScreenMirrorEngineFixture.h"
#include "support/QtPrinting.h"

#include <thread>

using namespace quorvia;
using namespace quorvia::test;

class ScreenMirrorEngineStop : public ScreenMirrorEngineFixture {};

TEST_F(ScreenMirrorEngineStop, FailClosedWarnsFirstFreezesThenShowsTheCardOnlyAfterTheStop)
{
    startLive();
    engine->failClosed(QStringLiteral("x"));
    ASSERT_EQ(willFail, (std::vector<QString>{QStringLiteral("x")}));
    // The owner heard of it while the output was still live and unfrozen.
    EXPECT_EQ(stateAtWillFail.front(), State::live());
    EXPECT_EQ(modeAtWillFail.front(), Kind::live);

    EXPECT_EQ(state(), State::safeStopped(QStringLiteral("x")));
    EXPECT_EQ(mode(), Kind::frozen);
    EXPECT_FALSE(engine->hasStream());
    EXPECT_EQ(stream()->stopRequests, 1);

    clock().advance(1.0);
    EXPECT_EQ(mode(), Kind::frozen); // capture has not confirmed the stop yet
    completeStop();
    ASSERT_EQ(mode(), Kind::safe);
    EXPECT_EQ(canvas()->mode().reason, QStringLiteral("x"));
    EXPECT_TRUE(window()->isVisible());
    EXPECT_FALSE(engine->captureIdentity());
    // The safe card keeps the one activity the start took; switching off ends it.
    EXPECT_EQ(process->begun, 1);
    ASSERT_EQ(process->active.size(), 1u);
    EXPECT_TRUE(process->active.begin()->second.options.idleDisplaySleepDisabled);
    disable();
    EXPECT_TRUE(process->active.empty());
    EXPECT_EQ(process->unknownEnds, 0);
}

TEST_F(ScreenMirrorEngineStop, FailClosedDestroysTheWindowWhenTheAudienceIsGoneOrMirrored)
{
    startLive();
    displays->unplug(kAudience);
    failClosedAndStop(QStringLiteral("gone"));
    EXPECT_EQ(window(), nullptr);

    turnOff();
    displays->setScreens({FakeDisplayService::builtIn(kBuiltIn), FakeDisplayService::external(kAudience),
                          FakeDisplayService::external(kOther, QStringLiteral("Second"), kOtherFrame)});
    startLive();
    displays->mirror(kBuiltIn, kOther);
    failClosedAndStop(QStringLiteral("mirrored"));
    EXPECT_EQ(window(), nullptr);
    EXPECT_TRUE(engine->auxiliaryOutputs().empty());
}

TEST_F(ScreenMirrorEngineStop, ConcurrentStopsShareOnePlatformStopAndRunInCallOrder)
{
    startLive();
    std::vector<int> order;
    ScreenMirrorEngineTestPeer::stopStream(*engine, [&] { order.push_back(1); });
    ScreenMirrorEngineTestPeer::stopStream(*engine, [&] { order.push_back(2); });
    ScreenMirrorEngineTestPeer::stopStream(*engine, [&] {
        order.push_back(3);
        // A caller during the completion finds no stop left and runs at once.
        ScreenMirrorEngineTestPeer::stopStream(*engine, [&] { order.push_back(4); });
    });
    EXPECT_EQ(stream()->stopRequests, 1);
    ASSERT_TRUE(stream()->completeStop(platform::CaptureError::streamInterrupted)); // error ignored
    EXPECT_TRUE(order.empty()); // the platform's report hops to the main queue
    clock().runPending();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(stream()->stopRequests, 1);
}

TEST_F(ScreenMirrorEngineStop, FailClosedAndItsReportsComeLaterWithTheStateCurrentAtDelivery)
{
    engine->failClosed(QStringLiteral("off")); // already disabled: equal transition
    clock().runPending();
    EXPECT_TRUE(reported.empty());

    enable();
    reported.clear();
    engine->failClosed(QStringLiteral("a"));
    engine->failClosed(QStringLiteral("b")); // output already off: back to disabled
    EXPECT_TRUE(reported.empty());
    clock().runPending();
    EXPECT_EQ(reported, (std::vector{State::disabled(), State::disabled()}));

    // A call from another thread acts only on the main queue.
    turnOff();
    startLive();
    std::thread([&] { engine->failClosed(QStringLiteral("far")); }).join();
    EXPECT_EQ(state(), State::live());
    clock().runPending();
    EXPECT_EQ(state(), State::safeStopped(QStringLiteral("far")));
}

TEST_F(ScreenMirrorEngineStop, KeynoteLaunchOrQuitFailsClosedOnlyWhileOn)
{
    workspace->launch({QStringLiteral("com.apple.Keynote"), 90, QStringLiteral("Keynote")});
    clock().runPending();
    EXPECT_TRUE(reported.empty());

    startLive();
    workspace->launch({QStringLiteral("org.example.Other"), 92, QStringLiteral("Other")});
    EXPECT_EQ(state(), State::live());
    workspace->terminate(QStringLiteral("com.apple.Keynote"));
    EXPECT_EQ(state(), State::safeStopped(kKeynoteChanged));
    EXPECT_EQ(willFail, (std::vector<QString>{kKeynoteChanged}));
}

TEST_F(ScreenMirrorEngineStop, OtherExternalDisplaysShowASafePageThatFollowsThem)
{
    displays->plug(FakeDisplayService::external(kOther, QStringLiteral("Second"), kOtherFrame));
    enable();
    ASSERT_EQ(engine->auxiliaryOutputs().size(), 1u);
    const auto& aux = *engine->auxiliaryOutputs().at(kOther);
    EXPECT_EQ(aux.canvas()->mode().reason, QStringLiteral("此显示器未选择为观众输出"));
    EXPECT_EQ(aux.window()->frame(), kOtherFrame);
    EXPECT_EQ(engine->audienceOutputWindows(), (std::vector{window(), aux.window()}));

    disable();
    EXPECT_TRUE(engine->auxiliaryOutputs().empty());
    displays->unplug(kOther);
    enable();
    EXPECT_TRUE(engine->auxiliaryOutputs().empty());
}
