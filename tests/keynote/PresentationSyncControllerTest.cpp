#include "KeynoteControllerFixture.h"

#include "keynote/PresentationSyncController.h"
#include "model/PromptScript.h"
#include "support/QtPrinting.h"

#include <algorithm>

using namespace quorvia;
using namespace quorvia::test;

namespace {

using Source = PresentationEventSource;
using Status = PresentationSyncStatus;
using Outcome = SyncAuditEvent::Outcome;

const QString talkPath = QStringLiteral("/x/Talk.key");

// The Keynote controller's fixture with a script bound to Talk.key whose
// sections map to slides 1, 2, 4, 5, none (a demo) and 3.
class PresentationSyncControllerTest : public KeynoteControllerFixture {
protected:
    PresentationSyncControllerTest()
    {
        makeReadyController();
        script = std::make_unique<PromptScript>(env.defaults());
        script->replaceDeck(PresentationDeck::keynoteDocument(talkPath, 12));
        script->replaceText(QStringLiteral("1\nA\n---\n2\nB\n---\n4\nC\n---\n5\nD\n---\nDEMO\nE\n---\n3\nF"));
        sync = std::make_unique<PresentationSyncController>(*script, *controller);
        statusObservation = platform::NotificationCenter::defaultCenter().observe(
            PresentationSyncController::presentationSyncStatusChanged, sync.get(),
            [this](const platform::Notification&) { ++statusChanges; });
    }

    // Enabled in live, past the hold that enabling starts.
    void enableLiveAndWait()
    {
        sync->setSafetyState(PresentationSafetyState::live());
        ASSERT_TRUE(sync->enable());
        runFor(2.1);
        keynote->clearLog();
    }

    int slideCommands() const
    {
        const auto requests = keynote->receivedRequests();
        return static_cast<int>(std::count(requests.begin(), requests.end(), SimulatedKeynote::Request::goToSlide));
    }

    int keynoteSlide() const { return keynote->frontDocument()->currentSlide; }

    // The next `times` scripts find Keynote on `slide`, whatever they ask.
    void answerStuckOn(int slide, int times)
    {
        const QString reply = QStringList{QString::number(slide), "12", "false", "Talk.key", talkPath}.join(u'\x1F');
        for (int i = 0; i < times; ++i)
            keynote->replyNextWith(platform::ScriptReply::text(reply));
    }

    std::unique_ptr<PromptScript> script;
    std::unique_ptr<PresentationSyncController> sync;
    platform::Observation statusObservation;
    int statusChanges = 0;
};

} // namespace

TEST(PresentationSyncStatusTest, FollowingNamesTheSlide)
{
    EXPECT_EQ(Status::following(3).title(), QStringLiteral("双向同步中 · Keynote 第 3 页"));
}

TEST_F(PresentationSyncControllerTest, OffUntilEnabledWithTheBoundDocument)
{
    const Status refused = Status::suspended(QStringLiteral("请先检测 Keynote，并确认实际播放文档身份和页数与绑定的 .key 文稿一致。"));
    script->replaceDeck(PresentationDeck::keynoteDocument(QStringLiteral("/x/Other.key"), 12));
    EXPECT_FALSE(sync->enable());
    EXPECT_EQ(sync->status(), refused);
    script->replaceDeck(PresentationDeck::keynoteDocument(talkPath, 12));

    // While off, changes on either side and timer ticks do nothing.
    script->setIndex(2, Source::speech);
    keynote->setCurrentSlide(5);
    controller->refresh();
    runFor(5);
    EXPECT_EQ(slideCommands(), 0);
    EXPECT_EQ(script->currentIndex(), 2);

    // Outside live, enabling follows Keynote and only listens.
    ASSERT_TRUE(sync->enable());
    EXPECT_EQ(script->currentIndex(), 3);
    EXPECT_TRUE(controller->isMonitoring());
    EXPECT_EQ(sync->status(), Status::suspended(QStringLiteral("已启用监听；开始 Keynote 放映或隐私输出后允许主动翻页。")));

    sync->disable();
    EXPECT_EQ(sync->status(), Status::disabled());
    EXPECT_FALSE(controller->isMonitoring());
}

