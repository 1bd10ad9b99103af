#include "speech/OnDeviceSpeechController.h"

#include "platform/sound/AnalyzerInputQueue.h"
#include "platform/core/NotificationCenter.h"
#include "speech/AudioDeviceController.h"
#include "support/FakeAudioService.h"
#include "support/FakePermissionService.h"
#include "support/FakeSpeechService.h"
#include "support/QtPrinting.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quorvia {
namespace {

using State = OnDeviceSpeechState;
using platform::AuthorizationStatus;

const QString preparationFailed = "语音识别准备失败，请检查麦克风和语音资源。";

// Everything one controller runs on; a table case builds its own.
struct SpeechRig {
    SpeechRig()
    {
        audio->defaultInput = audio->add("mic", "Mic", 1, 0);
        audio->inputFormat = {48000, 1};
        platform.platform().audioService = audio;
        platform.platform().permissionService = permissions;
        platform.platform().speechService = speech;
        devices = std::make_unique<AudioDeviceController>();
        controller = std::make_unique<OnDeviceSpeechController>(*devices);
        controller->onStateChange = [this](const State& s) { states.push_back(s); };
        controller->onResult = [this](const OnDeviceSpeechResult& r) { results.push_back(r); };
        controller->onInputLevel = [this](double level) { levels.push_back(level); };
        posts = platform::NotificationCenter::defaultCenter().observe(
            NotificationName::onDeviceSpeechStateChanged, controller.get(), [this](const auto&) { ++postCount; });
    }

    void startAndSettle()
    {
        controller->start();
        platform.scheduler().settle();
    }

    std::shared_ptr<platform::SpeechResultChannel> channel() { return speech->transcribers.back()->results(); }

    platform::PCMBuffer sine(std::uint32_t frames, double rate, float amplitude = 0.5f)
    {
        auto buffer = *platform::PCMBuffer::make({rate, 1}, frames);
        buffer.setFrameLength(frames);
        for (std::uint32_t i = 0; i < frames; ++i)
            buffer.channelData(0)[i] = amplitude * float(std::sin(2 * M_PI * 440 * i / rate));
        return buffer;
    }

