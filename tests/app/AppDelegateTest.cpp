#include "CoordinatorHarness.h"

#include "app/AppDelegate.h"
#include "support/QtPrinting.h"

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

TEST_F(AppDelegateTest, QuitBeforeLaunchingHasFinishedAnswersAtOnce)
{
    delegate = std::make_unique<AppDelegate>(*shell);
    shell->terminate();
    ASSERT_EQ(shell->replies.size(), 1u);
    EXPECT_EQ(shell->replies[0], TerminateReply::now);
    EXPECT_FALSE(delegate->applicationShouldTerminateAfterLastWindowClosed());
}

TEST_F(AppDelegateTest, ANormalQuitRepliesOnceJustAfterTheShutdownCompletes)
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

TEST_F(AppDelegateTest, ACaptureThatNeverStopsStillQuitsAfterThreeSeconds)
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
    // The loop ends later still; the quit's time counts from the ask.
    EXPECT_NEAR(delegate->terminationDeadline(), asked + AppDelegate::terminationFallbackDelay, 1e-9);
}

TEST_F(AppDelegateTest, ReopenRunsTheCoordinatorsRulesWithoutASecondCoordinator)
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

TEST_F(AppDelegateTest, DamagedStoredFilesSetAsideAreNamedOnceAtTheStart)
{
    const QString aside = QStringLiteral("/home/u/.config/com.local.quorvia.mvp/defaults/value-1f.dat.unreadable-2c");
    env.defaults().damage.setAside = {aside};
    dialogs->answerAlert(0);
    launch();
    ASSERT_EQ(dialogs->alertMessages(), std::vector<QString>{AppDelegate::damagedStoreMessage});
    const platform::AlertRequest& alert = dialogs->alerts.front();
    EXPECT_EQ(alert.style, platform::AlertStyle::warning);
    EXPECT_TRUE(alert.informativeText.contains(aside));
    EXPECT_TRUE(alert.informativeText.contains(QStringLiteral("其余设置照常使用")));
    EXPECT_EQ(alert.buttons, std::vector<QString>{QStringLiteral("知道了")});
}

// The alert says what happened and nothing that did not: kept files only when
// some were kept, the other settings in use only when the index was read.
TEST(AppDelegateText, TheStartAlertSaysOnlyWhatIsTrue)
{
    using Index = platform::DefaultsStoreDamage::Index;
    platform::DefaultsStoreDamage lost;
    lost.index = Index::lost;
    lost.setAside = {QStringLiteral("/c/defaults/defaults.dat.unreadable-1")};
    lost.recovered = {QStringLiteral("presentation.projects.v1")};
    const QString lostText = AppDelegate::damagedStoreDetail(lost);
    EXPECT_TRUE(lostText.contains(QStringLiteral("已从各自的数据文件恢复")));
    EXPECT_TRUE(lostText.contains(lost.setAside.front()));
    EXPECT_FALSE(lostText.contains(QStringLiteral("照常使用")));

    lost.recovered.clear();
    lost.setAside.clear();
    const QString nothingBack = AppDelegate::damagedStoreDetail(lost);
    EXPECT_TRUE(nothingBack.contains(QStringLiteral("设置已恢复为默认值")));
    EXPECT_FALSE(nothingBack.contains(QStringLiteral("原样保留")));
    EXPECT_FALSE(nothingBack.contains(QStringLiteral("恢复，")));

    platform::DefaultsStoreDamage missing;
    missing.missing = {QStringLiteral("/c/defaults/value-2a.dat")};
    const QString missingText = AppDelegate::damagedStoreDetail(missing);
    EXPECT_TRUE(missingText.contains(missing.missing.front()));
    EXPECT_FALSE(missingText.contains(QStringLiteral("原样保留")));

    platform::DefaultsStoreDamage copy;
    copy.index = Index::restoredFromCopy;
    EXPECT_TRUE(AppDelegate::damagedStoreDetail(copy).contains(QStringLiteral("副本完整恢复")));
}

TEST_F(AppDelegateTest, AStoreThatCannotWriteIsToldWithItsFolderAndReason)
{
    launch();
    const platform::DefaultsWriteFailure failure{QStringLiteral("/home/u/.config/com.local.quorvia.mvp/defaults"),
                                                 QStringLiteral("磁盘空间已满")};
    ASSERT_TRUE(env.defaults().onWriteFailure);
    dialogs->answerAlert(0);
    env.defaults().onWriteFailure(failure);
    ASSERT_EQ(dialogs->alertMessages(), std::vector<QString>{AppDelegate::writeFailureMessage});
    EXPECT_TRUE(dialogs->alerts.front().informativeText.contains(failure.folder));
    EXPECT_TRUE(dialogs->alerts.front().informativeText.contains(failure.reason));
    EXPECT_TRUE(dialogs->alerts.front().informativeText.contains(QStringLiteral("继续尝试保存")));
}