TEST_F(PresentationSyncControllerTest, SpeechSendsTheSlideAndItsEchoIsSwallowed)
{
    enableLiveAndWait();
    script->setIndex(5, Source::speech);
    runFor(5);
    EXPECT_EQ(sync->auditTrail().back().outcome, Outcome::echoSuppressed);
    EXPECT_EQ(sync->status(), Status::following(3));
    EXPECT_EQ(slideCommands(), 1);

    // The speaker pages in Keynote: the script follows and automation waits 2 s.
    keynote->setCurrentSlide(2);
    runFor(0.7);
    EXPECT_EQ(script->currentIndex(), 1);
    script->setIndex(2, Source::keyword);
    settle();
    EXPECT_EQ(sync->auditTrail().back().outcome, Outcome::automaticSuppressed);
    // A manual step still goes through; a change without a source is a system one, never held back.
    script->setIndex(3, Source::manualPrompt);
    runFor(0.25);
    EXPECT_EQ(keynoteSlide(), 5);
    script->setIndex(5, Source::fixedScroll);
    settle();
    EXPECT_EQ(keynoteSlide(), 5);
    platform::NotificationCenter::defaultCenter().post(NotificationName::promptScriptChanged, script.get(),
                                                       {{PromptScriptNotificationKey::eventSource, 7}});
    settle();
    EXPECT_EQ(keynoteSlide(), 3);
    EXPECT_EQ(slideCommands(), 3);
}

TEST_F(PresentationSyncControllerTest, ManualStepsAreDebouncedAndSpeechCancelsThem)
{
    enableLiveAndWait();
    for (int step = 0; step < 3; ++step) {
        script->moveNext(Source::manualPrompt);
        env.scheduler().advance(0.1);
    }
    env.scheduler().advance(0.09);
    settle();
    EXPECT_EQ(slideCommands(), 0);
    env.scheduler().advance(0.01);
    settle();
    EXPECT_EQ(slideCommands(), 1);
    EXPECT_EQ(keynoteSlide(), 5); // section 3, where the speaker stopped

    runFor(3);
    script->setIndex(0, Source::manualPrompt);
    env.scheduler().advance(0.1);
    script->setIndex(5, Source::speech);
    runFor(1);
    EXPECT_EQ(slideCommands(), 2);
    EXPECT_EQ(keynoteSlide(), 3);
}

TEST_F(PresentationSyncControllerTest, QuickStepBackWhileACommandIsInFlightEndsOnTheSameSlide)
{
    enableLiveAndWait();
    script->setIndex(1, Source::speech); // slide 2, not yet answered
    script->setIndex(0, Source::manualPrompt);
    runFor(6);
    EXPECT_EQ(script->currentIndex(), 0);
    EXPECT_EQ(keynoteSlide(), 1);
    EXPECT_EQ(sync->status(), Status::following(1));
}

TEST_F(PresentationSyncControllerTest, UnconfirmedCommandBecomesAConflictAndRecoveryGivesUpAfterThree)
{
    enableLiveAndWait();
    answerStuckOn(1, 200);
    script->setIndex(2, Source::speech);
    runFor(2.5);
    EXPECT_EQ(sync->status(), Status::following(1));
    runFor(0.5);
    EXPECT_EQ(sync->status(), Status::conflict(QStringLiteral("Keynote 未在时限内读回目标页，自动翻页已暂停")));

    // Each retry waits at least 1 s after its conflict; the third is the last.
    runFor(1.0);
    EXPECT_EQ(slideCommands(), 2);
    runFor(30);
    EXPECT_EQ(slideCommands(), 4);

    sync->resumeAfterConflict();
    EXPECT_EQ(sync->status(), Status::ready());
    settle();
    EXPECT_EQ(slideCommands(), 5);
    EXPECT_EQ(sync->auditTrail().back().source, Source::recovery);
}

TEST_F(PresentationSyncControllerTest, RefusedCommandIsAConflictButNotAfterSyncWasSwitchedOff)
{
    enableLiveAndWait();
    keynote->replyNextWith(platform::ScriptReply::text(QStringLiteral("OUT_OF_RANGE")));
    script->setIndex(2, Source::speech);
    settle();
    EXPECT_EQ(sync->status(), Status::conflict(QStringLiteral("Keynote 定向切页失败，已降级为人工控制")));
    sync->resumeAfterConflict();
    runFor(5);
    EXPECT_EQ(keynoteSlide(), 4);

    // A failure arriving after the speaker switched sync off.
    script->setIndex(3, Source::speech);
    sync->disable();
    keynote->replyNextWith(platform::ScriptReply::text(QStringLiteral("OUT_OF_RANGE")));
    settle();
    EXPECT_EQ(sync->status(), Status::disabled());
    controller->refresh();
    settle();
    keynote->clearLog();
    ASSERT_TRUE(sync->enable());
    EXPECT_EQ(sync->status(), Status::following(4));
    runFor(5);
    EXPECT_EQ(slideCommands(), 0); // no recovery was armed
}