    test::TestPlatform platform;
    std::shared_ptr<test::FakeAudioService> audio = std::make_shared<test::FakeAudioService>();
    std::shared_ptr<test::FakePermissionService> permissions = std::make_shared<test::FakePermissionService>();
    std::shared_ptr<test::FakeSpeechService> speech = std::make_shared<test::FakeSpeechService>();
    std::unique_ptr<AudioDeviceController> devices;
    std::unique_ptr<OnDeviceSpeechController> controller;
    std::vector<State> states;
    std::vector<OnDeviceSpeechResult> results;
    std::vector<double> levels;
    platform::Observation posts;
    int postCount = 0;
};

class OnDeviceSpeechControllerTest : public ::testing::Test, public SpeechRig {};

TEST_F(OnDeviceSpeechControllerTest, EachPreparationFailureEndsInItsMessageWithoutCapture)
{
    struct Case {
        const char* name;
        std::function<void(SpeechRig&)> arrange;
        State expected;
    };
    const State noPermission = State::unavailable("未获得麦克风权限，请在系统设置中授权后重新校准。");
    const State noModel = State::unavailable("当前系统没有可用的设备端中文语音模型。");
    const std::vector<Case> cases = {
        {"denied", [](auto& t) { t.permissions->microphone = AuthorizationStatus::denied; }, noPermission},
        {"restricted", [](auto& t) { t.permissions->microphone = AuthorizationStatus::restricted; }, noPermission},
        {"asked and refused",
         [](auto& t) {
             t.permissions->microphone = AuthorizationStatus::notDetermined;
             t.permissions->microphoneRequestGrants = false;
         },
         noPermission},
        {"no transcriber", [](auto& t) { t.speech->available = false; }, noModel},
        {"no locale", [](auto& t) { t.speech->supported.reset(); }, noModel},
        {"no installation offered",
         [](auto& t) {
             t.speech->assets = platform::SpeechAssetStatus::supported;
             t.speech->installation = test::FakeSpeechService::Installation::none;
         },
         State::unavailable("设备端中文语音资源尚未安装。")},
        {"installation request fails",
         [](auto& t) {
             t.speech->assets = platform::SpeechAssetStatus::supported;
             t.speech->installation = test::FakeSpeechService::Installation::error;
         },
         State::failed(preparationFailed)},
        {"installing fails",
         [](auto& t) {
             t.speech->assets = platform::SpeechAssetStatus::downloading;
             t.speech->installation = test::FakeSpeechService::Installation::offeredFails;
         },
         State::failed(preparationFailed)},
        {"reservation fails", [](auto& t) { t.speech->reserveSucceeds = false; }, State::failed(preparationFailed)},
        {"no audio format", [](auto& t) { t.speech->format.reset(); },
         State::unavailable("设备端语音模型没有可用的音频格式。")},
        {"microphone refuses binding", [](auto& t) { t.audio->refuseBinding = true; },
         State::failed(preparationFailed)},
        {"no microphone", [](auto& t) { t.audio->deviceList.clear(); }, State::failed(preparationFailed)},
        {"input has no sample rate", [](auto& t) { t.audio->inputFormat = {0, 1}; },
         State::failed(preparationFailed)},
        {"capture does not start", [](auto& t) { t.audio->refuseStart = true; }, State::failed(preparationFailed)},
    };
    for (const auto& c : cases) {
        SpeechRig t;
        c.arrange(t);
        t.devices->refresh();
        t.startAndSettle();
        EXPECT_EQ(t.controller->state(), c.expected) << c.name;
        EXPECT_EQ(t.controller->state().detail(), c.expected.message) << c.name;
        EXPECT_EQ(t.states, (std::vector<State>{State::preparing(), c.expected})) << c.name;
        EXPECT_FALSE(t.controller->isCapturing()) << c.name;
        for (auto* input : t.audio->inputs)
            EXPECT_TRUE(input == nullptr || !input->running) << c.name;
    }
}

TEST_F(OnDeviceSpeechControllerTest, PreparesTheLocaleAndStartsListening)
{
    speech->assets = platform::SpeechAssetStatus::supported;
    startAndSettle();
    EXPECT_EQ(controller->state(), State::listening());
    EXPECT_EQ(controller->state().detail(), "设备端连续识别中；现场音频不会上传");
    EXPECT_EQ(states, (std::vector<State>{State::preparing(), State::listening()}));
    EXPECT_EQ(postCount, 2);
    EXPECT_EQ(speech->requestedLocale, "zh-Hans-CN");
    EXPECT_EQ(speech->transcribers.back()->locale(), "zh_CN"); // the supported one, not the one asked for
    EXPECT_EQ(speech->installs, 1);
    EXPECT_EQ(speech->reservedLocales, std::vector<QString>{"zh_CN"});
    EXPECT_EQ(speech->analyzers.back()->preparedFormat, (platform::AudioFormat{16000, 1}));
    EXPECT_EQ(audio->lastInput()->boundDevice, audio->find("mic")->id);
    EXPECT_EQ(audio->lastInput()->tapFrames, 1024u);
    EXPECT_TRUE(controller->isCapturing());

    // Installed assets need no request; reservation still happens.
    controller->stop();
    speech->assets = platform::SpeechAssetStatus::installed;
    startAndSettle();
    EXPECT_EQ(speech->installationRequests, 1);
    EXPECT_EQ(speech->reservedLocales.size(), 2u);

    // A start while listening changes nothing.
    const auto generation = controller->generation();
    controller->start();
    platform.scheduler().settle();
    EXPECT_EQ(controller->generation(), generation);
    EXPECT_EQ(speech->analyzers.size(), 2u);
}

TEST_F(OnDeviceSpeechControllerTest, OnlyTheNewestStartOrAStopDecides)
{
    permissions->microphone = AuthorizationStatus::denied;
    controller->start();
    platform.scheduler().drainQueues(); // the first run's failure is on its way
    permissions->microphone = AuthorizationStatus::authorized;
    controller->start();
    platform.scheduler().settle();
    EXPECT_EQ(controller->state(), State::listening());
    EXPECT_EQ(controller->generation(), 2);
    EXPECT_EQ(speech->analyzers.size(), 1u);

    // Two starts whose preparations both succeed: the first makes no engine.
    controller->stop();
    controller->start();
    controller->start();
    platform.scheduler().settle();
    EXPECT_EQ(speech->transcribers.size(), 3u);
    EXPECT_EQ(speech->analyzers.size(), 2u);

    // A stop during preparation drops what the preparation finds.
    controller->stop();
    states.clear();
    controller->start();
    controller->stop();
    platform.scheduler().settle();
    EXPECT_EQ(controller->state(), State::idle());
    EXPECT_FALSE(controller->isCapturing());
    EXPECT_EQ(speech->analyzers.size(), 2u);
    EXPECT_EQ(states.back(), State::idle());

    // A stop with nothing running raises the generation and announces nothing.
    const int before = postCount;
    const auto generation = controller->generation();
    controller->stop();
    platform.scheduler().settle();
    EXPECT_EQ(controller->generation(), generation + 1);
    EXPECT_EQ(postCount, before);
}

TEST_F(OnDeviceSpeechControllerTest, CapturedAudioIsConvertedMeasuredAndQueued)
{
    startAndSettle();
    auto* input = audio->lastInput();
    auto analyzer = speech->analyzers.back();
    ASSERT_TRUE(analyzer->input);
    for (int i = 0; i < 30; ++i)
        ASSERT_TRUE(input->deliver(sine(1024, 48000)));
    EXPECT_EQ(analyzer->input->size(), 24u); // the newest 24 wait
    const auto first = analyzer->input->tryNext();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->format(), (platform::AudioFormat{16000, 1}));
    EXPECT_EQ(first->frameCapacity(), 350u);
    EXPECT_NEAR(first->frameLength(), 341, 2);
    platform.scheduler().runPending();
    ASSERT_EQ(levels.size(), 30u);
    EXPECT_NEAR(levels.front(), 20 * std::log10(0.5 / std::sqrt(2.0)), 0.1);

