#include "model/PresentationProjectsBackup.h"
#include "model/ProjectBackupPackage.h"
#include "platform/core/Uuid.h"
#include "platform/files/TreeRemoval.h"

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
// system's temporary folder by default; not a disk in memory). Every round
// starts with nothing dirty in the page cache, so one round's writeback is not
// paid by the next.
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
        PresentationProjectsBackup::Project project;
        project.id = id;
        project.name = QStringLiteral("发布会");
        project.rawText = QStringLiteral("1\n开场");
        project.timelineBlocks = {PromptTimelineBlock(platform::newUuid(), QStringLiteral("1"), QStringLiteral("开场"))};
        project.slideMappings = {1};
        project.slideMappingReviews = {SlideMappingReview::manual};
        project.speechProgress = {0};
        project.deck = PresentationDeck::keynoteDocument(deck, 3);
        PresentationProjectsBackup backup;
        backup.exportedAt = QDateTime::currentDateTimeUtc();
        backup.activeProjectID = project.id;
        backup.projects = {project};
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
        if (!ProjectBackupPackage::importBackup(source.path, source.store))
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
        const int in = ::open(QFile::encodeName(source.packed).constData(), O_RDONLY | O_CLOEXEC);
        if (in < 0)
            state.SkipWithError("the package holds no deck");
        const int out = ::open(target.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        for (ssize_t n; (n = ::read(in, buffer.data(), buffer.size())) > 0;)
            if (::write(out, buffer.data(), size_t(n)) != n)
                state.SkipWithError("the copy failed");
        if (::fsync(out) != 0)
            state.SkipWithError("the sync failed");
        ::close(out);
        ::close(in);
    }
    state.SetBytesProcessed(state.iterations() * source.bytes);
}

} // namespace

BENCHMARK(importADeck)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(plainCopyAndOneSync)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
