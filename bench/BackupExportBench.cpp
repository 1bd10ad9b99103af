#include "model/PresentationProjectsBackup.h"
#include "model/ProjectBackupPackage.h"
#include "platform/core/Uuid.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <fcntl.h>
#include <unistd.h>

using namespace quorvia;

// Measured by hand: the size of the deck in MB (QUORVIA_BENCH_DECK_MB, 1024 by
// default) and the folder on the drive to measure (QUORVIA_BENCH_DIR, the
// system's temporary folder by default). Every round starts with nothing dirty
// in the page cache, so one round's writeback is not paid by the next.
namespace {

qint64 deckBytes()
{
    const QByteArray asked = qgetenv("QUORVIA_BENCH_DECK_MB");
    const qint64 megabytes = asked.isEmpty() ? 1024 : asked.toLongLong();
    return std::max<qint64>(megabytes, 1) << 20;
}

QString benchFolder()
{
    const QString asked = qEnvironmentVariable("QUORVIA_BENCH_DIR");
    return asked.isEmpty() ? QDir::tempPath() : asked;
}

// A deck file of `bytes` with no holes and nothing a disk could compress.
void writeDeck(const QString& path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    quint64 seed = 0x9e3779b97f4a7c15ull;
    for (qint64 written = 0; written < bytes; written += chunk.size()) {
        for (qsizetype i = 0; i + 8 <= chunk.size(); i += 8) {
            seed ^= seed << 13;
            seed ^= seed >> 7;
            seed ^= seed << 17;
            std::memcpy(chunk.data() + i, &seed, 8);
        }
        file.write(chunk.constData(), std::min<qint64>(chunk.size(), bytes - written));
    }
}

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
    PresentationProjectsBackup::Project project;
    project.id = platform::newUuid();
    project.name = QStringLiteral("发布会");
    project.rawText = QStringLiteral("1\n开场");
    project.timelineBlocks = {PromptTimelineBlock(platform::newUuid(), QStringLiteral("1"), QStringLiteral("开场"))};
    project.slideMappings = {1};
    project.slideMappingReviews = {SlideMappingReview::manual};
    project.speechProgress = {0};
    project.deck = PresentationDeck::keynoteDocument(source.path, 3);
    PresentationProjectsBackup backup;
    backup.exportedAt = QDateTime::currentDateTimeUtc();
    backup.activeProjectID = project.id;
    backup.projects = {project};
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
        const int in = ::open(QFile::encodeName(source.path).constData(), O_RDONLY | O_CLOEXEC);
        const int out = ::open(target.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        for (ssize_t n; (n = ::read(in, buffer.data(), buffer.size())) > 0;)
            if (::write(out, buffer.data(), size_t(n)) != n)
                state.SkipWithError("the copy failed");
        if (::fsync(out) != 0)
            state.SkipWithError("the sync failed");
        ::close(out);
        ::close(in);
        if (replaces && ::rename(target.constData(), previous.constData()) != 0)
            state.SkipWithError("the rename failed");
    }
    state.SetBytesProcessed(state.iterations() * source.bytes);
}

} // namespace

BENCHMARK(exportOverAnOldBackup)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(plainCopyAndOneSync)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
