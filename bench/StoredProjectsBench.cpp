#include "model/PromptScript.h"
#include "model/StoredState.h"
#include "platform/linux/settings/SettingsDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <limits>

#include <benchmark/benchmark.h>

using namespace quorvia;

namespace {

// 30 blocks of 600 Chinese characters: 18,000 characters a project.
StoredProject makeProject(int number)
{
    const QString sentence = QString::fromUtf8("大家好，今天我们来讨论一下产品的发布计划与市场分析。");
    std::vector<PromptTimelineBlock> blocks;
    for (int i = 0; i < 30; ++i)
        blocks.emplace_back(QUuid::createUuid(), QString::number(i + 1), sentence.repeated(600 / sentence.size() + 1).left(600));
    StoredProject project = StoredProject::newRecord(QString::fromUtf8("项目%1").arg(number), ScriptText::serialize(blocks));
    project.timelineBlocks = std::move(blocks);
    return project;
}

QByteArray storedState(int projects)
{
    StoredState state;
    for (int i = 0; i < projects; ++i)
        state.projects.push_back(makeProject(i));
    state.activeProjectID = state.projects.front().id;
    return state.toJson();
}

// The settings-file store as it was before: every write rewrites the whole INI file on the caller's thread.
class IniFileDefaults final : public platform::DefaultsStore {
public:
    explicit IniFileDefaults(const QString& path) : settings_(path, QSettings::IniFormat) {}
    std::optional<QVariant> value(const QString& key) const override
    {
        return settings_.contains(key) ? std::optional(settings_.value(key)) : std::nullopt;
    }
    void setValue(const QString& key, const QVariant& value) override
    {
        settings_.setValue(key, value);
        settings_.sync();
    }
    void remove(const QString& key) override
    {
        settings_.remove(key);
        settings_.sync();
    }
    QStringList keys() const override { return settings_.allKeys(); }

private:
    mutable QSettings settings_;
};

void stepThroughBlocks(benchmark::State& state, platform::DefaultsStore& store)
{
    store.setData(PromptScript::projectsKey, storedState(static_cast<int>(state.range(0))));
    PromptScript script(store);
    bool forward = true;
    for (auto _ : state) {
        if (forward)
            script.moveNext();
        else
            script.movePrevious();
        forward = !forward;
    }
    state.counters["projects"] = static_cast<double>(state.range(0));
}

// Main-thread time of one block step with the real store: the model's save and the store's bookkeeping.
void blockStep(benchmark::State& state)
{
    QTemporaryDir dir;
    platform::native::SettingsDefaults store(dir.filePath(QStringLiteral("defaults")), QString());
    stepThroughBlocks(state, store);
}

// One block step in the largest script an import takes: 2000 blocks filling 16 MiB.
void largestScriptStep(benchmark::State& state)
{
    QTemporaryDir dir;
    platform::native::SettingsDefaults store(dir.filePath(QStringLiteral("defaults")), QString());
    const QString block = QString::fromUtf8("大家好，今天我们来讨论一下产品的发布计划与市场分析。").repeated(110).left(2790);
    std::vector<PromptTimelineBlock> blocks;
    for (int i = 0; i < ScriptText::maximumBlockCount; ++i)
        blocks.emplace_back(QUuid::createUuid(), QString::number(i + 1), block);
    StoredState stored;
    stored.projects.push_back(StoredProject::newRecord(QStringLiteral("最大的稿件"), ScriptText::serialize(blocks)));
    stored.projects.back().timelineBlocks = std::move(blocks);
    stored.activeProjectID = stored.projects.front().id;
    store.setData(PromptScript::projectsKey, stored.toJson());
    PromptScript script(store);
    bool forward = true;
    for (auto _ : state) {
        if (forward)
            script.moveNext();
        else
            script.movePrevious();
        forward = !forward;
    }
    state.counters["MiB"] = static_cast<double>(script.rawText().toUtf8().size()) / (1 << 20);
}

// Bytes this process has handed to write(2) so far, on any thread.
double bytesWritten()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : io.readAll().split('\n'))
        if (line.startsWith("wchar:"))
            return line.mid(6).trimmed().toDouble();
    return 0;
}

