#include "model/PromptScript.h"
#include "model/StoredState.h"
#include "platform/linux/SettingsDefaults.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

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
