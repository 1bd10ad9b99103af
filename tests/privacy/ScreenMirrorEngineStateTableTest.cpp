#include "ScreenMirrorEngineFixture.h"
#include "support/QtPrinting.h"

using namespace quorvia;
using namespace quorvia::test;

namespace {

using F = ScreenMirrorEngineFixture;
using Step = std::function<void(F&)>;

// One row of the state table: arrange the "from" state, raise the event, compare state and audience view.
struct Row {
    const char* name;
    Step arrange;
    Step event;
    State expected;
    // Absent: the audience window does not exist.
    std::optional<Kind> mode;
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

void nothing(F&) {}
void standby(F& f) { f.enable(); }
void preflighting(F& f) { f.preflighting(); }
void capturing(F& f) { f.startCapturing(); }
void live(F& f) { f.startLive(); }
void suspended(F& f) { f.startLive(), f.deliver(FrameStatus::suspended); }
void serious(F& f) { f.process->thermal = platform::ThermalState::serious, f.clock().advance(0.5); }
void hot(F& f) { f.startLive(), serious(f); }
void paused(F& f) { f.startLive(), f.engine->privacyPause(); }
void failX(F& f) { f.failClosedAndStop(QStringLiteral("x")); }
void safeStopped(F& f) { f.startLive(), failX(f); }
void answer(F& f) { f.capture->answerContent(), f.clock().runPending(); }
void advanceHalf(F& f) { f.clock().advance(0.5); }
void pause(F& f) { f.engine->privacyPause(); }
void resume(F& f) { f.engine->resumeAfterPrivacyPause(); }
void topology(F& f) { f.engine->handleTopologyChange(); }
void frame(F& f) { f.deliver(FrameStatus::complete); }
void refused(F& f) { f.permissions->screenCaptureGranted = false; }
void unplugged(F& f) { f.displays->unplug(kAudience); }
State stopped(const char* reason) { return State::safeStopped(QString::fromUtf8(reason)); }

// Chains steps into one.
template <typename... Steps>
Step then(Steps... steps)
{
    return [=](F& f) { (steps(f), ...); };
}

const std::vector<Row> kRows{
    {"OffEnable", nothing, standby, State::standby(), Kind::standby},
    {"OnEnableAgain", live, standby, State::live(), Kind::live},
    {"BeginWithoutIdentity", [](F& f) { f.engine->setSelectedExternalDisplayID(std::nullopt); }, standby,
     State::safeStopped(kUnsafe), std::nullopt},
    {"StandbyWaitElapsed", standby, advanceHalf, State::preflighting(), Kind::safe},
    {"PermissionGrantedOnRequest", then(refused, [](F& f) { f.permissions->screenRequestGrants = true; }, standby),
     advanceHalf, State::preflighting(), Kind::safe},
    {"PermissionRefused", then(refused, standby), advanceHalf, stopped("未获得屏幕录制权限；授权后请彻底重启应用"),
     Kind::safe},
    {"ContentFailed", preflighting,
     [](F& f) { f.capture->answerContent(std::unexpected(platform::CaptureError::contentUnavailable)); },
     stopped("无法读取可捕获内容"), Kind::safe},
    {"NoBuiltInCaptureDisplay", then([](F& f) { f.capture->content.displays.clear(); }, preflighting), answer,
     stopped("无法确认内置显示器"), Kind::safe},
    {"OwnProcessNotShareable", then([](F& f) { f.capture->content.applications.erase(f.capture->content.applications.begin()); }, preflighting),
     answer, stopped("无法确认本应用过滤目标"), Kind::safe},
    {"OutputCannotBeAdded", then([](F& f) { f.capture->addOutputError = platform::CaptureError::outputUnavailable; }, preflighting),
     answer, stopped("无法建立捕获输出"), Kind::safe},
    // The audience display went during the content request: abandoned without
    // a report, until the next topology check.
    {"ContinuationAbandoned", then(preflighting, unplugged), answer, State::preflighting(), Kind::safe},
    {"TopologyAfterAbandonedStart", then(preflighting, unplugged, answer), topology, State::safeStopped(kTopology),
     std::nullopt},
    {"CaptureStarted", preflighting, then(answer, [](F& f) { f.stream()->completeStart(); }), State::preflighting(),
     Kind::live},
    {"CaptureStartFailed", preflighting,
     then(answer, [](F& f) { f.stream()->completeStart(platform::CaptureError::startFailed), f.clock().runPending(); },
          [](F& f) { f.completeStop(); }),
     stopped("捕获启动失败"), Kind::safe},
    {"FirstRenderableFrame", capturing, frame, State::live(), Kind::live},
    {"SuspendedFrame", live, [](F& f) { f.deliver(FrameStatus::suspended); }, State::degraded(kSuspended), Kind::frozen},
    {"SuspensionEndsByIdle", suspended, [](F& f) { f.deliver(FrameStatus::idle); }, State::live(), Kind::live},
    {"SuspensionEndsByFrame", suspended, frame, State::live(), Kind::live},
    {"SeriousHeat", live, serious, State::degraded(kThermal), Kind::live},
    {"HeatCools", hot, [](F& f) { f.process->thermal = platform::ThermalState::nominal, advanceHalf(f); },
     State::live(), Kind::live},
    {"PauseLive", live, pause, State::privacyPaused(), Kind::frozen},
    {"PauseDegraded", hot, pause, State::privacyPaused(), Kind::frozen},
    {"PausePreflighting", capturing, pause, State::preflighting(), Kind::live},
    {"PauseStandby", standby, pause, State::standby(), Kind::standby},
    {"ResumePaused", paused, resume, State::live(), Kind::live},
    {"ResumeNotPaused", live, resume, State::safeStopped(kResume), Kind::frozen},
    {"ResumeAudienceScreenChanged",
     then(paused, [](F& f) { f.displays->setFrame(kAudience, platform::Rect(1440, 0, 2560, 1440)); }), resume,
     State::safeStopped(kResume), Kind::frozen},
    {"ResumeWhileOff", nothing, resume, State::disabled(), std::nullopt},
    {"TopologyRescaled", then(live, [](F& f) { f.displays->setScale(kAudience, 2.0); }), topology,
     State::safeStopped(kTopology), Kind::frozen},
    {"TopologyMainDisplayChanged",
     then(live, [](F& f) { f.displays->unplug(kBuiltIn), f.displays->plug(FakeDisplayService::builtIn(kBuiltIn)); }),
     topology, State::safeStopped(kTopology), Kind::frozen},
    {"TopologyUnchanged", live, topology, State::live(), Kind::live},
    {"TopologyDuringStandby", standby, topology, State::standby(), Kind::standby},
    {"KeynoteLaunched", live,
     [](F& f) { f.workspace->launch({QStringLiteral("com.apple.iWork.Keynote"), 91, QStringLiteral("Keynote")}); },
     State::safeStopped(kKeynoteChanged), Kind::frozen},
    {"FailClosedWhileOn", live, failX, stopped("x"), Kind::safe},
    {"FailClosedWhileOff", nothing, failX, State::disabled(), std::nullopt},
    // A second fail-closed call finds the output off: it takes the card down.
    {"FailClosedAfterAFailClosedStop", safeStopped, failX, State::disabled(), std::nullopt},
    {"SwitchOffLive", live, [](F& f) { f.turnOff(); }, State::disabled(), std::nullopt},
    {"SwitchOffSafeStopped", safeStopped, [](F& f) { f.turnOff(); }, State::disabled(), std::nullopt},
    {"ShutdownKeepsTheState", live, then([](F& f) { f.engine->shutdown({}); }, [](F& f) { f.completeStop(); }),
     State::live(), std::nullopt},
};

} // namespace

class ScreenMirrorEngineStateTable : public ScreenMirrorEngineFixture, public ::testing::WithParamInterface<Row> {};

TEST_P(ScreenMirrorEngineStateTable, Transition)
{
    const Row& row = GetParam();
    row.arrange(*this);
    row.event(*this);
    clock().runPending();
    EXPECT_EQ(state(), row.expected) << state().title().toStdString() << " " << state().reason().toStdString();
    if (row.mode) {
        ASSERT_NE(canvas(), nullptr);
        EXPECT_EQ(canvas()->mode().kind, *row.mode);
    } else {
        EXPECT_EQ(canvas(), nullptr);
    }
    // Whatever happened, every report that was posted has arrived and agrees.
    if (!reported.empty()) {
        EXPECT_EQ(reported.back(), state());
    }
}

INSTANTIATE_TEST_SUITE_P(Engine, ScreenMirrorEngineStateTable, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });
