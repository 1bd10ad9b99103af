// The sound path against a real private sound server that is killed,
// restarted or stopped while the application uses it.

#include "AudioSetupHooks.h"
#include "SpeechAutomationRig.h"
#include "model/PromptScript.h"
#include "platform/sound/AnalyzerInputQueue.h"
#include "platform/core/MainQueue.h"
#include "platform/linux/system/LinuxPermissionService.h"
#include "platform/linux/sound/PulseAudioService.h"
#include "platform/linux/sound/PulseConnection.h"

#include "speech/AudioDeviceController.h"
#include "speech/AudioSetupWindowController.h"
#include "speech/OnDeviceSpeechController.h"
#include "speech/SpeechAutomationController.h"
#include "support/FakeDisplayService.h"
#include "support/FakePermissionService.h"
#include "support/FakeSpeechService.h"
#include "support/EventWait.h"
#include "support/PulseAudioServer.h"
#include "support/QtPrinting.h"
#include "support/TestPlatform.h"

#include <QComboBox>
#include <QLabel>
#include <QElapsedTimer>
#include <QPushButton>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace quorvia {
namespace {

using Status = SpeechAutomationStatus;
using State = OnDeviceSpeechState;

const QString analysisStopped = QStringLiteral("设备端连续语音分析已停止。");
const QString opening = QStringLiteral("大家好，今天我们来讨论一下产品的发布计划。");
const QString preparationFailed = QStringLiteral("语音识别准备失败，请检查麦克风和语音资源。");
const QString noPermission = QStringLiteral("未获得麦克风权限，请在系统设置中授权后重新校准。");
const QString toneFailed = QStringLiteral("测试音播放失败，请重新选择系统输出设备。");

// The Pulse service as the application sees it, which notes every call that
// does not come from the main thread.
class MainThreadAudio final : public platform::AudioService {
public:
    explicit MainThreadAudio(std::shared_ptr<platform::AudioService> inner) : inner_(std::move(inner)) {}
    std::vector<platform::AudioDeviceInfo> devices() override { return note(), inner_->devices(); }
    std::optional<platform::AudioDeviceID> defaultInputDevice() override { return note(), inner_->defaultInputDevice(); }
    std::optional<platform::AudioDeviceID> defaultOutputDevice() override
    {
        return note(), inner_->defaultOutputDevice();
    }
    bool setDefaultOutputDevice(platform::AudioDeviceID d) override { return note(), inner_->setDefaultOutputDevice(d); }
    bool setDefaultSystemOutputDevice(platform::AudioDeviceID d) override
    {
        return note(), inner_->setDefaultSystemOutputDevice(d);
    }
    std::unique_ptr<platform::AudioPlayer> makePlayer() override { return note(), inner_->makePlayer(); }
    std::unique_ptr<platform::AudioInput> makeInput() override { return note(), inner_->makeInput(); }

    std::atomic<int> offMainThread = 0;

private:
    void note()
    {
        if (!platform::MainQueue::isMainThread())
            ++offMainThread;
    }
    std::shared_ptr<platform::AudioService> inner_;
};

class SoundServerFaultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::PulseAudioServer::isInstalled()) << "pulseaudio is missing (scripts/deps installs it)";
        server = std::make_unique<test::PulseAudioServer>(QStringList{
            "module-null-sink sink_name=room_speaker rate=48000 channels=1 sink_properties=device.description=Room",
            "module-null-sink sink_name=headphones rate=48000 channels=2 sink_properties=device.description=Phones",
            "module-sine-source source_name=desk_mic rate=16000 frequency=440",
            "module-null-source source_name=quiet_mic rate=16000 channels=1 description=Quiet",
        });
        ASSERT_TRUE(server->isRunning()) << "the private pulseaudio server did not start";
        useDefaults();
        audio = std::make_shared<MainThreadAudio>(std::make_shared<platform::native::PulseAudioService>(server->address()));
        env.platform().audioService = audio;
        env.platform().permissionService = std::make_shared<platform::native::LinuxPermissionService>();
        env.platform().speechService = speech;
        env.platform().displayService = displays;
        displays->setScreens({test::FakeDisplayService::builtIn(1)});
        script = std::make_unique<PromptScript>(env.defaults());
        script->replaceText(QStringLiteral("1\n") + opening);
        script->setPromptMode(PromptMode::wordFollow);
        devices = std::make_unique<AudioDeviceController>(env.defaults());
        // As the application does once its island is up: the list later checks compare with.
        devices->loadDevices();
        recognizer = std::make_unique<OnDeviceSpeechController>(*devices);
        automation = std::make_unique<SpeechAutomationController>(*script, *recognizer, *devices);
        automation->setSafetyState(PresentationSafetyState::live());
    }

    void TearDown() override
    {
        automation.reset();
        recognizer.reset();
        devices.reset();
        env.scheduler().runPending();
    }

    // The server's defaults as every test starts: the loud microphone, the room's speaker.
    void useDefaults()
    {
        server->pactl({"set-default-source", "desk_mic"});
        server->pactl({"set-default-sink", "room_speaker"});
    }

    // The coordinator's one-second check.
    bool poll()
    {
        const bool changed = devices->refresh();
        if (changed)
            automation->audioRouteChanged();
        return changed;
    }

    // The room's speaker suspended, so a tone on it cannot play out before
    // the test has done with the server whatever it means to.
    void holdRoomSpeaker() { server->pactl({"suspend-sink", "room_speaker", "1"}); }

    std::unique_ptr<AudioSetupWindowController> makeSetupWindow()
    {
        return std::make_unique<AudioSetupWindowController>(*devices, test::setupWindowHooks(*automation));
    }

    // Runs main-queue work and the recogniser's queue until the condition
    // holds, or for as long as only a hang takes.
    bool pumpUntil(const std::function<bool()>& condition, int milliseconds = 60000)
    {
        return test::waitUntil([&] {
            env.scheduler().runPending();
            env.scheduler().drainQueues();
            return condition();
        }, milliseconds);
    }
    void pumpFor(int milliseconds) { pumpUntil([] { return false; }, milliseconds); }
    // Once the server has answered a request made after everything before it,
    // it has answered all of that too; what those answers called back is run.
    void answered()
    {
        audio->devices();
        env.scheduler().runPending();
    }

    // Captured buffers that reached the current run's analyser since the last call.
    int heard()
    {
        if (speech->analyzers.empty() || !speech->analyzers.back()->input)
            return 0;
        int count = 0;
        while (speech->analyzers.back()->input->tryNext())
            ++count;
        return count;
    }
    bool hears(int buffers = 3)
    {
        heard();
        int total = 0;
        return pumpUntil([&] { return (total += heard()) >= buffers; });
    }

    void startFollowing()
    {
        ASSERT_TRUE(automation->startSelectedMode());
        ASSERT_TRUE(pumpUntil([&] { return recognizer->state() == State::listening(); }));
        ASSERT_TRUE(hears()) << "no audio reached the recogniser";
    }

    test::TestPlatform env;
    std::unique_ptr<test::PulseAudioServer> server;
    std::shared_ptr<MainThreadAudio> audio;
    std::shared_ptr<test::FakeSpeechService> speech = std::make_shared<test::FakeSpeechService>();
    std::shared_ptr<test::FakeDisplayService> displays = std::make_shared<test::FakeDisplayService>();
    std::unique_ptr<PromptScript> script;
    std::unique_ptr<AudioDeviceController> devices;
    std::unique_ptr<OnDeviceSpeechController> recognizer;
    std::unique_ptr<SpeechAutomationController> automation;
};

TEST_F(SoundServerFaultTest, ATestToneCutOffMidwayCompletesOnceAndNeverReachesItsGonePlayer)
{
    // Each new tone cuts off the one still draining; the server's late answer
    // to that drain must find nothing (AddressSanitizer watches for it).
    std::vector<int> completions(6, 0);
    std::vector<bool> results(6, false);
    for (int i = 0; i < 5; ++i) {
        devices->playOutputTestTone([&, i](bool ok) {
            ++completions[i];
            results[i] = ok;
        });
        ASSERT_TRUE(devices->isPlayingTestTone());
        QThread::msleep(60); // partway into the tone, which no sign marks
    }
    ASSERT_TRUE(pumpUntil([&] { return !devices->isPlayingTestTone(); }));
    answered();
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(completions[i], 1) << "tone " << i;
        EXPECT_TRUE(results[i]) << "tone " << i;
    }

    // Quitting while a tone plays.
    devices->playOutputTestTone([&](bool ok) {
        ++completions[5];
        results[5] = ok;
    });
    QThread::msleep(60);
    automation.reset();
    recognizer.reset();
    devices.reset();
    answered();
    EXPECT_EQ(completions[5], 1);
}

TEST_F(SoundServerFaultTest, AServerKilledDuringAToneSaysItFailedOnceAndTheNextToneWorks)
{
    holdRoomSpeaker();
    int completions = 0;
    std::optional<bool> heard;
    devices->playOutputTestTone([&](bool ok) {
        ++completions;
        heard = ok;
    });
    ASSERT_TRUE(devices->isPlayingTestTone());
    server->kill();
    ASSERT_TRUE(pumpUntil([&] { return completions > 0; })) << "the cut-off tone never completed";
    EXPECT_EQ(heard, false);
    EXPECT_FALSE(devices->isPlayingTestTone());
    // The connection calls back all it has to say of the loss at once, and is
    // free again only then: what more it said is on the main queue.
    audio->devices();
    env.scheduler().runPending();
    EXPECT_EQ(completions, 1);

    // With no server there is no tone, and the answer comes at once.
    std::optional<bool> refused;
    devices->playOutputTestTone([&](bool ok) { refused = ok; });
    EXPECT_EQ(refused, false);

    ASSERT_TRUE(server->restart());
    useDefaults();
    poll();
    std::optional<bool> played;
    devices->playOutputTestTone([&](bool ok) { played = ok; });
    ASSERT_TRUE(pumpUntil([&] { return played.has_value(); }));
    EXPECT_EQ(played, true);
}

TEST_F(SoundServerFaultTest, AToneCutOffByARestartedServerShowsTheFailureButAStoppedOneDoesNot)
{
    auto window = makeSetupWindow();
    holdRoomSpeaker();
    window->playTestTone();
    ASSERT_TRUE(devices->isPlayingTestTone());
    ASSERT_TRUE(server->restart());
    ASSERT_TRUE(pumpUntil([&] { return window->statusLabel()->text() == toneFailed; }))
        << "a tone the restarted server never played was taken as heard";
    EXPECT_FALSE(devices->isPlayingTestTone());

    // On the new server, a tone the speaker stops is no failure of the output.
    useDefaults();
    poll();
    holdRoomSpeaker();
    window->present();
    std::optional<bool> stopped;
    devices->playOutputTestTone([&](bool ok) { stopped = ok; });
    ASSERT_TRUE(devices->isPlayingTestTone());
    devices->stopTestTone();
    ASSERT_TRUE(pumpUntil([&] { return stopped.has_value(); }));
    EXPECT_EQ(stopped, true);
    EXPECT_NE(window->statusLabel()->text(), toneFailed);
}

TEST_F(SoundServerFaultTest, WithNoMicrophoneAtAllWordFollowSaysSoAndARefusalStillNamesThePermission)
{
    server->pactl({"unload-module", "module-sine-source"});
    server->pactl({"unload-module", "module-null-source"});
    ASSERT_TRUE(poll());
    ASSERT_TRUE(devices->inputDevices().empty());
    ASSERT_FALSE(devices->outputDevices().empty());

    ASSERT_TRUE(automation->startSelectedMode());
    ASSERT_TRUE(pumpUntil([&] { return automation->status().kind == Status::Kind::unavailable; }));
    EXPECT_EQ(automation->status(), Status::unavailable(preparationFailed));
    EXPECT_FALSE(recognizer->isCapturing());

    // Where the system does refuse the microphone, the speaker is told to allow it.
    auto refusing = std::make_shared<test::FakePermissionService>();
    refusing->microphone = platform::AuthorizationStatus::denied;
    env.platform().permissionService = refusing;
    automation->startSelectedMode();
    ASSERT_TRUE(pumpUntil([&] { return automation->status().kind == Status::Kind::unavailable; }));
    EXPECT_EQ(automation->status(), Status::unavailable(noPermission));
}

TEST_F(SoundServerFaultTest, AServerKilledDuringRecognitionEndsItAndItStartsAgainOnTheNextServer)
{
    startFollowing();
    server->kill();
    // A check finds no devices once the connection has seen the loss: a route
    // change, which stops recognition on a connection whose server is gone.
    EXPECT_TRUE(test::waitUntil([&] { return poll(); }));
    EXPECT_TRUE(devices->devices().empty());
    EXPECT_EQ(automation->status(), Status::ready());
    EXPECT_FALSE(recognizer->isCapturing());
    // The capture's own report of the loss belongs to the stopped run.
    pumpFor(200);
    EXPECT_EQ(automation->status(), Status::ready());
    EXPECT_FALSE(poll());

    // Starting with no server fails through the recogniser's own state.
    automation->startSelectedMode();
    ASSERT_TRUE(pumpUntil([&] { return automation->status().kind == Status::Kind::unavailable; }));
    EXPECT_FALSE(recognizer->isCapturing());

    ASSERT_TRUE(server->restart());
    useDefaults();
    EXPECT_TRUE(poll());
    EXPECT_EQ(devices->devices().size(), 4u);
    startFollowing();
    EXPECT_EQ(automation->status(), Status::listening(PromptMode::wordFollow));
}

TEST_F(SoundServerFaultTest, AServerRestartedBetweenTwoChecksEndsTheCaptureItTookAlong)
{
    startFollowing();
    ASSERT_FALSE(poll());
    ASSERT_TRUE(server->restart());
    useDefaults();
    // Back before the next check: the devices read the same, so no route change.
    EXPECT_FALSE(poll());
    ASSERT_TRUE(pumpUntil([&] { return automation->status() != Status::listening(PromptMode::wordFollow); }))
        << "recognition still claims to listen to a stream the old server took along";
    EXPECT_EQ(automation->status(), Status::unavailable(analysisStopped));
    EXPECT_FALSE(recognizer->isCapturing());

    startFollowing();
    EXPECT_EQ(automation->status(), Status::listening(PromptMode::wordFollow));
}

