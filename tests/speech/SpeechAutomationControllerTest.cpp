#include "SpeechAutomationRig.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

namespace quorvia {
namespace {

using Status = SpeechAutomationStatus;
using State = OnDeviceSpeechState;

const QString onlyLive = QStringLiteral("只有正式演讲状态允许启动语音自动化。");
const QString lowConfidence = QStringLiteral("识别持续偏离当前稿件，自动前进已暂停；可继续看进度或手动接管。");
const QString offScript = QStringLiteral("天气晴朗风和日丽");

class SpeechAutomationControllerTest : public ::testing::Test, public test::SpeechAutomationRig {};

TEST(SpeechAutomationStatusTest, TitlesAndDetails)
{
    struct Case {
        Status status;
        const char* title;
        const char* detail;
    };
    const std::vector<Case> cases = {
        {Status::calibrating(8), "语音：校准中 8s", "正在检查输入电平、识别结果与短时延迟。"},
        {Status::listening(PromptMode::wordFollow), "语音：逐字跟读中", "识别结果只在本机用于模糊对齐，不保存语音原文。"},
        {Status::listening(PromptMode::keyword), "语音：关键词中", "识别结果只在本机用于模糊对齐，不保存语音原文。"},
        {Status::degraded("听不清"), "语音：已降级", "听不清"},
        {Status::unavailable("没有模型"), "语音：不可用", "没有模型"},
        {Status::calibrationRequired(), "语音：待命", "选择逐字跟读或关键词后可直接开始识别。"},
        {Status::ready(), "语音：待命", "开始后直接尝试本机识别；失败时可改用固定滚动或手动。"},
        {Status::questionPaused(), "语音：问答暂停", "继续显示进度，但不会因观众问答自动前进。"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.status.title(), QString::fromUtf8(c.title));
        EXPECT_EQ(c.status.detail(), QString::fromUtf8(c.detail));
    }
    EXPECT_NE(Status::listening(PromptMode::wordFollow), Status::listening(PromptMode::keyword));
    EXPECT_NE(Status::calibrating(3), Status::calibrating(2));
    EXPECT_NE(Status::degraded("a"), Status::unavailable("a"));
    EXPECT_EQ(Status::unavailable("a"), Status::unavailable("a"));
}

TEST_F(SpeechAutomationControllerTest, StartsOnlyInALiveSpeechMode)
{
    EXPECT_EQ(automation->status(), Status::ready());

    automation->setSafetyState(PresentationSafetyState::live());
    EXPECT_EQ(recognizer->state(), State::idle()); // live alone starts nothing
    script->setPromptMode(PromptMode::fixedScroll);
    EXPECT_FALSE(automation->startSelectedMode());
    EXPECT_EQ(automation->status(), Status::ready());
    EXPECT_EQ(statusPosts, 0);
    EXPECT_EQ(recognizer->generation(), 0);

    script->setPromptMode(PromptMode::keyword);
    automation->setSafetyState(PresentationSafetyState::standby());
    EXPECT_FALSE(automation->startSelectedMode());
    EXPECT_EQ(automation->status(), Status::unavailable(onlyLive));
    EXPECT_EQ(recognizer->state(), State::idle());

    automation->setSafetyState(PresentationSafetyState::live());
    EXPECT_TRUE(automation->startSelectedMode());
    EXPECT_EQ(automation->status(), Status::listening(PromptMode::keyword));
    settle();
    EXPECT_EQ(recognizer->state(), State::listening());

    // Starting again re-asserts the status without an announcement.
    const int posts = statusPosts;
    EXPECT_TRUE(automation->startSelectedMode());
    EXPECT_EQ(statusPosts, posts);
}

TEST_F(SpeechAutomationControllerTest, LeavingLiveStopsListeningAndComingBackStartsNothing)
{
    startFollowing();
    automation->setSafetyState(PresentationSafetyState::privacyPaused());
    EXPECT_EQ(automation->status(), Status::ready());
    EXPECT_EQ(recognizer->state(), State::idle());
    EXPECT_FALSE(recognizer->isCapturing());
    EXPECT_EQ(audio->lastInput(), nullptr);

    const auto generation = recognizer->generation();
    automation->setSafetyState(PresentationSafetyState::live());
    settle();
    EXPECT_EQ(automation->status(), Status::ready());
    EXPECT_EQ(recognizer->generation(), generation);
    EXPECT_FALSE(recognizer->isCapturing());
}

TEST_F(SpeechAutomationControllerTest, ADeadRecognizerIsStoppedShownAndPreparedAfreshOnTheNextStart)
{
    startFollowing();
    channel()->fail();
    settle();
    EXPECT_EQ(automation->status(), Status::unavailable(QStringLiteral("设备端语音结果流已中断。")));
    EXPECT_EQ(recognizer->state(), State::idle());
    EXPECT_FALSE(recognizer->isCapturing());
    EXPECT_EQ(automation->status().title(), QStringLiteral("语音：不可用"));

    EXPECT_TRUE(automation->startSelectedMode());
    settle();
    EXPECT_EQ(recognizer->state(), State::listening());
    EXPECT_EQ(speech->analyzers.size(), 2u);
    EXPECT_EQ(automation->status(), Status::listening(PromptMode::wordFollow));

    // A preparation that finds something missing shows its message and leaves nothing running.
    automation->stopRecognition();
    permissions->microphone = platform::AuthorizationStatus::denied;
    EXPECT_TRUE(automation->startSelectedMode());
    settle();
    EXPECT_EQ(automation->status(), Status::unavailable(QStringLiteral("未获得麦克风权限，请在系统设置中授权后重新校准。")));
    EXPECT_EQ(recognizer->state(), State::idle());
}

TEST_F(SpeechAutomationControllerTest, RecognizerStatesOtherThanFailuresLeaveTheStatus)
{
    startFollowing();
    statuses.clear();
    recognizer->stop();
    settle();
    EXPECT_EQ(automation->status(), Status::listening(PromptMode::wordFollow));
    EXPECT_TRUE(statuses.empty());
}

TEST_F(SpeechAutomationControllerTest, WordFollowShowsProgressAndAdvancesOnSustainedEvidence)
{
    startFollowing();
    say(QStringLiteral("大家好今天我们来讨论"), false);
    EXPECT_EQ(script->spokenCharacterOffset(0), 11);

    // The whole section, once: progress reaches the end but one result never advances.
    say(opening);
    EXPECT_EQ(script->spokenCharacterOffset(0), opening.size());
    EXPECT_EQ(script->currentIndex(), 0);
    after(0.5);
    say(opening);
    EXPECT_EQ(script->currentIndex(), 0);
    after(0.5);
    say(opening);
    EXPECT_EQ(script->currentIndex(), 1);
    EXPECT_EQ(sources.back(), QStringLiteral("speech"));
    EXPECT_TRUE(script->completedSections().contains(0));
    EXPECT_EQ(automation->status(), Status::listening(PromptMode::wordFollow));

    // The next section starts from a clean window: its evidence needs its own second.
    say(second);
    after(0.5);
    say(second);
    EXPECT_EQ(script->currentIndex(), 1);
    after(0.5);
    say(second);
    EXPECT_EQ(script->currentIndex(), 2);
}

TEST_F(SpeechAutomationControllerTest, SustainedLowConfidencePausesAdvance)
{
    startFollowing();
    for (int i = 0; i < 5; ++i) {
        say(offScript, false);
        after(0.5);
    }
    EXPECT_EQ(automation->status(), Status::listening(PromptMode::wordFollow)); // five inside 3 s
    after(0.5);
    say(offScript, false);
    EXPECT_EQ(automation->status(), Status::degraded(lowConfidence));

    // Progress is still shown, but the section does not complete.
    say(opening);
    after(1.0);
    say(opening);
    after(1.0);
    say(opening);
    EXPECT_EQ(script->spokenCharacterOffset(0), opening.size());
    EXPECT_EQ(script->currentIndex(), 0);

    automation->resumeAfterLowConfidence();
    EXPECT_EQ(automation->status(), Status::listening(PromptMode::wordFollow));
    say(opening);
    after(1.0);
    say(opening);
    EXPECT_EQ(script->currentIndex(), 1);
}

TEST_F(SpeechAutomationControllerTest, AGoodResultDecaysTheLowRunAndOnlyZeroClearsItsStart)
{
    startFollowing();
    // Two low, two good: back at zero, so the run starts over.
    say(offScript, false);
    say(offScript, false);
    say(QStringLiteral("大家好今天我们"), false);
    say(QStringLiteral("大家好今天我们"), false);
    after(1.0);
    for (int i = 0; i < 5; ++i) {
        say(offScript, false);
        after(0.5);
    }
    say(offScript, false); // 2.5 s after this run began
    EXPECT_EQ(automation->status(), Status::listening(PromptMode::wordFollow));

    // Six low; a good one lowers the count to five and keeps the start.
    after(0.5);
    say(QStringLiteral("大家好今天我们"), false);
    EXPECT_EQ(automation->status(), Status::degraded(lowConfidence));
}

TEST_F(SpeechAutomationControllerTest, KeywordModeAdvancesAfterTheHold)
{
    script->setPromptMode(PromptMode::keyword);
    startFollowing();
    say(opening);
    after(1.2);
    say(QStringLiteral("嗯"), false); // the finalised text still holds every phrase
    EXPECT_EQ(script->currentIndex(), 1);
    EXPECT_EQ(sources.back(), QStringLiteral("keyword"));
    EXPECT_TRUE(script->completedSections().contains(0));
    EXPECT_EQ(automation->status(), Status::listening(PromptMode::keyword));
}

TEST_F(SpeechAutomationControllerTest, KeywordHoldNeedsTheFullTimeUnbroken)
{
    script->setPromptMode(PromptMode::keyword);
    startFollowing();
    say(opening, false);
    after(1.1875);
    say(opening, false);
    EXPECT_EQ(script->currentIndex(), 0);
    EXPECT_GT(script->spokenCharacterOffset(0), 0); // progress is shown in keyword mode too

    say(QStringLiteral("大家好"), false); // replaces the partial text: incomplete
    after(0.0625);
    say(opening, false); // past 1.2 s since the first, but the hold started over
    EXPECT_EQ(script->currentIndex(), 0);
    after(1.25);
    say(opening, false);
    EXPECT_EQ(script->currentIndex(), 1);
}

TEST_F(SpeechAutomationControllerTest, QuestionPauseShowsProgressWithoutAdvancing)
{
    automation->toggleQuestionPause();
    EXPECT_EQ(automation->status(), Status::questionPaused());
    EXPECT_EQ(recognizer->generation(), 0); // toggling starts nothing
    automation->stopRecognition(true);
    EXPECT_EQ(automation->status(), Status::ready());

    startFollowing(); // a start clears the pause
    automation->toggleQuestionPause();
    EXPECT_EQ(automation->status(), Status::questionPaused());
    say(opening);
    after(1.0);
    say(opening);
    after(1.0);
    say(opening);
    EXPECT_EQ(script->spokenCharacterOffset(0), opening.size());
    EXPECT_EQ(script->currentIndex(), 0);
    EXPECT_EQ(recognizer->state(), State::listening());

    automation->toggleQuestionPause();
    EXPECT_EQ(automation->status(), Status::listening(PromptMode::wordFollow));
}

TEST_F(SpeechAutomationControllerTest, BlockChangesResetTheRollingStateAndReassertTheStatus)
{
    startFollowing();
    for (int i = 0; i < 7; ++i) {
        say(offScript, false);
        after(0.5);
    }
    ASSERT_EQ(automation->status(), Status::degraded(lowConfidence));

    // Progress in the same block changes nothing.
    say(QStringLiteral("大家好今天我们来讨论"), true);
    EXPECT_EQ(automation->status(), Status::degraded(lowConfidence));

    script->moveNext();
    EXPECT_EQ(automation->status(), Status::listening(PromptMode::wordFollow));
    // Evidence from the old block does not carry over.
    say(second);
    EXPECT_EQ(script->currentIndex(), 1);
    after(1.0);
    say(second);
    EXPECT_EQ(script->currentIndex(), 2);

    automation->toggleQuestionPause();
    script->movePrevious();
    EXPECT_EQ(automation->status(), Status::questionPaused());

    automation->stopRecognition();
    script->movePrevious();
    EXPECT_EQ(automation->status(), Status::ready());
}

// Off-script talk long enough to set off the low-confidence pause.
void driftOffScript(test::SpeechAutomationRig& rig)
{
    for (int i = 0; i < 7; ++i) {
        rig.say(offScript, false);
        rig.after(0.5);
    }
}

TEST_F(SpeechAutomationControllerTest, ResumingFromLowConfidenceKeepsTheQuestionPauseAndThePlace)
{
    startFollowing();
    driftOffScript(*this);
    ASSERT_EQ(automation->status(), Status::degraded(lowConfidence));
    automation->toggleQuestionPause();
    ASSERT_EQ(automation->status(), Status::questionPaused());
    say(QStringLiteral("大家好今天我们来讨论"), true);
    const qint64 spoken = script->spokenCharacterOffset(0);
    ASSERT_GT(spoken, 0);

    automation->resumeAfterLowConfidence();
    EXPECT_EQ(automation->status(), Status::questionPaused());
    EXPECT_EQ(automation->status().title(), QStringLiteral("语音：问答暂停"));
    EXPECT_EQ(recognizer->state(), State::listening());
    // Following goes on from the words already heard, without advancing.
    say(QStringLiteral("一下产品的发布计划"), false);
    EXPECT_GT(script->spokenCharacterOffset(0), spoken);
    say(opening);
    after(1.0);
    say(opening);
    EXPECT_EQ(script->currentIndex(), 0);

    automation->toggleQuestionPause();
    EXPECT_EQ(automation->status(), Status::listening(PromptMode::wordFollow));
    say(opening);
    after(1.0);
    say(opening);
    EXPECT_EQ(script->currentIndex(), 1);
}

TEST_F(SpeechAutomationControllerTest, TheLastSectionCompletesInPlace)
{
    script->setIndex(2, PresentationEventSource::manualPrompt);
    startFollowing();
    say(closing);
    after(1.0);
    say(closing);
    EXPECT_EQ(script->currentIndex(), 2);
    EXPECT_TRUE(script->completedSections().contains(2));
    EXPECT_EQ(automation->status(), Status::listening(PromptMode::wordFollow));
    after(1.0);
    say(closing); // cleared window: one more result is only the start of new evidence
    EXPECT_EQ(script->currentIndex(), 2);
}

TEST_F(SpeechAutomationControllerTest, OutputRouteIsVerifiedOnlyOnTheSystemDefault)
{
    EXPECT_FALSE(automation->hasVerifiedOutputRoute());
    automation->setOutputRouteVerified(true);
    EXPECT_TRUE(automation->hasVerifiedOutputRoute());
    automation->setOutputRouteVerified(true);
    EXPECT_EQ(statusPosts, 2); // announced every time
    automation->setOutputRouteVerified(false);
    EXPECT_FALSE(automation->hasVerifiedOutputRoute());

    startFollowing();
    automation->setOutputRouteVerified(true);
    automation->audioRouteChanged();
    EXPECT_FALSE(automation->hasVerifiedOutputRoute());
    EXPECT_EQ(automation->status(), Status::ready());
    EXPECT_FALSE(recognizer->isCapturing());

    // A stored output that is not the system default never counts as verified.
    audio->add(QStringLiteral("hdmi"), QStringLiteral("HDMI"), 0, 2);
    env.defaults().setString(AudioDeviceController::outputUIDKey, QStringLiteral("hdmi"));
    build();
    automation->setOutputRouteVerified(true);
    EXPECT_FALSE(automation->hasVerifiedOutputRoute());
}

TEST_F(SpeechAutomationControllerTest, ShutdownStopsTheRecognizerAndKeepsTheStatus)
{
    startFollowing();
    automation->shutdown();
    EXPECT_FALSE(recognizer->isCapturing());
    EXPECT_EQ(automation->status(), Status::listening(PromptMode::wordFollow));

    // Once the controller is gone, late recogniser reports reach nothing.
    automation->startSelectedMode();
    automation.reset();
    settle();
    EXPECT_FALSE(recognizer->onResult);
}

} // namespace
} // namespace quorvia
