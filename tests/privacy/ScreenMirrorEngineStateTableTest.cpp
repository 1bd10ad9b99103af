#include "ScreenMirrorEngineFixture.h"

using namespace quorvia;
using namespace quorvia::test;
using Kind = AudienceOutputMode::Kind;
using platform::FrameStatus;
using State = PresentationSafetyState;

namespace {

using Step = std::function<void(ScreenMirrorEngineFixture&)>;

// One row of the engine's state table: bring the engine into the "from"
// state, raise the event, and compare the state and what the audience sees.
struct Row {
    const char* name;
    Step arrange;
    Step event;
    State expected;
    // Absent: the audience window does not exist.
    std::optional<Kind> mode;
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

} // namespace

// Reaches the fixture's helpers from the rows.
class ScreenMirrorEngineStateTable : public ScreenMirrorEngineFixture, public ::testing::WithParamInterface<Row> {
public:
    using ScreenMirrorEngineFixture::capture;
    using ScreenMirrorEngineFixture::clock;
    using ScreenMirrorEngineFixture::deliver;
    using ScreenMirrorEngineFixture::disable;
    using ScreenMirrorEngineFixture::displays;
    using ScreenMirrorEngineFixture::enable;
    using ScreenMirrorEngineFixture::engine;
    using ScreenMirrorEngineFixture::permissions;
    using ScreenMirrorEngineFixture::process;
    using ScreenMirrorEngineFixture::startCapturing;
    using ScreenMirrorEngineFixture::startLive;
    using ScreenMirrorEngineFixture::stream;
    using ScreenMirrorEngineFixture::workspace;
    void TestBody() override {}
};

namespace {
using F = ScreenMirrorEngineFixture;
using T = ScreenMirrorEngineStateTable;

T& t(F& f) { return static_cast<T&>(f); }

const QString kSuspended = QStringLiteral("捕获暂时挂起；观众端保持最后安全帧");
const QString kThermal = QStringLiteral("系统热状态较高；已降至 15 fps 并暂停自动化");
const QString kResume = QStringLiteral("恢复时显示器或捕获身份已变化");
const QString kTopology = QStringLiteral("显示器拔插、重排、缩放或主显示器配置已变化");

void nothing(F&) {}
void enable_(F& f) { t(f).enable(); }
void standby(F& f) { t(f).enable(); }
void preflighting(F& f)
{
    t(f).enable();
    t(f).clock().advance(0.5);
}
void capturing(F& f) { t(f).startCapturing(); }
void live(F& f) { t(f).startLive(); }
void suspended(F& f)
{
    t(f).startLive();
    t(f).deliver(FrameStatus::suspended, nullptr);
}
void hot(F& f)
{
    t(f).startLive();
    t(f).process->thermal = platform::ThermalState::serious;
    t(f).clock().advance(0.5);
}
void paused(F& f)
{
    t(f).startLive();
    t(f).engine->privacyPause();
}
void answer(F& f)
{
    t(f).capture->answerContent();
    t(f).clock().runPending();
}
void advanceHalf(F& f) { t(f).clock().advance(0.5); }
void pause(F& f) { t(f).engine->privacyPause(); }
void resume(F& f) { t(f).engine->resumeAfterPrivacyPause(); }
void topology(F& f) { t(f).engine->handleTopologyChange(); }
void enableAgain(F& f)
{
    t(f).engine->setPrivacyOutputEnabled(true);
    t(f).clock().runPending();
}
void switchOff(F& f)
{
    t(f).disable();
    if (t(f).stream())
        t(f).stream()->completeStop();
    t(f).clock().runPending();
}
void failX(F& f)
{
    t(f).engine->failClosed(QStringLiteral("x"));
    if (t(f).stream())
        t(f).stream()->completeStop();
    t(f).clock().runPending();
}
void frame(F& f) { t(f).deliver(FrameStatus::complete, nullptr); }
void idle(F& f) { t(f).deliver(FrameStatus::idle, nullptr); }
void suspendedFrame(F& f) { t(f).deliver(FrameStatus::suspended, nullptr); }
void cool(F& f)
{
    t(f).process->thermal = platform::ThermalState::nominal;
    t(f).clock().advance(0.5);
}
void rescaleAudience(F& f) { t(f).displays->setScale(kAudience, 2.0); }
void keynoteLaunch(F& f)
{
    t(f).workspace->launch({QStringLiteral("com.apple.Keynote"), 90, QStringLiteral("Keynote")});
}
void shutdownNow(F& f)
{
    t(f).engine->shutdown({});
    if (t(f).stream())
        t(f).stream()->completeStop();
    t(f).clock().runPending();
}

const std::vector<Row> kRows{
    {"OffEnable", nothing, enable_, State::standby(), Kind::standby},
    {"OnEnableAgain", live, enableAgain, State::live(), Kind::live},
    {"BeginWithoutIdentity",
     [](F& f) { t(f).engine->setSelectedExternalDisplayID(std::nullopt); },
     enable_, State::safeStopped(QStringLiteral("显示器拓扑或观众外屏选择不安全")), std::nullopt},
    {"StandbyWaitElapsed", standby, advanceHalf, State::preflighting(), Kind::safe},
    {"PermissionRefused", [](F& f) { t(f).permissions->screenCaptureGranted = false; standby(f); }, advanceHalf,
     State::safeStopped(QStringLiteral("未获得屏幕录制权限；授权后请彻底重启应用")), Kind::safe},
    {"ContentFailed", preflighting,
     [](F& f) {
         t(f).capture->answerContent(std::unexpected(platform::CaptureError::contentUnavailable));
         t(f).clock().runPending();
     },
     State::safeStopped(QStringLiteral("无法读取可捕获内容")), Kind::safe},
    {"NoBuiltInCaptureDisplay", [](F& f) { t(f).capture->content.displays.clear(); preflighting(f); }, answer,
     State::safeStopped(QStringLiteral("无法确认内置显示器")), Kind::safe},
    {"OwnProcessNotShareable",
     [](F& f) { t(f).capture->content.applications.erase(t(f).capture->content.applications.begin()); preflighting(f); },
     answer, State::safeStopped(QStringLiteral("无法确认本应用过滤目标")), Kind::safe},
    {"OutputCannotBeAdded",
     [](F& f) { t(f).capture->addOutputError = platform::CaptureError::outputUnavailable; preflighting(f); }, answer,
     State::safeStopped(QStringLiteral("无法建立捕获输出")), Kind::safe},
    {"ContinuationAbandoned", [](F& f) { preflighting(f); t(f).displays->unplug(kAudience); }, answer,
     State::preflighting(), Kind::safe},
    {"CaptureStarted", preflighting,
     [](F& f) {
         answer(f);
         t(f).stream()->completeStart();
         t(f).clock().runPending();
     },
     State::preflighting(), Kind::live},
    {"CaptureStartFailed", preflighting,
     [](F& f) {
         answer(f);
         t(f).stream()->completeStart(platform::CaptureError::startFailed);
         t(f).clock().runPending();
         t(f).stream()->completeStop();
         t(f).clock().runPending();
     },
     State::safeStopped(QStringLiteral("捕获启动失败")), Kind::safe},
    {"FirstRenderableFrame", capturing, frame, State::live(), Kind::live},
    {"SuspendedFrame", live, suspendedFrame, State::degraded(kSuspended), Kind::frozen},
    {"SuspensionEndsByIdle", suspended, idle, State::live(), Kind::live},
    {"SuspensionEndsByFrame", suspended, frame, State::live(), Kind::live},
    {"SeriousHeat", live, [](F& f) { t(f).process->thermal = platform::ThermalState::serious; advanceHalf(f); },
     State::degraded(kThermal), Kind::live},
    {"HeatCools", hot, cool, State::live(), Kind::live},
    {"PauseLive", live, pause, State::privacyPaused(), Kind::frozen},
    {"PauseDegraded", hot, pause, State::privacyPaused(), Kind::frozen},
    {"PausePreflighting", capturing, pause, State::preflighting(), Kind::live},
    {"PauseStandby", standby, pause, State::standby(), Kind::standby},
    {"ResumePaused", paused, resume, State::live(), Kind::live},
    {"ResumeNotPaused", live, resume, State::safeStopped(kResume), Kind::frozen},
    {"ResumeIdentityChanged", [](F& f) { paused(f); rescaleAudience(f); }, resume, State::safeStopped(kResume),
     Kind::frozen},
    {"ResumeWhileOff", nothing, resume, State::disabled(), std::nullopt},
    {"TopologyChanged", [](F& f) { live(f); rescaleAudience(f); }, topology, State::safeStopped(kTopology),
     Kind::frozen},
    {"TopologyUnchanged", live, topology, State::live(), Kind::live},
    {"TopologyDuringStandby", standby, topology, State::standby(), Kind::standby},
    {"KeynoteLaunched", live, keynoteLaunch,
     State::safeStopped(QStringLiteral("Keynote 运行状态已变化；请重新启动隐私输出")), Kind::frozen},
    {"FailClosedWhileOn", live, failX, State::safeStopped(QStringLiteral("x")), Kind::safe},
    {"FailClosedWhileOff", nothing, failX, State::disabled(), std::nullopt},
    {"SwitchOffLive", live, switchOff, State::disabled(), std::nullopt},
    {"SwitchOffSafeStopped", [](F& f) { live(f); failX(f); }, switchOff, State::disabled(), std::nullopt},
    {"ShutdownKeepsTheState", live, shutdownNow, State::live(), std::nullopt},
};

} // namespace

TEST_P(ScreenMirrorEngineStateTable, Transition)
{
    const Row& row = GetParam();
    row.arrange(*this);
    row.event(*this);
    clock().runPending();
    EXPECT_EQ(engine->currentState(), row.expected)
        << engine->currentState().title().toStdString() << " " << engine->currentState().reason().toStdString();
    const auto* canvas = engine->output().canvas();
    if (row.mode) {
        ASSERT_NE(canvas, nullptr);
        EXPECT_EQ(canvas->mode().kind, *row.mode);
    } else {
        EXPECT_EQ(canvas, nullptr);
    }
    // Whatever happened, every report that was posted has arrived and agrees.
    if (!reported.empty())
        EXPECT_EQ(reported.back(), engine->currentState());
}

INSTANTIATE_TEST_SUITE_P(Engine, ScreenMirrorEngineStateTable, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });
