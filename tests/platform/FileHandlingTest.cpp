#include "platform/AtomicFileWrite.h"
#include "platform/BoundedFileRead.h"
#include "platform/FileDescriptor.h"
#include "platform/Fnv1a.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

using namespace quorvia::platform;
using Outcome = BoundedFileRead::Outcome;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

TEST(BoundedFileReadTest, ReadsOnlyPlainFilesWithinTheBoundAndNeverWaits)
{
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("plain"));
    writeFile(plain, "12345");

    const auto exact = readBoundedFile(plain, 5);
    ASSERT_EQ(exact.outcome, Outcome::read);
    EXPECT_EQ(exact.bytes, "12345");
    EXPECT_EQ(readBoundedFile(plain, 4).outcome, Outcome::tooLarge);
    EXPECT_EQ(readBoundedFile(dir.filePath(QStringLiteral("absent")), 5).outcome, Outcome::missing);
    EXPECT_EQ(readBoundedFile(plain + QStringLiteral("/below"), 5).outcome, Outcome::missing);

    // A FIFO with no writer would block an ordinary open for ever.
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(readBoundedFile(fifo, 5).outcome, Outcome::notRegular);

    // A device behind a link, and a folder.
    const QString zero = dir.filePath(QStringLiteral("zero"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    EXPECT_EQ(readBoundedFile(zero, 5).outcome, Outcome::notRegular);
    EXPECT_EQ(readBoundedFile(dir.path(), 5).outcome, Outcome::notRegular);

    // Asked not to follow, a link to a plain file is refused too.
    const QString link = dir.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(plain, link));
    EXPECT_EQ(readBoundedFile(link, 5).outcome, Outcome::read);
    EXPECT_EQ(readBoundedFile(link, 5, O_NOFOLLOW).outcome, Outcome::notRegular);
}

TEST(BoundedFileReadTest, AFileThatGrowsWhileReadIsRefusedAtTheBound)
{
    // /proc files say size 0 and then yield more: the read must stop at bound + 1.
    const FileDescriptor fd(openForReading(QStringLiteral("/proc/self/maps")));
    ASSERT_TRUE(fd.isOpen());
    EXPECT_EQ(readBounded(fd.get(), 16).outcome, Outcome::tooLarge);
}

std::atomic<int> alarms{0};
void countAlarm(int) { alarms.fetch_add(1); }

TEST(FileDescriptorTest, WriteAllCarriesOnThroughShortWritesAndInterruptions)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    FileDescriptor reader(ends[0]);
    FileDescriptor writer(ends[1]);

    // A signal without SA_RESTART cuts a blocked write short or fails it with EINTR.
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = countAlarm;
    ASSERT_EQ(::sigaction(SIGALRM, &action, &previous), 0);
    itimerval every{{0, 2000}, {0, 2000}};
    ASSERT_EQ(::setitimer(ITIMER_REAL, &every, nullptr), 0);

    QByteArray bytes(4 << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 % 251);
    QByteArray received;
    std::thread drain([&] {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(reader.get(), buffer, sizeof buffer);
            if (n > 0)
                received.append(buffer, n);
            else if (n == 0 || errno != EINTR)
                break;
            if (received.size() % (256 << 10) < 4096)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const bool written = writeAll(writer.get(), bytes);
    writer.reset();
    drain.join();
    itimerval off{};
    ::setitimer(ITIMER_REAL, &off, nullptr);
    ::sigaction(SIGALRM, &previous, nullptr);

    EXPECT_TRUE(written);
    EXPECT_GT(alarms.load(), 0);
    EXPECT_EQ(received, bytes);
}

TEST(AtomicFileWriteTest, ReplacesWholeOrLeavesNoPiece)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("value")), "old");
    ASSERT_TRUE(writeFileAtomically(dir.path(), QStringLiteral("value"), "new contents", true));
    QFile value(dir.filePath(QStringLiteral("value")));
    ASSERT_TRUE(value.open(QIODevice::ReadOnly));
    EXPECT_EQ(value.readAll(), "new contents");
    EXPECT_EQ(value.permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());

    // The rename fails onto a folder that holds something: the temporary must go at once.
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("taken/inside")));
    const auto failed = writeFileAtomically(dir.path(), QStringLiteral("taken"), "x", false);
    ASSERT_FALSE(failed);
    EXPECT_TRUE(failed.error() == EISDIR || failed.error() == ENOTEMPTY || failed.error() == EEXIST) << failed.error();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{QStringLiteral("value")});

    EXPECT_EQ(writeFileAtomically(dir.filePath(QStringLiteral("absent")), QStringLiteral("v"), "x", false).error(), ENOENT);
}

TEST(Fnv1aTest, MatchesThePublishedVectors)
{
    // Stored display identities depend on these never changing.
    EXPECT_EQ(fnv1a32(""), 0x811c9dc5u);
    EXPECT_EQ(fnv1a32("a"), 0xe40c292cu);
    EXPECT_EQ(fnv1a32("foobar"), 0xbf9cf968u);
}

} // namespace
