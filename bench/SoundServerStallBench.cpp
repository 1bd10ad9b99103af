// What the application asks the sound server on the main thread each second
// (the device check, the setup window's reads, a test tone), against a private
// server that answers and one stopped with SIGSTOP. Each iteration is one such
// round, on the wall clock; the figure beside its goal: a stopped server holds
// a round no longer than the connection's answer bound (longest_ms against
// goal_ms). The answering server is the reference from the same run.

#include "platform/linux/sound/PulseAudioService.h"
#include "platform/linux/sound/PulseConnection.h"
#include "speech/AudioDeviceController.h"
#include "support/PulseAudioServer.h"
#include "support/TestPlatform.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>

using namespace quorvia;

namespace {

void mainThreadRound(benchmark::State& state)
{
    const bool stopped = state.range(0) != 0;
    test::PulseAudioServer server({
        "module-null-sink sink_name=room_speaker rate=48000 channels=1 sink_properties=device.description=Room",
        "module-sine-source source_name=desk_mic rate=16000 frequency=440",
    });
    if (!server.isRunning()) {
        state.SkipWithError("the private pulseaudio server did not start");
        return;
    }
    server.pactl({"set-default-source", "desk_mic"});
    server.pactl({"set-default-sink", "room_speaker"});
    test::TestPlatform env;
    env.platform().audioService = std::make_shared<platform::native::PulseAudioService>(server.address());
    AudioDeviceController devices(env.defaults());
    if (stopped)
        server.pause();

    double longest = 0;
    for (auto _ : state) {
        QElapsedTimer round;
        round.start();
        devices.refresh();
        benchmark::DoNotOptimize(devices.selectedInput());
        benchmark::DoNotOptimize(devices.selectedOutputIsSystemDefault());
        devices.playOutputTestTone([](bool) {});
        env.scheduler().runPending();
        const double seconds = double(round.nsecsElapsed()) / 1e9;
        longest = std::max(longest, seconds);
        state.SetIterationTime(seconds);
        // A tone that started plays out before the next round, untimed.
        while (devices.isPlayingTestTone()) {
            env.scheduler().runPending();
            QThread::msleep(5);
        }
    }
    if (stopped)
        server.resume();
    state.counters["longest_ms"] = longest * 1000;
    state.counters["goal_ms"] = platform::native::PulseConnection::defaultAnswerBound * 1000;
}
BENCHMARK(mainThreadRound)->ArgName("server_stopped")->Arg(0)->Arg(1)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
