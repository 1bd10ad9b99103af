#include "platform/linux/sound/PulseAudioService.h"

#include "platform/Platform.h"
#include "speech/AudioDeviceController.h"
#include "support/EventWait.h"
#include "support/PulseAudioServer.h"
#include "support/QtPrinting.h"
#include "support/TestPlatform.h"

#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>

namespace quorvia {
namespace {

using platform::native::PulseAudioService;

class PulseAudioServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!test::PulseAudioServer::isInstalled())
            GTEST_SKIP() << "pulseaudio is not installed (scripts/deps installs it)";
        server = std::make_unique<test::PulseAudioServer>(QStringList{
            "module-null-sink sink_name=room_speaker rate=48000 channels=1 sink_properties=device.description=Room",
            "module-null-sink sink_name=headphones rate=44100 channels=2 sink_properties=device.description=Phones",
            "module-null-source source_name=desk_mic rate=16000 channels=1 description=Desk",
        });
        ASSERT_TRUE(server->isRunning()) << "the private pulseaudio server did not start";
        service = std::make_shared<PulseAudioService>(server->address());
        platform.platform().audioService = service;
    }

    // Runs main-queue work until the condition holds, or for as long as only a hang takes.
    bool pumpUntil(const std::function<bool()>& condition)
    {
        return test::waitUntil([&] {
            platform.scheduler().runPending();
            return condition();
        });
    }

    test::TestPlatform platform;
    std::unique_ptr<test::PulseAudioServer> server;
    std::shared_ptr<PulseAudioService> service;
};

TEST_F(PulseAudioServiceTest, ListsSinksAndSourcesButNoMonitorsAndSetsTheDefaultSink)
{
    AudioDeviceController controller;
    const auto& devices = controller.devices();
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].uid, "desk_mic");
    EXPECT_EQ(devices[0].name, "Desk");
    EXPECT_TRUE(devices[0].supportsInput);
    EXPECT_FALSE(devices[0].supportsOutput);
    EXPECT_EQ(devices[1].uid, "headphones");
    EXPECT_EQ(devices[2].uid, "room_speaker");
    EXPECT_TRUE(devices[2].supportsOutput);
    EXPECT_EQ(controller.selectedInput()->uid, "desk_mic");

    ASSERT_TRUE(controller.selectOutput("headphones"));
    EXPECT_EQ(server->pactl({"get-default-sink"}), "headphones");
    EXPECT_TRUE(controller.selectedOutputIsSystemDefault());
    EXPECT_FALSE(controller.selectOutput("desk_mic"));
    EXPECT_TRUE(controller.refresh()); // the default output changed
    EXPECT_FALSE(controller.refresh());

    // Ids stay with their devices across reads.
    const auto again = service->devices();
    EXPECT_EQ(std::find_if(again.begin(), again.end(), [](auto& d) { return d.uid == "headphones"; })->id,
              devices[1].id);
}