TEST_F(AppDelegateTest, AFinalWriteThatFailsIsSaidBeforeTheReply)
{
    launch();
    env.defaults().flushFailure = platform::DefaultsWriteFailure{QStringLiteral("/ro/defaults"), QStringLiteral("文件夹所在的磁盘只读")};
    dialogs->answerAlert(0);
    bool saidBeforeTheReply = false;
    dialogs->onAlert = [&](const platform::AlertRequest&) { saidBeforeTheReply = shell->terminationAnswers.empty(); };
    const int flushesBefore = env.defaults().flushes;
    shell->terminate();
    while (shell->terminationAnswers.empty() && env.scheduler().runNext()) {
    }
    ASSERT_EQ(shell->terminationAnswers, std::vector{true});
    EXPECT_GT(env.defaults().flushes, flushesBefore);
    ASSERT_EQ(dialogs->alertMessages(), std::vector<QString>{AppDelegate::writeFailureMessage});
    EXPECT_TRUE(dialogs->alerts.front().informativeText.contains(QStringLiteral("/ro/defaults")));
    EXPECT_TRUE(dialogs->alerts.front().informativeText.contains(QStringLiteral("已经丢失")));
    EXPECT_TRUE(saidBeforeTheReply);
}

// A signal or the session ending waits for no click: what was lost goes to
// the error stream only, and the reply still comes by the fallback.
TEST_F(AppDelegateTest, AnUnattendedQuitWhoseFinalWriteFailsRepliesWithoutAnAlert)
{
    launch();
    goLive(); // the shutdown never completes: the fallback answers
    env.defaults().flushFailure = platform::DefaultsWriteFailure{QStringLiteral("/ro/defaults"), QStringLiteral("文件夹所在的磁盘只读")};
    dialogs->answerAlert(0);
    const double asked = now();
    shell->terminate(platform::QuitRequest::unattended);
    env.scheduler().advance(AppDelegate::terminationFallbackDelay);
    ASSERT_EQ(shell->terminationAnswers, std::vector{true});
    EXPECT_LE(now() - asked, AppDelegate::terminationFallbackDelay);
    EXPECT_TRUE(dialogs->alertMessages().empty());
    capture->lastStream()->completeStop();
}

TEST_F(AppDelegateTest, AQuitWithEverythingWrittenSaysNothing)
{
    launch();
    shell->terminate();
    while (shell->terminationAnswers.empty() && env.scheduler().runNext()) {
    }
    ASSERT_EQ(shell->terminationAnswers, std::vector{true});
    EXPECT_GE(env.defaults().flushes, 1);
    EXPECT_TRUE(dialogs->alertMessages().empty());
}

// It names paths under the home folder: never on a screen the audience may see.
TEST_F(AppDelegateTest, TheDamagedStoreAlertWaitsUnderTheShieldUntilTheWindowsReturn)
{
    env.defaults().damage.setAside = {QStringLiteral("/home/u/.config/com.local.quorvia.mvp/defaults/value-1f.dat.unreadable-2c")};
    mirrorDisplays();
    dialogs->answerAlert(0);
    launch();
    runFor(3.0);
    ASSERT_TRUE(app().isShieldActive());
    EXPECT_TRUE(dialogs->alertMessages().empty());

    displays->unmirror();
    runFor(2.0);
    EXPECT_TRUE(dialogs->alertMessages().empty());
    app().stopPrivacyOutputAndReturn();
    settle();
    EXPECT_EQ(dialogs->alertMessages(), std::vector<QString>{AppDelegate::damagedStoreMessage});
}

TEST_F(AppDelegateTest, TheDamagedStoreAlertWaitsForABuiltInScreen)
{
    env.defaults().damage.setAside = {QStringLiteral("/home/u/.config/com.local.quorvia.mvp/defaults/value-1f.dat.unreadable-2c")};
    displays->setScreens({FakeDisplayService::external(2)});
    dialogs->answerAlert(0);
    launch();
    runFor(3.0);
    EXPECT_TRUE(dialogs->alertMessages().empty());

    displays->setScreens({FakeDisplayService::builtIn(1), FakeDisplayService::external(2)});
    runFor(1.0);
    ASSERT_TRUE(app().island()->window()->isVisible());
    EXPECT_EQ(dialogs->alertMessages(), std::vector<QString>{AppDelegate::damagedStoreMessage});
}

TEST_F(AppDelegateTest, AnIntactStoreStartsWithoutAnAlert)
{
    launch();
    EXPECT_TRUE(dialogs->alertMessages().empty());
}
