#include "CoordinatorHarness.h"

#include "app/AppDelegate.h"

#include <QLabel>

using namespace quorvia;
using namespace quorvia::test;
using platform::TerminateReply;

namespace {

class AppDelegateTest : public CoordinatorHarness {
protected:
    ~AppDelegateTest() override
    {
        for (auto& stream : capture->streams)
            stream->abandonPending();
        delegate.reset();
    }
    void launch()
    {
        delegate = std::make_unique<AppDelegate>(*shell);
        delegate->applicationDidFinishLaunching();
        subject = delegate->coordinator();
        settle();
    }
    double now() { return env.scheduler().now(); }

    std::unique_ptr<AppDelegate> delegate;
};

TEST_F(AppDelegateTest, quitBeforeLaunchingHasFinishedAnswersAtOnce)
{
    delegate = std::make_unique<AppDelegate>(*shell);
    shell->terminate();
    ASSERT_EQ(shell->replies.size(), 1u);
    EXPECT_EQ(shell->replies[0], TerminateReply::now);
    EXPECT_FALSE(delegate->applicationShouldTerminateAfterLastWindowClosed());
}

TEST_F(AppDelegateTest, aNormalQuitRepliesOnceJustAfterTheShutdownCompletes)
{
    launch();
    ASSERT_TRUE(delegate->coordinator()->isStarted());
    const double asked = now();
    shell->terminate();
    shell->terminate(); // absorbed
    ASSERT_EQ(shell->replies, (std::vector{TerminateReply::later, TerminateReply::later}));
    EXPECT_FALSE(delegate->coordinator()->isStarted()); // one shutdown ran
    EXPECT_TRUE(shell->monitors.empty());

    env.scheduler().runPending();
    EXPECT_TRUE(shell->terminationAnswers.empty());
    while (shell->terminationAnswers.empty() && env.scheduler().runNext()) {
    }
    ASSERT_EQ(shell->terminationAnswers, std::vector{true});
    EXPECT_NEAR(now() - asked, AppDelegate::terminationReplyDelay, 1e-9);

    env.scheduler().advance(5.0); // the fallback was cancelled
    EXPECT_EQ(shell->terminationAnswers.size(), 1u);
}

TEST_F(AppDelegateTest, aCaptureThatNeverStopsStillQuitsAfterThreeSeconds)
{
    launch();
    goLive();
    const double asked = now();
    shell->terminate();
    env.scheduler().advance(2.99);
    EXPECT_TRUE(shell->terminationAnswers.empty());
    env.scheduler().advance(0.02);
    ASSERT_EQ(shell->terminationAnswers, std::vector{true});
    EXPECT_NEAR(now() - asked, 3.01, 1e-9);

    // The late completion finds the reply sent.
    capture->lastStream()->completeStop();
    env.scheduler().advance(1.0);
    EXPECT_EQ(shell->terminationAnswers.size(), 1u);
}

TEST_F(AppDelegateTest, reopenRunsTheCoordinatorsRulesWithoutASecondCoordinator)
{
    launch();
    auto* first = delegate->coordinator();
    shell->reopen();
    EXPECT_EQ(delegate->coordinator(), first);
    EXPECT_FALSE(first->safetyOverlay().isShown());

    // Under the shield a reopen only shows the overlay again.
    mirrorDisplays();
    first->temporarilyExitSafetyOverlay();
    shell->reopen();
    EXPECT_EQ(delegate->coordinator(), first);
    EXPECT_TRUE(first->safetyOverlay().isShown());
    EXPECT_EQ(first->safetyOverlay().reasonLabel().text(), QStringLiteral("检测到系统镜像；私密窗口已先隐藏"));
}

} // namespace

TEST_F(AppDelegateTest, damagedStoredFilesSetAsideAreNamedOnceAtTheStart)
{
    env.defaults().setAside = {QStringLiteral("/home/u/.config/com.local.quorvia.mvp/defaults/value-1f.dat.unreadable-2c")};
    dialogs->answerAlert(0);
    launch();
    ASSERT_EQ(dialogs->alertMessages(), std::vector<QString>{AppDelegate::damagedStoreMessage});
    const platform::AlertRequest& alert = dialogs->alerts.front();
    EXPECT_EQ(alert.style, platform::AlertStyle::warning);
    EXPECT_TRUE(alert.informativeText.contains(env.defaults().setAside.front()));
    EXPECT_EQ(alert.buttons, std::vector<QString>{QStringLiteral("知道了")});
}

TEST_F(AppDelegateTest, anIntactStoreStartsWithoutAnAlert)
{
    launch();
    EXPECT_TRUE(dialogs->alertMessages().empty());
}
