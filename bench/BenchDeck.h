#pragma once

#include "model/PresentationProjectsBackup.h"
#include "platform/core/Uuid.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <fcntl.h>
#include <unistd.h>

// What the backup benchmarks share, measured by hand: the size of the deck in
// MB (QUORVIA_BENCH_DECK_MB, 1024 by default) and the folder on the drive to
// measure (QUORVIA_BENCH_DIR, the system's temporary folder by default; not a
// disk in memory).
namespace quorvia::bench {

inline qint64 deckBytes()
{
    const QByteArray asked = qgetenv("QUORVIA_BENCH_DECK_MB");
    const qint64 megabytes = asked.isEmpty() ? 1024 : asked.toLongLong();
    return std::max<qint64>(megabytes, 1) << 20;
}

inline QString benchFolder()
{
    const QString asked = qEnvironmentVariable("QUORVIA_BENCH_DIR");
    return asked.isEmpty() ? QDir::tempPath() : asked;
}

// A deck file of `bytes` with no holes and nothing a disk could compress.
inline void writeDeck(const QString& path, qint64 bytes)
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

// A backup of one project presented from `deck`.
inline PresentationProjectsBackup oneProjectBackup(const QString& deck, QUuid id = platform::newUuid())
{
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
    return backup;
}

// The reference the backup benchmarks measure against: `from` copied into a
// new file `to` and synced once. Answers what failed, or null.
inline const char* copyAndSyncOnce(const QByteArray& from, const QByteArray& to, std::vector<char>& buffer)
{
    const int in = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return "the source cannot be read";
    const int out = ::open(to.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const char* failed = nullptr;
    for (ssize_t n; !failed && (n = ::read(in, buffer.data(), buffer.size())) > 0;)
        if (::write(out, buffer.data(), size_t(n)) != n)
            failed = "the copy failed";
    if (!failed && ::fsync(out) != 0)
        failed = "the sync failed";
    ::close(out);
    ::close(in);
    return failed;
}

} // namespace quorvia::bench