    controller->stop();
    EXPECT_EQ(audio->lastInput(), nullptr); // capture ended and released
    EXPECT_EQ(analyzer->input->yield(sine(16, 16000)), platform::AnalyzerInputQueue::YieldResult::terminated);
    platform.scheduler().settle();
    EXPECT_EQ(analyzer->cancels, 1);
}

TEST_F(OnDeviceSpeechControllerTest, ResultsArriveInOrderUntilStopped)
{
    startAndSettle();
    auto results1 = channel();
    results1->send({"你好", false});
    results1->send({"你好世界", true});
    platform.scheduler().settle();
    EXPECT_EQ(results, (std::vector<OnDeviceSpeechResult>{{"你好", false}, {"你好世界", true}}));

    results1->finish(); // a sequence ending normally changes nothing
    platform.scheduler().settle();
    EXPECT_EQ(controller->state(), State::listening());

    controller->stop();
    startAndSettle();
    auto results2 = channel();
    controller->stop();
    results2->send({"迟到", true});
    results2->fail();
    platform.scheduler().settle();
    EXPECT_EQ(results.size(), 2u);
    EXPECT_EQ(controller->state(), State::idle());
}

TEST_F(OnDeviceSpeechControllerTest, AFailureWhileListeningReleasesTheMicrophoneAndAllowsAFreshStart)
{
    startAndSettle();
    channel()->fail();
    platform.scheduler().settle();
    EXPECT_EQ(controller->state(), State::failed("设备端语音结果流已中断。"));
    EXPECT_FALSE(controller->isCapturing());
    EXPECT_EQ(audio->lastInput(), nullptr);
    EXPECT_EQ(speech->analyzers.back()->cancels, 1);

    startAndSettle();
    EXPECT_EQ(controller->state(), State::listening());
    EXPECT_EQ(speech->analyzers.size(), 2u);

    controller->stop();
    speech->analyzerStarts = false;
    startAndSettle();
    EXPECT_EQ(controller->state(), State::failed("设备端连续语音分析已停止。"));
    EXPECT_FALSE(controller->isCapturing());
}

TEST_F(OnDeviceSpeechControllerTest, CaptureLostByTheSoundSystemEndsOnlyItsOwnRun)
{
    startAndSettle();
    auto interrupted = audio->lastInput()->onInterrupted;
    ASSERT_TRUE(interrupted);
    interrupted();
    platform.scheduler().settle();
    EXPECT_EQ(controller->state(), State::failed("设备端连续语音分析已停止。"));
    EXPECT_FALSE(controller->isCapturing());
    EXPECT_EQ(audio->lastInput(), nullptr);

    // A new run is not ended by the old run's late report.
    startAndSettle();
    ASSERT_EQ(controller->state(), State::listening());
    interrupted();
    platform.scheduler().settle();
    EXPECT_EQ(controller->state(), State::listening());
    EXPECT_TRUE(controller->isCapturing());
}

TEST_F(OnDeviceSpeechControllerTest, LevelsStillQueuedWhenTheirRunEndsAreDropped)
{
    startAndSettle();
    ASSERT_TRUE(audio->lastInput()->deliver(sine(1024, 48000)));
    controller->stop();
    startAndSettle();
    EXPECT_TRUE(levels.empty());
    ASSERT_TRUE(audio->lastInput()->deliver(sine(1024, 48000, 0.1f)));
    platform.scheduler().runPending();
    ASSERT_EQ(levels.size(), 1u);
    EXPECT_NEAR(levels.front(), 20 * std::log10(0.1 / std::sqrt(2.0)), 0.1);
}

} // namespace
} // namespace quorvia
