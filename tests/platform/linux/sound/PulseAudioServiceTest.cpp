#include "platform/linux/sound/PulseAudioService.h"

#include "support/EventWait.h"
#include "support/PulseAudioServer.h"
#include "support/QtPrinting.h"

#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>

namespace quorvia {
namespace {

using platform::AudioDeviceInfo;
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
    }

    AudioDeviceInfo device(const QString& uid)
    {
        const auto devices = service->devices();
        const auto found = std::find_if(devices.begin(), devices.end(), [&](auto& d) { return d.uid == uid; });
        return found == devices.end() ? AudioDeviceInfo{} : *found;
    }

    std::unique_ptr<test::PulseAudioServer> server;
    std::shared_ptr<PulseAudioService> service;
};

TEST_F(PulseAudioServiceTest, ListsSinksAndSourcesButNoMonitorsAndSetsTheDefaultSink)
{
    const auto devices = service->devices();
    ASSERT_EQ(devices.size(), 3u);
    const auto mic = device("desk_mic"), phones = device("headphones"), room = device("room_speaker");
    EXPECT_EQ(mic.name, "Desk");
    EXPECT_EQ(mic.inputChannels, 1);
    EXPECT_EQ(mic.outputChannels, 0);
    EXPECT_EQ(phones.outputChannels, 2);
    EXPECT_EQ(room.name, "Room");
    EXPECT_EQ(room.outputChannels, 1);
    EXPECT_EQ(service->defaultInputDevice(), mic.id);

    ASSERT_TRUE(service->setDefaultOutputDevice(phones.id));
    EXPECT_EQ(server->pactl({"get-default-sink"}), "headphones");
    EXPECT_EQ(service->defaultOutputDevice(), phones.id);
    EXPECT_FALSE(service->setDefaultOutputDevice(424242));

    // Ids stay with their devices across reads.
    EXPECT_EQ(device("headphones").id, phones.id);
}

TEST_F(PulseAudioServiceTest, TonePlaysOnTheChosenSinkAtItsFrequencyAndLength)
{
    // Outlive the player, which may report the end as it goes.
    std::atomic<int> ends = 0;
    std::atomic<platform::PlaybackEnd> end = platform::PlaybackEnd::lost;
    auto player = service->makePlayer();
    ASSERT_TRUE(player->bindDevice(device("room_speaker").id));

    const QString recording = server->folder() + "/tone.raw";
    QProcess recorder;
    recorder.setProcessEnvironment(server->environment());
    recorder.setStandardOutputFile(recording);
    recorder.start("parec", {"--device=room_speaker.monitor", "--format=float32le", "--rate=48000", "--channels=1",
                             "--raw", "--latency-msec=20"});
    ASSERT_TRUE(recorder.waitForStarted(60000));
    ASSERT_TRUE(test::waitUntil([&] { return server->pactl({"list", "short", "source-outputs"}).size() > 0; }));
    // Silence on record before the tone, so that its start is heard.
    QFile file(recording);
    ASSERT_TRUE(test::waitUntil([&] { return file.size() >= qint64(sizeof(float)) * 4800; }));

    // Half a second of 660 Hz, faded in and out so that its ends are clean.
    const platform::AudioFormat format{48000, 1};
    auto tone = *platform::PCMBuffer::make(format, 24000);
    tone.setFrameLength(24000);
    for (std::uint32_t n = 0; n < 24000; ++n)
        tone.channelData(0)[n] = float(0.16 * std::sin(2 * std::numbers::pi * 660 * n / 48000.0)
                                       * std::min({1.0, n / 1200.0, (24000 - n) / 1200.0}));
    ASSERT_TRUE(player->start(format));
    player->scheduleBuffer(tone, [&](platform::PlaybackEnd how) {
        end = how;
        ++ends;
    });
    player->play();
    ASSERT_TRUE(test::waitUntil([&] { return ends > 0; }));
    EXPECT_EQ(end, platform::PlaybackEnd::played);

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
    EXPECT_TRUE(test::waitUntil(readRecording)) << "the recording never held the whole tone";
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
    EXPECT_EQ(ends, 1);
}

TEST_F(PulseAudioServiceTest, CapturesTheBoundSourceInTapSizedBuffers)
{
    const auto mic = service->defaultInputDevice();
    ASSERT_TRUE(mic);
    auto input = service->makeInput();
    ASSERT_TRUE(input->bindDevice(*mic));
    EXPECT_EQ(input->format(), (platform::AudioFormat{16000, 1}));
    std::atomic<int> buffers = 0;
    std::atomic<bool> sized = true;
    input->installTap(1024, [&](const platform::PCMBuffer& buffer) {
        sized = sized && buffer.frameLength() == 1024 && buffer.format() == input->format();
        ++buffers;
    });
    ASSERT_TRUE(input->start());
    EXPECT_TRUE(test::waitUntil([&] { return buffers >= 3; }));
    input->removeTap();
    const int seen = buffers;
    // A second stream of the microphone tells when buffers have gone on coming.
    auto witness = service->makeInput();
    std::atomic<int> witnessed = 0;
    ASSERT_TRUE(witness->bindDevice(*mic));
    witness->installTap(1024, [&](const platform::PCMBuffer&) { ++witnessed; });
    ASSERT_TRUE(witness->start());
    EXPECT_TRUE(test::waitUntil([&] { return witnessed >= 3; }));
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
