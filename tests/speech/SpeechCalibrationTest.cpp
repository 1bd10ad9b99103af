#include "SpeechAutomationRig.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

namespace quorvia {
namespace {

using Status = SpeechAutomationStatus;
using State = OnDeviceSpeechState;

const QString failedVerdict = QStringLiteral("校准未通过（电平、识别匹配或延迟不足），请换麦克风重试，或降级为固定滚动/手动。");

class SpeechCalibrationTest : public ::testing::Test, public test::SpeechAutomationRig {
protected:
    // Starts a calibration and lets the recogniser come up.
    void startCalibration()
    {
        automation->startCalibration();
        settle();
        ASSERT_EQ(recognizer->state(), State::listening());
    }
};

TEST_F(SpeechCalibrationTest, CountsDownAndPassesAGoodMicrophone)
{
    startCalibration();
    EXPECT_EQ(automation->status(), Status::calibrating(8));
    EXPECT_EQ(automation->status().title(), QStringLiteral("语音：校准中 8s"));
    EXPECT_FALSE(automation->hasPassedCalibration());
    hear(-30);
    after(1.5);
    say(QStringLiteral("大家好今天我们来讨论"), false);
    // Results during a calibration never move the script.
    EXPECT_EQ(script->spokenCharacterOffset(0), 0);
    after(5.5);
    EXPECT_EQ(automation->status(), Status::calibrating(1));
    after(1.0);
    EXPECT_EQ(automation->status(), Status::ready());
    EXPECT_TRUE(automation->hasPassedCalibration());
    EXPECT_FALSE(recognizer->isCapturing());

    std::vector<Status> expected;
    for (int n = 8; n >= 1; --n)
        expected.push_back(Status::calibrating(n));
    expected.push_back(Status::ready());
    EXPECT_EQ(statuses, expected);

    // Nothing ticks afterwards.
    after(3.0);
    EXPECT_EQ(statuses.size(), expected.size());
}

TEST_F(SpeechCalibrationTest, EachShortfallFailsTheVerdict)
{
    struct Case {
        const char* name;
        double level;
        double firstResultAt; // < 0: no result
        QString text;
        bool passes;
    };
    const QString good = QStringLiteral("大家好今天我们来讨论");
    const std::vector<Case> cases = {
        {"all good", -30, 1.0, good, true},
        {"no result though loud", -10, -1, good, false},
        {"first result after 4.5 s", -30, 4.5, good, false},
        {"first result at 4 s", -30, 4.0, good, true},
        {"too quiet", -60, 1.0, good, false},
        {"just loud enough", -47.9, 1.0, good, true},
        {"off the script", -30, 1.0, QStringLiteral("春暖花开鸟语花香"), false},
    };
    for (const auto& c : cases) {
        test::SpeechAutomationRig rig;
        rig.automation->startCalibration();
        rig.settle();
        rig.hear(c.level);
        double elapsed = 0;
        if (c.firstResultAt >= 0) {
            rig.after(c.firstResultAt);
            elapsed = c.firstResultAt;
            rig.say(c.text, false);
            rig.after(1.0);
            elapsed += 1.0;
            rig.say(c.text, false); // later results do not rescue a late start
        }
        rig.after(8.0 - elapsed);
        EXPECT_EQ(rig.automation->hasPassedCalibration(), c.passes) << c.name;
        EXPECT_EQ(rig.automation->status(), c.passes ? Status::ready() : Status::degraded(failedVerdict)) << c.name;
        EXPECT_EQ(rig.recognizer->state(), State::idle()) << c.name;
    }
}

TEST_F(SpeechCalibrationTest, NeedsContentAndEndsEarlyWithoutAVerdict)
{
    script->deleteTimeline();
    automation->startCalibration();
    EXPECT_EQ(automation->status(), Status::unavailable(QStringLiteral("请先准备至少一个稿件段落。")));
    settle();
    EXPECT_EQ(recognizer->generation(), 0);
    after(9.0);
    EXPECT_EQ(automation->status(), Status::unavailable(QStringLiteral("请先准备至少一个稿件段落。")));

    script->replaceText(QStringLiteral("1\n") + opening);
    startCalibration();
    hear(-20);
    after(1.0);
    say(QStringLiteral("大家好今天我们来讨论"), false);
    after(2.0);
    automation->cancelCalibration();
    EXPECT_EQ(automation->status(), Status::ready());
    EXPECT_FALSE(recognizer->isCapturing());
    EXPECT_FALSE(automation->hasPassedCalibration());
    after(10.0);
    EXPECT_EQ(automation->status(), Status::ready());

    // A stop ends it the same way.
    startCalibration();
    automation->setSafetyState(PresentationSafetyState::safeStopped(QStringLiteral("镜像")));
    EXPECT_EQ(automation->status(), Status::ready());
    after(10.0);
    EXPECT_EQ(automation->status(), Status::ready());
    EXPECT_FALSE(automation->hasPassedCalibration());
}

TEST_F(SpeechCalibrationTest, ADeadRecognizerLeavesTheCountdownToItsVerdict)
{
    startCalibration();
    hear(-20);
    after(1.0);
    channel()->fail();
    settle();
    EXPECT_EQ(automation->status(), Status::unavailable(QStringLiteral("设备端语音结果流已中断。")));
    EXPECT_FALSE(recognizer->isCapturing());
    after(1.0);
    EXPECT_EQ(automation->status(), Status::calibrating(6));
    after(6.0);
    EXPECT_EQ(automation->status(), Status::degraded(failedVerdict));
}

} // namespace
} // namespace quorvia
