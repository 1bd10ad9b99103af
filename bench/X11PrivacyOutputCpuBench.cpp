// CPU of the running application and of the X server while the privacy output
// runs on a laptop screen and a projector, beside the same with the output off.
// Each case runs the real executable on a private two-output Xorg for 10 s and
// reports the share of one core each process used.
#include "support/ApplicationControls.h"
#include "support/RunningApplication.h"
#include "support/TwoOutputXServer.h"

#include <QApplication>
#include <QFile>

#include <benchmark/benchmark.h>

#include <unistd.h>

using quorvia::test::RunningApplication;
using quorvia::test::TwoOutputXServer;
namespace controls = quorvia::test::controls;

namespace {

constexpr int measureSeconds = 10;

// User and system time of a process so far, in seconds.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which may hold spaces, start past its ')'.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(::sysconf(_SC_CLK_TCK));
}

enum class Output { off, live };
enum class Motion { still, autoScroll };

void measure(benchmark::State& state, Output output, Motion motion)
{
    TwoOutputXServer server;
    if (server.name().isEmpty()) {
        state.SkipWithError(qPrintable(server.failure()));
        return;
    }
    RunningApplication app(server.name());
    app.seedScript(RunningApplication::scrollingTalk());
    if (!app.start()) {
        state.SkipWithError("the application did not start");
        return;
    }
    const auto islandWindow = app.waitWindow(QString());
    RunningApplication::waitFor([] { return false; }, 1500);
    // The prompter in its own window, as a speaker who scrolls has it.
    app.click(*islandWindow, controls::island::detach.x(), controls::island::detach.y(), 1000);
    const auto prompter = app.waitWindow(QStringLiteral("^私密提词窗口"));
    if (output == Output::live)
        app.click(*islandWindow, controls::island::privacyButton.x(), controls::island::privacyButton.y(), 2000);
    if (motion == Motion::autoScroll && prompter)
        app.click(*prompter, controls::prompter::autoScroll.x(), controls::prompter::autoScroll.y(), 500);

    for (auto _ : state) {
        const double appBefore = cpuSeconds(app.pid());
        const double serverBefore = cpuSeconds(server.pid());
        RunningApplication::waitFor([] { return false; }, measureSeconds * 1000);
        state.SetIterationTime(measureSeconds);
        state.counters["app_cpu_percent"] = 100 * (cpuSeconds(app.pid()) - appBefore) / measureSeconds;
        state.counters["xserver_cpu_percent"] = 100 * (cpuSeconds(server.pid()) - serverBefore) / measureSeconds;
    }
    app.quit();
}

} // namespace

BENCHMARK_CAPTURE(measure, output_off_still, Output::off, Motion::still)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(measure, output_live_still, Output::live, Motion::still)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
// Auto-scroll runs only while the output is live; its reference is the live still screen.
BENCHMARK_CAPTURE(measure, output_live_auto_scroll, Output::live, Motion::autoScroll)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