// CPU time, in seconds, of the store's writer threads alive now.
double writerCpuSeconds()
{
    double total = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        QFile schedstat(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != platform::native::SettingsDefaults::writerThreadName
            || !schedstat.open(QIODevice::ReadOnly))
            continue;
        total += schedstat.readAll().split(' ').value(0).toDouble() / 1e9;
    }
    return total;
}

// A rehearsal at 200 projects: 30 block steps, each far enough from the next
// that its write goes out on its own (the store flushed after each step).
// Counters: bytes written and the writer thread's CPU per step. Argument 1 is
// the reference in the same run: the large value kept as one file, rewritten
// whole at every step, as the store did before it kept such values in pieces.
void rehearsalStepWrites(benchmark::State& state)
{
    constexpr int steps = 30;
    const bool whole = state.range(0) == 1;
    QTemporaryDir dir;
    platform::native::SettingsDefaults store(dir.filePath(QStringLiteral("defaults")), QString(),
                                             platform::native::SettingsDefaults::defaultCoalesceSeconds, 2.0,
                                             whole ? std::numeric_limits<qsizetype>::max()
                                                   : platform::native::DefaultsFileStore::piecewiseThreshold);
    store.setData(PromptScript::projectsKey, storedState(200));
    PromptScript script(store);
    store.flush();
    double bytes = 0;
    double cpu = 0;
    double rounds = 0;
    for (auto _ : state) {
        const double bytesBefore = bytesWritten();
        const double cpuBefore = writerCpuSeconds();
        for (int step = 0; step < steps; ++step) {
            if (step % 2 == 0)
                script.moveNext();
            else
                script.movePrevious();
            store.flush();
        }
        bytes += bytesWritten() - bytesBefore;
        cpu += writerCpuSeconds() - cpuBefore;
        ++rounds;
    }
    state.counters["MB_per_step"] = bytes / rounds / steps / 1e6;
    state.counters["writer_ms_per_step"] = cpu / rounds / steps * 1e3;
    state.counters["MB_per_rehearsal"] = bytes / rounds / 1e6;
}

// Steps taken quickly, within the store's coalescing window: they reach the
// disk together. An odd count, so each round ends on another block.
void quickStepsWrites(benchmark::State& state)
{
    constexpr int steps = 29;
    QTemporaryDir dir;
    platform::native::SettingsDefaults store(dir.filePath(QStringLiteral("defaults")), QString());
    store.setData(PromptScript::projectsKey, storedState(200));
    PromptScript script(store);
    store.flush();
    double bytes = 0;
    double cpu = 0;
    double rounds = 0;
    for (auto _ : state) {
        const double bytesBefore = bytesWritten();
        const double cpuBefore = writerCpuSeconds();
        for (int step = 0; step < steps; ++step) {
            if (step % 2 == 0)
                script.moveNext();
            else
                script.movePrevious();
        }
        store.flush();
        bytes += bytesWritten() - bytesBefore;
        cpu += writerCpuSeconds() - cpuBefore;
        ++rounds;
    }
    state.counters["MB_per_step"] = bytes / rounds / steps / 1e6;
    state.counters["writer_ms_per_step"] = cpu / rounds / steps * 1e3;
}

// Reference in the same run: the previous settings-file store.
void blockStepPreviousStore(benchmark::State& state)
{
    QTemporaryDir dir;
    IniFileDefaults store(dir.filePath(QStringLiteral("defaults.ini")));
    stepThroughBlocks(state, store);
}

// Reference: encoding every project on each save, as before the kept encodings.
void encodeAllProjects(benchmark::State& state)
{
    const auto decoded = StoredState::fromJson(storedState(static_cast<int>(state.range(0))));
    for (auto _ : state)
        benchmark::DoNotOptimize(decoded->toJson());
}

} // namespace

BENCHMARK(rehearsalStepWrites)->Arg(0)->Arg(1)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(quickStepsWrites)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(blockStep)->Arg(1)->Arg(10)->Arg(50)->Unit(benchmark::kMicrosecond);
BENCHMARK(largestScriptStep)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(encodeAllProjects)->Arg(1)->Arg(10)->Arg(50)->Unit(benchmark::kMicrosecond);
BENCHMARK(blockStepPreviousStore)->Arg(1)->Arg(10)->Arg(50)->Iterations(6)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
