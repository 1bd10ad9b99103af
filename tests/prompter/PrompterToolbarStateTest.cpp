#include "prompter/PrompterToolbarState.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

using namespace quorvia;

namespace {

using Kind = PrompterSpeechStatus::Kind;
using Safety = PresentationSafetyState;

PrompterToolbarState::Inputs inputs(PromptMode mode, Kind speech = Kind::ready, const QString& title = u"语音：待命"_qs)
{
    PrompterToolbarState::Inputs in;
    in.mode = mode;
    in.hasContent = true;
    in.automationAvailable = true;
    in.speedText = u"260 字/分"_qs;
    in.speech = {.kind = speech, .title = title, .detail = {}};
    return in;
}

} // namespace

TEST(PrompterToolbarStateTest, FixedScrollFollowsTheClockAndTheRunCondition)
{
    auto in = inputs(PromptMode::fixedScroll);
    auto s = PrompterToolbarState::make(in);
    EXPECT_EQ(s.speedLabel, u"固定滚动 · 260 字/分"_qs);
    EXPECT_EQ(s.toggleTitle, u"开始滚动"_qs);
    EXPECT_TRUE(s.toggleEnabled && s.slowerEnabled && s.fasterEnabled);
    EXPECT_EQ(s.questionPauseTitle, u"问答暂停"_qs);
    EXPECT_FALSE(s.questionPauseEnabled);

    in.autoScrollRunning = true;
    in.canDecreaseSpeed = false;
    s = PrompterToolbarState::make(in);
    EXPECT_EQ(s.toggleTitle, u"暂停滚动"_qs);
    EXPECT_FALSE(s.slowerEnabled);
    EXPECT_TRUE(s.fasterEnabled);

    // Without the run condition nothing can start, whatever the speed.
    for (auto [content, available] : {std::pair{true, false}, std::pair{false, true}}) {
        in = inputs(PromptMode::fixedScroll);
        in.hasContent = content;
        in.automationAvailable = available;
        s = PrompterToolbarState::make(in);
        EXPECT_FALSE(s.toggleEnabled || s.slowerEnabled || s.fasterEnabled);
    }
}

TEST(PrompterToolbarStateTest, SpeechModesFollowTheSpeechStatus)
{
    struct Row {
        Kind kind;
        bool available;
        const char16_t* toggle;
        bool toggleEnabled;
        const char16_t* question;
        bool questionEnabled;
    };
    const std::vector<Row> rows = {
        {Kind::ready, true, u"开始语音", true, u"问答暂停", false},
        {Kind::listening, true, u"停止语音", true, u"问答暂停", true},
        // Listening keeps its pause even when automation has become unavailable.
        {Kind::listening, false, u"停止语音", false, u"问答暂停", true},
        {Kind::questionPaused, true, u"停止语音", true, u"继续跟读", true},
        {Kind::questionPaused, false, u"停止语音", false, u"继续跟读", false},
        {Kind::degraded, true, u"开始语音", true, u"恢复语音", true},
        {Kind::degraded, false, u"开始语音", false, u"恢复语音", false},
        {Kind::unavailable, true, u"开始语音", true, u"问答暂停", false},
        {Kind::calibrating, true, u"开始语音", true, u"问答暂停", false},
    };
    for (PromptMode mode : {PromptMode::wordFollow, PromptMode::keyword}) {
        for (const auto& row : rows) {
            auto in = inputs(mode, row.kind, u"语音：某状态"_qs);
            in.automationAvailable = row.available;
            const auto s = PrompterToolbarState::make(in);
            SCOPED_TRACE(QString::fromUtf16(row.toggle).toStdString() + " " + std::to_string(int(row.kind)));
            EXPECT_EQ(s.speedLabel, u"语音：某状态"_qs);
            EXPECT_EQ(s.toggleTitle, QString::fromUtf16(row.toggle));
            EXPECT_EQ(s.toggleEnabled, row.toggleEnabled);
            EXPECT_EQ(s.questionPauseTitle, QString::fromUtf16(row.question));
            EXPECT_EQ(s.questionPauseEnabled, row.questionEnabled);
            EXPECT_FALSE(s.slowerEnabled || s.fasterEnabled);
        }
    }
}

TEST(PrompterToolbarStateTest, SyncOnlyWhileOffOrLiveAndFontsByTheirLimits)
{
    const std::vector<std::pair<Safety, bool>> states = {
        {Safety::disabled(), true},      {Safety::live(), true},          {Safety::preparing(), false},
        {Safety::standby(), false},      {Safety::preflighting(), false}, {Safety::privacyPaused(), false},
        {Safety::degraded(u"卡顿"_qs), false}, {Safety::safeStopped(u"镜像"_qs), false},
    };
    for (const auto& [state, enabled] : states) {
        for (bool on : {false, true}) {
            auto in = inputs(PromptMode::wordFollow);
            in.safety = state;
            in.syncEnabled = on;
            const auto s = PrompterToolbarState::make(in);
            EXPECT_EQ(s.syncEnabled, enabled) << state.title().toStdString();
            EXPECT_EQ(s.syncTitle, on ? u"关闭双向同步"_qs : u"启用双向同步"_qs);
        }
    }
    for (PromptMode mode : allPromptModes) {
        auto in = inputs(mode);
        in.hasContent = false;
        in.canIncreaseFontSize = false;
        const auto s = PrompterToolbarState::make(in);
        EXPECT_FALSE(s.largerFontEnabled);
        EXPECT_TRUE(s.smallerFontEnabled);
    }
}