TEST_F(SoundServerFaultTest, StartsMeetingServerRestartsAskForTheMicrophoneOnlyOnTheMainThread)
{
    // The recogniser's preparation runs on its own thread here, as in the application.
    std::atomic<bool> done = false;
    std::thread speechQueue([&] {
        while (!done) {
            env.scheduler().drainQueue(QStringLiteral("com.local.quorvia.speech"));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    // Main-queue work for a time, not until a sign: each round's restart is
    // meant to fall at another moment of the start.
    const auto pumpMain = [&](int milliseconds) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < milliseconds) {
            env.scheduler().runPending();
            QThread::msleep(2);
        }
    };
    for (int round = 0; round < 3; ++round) {
        automation->startSelectedMode();
        pumpMain(20 * round);
        ASSERT_TRUE(server->restart());
        useDefaults();
        pumpMain(100);
        poll();
        automation->stopRecognition();
        pumpMain(20);
    }
    automation->startSelectedMode();
    EXPECT_TRUE(test::waitUntil([&] {
        env.scheduler().runPending();
        return recognizer->state() == State::listening();
    }));
    done = true;
    speechQueue.join();
    EXPECT_EQ(audio->offMainThread, 0);
    EXPECT_EQ(recognizer->state(), State::listening());
}

TEST_F(SoundServerFaultTest, AStoppedServerNeverHoldsTheMainThreadLongAndIsReadAgainOnceItAnswers)
{
    startFollowing();
    ASSERT_FALSE(poll());
    const auto before = devices->devices();
    const auto inputBefore = devices->selectedInput();
    ASSERT_TRUE(inputBefore);

    // What the application does on the main thread each second while the
    // server is stopped: the device check, the setup window's reads, a tone.
    // The server stays stopped until they are done; only a call that waits
    // for it to answer makes the watchdog wake it. How long the calls take is
    // a figure for the sound server benchmark.
    double longest = 0;
    int checks = 0;
    std::vector<bool> toneResults;
    server->pause();
    std::atomic<bool> checked = false;
    std::atomic<bool> wokenByWatchdog = false;
    std::thread waker([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!checked && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        wokenByWatchdog = !checked;
        server->resume();
    });
    for (int round = 0; round < 10; ++round) {
        QElapsedTimer call;
        call.start();
        EXPECT_FALSE(poll()) << "a stalled server is no change of devices";
        EXPECT_EQ(devices->selectedInput(), inputBefore);
        devices->selectedOutputIsSystemDefault();
        devices->playOutputTestTone([&](bool ok) { toneResults.push_back(ok); });
        env.scheduler().runPending();
        longest = std::max(longest, call.elapsed() / 1000.0);
        ++checks;
        QThread::msleep(200);
    }
    checked = true;
    waker.join();
    std::printf("longest main-thread call while the server was stopped: %.0f ms over %d checks\n", longest * 1000,
                checks);
    EXPECT_FALSE(wokenByWatchdog) << "a main-thread call waited for the stopped server";
    EXPECT_EQ(devices->devices(), before);
    // Tones could not start while the server did not answer; each said so at once.
    EXPECT_EQ(toneResults, std::vector<bool>(toneResults.size(), false));
    EXPECT_EQ(int(toneResults.size()), checks);

    // Once the server answers again, the reads are fresh.
    server->pactl({"set-default-source", "quiet_mic"});
    bool changed = false;
    EXPECT_TRUE(pumpUntil([&] { return changed = changed || poll(); })) << "the changed default input was never seen";
    EXPECT_EQ(devices->selectedInput()->uid, "quiet_mic");
    std::optional<bool> played;
    devices->playOutputTestTone([&](bool ok) { played = ok; });
    ASSERT_TRUE(pumpUntil([&] { return played.has_value(); }));
    EXPECT_EQ(played, true);
}

TEST_F(SoundServerFaultTest, TheSetupWindowWithdrawsTheConfirmationWhenTheRouteChanges)
{
    auto owned = makeSetupWindow();
    auto& window = *owned;
    window.present();
    const auto choose = [](QComboBox* popup, const QString& uid) {
        popup->setCurrentIndex(popup->findData(uid));
        emit popup->activated(popup->currentIndex());
    };
    const auto confirm = [&] {
        window.confirmOutputRoute();
        ASSERT_TRUE(automation->hasVerifiedOutputRoute());
        ASSERT_TRUE(window.confirmButton()->isChecked());
        ASSERT_EQ(window.confirmButton()->text(), "会场输出已确认");
    };

    confirm();
    choose(window.outputPopup(), "headphones");
    EXPECT_EQ(server->pactl({"get-default-sink"}), "headphones");
    EXPECT_FALSE(automation->hasVerifiedOutputRoute());
    EXPECT_FALSE(window.confirmButton()->isChecked());
    EXPECT_EQ(window.confirmButton()->text(), "我在会场听到了");

    confirm();
    choose(window.inputPopup(), "quiet_mic");
    EXPECT_EQ(devices->selectedInputUID(), "quiet_mic");
    EXPECT_FALSE(automation->hasVerifiedOutputRoute());
    EXPECT_FALSE(window.confirmButton()->isChecked());
    EXPECT_EQ(window.confirmButton()->text(), "我在会场听到了");
}

TEST_F(SoundServerFaultTest, CalibrationIgnoresLevelsLeftOverFromTheRunBeforeIt)
{
    // A loud run whose last level reports are still queued when the
    // calibration starts on a silent microphone.
    startFollowing();
    // Level reports queue up on the main queue, left unrun.
    ASSERT_TRUE(test::waitUntil([&] { return env.scheduler().pendingCount() > 0; }));
    server->pactl({"set-default-source", "quiet_mic"});
    automation->startCalibration();
    ASSERT_TRUE(pumpUntil([&] { return recognizer->state() == State::listening() && speech->analyzers.size() == 2; }));
    ASSERT_EQ(recognizer->isCapturing(), true);

    // A result that matches the script at once: only the level can fail it.
    env.scheduler().advance(1.0);
    speech->transcribers.back()->results()->send({QStringLiteral("大家好今天我们来讨论一下"), true});
    pumpFor(100);
    for (int second = 0; second < 8; ++second) {
        env.scheduler().advance(1.0);
        env.scheduler().runPending();
    }
    EXPECT_EQ(automation->status(),
              Status::degraded(QStringLiteral("校准未通过（电平、识别匹配或延迟不足），请换麦克风重试，或降级为固定滚动/手动。")));
    EXPECT_FALSE(automation->hasPassedCalibration());
}

} // namespace
} // namespace quorvia
