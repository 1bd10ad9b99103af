#include "model/PromptScript.h"
#include "platform/core/Text.h"
#include "platform/core/Uuid.h"
#include "platform/linux/settings/SettingsDefaults.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>
#include <set>

using namespace quorvia;

namespace {

// A backup of `count` one-block projects, all with one name.
PresentationProjectsBackup backupOfAlikeProjects(int count)
{
    PresentationProjectsBackup backup;
    backup.exportedAt = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < count; ++i) {
        PresentationProjectsBackup::Project project;
        project.id = platform::newUuid();
        project.name = QStringLiteral("发布会");
        project.timelineBlocks = {PromptTimelineBlock(platform::newUuid(), QStringLiteral("1"), QStringLiteral("大家好"))};
        project.rawText = ScriptText::serialize(project.timelineBlocks);
        project.slideMappings = {1};
        project.slideMappingReviews = {std::nullopt};
        project.speechProgress = {0};
        backup.projects.push_back(std::move(project));
    }
    backup.activeProjectID = backup.projects.front().id;
    return backup;
}

// Main-thread time of adding the backup's projects to a model that already
// holds one of that name, saving included.
void importAlikeProjects(benchmark::State& state)
{
    const PresentationProjectsBackup backup = backupOfAlikeProjects(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        auto store = std::make_unique<platform::native::SettingsDefaults>(dir.filePath(QStringLiteral("defaults")), QString());
        auto script = std::make_unique<PromptScript>(*store);
        script->renameActiveProject(QStringLiteral("发布会"));
        state.ResumeTiming();
        benchmark::DoNotOptimize(script->importProjectsBackup(backup));
        state.PauseTiming();
        script.reset();
        store.reset();
        state.ResumeTiming();
    }
    state.counters["projects"] = static_cast<double>(state.range(0));
}

// Reference in the same run: naming as before, folding every name of the
// list again for each project and trying each variant from the first.
void namingAsBefore(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::vector<QString> names{QStringLiteral("发布会")};
        for (int i = 0; i < count; ++i) {
            std::set<QString> taken;
            for (const auto& name : names)
                taken.insert(platform::text::foldCaseAndDiacritics(name));
            QString chosen = QStringLiteral("发布会");
            for (qint64 n = 1; taken.contains(platform::text::foldCaseAndDiacritics(chosen)); ++n)
                chosen = QStringLiteral("发布会（导入）") + (n == 1 ? QString() : u' ' + QString::number(n));
            names.push_back(chosen);
        }
        benchmark::DoNotOptimize(names);
    }
    state.counters["projects"] = count;
}

} // namespace

BENCHMARK(importAlikeProjects)->Arg(4000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(namingAsBefore)->Arg(1000)->Arg(4000)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
