#include "speech/AudioDeviceController.h"

#include "platform/core/NotificationCenter.h"
#include "support/FakeAudioService.h"
#include "support/QtPrinting.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quorvia {
namespace {

class AudioDeviceControllerTest : public ::testing::Test {
protected:
    AudioDeviceControllerTest()
    {
        platform.platform().audioService = audio;
        selections = platform::NotificationCenter::defaultCenter().observe(
            NotificationName::audioDeviceSelectionChanged, nullptr, [this](const auto&) { ++selectionPosts; });
    }

    std::vector<QString> uids(const std::vector<AudioDeviceDescriptor>& list)
    {
        std::vector<QString> result;
        for (const auto& d : list)
            result.push_back(d.uid);
        return result;
    }

    test::TestPlatform platform;
    std::shared_ptr<test::FakeAudioService> audio = std::make_shared<test::FakeAudioService>();
    platform::Observation selections;
    int selectionPosts = 0;
};

TEST_F(AudioDeviceControllerTest, SignatureListsCapabilitiesAndDefaultsAndIgnoresNames)
{
    const auto mic = audio->add("mic", "Desk Mic", 1, 0);
    const auto speaker = audio->add("spk", "Speaker", 0, 2);
    audio->defaultInput = mic;
    audio->defaultOutput = speaker;
    AudioDeviceController controller;
    EXPECT_EQ(AudioDeviceController::deviceSignature(controller.devices(), mic, speaker),
              "mic:true:false|spk:false:true|default:1:2");
    EXPECT_FALSE(controller.refresh());

    audio->find("mic")->name = "Renamed Mic";
    EXPECT_FALSE(controller.refresh());
    EXPECT_EQ(controller.devices().front().name, "Renamed Mic");

    audio->add("usb", "USB Headset", 1, 2);
    EXPECT_TRUE(controller.refresh());
    audio->find("usb")->inputChannels = 0;
    EXPECT_TRUE(controller.refresh());
    audio->defaultOutput = audio->find("usb")->id;
    EXPECT_TRUE(controller.refresh());
    audio->remove("usb");
    EXPECT_TRUE(controller.refresh());
}

TEST_F(AudioDeviceControllerTest, NoHardwareGivesEmptyListsAndNothingInForce)
{
    AudioDeviceController controller;
    EXPECT_TRUE(controller.devices().empty());
    EXPECT_EQ(AudioDeviceController::deviceSignature({}, std::nullopt, std::nullopt), "|default:0:0");
    EXPECT_FALSE(controller.selectedInput());
    EXPECT_FALSE(controller.selectedOutput());
    EXPECT_FALSE(controller.selectedOutputIsSystemDefault());
    auto input = audio->makeInput();
    EXPECT_EQ(controller.configureInputNode(*input), std::unexpected(AudioDeviceError::inputUnavailable));
    EXPECT_EQ(description(AudioDeviceError::inputUnavailable), "无法使用所选麦克风，请重新选择并校准。");
}

TEST_F(AudioDeviceControllerTest, TheSoundServerIsAskedOnlyOnFirstUseAndThenAnswersAsIfReadAtOnce)
{
    audio->add("mic", "Desk Mic", 1, 0);
    platform.defaults().setString(AudioDeviceController::inputUIDKey, "gone");
    platform.defaults().setString(AudioDeviceController::outputUIDKey, "spk");
    AudioDeviceController controller;
    EXPECT_EQ(audio->serverQuestions, 0);

    // Plugged in after construction and before the first question: it is listed.
    const auto speaker = audio->add("spk", "Speaker", 0, 2);
    audio->defaultOutput = speaker;
    // A stored choice whose device is absent falls back on the first question too.
    EXPECT_FALSE(controller.selectedInputUID());
    EXPECT_GT(audio->serverQuestions, 0);
    EXPECT_EQ(uids(controller.devices()), (std::vector<QString>{"mic", "spk"}));
    EXPECT_EQ(controller.selectedOutputUID(), "spk");
    EXPECT_EQ(controller.selectedInput()->uid, "mic");
    // The first reading is the baseline, not a change; later ones compare with it.
    EXPECT_FALSE(controller.refresh());
    audio->remove("spk");
    EXPECT_TRUE(controller.refresh());
}

TEST_F(AudioDeviceControllerTest, EveryFirstQuestionReadsTheDevices)
{
    audio->add("mic", "Desk Mic", 1, 2);
    const std::vector<std::function<bool(AudioDeviceController&)>> questions = {
        [](auto& c) { return c.inputDevices().size() == 1; },
        [](auto& c) { return c.outputDevices().size() == 1; },
        [](auto& c) { return c.selectedOutput().has_value(); },
        [](auto& c) { return c.selectOutput("mic"); },
        [&](auto& c) {
            c.selectInput("mic");
            return c.selectedInputUID() == "mic";
        },
        [&](auto& c) { return c.configureInputNode(*audio->makeInput()).has_value(); },
        [](auto& c) {
            c.loadDevices();
            return c.devices().size() == 1;
        },
        // Its first reading tells nothing new.
        [](auto& c) { return !c.refresh() && c.devices().size() == 1; },
    };
    for (std::size_t i = 0; i < questions.size(); ++i) {
        AudioDeviceController controller;
        EXPECT_TRUE(questions[i](controller)) << "question " << i;
    }
}

TEST_F(AudioDeviceControllerTest, ListsSortLikeTheFinderAndSplitByCapability)
{
    audio->add("mute", "Dummy", 0, 0);
    audio->add("noid", "", 1, 0);
    audio->deviceList.back().uid.clear();
    audio->add("m10", "Mic 10", 1, 0);
    audio->add("m2", "mic 2", 1, 0);
    audio->add("both", "Headset", 1, 2);
    audio->add("dupA", "Speaker", 0, 2);
    audio->add("dupB", "speaker", 0, 2);
    AudioDeviceController controller;
    EXPECT_EQ(uids(controller.devices()), (std::vector<QString>{"both", "m2", "m10", "dupA", "dupB"}));
    EXPECT_EQ(uids(controller.inputDevices()), (std::vector<QString>{"both", "m2", "m10"}));
    EXPECT_EQ(uids(controller.outputDevices()), (std::vector<QString>{"both", "dupA", "dupB"}));
}

TEST_F(AudioDeviceControllerTest, DeviceInForceFollowsChoiceThenSystemDefaultThenFirstCapable)
{
    const auto builtIn = audio->add("builtin", "Built-in Mic", 1, 0);
    const auto usb = audio->add("usb", "USB Mic", 1, 0);
    const auto speaker = audio->add("spk", "Speaker", 0, 2);
    AudioDeviceController controller;
    EXPECT_EQ(controller.selectedInput()->uid, "builtin"); // no default: first capable

    audio->defaultInput = usb;
    EXPECT_EQ(controller.selectedInput()->uid, "usb"); // read now, not cached
    audio->defaultInput = speaker;
    EXPECT_EQ(controller.selectedInput()->uid, "spk"); // the default is taken whatever it can do
    audio->defaultOutput = 99;
    EXPECT_FALSE(controller.selectedOutput());

    controller.selectInput("builtin");
    EXPECT_EQ(controller.selectedInput()->id, builtIn);
    EXPECT_EQ(selectionPosts, 1);
    EXPECT_EQ(platform.defaults().string(AudioDeviceController::inputUIDKey), "builtin");

    controller.selectInput("spk"); // not an input: nothing happens
    controller.selectInput("gone");
    EXPECT_EQ(controller.selectedInputUID(), "builtin");
    EXPECT_EQ(selectionPosts, 1);
}

TEST_F(AudioDeviceControllerTest, VanishedOrChangedChoiceIsDroppedInMemoryOnly)
{
    platform.defaults().setString(AudioDeviceController::inputUIDKey, "usb");
    platform.defaults().setString(AudioDeviceController::outputUIDKey, "hdmi");
    audio->add("usb", "USB Mic", 1, 0);
    audio->add("hdmi", "HDMI", 1, 0); // became input-only before launch
    const auto builtIn = audio->add("builtin", "Built-in Mic", 1, 0);
    audio->defaultInput = builtIn;
    AudioDeviceController controller;
    EXPECT_EQ(controller.selectedInputUID(), "usb");
    EXPECT_FALSE(controller.selectedOutputUID());

    audio->remove("usb");
    EXPECT_TRUE(controller.refresh());
    EXPECT_FALSE(controller.selectedInputUID());
    EXPECT_EQ(controller.selectedInput()->uid, "builtin");
    EXPECT_EQ(platform.defaults().string(AudioDeviceController::inputUIDKey), "usb");
    EXPECT_EQ(selectionPosts, 0);
}

TEST_F(AudioDeviceControllerTest, SelectingAnOutputMakesItTheSystemDefault)
{
    audio->add("mic", "Mic", 1, 0);
    const auto a = audio->add("a", "Speaker A", 0, 2);
    const auto b = audio->add("b", "Speaker B", 0, 2);
    audio->defaultOutput = a;
    AudioDeviceController controller;
    EXPECT_TRUE(controller.selectedOutputIsSystemDefault());

    EXPECT_FALSE(controller.selectOutput("mic"));
    EXPECT_FALSE(controller.selectOutput("missing"));
    EXPECT_EQ(selectionPosts, 0);

    ASSERT_TRUE(controller.selectOutput("b"));
    EXPECT_EQ(audio->defaultOutput, b);
    EXPECT_EQ(audio->defaultSystemOutput, b);
    EXPECT_EQ(controller.selectedOutputUID(), "b");
    EXPECT_EQ(platform.defaults().string(AudioDeviceController::outputUIDKey), "b");
    EXPECT_TRUE(controller.selectedOutputIsSystemDefault());
    EXPECT_EQ(selectionPosts, 1);

    // Another program moves the default away: the choice stays, but is no longer the default.
    audio->defaultOutput = a;
    EXPECT_FALSE(controller.selectedOutputIsSystemDefault());

    audio->refuseDefaultOutput = true;
    EXPECT_FALSE(controller.selectOutput("a"));
    EXPECT_EQ(controller.selectedOutputUID(), "b");
    EXPECT_EQ(platform.defaults().string(AudioDeviceController::outputUIDKey), "b");
    EXPECT_EQ(audio->defaultSystemOutput, b);
    EXPECT_EQ(selectionPosts, 1);
}

TEST_F(AudioDeviceControllerTest, InputBindsToTheMicrophoneInForceOrFails)
{
    const auto mic = audio->add("mic", "Mic", 1, 0);
    AudioDeviceController controller;
    auto input = audio->makeInput();
    ASSERT_TRUE(controller.configureInputNode(*input));
    EXPECT_EQ(audio->lastInput()->boundDevice, mic);

    audio->refuseBinding = true;
    EXPECT_FALSE(controller.configureInputNode(*input));
}

TEST(AudioTestToneBuffer, ShapeAndEnvelope)
{
    const auto buffer = AudioDeviceController::makeTestToneBuffer();
    ASSERT_TRUE(buffer);
    EXPECT_EQ(buffer->format(), (platform::AudioFormat{48000, 1}));
    ASSERT_EQ(buffer->frameLength(), 24000u);
    const float* s = buffer->channelData(0);
    const auto pure = [](std::uint32_t n) { return std::sin(2.0 * M_PI * 660.0 * n / 48000.0) * 0.16; };
    EXPECT_EQ(s[0], 0.0f);
    float peak = 0;
    for (std::uint32_t n = 0; n < 24000; ++n) {
        peak = std::max(peak, std::abs(s[n]));
        if (n >= 1200 && n <= 24000 - 1200) {
            ASSERT_FLOAT_EQ(s[n], float(pure(n))) << n;
        }
    }
    EXPECT_LE(peak, 0.16f);
    EXPECT_GT(peak, 0.159f);
    EXPECT_FLOAT_EQ(s[600], float(pure(600) * 0.5));
    EXPECT_FLOAT_EQ(s[23999], float(pure(23999) / 1200.0));
}

class AudioTestToneTest : public AudioDeviceControllerTest {
protected:
    AudioTestToneTest() { audio->defaultOutput = audio->add("spk", "Speaker", 0, 2); }
};

TEST_F(AudioTestToneTest, RefusalsCompleteFalseAtOnceAndLeaveNothingPlaying)
{
    struct Case {
        const char* name;
        std::function<void(test::FakeAudioService&)> arrange;
        int playersMade;
    };
    const std::vector<Case> cases = {
        {"no output in force", [](auto& a) { a.defaultOutput = 42; }, 0},
        {"binding refused", [](auto& a) { a.refuseBinding = true; }, 1},
        {"engine does not start", [](auto& a) { a.refuseStart = true; }, 1},
    };
    for (const auto& c : cases) {
        auto fake = std::make_shared<test::FakeAudioService>(*audio);
        platform.platform().audioService = fake;
        c.arrange(*fake);
        AudioDeviceController controller;
        std::vector<bool> results;
        controller.playOutputTestTone([&](bool ok) { results.push_back(ok); });
        EXPECT_EQ(results, std::vector<bool>{false}) << c.name;
        EXPECT_FALSE(controller.isPlayingTestTone()) << c.name;
        EXPECT_EQ(fake->playersMade, c.playersMade) << c.name;
        EXPECT_TRUE(fake->players.empty() || fake->players.back() == nullptr) << c.name;
    }
}

TEST_F(AudioTestToneTest, PlaysOnTheOutputInForceAndCompletesOnTheMainQueue)
{
    AudioDeviceController controller;
    std::vector<bool> results;
    controller.playOutputTestTone([&](bool ok) { results.push_back(ok); });
    auto* player = audio->lastPlayer();
    ASSERT_TRUE(player);
    EXPECT_EQ(player->boundDevice, audio->find("spk")->id);
    EXPECT_EQ(player->startedFormat, (platform::AudioFormat{48000, 1}));
    EXPECT_TRUE(player->playing);
    ASSERT_TRUE(player->scheduled);
    EXPECT_EQ(player->scheduled->frameLength(), 24000u);

    player->finishBuffer();
    EXPECT_TRUE(results.empty()); // not inline on the audio thread
    platform.scheduler().runPending();
    EXPECT_EQ(results, std::vector<bool>{true});
    EXPECT_FALSE(controller.isPlayingTestTone());
    EXPECT_EQ(audio->lastPlayer(), nullptr);
}

TEST_F(AudioTestToneTest, LateCompletionOfAReplacedToneLeavesTheNewToneAlone)
{
    AudioDeviceController controller;
    std::vector<int> done;
    controller.playOutputTestTone([&](bool ok) { done.push_back(ok ? 1 : -1); });
    controller.playOutputTestTone([&](bool ok) { done.push_back(ok ? 2 : -2); });
    ASSERT_EQ(audio->players.size(), 2u);
    EXPECT_EQ(audio->players[0], nullptr); // the first was stopped and released
    auto* second = audio->players[1];

    platform.scheduler().runPending(); // the cut-off first tone reports now
    EXPECT_EQ(done, std::vector<int>{1});
    EXPECT_TRUE(controller.isPlayingTestTone());
    EXPECT_TRUE(second->playing);

    second->finishBuffer();
    platform.scheduler().runPending();
    EXPECT_EQ(done, (std::vector<int>{1, 2}));
    EXPECT_FALSE(controller.isPlayingTestTone());
}

TEST_F(AudioTestToneTest, AToneTheSoundSystemLostCompletesAsNotPlayed)
{
    AudioDeviceController controller;
    std::vector<bool> results;
    controller.playOutputTestTone([&](bool ok) { results.push_back(ok); });
    audio->lastPlayer()->finishBuffer(platform::PlaybackEnd::lost);
    platform.scheduler().runPending();
    EXPECT_EQ(results, std::vector<bool>{false});
    EXPECT_FALSE(controller.isPlayingTestTone());
    EXPECT_EQ(audio->lastPlayer(), nullptr);
}

TEST_F(AudioTestToneTest, StoppingOrDestroyingStillCompletesOnce)
{
    std::vector<bool> results;
    {
        AudioDeviceController controller;
        controller.playOutputTestTone([&](bool ok) { results.push_back(ok); });
        controller.stopTestTone();
        controller.stopTestTone();
        platform.scheduler().runPending();
        EXPECT_EQ(results, std::vector<bool>{true});
        controller.playOutputTestTone([&](bool ok) { results.push_back(ok); });
    }
    platform.scheduler().runPending();
    EXPECT_EQ(results, (std::vector<bool>{true, true}));
}

} // namespace
} // namespace quorvia