TEST_F(PulseAudioServiceTest, TonePlaysOnTheChosenSinkAtItsFrequencyAndLength)
{
    AudioDeviceController controller;
    ASSERT_TRUE(controller.selectOutput("room_speaker"));

    const QString recording = server->folder() + "/tone.raw";
    QProcess recorder;
    recorder.setProcessEnvironment(server->environment());
    recorder.setStandardOutputFile(recording);
    recorder.start("parec", {"--device=room_speaker.monitor", "--format=float32le", "--rate=48000", "--channels=1",
                             "--raw", "--latency-msec=20"});
    ASSERT_TRUE(recorder.waitForStarted(60000));
    ASSERT_TRUE(pumpUntil([&] { return server->pactl({"list", "short", "source-outputs"}).size() > 0; }));
    // Silence on record before the tone, so that its start is heard.
    QFile file(recording);
    ASSERT_TRUE(pumpUntil([&] { return file.size() >= qint64(sizeof(float)) * 4800; }));

    std::vector<bool> results;
    controller.playOutputTestTone([&](bool ok) { results.push_back(ok); });
    ASSERT_TRUE(controller.isPlayingTestTone());
    ASSERT_TRUE(pumpUntil([&] { return !results.empty(); }));
    EXPECT_EQ(results, std::vector<bool>{true});
    EXPECT_FALSE(controller.isPlayingTestTone());

    // The recorder lags the sink: it is done once a tenth of a second of
    // silence follows the tone on record.
    QByteArray bytes;
    const float* samples = nullptr;
    std::size_t count = 0;
    std::ptrdiff_t first = -1, last = -1;
    const auto readRecording = [&] {
        if (!file.open(QIODevice::ReadOnly))
            return false;
        bytes = file.readAll();
        file.close();
        samples = reinterpret_cast<const float*>(bytes.constData());
        count = std::size_t(bytes.size()) / sizeof(float);
        first = last = -1;
        for (std::size_t i = 0; i < count; ++i) {
            if (std::abs(samples[i]) > 0.01f) {
                if (first < 0)
                    first = std::ptrdiff_t(i);
                last = std::ptrdiff_t(i);
            }
        }
        return first >= 0 && std::ptrdiff_t(count) - last > 4800;
    };
    EXPECT_TRUE(pumpUntil(readRecording)) << "the recording never held the whole tone";
    recorder.terminate();
    recorder.waitForFinished(60000);
    ASSERT_GE(first, 0) << "nothing was heard on the sink's monitor";
    EXPECT_NEAR(double(last - first) / 48000.0, 0.5, 0.03);

    // Upward zero crossings of the steady middle give the frequency.
    std::vector<double> crossings;
    for (std::ptrdiff_t i = first + 2400; i < last - 2400; ++i)
        if (samples[i] <= 0 && samples[i + 1] > 0)
            crossings.push_back(double(i) + samples[i] / double(samples[i] - samples[i + 1]));
    ASSERT_GT(crossings.size(), 100u);
    const double frequency = (crossings.size() - 1) * 48000.0 / (crossings.back() - crossings.front());
    EXPECT_NEAR(frequency, 660.0, 5.0);
}

TEST_F(PulseAudioServiceTest, CapturesTheBoundSourceInTapSizedBuffers)
{
    AudioDeviceController controller;
    auto input = service->makeInput();
    ASSERT_TRUE(controller.configureInputNode(*input));
    EXPECT_EQ(input->format(), (platform::AudioFormat{16000, 1}));
    std::atomic<int> buffers = 0;
    std::atomic<bool> sized = true;
    input->installTap(1024, [&](const platform::PCMBuffer& buffer) {
        sized = sized && buffer.frameLength() == 1024 && buffer.format() == input->format();
        ++buffers;
    });
    ASSERT_TRUE(input->start());
    EXPECT_TRUE(pumpUntil([&] { return buffers >= 3; }));
    input->removeTap();
    const int seen = buffers;
    // A second stream of the microphone tells when buffers have gone on coming.
    auto witness = service->makeInput();
    std::atomic<int> witnessed = 0;
    ASSERT_TRUE(controller.configureInputNode(*witness));
    witness->installTap(1024, [&](const platform::PCMBuffer&) { ++witnessed; });
    ASSERT_TRUE(witness->start());
    EXPECT_TRUE(pumpUntil([&] { return witnessed >= 3; }));
    EXPECT_EQ(buffers, seen);
    EXPECT_TRUE(sized);
    input->stop();

    auto monitor = service->makeInput();
    EXPECT_FALSE(monitor->bindDevice(424242));
}

TEST(PulseAudioServiceWithoutServer, ListsNothingAndRefusesChanges)
{
    PulseAudioService service("unix:/nonexistent/quorvia/native");
    EXPECT_TRUE(service.devices().empty());
    EXPECT_FALSE(service.defaultOutputDevice());
    EXPECT_FALSE(service.defaultInputDevice());
    EXPECT_FALSE(service.setDefaultOutputDevice(1));
    auto player = service.makePlayer();
    EXPECT_FALSE(player->bindDevice(1));
    EXPECT_FALSE(player->start({48000, 1}));
}

} // namespace
} // namespace quorvia
