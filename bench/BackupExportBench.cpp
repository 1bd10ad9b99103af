#include "BenchDeck.h"
#include "model/PresentationProjectsBackup.h"
#include "model/ProjectBackupPackage.h"
#include "platform/core/Uuid.h"

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

struct Deck {
    QTemporaryDir dir{benchFolder() + QStringLiteral("/quorvia-export-bench-XXXXXX")};
    qint64 bytes = deckBytes();
    QString path = dir.filePath(QStringLiteral("talk.key"));
    Deck()
    {
        writeDeck(path, bytes);
        ::sync();
    }
};

Deck& deck()
{
    static Deck shared;
    return shared;
}

// An export over an existing backup, as the speaker does it before each talk.
void exportOverAnOldBackup(benchmark::State& state)
{
    Deck& source = deck();
    const PresentationProjectsBackup backup = oneProjectBackup(source.path);
    const QString target = source.dir.filePath(QStringLiteral("全部.quorviabackup"));
    if (!ProjectBackupPackage::exportBackup(backup, target))
        state.SkipWithError("the first export failed");
    for (auto _ : state) {
        state.PauseTiming();
        ::sync();
        state.ResumeTiming();
        if (!ProjectBackupPackage::exportBackup(backup, target))
            state.SkipWithError("the export failed");
    }
    state.SetBytesProcessed(state.iterations() * source.bytes);
}

// Reference: the same bytes copied into a new file and synced once; with
// argument 1 the copy is then renamed over the previous one, whose removal
// an export over an old backup pays too.
void plainCopyAndOneSync(benchmark::State& state)
{
    Deck& source = deck();
    const bool replaces = state.range(0) != 0;
    const QByteArray target = QFile::encodeName(source.dir.filePath(QStringLiteral("plain-copy")));
    const QByteArray previous = QFile::encodeName(source.dir.filePath(QStringLiteral("previous-copy")));
    std::vector<char> buffer(1 << 20);
    for (auto _ : state) {
        state.PauseTiming();
        ::unlink(target.constData());
        if (replaces && !QFile::exists(QFile::decodeName(previous)) && !QFile::copy(source.path, QFile::decodeName(previous)))
            state.SkipWithError("the previous copy failed");
        ::sync();
        state.ResumeTiming();
        if (const char* failed = copyAndSyncOnce(QFile::encodeName(source.path), target, buffer))
            state.SkipWithError(failed);
        if (replaces && ::rename(target.constData(), previous.constData()) != 0)
            state.SkipWithError("the rename failed");
    }
    state.SetBytesProcessed(state.iterations() * source.bytes);
}

} // namespace

BENCHMARK(exportOverAnOldBackup)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(plainCopyAndOneSync)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
