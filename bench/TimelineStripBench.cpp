// The timeline strip with whole scripts of 250 to 2000 blocks: a reload as an
// upload, a project switch or a moved block does it, and what the strips hold
// in memory. The reference is the same strip at 250 blocks: a linear cost
// grows 8x from there to 2000.
#include "prompter/TimelineStripView.h"

#include "../tests/support/MemoryDefaults.h"
#include "platform/Platform.h"
#include "platform/linux/application/QtScheduler.h"

#include <QApplication>
#include <QFile>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

using namespace quorvia;

namespace {

std::vector<PromptTimelineBlock> script(int count)
{
    std::vector<PromptTimelineBlock> blocks;
    blocks.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        // Mostly slides, a demonstration now and then, as a real talk has.
        const QString label = i % 9 == 4 ? QStringLiteral("Demo") : QString::number(i + 1);
        blocks.emplace_back(QUuid::createUuid(), label, QStringLiteral("第%1段的文字").arg(i + 1));
    }
    return blocks;
}

double residentMegabytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

// Both owners' strips, as wide as they are in the island and the prompter window.
struct Strips {
    Strips() : panel(TimelineStripDensity::regular), prompter(TimelineStripDensity::compact)
    {
        panel.resize(700, int(timelineTotalHeight(TimelineStripDensity::regular)));
        prompter.resize(560, int(timelineTotalHeight(TimelineStripDensity::compact)));
        panel.show();
        prompter.show();
        QCoreApplication::processEvents();
    }
    void reload(const std::vector<PromptTimelineBlock>& blocks, int selected)
    {
        panel.reload(blocks, selected);
        prompter.reload(blocks, selected);
        // The reveal and the repaint that the reload asked for.
        QCoreApplication::processEvents();
    }
    TimelineStripView panel;
    TimelineStripView prompter;
};

// A script of N blocks replaced by another of N (a project switch): both strips.
void reloadSwitch(benchmark::State& state)
{
    const int count = int(state.range(0));
    const std::vector<PromptTimelineBlock> scripts[2] = {script(count), script(count)};
    Strips strips;
    strips.reload(scripts[1], count / 2);
    int turn = 0;
    for (auto _ : state) {
        turn ^= 1;
        strips.reload(scripts[turn], count / 2 + turn);
    }
    state.SetComplexityN(count);
}

// An empty strip given a script of N blocks (an upload): both strips.
void reloadUpload(benchmark::State& state)
{
    const int count = int(state.range(0));
    const std::vector<PromptTimelineBlock> blocks = script(count);
    Strips strips;
    for (auto _ : state) {
        state.PauseTiming();
        strips.reload({}, 0);
        state.ResumeTiming();
        strips.reload(blocks, count / 2);
    }
    state.SetComplexityN(count);
}

// The same blocks again, as spoken progress sends them on every recognised word.
void reloadUnchanged(benchmark::State& state)
{
    const int count = int(state.range(0));
    const std::vector<PromptTimelineBlock> blocks = script(count);
    Strips strips;
    strips.reload(blocks, count / 2);
    for (auto _ : state)
        strips.reload(blocks, count / 2);
    state.SetComplexityN(count);
}

// What both strips hold with N blocks: the process's resident size, and the
// growth per block over the same strips empty. Runs first, before other runs
// leave freed memory behind.
void residentSize(benchmark::State& state)
{
    const int count = int(state.range(0));
    const std::vector<PromptTimelineBlock> blocks = script(count);
    for (auto _ : state) {
        auto strips = std::make_unique<Strips>();
        malloc_trim(0);
        const double empty = residentMegabytes();
        strips->reload(blocks, count / 2);
        malloc_trim(0);
        const double full = residentMegabytes();
        state.counters["rss_MB"] = full;
        state.counters["KB_per_block"] = (full - empty) * 1024.0 / count;
    }
}

} // namespace

BENCHMARK(residentSize)->Arg(2000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(reloadUpload)->Arg(250)->Arg(500)->Arg(1000)->Arg(2000)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
BENCHMARK(reloadSwitch)->Arg(250)->Arg(500)->Arg(1000)->Arg(2000)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
BENCHMARK(reloadUnchanged)->Arg(250)->Arg(500)->Arg(1000)->Arg(2000)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto platform = std::make_unique<platform::Platform>();
    platform->schedulerService = std::make_shared<platform::native::QtScheduler>();
    platform->defaultsService = std::make_shared<test::MemoryDefaults>();
    platform::install(std::move(platform));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