TEST_F(PresentationSyncControllerTest, SafetyStatesGateOutboundPaging)
{
    enableLiveAndWait();
    sync->setSafetyState(PresentationSafetyState::privacyPaused());
    EXPECT_EQ(sync->status(), Status::suspended(QStringLiteral("隐私暂停期间只被动记录人工翻页，不发送 Keynote 指令。")));
    script->setIndex(1, Source::manualPrompt);
    runFor(1);
    EXPECT_EQ(slideCommands(), 0);

    sync->setSafetyState(PresentationSafetyState::live());
    EXPECT_EQ(sync->status(), Status::suspended(QStringLiteral("安全状态已恢复；请确认当前位置后手动恢复主动同步。")));
    script->setIndex(3, Source::manualPrompt);
    runFor(3);
    EXPECT_EQ(slideCommands(), 0);
    sync->resumeAfterConflict();
    EXPECT_EQ(sync->status(), Status::ready());
    settle();
    EXPECT_EQ(keynoteSlide(), 5);

    sync->setSafetyState(PresentationSafetyState::disabled());
    EXPECT_EQ(sync->status(), Status::suspended(QStringLiteral("等待 Keynote 原生放映或隐私输出开始。")));
    statusChanges = 0;
    sync->setSafetyState(PresentationSafetyState::live());
    sync->setSafetyState(PresentationSafetyState::live());
    EXPECT_EQ(sync->status(), Status::ready());
    EXPECT_EQ(statusChanges, 1); // an unchanged status is not announced again

    // Resuming does not override a safety state that forbids paging.
    sync->setSafetyState(PresentationSafetyState::degraded(QStringLiteral("采集不稳定")));
    sync->resumeAfterConflict();
    EXPECT_EQ(sync->status(), Status::suspended(QStringLiteral("当前安全状态不允许主动翻页。")));
}

TEST_F(PresentationSyncControllerTest, KeynoteNotReadyOrAnotherDocumentSuspendsPaging)
{
    enableLiveAndWait();
    keynote->quit();
    runFor(0.7);
    EXPECT_EQ(sync->status(), Status::suspended(KeynoteConnectionState::notRunning().detail()));

    keynote->launch();
    keynote->open(SimulatedKeynote::Document::withSlides(QStringLiteral("Talk.key"), talkPath, 12));
    keynote->open(SimulatedKeynote::Document::withSlides(QStringLiteral("Other.key"), QStringLiteral("/y/Other.key"), 12));
    runFor(0.7);
    EXPECT_EQ(sync->status(), Status::conflict(QStringLiteral("Keynote 实际播放文档与绑定的 .key 文稿身份不一致。")));
    runFor(5);
    EXPECT_EQ(slideCommands(), 0); // a mismatch is never retried by itself

    // The bound document back in front clears the mismatch by itself.
    keynote->bringToFront(QStringLiteral("Talk.key"));
    runFor(0.7);
    EXPECT_EQ(sync->status(), Status::suspended(QStringLiteral("只监听人工翻页；主动同步当前暂停。")));
}

TEST_F(PresentationSyncControllerTest, AfterShutdownOrDestructionNothingMoreHappens)
{
    enableLiveAndWait();
    answerStuckOn(1, 200);
    script->setIndex(2, Source::speech);
    sync->shutdown();
    settle();
    EXPECT_FALSE(controller->isMonitoring());
    runFor(10);
    EXPECT_EQ(slideCommands(), 1); // no retry

    // A late completion and later notifications reach no destroyed controller.
    ASSERT_TRUE(sync->enable());
    script->setIndex(1, Source::system);
    sync.reset();
    controller->setMonitoringEnabled(true);
    runFor(1);
    script->setIndex(3, Source::speech);
    keynote->setCurrentSlide(6);
    runFor(1);
    EXPECT_EQ(script->currentIndex(), 3);
    EXPECT_EQ(slideCommands(), 2);
}
