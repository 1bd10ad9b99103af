#include "BenchDeck.h"
#include "model/PresentationProjectsBackup.h"
#include "model/ProjectBackupPackage.h"
#include "platform/core/Uuid.h"
#include "platform/files/TreeRemoval.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <vector>
#include <unistd.h>

using namespace quorvia;

// Every round starts with nothing dirty in the page cache, so one round's
// writeback is not paid by the next.
namespace {

using namespace quorvia::bench;

// A backup package holding one project and its deck.
struct Package {
    QTemporaryDir dir{benchFolder() + QStringLiteral("/quorvia-import-bench-XXXXXX")};
    qint64 bytes = deckBytes();
    QString deck = dir.filePath(QStringLiteral("talk.key"));
    QString path = dir.filePath(QStringLiteral("全部.quorviabackup"));
    QString store = dir.filePath(QStringLiteral("store"));
    QUuid id = platform::newUuid();
    // The deck as the package holds it.
    QString packed = path + QStringLiteral("/Documents/") + platform::uuidString(id) + QStringLiteral("/talk.key");
    Package()
    {
        writeDeck(deck, bytes);
        const PresentationProjectsBackup backup = oneProjectBackup(deck, id);
        if (!ProjectBackupPackage::exportBackup(backup, path))
            std::abort();
        ::sync();
    }
};

Package& package()
{
    static Package shared;
    return shared;
}

// An import of the package into a document store, its deck on the drive when it answers.
void importADeck(benchmark::State& state)
{
    Package& source = package();
    for (auto _ : state) {
        state.PauseTiming();
        platform::removeTree(QFile::encodeName(source.store).toStdString());
        ::sync();
        state.ResumeTiming();
        if (!ProjectBackupPackage::importBackup(source.path, nullptr, source.store))
            state.SkipWithError("the import failed");
    }
    state.SetBytesProcessed(state.iterations() * source.bytes);
}

// Reference: the package's deck copied into a new file and synced once.
void plainCopyAndOneSync(benchmark::State& state)
{
    Package& source = package();
    const QByteArray target = QFile::encodeName(source.dir.filePath(QStringLiteral("plain-copy")));
    std::vector<char> buffer(1 << 20);
    for (auto _ : state) {
        state.PauseTiming();
        ::unlink(target.constData());
        ::sync();
        state.ResumeTiming();
        if (const char* failed = copyAndSyncOnce(QFile::encodeName(source.packed), target, buffer))
            state.SkipWithError(failed);
    }
    state.SetBytesProcessed(state.iterations() * source.bytes);
}

} // namespace

BENCHMARK(importADeck)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(plainCopyAndOneSync)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
